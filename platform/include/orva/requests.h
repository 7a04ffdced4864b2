// A typed client of the driver's request surface, as a display driver would use
// it: encodes the standard and private request records with this host's layouts
// (ULONG 32 bits, pointers 64 bits) and decodes the replies. Also boots sessions
// from the few settings users choose.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host_ddk.h"
#include "miniport/miniport.h"
#include "session.h"

namespace orva::platform {

// --- Booting ---------------------------------------------------------------

struct BootOptions {
  std::string chip = "bramble";       // board::parseVariant names
  uint32_t memoryBytes = 4u << 20;    // display memory
  uint8_t gbase = 0x00;               // CRTC 0x20 at power-up
  std::optional<std::string> output;  // "HardwareInformation.OutputType"; absent: not set
  bool tvEncoderPresent = true;
  std::string driverPath;  // empty: the host build of the driver
  bool runDriverEntry = true;
};

// Throws std::invalid_argument for an unknown chip name.
SessionOptions sessionOptions(const BootOptions& options);
// Boots and, unless runDriverEntry is false, opens the device as a display
// driver does. The previous session must be gone: only one exists at a time.
std::unique_ptr<Session> boot(const BootOptions& options);

// Every control code the driver serves.
inline constexpr uint32_t kServedCodes[] = {
    IOCTL_VIDEO_QUERY_AVAIL_MODES,
    IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES,
    IOCTL_VIDEO_QUERY_CURRENT_MODE,
    IOCTL_VIDEO_SET_CURRENT_MODE,
    IOCTL_VIDEO_RESET_DEVICE,
    IOCTL_VIDEO_SET_COLOR_REGISTERS,
    IOCTL_VIDEO_ENABLE_POINTER,
    IOCTL_VIDEO_DISABLE_POINTER,
    IOCTL_VIDEO_SET_POINTER_ATTR,
    IOCTL_VIDEO_SET_POINTER_POSITION,
    IOCTL_VIDEO_QUERY_POINTER_POSITION,
    IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES,
    IOCTL_VIDEO_MAP_VIDEO_MEMORY,
    IOCTL_VIDEO_UNMAP_VIDEO_MEMORY,
    IOCTL_VIDEO_SHARE_VIDEO_MEMORY,
    IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY,
    IOCTL_DRIVER_MEMORY_MAP,
    IOCTL_DRIVER_IO_MAP,
    IOCTL_DRIVER_READ_PORT_UCHAR,
    IOCTL_DRIVER_READ_PORT_USHORT,
    IOCTL_DRIVER_READ_PORT_ULONG,
    IOCTL_DRIVER_WRITE_PORT_UCHAR,
    IOCTL_DRIVER_WRITE_PORT_USHORT,
    IOCTL_DRIVER_WRITE_PORT_ULONG,
    IOCTL_DRIVER_NOP,
    IOCTL_DRIVER_QUERY_FB_FREE,
};

// --- Records ---------------------------------------------------------------

template <typename T>
std::span<const uint8_t> bytesOf(const T& record) {
  return {reinterpret_cast<const uint8_t*>(&record), sizeof(T)};
}

// The record at `offset` of a reply's output; zero-filled where the output is short.
template <typename T>
T recordAt(std::span<const uint8_t> output, size_t offset = 0) {
  T record;
  std::memset(&record, 0, sizeof record);
  if (offset < output.size()) {
    std::memcpy(&record, output.data() + offset, std::min(sizeof record, output.size() - offset));
  }
  return record;
}

// A reply with its decoded record. `value` is decoded whatever the status says.
template <typename T>
struct Reply {
  RequestResult raw;
  T value{};
  uint32_t status() const { return raw.status; }
  bool ok() const { return raw.status == 0; }
};

// Mode number: 32 x row ordinal + 8 x depth index + refresh index.
constexpr uint32_t modeNumber(uint32_t row, uint32_t depthIndex, uint32_t refreshIndex) {
  return row * 32 + depthIndex * 8 + refreshIndex;
}

// --- Standard requests -----------------------------------------------------

Reply<VIDEO_NUM_MODES> queryNumModes(Session& session);
// Asks for the count first and passes a buffer of exactly count x 80 bytes.
Reply<std::vector<VIDEO_MODE_INFORMATION>> queryModes(Session& session);
Reply<VIDEO_MODE_INFORMATION> queryCurrentMode(Session& session);
RequestResult setMode(Session& session, uint32_t mode);
RequestResult resetDevice(Session& session);

// The first mode of a list with these properties (frequency 0: any).
std::optional<VIDEO_MODE_INFORMATION> findMode(std::span<const VIDEO_MODE_INFORMATION> modes,
                                               uint32_t width, uint32_t height, uint32_t bpp,
                                               uint32_t frequency = 0);

Reply<VIDEO_MEMORY_INFORMATION> mapVideoMemory(Session& session, void* requested = nullptr);
RequestResult unmapVideoMemory(Session& session, void* address);
Reply<VIDEO_SHARE_MEMORY_INFORMATION> shareVideoMemory(Session& session, HANDLE process,
                                                       uint32_t offset, uint32_t size,
                                                       void* requested = nullptr);
RequestResult unshareVideoMemory(Session& session, HANDLE process, void* address);

RequestResult setColorRegisters(Session& session, uint16_t first,
                                std::span<const VIDEO_CLUTDATA> entries);

// A 64 x 64 monochrome pointer: 512 bytes of AND plane, then 512 of XOR plane.
struct PointerShape {
  uint32_t flags = VIDEO_MODE_ASYNC_POINTER | VIDEO_MODE_MONO_POINTER;
  uint32_t width = 64;
  uint32_t height = 64;
  uint32_t widthInBytes = 8;
  uint32_t enable = 1;
  int16_t column = 0;
  int16_t row = 0;
  std::array<uint8_t, 1024> pixels{};
};
RequestResult setPointerAttributes(Session& session, const PointerShape& shape);
RequestResult enablePointer(Session& session);
RequestResult disablePointer(Session& session);
RequestResult setPointerPosition(Session& session, int16_t column, int16_t row);
Reply<VIDEO_POINTER_POSITION> queryPointerPosition(Session& session);
Reply<VIDEO_POINTER_CAPABILITIES> queryPointerCapabilities(Session& session);

// --- Private requests ------------------------------------------------------

Reply<uint32_t> memoryMap(Session& session, uint32_t physical, uint32_t length);
Reply<uint32_t> ioMap(Session& session, uint32_t port, uint32_t length);
// width 8, 16 or 32; the port is base + offset.
Reply<uint32_t> readPort(Session& session, unsigned width, uint32_t base, uint32_t offset = 0);
RequestResult writePort(Session& session, unsigned width, uint32_t base, uint32_t offset,
                        uint32_t data);
RequestResult nop(Session& session);
Reply<uint32_t> queryFrameBufferFree(Session& session);

}  // namespace orva::platform
