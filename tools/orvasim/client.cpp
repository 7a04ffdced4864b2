#include "client.h"

#include <cstring>

#include "orva_port.h"
#include "parse.h"
#include "requests.h"

namespace orvasim {

namespace {

namespace req = orva::platform;

uint64_t address(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }
PVOID pointer(uint64_t address) { return reinterpret_cast<PVOID>(static_cast<uintptr_t>(address)); }

Exchange exchange(uint32_t code, orva::platform::RequestResult raw) {
  Exchange e;
  e.code = code;
  e.status = raw.status;
  e.information = raw.information;
  e.output = std::move(raw.output);
  return e;
}

template <typename T>
Exchange exchange(uint32_t code, orva::platform::Reply<T> reply) {
  return exchange(code, std::move(reply.raw));
}

uint32_t portCode(unsigned width, uint32_t byte, uint32_t word, uint32_t dword) {
  return width == 8 ? byte : width == 16 ? word : dword;
}

}  // namespace

std::string requestName(uint32_t c) {
  switch (c) {
    case code::kQueryAvailModes:
      return "IOCTL_VIDEO_QUERY_AVAIL_MODES";
    case code::kQueryNumAvailModes:
      return "IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES";
    case code::kQueryCurrentMode:
      return "IOCTL_VIDEO_QUERY_CURRENT_MODE";
    case code::kSetCurrentMode:
      return "IOCTL_VIDEO_SET_CURRENT_MODE";
    case code::kResetDevice:
      return "IOCTL_VIDEO_RESET_DEVICE";
    case code::kSetColorRegisters:
      return "IOCTL_VIDEO_SET_COLOR_REGISTERS";
    case code::kEnablePointer:
      return "IOCTL_VIDEO_ENABLE_POINTER";
    case code::kDisablePointer:
      return "IOCTL_VIDEO_DISABLE_POINTER";
    case code::kSetPointerAttr:
      return "IOCTL_VIDEO_SET_POINTER_ATTR";
    case code::kSetPointerPosition:
      return "IOCTL_VIDEO_SET_POINTER_POSITION";
    case code::kQueryPointerPosition:
      return "IOCTL_VIDEO_QUERY_POINTER_POSITION";
    case code::kQueryPointerCapabilities:
      return "IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES";
    case code::kQueryColorCapabilities:
      return "IOCTL_VIDEO_QUERY_COLOR_CAPABILITIES";
    case code::kMapVideoMemory:
      return "IOCTL_VIDEO_MAP_VIDEO_MEMORY";
    case code::kUnmapVideoMemory:
      return "IOCTL_VIDEO_UNMAP_VIDEO_MEMORY";
    case code::kShareVideoMemory:
      return "IOCTL_VIDEO_SHARE_VIDEO_MEMORY";
    case code::kUnshareVideoMemory:
      return "IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY";
    case code::kDriverMemoryMap:
      return "IOCTL_DRIVER_MEMORY_MAP";
    case code::kDriverIoMap:
      return "IOCTL_DRIVER_IO_MAP";
    case code::kDriverReadPortUchar:
      return "IOCTL_DRIVER_READ_PORT_UCHAR";
    case code::kDriverReadPortUshort:
      return "IOCTL_DRIVER_READ_PORT_USHORT";
    case code::kDriverReadPortUlong:
      return "IOCTL_DRIVER_READ_PORT_ULONG";
    case code::kDriverWritePortUchar:
      return "IOCTL_DRIVER_WRITE_PORT_UCHAR";
    case code::kDriverWritePortUshort:
      return "IOCTL_DRIVER_WRITE_PORT_USHORT";
    case code::kDriverWritePortUlong:
      return "IOCTL_DRIVER_WRITE_PORT_ULONG";
    case code::kDriverNop:
      return "IOCTL_DRIVER_NOP";
    case code::kDriverQueryFbFree:
      return "IOCTL_DRIVER_QUERY_FB_FREE";
    default:
      return hex(c, 8);
  }
}

std::string statusName(uint32_t status) {
  switch (status) {
    case ORVA_NO_ERROR:
      return "NO_ERROR";
    case ORVA_ERROR_INVALID_FUNCTION:
      return "ERROR_INVALID_FUNCTION";
    case ORVA_ERROR_INVALID_PARAMETER:
      return "ERROR_INVALID_PARAMETER";
    case ORVA_ERROR_INSUFFICIENT_BUFFER:
      return "ERROR_INSUFFICIENT_BUFFER";
    default:
      return std::to_string(status);
  }
}

Json modeJson(const ModeInformation& m) {
  return Json{{"Length", m.Length},
              {"ModeIndex", m.ModeIndex},
              {"VisScreenWidth", m.VisScreenWidth},
              {"VisScreenHeight", m.VisScreenHeight},
              {"ScreenStride", m.ScreenStride},
              {"NumberOfPlanes", m.NumberOfPlanes},
              {"BitsPerPlane", m.BitsPerPlane},
              {"Frequency", m.Frequency},
              {"XMillimeter", m.XMillimeter},
              {"YMillimeter", m.YMillimeter},
              {"NumberRedBits", m.NumberRedBits},
              {"NumberGreenBits", m.NumberGreenBits},
              {"NumberBlueBits", m.NumberBlueBits},
              {"RedMask", m.RedMask},
              {"GreenMask", m.GreenMask},
              {"BlueMask", m.BlueMask},
              {"AttributeFlags", m.AttributeFlags},
              {"VideoMemoryBitmapWidth", m.VideoMemoryBitmapWidth},
              {"VideoMemoryBitmapHeight", m.VideoMemoryBitmapHeight},
              {"DriverSpecificAttributeFlags", m.DriverSpecificAttributeFlags}};
}

Exchange Client::send(uint32_t c, std::span<const uint8_t> input, uint32_t outputLength) {
  return exchange(c, session_.request(c, input, outputLength));
}

Exchange Client::queryNumModes() {
  auto reply = req::queryNumModes(session_);
  Exchange e = exchange(code::kQueryNumAvailModes, reply);
  if (reply.ok())
    e.result = {{"NumModes", reply.value.NumModes},
                {"ModeInformationLength", reply.value.ModeInformationLength}};
  return e;
}

Exchange Client::queryModes(std::vector<ModeInformation>* modes) {
  auto reply = req::queryModes(session_);
  std::vector<ModeInformation> list;
  for (const VIDEO_MODE_INFORMATION& m : reply.value) {
    ModeInformation info;
    std::memcpy(&info, &m, sizeof info);
    list.push_back(info);
  }
  Exchange e = exchange(code::kQueryAvailModes, reply);
  if (reply.ok()) {
    Json array = Json::array();
    for (const ModeInformation& m : list) array.push_back(modeJson(m));
    e.result = {{"modes", std::move(array)}};
  }
  if (modes) *modes = std::move(list);
  return e;
}

Exchange Client::queryCurrentMode() {
  auto reply = req::queryCurrentMode(session_);
  Exchange e = exchange(code::kQueryCurrentMode, reply);
  if (reply.ok()) {
    ModeInformation info;
    std::memcpy(&info, &reply.value, sizeof info);
    e.result = modeJson(info);
  }
  return e;
}

Exchange Client::setMode(uint32_t mode, uint32_t outputLength) {
  if (outputLength == 0) return exchange(code::kSetCurrentMode, req::setMode(session_, mode));
  const VIDEO_MODE record{mode};
  return send(code::kSetCurrentMode, req::bytesOf(record), outputLength);
}

Exchange Client::reset() { return exchange(code::kResetDevice, req::resetDevice(session_)); }

Exchange Client::mapVideoMemory(uint64_t requestedAddress) {
  auto reply = req::mapVideoMemory(session_, pointer(requestedAddress));
  Exchange e = exchange(code::kMapVideoMemory, reply);
  if (reply.ok())
    e.result = {{"VideoRamBase", address(reply.value.VideoRamBase)},
                {"VideoRamLength", reply.value.VideoRamLength},
                {"FrameBufferBase", address(reply.value.FrameBufferBase)},
                {"FrameBufferLength", reply.value.FrameBufferLength}};
  return e;
}

Exchange Client::unmapVideoMemory(uint64_t addr) {
  return exchange(code::kUnmapVideoMemory, req::unmapVideoMemory(session_, pointer(addr)));
}

Exchange Client::shareVideoMemory(uint32_t offset, uint32_t size, uint64_t process) {
  auto reply = req::shareVideoMemory(session_, pointer(process), offset, size);
  Exchange e = exchange(code::kShareVideoMemory, reply);
  if (reply.ok())
    e.result = {{"SharedViewOffset", reply.value.SharedViewOffset},
                {"SharedViewSize", reply.value.SharedViewSize},
                {"VirtualAddress", address(reply.value.VirtualAddress)}};
  return e;
}

Exchange Client::unshareVideoMemory(uint64_t addr, uint64_t process) {
  return exchange(code::kUnshareVideoMemory,
                  req::unshareVideoMemory(session_, pointer(process), pointer(addr)));
}

Exchange Client::queryPointerCapabilities() {
  auto reply = req::queryPointerCapabilities(session_);
  Exchange e = exchange(code::kQueryPointerCapabilities, reply);
  if (reply.ok())
    e.result = {{"Flags", reply.value.Flags},
                {"MaxWidth", reply.value.MaxWidth},
                {"MaxHeight", reply.value.MaxHeight},
                {"HWPtrBitmapStart", reply.value.HWPtrBitmapStart},
                {"HWPtrBitmapEnd", reply.value.HWPtrBitmapEnd}};
  return e;
}

Exchange Client::queryColorCapabilities() {
  // Length, AttributeFlags, then the phosphor decays, chromaticities and gammas.
  static constexpr const char* kFields[] = {"Length",
                                            "AttributeFlags",
                                            "RedPhosphoreDecay",
                                            "GreenPhosphoreDecay",
                                            "BluePhosphoreDecay",
                                            "WhiteChromaticity_x",
                                            "WhiteChromaticity_y",
                                            "WhiteChromaticity_Y",
                                            "RedChromaticity_x",
                                            "RedChromaticity_y",
                                            "GreenChromaticity_x",
                                            "GreenChromaticity_y",
                                            "BlueChromaticity_x",
                                            "BlueChromaticity_y",
                                            "WhiteGamma",
                                            "RedGamma",
                                            "GreenGamma",
                                            "BlueGamma"};
  constexpr uint32_t kLength = sizeof kFields / sizeof kFields[0] * 4;
  Exchange e = send(code::kQueryColorCapabilities, {}, kLength);
  if (e.status == 0) {
    for (size_t i = 0; i < std::size(kFields); ++i) {
      int32_t field = 0;
      if (4 * i + 4 <= std::min<uint64_t>(e.information, e.output.size()))
        std::memcpy(&field, e.output.data() + 4 * i, 4);
      e.result[kFields[i]] = field;
    }
  }
  return e;
}

Exchange Client::setPalette(uint32_t first, const std::vector<uint32_t>& colours) {
  std::vector<VIDEO_CLUTDATA> entries;
  for (uint32_t colour : colours)
    entries.push_back({static_cast<UCHAR>(colour >> 16), static_cast<UCHAR>(colour >> 8),
                       static_cast<UCHAR>(colour), 0});
  return exchange(code::kSetColorRegisters,
                  req::setColorRegisters(session_, static_cast<uint16_t>(first), entries));
}

Exchange Client::setPointerShape(const std::vector<uint8_t>& shape, uint32_t flags, uint32_t width,
                                 uint32_t height, int32_t column, int32_t row) {
  // The length a display driver passes: the whole record (its one-byte pixel array
  // padded) plus both 64 x 64 planes, 28 + 1024 = 1052 bytes.
  VIDEO_POINTER_ATTRIBUTES header{};
  header.Flags = flags;
  header.Width = width;
  header.Height = height;
  header.WidthInBytes = (width + 7) / 8;
  header.Enable = 1;
  header.Column = static_cast<SHORT>(column);
  header.Row = static_cast<SHORT>(row);
  constexpr size_t kPixels = offsetof(VIDEO_POINTER_ATTRIBUTES, Pixels);
  std::vector<uint8_t> input(sizeof(VIDEO_POINTER_ATTRIBUTES) + 1024, 0);
  std::memcpy(input.data(), &header, kPixels);
  std::memcpy(input.data() + kPixels, shape.data(), std::min<size_t>(shape.size(), 1024));
  return send(code::kSetPointerAttr, input, 0);
}

Exchange Client::setPointerPosition(int32_t column, int32_t row) {
  return exchange(
      code::kSetPointerPosition,
      req::setPointerPosition(session_, static_cast<int16_t>(column), static_cast<int16_t>(row)));
}

Exchange Client::enablePointer() {
  return exchange(code::kEnablePointer, req::enablePointer(session_));
}
Exchange Client::disablePointer() {
  return exchange(code::kDisablePointer, req::disablePointer(session_));
}

Exchange Client::queryPointerPosition() {
  auto reply = req::queryPointerPosition(session_);
  Exchange e = exchange(code::kQueryPointerPosition, reply);
  if (reply.ok()) e.result = {{"Column", reply.value.Column}, {"Row", reply.value.Row}};
  return e;
}

Exchange Client::memoryMap(uint32_t physical, uint32_t length) {
  auto reply = req::memoryMap(session_, physical, length);
  Exchange e = exchange(code::kDriverMemoryMap, reply);
  if (reply.ok()) e.result = {{"address", reply.value}};
  return e;
}

Exchange Client::ioMap(uint32_t port, uint32_t length) {
  auto reply = req::ioMap(session_, port, length);
  Exchange e = exchange(code::kDriverIoMap, reply);
  if (reply.ok()) e.result = {{"address", reply.value}};
  return e;
}

Exchange Client::readPort(unsigned width, uint32_t base, uint32_t offset) {
  auto reply = req::readPort(session_, width, base, offset);
  Exchange e = exchange(portCode(width, code::kDriverReadPortUchar, code::kDriverReadPortUshort,
                                 code::kDriverReadPortUlong),
                        reply);
  if (reply.ok()) e.result = {{"port", base + offset}, {"value", reply.value}};
  return e;
}

Exchange Client::writePort(unsigned width, uint32_t base, uint32_t offset, uint32_t value) {
  Exchange e = exchange(portCode(width, code::kDriverWritePortUchar, code::kDriverWritePortUshort,
                                 code::kDriverWritePortUlong),
                        req::writePort(session_, width, base, offset, value));
  if (e.status == 0) e.result = {{"port", base + offset}};
  return e;
}

Exchange Client::nop() { return exchange(code::kDriverNop, req::nop(session_)); }

Exchange Client::queryFbFree() {
  auto reply = req::queryFrameBufferFree(session_);
  Exchange e = exchange(code::kDriverQueryFbFree, reply);
  if (reply.ok()) e.result = {{"offset", reply.value}};
  return e;
}

}  // namespace orvasim
