// The display driver's side of the request packets: builds each request's input in
// the records the driver reads, sends it through the session, and decodes what came
// back into named fields (JSON, in the order the records hold them).
#pragma once
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "session.h"

namespace orvasim {

using Json = nlohmann::ordered_json;

// Control codes the tool sends by name.
namespace code {
constexpr uint32_t kQueryAvailModes = 0x230400;
constexpr uint32_t kQueryNumAvailModes = 0x230404;
constexpr uint32_t kQueryCurrentMode = 0x230408;
constexpr uint32_t kSetCurrentMode = 0x23040C;
constexpr uint32_t kResetDevice = 0x230410;
constexpr uint32_t kSetColorRegisters = 0x23041C;
constexpr uint32_t kEnablePointer = 0x230438;
constexpr uint32_t kDisablePointer = 0x23043C;
constexpr uint32_t kSetPointerAttr = 0x230440;
constexpr uint32_t kSetPointerPosition = 0x230448;
constexpr uint32_t kQueryPointerPosition = 0x23044C;
constexpr uint32_t kQueryPointerCapabilities = 0x230450;
constexpr uint32_t kMapVideoMemory = 0x230458;
constexpr uint32_t kUnmapVideoMemory = 0x23045C;
constexpr uint32_t kQueryColorCapabilities = 0x230468;
constexpr uint32_t kShareVideoMemory = 0x230474;
constexpr uint32_t kUnshareVideoMemory = 0x230478;
constexpr uint32_t kDriverMemoryMap = 0x830020C0;
constexpr uint32_t kDriverIoMap = 0x830020C4;
constexpr uint32_t kDriverReadPortUchar = 0x830020C8;
constexpr uint32_t kDriverReadPortUshort = 0x830020CC;
constexpr uint32_t kDriverReadPortUlong = 0x830020D0;
constexpr uint32_t kDriverWritePortUchar = 0x830020D4;
constexpr uint32_t kDriverWritePortUshort = 0x830020D8;
constexpr uint32_t kDriverWritePortUlong = 0x830020DC;
constexpr uint32_t kDriverNop = 0x830020E0;
constexpr uint32_t kDriverQueryFbFree = 0x830020E4;
}  // namespace code

// The request's name for a control code ("IOCTL_VIDEO_SET_CURRENT_MODE"), or its
// hex value when the tool has no name for it.
std::string requestName(uint32_t code);
// "NO_ERROR", "ERROR_INVALID_PARAMETER", ...; the number for any other status.
std::string statusName(uint32_t status);

// One request and its outcome.
struct Exchange {
  uint32_t code = 0;
  uint32_t status = 0;
  uint64_t information = 0;
  std::vector<uint8_t> output;   // the whole output buffer
  Json result = Json::object();  // decoded output fields, when the request succeeded
};

// A mode description as the driver wrote it (VIDEO_MODE_INFORMATION).
struct ModeInformation {
  uint32_t Length, ModeIndex, VisScreenWidth, VisScreenHeight, ScreenStride, NumberOfPlanes,
      BitsPerPlane, Frequency, XMillimeter, YMillimeter, NumberRedBits, NumberGreenBits,
      NumberBlueBits, RedMask, GreenMask, BlueMask, AttributeFlags, VideoMemoryBitmapWidth,
      VideoMemoryBitmapHeight, DriverSpecificAttributeFlags;
};
static_assert(sizeof(ModeInformation) == 80);
Json modeJson(const ModeInformation& mode);

class Client {
 public:
  explicit Client(orva::platform::Session& session) : session_(session) {}

  Exchange send(uint32_t code, std::span<const uint8_t> input, uint32_t outputLength);

  Exchange queryNumModes();
  // The whole list (asks for the count first, then for exactly that many entries).
  Exchange queryModes(std::vector<ModeInformation>* modes = nullptr);
  Exchange queryCurrentMode();
  // outputLength: the output buffer passed beside the mode number (none by default).
  Exchange setMode(uint32_t mode, uint32_t outputLength = 0);
  Exchange reset();
  Exchange mapVideoMemory(uint64_t requestedAddress = 0);
  Exchange unmapVideoMemory(uint64_t address);
  // The process handle defaults to NtCurrentProcess(), the caller's own.
  Exchange shareVideoMemory(uint32_t offset, uint32_t size, uint64_t process = ~uint64_t{0});
  Exchange unshareVideoMemory(uint64_t address, uint64_t process = ~uint64_t{0});
  Exchange queryPointerCapabilities();
  // VIDEO_COLOR_CAPABILITIES, 72 bytes, decoded when the request succeeds.
  Exchange queryColorCapabilities();
  Exchange setPalette(uint32_t first, const std::vector<uint32_t>& colours);
  Exchange setPointerShape(const std::vector<uint8_t>& shape, uint32_t flags, uint32_t width,
                           uint32_t height, int32_t column, int32_t row);
  Exchange setPointerPosition(int32_t column, int32_t row);
  Exchange enablePointer();
  Exchange disablePointer();
  Exchange queryPointerPosition();
  Exchange memoryMap(uint32_t physical, uint32_t length);
  Exchange ioMap(uint32_t port, uint32_t length);
  Exchange readPort(unsigned width, uint32_t base, uint32_t offset);
  Exchange writePort(unsigned width, uint32_t base, uint32_t offset, uint32_t value);
  Exchange nop();
  Exchange queryFbFree();

 private:
  orva::platform::Session& session_;
};

}  // namespace orvasim
