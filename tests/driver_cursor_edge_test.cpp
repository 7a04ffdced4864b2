// Hardware cursor at the left and top screen edges: the shifted pattern copy,
// checked bit by bit and in the picture the board scans out.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "board.h"
#include "orva/session.h"
#include "scanout.h"

namespace {

using orva::board::Board;
using orva::board::Image;
using orva::board::Variant;
using orva::platform::Session;
using orva::platform::SessionOptions;

constexpr unsigned kPlane = 512;

template <typename F>
F* need(const Session& session, const char* name) {
  F* f = session.driverSymbol<F>(name);
  if (f == nullptr) throw std::runtime_error(std::string("driver symbol missing: ") + name);
  return f;
}

// Pixel p (0 = leftmost) of row r of one plane: bit 7 of a byte is its leftmost pixel.
bool bit(const uint8_t* plane, unsigned row, unsigned p) {
  return (plane[row * 8 + p / 8] >> (7 - p % 8)) & 1;
}

// A shape whose rows and columns are all different, with every AND/XOR
// combination present, so that any wrong row or column shows.
std::vector<uint8_t> makeShape(uint32_t seed) {
  std::vector<uint8_t> shape(1024);
  uint32_t x = seed;
  for (auto& byte : shape) {
    x = x * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(x >> 24);
  }
  return shape;
}

using ShiftMaskFn = void(const uint8_t*, uint8_t*, uint32_t, uint32_t, uint32_t);

TEST(CursorShiftMask, EveryShiftMovesPixelsLeftAndFillsTransparent) {
  SessionOptions options;
  options.runDriverEntry = false;  // pure memory work: no hardware involved
  Session session(options);
  auto* shiftMask = need<ShiftMaskFn>(session, "HWCURSOR_ShiftMask");

  const std::vector<uint8_t> source = makeShape(7);
  for (uint32_t height : {64u, 17u, 1u}) {
    for (uint32_t dy : {0u, 1u, height - 1}) {
      if (dy >= height) continue;
      for (uint32_t dx = 0; dx < 64; dx++) {
        SCOPED_TRACE(testing::Message() << "h " << height << " dx " << dx << " dy " << dy);
        std::vector<uint8_t> destination(1024, 0x5A);
        shiftMask(source.data(), destination.data(), height, dx, dy);

        bool same = true;
        for (unsigned row = 0; row + dy < height && same; row++) {
          for (unsigned p = 0; p < 64 && same; p++) {
            const bool inside = p + dx < 64;
            const bool expectedAnd = inside ? bit(source.data(), row + dy, p + dx) : true;
            const bool expectedXor = inside ? bit(source.data() + kPlane, row + dy, p + dx) : false;
            same = bit(destination.data(), row, p) == expectedAnd &&
                   bit(destination.data() + kPlane, row, p) == expectedXor;
            EXPECT_TRUE(same) << "row " << row << " pixel " << p;
          }
        }
        // Rows from h - dy on are not shown and must not be written.
        for (unsigned row = height - dy; row < 64; row++) {
          for (unsigned b = 0; b < 8; b++) {
            ASSERT_EQ(destination[row * 8 + b], 0x5A) << "AND row " << row;
            ASSERT_EQ(destination[kPlane + row * 8 + b], 0x5A) << "XOR row " << row;
          }
        }
      }
    }
  }
}

TEST(CursorShiftMask, NoRowLeftWritesNothing) {
  SessionOptions options;
  options.runDriverEntry = false;
  Session session(options);
  auto* shiftMask = need<ShiftMaskFn>(session, "HWCURSOR_ShiftMask");
  const std::vector<uint8_t> source = makeShape(9);
  for (uint32_t dy : {17u, 18u, 0xFFFFFFFFu}) {
    std::vector<uint8_t> destination(1024, 0x5A);
    shiftMask(source.data(), destination.data(), 17, 3, dy);
    EXPECT_EQ(destination, std::vector<uint8_t>(1024, 0x5A)) << "dy " << dy;
  }
}

// The picture with the cursor on it, against the same shape drawn by hand at
// the same place and clipped by the screen edges.
class CursorEdgePicture : public testing::Test {
 protected:
  static constexpr uint32_t kSetCurrentMode = 0x23040C;
  static constexpr uint32_t kMode640x480x16 = 32 * 1 + 8 * 1 + 0;
  static constexpr unsigned kWidth = 640, kHeight = 480;
  static constexpr uint32_t kPitch = 1280;
  static constexpr uint32_t kShapeOffset = 0x96000;  // first buffer after the surface
  static constexpr uint32_t kShapeHeight = 48;

  void SetUp() override {
    SessionOptions options;
    options.board.variant = Variant::Bramble;
    session_ = std::make_unique<Session>(options);
    ASSERT_TRUE(session_->started());
    const uint32_t mode = kMode640x480x16;
    std::vector<uint8_t> input(4);
    std::memcpy(input.data(), &mode, 4);
    ASSERT_EQ(session_->request(kSetCurrentMode, input, 0).status, 0u);

    // A background in which no two neighbours are alike.
    uint8_t* vram = board().vram();
    for (unsigned y = 0; y < kHeight; y++) {
      for (unsigned x = 0; x < kWidth; x++) {
        const uint16_t pixel = static_cast<uint16_t>((x * 37 + y * 101) ^ (x << 7) ^ (y << 3));
        std::memcpy(vram + y * kPitch + x * 2, &pixel, 2);
      }
    }
    shape_ = makeShape(1234);
    std::memcpy(vram + kShapeOffset, shape_.data(), shape_.size());

    position_ = need<void(int32_t, int32_t)>(*session_, "HWCURSOR_EnhancedChangeCursorPos");
    hide_ = need<void()>(*session_, "HWCURSOR_HideCursor");
    need<void(uint32_t, uint32_t)>(*session_, "HWCURSOR_ChangeColor")(0x2060A0, 0xE0C040);
    need<void(uint32_t, uint32_t)>(*session_, "HWCURSOR_ChangeCursor")(kShapeOffset, kShapeHeight);
  }

  Board& board() { return session_->board(); }

  // The background with the original shape overlaid at (x, y), clipped.
  Image reference(const Image& background, const orva::board::CursorState& cursor, int32_t x,
                  int32_t y) const {
    Image image = background;
    for (unsigned row = 0; row < kShapeHeight; row++) {
      for (unsigned p = 0; p < 64; p++) {
        const int64_t sx = int64_t{x} + p, sy = int64_t{y} + row;
        if (sx < 0 || sy < 0 || sx >= image.width || sy >= image.height) continue;
        const bool a = bit(shape_.data(), row, p);
        const bool o = bit(shape_.data() + kPlane, row, p);
        const uint32_t under = image.pixel(unsigned(sx), unsigned(sy));
        uint32_t shown = under;
        if (!a) shown = o ? cursor.color1 : cursor.color0;
        if (a && o) shown = under ^ 0xFFFFFF;
        image.setPixel(unsigned(sx), unsigned(sy), shown);
      }
    }
    return image;
  }

  std::unique_ptr<Session> session_;
  std::vector<uint8_t> shape_;
  void (*position_)(int32_t, int32_t) = nullptr;
  void (*hide_)() = nullptr;
};

struct Place {
  int32_t x, y;
};

void expectSamePicture(const Image& actual, const Image& expected) {
  ASSERT_EQ(actual.width, expected.width);
  ASSERT_EQ(actual.height, expected.height);
  unsigned wrong = 0;
  for (unsigned y = 0; y < actual.height; y++) {
    for (unsigned x = 0; x < actual.width; x++) {
      if (actual.pixel(x, y) != expected.pixel(x, y) && ++wrong <= 5) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << "): 0x" << std::hex << actual.pixel(x, y)
                      << " expected 0x" << expected.pixel(x, y);
      }
    }
  }
  EXPECT_EQ(wrong, 0u);
}

TEST_F(CursorEdgePicture, ShiftedCopiesShowTheClippedShape) {
  const Place places[] = {
      {100, 100},  // unshifted: the renderer agrees with the board
      {-1, 0},
      {-32, 0},
      {-63, 0},  // left edge
      {0, -1},
      {20, -(int32_t(kShapeHeight) - 1)},  // top edge
      {-1, -1},
      {-32, -20},
      {-63, -(int32_t(kShapeHeight) - 1)},  // both
      {-17, 300},
      {600, -9},  // one edge, far from the other
      {639, 479},
      {-5, 470},  // right and bottom: clipped by the hardware
      {-40, 7},   // again after the others: buffers reused
  };
  for (const Place& place : places) {
    SCOPED_TRACE(testing::Message() << "(" << place.x << ", " << place.y << ")");
    position_(place.x, place.y);
    const orva::board::Scanout shown = orva::board::scanout(board());
    ASSERT_TRUE(shown.ok) << shown.error;
    ASSERT_TRUE(shown.cursor.visible);
    hide_();
    const orva::board::Scanout bare = orva::board::scanout(board());
    ASSERT_TRUE(bare.ok) << bare.error;
    ASSERT_FALSE(bare.cursor.visible);
    expectSamePicture(shown.image, reference(bare.image, shown.cursor, place.x, place.y));
  }
}

TEST_F(CursorEdgePicture, WhollyOffScreenLeavesThePictureUntouched) {
  const Place places[] = {{-64, 0}, {0, -int32_t(kShapeHeight)}, {640, 10}, {-64, -64}};
  hide_();
  const orva::board::Scanout bare = orva::board::scanout(board());
  ASSERT_TRUE(bare.ok) << bare.error;
  for (const Place& place : places) {
    SCOPED_TRACE(testing::Message() << "(" << place.x << ", " << place.y << ")");
    position_(-10, -10);  // something on screen first
    position_(place.x, place.y);
    const orva::board::Scanout shown = orva::board::scanout(board());
    ASSERT_TRUE(shown.ok) << shown.error;
    EXPECT_FALSE(shown.cursor.visible);
    expectSamePicture(shown.image, bare.image);
  }
}

}  // namespace
