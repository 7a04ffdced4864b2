// Hardware cursor: position register, pattern registers, buffer alternation,
// enable and disable, and the screen geometry read back from the CRTC. Every
// expectation is on what the board holds after the driver's calls.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "board.h"
#include "orva/session.h"

namespace {

using orva::board::Board;
using orva::board::Variant;
using orva::platform::Session;
using orva::platform::SessionOptions;

constexpr uint32_t kHidden = 0xFFFFFFFF;
constexpr uint32_t kPositionRegister = 0x11C;

// Frame-buffer offsets used for the cursor's buffers in these tests.
constexpr uint32_t kShape = 0x100000;
constexpr uint32_t kShifted1 = 0x100800;
constexpr uint32_t kShifted2 = 0x100C00;

struct Cursor {
  void (*init)(uint32_t, uint32_t);
  void (*enable)();
  void (*disable)();
  void (*hide)();
  void (*position)(int32_t, int32_t);
  void (*change)(uint32_t, uint32_t);
};

template <typename F>
F* need(const Session& session, const char* name) {
  F* f = session.driverSymbol<F>(name);
  if (f == nullptr) throw std::runtime_error(std::string("driver symbol missing: ") + name);
  return f;
}

Cursor cursorOf(const Session& session) {
  return Cursor{need<void(uint32_t, uint32_t)>(session, "HWCURSOR_Init"),
                need<void()>(session, "HWCURSOR_Enable"),
                need<void()>(session, "HWCURSOR_Disable"),
                need<void()>(session, "HWCURSOR_HideCursor"),
                need<void(int32_t, int32_t)>(session, "HWCURSOR_EnhancedChangeCursorPos"),
                need<void(uint32_t, uint32_t)>(session, "HWCURSOR_ChangeCursor")};
}

std::unique_ptr<Session> boot(Variant variant = Variant::Bramble) {
  SessionOptions options;
  options.board.variant = variant;
  auto session = std::make_unique<Session>(options);
  if (!session->started()) throw std::runtime_error("adapter not started");
  return session;
}

// The registers of a CRTC timing list that set the visible width and the
// vertical display end and blank start, as the mode table loads them.
using TimingList = std::vector<std::pair<uint8_t, uint8_t>>;

const TimingList kMonitor640x480 = {{0x01, 0x4F}, {0x07, 0x3E}, {0x09, 0x40},
                                    {0x12, 0xDF}, {0x15, 0xE7}, {0x25, 0x00}};
const TimingList kMonitor800x600 = {{0x01, 0x63}, {0x07, 0xF0}, {0x09, 0x60},
                                    {0x12, 0x57}, {0x15, 0x57}, {0x25, 0x00}};
const TimingList kMonitor1280x1024 = {{0x01, 0x9F}, {0x07, 0x52}, {0x09, 0x40},
                                      {0x12, 0xFF}, {0x15, 0x01}, {0x25, 0x0D}};
const TimingList kMonitor1600x1200 = {{0x01, 0xC7}, {0x07, 0x11}, {0x09, 0x40},
                                      {0x12, 0xAF}, {0x15, 0xB0}, {0x25, 0x1F}};
// The three NTSC TV lists share these values.
const TimingList kTvNtsc = {{0x01, 0x4F}, {0x07, 0x3E}, {0x09, 0x00},
                            {0x12, 0xDF}, {0x15, 0xAD}, {0x25, 0x00}};
const TimingList kExternalTvNtsc = {{0x01, 0x4F}, {0x07, 0x3E}, {0x09, 0x40},
                                    {0x12, 0xDF}, {0x15, 0xAD}, {0x25, 0x00}};

void loadTimings(Board& board, const TimingList& list, uint8_t sequencer01, uint8_t sequencer06) {
  for (const auto& [index, value] : list) board.presetCrtc(index, value);
  board.presetSequencer(0x01, sequencer01);
  board.presetSequencer(0x06, sequencer06);
}

uint32_t patternAddress(const Board& board) {
  return (uint32_t{board.crtc(0x30)} << 8) | (uint32_t{board.crtc(0x31)} << 16) |
         (uint32_t{board.crtc(0x32)} << 24);
}

// A loaded mode's geometry as the cursor sees it: the 16-line early start
// shifts every Y, and the visible width bounds X.
struct GeometryCase {
  const char* name;
  const TimingList* list;
  uint8_t sequencer01;
  uint8_t sequencer06;
  uint32_t offsetY;
  int32_t width;
};

class CursorGeometry : public testing::TestWithParam<GeometryCase> {};

TEST_P(CursorGeometry, PositionFollowsEarlyStartAndWidth) {
  const GeometryCase& c = GetParam();
  auto session = boot();
  Board& board = session->board();
  const Cursor cursor = cursorOf(*session);
  loadTimings(board, *c.list, c.sequencer01, c.sequencer06);

  cursor.init(kShifted1, kShifted2);
  cursor.change(kShape, 32);

  cursor.position(10, 20);
  EXPECT_EQ(board.geRegister(kPositionRegister), ((20 + c.offsetY) << 16) | 10);

  // The bottom edge is the hardware's business: Y far below is written as is.
  cursor.position(10, 5000);
  EXPECT_EQ(board.geRegister(kPositionRegister), ((5000 + c.offsetY) << 16) | 10);

  cursor.position(c.width - 1, 0);
  EXPECT_EQ(board.geRegister(kPositionRegister), (c.offsetY << 16) | uint32_t(c.width - 1));
  cursor.position(c.width, 0);
  EXPECT_EQ(board.geRegister(kPositionRegister), kHidden);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CursorGeometry,
    testing::Values(
        // TV timings blank before the display ends: the picture starts 16 lines late.
        GeometryCase{"TvNtsc", &kTvNtsc, 0x01, 0x57, 16, 640},
        GeometryCase{"ExternalTvNtsc", &kExternalTvNtsc, 0x01, 0x57, 16, 640},
        GeometryCase{"Monitor640x480", &kMonitor640x480, 0x01, 0x57, 0, 640},
        GeometryCase{"Monitor800x600", &kMonitor800x600, 0x01, 0x57, 0, 800},
        // Bit 10 of the blank start lives in CRTC 0x25.
        GeometryCase{"Monitor1280x1024", &kMonitor1280x1024, 0x01, 0x57, 0, 1280},
        GeometryCase{"Monitor1600x1200", &kMonitor1600x1200, 0x01, 0x57, 0, 1600},
        // With the extensions locked, CRTC 0x25 does not count: blank 2 < end 1024.
        GeometryCase{"Monitor1280x1024Locked", &kMonitor1280x1024, 0x01, 0x00, 16, 1280},
        // Nine-dot characters.
        GeometryCase{"NineDot", &kMonitor640x480, 0x00, 0x57, 0, 720}),
    [](const testing::TestParamInfo<GeometryCase>& info) { return info.param.name; });

class CursorRegisters : public testing::Test {
 protected:
  void SetUp() override {
    session_ = boot();
    cursor_ = cursorOf(*session_);
    loadTimings(board(), kMonitor640x480, 0x01, 0x57);
    cursor_.init(kShifted1, kShifted2);
    cursor_.change(kShape, kHeight);
  }
  Board& board() { return session_->board(); }

