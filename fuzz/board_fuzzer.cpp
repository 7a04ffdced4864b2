// libFuzzer target over the board's C interface, as an emulator drives it for an
// untrusted guest: any sequence of port, memory-window and PCI configuration
// accesses of any width at any address, writes straight into display memory (the
// emulator maps it as guest RAM), resets, and scanouts of whatever mode the
// registers describe. Nothing may crash, read or write outside the board, or
// break what the emulator relies on (checked below).
//
// Input: six bytes of board settings, then operations, each an opcode byte and
// its operands (little-endian); a short operand reads as zero.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "orva_board.h"

namespace {

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool done() const { return at >= size; }
  uint32_t take(unsigned bytes) {
    uint32_t value = 0;
    for (unsigned k = 0; k < bytes; ++k)
      if (at < size) value |= uint32_t{data[at++]} << (8 * k);
    return value;
  }
};

[[noreturn]] void fail(const char* what, uint64_t a = 0, uint64_t b = 0) {
  std::fprintf(stderr, "orva board fuzz: %s (0x%llx, 0x%llx)\n", what,
               static_cast<unsigned long long>(a), static_cast<unsigned long long>(b));
  std::abort();
}

unsigned width(uint32_t code) {
  static constexpr unsigned kWidths[] = {8, 16, 32, 8, 16, 32, 8, 0};  // 0: a bad width
  return kWidths[code & 7];
}

uint32_t mask(unsigned width) { return width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1; }

struct Layout {
  uint32_t gbase = 0;
  uint16_t tftBase = 0;
  unsigned calls = 0;
};

void onLayout(orva_board* board, void* opaque) {
  Layout& layout = *static_cast<Layout*>(opaque);
  const uint32_t gbase = orva_board_gbase(board);
  const uint16_t tftBase = orva_board_tft_base_port(board);
  if (gbase == layout.gbase && tftBase == layout.tftBase) fail("layout change without a move");
  if ((gbase & 0x08FFFFFFu) != 0x08000000u) fail("graphics base off its 16 MB steps", gbase);
  layout.gbase = gbase;
  layout.tftBase = tftBase;
  ++layout.calls;
}

