// Dot clocks: the PLL settings the board decodes after the driver programmed a
// frequency, the refresh-derived and fixed clocks of mode rows, and the switch
// between the internal dot clocks and the external pixel clock.
#include <climits>

#include "driver_crtc_fixture.h"
#include "timing.h"

namespace orva::crtc_test {
namespace {

using board::Variant;

struct PllRow {
  Variant variant;
  int32_t target;
  unsigned dotClock;
  unsigned n, m, p;
  uint64_t hz;
  uint8_t first, second;
};

void PrintTo(const PllRow& row, std::ostream* os) {
  *os << board::variantName(row.variant) << " " << row.target << " Hz on dot clock "
      << row.dotClock;
}

class CrtcPllSearch : public testing::TestWithParam<PllRow> {};

TEST_P(CrtcPllSearch, BoardDecodesTheNearestSetting) {
  const PllRow& row = GetParam();
  CrtcBoard b(row.variant);
  b.mark();
  CRTC_FN(b, HWCRTC_SetDotClock)(row.dotClock, row.target);

  const auto clock = b.board().dotClock(row.dotClock);
  EXPECT_EQ(clock.n, row.n);
  EXPECT_EQ(clock.m, row.m);
  EXPECT_EQ(clock.p, row.p);
  EXPECT_EQ(clock.hz, row.hz);
  EXPECT_EQ(clock.first, row.first);
  EXPECT_EQ(clock.second, row.second);
  const uint8_t reg = static_cast<uint8_t>(0x42 + 2 * row.dotClock);
  EXPECT_EQ(b.configRegistersWritten(), (std::vector<uint8_t>{reg, uint8_t(reg + 1)}));
}

INSTANTIATE_TEST_SUITE_P(
    Targets, CrtcPllSearch,
    testing::Values(PllRow{Variant::Pinto, 25104000, 0, 10, 140, 3, 25056815, 0x54, 0xB1},
                    PllRow{Variant::BrambleR, 25104000, 1, 10, 70, 3, 25056815, 0x53, 0x46},
                    PllRow{Variant::Pinto, 27000000, 2, 12, 181, 3, 26995720, 0x65, 0xD5},
                    PllRow{Variant::BrambleR, 27000000, 3, 12, 181, 4, 26995720, 0x64, 0xB5},
                    PllRow{Variant::BrambleR, 9695000, 2, 12, 130, 5, 9694595, 0x65, 0x82},
                    PllRow{Variant::Pinto, 135000000, 2, 14, 132, 0, 134999964, 0x74, 0x10},
                    PllRow{Variant::Bramble, 19389000, 0, 12, 130, 3, 19389191, 0x64, 0x89},
                    PllRow{Variant::Kestrel, 19389000, 1, 9, 195, 5, 19389191, 0x4D, 0xC3},
                    // Exactly between two outputs: the earlier candidate (the higher one) stays.
                    PllRow{Variant::Pinto, 20078115, 2, 9, 101, 3, 20085213, 0x4B, 0x95},
                    PllRow{Variant::BrambleRX, 20078115, 2, 9, 101, 4, 20085213, 0x4C, 0x65},
                    // Last targets still within reach of the highest output of each design.
                    PllRow{Variant::Mistral, 355937395, 3, 8, 143, 0, 255937396, 0x44, 0x3C},
                    PllRow{Variant::BrambleR, 721409011, 3, 10, 217, 0, 621409012, 0x50, 0xD9},
                    // Below every output, down to negative targets.
                    PllRow{Variant::Pinto, 1, 2, 9, 81, 4, 8053971, 0x4A, 0x46},
                    PllRow{Variant::BrambleL, -50000000, 2, 9, 81, 4, 8053971, 0x4A, 0x46}));

struct NoCandidateRow {
  Variant variant;
  int32_t target;
};

void PrintTo(const NoCandidateRow& row, std::ostream* os) {
  *os << board::variantName(row.variant) << " " << row.target << " Hz";
}

class CrtcPllWithoutCandidate : public testing::TestWithParam<NoCandidateRow> {};

TEST_P(CrtcPllWithoutCandidate, LeavesThePllRegistersAlone) {
  CrtcBoard b(GetParam().variant);
  b.board().presetConfig(0x46, 0x5A);
  b.board().presetConfig(0x47, 0xA5);
  b.mark();
  CRTC_FN(b, HWCRTC_SetDotClock)(2, GetParam().target);
  EXPECT_TRUE(b.configRegistersWritten().empty());
  EXPECT_EQ(b.board().config(0x46), 0x5A);
  EXPECT_EQ(b.board().config(0x47), 0xA5);

  uint8_t first = 0x11, second = 0x22;
  EXPECT_EQ(CRTC_FN(b, HWCRTC_GetRegistersFromDotClock)(GetParam().target, &first, &second), 0u);
  EXPECT_EQ(first, 0x11);
  EXPECT_EQ(second, 0x22);
}

INSTANTIATE_TEST_SUITE_P(OutOfRange, CrtcPllWithoutCandidate,
                         testing::Values(NoCandidateRow{Variant::Mistral, 355937396},
                                         NoCandidateRow{Variant::BrambleR, 721409012},
                                         NoCandidateRow{Variant::Pinto, -91946029},
                                         NoCandidateRow{Variant::Kestrel, 2000000000},
                                         NoCandidateRow{Variant::Bramble, INT32_MIN},
                                         NoCandidateRow{Variant::BrambleRX, INT32_MAX}));

// A chip of neither PLL family searches the wide VCO range but packs the bytes in
// the layout that keeps M's high bits in the first byte.
TEST(CrtcPllSearchUnknownChip, WideRangeWithTheOldLayout) {
  CrtcBoard b(Variant::Unknown);
  const auto search = CRTC_FN(b, HWCRTC_GetRegistersFromDotClock);
  for (const auto& [target, first, second] :
       {std::tuple<int32_t, uint8_t, uint8_t>{25104000, 0x52, 0x99}, {9695000, 0x64, 0x8A}}) {
    uint8_t a = 0, c = 0;
    EXPECT_NE(search(target, &a, &c), 0u) << target;
    EXPECT_EQ(a, first) << target;
    EXPECT_EQ(c, second) << target;
  }
}

struct ModeClockRow {
  Variant variant;
  uint32_t width, height, output, refresh;
  unsigned n, m, p;
  uint64_t hz;
};

void PrintTo(const ModeClockRow& row, std::ostream* os) {
  *os << board::variantName(row.variant) << " " << row.width << "x" << row.height << " output 0x"
      << std::hex << row.output << std::dec << " at " << row.refresh << " Hz";
}

class CrtcModeClock : public testing::TestWithParam<ModeClockRow> {};

TEST_P(CrtcModeClock, ModeSetProgramsDotClockTwo) {
  const ModeClockRow& row = GetParam();
  CrtcBoard b(row.variant);
  const HWCRTC_MODE mode{0, row.width, row.height, row.width, 8};
  b.mark();
  ASSERT_EQ(CRTC_FN(b, HWCRTC_InitGraphicMode)(&mode, row.output, row.refresh), 0);

  const auto pixel = b.board().pixelClock();
  EXPECT_FALSE(pixel.external);
  EXPECT_FALSE(pixel.inconsistent);
  EXPECT_EQ(pixel.dotClock, 2u);
  EXPECT_EQ(pixel.hz, row.hz);
  const auto clock = b.board().dotClock(2);
  EXPECT_EQ(clock.n, row.n);
  EXPECT_EQ(clock.m, row.m);
  EXPECT_EQ(clock.p, row.p);
  for (uint8_t reg : b.configRegistersWritten()) {
    const bool otherPll = reg >= 0x42 && reg <= 0x49 && reg != 0x46 && reg != 0x47;
    EXPECT_FALSE(otherPll) << "PLL register 0x" << std::hex << int(reg);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CrtcModeClock,
    testing::Values(
        // 800 x 523 x 60 = 25,104,000 Hz.
        ModeClockRow{Variant::Pinto, 640, 480, 0x00010001, 60, 10, 140, 3, 25056815},
        ModeClockRow{Variant::BrambleR, 640, 480, 0x00010001, 60, 10, 70, 3, 25056815},
        // 2080 x 1298 x 100 = 269,984,000 Hz: beyond the Rondo range, nearest reachable.
        ModeClockRow{Variant::Bramble, 1600, 1200, 0x00010001, 100, 8, 143, 0, 255937396},
        ModeClockRow{Variant::Kestrel, 1600, 1200, 0x00010001, 100, 14, 132, 0, 269999928},
        // Fixed clocks ignore the refresh rate.
        ModeClockRow{Variant::Pinto, 720, 576, 0x00020001, 0, 12, 181, 3, 26995720},
        ModeClockRow{Variant::Pinto, 720, 576, 0x00020001, 100, 12, 181, 3, 26995720},
        ModeClockRow{Variant::BrambleR, 720, 576, 0x00020001, 60, 12, 181, 4, 26995720},
        ModeClockRow{Variant::BrambleR, 480, 234, 0x00030001, 75, 12, 130, 5, 9694595}));

struct RefreshRow {
  uint8_t sequencer01, crtc25;
  uint32_t refresh;
  unsigned n, m, p;
};

class CrtcRefreshFromTimings : public testing::TestWithParam<RefreshRow> {};

// H x V x R from the loaded 640 x 480 timings (horizontal total 0x5F, vertical
// total field 523) with the character width and the vertical bit 10 varied.
TEST_P(CrtcRefreshFromTimings, ReadsTotalsInOrder) {
  const RefreshRow& row = GetParam();
  CrtcBoard b(Variant::Pinto);
  const HWCRTC_MODE mode{0, 640, 480, 640, 8};
  ASSERT_EQ(CRTC_FN(b, HWCRTC_InitGraphicMode)(&mode, 0x00010001, 60), 0);
  b.board().presetSequencer(0x01, row.sequencer01);
  b.board().presetCrtc(0x25, row.crtc25);
  b.mark();
  CRTC_FN(b, HWCRTC_SetRefreshRate)(row.refresh);

  const auto clock = b.board().dotClock(2);
  EXPECT_EQ(clock.n, row.n);
  EXPECT_EQ(clock.m, row.m);
  EXPECT_EQ(clock.p, row.p);
  const auto all = b.ports();
  const std::vector<PortAccess> reads(all.begin(), all.begin() + std::min<size_t>(11, all.size()));
  ExpectSameAccesses(
      reads, {In(0x3CC), Out(0x3D4, 0x06), In(0x3D5), Out(0x3D4, 0x07), In(0x3D5), Out(0x3D4, 0x25),
              In(0x3D5), Out(0x3C4, 0x01), In(0x3C5), Out(0x3D4, 0x00), In(0x3D5)});
}

INSTANTIATE_TEST_SUITE_P(Totals, CrtcRefreshFromTimings,
                         testing::Values(RefreshRow{0x01, 0x00, 60, 10, 140, 3},  // 25,104,000
                                         RefreshRow{0x00, 0x00, 60, 9, 142,
                                                    3},                         // 9-dot: 28,242,000
                                         RefreshRow{0x01, 0x01, 60, 8, 83, 1},  // +1024: 74,256,000
                                         RefreshRow{0x21, 0x00, 85, 14, 139, 2}));  // 35,564,000

struct ExternalRow {
  Variant variant;
  uint32_t width, height, output, refresh;
};

class CrtcExternalClockRow : public testing::TestWithParam<ExternalRow> {};

TEST_P(CrtcExternalClockRow, NeverTouchesThePlls) {
  const ExternalRow& row = GetParam();
  CrtcBoard b(row.variant);
  std::vector<uint8_t> before;
  for (uint8_t reg = 0x42; reg <= 0x49; ++reg) before.push_back(b.board().config(reg));
  const HWCRTC_MODE mode{0, row.width, row.height, row.width * 2, 16};
  b.mark();
  ASSERT_EQ(CRTC_FN(b, HWCRTC_InitGraphicMode)(&mode, row.output, row.refresh), 0);

  for (uint8_t reg : b.configRegistersWritten()) {
    EXPECT_FALSE(reg >= 0x42 && reg <= 0x49) << "PLL register 0x" << std::hex << int(reg);
  }
  for (uint8_t reg = 0x42; reg <= 0x49; ++reg) EXPECT_EQ(b.board().config(reg), before[reg - 0x42]);
  EXPECT_TRUE(b.board().pixelClock().external);
  EXPECT_FALSE(b.board().pixelClock().inconsistent);
}

INSTANTIATE_TEST_SUITE_P(TvRows, CrtcExternalClockRow,
                         testing::Values(ExternalRow{Variant::Pinto, 640, 480, 0x00010002, 60},
                                         ExternalRow{Variant::Bramble, 640, 480, 0x00010002, 0},
                                         ExternalRow{Variant::BrambleRX, 720, 480, 0x00020002,
                                                     75}));

struct SwitchRow {
  Variant variant;
  uint8_t superIoE1;
};

void PrintTo(const SwitchRow& row, std::ostream* os) {
  *os << board::variantName(row.variant) << " strap 0x" << std::hex << int(row.superIoE1);
}

class CrtcClockSwitch : public testing::TestWithParam<SwitchRow> {};

TEST_P(CrtcClockSwitch, ExternalAndBackAsTheBoardSeesIt) {
  const SwitchRow& row = GetParam();
  CrtcBoard b(row.variant, row.superIoE1);
  const bool strap = (row.superIoE1 & 0x02) != 0;
  const bool pinto = row.variant == Variant::Pinto;
  // Internal clock with every other bit of the registers set, to see them kept.
  if (pinto) {
    b.board().presetConfig(0x7B, 0xBF);
  } else {
    b.board().presetConfig(0x4C, 0xFF);
    b.board().presetClockSelect(0x01, strap ? 0xFD : 0xFF);
  }
  ASSERT_FALSE(b.board().pixelClock().external);

  b.mark();
  CRTC_FN(b, HWCRTC_SetExternalDCLK)(2, 60);
  EXPECT_TRUE(b.board().pixelClock().external);
  EXPECT_FALSE(b.board().pixelClock().inconsistent);
  const auto toExternal = b.ports();

  b.mark();
  CRTC_FN(b, HWCRTC_SetInternalDCLK)();
  EXPECT_FALSE(b.board().pixelClock().external);
  EXPECT_FALSE(b.board().pixelClock().inconsistent);
  EXPECT_FALSE(b.board().superIoConfigMode());
  const auto toInternal = b.ports();

  if (pinto) {
    ExpectSameAccesses(toExternal, {Out(0x22, 0x7B), In(0x23), Out(0x22, 0x7B), Out(0x23, 0xEF)});
    ExpectSameAccesses(toInternal, {Out(0x22, 0x7B), In(0x23), Out(0x22, 0x7B), Out(0x23, 0xBF)});
    return;
  }
  const std::vector<PortAccess> strapRead = {Out(0x370, 0x55), Out(0x370, 0x07), Out(0x371, 0x08),
                                             Out(0x370, 0xE1), In(0x371),        Out(0x370, 0xAA)};
  std::vector<PortAccess> expected = {Out(0x22, 0x4C), In(0x23), Out(0x22, 0x4C), Out(0x23, 0xEF)};
  expected.insert(expected.end(), strapRead.begin(), strapRead.end());
  expected.insert(expected.end(),
                  {Out(0xEA, 0x01), In(0xEB), Out(0xEA, 0x01), Out(0xEB, strap ? 0xFF : 0xFD)});
  ExpectSameAccesses(toExternal, expected);

  expected = strapRead;
  expected.insert(expected.end(),
                  {Out(0xEA, 0x01), In(0xEB), Out(0xEA, 0x01), Out(0xEB, strap ? 0xFD : 0xFF),
                   Out(0x22, 0x4C), In(0x23), Out(0x22, 0x4C), Out(0x23, 0xFF)});
  ExpectSameAccesses(toInternal, expected);
}

INSTANTIATE_TEST_SUITE_P(Variants, CrtcClockSwitch,
                         testing::Values(SwitchRow{Variant::Pinto, 0x02},
                                         SwitchRow{Variant::Bramble, 0x02},
                                         SwitchRow{Variant::Bramble, 0xFD},
                                         SwitchRow{Variant::Kestrel, 0x00}));

}  // namespace
}  // namespace orva::crtc_test