  static constexpr uint32_t kHeight = 40;
  std::unique_ptr<Session> session_;
  Cursor cursor_{};
};

TEST_F(CursorRegisters, ShapeRegistersCarryHeightAndAddress) {
  EXPECT_EQ(board().crtc(0x29), kHeight);
  EXPECT_EQ(patternAddress(board()), kShape);
}

TEST_F(CursorRegisters, ShiftedCopiesAlternateBetweenBuffersStartingWithTheSecond) {
  const std::array<int32_t, 3> xs = {-5, -6, -7};
  const std::array<uint32_t, 3> expected = {kShifted2, kShifted1, kShifted2};
  for (size_t n = 0; n < xs.size(); n++) {
    SCOPED_TRACE(n);
    // The buffer on display must not be rewritten by the next copy.
    const uint32_t shown = patternAddress(board());
    std::vector<uint8_t> before(board().vram() + shown, board().vram() + shown + 1024);
    cursor_.position(xs[n], 3);
    EXPECT_EQ(patternAddress(board()), expected[n]);
    EXPECT_EQ(board().crtc(0x29), kHeight);
    EXPECT_EQ(board().geRegister(kPositionRegister), (3u << 16) | 0);
    if (n > 0) {
      EXPECT_EQ(0, std::memcmp(before.data(), board().vram() + shown, before.size()));
    }
  }
}

TEST_F(CursorRegisters, TopEdgeCutsRowsFromTheHeightRegister) {
  cursor_.position(7, -int32_t(kHeight - 1));
  EXPECT_EQ(board().crtc(0x29), 1);
  EXPECT_EQ(board().geRegister(kPositionRegister), 7u);
  cursor_.position(7, -12);
  EXPECT_EQ(board().crtc(0x29), kHeight - 12);
}

TEST_F(CursorRegisters, UnshiftedPositionPutsTheShapeBack) {
  cursor_.position(-20, -10);
  ASSERT_NE(patternAddress(board()), kShape);
  cursor_.position(5, 6);
  EXPECT_EQ(patternAddress(board()), kShape);
  EXPECT_EQ(board().crtc(0x29), kHeight);
  EXPECT_EQ(board().geRegister(kPositionRegister), (6u << 16) | 5);
}

TEST_F(CursorRegisters, WhollyOffScreenHidesAndKeepsTheShiftedPattern) {
  cursor_.position(-3, 0);
  const uint32_t shifted = patternAddress(board());
  struct {
    int32_t x, y;
  } const offscreen[] = {{-64, 0}, {-64, -1}, {0, -int32_t(kHeight)}, {-1, -100}, {640, 0}};
  for (const auto& p : offscreen) {
    SCOPED_TRACE(testing::Message() << p.x << "," << p.y);
    cursor_.position(-3, 0);
    ASSERT_NE(board().geRegister(kPositionRegister), kHidden);
    const uint32_t shown = patternAddress(board());
    cursor_.position(p.x, p.y);
    EXPECT_EQ(board().geRegister(kPositionRegister), kHidden);
    EXPECT_EQ(patternAddress(board()), shown);
    EXPECT_EQ(board().crtc(0x29), kHeight);
  }
  EXPECT_TRUE(shifted == kShifted1 || shifted == kShifted2);
}

TEST_F(CursorRegisters, ZeroHeightHidesAnyNegativePosition) {
  cursor_.change(kShape, 0);
  cursor_.position(-1, 0);
  EXPECT_EQ(board().geRegister(kPositionRegister), kHidden);
  EXPECT_EQ(patternAddress(board()), kShape);
}

TEST_F(CursorRegisters, DisabledCursorRecordsPositionsAndEnableShowsTheLast) {
  cursor_.position(1, 1);
  cursor_.disable();
  EXPECT_EQ(board().geRegister(kPositionRegister), kHidden);
  cursor_.position(50, 60);
  EXPECT_EQ(board().geRegister(kPositionRegister), kHidden);
  cursor_.position(-8, 60);  // also no shifted copy while disabled
  EXPECT_EQ(patternAddress(board()), kShape);
  cursor_.position(50, 60);
  cursor_.enable();
  EXPECT_EQ(board().geRegister(kPositionRegister), (60u << 16) | 50);
}

TEST_F(CursorRegisters, HideAloneDoesNotDisable) {
  cursor_.position(30, 40);
  cursor_.hide();
  EXPECT_EQ(board().geRegister(kPositionRegister), kHidden);
  cursor_.position(31, 40);
  EXPECT_EQ(board().geRegister(kPositionRegister), (40u << 16) | 31);
}

TEST_F(CursorRegisters, InitClearsTheDisabledStateAndRestartsWithTheSecondBuffer) {
  cursor_.position(-2, 0);  // buffer 2
  cursor_.disable();
  cursor_.init(kShifted1, kShifted2);
  cursor_.position(-2, 0);
  EXPECT_EQ(patternAddress(board()), kShifted2);
  EXPECT_EQ(board().geRegister(kPositionRegister), 0u);
}

TEST(CursorLoad, EnableBeforeAnyPositionKeepsTheCursorHidden) {
  auto session = boot();
  Board& board = session->board();
  const Cursor cursor = cursorOf(*session);
  loadTimings(board, kMonitor640x480, 0x01, 0x57);
  cursor.init(kShifted1, kShifted2);
  board.presetGeRegister(kPositionRegister, 0);
  cursor.enable();
  EXPECT_EQ(board.geRegister(kPositionRegister), kHidden);
}

TEST(CursorColours, BytesReachTheColourRegistersLowestFirst) {
  auto session = boot();
  Board& board = session->board();
  auto colour = need<void(uint32_t, uint32_t)>(*session, "HWCURSOR_ChangeColor");
  colour(0x00A1B2C3, 0xFFD4E5F6);
  const std::array<uint8_t, 6> expected = {0xC3, 0xB2, 0xA1, 0xF6, 0xE5, 0xD4};
  for (unsigned n = 0; n < expected.size(); n++) {
    EXPECT_EQ(board.crtc(static_cast<uint8_t>(0x2A + n)), expected[n])
        << "CRTC 0x" << std::hex << 0x2A + n;
  }
}

}  // namespace
