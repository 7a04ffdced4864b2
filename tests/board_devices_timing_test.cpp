// Timing and clocking read back from register state: the mode table's timing lists must
// decode to the geometry their modes name.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "timing.h"

namespace orva::board {
namespace {

// "00:5F 01:4F ..." pairs into the CRTC of a state with 8-pixel characters and extensions on.
DisplayState withList(const char* pairs, uint8_t seq1 = 0x01, uint8_t seq6 = 0x57) {
  DisplayState s;
  s.sequencer[0x01] = seq1;
  s.sequencer[0x06] = seq6;
  s.miscOutput = 0x2B;
  std::istringstream in(pairs);
  std::string pair;
  while (in >> pair) {
    s.crtc[std::stoul(pair.substr(0, 2), nullptr, 16)] =
        static_cast<uint8_t>(std::stoul(pair.substr(3, 2), nullptr, 16));
  }
  return s;
}

constexpr const char* kMonitor640x480 =
    "00:5F 01:4F 02:50 03:82 04:54 05:80 06:0B 07:3E 09:40 10:EA 11:0C 12:DF 15:E7 16:04 25:00";
constexpr const char* kMonitor1280x1024 =
    "00:CE 01:9F 02:A0 03:91 04:A6 05:14 06:28 07:52 09:40 10:01 11:04 12:FF 15:01 16:00 1A:3C "
    "25:0D";
constexpr const char* kMonitor1600x1200 =
    "00:FF 01:C7 02:C8 03:81 04:D0 05:18 06:12 07:11 09:40 10:B1 11:04 12:AF 15:B0 16:0A 1A:38 "
    "25:1F";
constexpr const char* kTvNtsc =
    "00:66 01:4F 02:55 03:8A 04:58 05:80 06:0B 07:3E 09:00 10:CE 11:09 12:DF 15:AD 16:05 25:00";
constexpr const char* kTvPal320x200 =
    "00:67 01:4F 02:53 03:8A 04:58 05:80 06:6F 07:BA 09:41 10:01 11:0C 12:8F 15:F7 16:57 25:00";

struct GeometryCase {
  const char* name;
  const char* list;
  uint8_t seq1, seq6;
  unsigned hTotal, width, vTotal, displayEnd, blankStart, height, offsetY;
};

class TimingGeometry : public testing::TestWithParam<GeometryCase> {};

TEST_P(TimingGeometry, DecodesTheListsMode) {
  const GeometryCase& c = GetParam();
  const Timing t = decodeTiming(withList(c.list, c.seq1, c.seq6));
  EXPECT_EQ(t.hTotal, c.hTotal);
  EXPECT_EQ(t.visibleWidth, c.width);
  EXPECT_EQ(t.vTotal, c.vTotal);
  EXPECT_EQ(t.vDisplayEnd, c.displayEnd);
  EXPECT_EQ(t.vBlankStart, c.blankStart);
  EXPECT_EQ(t.visibleHeight, c.height);
  EXPECT_EQ(t.offsetY, c.offsetY);
}

INSTANTIATE_TEST_SUITE_P(
    , TimingGeometry,
    testing::Values(
        GeometryCase{"Monitor640x480", kMonitor640x480, 1, 0x57, 800, 640, 525, 480, 488, 480, 0},
        GeometryCase{"NineDotCharacters", kMonitor640x480, 0, 0x57, 900, 720, 525, 480, 488, 480,
                     0},
        GeometryCase{"Monitor1280x1024", kMonitor1280x1024, 1, 0x57, 1688, 1280, 1066, 1024, 1026,
                     1024, 0},
        // Without the extensions bit 10 of the blank start is ignored: blanking after 2 lines.
        GeometryCase{"Monitor1280x1024ExtensionsOff", kMonitor1280x1024, 1, 0, 1688, 1280, 1066,
                     1024, 2, 2, 16},
        GeometryCase{"Monitor1600x1200", kMonitor1600x1200, 1, 0x57, 2080, 1600, 1300, 1200, 1201,
                     1200, 0},
        GeometryCase{"TvNtscBlanksEarly", kTvNtsc, 1, 0x57, 856, 640, 525, 480, 430, 430, 16},
        GeometryCase{"TvPal320x200", kTvPal320x200, 1, 0x57, 864, 640, 625, 400, 504, 400, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Timing, BlankSyncAndRatesOf640x480) {
  DisplayState s = withList(kMonitor640x480);
  s.pixelClockHz = 25'104'000;
  s.miscOutput = 0xA3;
  const Timing t = decodeTiming(s);
  EXPECT_EQ(t.hBlankStart, 640u);
  EXPECT_EQ(t.hBlankEnd, 784u);
  EXPECT_EQ(t.hSyncStart, 672u);
  EXPECT_EQ(t.hSyncEnd, 768u);
  EXPECT_EQ(t.vSyncStart, 490u);
  EXPECT_EQ(t.vSyncEnd, 492u);
  EXPECT_EQ(t.vBlankEnd, 516u);
  EXPECT_EQ(t.linesPerRow, 1u);
  EXPECT_DOUBLE_EQ(t.hFrequencyHz, 31'380.0);
  EXPECT_NEAR(t.vRefreshHz, 59.7714, 1e-4);
  EXPECT_EQ(t.hSync, SyncPolarity::Positive);
  EXPECT_EQ(t.vSync, SyncPolarity::Negative);
}

}  // namespace
}  // namespace orva::board
