// How the I/O manager and the video port library complete a buffered request:
// the miniport's Win32 status becomes an NT status, and only a status that is
// not an error copies the reported bytes back to the caller.
#pragma once
#include <cstdint>

#include "host_ddk.h"

namespace orva::platform::detail {

// NT status values a completed request can carry.
inline constexpr uint32_t kStatusSuccess = 0x00000000;
inline constexpr uint32_t kStatusBufferOverflow = 0x80000005;  // a warning: data still copied
inline constexpr uint32_t kStatusUnsuccessful = 0xC0000001;
inline constexpr uint32_t kStatusNotImplemented = 0xC0000002;
inline constexpr uint32_t kStatusInvalidParameter = 0xC000000D;
inline constexpr uint32_t kStatusBufferTooSmall = 0xC0000023;
inline constexpr uint32_t kStatusInsufficientResources = 0xC000009A;
inline constexpr uint32_t kStatusDeviceDoesNotExist = 0xC00000C0;

// The NT status the video port library makes of a miniport's Win32 status. A
// status it has no translation for becomes STATUS_UNSUCCESSFUL: an error, so
// nothing is copied back.
uint32_t ntStatusOf(VP_STATUS status);

// Severity 3 (the two top bits set): the I/O manager copies nothing back.
constexpr bool ntError(uint32_t status) { return (status >> 30) == 3; }

}  // namespace orva::platform::detail
