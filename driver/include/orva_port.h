// The driver's only door to the operating system and the hardware.
//
// Target build (orva.sys): the DDK headers of the cross toolchain.
// Host build: the project's own declarations of the same types, records and
// VideoPort* functions, implemented by the hosted video port library.
#pragma once

#if defined(ORVA_TARGET)
#include <cstddef>
extern "C" {
// The DDK headers depend on one another in this order.
// clang-format off
#include <ntdef.h>
#include <devioctl.h>
#include <ddk/miniport.h>
#include <ntddvdeo.h>
#include <ddk/video.h>
// clang-format on
}
// Registry value names are UTF-16 text.
#define ORVA_WTEXT(s) L##s
#else
#include "host_ddk.h"
#define ORVA_WTEXT(s) u##s
#endif

#include <cstdint>

// Win32 status codes the driver stores in a request's status block.
constexpr ULONG ORVA_NO_ERROR = 0;
constexpr ULONG ORVA_ERROR_INVALID_FUNCTION = 1;
constexpr ULONG ORVA_ERROR_INVALID_PARAMETER = 87;
constexpr ULONG ORVA_ERROR_INSUFFICIENT_BUFFER = 122;

// Records the display driver and the registry rely on.
static_assert(sizeof(ULONG) == 4, "ULONG is 32 bits on every build");
static_assert(sizeof(USHORT) == 2 && sizeof(UCHAR) == 1, "register widths");
static_assert(sizeof(VIDEO_MODE_INFORMATION) == 80, "mode description is 80 bytes");
static_assert(sizeof(VIDEO_NUM_MODES) == 8, "mode count record is 8 bytes");
static_assert(sizeof(VIDEO_POINTER_POSITION) == 4, "pointer position is 4 bytes");
static_assert(sizeof(VIDEO_POINTER_CAPABILITIES) == 20, "pointer capabilities are 20 bytes");
static_assert(offsetof(VIDEO_POINTER_ATTRIBUTES, Pixels) == 24, "pointer pixels start at byte 24");
static_assert(offsetof(VIDEO_CLUT, LookupTable) == 4, "colour entries start at byte 4");
static_assert(offsetof(VIDEO_PORT_CONFIG_INFO, HardwareStateSize) < 72,
              "every field discovery writes lies in the first 72 bytes");
