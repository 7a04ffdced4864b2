// Engine pitches, the mode table as each variant enumerates and searches it,
// and the mode list the display driver gets per output and memory size.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>

#include "hwcrtc/hwcrtc.h"
#include "hwge/hwge.h"
#include "orva_test.h"
#include "reference_tables.h"

namespace orva::test {
namespace {

// A request gets the smallest pitch with an engine code at least as large, or the
// largest of all; the terms of the code's fields are exported as they stand.
TEST(Pitch, NearestIsTheNextPitchThatHasACode) {
  auto session = Boot({.start = false});
  auto* nearest = DRIVER_FN(*session, HWGE_GetNearestPitch);
  for (ULONG request : {0xFFFFFFFFu, 7681u}) EXPECT_EQ(nearest(request), 7680u);
  for (ULONG request = 0; request <= 7680; ++request) {
    ASSERT_EQ(nearest(request),
              *std::lower_bound(reference::kPitches.begin(), reference::kPitches.end(), request))
        << request;
  }
  auto expectTerms = [&](const char* name, const auto& want) {
    const ULONG* table = Sym<const ULONG>(*session, name);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), table)) << name;
  };
  expectTerms("HWGE_Shift0", reference::kPitchShift0);
  expectTerms("HWGE_Shift1", reference::kPitchShift1);
  expectTerms("HWGE_Shift2", reference::kPitchShift2);
  expectTerms("HWGE_Shift3", reference::kPitchShift3);
}

// --- Mode table ---------------------------------------------------------------------

TEST(ModeSearch, FindsTheFirstRowOfTheChipIgnoringTheSvhsBit) {
  struct Case {
    Variant variant;
    ULONG width, height, output;
    LONG row;
  };
  const Case cases[] = {
      {Variant::Pinto, 640, 430, 0x20002, 7},       {Variant::Bramble, 640, 430, 0x20002, 12},
      {Variant::BrambleRX, 640, 430, 0x20002, 11},  {Variant::Mistral, 640, 430, 0x20002, -2},
      {Variant::Bramble, 640, 430, 0x01020002, 12}, {Variant::BrambleRX, 640, 430, 0xFF120002, 11},
      {Variant::Bramble, 720, 480, 0x20002, 16},    {Variant::BrambleRX, 720, 480, 0x20002, 15},
      {Variant::BrambleRX, 720, 480, 0x30002, 14},  {Variant::Bramble, 800, 600, 0x10002, -3},
      {Variant::Mistral, 800, 600, 0x10003, 22},    {Variant::Pinto, 800, 600, 0x10003, -2},
      {Variant::Unknown, 640, 480, 0x10001, -2},    {Variant::Bramble, 0x10280, 480, 0x10001, 1}};
  for (const Case& c : cases) {
    auto session = Boot(c.variant);
    EXPECT_EQ(DRIVER_FN(*session, HWCRTC_ScanGraphicsMode)(c.width, c.height, c.output), c.row)
        << board::variantName(c.variant) << ' ' << c.width << 'x' << c.height << ' ' << c.output;
  }
}

// --- The mode list --------------------------------------------------------------------

struct Offer {
  Variant variant;
  const char* output;
  uint32_t memory;
  uint32_t modes;
};

class ModeList : public ::testing::TestWithParam<Offer> {};

