// The picture the display shows, pixel by pixel, from small synthetic register states.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "board.h"
#include "png_writer.h"
#include "scanout.h"

namespace orva::board {
namespace {

// width in 8-pixel characters; display end = height lines; blank start = blank lines.
DisplayState mode(unsigned chars, unsigned height, uint8_t r28, uint32_t pitch, uint32_t startByte,
                  unsigned blank = 0) {
  DisplayState s;
  s.sequencer[0x01] = 0x01;
  s.sequencer[0x06] = 0x57;
  s.attribute[0x10] = 0x01;
  s.crtc[0x01] = static_cast<uint8_t>(chars - 1);
  const unsigned e = height - 1, b = (blank ? blank : height + 8) - 1;
  s.crtc[0x12] = static_cast<uint8_t>(e);
  s.crtc[0x15] = static_cast<uint8_t>(b);
  s.crtc[0x07] =
      static_cast<uint8_t>(((e >> 8) & 1) << 1 | ((e >> 9) & 1) << 6 | ((b >> 8) & 1) << 3);
  s.crtc[0x09] = static_cast<uint8_t>(((b >> 9) & 1) << 5);
  s.crtc[0x28] = r28;
  s.crtc[0x13] = static_cast<uint8_t>(pitch / 8);
  s.crtc[0x19] = static_cast<uint8_t>(((pitch / 8) >> 8) << 4 | ((startByte / 4) >> 16));
  s.crtc[0x0C] = static_cast<uint8_t>(startByte / 4 >> 8);
  s.crtc[0x0D] = static_cast<uint8_t>(startByte / 4);
  return s;
}

// Palette entry i is (i, 0, 0): a pixel's colour names the byte it came from.
void rampPalette(DisplayState& s) {
  for (unsigned i = 0; i < 256; ++i) s.dac[i] = {static_cast<uint8_t>(i), 0, 0};
}

struct FormatCase {
  const char* name;
  uint8_t r28;
  std::vector<std::vector<uint8_t>> pixels;  // bytes of consecutive pixels
  std::vector<uint32_t> colours;
};

class ScanoutFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(ScanoutFormat, PixelBytesToColours) {
  const FormatCase& c = GetParam();
  DisplayState s = mode(2, 2, c.r28, 256, 0);
  s.dac[0] = {0, 0, 0};
  s.dac[5] = {0x10, 0x20, 0x30};
  s.dac[0xFE] = {0xFF, 0x00, 0x80};
  std::vector<uint8_t> vram(4096, 0);
  size_t at = 256;  // line 1
  for (const auto& p : c.pixels) {
    for (uint8_t b : p) vram[at++] = b;
  }
  const Scanout out = scanout(s, vram.data(), vram.size());
  ASSERT_TRUE(out.ok) << out.error;
  ASSERT_EQ(out.image.width, 16u);
  ASSERT_EQ(out.image.height, 2u);
  for (unsigned x = 0; x < 16; ++x) {
    EXPECT_EQ(out.image.pixel(x, 0), 0u) << "line 0 pixel " << x;
    const uint32_t want = x < c.colours.size() ? c.colours[x] : 0;
    EXPECT_EQ(out.image.pixel(x, 1), want) << "line 1 pixel " << x;
  }
}

INSTANTIATE_TEST_SUITE_P(
    , ScanoutFormat,
    testing::Values(
        FormatCase{"Palette8", 0x11, {{5}, {0xFE}, {0}}, {0x102030, 0xFF0080, 0}},
        FormatCase{"Rgb565",
                   0x1B,
                   {{0x00, 0xF8}, {0xE0, 0x07}, {0x1F, 0x00}, {0x10, 0x84}, {0xFF, 0xFF}},
                   {0xFF0000, 0x00FF00, 0x0000FF, 0x848284, 0xFFFFFF}},
        FormatCase{"Rgb555",
                   0x1A,
                   {{0x00, 0x7C}, {0xE0, 0x03}, {0x1F, 0x00}, {0x00, 0x80}, {0x10, 0x42}},
                   {0xFF0000, 0x00FF00, 0x0000FF, 0x000000, 0x848484}},
        FormatCase{"Bgr24",
                   0x1C,
                   {{0x11, 0x22, 0x33}, {0xFF, 0x00, 0x00}, {0x00, 0x00, 0xFF}},
                   {0x332211, 0x0000FF, 0xFF0000}},
        FormatCase{"Bgrx32",
                   0x1D,
                   {{0x11, 0x22, 0x33, 0x44}, {0xFF, 0x00, 0x00, 0xFF}},
                   {0x332211, 0x0000FF}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Scanout, PitchWiderThanTheLineAndDisplayStart) {
  DisplayState s = mode(2, 3, 0x11, 40, 0x1000);
  rampPalette(s);
  std::vector<uint8_t> vram(0x2000, 0xEE);
  for (unsigned d = 0; d < 3; ++d) {
    for (unsigned x = 0; x < 16; ++x) vram[0x1000 + d * 40 + x] = static_cast<uint8_t>(d * 16 + x);
  }
  const Scanout out = scanout(s, vram.data(), vram.size());
  ASSERT_TRUE(out.ok);
  for (unsigned d = 0; d < 3; ++d) {
    for (unsigned x = 0; x < 16; ++x) {
      EXPECT_EQ(out.image.pixel(x, d), (d * 16 + x) << 16) << x << "," << d;
    }
  }
}

// Blanking starts before the display ends: the start is placed 16 lines before the surface
// at offset 0, i.e. at the end of the 4 MB display address space. Memory beyond 4 MB must not
// show.
TEST(Scanout, WrapsAtFourMegabytesWithTheSixteenLineOffset) {
  const uint32_t pitch = 32;
  const uint32_t start = (0u - 16 * pitch) & (kDisplayAddressSpace - 1);
  DisplayState s = mode(2, 24, 0x11, pitch, start, 20);
  rampPalette(s);
  std::vector<uint8_t> vram(6u << 20, 0);
  for (unsigned k = 0; k < 16; ++k) {
    std::fill_n(&vram[start + k * pitch], 16, static_cast<uint8_t>(200 + k));
  }
  for (unsigned k = 0; k < 4; ++k) std::fill_n(&vram[k * pitch], 16, static_cast<uint8_t>(1 + k));
  std::fill(vram.begin() + kDisplayAddressSpace, vram.end(), 0x99);  // above 4 MB

  const Scanout out = scanout(s, vram.data(), vram.size());
  ASSERT_TRUE(out.ok);
  EXPECT_EQ(out.timing.offsetY, 16u);
  ASSERT_EQ(out.image.height, 20u);
  for (unsigned d = 0; d < 20; ++d) {
    const uint32_t want = d < 16 ? 200 + d : d - 15;
    for (unsigned x = 0; x < 16; ++x) ASSERT_EQ(out.image.pixel(x, d), want << 16) << x << "," << d;
  }
}

TEST(Scanout, AddressesBeyondTheMemoryReadZero) {
  DisplayState s = mode(2, 2, 0x11, 16, 0x100000 - 16);  // line 1 starts past 1 MB
  rampPalette(s);
  s.dac[0] = {1, 2, 3};
  std::vector<uint8_t> vram(1u << 20, 7);
  const Scanout out = scanout(s, vram.data(), vram.size());
  ASSERT_TRUE(out.ok);
  EXPECT_EQ(out.image.pixel(15, 0), 7u << 16);
  EXPECT_EQ(out.image.pixel(0, 1), 0x010203u);
}

TEST(Scanout, EightBitAttributePathDoublesDotsAndLines) {
  DisplayState s = mode(2, 4, 0x10, 8, 0);
  s.attribute[0x10] = 0x41;
  s.crtc[0x09] |= 0x01;  // two scan lines per row
  rampPalette(s);
  std::vector<uint8_t> vram(64);
  for (unsigned i = 0; i < vram.size(); ++i) vram[i] = static_cast<uint8_t>(i);
  const Scanout out = scanout(s, vram.data(), vram.size());
  ASSERT_TRUE(out.ok);
  for (unsigned d = 0; d < 4; ++d) {
    for (unsigned x = 0; x < 16; ++x) {
      EXPECT_EQ(out.image.pixel(x, d), ((d / 2) * 8 + x / 2) << 16) << x << "," << d;
    }
  }
}

TEST(Scanout, NoPictureWithoutAPackedPixelFormat) {
  DisplayState s = mode(2, 2, 0x10, 16, 0);  // code 0, attribute 8-bit path off
  std::vector<uint8_t> vram(64);
  const Scanout out = scanout(s, vram.data(), vram.size());
  EXPECT_FALSE(out.ok);
  EXPECT_FALSE(out.error.empty());
}

// --- hardware cursor ---

constexpr uint32_t kBackground = 0x405060, kColour0 = 0x112233, kColour1 = 0xAABBCC;
constexpr uint32_t kPattern = 0x10000;

struct CursorScreen {
  DisplayState state = mode(10, 70, 0x11, 80, 0);
  std::vector<uint8_t> vram = std::vector<uint8_t>(0x20000, 0x10);
  CursorScreen() {
    state.dac[0x10] = {0x40, 0x50, 0x60};
    state.crtc[0x2A] = 0x33, state.crtc[0x2B] = 0x22, state.crtc[0x2C] = 0x11;
    state.crtc[0x2D] = 0xCC, state.crtc[0x2E] = 0xBB, state.crtc[0x2F] = 0xAA;
    state.crtc[0x30] = (kPattern >> 8) & 0xFF;
    state.crtc[0x31] = (kPattern >> 16) & 0xFF;
    state.crtc[0x32] = kPattern >> 24;
    // Every pixel of every row: AND 0, XOR 1 (colour 1).
    std::fill_n(&vram[kPattern], 512, 0x00);
    std::fill_n(&vram[kPattern + 512], 512, 0xFF);
  }
  void place(unsigned x, unsigned y, uint8_t height) {
    state.cursorPosition = y << 16 | x;
    state.crtc[0x29] = height;
  }
  Image picture() {
    const Scanout out = scanout(state, vram.data(), vram.size());
    EXPECT_TRUE(out.ok);
    return out.image;
  }
};

TEST(ScanoutCursor, EachAndXorCombinationAndBitOrder) {
  CursorScreen s;
  // Row 0: pixel 0 AND 1 XOR 1, pixel 1 AND 1 XOR 0, pixel 2 AND 0 XOR 1, pixel 3 AND 0 XOR 0,
  // pixels 4-62 transparent, pixel 63 (bit 0 of byte 7) colour 1.
  std::fill_n(&s.vram[kPattern], 8, 0xFF);
  std::fill_n(&s.vram[kPattern + 512], 8, 0x00);
  s.vram[kPattern] = 0xCF;
  s.vram[kPattern + 512] = 0xA0;
  s.vram[kPattern + 7] = 0xFE;
  s.vram[kPattern + 512 + 7] = 0x01;
  s.place(5, 7, 1);
  const Image img = s.picture();
  EXPECT_EQ(img.pixel(5, 7), ~kBackground & 0xFFFFFF);
  EXPECT_EQ(img.pixel(6, 7), kBackground);
  EXPECT_EQ(img.pixel(7, 7), kColour1);
  EXPECT_EQ(img.pixel(8, 7), kColour0);
  for (unsigned x = 9; x < 68; ++x) EXPECT_EQ(img.pixel(x, 7), kBackground) << x;
  EXPECT_EQ(img.pixel(68, 7), kColour1);
  EXPECT_EQ(img.pixel(5, 8), kBackground);  // height 1: row 1 not shown
  EXPECT_EQ(img.pixel(5, 6), kBackground);
}

// Where the cursor's 64 × height box lands on a 80 × 70 screen.
struct ClipCase {
  const char* name;
  uint32_t x, y;
  uint8_t height;
  unsigned left, top, right, bottom;  // covered box, exclusive end; empty when left == right
};

class ScanoutCursorClip : public testing::TestWithParam<ClipCase> {};

TEST_P(ScanoutCursorClip, CoversExactlyItsBox) {
  const ClipCase& c = GetParam();
  CursorScreen s;
  s.place(c.x, c.y, c.height);
  const Image img = s.picture();
  for (unsigned y = 0; y < img.height; ++y) {
    for (unsigned x = 0; x < img.width; ++x) {
      const bool inside = x >= c.left && x < c.right && y >= c.top && y < c.bottom;
      ASSERT_EQ(img.pixel(x, y), inside ? kColour1 : kBackground) << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(, ScanoutCursorClip,
                         testing::Values(ClipCase{"Inside", 3, 2, 5, 3, 2, 67, 7},
                                         ClipCase{"RightEdge", 78, 0, 4, 78, 0, 80, 4},
                                         ClipCase{"BottomEdge", 0, 60, 64, 0, 60, 64, 70},
                                         ClipCase{"Corner", 79, 69, 64, 79, 69, 80, 70},
                                         ClipCase{"HeightCappedAt64", 0, 0, 200, 0, 0, 64, 64},
                                         ClipCase{"BeyondTheScreen", 80, 0, 64, 0, 0, 0, 0},
                                         ClipCase{"HeightZero", 0, 0, 0, 0, 0, 0, 0},
                                         ClipCase{"Hidden", 0xFFFF, 0xFFFF, 64, 0, 0, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScanoutCursor, StateFromRegisters) {
  CursorScreen s;
  s.place(10, 36, 32);
  const CursorState c = decodeCursor(s.state);
  EXPECT_TRUE(c.visible);
  EXPECT_EQ(c.x, 10u);
  EXPECT_EQ(c.y, 36u);
  EXPECT_EQ(c.height, 32u);
  EXPECT_EQ(c.patternOffset, kPattern);
  EXPECT_EQ(c.color0, kColour0);
  EXPECT_EQ(c.color1, kColour1);
  s.state.cursorPosition = 0xFFFFFFFF;
  EXPECT_FALSE(decodeCursor(s.state).visible);
}

TEST(Scanout, FromTheBoardWithCursorAndPng) {
  Board board(BoardConfig{});
  const DisplayState s = mode(4, 8, 0x1B, 64, 0);
  for (unsigned i = 0; i < 256; ++i) {
    board.presetCrtc(static_cast<uint8_t>(i), s.crtc[i]);
    board.presetSequencer(static_cast<uint8_t>(i), s.sequencer[i]);
  }
  board.presetAttribute(0x10, 0x01);
  for (unsigned y = 0; y < 8; ++y) {
    for (unsigned x = 0; x < 32; ++x) {
      const uint16_t v = static_cast<uint16_t>((x & 31) << 11 | (y << 2));  // red and blue ramps
      board.vram()[y * 64 + x * 2] = static_cast<uint8_t>(v);
      board.vram()[y * 64 + x * 2 + 1] = static_cast<uint8_t>(v >> 8);
    }
  }
  board.presetCrtc(0x29, 2);
  board.presetCrtc(0x31, 0x01);  // pattern at 0x10000: all zero, colour 0 = CRTC 0x2A-0x2C
  board.presetCrtc(0x2C, 0x7F);
  board.presetGeRegister(Board::kCursorPositionRegister, 6 << 16 | 30);
  const Scanout out = scanout(board);
  ASSERT_TRUE(out.ok) << out.error;
  ASSERT_EQ(out.image.width, 32u);
  ASSERT_EQ(out.image.height, 8u);
  EXPECT_EQ(out.image.pixel(31, 0), 0xFF0000u);
  EXPECT_EQ(out.image.pixel(0, 7), 0x0000E7u);
  EXPECT_EQ(out.image.pixel(30, 6), 0x7F0000u);
  EXPECT_EQ(out.image.pixel(31, 7), 0x7F0000u);
  EXPECT_NE(out.image.pixel(29, 6), 0x7F0000u);

  const std::string path = testing::TempDir() + "board_devices_scanout.png";
  std::string error;
  ASSERT_TRUE(writePng(out.image, path, &error)) << error;
  Image back;
  ASSERT_TRUE(readPng(path, back, &error)) << error;
  EXPECT_EQ(back.width, out.image.width);
  EXPECT_EQ(back.height, out.image.height);
  EXPECT_EQ(back.rgb, out.image.rgb);
  std::remove(path.c_str());
  EXPECT_FALSE(writePng(out.image, testing::TempDir() + "no/such/dir/x.png", &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace orva::board
