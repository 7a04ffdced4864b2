// Dot clocks: the PLL settings the board decodes after the driver programmed a
// frequency, the refresh-derived, fixed and external clocks of mode rows, and the
// switch between the internal dot clocks and the external pixel clock.
#include <climits>

#include "hwcrtc/hwcrtc.h"
#include "orva_test.h"

namespace orva::test {
namespace {

struct PllRow {
  Variant variant;
  int32_t target;
  unsigned dotClock;
  bool found = false;
  uint8_t first = 0, second = 0;
  unsigned n = 0, m = 0, p = 0;  // as the board decodes them (hz 0: not decoded)
  uint64_t hz = 0;
};

void PrintTo(const PllRow& row, std::ostream* os) {
  *os << board::variantName(row.variant) << " " << row.target << " Hz on dot clock "
      << row.dotClock;
}

class CrtcPllSearch : public testing::TestWithParam<PllRow> {};

// The search's bytes, the two registers of the dot clock written in order, and
// the frequency the board decodes; without a candidate nothing is written.
TEST_P(CrtcPllSearch, BoardDecodesTheNearestSetting) {
  const PllRow& row = GetParam();
  auto s = Boot(row.variant);
  board::Board& b = s->board();
  const uint8_t reg = static_cast<uint8_t>(0x42 + 2 * row.dotClock);
  b.presetConfig(reg, 0x5A);
  b.presetConfig(reg + 1, 0xA5);
  uint8_t first = 0x11, second = 0x22;
  EXPECT_EQ(DRIVER_FN(*s, HWCRTC_GetRegistersFromDotClock)(row.target, &first, &second) != 0,
            row.found);
  EXPECT_EQ(first, row.found ? row.first : 0x11);
  EXPECT_EQ(second, row.found ? row.second : 0x22);
  s->trace().clear();
  DRIVER_FN(*s, HWCRTC_SetDotClock)(row.dotClock, row.target);
  const std::vector<uint8_t> written = {reg, uint8_t(reg + 1)};
  EXPECT_EQ(ConfigWritten(*s), row.found ? written : std::vector<uint8_t>());
  EXPECT_EQ(b.config(reg), row.found ? row.first : 0x5A);
  EXPECT_EQ(b.config(reg + 1), row.found ? row.second : 0xA5);
  if (row.hz == 0) return;
  const auto clock = b.dotClock(row.dotClock);
  EXPECT_EQ((std::array<uint64_t, 4>{clock.n, clock.m, clock.p, clock.hz}),
            (std::array<uint64_t, 4>{row.n, row.m, row.p, row.hz}));
}

INSTANTIATE_TEST_SUITE_P(
    Targets, CrtcPllSearch,
    testing::Values(
        PllRow{Variant::Pinto, 25104000, 0, true, 0x54, 0xB1, 10, 140, 3, 25056815},
        PllRow{Variant::BrambleR, 25104000, 1, true, 0x53, 0x46, 10, 70, 3, 25056815},
        PllRow{Variant::Pinto, 27000000, 2, true, 0x65, 0xD5, 12, 181, 3, 26995720},
        PllRow{Variant::BrambleR, 27000000, 3, true, 0x64, 0xB5, 12, 181, 4, 26995720},
        PllRow{Variant::BrambleR, 9695000, 2, true, 0x65, 0x82, 12, 130, 5, 9694595},
        PllRow{Variant::Pinto, 135000000, 2, true, 0x74, 0x10, 14, 132, 0, 134999964},
        PllRow{Variant::Bramble, 19389000, 0, true, 0x64, 0x89, 12, 130, 3, 19389191},
        PllRow{Variant::Kestrel, 19389000, 1, true, 0x4D, 0xC3, 9, 195, 5, 19389191},
        // Exactly between two outputs: the earlier candidate (the higher one) stays.
        PllRow{Variant::Pinto, 20078115, 2, true, 0x4B, 0x95, 9, 101, 3, 20085213},
        PllRow{Variant::BrambleRX, 20078115, 2, true, 0x4C, 0x65, 9, 101, 4, 20085213},
        // Last targets still within reach of the highest output of each design.
        PllRow{Variant::Mistral, 355937395, 3, true, 0x44, 0x3C, 8, 143, 0, 255937396},
        PllRow{Variant::BrambleR, 721409011, 3, true, 0x50, 0xD9, 10, 217, 0, 621409012},
        // The largest multipliers: 248 on the first design, 255 on the second.
        PllRow{Variant::Pinto, 253636296, 2, true, 0x77, 0x60, 14, 248, 0, 253636296},
        PllRow{Variant::BrambleR, 521590770, 2, true, 0x70, 0xFF, 14, 255, 0, 521590770},
        // Below every output, down to negative targets.
        PllRow{Variant::Pinto, 1, 2, true, 0x4A, 0x46, 9, 81, 4, 8053971},
        PllRow{Variant::BrambleL, -50000000, 2, true, 0x4A, 0x46, 9, 81, 4, 8053971},
        // A chip of neither PLL family searches the wide VCO range but packs the
        // bytes in the layout that keeps M's high bits in the first byte.
        PllRow{Variant::Unknown, 25104000, 2, true, 0x52, 0x99},
        PllRow{Variant::Unknown, 9695000, 2, true, 0x64, 0x8A},
        // Out of reach: no candidate.
        PllRow{Variant::Mistral, 355937396, 2}, PllRow{Variant::BrambleR, 721409012, 2},
        PllRow{Variant::Pinto, -91946029, 2}, PllRow{Variant::Kestrel, 2000000000, 2},
        PllRow{Variant::Bramble, INT32_MIN, 2}, PllRow{Variant::BrambleRX, INT32_MAX, 2}));

struct ModeClockRow {
  Variant variant;
  uint32_t width, height, output, refresh;
  unsigned n = 0, m = 0, p = 0;
  uint64_t hz = 0;  // 0: the external pixel clock, no PLL touched
};

void PrintTo(const ModeClockRow& row, std::ostream* os) {
  *os << board::variantName(row.variant) << " " << row.width << "x" << row.height << " output 0x"
      << std::hex << row.output << std::dec << " at " << row.refresh << " Hz";
}

class CrtcModeClock : public testing::TestWithParam<ModeClockRow> {};

TEST_P(CrtcModeClock, ModeSetProgramsDotClockTwoOrTheExternalClock) {
  const ModeClockRow& row = GetParam();
  auto s = Boot(row.variant);
  board::Board& b = s->board();
  std::vector<uint8_t> before;
  for (uint8_t reg = 0x42; reg <= 0x49; ++reg) before.push_back(b.config(reg));
  const HWCRTC_MODE mode{0, row.width, row.height, row.width, 8};
  s->trace().clear();
  ASSERT_EQ(DRIVER_FN(*s, HWCRTC_InitGraphicMode)(&mode, row.output, row.refresh), 0);

  const auto pixel = b.pixelClock();
  EXPECT_EQ(pixel.external, row.hz == 0);
  EXPECT_FALSE(pixel.inconsistent);
  for (uint8_t reg : ConfigWritten(*s)) {
    const bool otherPll =
        reg >= 0x42 && reg <= 0x49 && (row.hz == 0 || (reg != 0x46 && reg != 0x47));
    EXPECT_FALSE(otherPll) << "PLL register 0x" << std::hex << int(reg);
  }
  if (row.hz == 0) {
    for (uint8_t reg = 0x42; reg <= 0x49; ++reg) EXPECT_EQ(b.config(reg), before[reg - 0x42]);
    return;
  }
  EXPECT_EQ(pixel.dotClock, 2u);
  EXPECT_EQ(pixel.hz, row.hz);
  const auto clock = b.dotClock(2);
  EXPECT_EQ((std::array<unsigned, 3>{clock.n, clock.m, clock.p}),
            (std::array<unsigned, 3>{row.n, row.m, row.p}));
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
        ModeClockRow{Variant::BrambleR, 480, 234, 0x00030001, 75, 12, 130, 5, 9694595},
        // TV rows run from the external pixel clock.
        ModeClockRow{Variant::Pinto, 640, 480, 0x00010002, 60},
        ModeClockRow{Variant::Bramble, 640, 480, 0x00010002, 0},
        ModeClockRow{Variant::BrambleRX, 720, 480, 0x00020002, 75}));

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
  auto s = Boot(Variant::Pinto);
  const HWCRTC_MODE mode{0, 640, 480, 640, 8};
  ASSERT_EQ(DRIVER_FN(*s, HWCRTC_InitGraphicMode)(&mode, 0x00010001, 60), 0);
  s->board().presetSequencer(0x01, row.sequencer01);
  s->board().presetCrtc(0x25, row.crtc25);
  s->trace().clear();
  DRIVER_FN(*s, HWCRTC_SetRefreshRate)(row.refresh);

