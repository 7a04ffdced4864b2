// Faults the request fuzzer found, each replayed as the requests that showed it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "board.h"
#include "orva/requests.h"
#include "orva/session.h"
#include "orva_test.h"

namespace orva::hardening_test {
namespace {

using platform::Session;

std::vector<uint8_t> pointerRequest(int16_t column, int16_t row, uint8_t seed) {
  VIDEO_POINTER_ATTRIBUTES header{};
  header.Flags = VIDEO_MODE_ASYNC_POINTER | VIDEO_MODE_MONO_POINTER;
  header.Width = 32;
  header.Height = 32;
  header.WidthInBytes = 8;
  header.Column = column;
  header.Row = row;
  std::vector<uint8_t> input(sizeof header + 1024, 0);
  std::memcpy(input.data(), &header, offsetof(VIDEO_POINTER_ATTRIBUTES, Pixels));
  for (size_t i = 0; i < 1024; ++i) input[24 + i] = static_cast<uint8_t>(seed + i * 7);
  return input;
}

// A pointer shape before the first mode set: there is no pointer area yet, so
// the cursor's shifted copy of a shape over the top-left edge went to offset 0,
// over the shape buffer it was copied from, and the shape was lost while the
// request reported success. It is refused now, with display memory untouched;
// after a mode set the same request keeps its shape through the edge shift.
TEST(FuzzRegression, PointerShapeBeforeAnyModeSet) {
  platform::SessionOptions options;
  options.board.variant = board::Variant::Bramble;
  Session session(options);
  ASSERT_TRUE(session.open());
  uint8_t* vram = session.board().vram();
  std::fill(vram, vram + 0x1000, uint8_t{0x5A});

  const std::vector<uint8_t> shape = pointerRequest(-5, -7, 3);
  EXPECT_EQ(session.request(IOCTL_VIDEO_SET_POINTER_ATTR, shape, 0).status, 87u);
  EXPECT_TRUE(std::all_of(vram, vram + 0x1000, [](uint8_t b) { return b == 0x5A; }));

  const auto modes = platform::queryModes(session);
  ASSERT_FALSE(modes.value.empty());
  ASSERT_EQ(platform::setMode(session, modes.value.front().ModeIndex).status, 0u);
  ASSERT_EQ(session.request(IOCTL_VIDEO_SET_POINTER_ATTR, shape, 0).status, 0u);
  const uint32_t offset = platform::queryPointerCapabilities(session).value.HWPtrBitmapStart;
  EXPECT_EQ(std::memcmp(vram + offset, shape.data() + 24, 1024), 0);
}

}  // namespace
}  // namespace orva::hardening_test
