// libFuzzer target over everything a caller, the registry and the hardware can
// hand the driver: the input picks a board (variant, memory, graphics base, TFT
// port base, strap, registry value) and then a sequence of requests, and runs
// them with the verifier on. Besides the sanitizers and the request completion
// (a guarded buffer that is not zeroed; a missing status or an overstated length
// ends the run), it treats bytes written past the reported length as a fault, and
// checks that the driver never touches display memory beyond the board's, never
// reports success for a request it did not carry out, and keeps what it reports
// consistent with what it did.
//
// Every input must start from a freshly loaded driver. Loading a new copy of an
// instrumented module for every input would register a new set of coverage
// counters each time, so the driver module is loaded once and its writable data
// (.data, .bss and the relocated .data.rel sections) is put back to its load-time
// image before each input: the same state a fresh load gives. The session loads a
// small forwarding module in its place, whose DriverEntry enters this one.
//
// Built a second time (orva_image_fuzzer), the same inputs run the shipped
// x86-64 orva.sys through the PE loader instead: each session maps the image
// afresh. Its coverage is that of this harness only; the image has no counters.
//
// One session serves the whole run: Session::reset powers its board up again
// and drops its mappings, processes and buffers before each input, the same
// state a new session gives, without the cost of building one. ORVA_FUZZ_MODE
// (below) selects a new session per input instead, or a check that the two
// agree.
#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board.h"
#include "fuzz_input.h"
#include "miniport/miniport.h"
#include "module_data.h"
#include "orva/requests.h"
#include "orva/session.h"
#include "timing.h"

namespace orva::fuzz {
namespace {

using platform::RequestResult;
using platform::Session;

[[noreturn]] void fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
void fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::fputs("orva fuzz: ", stderr);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  va_end(args);
  std::abort();
}

#define CHECK(condition, ...)            \
  do {                                   \
    if (!(condition)) fail(__VA_ARGS__); \
  } while (0)

#ifdef ORVA_FUZZ_DRIVER_MODULE
// The instrumented driver module, loaded once for the whole run.
class Driver {
 public:
  explicit Driver(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    CHECK(handle != nullptr, "cannot load %s: %s", path, dlerror());
    data_.emplace(handle, path);
    entry_ = dlsym(handle, "DriverEntry");
    hardwareId_ = static_cast<ULONG*>(dlsym(handle, "HWGENERIC_ulHardwareID"));
    CHECK(entry_ != nullptr && hardwareId_ != nullptr, "%s is not the driver", path);
  }

  // Every module variable back at its load-time value.
  void reload() {
    data_->restore();
    CHECK(*hardwareId_ == 0xFFFFFFFF, "driver state not restored");
  }

  void* entry() const { return entry_; }

 private:
  std::optional<platform::detail::ModuleData> data_;
  void* entry_ = nullptr;
  ULONG* hardwareId_ = nullptr;
};

Driver& driver() {
  static Driver* instance = new Driver(ORVA_FUZZ_DRIVER_MODULE);
  return *instance;
}
#endif

// --- The board ---------------------------------------------------------------

std::vector<uint8_t> utf16(const std::string& text, bool terminate) {
  std::vector<uint8_t> out;
  for (char c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(0);
  }
  if (terminate) out.insert(out.end(), {0, 0});
  return out;
}

std::optional<std::vector<uint8_t>> registryValue(Reader& in, RegistryKind kind) {
  switch (kind) {
    case RegistryKind::Absent:
      return std::nullopt;
    case RegistryKind::Keyword: {
      std::string text = kKeywords[in.u8() % kKeywordCount];
      const uint8_t caseMask = in.u8();
      for (size_t i = 0; i < text.size(); ++i) {
        if ((caseMask >> (i % 8)) & 1) text[i] = static_cast<char>(text[i] | 0x20);
      }
      std::vector<uint8_t> value = utf16(text, true);
      switch (in.u8() % 3) {
        case 1:
          value.insert(value.end() - 2, {'X', 0});
          break;
        case 2:
          value.insert(value.end(), {'X', 0, 0, 0});
          break;
        default:
          break;
      }
      return value;
    }
    case RegistryKind::Raw:
      return in.bytes(in.u8());
    case RegistryKind::Long:
      return utf16(std::string(in.u16() % 1024, static_cast<char>(in.u8())), true);
    default: {
      std::vector<uint8_t> value = in.bytes(2 * size_t{in.u8()});
      for (size_t i = 1; i < value.size(); i += 2) value[i] |= 1;
      return value;
    }
  }
}

platform::SessionOptions boardOf(Reader& in) {
  platform::SessionOptions options;
  options.board.variant = board::kAllVariants[in.u8() % std::size(board::kAllVariants)];
  // Half of the boards get at most 1920 KB: a board's memory is cleared at power-up
  // and by every mode set, and small ones keep the fuzzer fast.
  const uint8_t memory = in.u8();
  options.board.memoryBytes =
      static_cast<uint32_t>((memory & 0x40) ? (memory & 0x0F) : (memory & 0x3F)) << 17;
  options.board.gbase = in.u8();
  const uint8_t flags = in.u8();
  options.board.tvEncoderPresent = (flags & 1) != 0;
  options.board.superIoE1 = (flags & 2) != 0 ? 0x02 : 0x00;
  switch ((flags >> 2) & 3) {
    case 1:
      options.board.tftBasePort = 0;
      break;
    case 2:
      options.board.tftBasePort = 0xFFFC;
      break;
    case 3:
      options.board.tftBasePort = in.u16();
      break;
    default:
      break;
  }
  options.outputType =
      registryValue(in, static_cast<RegistryKind>(((flags >> 4) & 7) % kRegistryKinds));
  options.verify = true;
  // Of the verifier's notices only unreported output is a fault here; the
  // others are the driver's design (docs/hardening.md) and not worth their cost.
  options.verifyChecks = platform::kVerifyOutput;
  options.runDriverEntry = false;
  options.driverPath = ORVA_FUZZ_DRIVER_FILE;
  return options;
}

// --- The requests --------------------------------------------------------------

bool isPortCode(uint32_t code) {
  return code >= IOCTL_DRIVER_READ_PORT_UCHAR && code <= IOCTL_DRIVER_WRITE_PORT_ULONG;
}

class Run {
 public:
  explicit Run(Session& session)
      : s_(session), board_(session.board()), numModes_(extension().ulNumModes) {}

