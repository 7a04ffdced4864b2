// Every board a user can build (chip variant x output keyword x memory size):
// discovery, the mode list, then every listed mode set, each checked against
// what the board decodes from its registers afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "board.h"
#include "orva/requests.h"
#include "orva/session.h"
#include "orva_test.h"
#include "tft.h"
#include "timing.h"
#include "tv_encoder.h"

namespace orva::sweep_test {
namespace {

using board::Variant;
using platform::Session;

// The output keywords of the keyword table with their output values; the first
// row stands for no registry value (the monitor stays selected).
struct Output {
  const char* keyword;
  uint32_t value;
};
constexpr Output kOutputs[] = {
    {nullptr, 0x10001},
    {"MONITOR", 0x10001},
    {"100HZPAL", 0x20001},
    {"VGANTSC", 0x30001},
    {"TVPAL", 0x10002},
    {"TVNTSC", 0x20002},
    {"TVNTSC269", 0x30002},
    {"TVNTSCINTERNAL", 0x40002},
    {"TVPALSVHS", 0x1010002},
    {"TVNTSCSVHS", 0x1020002},
    {"TVNTSC269SVHS", 0x1030002},
    {"TFTPHILIPSHLD1201", 0x10003},
    {"TFTLGPHILIPSLM151X2", 0x20003},
};

constexpr uint32_t kMemorySizes[] = {0, 128u << 10, 1u << 20, 2u << 20, 4u << 20, 8064u << 10};

// Dot-clock range a PLL design can produce: the lowest VCO divided by the largest
// post-divider, up to the highest VCO undivided. A refresh rate whose dot clock
// lies inside it must come out within 2 %; outside it the PLL stops at its edge.
struct PllRange {
  double lowHz, highHz;
};
PllRange pllRange(Variant variant) {
  return board::pllDesign(variant) == 1 ? PllRange{128e6 / 16, 256e6} : PllRange{200e6 / 32, 622e6};
}

// What the CRTC shows where the timing data does not display the listed size
// (measured from the board; every other mode shows exactly its size). The sweep
// holds these to what they are, so that a change of them is seen.
constexpr uint32_t kNtsc = 0x20002, kNtsc269 = 0x30002;
struct Shown {
  uint32_t width, height;
  uint32_t outputs[3];  // output values it applies to (0: unused)
  bool deepOnly;        // only at 16 and 24 bits per pixel
  uint32_t shownWidth, shownHeight;
};
constexpr Shown kShownOtherwise[] = {
    // The NTSC 480-line lists end the display at field 0x1E0: 481 lines...
    {640, 480, {kNtsc, kNtsc269}, false, 640, 481},
    // ... and the full-width one shows 91 characters: 728 pixels.
    {720, 480, {kNtsc, kNtsc269}, false, 728, 481},
    // Pixels are doubled only on the 8-bit attribute path: 640 wide deeper.
    {320, 200, {0x10002, kNtsc, kNtsc269}, true, 640, 200},
};

struct Tally {
  unsigned boards = 0, modeSets = 0, refreshChecked = 0, beyondPll = 0;
};

std::string describe(Variant variant, const char* output, uint32_t memory) {
  return std::string(board::variantName(variant)) + ' ' + (output ? output : "(none)") + ' ' +
         std::to_string(memory >> 10) + "K";
}

std::string describe(const VIDEO_MODE_INFORMATION& m) {
  char text[64];
  std::snprintf(text, sizeof text, "mode %u %ux%ux%u@%u", m.ModeIndex, m.VisScreenWidth,
                m.VisScreenHeight, m.BitsPerPlane, m.Frequency);
  return text;
}

// One listed mode, set and read back from the board.
void checkModeSet(Session& session, Variant variant, uint32_t output,
                  const VIDEO_MODE_INFORMATION& mode, Tally& tally) {
  const uint32_t outputClass = output & 0xFFFF;
  board::Board& hw = session.board();
  const size_t tvBefore = hw.tvEncoder().writes().size();
  const size_t tftBefore = hw.tft().ioWrites().size() + hw.tft().windowWrites().size();

  ASSERT_EQ(platform::setMode(session, mode.ModeIndex).status, 0u);
  ++tally.modeSets;

  const board::Timing t = board::decodeTiming(hw);
  EXPECT_EQ(t.bitsPerPixel, mode.BitsPerPlane) << "pixel format";
  EXPECT_EQ(t.pitch, mode.ScreenStride) << "pitch";
  uint32_t width = mode.VisScreenWidth, height = mode.VisScreenHeight;
  for (const Shown& shown : kShownOtherwise) {
    const bool forOutput = std::find(std::begin(shown.outputs), std::end(shown.outputs), output) !=
                           std::end(shown.outputs);
    if (shown.width == width && shown.height == height && forOutput &&
        (!shown.deepOnly || mode.BitsPerPlane > 8)) {
      width = shown.shownWidth;
      height = shown.shownHeight;
      break;
    }
  }
  EXPECT_EQ(t.visibleWidth / t.dotsPerPixel, width) << "visible width";
  EXPECT_EQ(t.visibleHeight / t.linesPerRow, height) << "visible height";

  if (mode.Frequency != 0) {
    // The driver's rate: total pixels x the vertical total field x the rate.
    const double wanted =
        static_cast<double>(t.hTotal) * t.fields.vTotal * static_cast<double>(mode.Frequency);
    const PllRange range = pllRange(variant);
    ASSERT_FALSE(t.externalClock);
    const board::Board::DotClock clock = hw.dotClock(t.dotClock);
    EXPECT_TRUE(clock.vcoInRange) << "PLL settings out of range";
    if (wanted >= range.lowHz && wanted <= range.highHz) {
      EXPECT_NEAR(t.vRefreshHz, mode.Frequency, 0.02 * mode.Frequency) << "refresh rate";
      ++tally.refreshChecked;
    } else {
      // Beyond the PLL: it stops next to the edge the rate lies beyond.
      if (wanted > range.highHz) {
        EXPECT_GE(static_cast<double>(clock.hz), 0.98 * range.highHz) << "dot clock at the top";
      } else {
        EXPECT_LE(static_cast<double>(clock.hz), 1.02 * range.lowHz) << "dot clock at the bottom";
      }
      ++tally.beyondPll;
    }
  }

  const bool tvProgrammed = hw.tvEncoder().writes().size() != tvBefore;
  const bool tftProgrammed =
      hw.tft().ioWrites().size() + hw.tft().windowWrites().size() != tftBefore;
  EXPECT_EQ(tvProgrammed, outputClass == 2) << "TV encoder";
  EXPECT_EQ(tftProgrammed, outputClass == 3) << "TFT panel";

  const auto current = platform::queryCurrentMode(session);
  ASSERT_EQ(current.status(), 0u);
  EXPECT_EQ(current.value.ModeIndex, mode.ModeIndex);
  EXPECT_EQ(current.value.VisScreenWidth, mode.VisScreenWidth);
  EXPECT_EQ(current.value.VisScreenHeight, mode.VisScreenHeight);
  EXPECT_EQ(current.value.BitsPerPlane, mode.BitsPerPlane);
  EXPECT_EQ(current.value.ScreenStride, mode.ScreenStride);
  // A fixed timing is listed without a rate and runs as 60 Hz.
  EXPECT_EQ(current.value.Frequency, mode.Frequency != 0 ? mode.Frequency : 60u);
}

TEST(Sweep, EveryListedModeOfEveryBoardProgramsWhatItDescribes) {
  const auto start = std::chrono::steady_clock::now();
  Tally tally;
  for (Variant variant : board::kAllVariants) {
    for (const Output& output : kOutputs) {
      for (uint32_t memory : kMemorySizes) {
        SCOPED_TRACE(describe(variant, output.keyword, memory));
        platform::SessionOptions options;
        options.board.variant = variant;
        options.board.memoryBytes = memory;
        if (output.keyword != nullptr) {
          options.outputType = platform::registryString(output.keyword);
        }
        Session session(options);
        session.open();
        ++tally.boards;
        session.trace().setRecording(false);  // counters only
        ASSERT_TRUE(session.started());

        const auto modes = platform::queryModes(session);
        ASSERT_EQ(modes.status(), 0u);
        for (const VIDEO_MODE_INFORMATION& mode : modes.value) {
          SCOPED_TRACE(describe(mode));
          checkModeSet(session, variant, output.value, mode, tally);
        }
        EXPECT_EQ(session.trace().counters().undecoded, 0u) << "undecoded accesses";
        EXPECT_EQ(session.board().frameBufferFaults(), 0u);
      }
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "sweep: %u boards, %u mode sets (%u refresh rates checked, %u beyond the PLL) in %.1f s\n",
      tally.boards, tally.modeSets, tally.refreshChecked, tally.beyondPll, seconds);
  EXPECT_EQ(tally.boards, 8u * 13u * 6u);
}

}  // namespace
}  // namespace orva::sweep_test
