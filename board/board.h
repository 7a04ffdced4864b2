// Register-level model of an ORVA board: the chip variant, its display memory,
// every I/O port and memory window the driver reaches, and the devices behind
// them. Every bus access is recorded in the trace.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "trace.h"

namespace orva::board {

enum class Variant : uint8_t {
  Pinto,
  Bramble,
  BrambleL,
  Mistral,
  BrambleR,
  Kestrel,
  BrambleRX,
  Unknown
};

// Command-line names: pinto, bramble, bramble-l, mistral, bramble-r, kestrel, bramble-rx, unknown.
std::string_view variantName(Variant variant);
std::optional<Variant> parseVariant(std::string_view name);

struct BoardConfig {
  Variant variant = Variant::Bramble;
  uint32_t memoryBytes =
      4u << 20;                  // multiple of 128 KB, at most 8064 KB; register 0x36 holds /128 KB
  uint8_t gbase = 0x00;          // CRTC 0x20 at power-up (graphics base bits 31-24, OR 0x08)
  bool tvEncoderPresent = true;  // the external I2C encoder answers (Pinto)
};

class Board {
 public:
  explicit Board(const BoardConfig& config);
  ~Board();
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  const BoardConfig& config() const;
  Trace& trace();
  const Trace& trace() const;

  // Bus accesses from the driver; each one is traced. width is 8, 16 or 32.
  uint32_t in(unsigned width, uint32_t port);
  void out(unsigned width, uint32_t port, uint32_t value);
  uint32_t read(unsigned width, uint64_t physical);
  void write(unsigned width, uint64_t physical, uint32_t value);
  void stall(uint32_t microseconds);  // advances virtual time, traced
  uint64_t virtualTimeNs() const;

  // The graphics base the chip decodes now (CRTC 0x20), and the display memory.
  uint32_t gbase() const;
  uint8_t* vram();
  const uint8_t* vram() const;
  size_t vramSize() const;
  int vramFd() const;  // memfd of the display memory, for mapping it more than once

  // Register state as the hardware holds it now: no side effects, not traced.
  uint8_t crtc(uint8_t index) const;                // 0x3D4/0x3D5, standard and extension registers
  uint8_t sequencer(uint8_t index) const;           // 0x3C4/0x3C5
  uint8_t graphics(uint8_t index) const;            // 0x3CE/0x3CF
  uint8_t attribute(uint8_t index) const;           // 0x3C0
  uint8_t miscOutput() const;                       // written at 0x3C2, read at 0x3CC
  uint8_t config(uint8_t index) const;              // chipset configuration registers, 0x22/0x23
  std::array<uint8_t, 3> dac(uint8_t index) const;  // palette entry (bytes 0, 1, 2 as written)
  uint32_t geRegister(uint32_t offset) const;       // graphics-engine window, 32-bit at offset

  // Dot clocks as the PLL registers 0x42 + 2c / 0x43 + 2c now program them.
  struct DotClock {
    unsigned n = 0, m = 0, p = 0;
    uint64_t hz = 0;  // 0 when the settings are out of range
    uint8_t first = 0, second = 0;
  };
  DotClock dotClock(unsigned c) const;
  // Which clock drives the display: the external pixel clock, or internal dot clock
  // number (Miscellaneous Output bits 2-3).
  struct PixelClock {
    bool external = false;
    unsigned dotClock = 0;
    uint64_t hz = 0;  // internal: that dot clock's frequency; external: 0 (not modelled)
  };
  PixelClock pixelClock() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace orva::board