  void step(Reader& in) {
    switch (static_cast<Op>(in.u8() % kOpCount)) {
      case Op::QueryNumModes: {
        const RequestResult r = send(IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, {}, in.u16() % 64);
        if (r.status == 0) {
          CHECK(platform::recordAt<VIDEO_NUM_MODES>(r.output).NumModes == numModes_,
                "mode count changed");
        }
        break;
      }
      case Op::QueryModes: {
        const uint8_t form = in.u8();
        const uint32_t exact =
            static_cast<uint32_t>(modes().size() * sizeof(VIDEO_MODE_INFORMATION));
        send(IOCTL_VIDEO_QUERY_AVAIL_MODES, {}, (form & 1) ? in.u16() : exact);
        break;
      }
      case Op::QueryCurrent: {
        const RequestResult r = send(IOCTL_VIDEO_QUERY_CURRENT_MODE, {}, in.u16() % 256);
        if (r.status == 0 && current_) {
          const auto m = platform::recordAt<VIDEO_MODE_INFORMATION>(r.output);
          CHECK(m.ModeIndex == current_->ModeIndex &&
                    m.VisScreenWidth == current_->VisScreenWidth &&
                    m.BitsPerPlane == current_->BitsPerPlane,
                "current mode %u, set %u", m.ModeIndex, current_->ModeIndex);
        }
        break;
      }
      case Op::SetMode:
        setMode(in);
        break;
      case Op::Reset:
        send(IOCTL_VIDEO_RESET_DEVICE, {}, 0);
        break;
      case Op::Palette: {
        const uint16_t first = in.u16();
        const uint16_t count = in.u16();
        const uint8_t form = in.u8() % 3;
        size_t length = 4 + size_t{count} * 4;
        if (form == 1) length -= 1;
        if (form == 2) length = in.u16();
        std::vector<uint8_t> input(length, 0);
        if (length >= 4) {
          std::memcpy(input.data(), &count, 2);
          std::memcpy(input.data() + 2, &first, 2);
          const std::vector<uint8_t> entries = in.bytes(std::min<size_t>(length - 4, 1024));
          std::copy(entries.begin(), entries.end(), input.begin() + 4);
        }
        send(IOCTL_VIDEO_SET_COLOR_REGISTERS, input, 0);
        break;
      }
      case Op::PointerOnOff:
        send((in.u8() & 1) ? IOCTL_VIDEO_DISABLE_POINTER : IOCTL_VIDEO_ENABLE_POINTER, {}, 0);
        break;
      case Op::PointerAttr:
        pointerAttributes(in);
        break;
      case Op::PointerMove: {
        VIDEO_POINTER_POSITION position{static_cast<SHORT>(in.u16()), static_cast<SHORT>(in.u16())};
        const uint8_t length = in.u8() % 8;
        std::vector<uint8_t> input(length == 0 ? sizeof position : length, 0);
        std::memcpy(input.data(), &position, std::min(input.size(), sizeof position));
        if (send(IOCTL_VIDEO_SET_POINTER_POSITION, input, 0).status == 0) position_ = position;
        break;
      }
      case Op::PointerQuery: {
        const bool capabilities = in.u8() & 1;
        const uint32_t out = in.u16() % 64;
        const RequestResult r = send(capabilities ? IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES
                                                  : IOCTL_VIDEO_QUERY_POINTER_POSITION,
                                     {}, out);
        if (!capabilities && r.status == 0) {
          const auto p = platform::recordAt<VIDEO_POINTER_POSITION>(r.output);
          CHECK(p.Column == position_.Column && p.Row == position_.Row,
                "pointer at %d,%d, last set %d,%d", p.Column, p.Row, position_.Column,
                position_.Row);
        }
        break;
      }
      case Op::Map:
        map(in);
        break;
      case Op::Share:
        share(in);
        break;
      case Op::PrivateMap: {
        const bool io = in.u8() & 1;
        const DRIVER_MAP_REQUEST request{in.u32(), in.u32() % (16u << 20)};
        send(io ? IOCTL_DRIVER_IO_MAP : IOCTL_DRIVER_MEMORY_MAP, platform::bytesOf(request), 4);
        break;
      }
      case Op::PortAccess: {
        const uint8_t form = in.u8() % 6;
        DRIVER_PORT_REQUEST request{kPorts[in.u8() % kPortCount], in.u32() % 2, in.u32()};
        constexpr uint32_t kCodes[] = {
            IOCTL_DRIVER_READ_PORT_UCHAR,   IOCTL_DRIVER_READ_PORT_USHORT,
            IOCTL_DRIVER_READ_PORT_ULONG,   IOCTL_DRIVER_WRITE_PORT_UCHAR,
            IOCTL_DRIVER_WRITE_PORT_USHORT, IOCTL_DRIVER_WRITE_PORT_ULONG};
        rawAccess_ = true;
        send(kCodes[form], platform::bytesOf(request), form < 3 ? 4 : 0);
        break;
      }
      case Op::NopOrFree: {
        const bool free = in.u8() & 1;
        send(free ? IOCTL_DRIVER_QUERY_FB_FREE : IOCTL_DRIVER_NOP, {}, in.u16() % 16);
        break;
      }
      default:
        raw(in);
        break;
    }
  }

  void finish() {
    CHECK(board_.frameBufferFaults() == 0, "display memory accessed beyond the board's");
    CHECK(rawAccess_ || s_.trace().counters().undecoded == 0, "%llu undecoded accesses",
          static_cast<unsigned long long>(s_.trace().counters().undecoded));
  }

 private:
  RequestResult send(uint32_t code, std::span<const uint8_t> input, uint32_t output) {
    const RequestResult r = s_.request(code, input, output);
    for (; noticesSeen_ < s_.notices().size(); ++noticesSeen_) {
      const platform::Notice& notice = s_.notices()[noticesSeen_];
      CHECK(notice.kind != "unreported-output", "%s", notice.message.c_str());
    }
    CHECK(r.status == 0 || r.status == 1 || r.status == 87 || r.status == 122,
          "request 0x%X: status %u", code, r.status);
    CHECK(r.status != 0 || r.information <= output, "request 0x%X: %llu bytes reported of %u", code,
          static_cast<unsigned long long>(r.information), output);
    const bool served =
        std::find(std::begin(platform::kServedCodes), std::end(platform::kServedCodes), code) !=
        std::end(platform::kServedCodes);
    CHECK(served || r.status == 1, "unserved request 0x%X: status %u", code, r.status);
    CHECK(board_.frameBufferFaults() == 0, "request 0x%X reached beyond display memory", code);
    return r;
  }

