// Pitch, display start and palette: the CRTC and DAC state the board holds after
// the driver programmed them, and what the driver reads back.
#include <array>

#include "hwcrtc/hwcrtc.h"
#include "orva_test.h"
#include "timing.h"

namespace orva::test {
namespace {

struct PitchRow {
  uint32_t pitch;
  uint8_t crtc13;
  uint8_t highBits;  // CRTC 0x19 bits 4-5
  uint32_t readBack;
  bool locked = false;  // extensions locked after the write: the high bits do not count
};

class CrtcPitch : public testing::TestWithParam<PitchRow> {};

TEST_P(CrtcPitch, RegistersAndReadBack) {
  const PitchRow& row = GetParam();
  auto s = Boot(Variant::Bramble);
  board::Board& b = s->board();
  b.presetCrtc(0x19, 0xCA);  // bits 6-7 belong to something else
  DRIVER_FN(*s, HWCRTC_FlipSurface)(0, row.pitch);
  EXPECT_EQ(b.crtc(0x13), row.crtc13);
  EXPECT_EQ(b.crtc(0x19), 0xC0 | row.highBits << 4);
  if (row.locked) b.presetSequencer(0x06, 0x00);
  EXPECT_EQ(DRIVER_FN(*s, HWCRTC_GetPitch)(), row.readBack);
  EXPECT_EQ(board::decodeTiming(b).pitch, row.readBack);
}

INSTANTIATE_TEST_SUITE_P(Pitches, CrtcPitch,
                         testing::Values(PitchRow{1280, 0xA0, 0, 1280},
                                         PitchRow{2560, 0x40, 1, 2560},
                                         PitchRow{4096, 0x00, 2, 4096},
                                         PitchRow{8184, 0xFF, 3, 8184},
                                         PitchRow{1000, 0x7D, 0, 1000}, PitchRow{8192, 0x00, 0, 0},
                                         PitchRow{2560, 0x40, 1, 512, true}));

struct StartRow {
  uint32_t offset;
  uint8_t crtc0D, crtc0C, highBits;  // CRTC 0x19 bits 0-3
};

class CrtcDisplayStart : public testing::TestWithParam<StartRow> {};

TEST_P(CrtcDisplayStart, FourByteUnitsWrappingAtFourMegabytes) {
  const StartRow& row = GetParam();
  auto s = Boot(Variant::BrambleR);
  board::Board& b = s->board();
  b.presetCrtc(0x19, 0xF0);
  b.presetCrtc(0x13, 0x50);
  DRIVER_FN(*s, HWCRTC_FlipBase)(row.offset);
  EXPECT_EQ(b.crtc(0x0D), row.crtc0D);
  EXPECT_EQ(b.crtc(0x0C), row.crtc0C);
  EXPECT_EQ(b.crtc(0x19), 0xF0 | row.highBits);
  EXPECT_EQ(b.crtc(0x13), 0x50);
}

INSTANTIATE_TEST_SUITE_P(Offsets, CrtcDisplayStart,
                         testing::Values(StartRow{0x12345, 0xD1, 0x48, 0x0},
                                         StartRow{0x3FFFFC, 0xFF, 0xFF, 0xF},
                                         StartRow{0x400000, 0x00, 0x00, 0x0},
                                         StartRow{0xABCDE7, 0x79, 0xF3, 0xA}));

// A timing list whose vertical blanking starts inside the display area places the
// display start 16 lines before the surface.
TEST(CrtcDisplayStart, BlankedLinesOfEveryTimingList) {
  struct Row {
    Variant variant;
    std::vector<uint32_t> rows;
    std::vector<uint32_t> blanked;
  };
  const Row boards[] = {
      {Variant::BrambleRX,
       {0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 24, 25, 26, 27},
       {11, 12, 13}},
      {Variant::Pinto, {6, 7}, {7}},
  };
  constexpr uint32_t kOffset = 0x40000, kPitch = 2048;
  for (const Row& board : boards) {
    for (uint32_t row : board.rows) {
      auto s = Boot(board.variant);
      board::Board& b = s->board();
      DRIVER_FN(*s, HWCRTC_InitializeInternalVGA)();
      b.presetCrtc(0x08, 0xFF);  // only the overflow register holds the high bits
      DRIVER_FN(*s, HWCRTC_SetCRTCTimings)(row);
      DRIVER_FN(*s, HWCRTC_FlipSurface)(kOffset, kPitch);
      const bool blanked =
          std::find(board.blanked.begin(), board.blanked.end(), row) != board.blanked.end();
      const auto timing = board::decodeTiming(b);
      EXPECT_EQ(timing.startByte, kOffset - (blanked ? 16 * kPitch : 0)) << "row " << row;
      EXPECT_EQ(timing.offsetY, blanked ? 16u : 0u) << "row " << row;
    }
  }
}

TEST(CrtcDisplayStart, NtscModeWrapsBelowTheSurface) {
  auto s = Boot(Variant::Bramble);
  board::Board& b = s->board();
  const HWCRTC_MODE mode{0, 640, 430, 1280, 16};
  ASSERT_EQ(DRIVER_FN(*s, HWCRTC_InitGraphicMode)(&mode, 0x00020002, 60), 0);
  // (2^32 - 16 x 1280) / 4, of which the display keeps 20 bits.
  EXPECT_EQ(b.crtc(0x0D), 0x00);
  EXPECT_EQ(b.crtc(0x0C), 0xEC);
  EXPECT_EQ(b.crtc(0x19) & 0x0F, 0x0F);
  EXPECT_EQ(board::decodeTiming(b).startAddress, 0xFEC00u);
}

std::vector<uint8_t> PaletteEntries(size_t count) {
  std::vector<uint8_t> entries(count * 4);
  for (size_t i = 0; i < count; ++i) {
    entries[4 * i + 0] = static_cast<uint8_t>(i);
    entries[4 * i + 1] = static_cast<uint8_t>(255 - i);
    entries[4 * i + 2] = static_cast<uint8_t>(i ^ 0x5A);
    entries[4 * i + 3] = 0xEE;  // never sent
  }
  return entries;
}

TEST(CrtcPalette, FullLoadIsOneIndexAndThreeBytesPerEntry) {
  auto s = Boot(Variant::Bramble);
  board::Board& b = s->board();
  const auto entries = PaletteEntries(256);
  s->trace().clear();
  DRIVER_FN(*s, HWCRTC_SetPaletteEntry4Bytes)(entries.data(), 0, 256);

  std::vector<PortAccess> expected = {Out(0x3C8, 0)};
  for (size_t i = 0; i < 256; ++i) {
    for (int k = 0; k < 3; ++k) expected.push_back(Out(0x3C9, entries[4 * i + k]));
  }
  ExpectSameAccesses(Ports(*s), expected);
  for (unsigned i = 0; i < 256; ++i) {
    const std::array<uint8_t, 3> rgb = {entries[4 * i], entries[4 * i + 1], entries[4 * i + 2]};
    EXPECT_EQ(b.dac(static_cast<uint8_t>(i)), rgb) << i;
  }
}

TEST(CrtcPalette, PartialLoadsStartAtTheLowByteOfTheIndex) {
  auto s = Boot(Variant::Pinto);
  board::Board& b = s->board();
  const auto entries = PaletteEntries(2);
  const std::array<uint8_t, 3> untouched = {1, 2, 3};
  for (uint8_t i : {4, 5, 6, 7}) b.presetDac(i, untouched);

  s->trace().clear();
  DRIVER_FN(*s, HWCRTC_SetPaletteEntry4Bytes)(entries.data(), 0x105, 0);
  ExpectSameAccesses(Ports(*s), {Out(0x3C8, 0x05)});

  s->trace().clear();
  DRIVER_FN(*s, HWCRTC_SetPaletteEntry4Bytes)(entries.data(), 0x105, 2);
  EXPECT_EQ(Ports(*s).size(), 7u);
  EXPECT_EQ(b.dac(4), untouched);
  EXPECT_EQ(b.dac(5), (std::array<uint8_t, 3>{0, 255, 0x5A}));
  EXPECT_EQ(b.dac(6), (std::array<uint8_t, 3>{1, 254, 0x5B}));
  EXPECT_EQ(b.dac(7), untouched);
}

}  // namespace
}  // namespace orva::test
