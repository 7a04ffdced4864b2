// The picture the display shows, built from the register state and display memory alone:
// the visible area (in display dots and lines) read from the frame buffer at the display
// start with the programmed pitch and pixel format, with the hardware cursor overlaid.
//
// Addressing: display line d, dot x reads the frame-buffer line r = d / linesPerRow at
// byte (start × 4 + r × pitch + (x / dotsPerPixel) × bytesPerPixel), each byte's address
// taken modulo 4 MB (the display address space); bytes at or beyond the display memory read
// as 0. Pixel formats (little-endian in memory): 8 bpp through the palette (bytes 0, 1, 2 of an
// entry are red, green, blue); 15 bpp x:5:5:5; 16 bpp 5:6:5; 24 bpp bytes blue, green, red;
// 32 bpp bytes blue, green, red, unused (the 32-bit word 0x00RRGGBB).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "timing.h"

namespace orva::board {

class Board;

struct Image {
  unsigned width = 0, height = 0;
  std::vector<uint8_t> rgb;  // width × height × 3, rows top to bottom

  uint32_t pixel(unsigned x, unsigned y) const;  // 0xRRGGBB
  void setPixel(unsigned x, unsigned y, uint32_t rgb);
};

// The hardware cursor as its registers hold it.
struct CursorState {
  bool visible = false;  // position register not all ones (and height non-zero)
  uint32_t position = 0xFFFFFFFF;
  unsigned x = 0, y = 0;            // display coordinates of the pattern's top-left corner
  unsigned height = 0;              // rows shown (CRTC 0x29; at most 64 take effect)
  uint32_t patternOffset = 0;       // frame-buffer byte offset of the pattern
  uint32_t color0 = 0, color1 = 0;  // 0xRRGGBB
};

CursorState decodeCursor(const DisplayState& state);

struct Scanout {
  bool ok = false;
  std::string error;  // why no picture was built (no packed-pixel format, empty area)
  Timing timing;
  CursorState cursor;
  Image image;
};

constexpr uint32_t kDisplayAddressSpace = 4u << 20;

Scanout scanout(const DisplayState& state, const uint8_t* vram, size_t vramSize);
Scanout scanout(const Board& board);

}  // namespace orva::board