  void setMode(Reader& in) {
    uint32_t number = 0;
    std::vector<uint8_t> input;
    switch (in.u8() % 4) {
      case 0: {
        const auto& list = modes();
        number = list.empty() ? in.u8() : list[in.u8() % list.size()].ModeIndex;
        break;
      }
      case 1: {
        const uint32_t w = in.u16(), h = in.u16(), bpp = in.u8(), hz = in.u8();
        number = (w << 16) ^ h ^ (bpp << 8) ^ hz;  // nothing listed: an arbitrary number
        for (const auto& m : modes()) {
          if (m.VisScreenWidth == w && m.VisScreenHeight == h && m.BitsPerPlane == bpp &&
              (hz == 0 || m.Frequency == hz)) {
            number = m.ModeIndex;
            break;
          }
        }
        break;
      }
      case 2:
        number = in.u32();
        break;
      default:
        input.resize(in.u8() % 4);  // too short to hold a mode number
        break;
    }
    if (input.empty())
      input.assign(reinterpret_cast<uint8_t*>(&number), reinterpret_cast<uint8_t*>(&number) + 4);
    const RequestResult r = send(IOCTL_VIDEO_SET_CURRENT_MODE, input, 0);
    const bool wellFormed = input.size() >= 4;
    const bool known = wellFormed && listed(number);
    CHECK(r.status == (!wellFormed ? 122u
                       : known     ? 0u
                                   : 87u),
          "mode %u (listed %d): status %u", number, known, r.status);
    if (r.status != 0) return;
    current_ = *std::find_if(modes().begin(), modes().end(),
                             [&](const auto& m) { return m.ModeIndex == number; });
    if (!rawAccess_) {
      const board::Timing t = board::decodeTiming(board_);
      CHECK(t.pitch == current_->ScreenStride, "mode %u: pitch %u, listed %u", number, t.pitch,
            current_->ScreenStride);
    }
  }

  void pointerAttributes(Reader& in) {
    VIDEO_POINTER_ATTRIBUTES a{};
    a.Flags = in.u32();
    a.Width = in.u32();
    a.Height = in.u32();
    a.WidthInBytes = 8;
    a.Enable = 1;
    a.Column = static_cast<SHORT>(in.u16());
    a.Row = static_cast<SHORT>(in.u16());
    // Small values are the interesting ones: fold most draws into 0..80.
    if ((a.Flags >> 31) == 0) a.Flags &= 0x1F;
    if ((a.Width >> 31) == 0) a.Width %= 81;
    if ((a.Height >> 31) == 0) a.Height %= 81;
    std::vector<uint8_t> shape(1024, 0);
    switch (in.u8() % 3) {
      case 0:
        std::fill(shape.begin(), shape.begin() + 512, 0xFF);  // transparent
        break;
      case 1: {
        const unsigned rows = in.u8() % 65;
        std::fill(shape.begin(), shape.begin() + 512, 0xFF);
        for (unsigned r = 0; r < rows; ++r) shape[r * 8] = 0x00;
        break;
      }
      default: {
        const std::vector<uint8_t> bytes = in.bytes(1024);
        std::copy(bytes.begin(), bytes.end(), shape.begin());
        break;
      }
    }
    constexpr size_t kPixels = offsetof(VIDEO_POINTER_ATTRIBUTES, Pixels);
    std::vector<uint8_t> input(sizeof(VIDEO_POINTER_ATTRIBUTES) + 1024, 0);
    std::memcpy(input.data(), &a, kPixels);
    std::copy(shape.begin(), shape.end(), input.begin() + kPixels);
    switch (in.u8() % 3) {
      case 1:
        input.pop_back();
        break;
      case 2:
        input.resize(in.u16() % 2048);
        break;
      default:
        break;
    }
    const RequestResult r = send(IOCTL_VIDEO_SET_POINTER_ATTR, input, 0);
    if (r.status != 0) return;
    CHECK(input.size() >= 0x41C && (a.Flags & VIDEO_MODE_MONO_POINTER) && a.Width <= 64 &&
              a.Height <= 64 && extension().ulCurrentWidth != 0 &&
              extension().ulCurrentWidth <= 1024,
          "pointer %ux%u flags 0x%X taken", a.Width, a.Height, a.Flags);
    // The shape went into the buffer the capabilities now name, inside display memory.
    const uint32_t offset = extension().ulPointerShapeOffset;
    CHECK(uint64_t{offset} + 1024 <= extension().ulFrameBufferLength &&
              offset + 1024 <= board_.vramSize(),
          "pointer shape at %u of %u bytes", offset, extension().ulFrameBufferLength);
    CHECK(std::memcmp(board_.vram() + offset, shape.data(), 1024) == 0,
          "pointer shape not in display memory at %u", offset);
    position_ = {a.Column, a.Row};
  }

