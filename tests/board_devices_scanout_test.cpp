// The picture the display shows, pixel by pixel, from small synthetic register states.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "board.h"
#include "scanout.h"

namespace orva::board {
namespace {

// chars × 8 pixels wide, `height` lines shown unless blanking starts earlier (at `blank`).
// Palette entry i is (i, 0, 0), so an 8-bit pixel's colour names the byte it came from.
DisplayState mode(unsigned chars, unsigned height, uint8_t r28, uint32_t pitch, uint32_t start,
                  unsigned blank = 255) {
  DisplayState s;
  s.sequencer[0x01] = 0x01;
  s.sequencer[0x06] = 0x57;
  s.attribute[0x10] = 0x01;
  s.crtc[0x01] = static_cast<uint8_t>(chars - 1);
  s.crtc[0x12] = static_cast<uint8_t>(height - 1);
  s.crtc[0x15] = static_cast<uint8_t>(blank - 1);
  s.crtc[0x28] = r28;
  s.crtc[0x13] = static_cast<uint8_t>(pitch / 8);
  s.crtc[0x19] = static_cast<uint8_t>((pitch / 8 >> 8) << 4 | start / 4 >> 16);
  s.crtc[0x0C] = static_cast<uint8_t>(start / 4 >> 8);
  s.crtc[0x0D] = static_cast<uint8_t>(start / 4);
  for (unsigned i = 0; i < 256; ++i) s.dac[i] = {static_cast<uint8_t>(i), 0, 0};
  return s;
}

struct FormatCase {
  const char* name;
  uint8_t r28;
  std::vector<uint8_t> bytes;  // consecutive pixels from the start of line 1
  std::vector<uint32_t> colours;
};

class ScanoutFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(ScanoutFormat, PixelBytesToColours) {
  const FormatCase& c = GetParam();
  DisplayState s = mode(2, 2, c.r28, 256, 0);
  s.dac[5] = {0x10, 0x20, 0x30};
  std::vector<uint8_t> vram(4096, 0);
  std::copy(c.bytes.begin(), c.bytes.end(), vram.begin() + 256);
  const Scanout out = scanout(s, vram.data(), vram.size());
  ASSERT_TRUE(out.ok) << out.error;
  ASSERT_EQ(out.image.width, 16u);
  for (unsigned x = 0; x < 16; ++x) {
    EXPECT_EQ(out.image.pixel(x, 0), 0u) << x;
    EXPECT_EQ(out.image.pixel(x, 1), x < c.colours.size() ? c.colours[x] : 0) << x;
  }
}

INSTANTIATE_TEST_SUITE_P(
    , ScanoutFormat,
    testing::Values(
        FormatCase{"Palette8", 0x11, {5, 0xFE}, {0x102030, 0xFE0000}},
        FormatCase{"Rgb565",
                   0x1B,
                   {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x10, 0x84, 0xFF, 0xFF},
                   {0xFF0000, 0x00FF00, 0x0000FF, 0x848284, 0xFFFFFF}},
        FormatCase{"Rgb555",
                   0x1A,
                   {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0x00, 0x80, 0x10, 0x42},
                   {0xFF0000, 0x00FF00, 0x0000FF, 0x000000, 0x848484}},
        FormatCase{"Bgr24", 0x1C, {0x11, 0x22, 0x33, 0xFF, 0, 0}, {0x332211, 0x0000FF}},
        FormatCase{"Bgrx32", 0x1D, {0x11, 0x22, 0x33, 0x44, 0xFF, 0, 0, 0xFF}, {0x332211, 0xFF}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Scanout, PitchStartAndTheEndOfMemory) {
  const DisplayState s = mode(2, 3, 0x11, 40, 0x1000);
  std::vector<uint8_t> vram(0x2000, 0xEE);
  for (unsigned d = 0; d < 3; ++d) {
    for (unsigned x = 0; x < 16; ++x) vram[0x1000 + d * 40 + x] = static_cast<uint8_t>(d * 16 + x);
  }
  const Scanout out = scanout(s, vram.data(), vram.size());
  for (unsigned d = 0; d < 3; ++d) {
    for (unsigned x = 0; x < 16; ++x) EXPECT_EQ(out.image.pixel(x, d), (d * 16 + x) << 16);
  }
  // Memory that ends inside line 2: the rest of the line reads zero.
  const Scanout cut = scanout(s, vram.data(), 0x1000 + 2 * 40 + 4);
  EXPECT_EQ(cut.image.pixel(3, 2), 35u << 16);
  EXPECT_EQ(cut.image.pixel(4, 2), 0u);
}

// Blanking before the display end: the start lies 16 lines before the surface at offset 0, at
// the end of the 4 MB display address space; memory above 4 MB never shows.
TEST(Scanout, WrapsAtFourMegabytesWithTheSixteenLineOffset) {
  const uint32_t pitch = 32, start = kDisplayAddressSpace - 16 * pitch;
  const DisplayState s = mode(2, 24, 0x11, pitch, start, 20);
  std::vector<uint8_t> vram(6u << 20, 0x99);
  for (unsigned k = 0; k < 16; ++k) std::fill_n(&vram[start + k * pitch], 16, 200 + k);
  for (unsigned k = 0; k < 4; ++k) std::fill_n(&vram[k * pitch], 16, 1 + k);
  const Scanout out = scanout(s, vram.data(), vram.size());
  EXPECT_EQ(out.timing.offsetY, 16u);
  ASSERT_EQ(out.image.height, 20u);
  for (unsigned d = 0; d < 20; ++d) {
    for (unsigned x = 0; x < 16; ++x) {
      ASSERT_EQ(out.image.pixel(x, d), (d < 16 ? 200 + d : d - 15) << 16) << x << "," << d;
    }
  }
}

TEST(Scanout, EightBitAttributePathDoublesDotsAndLines) {
  DisplayState s = mode(2, 4, 0x10, 8, 0);
  std::vector<uint8_t> vram(64);
  for (unsigned i = 0; i < vram.size(); ++i) vram[i] = static_cast<uint8_t>(i);
  EXPECT_FALSE(scanout(s, vram.data(), vram.size()).ok);  // code 0 alone: no packed pixels
  s.attribute[0x10] = 0x41;
  s.crtc[0x09] = 0x01;  // two scan lines per row
  const Scanout out = scanout(s, vram.data(), vram.size());
  ASSERT_TRUE(out.ok);
  for (unsigned d = 0; d < 4; ++d) {
    for (unsigned x = 0; x < 16; ++x) EXPECT_EQ(out.image.pixel(x, d), (d / 2 * 8 + x / 2) << 16);
  }
}

// --- hardware cursor on an 80 × 70 screen of palette entry 0x10, in states the driver
// never sets up (its picture at every edge is checked against the driver's calls) ---

constexpr uint32_t kBackground = 0x100000, kColour1 = 0xAABBCC;
constexpr uint32_t kPattern = 0x10000;

struct CursorScreen {
  DisplayState state = mode(10, 70, 0x11, 80, 0);
  std::vector<uint8_t> vram = std::vector<uint8_t>(0x20000, 0x10);
  CursorScreen() {
    const uint8_t regs[] = {0x33, 0x22, 0x11, 0xCC, 0xBB, 0xAA, 0x00, 0x01, 0x00};
    std::copy(std::begin(regs), std::end(regs), &state.crtc[0x2A]);  // colours, pattern offset
    std::fill_n(&vram[kPattern], 512, 0x00);  // every pixel AND 0, XOR 1: colour 1
    std::fill_n(&vram[kPattern + 512], 512, 0xFF);
  }
  Image show(unsigned x, unsigned y, uint8_t height) {
    state.cursorPosition = y << 16 | x;
    state.crtc[0x29] = height;
    return scanout(state, vram.data(), vram.size()).image;
  }
};

struct ClipCase {
  const char* name;
  uint32_t x, y;
  uint8_t height;
  unsigned left, top, right, bottom;  // the covered box, ends exclusive
};

class ScanoutCursorClip : public testing::TestWithParam<ClipCase> {};

TEST_P(ScanoutCursorClip, CoversExactlyItsBox) {
  const ClipCase& c = GetParam();
  const Image img = CursorScreen().show(c.x, c.y, c.height);
  for (unsigned y = 0; y < img.height; ++y) {
    for (unsigned x = 0; x < img.width; ++x) {
      const bool in = x >= c.left && x < c.right && y >= c.top && y < c.bottom;
      ASSERT_EQ(img.pixel(x, y), in ? kColour1 : kBackground) << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(, ScanoutCursorClip,
                         testing::Values(ClipCase{"HeightCappedAt64", 0, 0, 200, 0, 0, 64, 64},
                                         ClipCase{"BeyondTheScreen", 80, 0, 64, 0, 0, 0, 0},
                                         ClipCase{"HeightZero", 0, 0, 0, 0, 0, 0, 0},
                                         ClipCase{"Hidden", 0xFFFF, 0xFFFF, 64, 0, 0, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orva::board
