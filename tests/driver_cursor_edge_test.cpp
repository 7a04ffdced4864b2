// Hardware cursor at the screen edges: the picture the board scans out against
// the shape drawn by hand, and the shifted copy's bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "hwcursor/hwcursor.h"
#include "orva_test.h"
#include "scanout.h"

namespace orva::test {
namespace {

using board::Image;

constexpr unsigned kPlane = 512;

// Pixel p (0 = leftmost) of row r of one plane: bit 7 of a byte is its leftmost pixel.
bool Bit(const uint8_t* plane, unsigned row, unsigned p) {
  return (plane[row * 8 + p / 8] >> (7 - p % 8)) & 1;
}

// A shape whose rows and columns are all different, with every AND/XOR
// combination present, so that any wrong row or column shows.
std::vector<uint8_t> MakeShape(uint32_t seed) {
  std::vector<uint8_t> shape(1024);
  uint32_t x = seed;
  for (auto& byte : shape) {
    x = x * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(x >> 24);
  }
  return shape;
}

// Rows from height - dy on are not shown and must not be written, also when
// no row is left at all.
TEST(CursorShiftMask, WritesOnlyTheRowsLeft) {
  auto session = Boot({.start = false});  // pure memory work: no hardware involved
  auto* shiftMask = DRIVER_FN(*session, HWCURSOR_ShiftMask);
  const std::vector<uint8_t> source = MakeShape(7);
  for (auto [height, dx, dy] : {std::array<uint32_t, 3>{64, 5, 0},
                                {64, 63, 1},
                                {17, 8, 16},
                                {17, 0, 3},
                                {1, 40, 0},
                                {17, 3, 17},
                                {17, 3, 18},
                                {17, 3, 0xFFFFFFFF},
                                {2, 64, 0}}) {
    SCOPED_TRACE(testing::Message() << "h " << height << " dx " << dx << " dy " << dy);
    std::vector<uint8_t> destination(1024, 0x5A);
    shiftMask(source.data(), destination.data(), height, dx, dy);
    const unsigned left = dy < height ? height - dy : 0;
    for (unsigned row = 0; row < 64; row++) {
      for (unsigned plane : {0u, kPlane}) {
        const bool untouched =
            std::all_of(&destination[plane + row * 8], &destination[plane + row * 8 + 8],
                        [](uint8_t v) { return v == 0x5A; });
        EXPECT_EQ(untouched, row >= left) << "row " << row << " plane " << plane;
      }
      // Shifted by the whole width, a row is transparent: AND all ones, XOR none.
      for (unsigned byte = 0; dx >= 64 && row < left && byte < 8; byte++) {
        EXPECT_EQ(destination[row * 8 + byte], 0xFF);
        EXPECT_EQ(destination[kPlane + row * 8 + byte], 0x00);
      }
    }
  }
}

struct Place {
  int32_t x, y;
  bool visible;
};

// The picture with the cursor on it, against the same shape drawn by hand at
// the same place, clipped by the screen edges, in the colours the driver was given.
TEST(CursorEdgePicture, ShiftedCopiesShowTheClippedShape) {
  constexpr unsigned kWidth = 640, kHeight = 480, kPitch = 1280;
  constexpr uint32_t kShapeOffset = 0x96000;  // first buffer after the surface
  constexpr int32_t kShapeHeight = 48;
  constexpr uint32_t kColour0 = 0x2060A0, kColour1 = 0xE0C040;
  auto session = Boot(Variant::Bramble);
  ASSERT_EQ(platform::setMode(*session, platform::modeNumber(1, 1, 0)).status, 0u);  // 640x480x16
  // A background in which no two neighbours are alike.
  uint8_t* vram = session->board().vram();
  for (unsigned y = 0; y < kHeight; y++) {
    for (unsigned x = 0; x < kWidth; x++) {
      const uint16_t pixel = static_cast<uint16_t>((x * 37 + y * 101) ^ (x << 7) ^ (y << 3));
      std::memcpy(vram + y * kPitch + x * 2, &pixel, 2);
    }
  }
  const std::vector<uint8_t> shape = MakeShape(1234);
  std::memcpy(vram + kShapeOffset, shape.data(), shape.size());
  auto* position = DRIVER_FN(*session, HWCURSOR_EnhancedChangeCursorPos);
  auto* hide = DRIVER_FN(*session, HWCURSOR_HideCursor);
  DRIVER_FN(*session, HWCURSOR_ChangeColor)(kColour0, kColour1);
  DRIVER_FN(*session, HWCURSOR_ChangeCursor)(kShapeOffset, kShapeHeight);

  const Place places[] = {
      {100, 100, true},  // unshifted
      {-1, 0, true},
      {-32, 0, true},
      {-63, 0, true},  // left edge
      {0, -1, true},
      {20, -(kShapeHeight - 1), true},  // top edge
      {-1, -1, true},
      {-32, -20, true},
      {-63, -(kShapeHeight - 1), true},  // both
      {-17, 300, true},
      {600, -9, true},  // one edge, far from the other
      {639, 479, true},
      {-5, 470, true},  // right and bottom: clipped by the hardware
      {-40, 7, true},   // again after the others: buffers reused
      {-64, 0, false},
      {0, -kShapeHeight, false},
      {640, 10, false},
      {-64, -64, false},
  };
  for (const Place& place : places) {
    SCOPED_TRACE(testing::Message() << "(" << place.x << ", " << place.y << ")");
    position(-10, -10);  // something on screen first
    position(place.x, place.y);
    const board::Scanout shown = board::scanout(session->board());
    ASSERT_TRUE(shown.ok) << shown.error;
    EXPECT_EQ(shown.cursor.visible, place.visible);
    hide();
    const board::Scanout bare = board::scanout(session->board());
    ASSERT_TRUE(bare.ok) << bare.error;
    ASSERT_FALSE(bare.cursor.visible);

    Image expected = bare.image;
    for (unsigned row = 0; row < kShapeHeight; row++) {
      for (unsigned p = 0; p < 64; p++) {
        const int64_t sx = int64_t{place.x} + p, sy = int64_t{place.y} + row;
        if (sx < 0 || sy < 0 || sx >= expected.width || sy >= expected.height) continue;
        const bool a = Bit(shape.data(), row, p), o = Bit(shape.data() + kPlane, row, p);
        const uint32_t under = expected.pixel(unsigned(sx), unsigned(sy));
        expected.setPixel(unsigned(sx), unsigned(sy),
                          !a  ? (o ? kColour1 : kColour0)
                          : o ? under ^ 0xFFFFFF
                              : under);
      }
    }
    ASSERT_EQ(shown.image.width, expected.width);
    ASSERT_EQ(shown.image.height, expected.height);
    unsigned wrong = 0;
    for (unsigned y = 0; y < expected.height; y++) {
      for (unsigned x = 0; x < expected.width; x++) {
        if (shown.image.pixel(x, y) != expected.pixel(x, y) && ++wrong <= 5) {
          ADD_FAILURE() << "pixel (" << x << ", " << y << "): 0x" << std::hex
                        << shown.image.pixel(x, y) << " expected 0x" << expected.pixel(x, y);
        }
      }
    }
    EXPECT_EQ(wrong, 0u);
  }
}

}  // namespace
}  // namespace orva::test