  // A process handle: the current process, a new one, or any value (mostly
  // one no process has).
  HANDLE processOf(uint32_t value) {
    switch (value % 3) {
      case 0:
        return platform::kCurrentProcess;
      case 1:
        return s_.createProcess();
      default:
        return reinterpret_cast<HANDLE>(uintptr_t{value});
    }
  }

  void map(Reader& in) {
    const uint8_t form = in.u8();
    VIDEO_MEMORY request{};
    if (form & 2) request.RequestedVirtualAddress = processOf(in.u32());
    const RequestResult r = send(IOCTL_VIDEO_MAP_VIDEO_MEMORY, platform::bytesOf(request),
                                 sizeof(VIDEO_MEMORY_INFORMATION));
    if (r.status != 0) return;
    const auto info = platform::recordAt<VIDEO_MEMORY_INFORMATION>(r.output);
    const auto address = reinterpret_cast<uint64_t>(info.FrameBufferBase);
    bool found = false;
    for (const auto& m : s_.mappings()) {
      found |= m.address == address &&
               m.physical == uint64_t(extension().PhysicalFrameBuffer.QuadPart) &&
               m.length == extension().ulFrameBufferLength && info.FrameBufferLength == m.length;
    }
    CHECK(found, "frame buffer reported mapped at 0x%llx but not there",
          static_cast<unsigned long long>(address));
    if (form & 1) {
      // The unmap request names no process: it releases a system-space mapping
      // only, and a view mapped into a process stays until the process goes.
      const VIDEO_MEMORY unmap{info.FrameBufferBase};
      const uint32_t status =
          send(IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, platform::bytesOf(unmap), 0).status;
      CHECK(status == (request.RequestedVirtualAddress == nullptr ? 0u : 87u),
            "unmapping the frame buffer: status %u", status);
    }
  }

  void share(Reader& in) {
    VIDEO_SHARE_MEMORY request{};
    request.ViewOffset = in.u32();
    request.ViewSize = in.u32();
    request.ProcessHandle = processOf(in.u32());
    // Mostly views near the frame buffer's size.
    if ((request.ViewOffset >> 31) == 0)
      request.ViewOffset %= (extension().ulFrameBufferLength + 2);
    if ((request.ViewSize >> 31) == 0) request.ViewSize %= (extension().ulFrameBufferLength + 2);
    const bool unshare = in.u8() & 1;
    const RequestResult r = send(IOCTL_VIDEO_SHARE_VIDEO_MEMORY, platform::bytesOf(request),
                                 sizeof(VIDEO_SHARE_MEMORY_INFORMATION));
    if (r.status != 0) return;
    CHECK(uint64_t{request.ViewOffset} + request.ViewSize <= extension().ulFrameBufferLength,
          "view %u+%u of %u bytes shared", request.ViewOffset, request.ViewSize,
          extension().ulFrameBufferLength);
    if (unshare) {
      VIDEO_SHARE_MEMORY undo = request;
      undo.RequestedVirtualAddress =
          platform::recordAt<VIDEO_SHARE_MEMORY_INFORMATION>(r.output).VirtualAddress;
      CHECK(send(IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY, platform::bytesOf(undo), 0).status == 0,
            "unsharing a view failed");
    }
  }

