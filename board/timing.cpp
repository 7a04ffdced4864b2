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
  CrtcFields& f = t.fields;
  const uint8_t overflow = c[0x07];
  const uint8_t ext = c[0x25];
  f.hTotal = c[0x00];
  f.hDisplayEnd = c[0x01];
  f.hBlankStart = c[0x02];
  f.hBlankEnd = (c[0x03] & 0x1Fu) | ((c[0x05] & 0x80u) >> 2);
  f.hRetraceStart = c[0x04];
  f.hRetraceEnd = c[0x05] & 0x1Fu;
  f.vTotal = c[0x06] + (bit(overflow, 0) << 8) + (bit(overflow, 5) << 9) + (bit(ext, 0) << 10);
  f.vRetraceStart = c[0x10] + (bit(overflow, 2) << 8) + (bit(overflow, 7) << 9);
  f.vRetraceEnd = c[0x11] & 0x0Fu;
  f.vDisplayEnd = c[0x12] + (bit(overflow, 1) << 8) + (bit(overflow, 6) << 9) +
                  (t.extensions ? bit(ext, 1) << 10 : 0);
  f.vBlankStart = c[0x15] + (bit(overflow, 3) << 8) + (bit(c[0x09], 5) << 9) +
                  (t.extensions ? bit(ext, 3) << 10 : 0);
  f.vBlankEnd = c[0x16];
  f.offset = c[0x13] + (t.extensions ? (c[0x19] & 0x30u) << 4 : 0);

  t.hTotal = (f.hTotal + 5) * cw;
  t.hDisplay = (f.hDisplayEnd + 1) * cw;
  t.hBlankStart = f.hBlankStart * cw;
  t.hBlankEnd = endAfter(f.hBlankStart, f.hBlankEnd, 6) * cw;
  t.hSyncStart = f.hRetraceStart * cw;
  t.hSyncEnd = endAfter(f.hRetraceStart, f.hRetraceEnd, 5) * cw;

  t.vTotal = f.vTotal + 2;
  t.vDisplayEnd = f.vDisplayEnd + 1;
  t.vBlankStart = f.vBlankStart + 1;
  t.vBlankEnd = endAfter(f.vBlankStart, f.vBlankEnd, 8);
  t.vSyncStart = f.vRetraceStart;
  t.vSyncEnd = endAfter(f.vRetraceStart, f.vRetraceEnd, 4);

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

  t.pitch = f.offset * 8;
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
