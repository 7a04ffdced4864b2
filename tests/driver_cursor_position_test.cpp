// Hardware cursor: position register, pattern registers, buffer alternation,
// enable and disable, and the screen geometry read back from the CRTC. Every
// expectation is on what the board holds after the driver's calls.
#include <gtest/gtest.h>

#include <map>

#include "hwcrtc/hwcrtc.h"
#include "hwcursor/hwcursor.h"
#include "orva_test.h"

namespace orva::test {
namespace {

constexpr uint32_t kHidden = 0xFFFFFFFF, kAny = 0xFFFFFFFE;
constexpr uint32_t kPositionRegister = 0x11C;
// Frame-buffer offsets of the shape and the two buffers for its shifted copies.
constexpr uint32_t kShape = 0x100000, kShifted1 = 0x100800, kShifted2 = 0x100C00;

constexpr uint32_t At(uint32_t x, uint32_t y) { return y << 16 | x; }

uint32_t PatternAddress(const board::Board& b) {
  return uint32_t{b.crtc(0x30)} << 8 | uint32_t{b.crtc(0x31)} << 16 | uint32_t{b.crtc(0x32)} << 24;
}

// A board with the VGA core set up, a mode row's timings loaded, and the cursor
// initialised with a shape of `height` rows whose bytes all differ.
std::unique_ptr<Session> CursorBoard(uint32_t timingRow, uint32_t height) {
  auto s = Boot(Variant::Bramble);
  DRIVER_FN(*s, HWCRTC_InitializeInternalVGA)();
  DRIVER_FN(*s, HWCRTC_SetCRTCTimings)(timingRow);
  for (uint32_t i = 0; i < 1024; ++i) s->board().vram()[kShape + i] = uint8_t(i * 7 + i / 256);
  DRIVER_FN(*s, HWCURSOR_Init)(kShifted1, kShifted2);
  DRIVER_FN(*s, HWCURSOR_ChangeCursor)(kShape, height);
  return s;
}

// A loaded mode's geometry as the cursor sees it: the 16-line early start
// shifts every Y, and the visible width bounds X.
struct GeometryCase {
  const char* name;
  uint32_t timingRow;
  uint8_t sequencer01, sequencer06;  // preset after the timings
  uint32_t offsetY;
  int32_t width;
  uint8_t crtc15 = 0;  // vertical blank start, low byte, preset when not 0
};

class CursorGeometry : public testing::TestWithParam<GeometryCase> {};

TEST_P(CursorGeometry, PositionFollowsEarlyStartAndWidth) {
  const GeometryCase& c = GetParam();
  auto s = CursorBoard(c.timingRow, 32);
  board::Board& b = s->board();
  b.presetSequencer(0x01, c.sequencer01);
  b.presetSequencer(0x06, c.sequencer06);
  if (c.crtc15 != 0) b.presetCrtc(0x15, c.crtc15);
  auto* position = DRIVER_FN(*s, HWCURSOR_EnhancedChangeCursorPos);
  DRIVER_FN(*s, HWCURSOR_NotifyGraphicsModeChange)();
  position(10, 20);
  EXPECT_EQ(b.geRegister(kPositionRegister), At(10, 20 + c.offsetY));
  // The bottom edge is the hardware's business: Y far below is written as is.
  position(10, 5000);
  EXPECT_EQ(b.geRegister(kPositionRegister), At(10, 5000 + c.offsetY));
  position(c.width - 1, 0);
  EXPECT_EQ(b.geRegister(kPositionRegister), At(c.width - 1, c.offsetY));
  position(c.width, 0);
  EXPECT_EQ(b.geRegister(kPositionRegister), kHidden);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CursorGeometry,
    testing::Values(
        // TV timings blank before the display ends: the picture starts 16 lines late.
        GeometryCase{"TvNtsc", 12, 0x01, 0x57, 16, 640},
        GeometryCase{"ExternalTvNtsc", 7, 0x01, 0x57, 16, 640},
        GeometryCase{"Monitor640x480", 1, 0x01, 0x57, 0, 640},
        GeometryCase{"Monitor800x600", 2, 0x01, 0x57, 0, 800},
        // Bit 10 of the blank start lives in CRTC 0x25.
        GeometryCase{"Monitor1280x1024", 4, 0x01, 0x57, 0, 1280},
        GeometryCase{"Monitor1600x1200", 5, 0x01, 0x57, 0, 1600},
        // With the extensions locked, CRTC 0x25 does not count: blank 2 < end 1024.
        GeometryCase{"Monitor1280x1024Locked", 4, 0x01, 0x00, 16, 1280},
        GeometryCase{"NineDot", 1, 0x00, 0x57, 0, 720},
        // Blank start 0x4A0 under display end 0x4AF, both with bit 10 from CRTC 0x25.
        GeometryCase{"Monitor1600x1200BlanksEarly", 5, 0x01, 0x57, 16, 1600, 0xA0}),
    [](const testing::TestParamInfo<GeometryCase>& info) { return info.param.name; });

// One call and what the board holds after it: the position register, the
// pattern shown (S the shape, 1 and 2 the shifted buffers) and its height.
struct Step {
  char op;  // P position, H hide, D disable, E enable, I init, C change to height x, Z register 0
  int32_t x = 0, y = 0;
  uint32_t position = kAny;
  char pattern = 0;
  int height = -1;
};
Step Pos(int32_t x, int32_t y, uint32_t position = kAny, char pattern = 0, int height = -1) {
  return {'P', x, y, position, pattern, height};
}
Step Call(char op, uint32_t position = kAny, char pattern = 0, int height = -1) {
  return {op, 0, 0, position, pattern, height};
}

struct Script {
  const char* name;
  std::vector<Step> steps;
};

class CursorCalls : public testing::TestWithParam<Script> {};

// Besides each step's registers: a call never rewrites the pattern on display
// (until a new initialisation forgets which buffer that is).
TEST_P(CursorCalls, RegistersAfterEachCall) {
  constexpr uint32_t kHeight = 40;
  auto s = CursorBoard(1, kHeight);
  board::Board& b = s->board();
  const std::map<char, uint32_t> patterns = {{'S', kShape}, {'1', kShifted1}, {'2', kShifted2}};
  EXPECT_EQ(PatternAddress(b), kShape);
  EXPECT_EQ(b.crtc(0x29), kHeight);
  bool initialised = false;
  for (size_t n = 0; n < GetParam().steps.size(); ++n) {
    const Step& step = GetParam().steps[n];
    SCOPED_TRACE(testing::Message()
                 << "step " << n << " " << step.op << " " << step.x << "," << step.y);
    const uint8_t* shown = b.vram() + PatternAddress(b);
    const std::vector<uint8_t> before(shown, shown + 1024);
    switch (step.op) {
      case 'P':
        DRIVER_FN(*s, HWCURSOR_EnhancedChangeCursorPos)(step.x, step.y);
        break;
      case 'H':
        DRIVER_FN(*s, HWCURSOR_HideCursor)();
        break;
      case 'D':
        DRIVER_FN(*s, HWCURSOR_Disable)();
        break;
      case 'E':
        DRIVER_FN(*s, HWCURSOR_Enable)();
        break;
      case 'I':
        DRIVER_FN(*s, HWCURSOR_Init)(kShifted1, kShifted2), initialised = true;
        break;
      case 'C':
        DRIVER_FN(*s, HWCURSOR_ChangeCursor)(kShape, step.x);
        break;
      case 'Z':
        b.presetGeRegister(kPositionRegister, 0);
        break;
    }
    if (!initialised) {
      EXPECT_EQ(std::vector<uint8_t>(shown, shown + 1024), before);
    }
    if (step.position != kAny) {
      EXPECT_EQ(b.geRegister(kPositionRegister), step.position);
    }
    if (step.pattern != 0) {
      EXPECT_EQ(PatternAddress(b), patterns.at(step.pattern));
    }
    if (step.height >= 0) {
      EXPECT_EQ(b.crtc(0x29), step.height);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, CursorCalls,
    testing::Values(
        // Shifted copies alternate between the buffers, starting with the second.
        Script{"Alternation",
               {Pos(-5, 3, At(0, 3), '2', 40), Pos(-6, 3, At(0, 3), '1', 40),
                Pos(-7, 3, At(0, 3), '2', 40)}},
        // The top edge cuts rows from the height register.
        Script{"TopEdge", {Pos(7, -39, At(7, 0), 0, 1), Pos(7, -12, kAny, 0, 28)}},
        Script{"UnshiftedPutsTheShapeBack",
               {Pos(-20, -10, kAny, '2'), Pos(0, 6, At(0, 6), 'S', 40)}},
        // Wholly off screen: hidden, the pattern shown before kept.
        Script{"WhollyOffScreen",
               {Pos(-3, 0, At(0, 0), '2'), Pos(-64, 0, kHidden, '2', 40), Pos(-3, 0, At(0, 0), '1'),
                Pos(-64, -1, kHidden, '1', 40), Pos(-3, 0, At(0, 0), '2'),
                Pos(0, -40, kHidden, '2', 40), Pos(-3, 0, At(0, 0), '1'),
                Pos(-1, -100, kHidden, '1', 40), Pos(-3, 0, At(0, 0), '2'),
                Pos(640, 0, kHidden, '2', 40)}},
        Script{"ZeroHeightHidesAnyNegativePosition", {Step{'C', 0}, Pos(-1, 0, kHidden, 'S')}},
        // Disabled: positions are recorded, nothing shown or copied; enable shows the last.
        Script{"DisableAndEnable",
               {Pos(1, 1), Call('D', kHidden), Pos(50, 60, kHidden), Pos(-8, 60, kHidden, 'S'),
                Pos(50, 60, kHidden), Call('E', At(50, 60))}},
        Script{"HideAloneDoesNotDisable",
               {Pos(30, 40), Call('H', kHidden), Pos(31, 40, At(31, 40))}},
        // Init clears the disabled state and restarts with the second buffer.
        Script{"InitRestarts", {Pos(-2, 0, kAny, '2'), Call('D'), Call('I'), Pos(-2, 0, 0, '2')}},
        // Enabled before any position: kept hidden.
        Script{"EnableBeforeAnyPosition", {Call('Z', 0), Call('E', kHidden)}}),
    [](const testing::TestParamInfo<Script>& info) { return info.param.name; });

}  // namespace
}  // namespace orva::test