  void raw(Reader& in) {
    const uint8_t selector = in.u8();
    const uint32_t code =
        (selector & 1) ? platform::kServedCodes[(selector >> 1) % std::size(platform::kServedCodes)]
                       : in.u32();
    const uint32_t inLength = in.u16() % 4096;
    const uint32_t outLength = in.u16() % 4096;
    const uint8_t fill = in.u8();
    std::vector<uint8_t> input(inLength, fill);
    if (fill == 0xA5) {
      const std::vector<uint8_t> bytes = in.bytes(inLength);
      std::copy(bytes.begin(), bytes.end(), input.begin());
    }
    if (isPortCode(code)) {
      // Raw port access stays on the ports above.
      const DRIVER_PORT_REQUEST port{kPorts[fill % kPortCount], 0, fill};
      if (!input.empty()) std::memcpy(input.data(), &port, std::min(input.size(), sizeof port));
      rawAccess_ = true;
    } else if (code == IOCTL_DRIVER_MEMORY_MAP || code == IOCTL_DRIVER_IO_MAP) {
      if (input.size() >= sizeof(DRIVER_MAP_REQUEST)) {
        // Map requests are raw access too: keep their length reasonable.
        input[6] = 0;
        input[7] = 0;
      }
    }
    const RequestResult r = send(code, input, outLength);
    if (code == IOCTL_VIDEO_SET_CURRENT_MODE && r.status == 0) {
      uint32_t number = 0;
      std::memcpy(&number, input.data(), 4);
      CHECK(listed(number), "unlisted mode %u set", number);
      current_ = *std::find_if(modes().begin(), modes().end(),
                               [&](const auto& m) { return m.ModeIndex == number; });
    }
    if (code == IOCTL_VIDEO_SET_POINTER_POSITION && r.status == 0) {
      std::memcpy(&position_, input.data(), sizeof position_);
    }
    if (code == IOCTL_VIDEO_SET_POINTER_ATTR && r.status == 0) {
      VIDEO_POINTER_ATTRIBUTES a{};
      std::memcpy(&a, input.data(), offsetof(VIDEO_POINTER_ATTRIBUTES, Pixels));
      position_ = {a.Column, a.Row};
    }
  }

  // The mode list, as the display driver reads it before it needs a mode: asked
  // for once, when a step first needs it.
  const std::vector<VIDEO_MODE_INFORMATION>& modes() {
    if (!modesKnown_) {
      const auto list = platform::queryModes(s_);
      CHECK(list.ok(), "mode list refused: %u", list.status());
      modes_ = list.value;
      modesKnown_ = true;
      // Raw port writes before the first query may have changed what the chip
      // reports about its memory.
      CHECK(rawAccess_ || modes_.size() == numModes_, "listed %zu modes of %u", modes_.size(),
            numModes_);
    }
    return modes_;
  }

  bool listed(uint32_t number) {
    return std::any_of(modes().begin(), modes().end(),
                       [&](const auto& m) { return m.ModeIndex == number; });
  }

  const HW_DEVICE_EXTENSION& extension() {
    std::memcpy(&extension_, s_.deviceExtension().data(), sizeof extension_);
    return extension_;
  }

