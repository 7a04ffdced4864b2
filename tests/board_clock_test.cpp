// Dot-clock PLL decoding and the selection of the clock that drives the display.
#include <gtest/gtest.h>

#include <array>

#include "board.h"

namespace orva::board {
namespace {

// In-range settings of each design (the driver's PLL tests decode many more),
// and settings out of the VCO range: no usable clock, but the arithmetic reported.
TEST(BoardPll, DecodesKnownSettings) {
  struct Row {
    unsigned design;
    uint8_t first, second;
    uint64_t n, m, p, vco, hz;
    bool inRange;
  };
  const Row rows[] = {
      {1, 0x54, 0xB1, 10, 140, 3, 200'454'520, 25'056'815, true},
      {2, 0x53, 0x46, 10, 70, 3, 200'454'520, 25'056'815, true},
      {2, 0x64, 0xB5, 12, 181, 4, 431'931'522, 26'995'720, true},
      {1, 0x70, 0x04, 14, 1, 0, 1'022'727, 0, false},
      {2, 0x50, 0xFF, 10, 255, 0, 730'227'180, 0, false},
      {1, 0x00, 0xB1, 0, 12, 3, 0, 0, false},  // N = 0 divides nothing
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message()
                 << "design " << r.design << " " << int(r.first) << "/" << int(r.second));
    const Board::DotClock c = Board::decodePll(r.design, r.first, r.second);
    EXPECT_EQ((std::array<uint64_t, 5>{c.n, c.m, c.p, c.vcoHz, c.hz}),
              (std::array<uint64_t, 5>{r.n, r.m, r.p, r.vco, r.hz}));
    EXPECT_EQ(c.vcoInRange, r.inRange);
  }
}

// The clock selection as the board reports it, including the contradicting
// states a switch passes through. Bramble-R: configuration register 0x4C bit 4
// (internal clocks) and register 1 bit 1 of the 0xEA/0xEB pair, whose external
// level is the Super I/O strap's bit 1. Pinto: register 0x7B bits 4 and 6.
TEST(BoardClockPath, SelectionAndContradictions) {
  struct Row {
    Variant variant;
    uint8_t strap, config, select;
    bool external, inconsistent;
  };
  const Row rows[] = {
      {Variant::BrambleR, 0x02, 0x10, 0x00, false, false},
      {Variant::BrambleR, 0x02, 0x00, 0x00, false, true},  // half-way
      {Variant::BrambleR, 0x02, 0x00, 0x02, true, false},
      {Variant::BrambleR, 0x02, 0x10, 0x02, false, true},
      {Variant::BrambleR, 0xFD, 0x10, 0x02, false, false},
      {Variant::BrambleR, 0xFD, 0x00, 0x02, false, true},
      {Variant::BrambleR, 0x00, 0x00, 0x00, true, false},
      {Variant::BrambleR, 0x00, 0x10, 0x00, false, true},
      {Variant::Pinto, 0x02, 0x40, 0, true, false},
      {Variant::Pinto, 0x02, 0x10, 0, false, false},
      {Variant::Pinto, 0x02, 0x50, 0, false, true},
      {Variant::Pinto, 0x02, 0x00, 0, false, true},
      {Variant::Pinto, 0x02, 0x4C, 0, true, false},
      {Variant::Pinto, 0x02, 0x1E, 0, false, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << variantName(r.variant) << " strap " << int(r.strap)
                                    << " config " << int(r.config) << " select " << int(r.select));
    BoardConfig c;
    c.variant = r.variant;
    c.superIoE1 = r.strap;
    Board board(c);
    board.out(8, 0x22, r.variant == Variant::Pinto ? 0x7B : 0x4C);
    board.out(8, 0x23, r.config);
    if (r.variant != Variant::Pinto) {
      board.out(8, 0xEA, 0x01);
      board.out(8, 0xEB, r.select);
    }
    EXPECT_EQ(board.pixelClock().external, r.external);
    EXPECT_EQ(board.pixelClock().inconsistent, r.inconsistent);
    EXPECT_EQ(board.trace().counters().undecoded, 0u);
  }
}

TEST(BoardClockPath, SuperIoStrapIgnoresWrites) {
  Board board(BoardConfig{});
  for (uint8_t v : {0x55, 0x07}) board.out(8, 0x370, v);  // configuration mode, device 8
  board.out(8, 0x371, 0x08);
  board.out(8, 0x370, 0xE1);
  board.out(8, 0x371, 0x00);
  EXPECT_EQ(board.in(8, 0x371), 0x02u);
  board.out(8, 0x370, 0xE2);  // a neighbour keeps what it gets
  board.out(8, 0x371, 0x5A);
  EXPECT_EQ(board.superIo(8, 0xE2), 0x5A);
  board.out(8, 0x370, 0xAA);
  EXPECT_FALSE(board.superIoConfigMode());
}

}  // namespace
}  // namespace orva::board
