#include "scanout.h"

#include <algorithm>

#include "board.h"

namespace orva::board {

namespace {

constexpr unsigned kCursorWidth = 64;
constexpr unsigned kCursorRows = 64;
constexpr uint32_t kXorPlane = 512;

uint32_t expand5(uint32_t v) { return (v << 3) | (v >> 2); }
uint32_t expand6(uint32_t v) { return (v << 2) | (v >> 4); }

class Memory {
 public:
  Memory(const uint8_t* vram, size_t size) : vram_(vram), size_(size) {}
  // A byte of the display address space (wraps at 4 MB).
  uint8_t display(uint64_t address) const { return frameBuffer(address % kDisplayAddressSpace); }
  // A byte of the frame buffer by offset.
  uint8_t frameBuffer(uint64_t offset) const { return offset < size_ ? vram_[offset] : 0; }

 private:
  const uint8_t* vram_;
  size_t size_;
};

uint32_t readPixel(const Memory& m, const DisplayState& s, const Timing& t, uint64_t a) {
  switch (t.bitsPerPixel) {
    case 8: {
      const auto& e = s.dac[m.display(a)];
      return (uint32_t{e[0]} << 16) | (uint32_t{e[1]} << 8) | e[2];
    }
    case 15: {
      const uint32_t v = m.display(a) | (m.display(a + 1) << 8);
      return (expand5((v >> 10) & 0x1F) << 16) | (expand5((v >> 5) & 0x1F) << 8) |
             expand5(v & 0x1F);
    }
    case 16: {
      const uint32_t v = m.display(a) | (m.display(a + 1) << 8);
      return (expand5(v >> 11) << 16) | (expand6((v >> 5) & 0x3F) << 8) | expand5(v & 0x1F);
    }
    default:  // 24 and 32: blue, green, red in the first three bytes
      return m.display(a) | (m.display(a + 1) << 8) | (m.display(a + 2) << 16);
  }
}

void overlayCursor(Image& image, const CursorState& c, const Memory& m) {
  if (!c.visible) return;
  const unsigned rows = std::min(c.height, kCursorRows);
  for (unsigned r = 0; r < rows && c.y + r < image.height; ++r) {
    for (unsigned col = 0; col < kCursorWidth && c.x + col < image.width; ++col) {
      const uint64_t byte = uint64_t{c.patternOffset} + 8 * r + col / 8;
      const unsigned shift = 7 - col % 8;
      const bool andBit = (m.frameBuffer(byte) >> shift) & 1;
      const bool xorBit = (m.frameBuffer(byte + kXorPlane) >> shift) & 1;
      const unsigned x = c.x + col, y = c.y + r;
      if (andBit && !xorBit) continue;  // transparent
      if (andBit) {
        image.setPixel(x, y, ~image.pixel(x, y) & 0xFFFFFF);
      } else {
        image.setPixel(x, y, xorBit ? c.color1 : c.color0);
      }
    }
  }
}

}  // namespace

uint32_t Image::pixel(unsigned x, unsigned y) const {
  const size_t i = (size_t{y} * width + x) * 3;
  return (uint32_t{rgb[i]} << 16) | (uint32_t{rgb[i + 1]} << 8) | rgb[i + 2];
}

void Image::setPixel(unsigned x, unsigned y, uint32_t value) {
  const size_t i = (size_t{y} * width + x) * 3;
  rgb[i] = static_cast<uint8_t>(value >> 16);
  rgb[i + 1] = static_cast<uint8_t>(value >> 8);
  rgb[i + 2] = static_cast<uint8_t>(value);
}

CursorState decodeCursor(const DisplayState& s) {
  CursorState c;
  c.position = s.cursorPosition;
  c.x = c.position & 0xFFFF;
  c.y = c.position >> 16;
  c.height = s.crtc[0x29];
  c.patternOffset = (uint32_t{s.crtc[0x30]} << 8) | (uint32_t{s.crtc[0x31]} << 16) |
                    (uint32_t{s.crtc[0x32]} << 24);
  c.color0 = s.crtc[0x2A] | (s.crtc[0x2B] << 8) | (s.crtc[0x2C] << 16);
  c.color1 = s.crtc[0x2D] | (s.crtc[0x2E] << 8) | (s.crtc[0x2F] << 16);
  c.visible = c.position != 0xFFFFFFFF && c.height != 0;
  return c;
}

Scanout scanout(const DisplayState& state, const uint8_t* vram, size_t vramSize) {
  Scanout out;
  out.timing = decodeTiming(state);
  out.cursor = decodeCursor(state);
  const Timing& t = out.timing;
  if (t.bitsPerPixel == 0) {
    out.error = "pixel format code " + std::to_string(t.formatCode) +
                " shows no packed pixels (attribute 8-bit path off)";
    return out;
  }
  if (t.visibleWidth == 0 || t.visibleHeight == 0) {
    out.error = "empty visible area";
    return out;
  }

  const Memory memory(vram, vramSize);
  Image& image = out.image;
  image.width = t.visibleWidth;
  image.height = t.visibleHeight;
  image.rgb.assign(size_t{image.width} * image.height * 3, 0);
  for (unsigned d = 0; d < image.height; ++d) {
    const uint64_t line = uint64_t{t.startByte} + uint64_t{d / t.linesPerRow} * t.pitch;
    for (unsigned x = 0; x < image.width; ++x) {
      const uint64_t address = line + uint64_t{x / t.dotsPerPixel} * t.bytesPerPixel;
      image.setPixel(x, d, readPixel(memory, state, t, address));
    }
  }
  overlayCursor(image, out.cursor, memory);
  out.ok = true;
  return out;
}

Scanout scanout(const Board& board) {
  return scanout(captureDisplayState(board), board.vram(), board.vramSize());
}

}  // namespace orva::board
