// The display timing and clocking as the register state programs it: what a monitor would
// measure, computed from the CRTC, sequencer, attribute and Miscellaneous Output registers
// and the pixel clock, without touching the bus.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace orva::board {

class Board;

// A copy of every register the display path reads. Captured from a Board, or built by hand
// for tests and tools.
struct DisplayState {
  std::array<uint8_t, 256> crtc{};
  std::array<uint8_t, 256> sequencer{};
  std::array<uint8_t, 32> attribute{};
  uint8_t miscOutput = 0;
  std::array<std::array<uint8_t, 3>, 256> dac{};  // palette entries, bytes 0, 1, 2 as written
  uint32_t cursorPosition = 0xFFFFFFFF;           // graphics-engine register 0x11C
  bool externalClock = false;
  unsigned dotClock = 0;           // internal dot clock in use (Miscellaneous Output bits 2-3)
  uint64_t pixelClockHz = 0;       // 0: unknown (external clock) or out of range
  bool clockInconsistent = false;  // the clock select bits contradict each other
};

DisplayState captureDisplayState(const Board& board);

enum class SyncPolarity : uint8_t { Positive, Negative };

// The CRTC's timing fields as the registers hold them, each assembled from its register,
// the overflow register (0x07), the maximum-scan-line register (0x09) and the extension
// register 0x25; no character or line counts added. Bit 10 of the vertical display end and
// blank start (0x25 bits 1 and 3) takes part only while the extensions are enabled.
struct CrtcFields {
  unsigned hTotal = 0;         // 0x00
  unsigned hDisplayEnd = 0;    // 0x01
  unsigned hBlankStart = 0;    // 0x02
  unsigned hBlankEnd = 0;      // 0x03 bits 0-4, 0x05 bit 7 as bit 5
  unsigned hRetraceStart = 0;  // 0x04
  unsigned hRetraceEnd = 0;    // 0x05 bits 0-4
  unsigned vTotal = 0;         // 0x06, 0x07 bits 0 and 5, 0x25 bit 0
  unsigned vRetraceStart = 0;  // 0x10, 0x07 bits 2 and 7
  unsigned vRetraceEnd = 0;    // 0x11 bits 0-3
  unsigned vDisplayEnd = 0;    // 0x12, 0x07 bits 1 and 6, 0x25 bit 1
  unsigned vBlankStart = 0;    // 0x15, 0x07 bit 3, 0x09 bit 5, 0x25 bit 3
  unsigned vBlankEnd = 0;      // 0x16
  unsigned offset = 0;         // 0x13, 0x19 bits 4-5 as bits 8-9: pitch in 8-byte units
};

struct Timing {
  bool extensions = false;  // sequencer 0x06 non-zero: the extension bits take part
  unsigned charWidth = 8;   // pixels per character clock
  CrtcFields fields;        // what the values below are computed from

  // Horizontal, in pixels from the start of the line (blank/sync end: first pixel after).
  unsigned hTotal = 0, hDisplay = 0, hBlankStart = 0, hBlankEnd = 0, hSyncStart = 0, hSyncEnd = 0;
  // Vertical, in lines. vTotal counts the lines of a frame (field + 2).
  // vDisplayEnd and vBlankStart are register field + 1: the lines shown before the display
  // area ends / blanking starts. vBlankEnd, vSyncStart and vSyncEnd are line numbers.
  unsigned vTotal = 0, vDisplayEnd = 0, vBlankStart = 0, vBlankEnd = 0, vSyncStart = 0,
           vSyncEnd = 0;

  unsigned visibleWidth = 0;   // pixels: (CRTC 0x01 + 1) characters
  unsigned visibleHeight = 0;  // lines: min(display end, blank start)
  unsigned offsetY = 0;        // 16 when blanking starts before the display area ends
  unsigned linesPerRow = 1;    // display lines per frame-buffer line (CRTC 0x09 scan lines)
  unsigned dotsPerPixel = 1;   // 2 in the 8-bit attribute path (each pixel spans two dots)

  SyncPolarity hSync = SyncPolarity::Positive, vSync = SyncPolarity::Positive;

  bool externalClock = false;
  unsigned dotClock = 0;
  uint64_t pixelClockHz = 0;
  bool clockInconsistent = false;
  double hFrequencyHz = 0;  // 0 when the clock or the totals are unknown
  double vRefreshHz = 0;

  uint32_t pitch = 0;          // bytes per frame-buffer line
  uint32_t startAddress = 0;   // 4-byte units, 20 bits
  uint32_t startByte = 0;      // startAddress × 4
  unsigned formatCode = 0;     // CRTC 0x28 bits 0-2
  bool attribute8Bit = false;  // attribute mode control (0x10) bit 6
  unsigned bitsPerPixel = 0;   // 8, 15, 16, 24, 32; 0 when the format shows no packed pixels
  unsigned bytesPerPixel = 0;
  bool palette = false;  // pixels go through the DAC palette

  uint8_t fifo1B = 0, fifo27 = 0;  // display FIFO watermarks
};

Timing decodeTiming(const DisplayState& state);
Timing decodeTiming(const Board& board);

// Multi-line human-readable summary.
std::string describeTiming(const Timing& timing);

}  // namespace orva::board