// Reads every pixel, so that the sanitizer sees a buffer shorter than it claims.
// ORVA_BOARD_FUZZ_VERBOSE=1 names each picture (or why there is none) on stderr.
void scan(orva_board* board) {
  static const bool verbose = std::getenv("ORVA_BOARD_FUZZ_VERBOSE") != nullptr;
  unsigned w = 0, h = 0;
  const uint32_t* pixels = orva_board_scanout(board, &w, &h);
  if (verbose) {
    if (pixels != nullptr)
      std::fprintf(stderr, "orva board fuzz: scanout %ux%u\n", w, h);
    else
      std::fprintf(stderr, "orva board fuzz: no scanout: %s\n", orva_board_error(board));
  }
  if (pixels == nullptr) {
    if (w != 0 || h != 0) fail("no picture with a size", w, h);
    if (orva_board_error(board)[0] == '\0') fail("no picture and no reason");
    return;
  }
  if (w == 0 || h == 0) fail("a picture without a size", w, h);
  uint32_t bits = 0;
  for (size_t i = 0; i < size_t{w} * h; ++i) bits |= pixels[i];
  if (bits >> 24) fail("pixel with bits above 0x00FFFFFF", bits);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  static const char* const kChips[] = {"pinto",     "bramble", "bramble-l",  "mistral",
                                       "bramble-r", "kestrel", "bramble-rx", "unknown"};
  orva_board_config config;
  orva_board_config_init(&config);
  config.chip = kChips[in.take(1) & 7];
  config.memory_bytes = (in.take(1) % 64) * 0x20000;
  config.gbase = static_cast<uint8_t>(in.take(1));
  config.tft_base_port = static_cast<uint16_t>(in.take(2));
  const uint32_t straps = in.take(1);
  config.superio_e1 = static_cast<uint8_t>(straps & 0x7F);
  config.tv_encoder_present = (straps & 0x80) == 0;

  // One board while the settings stay the same, reset between inputs as an
  // emulator's machine reset does; new settings make a new board.
  static orva_board* board = nullptr;
  static orva_board_config current;
  static bool traced = false;
  const bool trace = size % 16 == 0;  // a few inputs stream their trace into the void
  if (board != nullptr && std::strcmp(current.chip, config.chip) == 0 &&
      current.memory_bytes == config.memory_bytes && current.gbase == config.gbase &&
      current.tft_base_port == config.tft_base_port && current.superio_e1 == config.superio_e1 &&
      current.tv_encoder_present == config.tv_encoder_present) {
    orva_board_on_layout_change(board, nullptr, nullptr);
    orva_board_reset(board);
  } else {
    orva_board_free(board);
    char error[256];
    board = orva_board_new(&config, error, sizeof error);
    if (board == nullptr) fail("a valid board was refused");
    current = config;
    traced = false;
  }
  if (trace != traced && orva_board_set_trace_file(board, trace ? "/dev/null" : nullptr) != 0)
    fail("trace file refused");
  traced = trace;
  Layout layout{orva_board_gbase(board), orva_board_tft_base_port(board), 0};
  orva_board_on_layout_change(board, onLayout, &layout);
  uint8_t* vram = orva_board_vram(board);
  const size_t vramSize = orva_board_vram_size(board);

  for (unsigned steps = 0; !in.done() && steps < 16384; ++steps) {
    const uint32_t op = in.take(1);
    const unsigned w = width(op >> 4);
    switch (op & 0x0F) {
      case 0: {
        const uint32_t port = in.take(2);
        const uint32_t value = orva_board_in(board, w, port);
        if (w != 0 && (value & ~mask(w)) != 0) fail("port read wider than asked", port, value);
        break;
      }
      case 1: {
        const uint32_t port = in.take(2);
        orva_board_out(board, w, port, in.take(4));
        break;
      }
      case 2:  // inside the graphics window, where the guest finds registers
      case 3: {
        const uint64_t address = orva_board_gbase(board) + (in.take(3) & 0xFFFFFF);
        if ((op & 0x0F) == 2) {
          const uint32_t value = orva_board_read(board, w, address);
          if (w != 0 && (value & ~mask(w)) != 0) fail("register read wider", address, value);
        } else {
          orva_board_write(board, w, address, in.take(4));
        }
        break;
      }
      case 4: {  // anywhere at all
        const uint64_t address = uint64_t{in.take(4)} | uint64_t{in.take(1)} << 32;
        if (op & 0x80)
          orva_board_write(board, w, address, in.take(4));
        else
          orva_board_read(board, w, address);
        break;
      }
      case 5: {
        const uint32_t where = in.take(2);
        const unsigned device = where & 0x1F, function = (where >> 5) & 7;
        const unsigned reg = (where >> 8) & 0xFF;
        if (op & 0x80)
          orva_board_pci_write(board, device, function, reg, w, in.take(4));
        else
          orva_board_pci_read(board, device, function, reg, w);
        break;
      }
      case 6: {  // an indexed register through its index/data pair, extensions on
        static constexpr uint16_t kPairs[] = {0x3D4, 0x3C4, 0x3CE, 0x22, 0x370, 0xEA, 0x3B4, 0x3C8};
        const uint16_t pair = kPairs[(op >> 4) & 7];
        orva_board_out(board, 8, 0x3C4, 0x06);
        orva_board_out(board, 8, 0x3C5, 0x57);
        orva_board_out(board, 8, pair, in.take(1));
        orva_board_out(board, 8, pair + 1u, in.take(1));
        break;
      }
      case 7: {  // the guest writes display memory directly
        const size_t at = in.take(3) % vramSize;
        const size_t length = in.take(1);
        for (size_t k = 0; k < length && at + k < vramSize; ++k)
          vram[at + k] = static_cast<uint8_t>(in.take(1));
        break;
      }
      case 8:
        orva_board_reset(board);
        if (orva_board_vram(board) != vram || orva_board_vram_size(board) != vramSize)
          fail("display memory moved on reset");
        break;
      case 9:
        scan(board);
        break;
      case 10: {  // the attribute controller's flip-flop and palette, as a mode set leaves them
        orva_board_in(board, 8, 0x3DA);
        orva_board_out(board, 8, 0x3C0, in.take(1));
        orva_board_out(board, 8, 0x3C0, in.take(1));
        break;
      }
      default:
        break;
    }
    if (orva_board_gbase(board) != layout.gbase ||
        orva_board_tft_base_port(board) != layout.tftBase)
      fail("a move was not notified", orva_board_gbase(board), layout.gbase);
  }
  scan(board);
  if (orva_board_flush(board) != 0) fail("flush failed");
  orva_board_on_layout_change(board, nullptr, nullptr);
  return 0;
}