  const auto clock = s->board().dotClock(2);
  EXPECT_EQ((std::array<unsigned, 3>{clock.n, clock.m, clock.p}),
            (std::array<unsigned, 3>{row.n, row.m, row.p}));
  auto reads = Ports(*s);
  reads.resize(std::min<size_t>(11, reads.size()));
  ExpectSameAccesses(
      reads, {In(0x3CC), Out(0x3D4, 0x06), In(0x3D5), Out(0x3D4, 0x07), In(0x3D5), Out(0x3D4, 0x25),
              In(0x3D5), Out(0x3C4, 0x01), In(0x3C5), Out(0x3D4, 0x00), In(0x3D5)});
}

INSTANTIATE_TEST_SUITE_P(Totals, CrtcRefreshFromTimings,
                         testing::Values(RefreshRow{0x01, 0x00, 60, 10, 140, 3},    // 25,104,000
                                         RefreshRow{0x00, 0x00, 60, 9, 142, 3},     // 9 dots
                                         RefreshRow{0x10, 0x00, 60, 9, 142, 3},     // bit 0 only
                                         RefreshRow{0x01, 0x01, 60, 8, 83, 1},      // +1024 lines
                                         RefreshRow{0x21, 0x00, 85, 14, 139, 2}));  // 35,564,000

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
  auto s = Boot({.variant = row.variant, .superIoE1 = row.superIoE1});
  board::Board& b = s->board();
  const bool strap = (row.superIoE1 & 0x02) != 0;
  const bool pinto = row.variant == Variant::Pinto;
  // Internal clock with every other bit of the registers set, to see them kept.
  if (pinto) {
    b.presetConfig(0x7B, 0xBF);
  } else {
    b.presetConfig(0x4C, 0xFF);
    b.presetClockSelect(0x01, strap ? 0xFD : 0xFF);
  }
  ASSERT_FALSE(b.pixelClock().external);

  s->trace().clear();
  DRIVER_FN(*s, HWCRTC_SetExternalDCLK)(2, 60);
  EXPECT_TRUE(b.pixelClock().external);
  EXPECT_FALSE(b.pixelClock().inconsistent);
  const auto toExternal = Ports(*s);
  s->trace().clear();
  DRIVER_FN(*s, HWCRTC_SetInternalDCLK)();
  EXPECT_FALSE(b.pixelClock().external);
  EXPECT_FALSE(b.pixelClock().inconsistent);
  EXPECT_FALSE(b.superIoConfigMode());
  const auto toInternal = Ports(*s);

  // Read-modify-write of one register of an index/data pair.
  auto rmw = [](uint32_t port, uint8_t index, uint8_t value) {
    return std::vector<PortAccess>{Out(port, index), In(port + 1), Out(port, index),
                                   Out(port + 1, value)};
  };
  auto join = [](std::initializer_list<std::vector<PortAccess>> parts) {
    std::vector<PortAccess> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  if (pinto) {
    ExpectSameAccesses(toExternal, rmw(0x22, 0x7B, 0xEF));
    ExpectSameAccesses(toInternal, rmw(0x22, 0x7B, 0xBF));
    return;
  }
  const std::vector<PortAccess> strapRead = {Out(0x370, 0x55), Out(0x370, 0x07), Out(0x371, 0x08),
                                             Out(0x370, 0xE1), In(0x371),        Out(0x370, 0xAA)};
  ExpectSameAccesses(
      toExternal, join({rmw(0x22, 0x4C, 0xEF), strapRead, rmw(0xEA, 0x01, strap ? 0xFF : 0xFD)}));
  ExpectSameAccesses(
      toInternal, join({strapRead, rmw(0xEA, 0x01, strap ? 0xFD : 0xFF), rmw(0x22, 0x4C, 0xFF)}));
}

INSTANTIATE_TEST_SUITE_P(Variants, CrtcClockSwitch,
                         testing::Values(SwitchRow{Variant::Pinto, 0x02},
                                         SwitchRow{Variant::Bramble, 0x02},
                                         SwitchRow{Variant::Bramble, 0xFD},
                                         SwitchRow{Variant::Kestrel, 0x00}));

}  // namespace
}  // namespace orva::test