  Session& s_;
  size_t noticesSeen_ = 0;
  board::Board& board_;
  HW_DEVICE_EXTENSION extension_{};
  uint32_t numModes_;  // as the driver counted them at start
  std::vector<VIDEO_MODE_INFORMATION> modes_;
  bool modesKnown_ = false;
  std::optional<VIDEO_MODE_INFORMATION> current_;
  VIDEO_POINTER_POSITION position_{-1, -1};  // the load-time position, 65535 in 16 bits
  bool rawAccess_ = false;
};

constexpr unsigned kMaxRequests = 64;

// The forwarding module's DriverEntry enters the driver loaded above.
using Entry = ULONG NTAPI (*)(PVOID, PVOID);

// One input on a session the options just made or reset. Only the counters
// matter to the checks; `record` keeps the trace as well.
void fuzzOne(Session& session, Reader& in, bool record) {
  // A session of the forwarding module enters the instrumented driver, put
  // back to its load-time state; a .sys image was mapped afresh by the session.
#ifdef ORVA_FUZZ_DRIVER_MODULE
  if (Entry* forward = session.driverSymbol<Entry>("ORVA_FuzzForward"); forward != nullptr) {
    driver().reload();
    *forward = reinterpret_cast<Entry>(driver().entry());
  }
#endif
  session.trace().setRecording(record);
  session.startDriver();
  if (!session.open()) {
    // A refused adapter: nothing was published and no request can reach it. Its
    // discovery, too, reached only ports and addresses the board decodes.
    CHECK(session.findAdapterCalls() == 1, "a refused adapter was looked for again");
    CHECK(session.trace().counters().undecoded == 0, "%llu undecoded accesses before refusing",
          static_cast<unsigned long long>(session.trace().counters().undecoded));
    return;
  }
  Run run(session);
  for (unsigned i = 0; i < kMaxRequests && !in.done(); ++i) run.step(in);
  run.finish();
}

// How the inputs run, from ORVA_FUZZ_MODE: "reset" (the default) keeps one
// session and resets it for each input; "fresh" makes a new session for each,
// as tests do; "check-reset" runs each input on a new session and on the kept
// one reset after use, and ends the process when the two differ in any trace
// event or display memory byte; "check-image" does the same between the
// instrumented driver and the shipped x86-64 image.
enum class Mode { Reset, Fresh, CheckReset, CheckImage };

Mode mode() {
  static const Mode m = [] {
    const char* value = std::getenv("ORVA_FUZZ_MODE");
    const std::string name = value != nullptr ? value : "";
    if (name.empty() || name == "reset") return Mode::Reset;
    if (name == "fresh") return Mode::Fresh;
    if (name == "check-image") return Mode::CheckImage;
    CHECK(name == "check-reset", "ORVA_FUZZ_MODE=%s: reset, fresh, check-reset or check-image",
          value);
    return Mode::CheckReset;
  }();
  return m;
}

// What a run leaves behind that the checks compare.
struct Outcome {
  std::string trace;
  std::vector<uint8_t> memory;
};

Outcome runRecorded(Session& session, std::span<const uint8_t> input) {
  Reader in(input);
  boardOf(in);  // already applied to the session
  fuzzOne(session, in, true);
  const board::Board& b = session.board();
  return {session.trace().toJsonLines(), {b.vram(), b.vram() + b.vramSize()}};
}

// `what` names the second run: "after a reset", "in the image".
void compare(const Outcome& fresh, const Outcome& reset, const char* what) {
  if (fresh.trace != reset.trace) {
    size_t at = 0;
    while (at < fresh.trace.size() && at < reset.trace.size() && fresh.trace[at] == reset.trace[at])
      ++at;
    const size_t line =
        static_cast<size_t>(std::count(fresh.trace.begin(), fresh.trace.begin() + at, '\n'));
    const auto lineOf = [&](const std::string& trace) {
      size_t start = 0;
      for (size_t n = 0; n < line && start != std::string::npos; ++n)
        start = trace.find('\n', start) + 1;
      return trace.substr(start, trace.find('\n', start) - start);
    };
    fail("%s the trace differs at event %zu:\n  %s\n  %s", what, line + 1,
         lineOf(fresh.trace).c_str(), lineOf(reset.trace).c_str());
  }
  CHECK(fresh.memory.size() == reset.memory.size(), "%s display memory of %zu bytes, not %zu", what,
        reset.memory.size(), fresh.memory.size());
  const auto diff = std::mismatch(fresh.memory.begin(), fresh.memory.end(), reset.memory.begin());
  CHECK(diff.first == fresh.memory.end(), "%s display memory byte %#zx is %#x, not %#x", what,
        static_cast<size_t>(diff.first - fresh.memory.begin()), *diff.second, *diff.first);
}

}  // namespace
}  // namespace orva::fuzz

// Loaded before the fuzzer starts, so that its coverage counters are counted from
// the first input on.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
#ifdef ORVA_FUZZ_DRIVER_MODULE
  orva::fuzz::driver();
#endif
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orva::fuzz;
  Reader in({data, size});
  const orva::platform::SessionOptions options = boardOf(in);
  if (mode() == Mode::Fresh) {
    Session session(options);
    fuzzOne(session, in, false);
    return 0;
  }
  if (mode() == Mode::CheckReset) {
    // A new session, then one that served the input before (and the input
    // before it), reset.
    static std::vector<uint8_t> previous;
    Outcome fresh;
    {
      Session session(options);
      fresh = runRecorded(session, {data, size});
    }
    Reader before(previous);
    Session used(boardOf(before));
    runRecorded(used, previous);
    used.reset(options);
    compare(fresh, runRecorded(used, {data, size}), "after a reset");
    used.reset(options);
    compare(fresh, runRecorded(used, {data, size}), "after a reset");
    previous.assign(data, data + size);
    return 0;
  }
  if (mode() == Mode::CheckImage) {
#ifdef ORVA_FUZZ_IMAGE
    Outcome host;
    {
      Session session(options);
      host = runRecorded(session, {data, size});
    }
    orva::platform::SessionOptions image = options;
    image.driverPath = ORVA_FUZZ_IMAGE;
    Session session(image);
    compare(host, runRecorded(session, {data, size}), "in the image");
    return 0;
#else
    fail("this build has no x86-64 orva.sys to compare with");
#endif
  }
  static std::unique_ptr<Session> kept;
  if (kept) {
    kept->reset(options);
  } else {
    kept = std::make_unique<Session>(options);
  }
  fuzzOne(*kept, in, false);
  return 0;
}