TEST_P(ModeList, CountAndListAgreeAndFitTheMemory) {
  const Offer& p = GetParam();
  auto session = Boot(p.variant, p.output, p.memory);
  const auto count = platform::queryNumModes(*session);
  EXPECT_EQ(count.raw.information, 8u);
  EXPECT_EQ(count.value.NumModes, p.modes);
  EXPECT_EQ(count.value.ModeInformationLength, 80u);
  const auto list = platform::queryModes(*session);
  EXPECT_EQ(list.raw.information, p.modes * 80ull);
  ASSERT_EQ(list.value.size(), p.modes);
  std::set<ULONG> numbers;
  for (const auto& m : list.value) {
    EXPECT_TRUE(numbers.insert(m.ModeIndex).second) << m.ModeIndex;
    EXPECT_LE(uint64_t{m.ScreenStride} * m.VisScreenHeight + 8192, p.memory);
    EXPECT_EQ(m.BitsPerPlane, 8 * (((m.ModeIndex >> 3) & 3) + 1)) << m.ModeIndex;
    // Every listed mode is accepted, its number naming the same row as in the list.
    EXPECT_EQ(platform::setMode(*session, m.ModeIndex).status, 0u) << m.ModeIndex;
    const auto c = platform::queryCurrentMode(*session).value;
    EXPECT_EQ(
        (std::array<ULONG, 4>{c.VisScreenWidth, c.VisScreenHeight, c.ScreenStride, c.BitsPerPlane}),
        (std::array<ULONG, 4>{m.VisScreenWidth, m.VisScreenHeight, m.ScreenStride,
                              m.BitsPerPlane}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    OutputsAndMemory, ModeList,
    ::testing::Values(
        // Monitor rows offer eight rates per depth that fits.
        Offer{Variant::Bramble, nullptr, 4u << 20, 17 * 8},
        Offer{Variant::Bramble, nullptr, 8064u << 10, 18 * 8},
        Offer{Variant::Pinto, nullptr, 2u << 20, 13 * 8},
        Offer{Variant::Kestrel, nullptr, 1u << 20, 9 * 8}, Offer{Variant::Bramble, nullptr, 0, 0},
        Offer{Variant::Bramble, "NTSCM", 4u << 20, 17 * 8},  // a TV standard of the same value
        // Fixed-timing rows offer each depth once.
        Offer{Variant::Bramble, "tvpal", 4u << 20, 9}, Offer{Variant::Pinto, "TVPAL", 4u << 20, 3},
        Offer{Variant::Bramble, "TVNTSC", 4u << 20, 12},
        Offer{Variant::BrambleRX, "TVNTSC", 4u << 20, 18},
        Offer{Variant::Mistral, "TVNTSC", 4u << 20, 0},
        Offer{Variant::Bramble, "TVNTSC269", 4u << 20, 15},
        Offer{Variant::Mistral, "TFTPHILIPSHLD1201", 4u << 20, 24},
        Offer{Variant::Kestrel, "TFTLGPHILIPSLM151X2", 2u << 20, 16},
        Offer{Variant::Bramble, "TFTPHILIPSHLD1201", 4u << 20, 0},
        Offer{Variant::Bramble, "VGANTSC", 4u << 20, 9},
        Offer{Variant::Bramble, "100HZPAL", 4u << 20, 3},
        // Keywords whose value no row carries.
        Offer{Variant::Bramble, "TVPALSVHS", 4u << 20, 0},
        Offer{Variant::Bramble, "TVNTSCINTERNAL", 4u << 20, 0},
        Offer{Variant::Bramble, "WREN", 4u << 20, 0},
        Offer{Variant::Unknown, nullptr, 4u << 20, 0}));

TEST(ModeList, NumbersEncodeOrdinalDepthAndRate) {
  auto monitor = Boot(Variant::Bramble);
  const auto modes = platform::queryModes(*monitor).value;
  const ULONG rates[] = {60, 70, 75, 80, 85, 90, 95, 100};
  for (ULONG f = 0; f < 8; ++f) {
    EXPECT_EQ(modes[f].ModeIndex, f);
    EXPECT_EQ(modes[f].Frequency, rates[f]);
  }
  struct Expected {
    size_t at;
    ULONG number, width, height, bpp, stride, red, green, blue, flags;
  };
  for (const Expected& e :
       {Expected{0, 0, 640, 400, 8, 640, 0, 0, 0, 0x0F},
        Expected{34, 42, 640, 480, 16, 1280, 0xF800, 0x07E0, 0x001F, 0x03},
        Expected{16, 16, 640, 400, 24, 1920, 0xFF0000, 0x00FF00, 0x0000FF, 0x03}}) {
    const auto& m = modes[e.at];
    EXPECT_EQ((std::array<ULONG, 10>{m.ModeIndex, m.VisScreenWidth, m.VisScreenHeight,
                                     m.BitsPerPlane, m.ScreenStride, m.RedMask, m.GreenMask,
                                     m.BlueMask, m.AttributeFlags, m.Length}),
              (std::array<ULONG, 10>{e.number, e.width, e.height, e.bpp, e.stride, e.red, e.green,
                                     e.blue, e.flags, 80}));
    EXPECT_EQ(m.NumberOfPlanes + m.XMillimeter + m.YMillimeter + m.NumberRedBits,
              1u + 320 + 240 + 8);
  }
  monitor.reset();
  // Bramble's TV rows follow its six monitor rows: ordinals 6 to 8, Frequency 0.
  auto tv = Boot(Variant::Bramble, "TVPAL");
  std::vector<ULONG> numbers, strides;
  for (const auto& m : platform::queryModes(*tv).value) {
    numbers.push_back(m.ModeIndex);
    strides.push_back(m.ScreenStride);
    EXPECT_EQ(m.Frequency, 0u);
  }
  EXPECT_EQ(numbers, (std::vector<ULONG>{192, 200, 208, 224, 232, 240, 256, 264, 272}));
  EXPECT_EQ(strides, (std::vector<ULONG>{320, 640, 1024, 640, 1280, 1920, 768, 1440, 2176}));
}

// A surface fits when pitch x height + 8192 is at most the memory: exactly equal
// is offered; one line more (a pitch's smallest step) is not.
TEST(ModeValidity, BoundaryIsInclusive) {
  auto session = Boot(Variant::Bramble, nullptr, 1u << 20);
  auto* check = Sym<ULONG(ULONG, ULONG, ULONG, ULONG)>(*session, "CheckModeValidity");
  EXPECT_EQ(check(1024, 1016, 8, 0x10001), 1u);  // 1024 x 1016 + 8192 = 1 MB exactly
  EXPECT_EQ(check(1024, 1017, 8, 0x10001), 0u);
  EXPECT_EQ(check(32, 32512, 8, 0x10001), 1u);
  EXPECT_EQ(check(32, 32513, 8, 0x10001), 0u);   // 32 bytes over
  EXPECT_EQ(check(1024, 1016, 8, 0x10002), 0u);  // fits, but not the selected output
  EXPECT_EQ(check(0xFFFF, 0xFFFF, 32, 0x10001), 0u);
  session.reset();
  // 1280 x 1024 at 24 bits needs 3840 x 1024 + 8192 bytes: out at 3840 KB, in at 3968 KB.
  for (auto [memory, listed] : {std::pair{3840u << 10, false}, {3968u << 10, true}}) {
    auto s = Boot(Variant::Bramble, nullptr, memory);
    EXPECT_EQ(platform::findMode(platform::queryModes(*s).value, 1280, 1024, 24).has_value(),
              listed);
  }
}

}  // namespace
}  // namespace orva::test
