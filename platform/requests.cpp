#include "requests.h"

#include <stdexcept>

namespace orva::platform {
namespace {

template <typename T>
Reply<T> decoded(RequestResult raw) {
  Reply<T> reply;
  reply.value = recordAt<T>(raw.output);
  reply.raw = std::move(raw);
  return reply;
}

std::vector<uint8_t> concat(std::span<const uint8_t> head, std::span<const uint8_t> tail) {
  std::vector<uint8_t> out(head.begin(), head.end());
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

uint32_t portCode(bool write, unsigned width) {
  switch (width) {
    case 8:
      return write ? IOCTL_DRIVER_WRITE_PORT_UCHAR : IOCTL_DRIVER_READ_PORT_UCHAR;
    case 16:
      return write ? IOCTL_DRIVER_WRITE_PORT_USHORT : IOCTL_DRIVER_READ_PORT_USHORT;
    case 32:
      return write ? IOCTL_DRIVER_WRITE_PORT_ULONG : IOCTL_DRIVER_READ_PORT_ULONG;
    default:
      throw std::invalid_argument("port width must be 8, 16 or 32");
  }
}

}  // namespace

SessionOptions sessionOptions(const BootOptions& options) {
  const auto variant = board::parseVariant(options.chip);
  if (!variant) throw std::invalid_argument("unknown chip: " + options.chip);
  SessionOptions out;
  out.board.variant = *variant;
  out.board.memoryBytes = options.memoryBytes;
  out.board.gbase = options.gbase;
  out.board.tvEncoderPresent = options.tvEncoderPresent;
  if (options.output) out.outputType = registryString(*options.output);
  out.driverPath = options.driverPath;
  out.runDriverEntry = options.runDriverEntry;
  return out;
}

std::unique_ptr<Session> boot(const BootOptions& options) {
  auto session = std::make_unique<Session>(sessionOptions(options));
  if (options.runDriverEntry) session->open();
  return session;
}

Reply<VIDEO_NUM_MODES> queryNumModes(Session& session) {
  return decoded<VIDEO_NUM_MODES>(
      session.request(IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, {}, sizeof(VIDEO_NUM_MODES)));
}

Reply<std::vector<VIDEO_MODE_INFORMATION>> queryModes(Session& session) {
  const auto count = queryNumModes(session);
  Reply<std::vector<VIDEO_MODE_INFORMATION>> reply;
  if (!count.ok()) {
    reply.raw = count.raw;
    return reply;
  }
  const uint32_t length = count.value.NumModes * sizeof(VIDEO_MODE_INFORMATION);
  reply.raw = session.request(IOCTL_VIDEO_QUERY_AVAIL_MODES, {}, length);
  const uint64_t returned = std::min<uint64_t>(reply.raw.information, reply.raw.output.size());
  reply.value.reserve(static_cast<size_t>(returned / sizeof(VIDEO_MODE_INFORMATION)));
  for (uint64_t at = 0; at + sizeof(VIDEO_MODE_INFORMATION) <= returned;
       at += sizeof(VIDEO_MODE_INFORMATION)) {
    reply.value.push_back(recordAt<VIDEO_MODE_INFORMATION>(reply.raw.output, at));
  }
  return reply;
}

Reply<VIDEO_MODE_INFORMATION> queryCurrentMode(Session& session) {
  return decoded<VIDEO_MODE_INFORMATION>(
      session.request(IOCTL_VIDEO_QUERY_CURRENT_MODE, {}, sizeof(VIDEO_MODE_INFORMATION)));
}

RequestResult setMode(Session& session, uint32_t mode) {
  const VIDEO_MODE request{mode};
  return session.request(IOCTL_VIDEO_SET_CURRENT_MODE, bytesOf(request), 0);
}

RequestResult resetDevice(Session& session) {
  return session.request(IOCTL_VIDEO_RESET_DEVICE, {}, 0);
}

std::optional<VIDEO_MODE_INFORMATION> findMode(std::span<const VIDEO_MODE_INFORMATION> modes,
                                               uint32_t width, uint32_t height, uint32_t bpp,
                                               uint32_t frequency) {
  for (const VIDEO_MODE_INFORMATION& mode : modes) {
    if (mode.VisScreenWidth == width && mode.VisScreenHeight == height &&
        mode.BitsPerPlane == bpp && (frequency == 0 || mode.Frequency == frequency)) {
      return mode;
    }
  }
  return std::nullopt;
}

Reply<VIDEO_MEMORY_INFORMATION> mapVideoMemory(Session& session, void* requested) {
  const VIDEO_MEMORY request{requested};
  return decoded<VIDEO_MEMORY_INFORMATION>(session.request(
      IOCTL_VIDEO_MAP_VIDEO_MEMORY, bytesOf(request), sizeof(VIDEO_MEMORY_INFORMATION)));
}

RequestResult unmapVideoMemory(Session& session, void* address) {
  const VIDEO_MEMORY request{address};
  return session.request(IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, bytesOf(request), 0);
}

Reply<VIDEO_SHARE_MEMORY_INFORMATION> shareVideoMemory(Session& session, HANDLE process,
                                                       uint32_t offset, uint32_t size,
                                                       void* requested) {
  const VIDEO_SHARE_MEMORY request{process, offset, size, requested};
  return decoded<VIDEO_SHARE_MEMORY_INFORMATION>(session.request(
      IOCTL_VIDEO_SHARE_VIDEO_MEMORY, bytesOf(request), sizeof(VIDEO_SHARE_MEMORY_INFORMATION)));
}

RequestResult unshareVideoMemory(Session& session, HANDLE process, void* address) {
  const VIDEO_SHARE_MEMORY request{process, 0, 0, address};
  return session.request(IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY, bytesOf(request), 0);
}

RequestResult setColorRegisters(Session& session, uint16_t first,
                                std::span<const VIDEO_CLUTDATA> entries) {
  const uint16_t header[2] = {static_cast<uint16_t>(entries.size()), first};
  const auto input =
      concat({reinterpret_cast<const uint8_t*>(header), sizeof header},
             {reinterpret_cast<const uint8_t*>(entries.data()), entries.size_bytes()});
  return session.request(IOCTL_VIDEO_SET_COLOR_REGISTERS, input, 0);
}

RequestResult setPointerAttributes(Session& session, const PointerShape& shape) {
  // The whole record (its one-byte pixel array and padding included) followed by
  // the 1024 bytes of the pattern: the length a display driver passes.
  std::vector<uint8_t> input(sizeof(VIDEO_POINTER_ATTRIBUTES) + shape.pixels.size());
  VIDEO_POINTER_ATTRIBUTES header;
  std::memset(&header, 0, sizeof header);
  header.Flags = shape.flags;
  header.Width = shape.width;
  header.Height = shape.height;
  header.WidthInBytes = shape.widthInBytes;
  header.Enable = shape.enable;
  header.Column = shape.column;
  header.Row = shape.row;
  std::memcpy(input.data(), &header, offsetof(VIDEO_POINTER_ATTRIBUTES, Pixels));
  std::memcpy(input.data() + offsetof(VIDEO_POINTER_ATTRIBUTES, Pixels), shape.pixels.data(),
              shape.pixels.size());
  return session.request(IOCTL_VIDEO_SET_POINTER_ATTR, input, 0);
}

RequestResult enablePointer(Session& session) {
  return session.request(IOCTL_VIDEO_ENABLE_POINTER, {}, 0);
}

RequestResult disablePointer(Session& session) {
  return session.request(IOCTL_VIDEO_DISABLE_POINTER, {}, 0);
}

RequestResult setPointerPosition(Session& session, int16_t column, int16_t row) {
  const VIDEO_POINTER_POSITION request{column, row};
  return session.request(IOCTL_VIDEO_SET_POINTER_POSITION, bytesOf(request), 0);
}

Reply<VIDEO_POINTER_POSITION> queryPointerPosition(Session& session) {
  return decoded<VIDEO_POINTER_POSITION>(
      session.request(IOCTL_VIDEO_QUERY_POINTER_POSITION, {}, sizeof(VIDEO_POINTER_POSITION)));
}

Reply<VIDEO_POINTER_CAPABILITIES> queryPointerCapabilities(Session& session) {
  return decoded<VIDEO_POINTER_CAPABILITIES>(session.request(
      IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, {}, sizeof(VIDEO_POINTER_CAPABILITIES)));
}

Reply<uint32_t> memoryMap(Session& session, uint32_t physical, uint32_t length) {
  const DRIVER_MAP_REQUEST request{physical, length};
  return decoded<uint32_t>(session.request(IOCTL_DRIVER_MEMORY_MAP, bytesOf(request), 4));
}

Reply<uint32_t> ioMap(Session& session, uint32_t port, uint32_t length) {
  const DRIVER_MAP_REQUEST request{port, length};
  return decoded<uint32_t>(session.request(IOCTL_DRIVER_IO_MAP, bytesOf(request), 4));
}

Reply<uint32_t> readPort(Session& session, unsigned width, uint32_t base, uint32_t offset) {
  const uint32_t request[2] = {base, offset};
  return decoded<uint32_t>(session.request(
      portCode(false, width), {reinterpret_cast<const uint8_t*>(request), sizeof request}, 4));
}

RequestResult writePort(Session& session, unsigned width, uint32_t base, uint32_t offset,
                        uint32_t data) {
  const DRIVER_PORT_REQUEST request{base, offset, data};
  return session.request(portCode(true, width), bytesOf(request), 0);
}

RequestResult nop(Session& session) { return session.request(IOCTL_DRIVER_NOP, {}, 0); }

Reply<uint32_t> queryFrameBufferFree(Session& session) {
  return decoded<uint32_t>(session.request(IOCTL_DRIVER_QUERY_FB_FREE, {}, 4));
}

}  // namespace orva::platform
