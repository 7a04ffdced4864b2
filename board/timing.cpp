#include "timing.h"

#include <algorithm>
#include <cstdio>

#include "board.h"

namespace orva::board {

namespace {

unsigned bit(uint8_t value, unsigned n) { return (value >> n) & 1u; }

// A short end field counts up from the start to the next position whose low bits match it.
unsigned endAfter(unsigned start, unsigned field, unsigned bits) {
  const unsigned mask = (1u << bits) - 1;
  unsigned end = (start & ~mask) | (field & mask);
  if (end <= start) end += mask + 1;
  return end;
}

// Bits per pixel of the pixel-format codes; 0 where the code selects no packed-pixel format.
constexpr unsigned kFormatBits[8] = {0, 8, 15, 16, 24, 32, 0, 0};

}  // namespace

DisplayState captureDisplayState(const Board& board) {
  DisplayState s;
  for (unsigned i = 0; i < 256; ++i) {
    s.crtc[i] = board.crtc(static_cast<uint8_t>(i));
    s.sequencer[i] = board.sequencer(static_cast<uint8_t>(i));
    s.dac[i] = board.dac(static_cast<uint8_t>(i));
  }
  for (unsigned i = 0; i < s.attribute.size(); ++i) {
    s.attribute[i] = board.attribute(static_cast<uint8_t>(i));
  }
  s.miscOutput = board.miscOutput();
  s.cursorPosition = board.geRegister(0x11C);
  const Board::PixelClock clock = board.pixelClock();
  s.externalClock = clock.external;
  s.dotClock = clock.dotClock;
  s.pixelClockHz = clock.hz;
  s.clockInconsistent = clock.inconsistent;
  return s;
}

Timing decodeTiming(const DisplayState& s) {
  const auto& c = s.crtc;
  Timing t;
  t.extensions = s.sequencer[0x06] != 0;
  t.charWidth = bit(s.sequencer[0x01], 0) ? 8 : 9;
  const unsigned cw = t.charWidth;

  t.hTotal = (c[0x00] + 5u) * cw;
  t.hDisplay = (c[0x01] + 1u) * cw;
  t.hBlankStart = c[0x02] * cw;
  t.hBlankEnd = endAfter(c[0x02], (c[0x03] & 0x1Fu) | ((c[0x05] & 0x80u) >> 2), 6) * cw;
  t.hSyncStart = c[0x04] * cw;
  t.hSyncEnd = endAfter(c[0x04], c[0x05] & 0x1Fu, 5) * cw;

  const uint8_t overflow = c[0x07];
  const uint8_t ext = c[0x25];
  t.vTotalField = c[0x06] + (bit(overflow, 0) << 8) + (bit(overflow, 5) << 9) + (bit(ext, 0) << 10);
  t.vTotal = t.vTotalField + 2;
  t.vDisplayEnd = c[0x12] + 1u + (bit(overflow, 1) << 8) + (bit(overflow, 6) << 9);
  const unsigned blankField = c[0x15] + (bit(overflow, 3) << 8) + (bit(c[0x09], 5) << 9) +
                              (t.extensions ? bit(ext, 3) << 10 : 0);
  t.vBlankStart = blankField + 1;
  if (t.extensions) t.vDisplayEnd += bit(ext, 1) << 10;
  t.vBlankEnd = endAfter(blankField, c[0x16], 8);
  t.vSyncStart = c[0x10] + (bit(overflow, 2) << 8) + (bit(overflow, 7) << 9);
  t.vSyncEnd = endAfter(t.vSyncStart, c[0x11] & 0x0Fu, 4);

  t.visibleWidth = t.hDisplay;
  t.visibleHeight = std::min(t.vDisplayEnd, t.vBlankStart);
  t.offsetY = t.vBlankStart < t.vDisplayEnd ? 16 : 0;
  t.linesPerRow = ((c[0x09] & 0x1Fu) + 1) * (bit(c[0x09], 7) ? 2 : 1);

  t.hSync = bit(s.miscOutput, 6) ? SyncPolarity::Negative : SyncPolarity::Positive;
  t.vSync = bit(s.miscOutput, 7) ? SyncPolarity::Negative : SyncPolarity::Positive;

  t.externalClock = s.externalClock;
  t.dotClock = s.dotClock;
  t.pixelClockHz = s.pixelClockHz;
  t.clockInconsistent = s.clockInconsistent;
  if (t.pixelClockHz != 0 && t.hTotal != 0) {
    t.hFrequencyHz = static_cast<double>(t.pixelClockHz) / t.hTotal;
    t.vRefreshHz = t.hFrequencyHz / t.vTotal;
  }

  t.pitch = c[0x13] * 8u + (t.extensions ? (c[0x19] & 0x30u) * 128u : 0);
  t.startAddress = c[0x0D] | (c[0x0C] << 8) | ((c[0x19] & 0x0Fu) << 16);
  t.startByte = t.startAddress * 4;

  t.formatCode = c[0x28] & 0x07u;
  t.attribute8Bit = bit(s.attribute[0x10], 6) != 0;
  t.bitsPerPixel = kFormatBits[t.formatCode];
  if (t.formatCode == 0 && t.attribute8Bit) {
    // The 8-bit attribute path: one byte per pixel through the palette, each pixel two dots.
    t.bitsPerPixel = 8;
    t.dotsPerPixel = 2;
  }
  t.bytesPerPixel = (t.bitsPerPixel + 7) / 8;
  t.palette = t.bitsPerPixel == 8;

  t.fifo1B = c[0x1B];
  t.fifo27 = c[0x27];
  return t;
}

Timing decodeTiming(const Board& board) { return decodeTiming(captureDisplayState(board)); }

std::string describeTiming(const Timing& t) {
  char buf[1024];
  const char* clock = t.externalClock ? "external" : "internal";
  std::snprintf(
      buf, sizeof buf,
      "visible %ux%u (offset Y %u), %u bpp%s, pitch %u, start 0x%05X (byte 0x%06X)\n"
      "horizontal: total %u, display %u, blank %u-%u, sync %u-%u %s (character %u)\n"
      "vertical: total %u, display end %u, blank %u-%u, sync %u-%u %s, %u line(s) per row\n"
      "pixel clock: %s%s, dot clock %u, %llu Hz; line %.3f kHz, refresh %.3f Hz\n"
      "FIFO watermarks: 0x1B=0x%02X 0x27=0x%02X\n",
      t.visibleWidth, t.visibleHeight, t.offsetY, t.bitsPerPixel, t.palette ? " (palette)" : "",
      t.pitch, t.startAddress, t.startByte, t.hTotal, t.hDisplay, t.hBlankStart, t.hBlankEnd,
      t.hSyncStart, t.hSyncEnd, t.hSync == SyncPolarity::Negative ? "-" : "+", t.charWidth,
      t.vTotal, t.vDisplayEnd, t.vBlankStart, t.vBlankEnd, t.vSyncStart, t.vSyncEnd,
      t.vSync == SyncPolarity::Negative ? "-" : "+", t.linesPerRow, clock,
      t.clockInconsistent ? " (select bits contradict)" : "", t.dotClock,
      static_cast<unsigned long long>(t.pixelClockHz), t.hFrequencyHz / 1000.0, t.vRefreshHz,
      t.fifo1B, t.fifo27);
  return buf;
}

}  // namespace orva::board
