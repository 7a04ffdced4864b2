// What single requests cost: the bus accesses the board counted for the request
// alone, next to the least the hardware's register sequences need for it, and the
// host time of the request. The least counts are worked out below from the
// sequences, not measured: an access the driver makes beyond them shows as the
// difference.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "orva/requests.h"
#include "orva/session.h"

namespace {

using orva::platform::Session;

struct BusCost {
  uint64_t portReads = 0, portWrites = 0;
  uint64_t registerReads = 0, registerWrites = 0;  // memory-mapped register windows
  uint64_t stallMicroseconds = 0;
};

BusCost costSince(const orva::board::TraceCounters& before,
                  const orva::board::TraceCounters& after) {
  return {after.portReads - before.portReads, after.portWrites - before.portWrites,
          after.registerReads - before.registerReads, after.registerWrites - before.registerWrites,
          after.stallMicroseconds - before.stallMicroseconds};
}

// --- The least each request needs ------------------------------------------------
//
// Counting rules, for every row:
// - An indexed register (sequencer 0x3C4/5, graphics 0x3CE/F, CRTC 0x3D4/5,
//   configuration 0x22/23, Super I/O 0x370/1, clock select 0xEA/B) costs its
//   index write only when the index port does not already hold that index; the
//   configuration data port moves its index on after every read, so a read there
//   is followed by a fresh index write.
// - Every write the sequence lists is counted, also a second write of the same
//   register; a read is counted only when the request does not already know the
//   value (it wrote or read the register earlier in the same request). Values
//   from earlier requests are not trusted: the private port requests can change
//   any register in between.
// - A 16-bit TFT port access counts as one access, like an 8-bit one.

// The mode-set part every output shares, for a row whose clock follows the
// refresh rate (monitor and TFT rows on a chip that switches clocks through the
// Super I/O):
//   VGA set-up: 42 steps. Writes: configuration 0x29 (2), the four enable ports
//     (4), Miscellaneous Output twice (2), sequencer 0x06, 0x00 (4), 0x00 again
//     with the index still 0x00 (1), 0x01 read-modify-write (index 1 + data 1,
//     after 1 read: bit 5 is the screen-off state, not known), 0x02, 0x03, 0x04,
//     0x06, 0x00 (10), graphics 0x00-0x08 (18), attribute controller 43 bytes,
//     13 CRTC registers (26) = 112 writes; reads: sequencer 0x01 and Input
//     Status 1 (the attribute flip-flop is in an unknown state) = 2.
//   Pixel format CRTC 0x28: 2 writes.
//   Timing list: 15 pairs = 30 writes; Miscellaneous Output: 1 write (its clock
//     select was written in the set-up, so no read).
//   Offsets: CRTC 0x12, 0x07, 0x15, 0x09, 0x25 and sequencer 0x06 were all
//     written in this request: nothing.
//   Internal clock: Super I/O key 0x55, register 0x07 = 8 (2), index 0xE1 and
//     its read (1 + 1 read), key 0xAA = 5 writes, 1 read; 0xEA/0xEB register 1
//     read-modify-write = 2 writes, 1 read; configuration 0x4C read-modify-write
//     = index, read, index, write = 3 writes, 1 read.
//   Refresh: dot clock in use and CRTC 0x00, 0x06, 0x07, 0x25, sequencer 0x01
//     are known; PLL registers 0x46 and 0x47 = 4 writes.
//   Watermarks CRTC 0x1B, 0x27: 4 writes.
//   Pitch and start: CRTC 0x13 (2), 0x19 read-modify-write (its bits 6-7 are
//     not known: 2 writes, 1 read), 0x0D, 0x0C (4), 0x19 again, now known (2) =
//     10 writes, 1 read.
//   Cursor: geometry registers all known; hide = 1 register-window write;
//     colours CRTC 0x2A-0x2F = 12 writes.
//   Port writes 112 + 2 + 31 + 14 + 4 + 10 + 12 = 185; port reads 2 + 3 + 1 = 6.
constexpr BusCost kMonitorModeSet{6, 185, 0, 1, 0};

// The TFT panel adds to that, through its I/O ports (mistral): 15 register
// pairs of the panel list (number, then value: 30 writes), then register 11 is
// selected once (1) and given 5, 4 and 6 (3); the two power-up waits, 15 000 and
// 5 000 microseconds.
constexpr BusCost kTftModeSet{6, 185 + 30 + 1 + 3, 0, 1, 15000 + 5000};

// Line changes an I2C register write needs on a write-only bus: START (data
// low, clock low), then per bit a data change only when the level differs,
// clock high and low; per acknowledge the data line released (when low) and a
// clock pulse; STOP (data low, clock high, data high). Each change is one write
// of configuration register 0x7B with the index left on it.
constexpr uint64_t i2cLineWrites(std::array<uint8_t, 3> bytes) {
  uint64_t writes = 2;
  unsigned sda = 0;
  for (uint8_t byte : bytes) {
    for (int bit = 7; bit >= 0; --bit) {
      const unsigned level = (byte >> bit) & 1u;
      if (level != sda) ++writes, sda = level;
      writes += 2;
    }
    if (sda == 0) ++writes, sda = 1;
    writes += 2;
  }
  return writes + (sda == 1 ? 1 : 0) + 2;
}

// The PAL sequence the external encoder (device byte 0x40) receives: format
// block and common tail.
constexpr std::array<std::array<uint8_t, 2>, 11> kPalEncoderWrites{{{0x00, 0x19},
                                                                    {0x05, 0x01},
                                                                    {0x01, 0xF4},
                                                                    {0x02, 0x61},
                                                                    {0x03, 0xC0},
                                                                    {0x04, 0x00},
                                                                    {0x0A, 0x2A},
                                                                    {0x0B, 0x09},
                                                                    {0x0C, 0x8B},
                                                                    {0x02, 0x28},
                                                                    {0x06, 0x90}}};

constexpr uint64_t palI2cLineWrites() {
  uint64_t writes = 0;
  for (const auto& [reg, value] : kPalEncoderWrites) writes += i2cLineWrites({0x40, reg, value});
  return writes;
}

// TV on pinto (PAL 640x480, external clock, encoder on the I2C bus):
//   VGA set-up 112 writes, 2 reads; pixel format 2; timing list of 20 pairs
//   (40) and Miscellaneous Output (1); external clock: configuration 0x7B
//   read-modify-write = 3 writes, 1 read (its value is known from then on, and
//   the index stays on 0x7B); watermarks 4; pitch and start 10 writes, 1 read;
//   encoder reset: 0x7B bit 1 low, the 1000-microsecond wait, bit 1 high, bit 6
//   set = 3 data writes; S-VHS bit in CRTC 0x42 (written by the timing list,
//   so known) = 2; the 11 encoder register writes over I2C (line changes
//   above); flicker filter in CRTC 0x40 (known) = 2; cursor 12 writes and the
//   hide.
constexpr BusCost kTvModeSet{4, 112 + 2 + 41 + 3 + 4 + 10 + 3 + 2 + 2 + 12 + palI2cLineWrites(), 0,
                             1, 1000};

// Pointer move with both coordinates on the screen, the shape already unshifted:
// the position register alone.
constexpr BusCost kPointerUnshifted{0, 0, 0, 1, 0};
// Pointer move across the left edge: the shifted copy is built in display
// memory (not a bus access); height CRTC 0x29 and pattern address 0x30-0x32
// (8 writes), then the position register.
constexpr BusCost kPointerShifted{0, 8, 0, 1, 0};
// 256 palette entries: the start index to 0x3C8, three bytes each to 0x3C9.
constexpr BusCost kPalette256{0, 1 + 3 * 256, 0, 0, 0};
// The mode list: made from the mode table, the output selection and the memory
// size, all fixed at discovery (the size is in the device extension): no access.
constexpr BusCost kModeList{0, 0, 0, 0, 0};

// --- The requests ---------------------------------------------------------------

enum class Kind { ModeSet, PointerUnshifted, PointerShifted, Palette, ModeList };

struct Case {
  const char* name;  // benchmark name
  const char* label;
  Kind kind;
  const char* chip;
  const char* output;  // nullptr: the monitor by default
  uint32_t width, height, bpp, hz;
  BusCost least;
};

constexpr Case kCases[] = {
    {"mode_set/monitor/8", "mode set, monitor 800x600x8 @60 (bramble)", Kind::ModeSet, "bramble",
     nullptr, 800, 600, 8, 60, kMonitorModeSet},
    {"mode_set/monitor/16", "mode set, monitor 800x600x16 @60 (bramble)", Kind::ModeSet, "bramble",
     nullptr, 800, 600, 16, 60, kMonitorModeSet},
    {"mode_set/monitor/24", "mode set, monitor 800x600x24 @60 (bramble)", Kind::ModeSet, "bramble",
     nullptr, 800, 600, 24, 60, kMonitorModeSet},
    {"mode_set/tv/8", "mode set, TV PAL 640x480x8 (pinto, I2C encoder)", Kind::ModeSet, "pinto",
     "TVPAL", 640, 480, 8, 0, kTvModeSet},
    {"mode_set/tv/16", "mode set, TV PAL 640x480x16 (pinto, I2C encoder)", Kind::ModeSet, "pinto",
     "TVPAL", 640, 480, 16, 0, kTvModeSet},
    {"mode_set/tv/24", "mode set, TV PAL 640x480x24 (pinto, I2C encoder)", Kind::ModeSet, "pinto",
     "TVPAL", 640, 480, 24, 0, kTvModeSet},
    {"mode_set/tft/8", "mode set, TFT 800x600x8 @60 (mistral, I/O panel ports)", Kind::ModeSet,
     "mistral", "TFTPHILIPSHLD1201", 800, 600, 8, 60, kTftModeSet},
    {"mode_set/tft/16", "mode set, TFT 800x600x16 @60 (mistral, I/O panel ports)", Kind::ModeSet,
     "mistral", "TFTPHILIPSHLD1201", 800, 600, 16, 60, kTftModeSet},
    {"mode_set/tft/24", "mode set, TFT 800x600x24 @60 (mistral, I/O panel ports)", Kind::ModeSet,
     "mistral", "TFTPHILIPSHLD1201", 800, 600, 24, 60, kTftModeSet},
    {"pointer_move/unshifted", "pointer move, on screen (unshifted)", Kind::PointerUnshifted,
     "bramble", nullptr, 640, 480, 8, 60, kPointerUnshifted},
    {"pointer_move/shifted", "pointer move, across the left edge (shifted)", Kind::PointerShifted,
     "bramble", nullptr, 640, 480, 8, 60, kPointerShifted},
    {"palette/256", "palette, 256 entries", Kind::Palette, "bramble", nullptr, 640, 480, 8, 60,
     kPalette256},
    {"mode_list", "mode list, monitor on bramble", Kind::ModeList, "bramble", nullptr, 0, 0, 0, 0,
     kModeList},
};

std::unique_ptr<Session> bootCase(const char* chip, const char* output, uint32_t memory) {
  orva::platform::BootOptions options;
  options.chip = chip;
  options.memoryBytes = memory;
  if (output != nullptr) options.output = output;
  auto session = orva::platform::boot(options);
  session->trace().setRecording(false);  // counters only
  return session;
}

std::optional<VIDEO_MODE_INFORMATION> listedMode(Session& session, uint32_t width, uint32_t height,
                                                 uint32_t bpp, uint32_t hz) {
  const auto modes = orva::platform::queryModes(session);
  return orva::platform::findMode(modes.value, width, height, bpp, hz);
}

orva::platform::PointerShape arrowShape() {
  orva::platform::PointerShape shape;
  shape.height = 32;
  for (int row = 0; row < 64; ++row) {
    for (int byte = 0; byte < 8; ++byte) {
      const bool inside = row < 32 && byte * 8 < row;  // a triangle
      shape.pixels[row * 8 + byte] = inside ? 0x00 : 0xFF;
      shape.pixels[512 + row * 8 + byte] = inside ? 0xFF : 0x00;
    }
  }
  return shape;
}

void publish(benchmark::State& state, const BusCost& measured, const BusCost& least) {
  auto& c = state.counters;
  c["port_reads"] = static_cast<double>(measured.portReads);
  c["port_writes"] = static_cast<double>(measured.portWrites);
  c["register_reads"] = static_cast<double>(measured.registerReads);
  c["register_writes"] = static_cast<double>(measured.registerWrites);
  c["stall_us"] = static_cast<double>(measured.stallMicroseconds);
  c["least_port_reads"] = static_cast<double>(least.portReads);
  c["least_port_writes"] = static_cast<double>(least.portWrites);
  c["least_register_reads"] = static_cast<double>(least.registerReads);
  c["least_register_writes"] = static_cast<double>(least.registerWrites);
  c["least_stall_us"] = static_cast<double>(least.stallMicroseconds);
}

void Request(benchmark::State& state, const Case& c) {
  auto session = bootCase(c.chip, c.output, 4u << 20);
  std::optional<VIDEO_MODE_INFORMATION> mode;
  if (c.kind != Kind::ModeList) {
    mode = listedMode(*session, c.width, c.height, c.bpp, c.hz);
    if (!mode) {
      state.SkipWithError("mode not listed");
      return;
    }
  }
  const auto shape = arrowShape();
  std::vector<VIDEO_CLUTDATA> palette(256);
  for (size_t i = 0; i < palette.size(); ++i) {
    const auto level = static_cast<UCHAR>(i);
    palette[i] = VIDEO_CLUTDATA{level, level, level, 0};
  }
  uint32_t listLength = 0;
  if (c.kind != Kind::ModeSet && c.kind != Kind::ModeList) {
    // A mode with the pointer shown, resting on the screen.
    orva::platform::setMode(*session, mode->ModeIndex);
    orva::platform::setPointerAttributes(*session, shape);
    orva::platform::setPointerPosition(*session, 100, 100);
  }
  if (c.kind == Kind::ModeList) {
    listLength = orva::platform::queryNumModes(*session).value.NumModes * 80;
  }

  int16_t step = 0;
  auto once = [&]() -> uint32_t {
    switch (c.kind) {
      case Kind::ModeSet:
        return orva::platform::setMode(*session, mode->ModeIndex).status;
      case Kind::PointerUnshifted:
        step = static_cast<int16_t>((step + 1) & 63);
        return orva::platform::setPointerPosition(*session, static_cast<int16_t>(100 + step), 100)
            .status;
      case Kind::PointerShifted:
        step = static_cast<int16_t>((step + 1) & 31);
        return orva::platform::setPointerPosition(*session, static_cast<int16_t>(-1 - step), 100)
            .status;
      case Kind::Palette:
        return orva::platform::setColorRegisters(*session, 0, palette).status;
      case Kind::ModeList:
        return session->request(0x230400, {}, listLength).status;
    }
    return 1;
  };

  // The bus cost of one request in its steady state (after one like it).
  if (once() != 0) {
    state.SkipWithError("request refused");
    return;
  }
  const auto before = session->trace().counters();
  once();
  const BusCost measured = costSince(before, session->trace().counters());

  for (auto _ : state) benchmark::DoNotOptimize(once());
  publish(state, measured, c.least);
  state.SetLabel(c.kind == Kind::ModeList
                     ? std::string(c.label) + " (" + std::to_string(listLength / 80) + " modes)"
                     : std::string(c.label));
}

// The largest mode (1600x1200x24 on the monitor, 8064K of display memory) set
// in full, against two clears of its visible surface with memset: the floor the
// memory bandwidth puts under the driver's two clears.
constexpr uint32_t kLargestMemory = 8064u << 10;

void LargestModeSet(benchmark::State& state) {
  auto session = bootCase("bramble", nullptr, kLargestMemory);
  const auto mode = listedMode(*session, 1600, 1200, 24, 60);
  if (!mode) {
    state.SkipWithError("1600x1200x24 not listed");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(orva::platform::setMode(*session, mode->ModeIndex).status);
  }
  state.counters["surface_bytes"] = static_cast<double>(mode->ScreenStride) * mode->VisScreenHeight;
  state.SetLabel("mode set, monitor 1600x1200x24 @60 (bramble, 8064K)");
}

void LargestModeClears(benchmark::State& state) {
  auto session = bootCase("bramble", nullptr, kLargestMemory);
  const auto mode = listedMode(*session, 1600, 1200, 24, 60);
  if (!mode) {
    state.SkipWithError("1600x1200x24 not listed");
    return;
  }
  const size_t bytes = static_cast<size_t>(mode->ScreenStride) * mode->VisScreenHeight;
  uint8_t* frameBuffer = session->board().vram();
  for (auto _ : state) {
    std::memset(frameBuffer, 0, bytes);
    benchmark::ClobberMemory();
    std::memset(frameBuffer, 0, bytes);
    benchmark::ClobberMemory();
  }
  state.counters["surface_bytes"] = static_cast<double>(bytes);
  state.SetLabel("two memset clears of the 1600x1200x24 surface");
}

const bool kRegistered = [] {
  for (const Case& c : kCases) {
    benchmark::RegisterBenchmark((std::string("Request/") + c.name).c_str(), Request, c)
        ->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("LargestMode/set", LargestModeSet)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("LargestMode/two_clears", LargestModeClears)
      ->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace
