// Dot-clock PLL decoding and the selection of the clock that drives the display.
#include <gtest/gtest.h>

#include "board.h"

namespace orva::board {
namespace {

TEST(BoardPll, DecodesKnownSettings) {
  struct Row {
    unsigned design;
    uint8_t first, second;
    unsigned n, m, p;
    uint64_t vco, hz;
    bool inRange;
  };
  const Row rows[] = {
      {1, 0x54, 0xB1, 10, 140, 3, 200'454'520, 25'056'815, true},
      {2, 0x53, 0x46, 10, 70, 3, 200'454'520, 25'056'815, true},
      {1, 0x74, 0x10, 14, 132, 0, 134'999'964, 134'999'964, true},
      {2, 0x65, 0x82, 12, 130, 5, 310'227'060, 9'694'595, true},
      {1, 0x65, 0xD5, 12, 181, 3, 215'965'761, 26'995'720, true},
      {2, 0x64, 0xB5, 12, 181, 4, 431'931'522, 26'995'720, true},
      // Out of the VCO range: no usable clock, but the arithmetic is reported.
      {1, 0x70, 0x04, 14, 1, 0, 1'022'727, 0, false},
      {2, 0x50, 0xFF, 10, 255, 0, 730'227'180, 0, false},
      {1, 0x00, 0xB1, 0, 12, 3, 0, 0, false},  // N = 0 divides nothing
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message()
                 << "design " << r.design << " " << int(r.first) << "/" << int(r.second));
    const Board::DotClock c = Board::decodePll(r.design, r.first, r.second);
    EXPECT_EQ(c.n, r.n);
    EXPECT_EQ(c.m, r.m);
    EXPECT_EQ(c.p, r.p);
    EXPECT_EQ(c.vcoHz, r.vco);
    EXPECT_EQ(c.hz, r.hz);
    EXPECT_EQ(c.vcoInRange, r.inRange);
  }
}

TEST(BoardPll, EachVariantDecodesItsOwnDesignFromTheConfigurationRegisters) {
  struct Row {
    Variant variant;
    uint8_t first, second;
  };
  // The same 25,056,815 Hz in each design's layout, programmed into dot clock 2.
  for (const Row& r : {Row{Variant::Pinto, 0x54, 0xB1}, Row{Variant::Bramble, 0x54, 0xB1},
                       Row{Variant::BrambleL, 0x54, 0xB1}, Row{Variant::Mistral, 0x54, 0xB1},
                       Row{Variant::BrambleR, 0x53, 0x46}, Row{Variant::Kestrel, 0x53, 0x46},
                       Row{Variant::BrambleRX, 0x53, 0x46}}) {
    SCOPED_TRACE(std::string(variantName(r.variant)));
    BoardConfig c;
    c.variant = r.variant;
    Board board(c);
    board.out(8, 0x22, 0x46);
    board.out(8, 0x23, r.first);
    board.out(8, 0x22, 0x47);
    board.out(8, 0x23, r.second);
    EXPECT_EQ(board.dotClock(2).hz, 25'056'815u);
    EXPECT_EQ(board.dotClock(1).hz, 0u);
  }
}

// The driver's switch on variants with the Super I/O: enter configuration mode,
// select logical device 8, read 0xE1, leave, then set register 1 bit 1 of the
// 0xEA/0xEB pair to that bit's level (external) or the opposite (internal).
uint8_t readPolarity(Board& board) {
  board.out(8, 0x370, 0x55);
  board.out(8, 0x370, 0x07);
  board.out(8, 0x371, 0x08);
  board.out(8, 0x370, 0xE1);
  const auto s = static_cast<uint8_t>(board.in(8, 0x371));
  board.out(8, 0x370, 0xAA);
  return s;
}

void setLine(Board& board, bool high) {
  board.out(8, 0xEA, 0x01);
  const auto v = static_cast<uint8_t>(board.in(8, 0xEB));
  board.out(8, 0xEA, 0x01);
  board.out(8, 0xEB, static_cast<uint8_t>(high ? v | 0x02 : v & ~0x02));
}

void configBit4(Board& board, bool set) {
  board.out(8, 0x22, 0x4C);
  const auto v = static_cast<uint8_t>(board.in(8, 0x23));
  board.out(8, 0x22, 0x4C);
  board.out(8, 0x23, static_cast<uint8_t>(set ? v | 0x10 : v & ~0x10));
}

TEST(BoardClockPath, SuperIoSelectionWithBothBoardPolarities) {
  for (uint8_t e1 : {uint8_t{0x02}, uint8_t{0x00}, uint8_t{0xFD}}) {
    SCOPED_TRACE(int(e1));
    BoardConfig c;
    c.variant = Variant::BrambleR;
    c.superIoE1 = e1;
    Board board(c);
    board.out(8, 0x3C2, 0x2B);  // dot clock 2
    board.out(8, 0x22, 0x46);
    board.out(8, 0x23, 0x53);
    board.out(8, 0x22, 0x47);
    board.out(8, 0x23, 0x46);
    EXPECT_FALSE(board.pixelClock().external);  // power-up: internal
    EXPECT_FALSE(board.pixelClock().inconsistent);

    configBit4(board, false);  // half-way: the line still selects the internal clocks
    EXPECT_TRUE(board.pixelClock().inconsistent);
    const uint8_t s = readPolarity(board);
    EXPECT_EQ(s, e1);
    EXPECT_FALSE(board.superIoConfigMode());
    setLine(board, (s & 0x02) != 0);
    Board::PixelClock pc = board.pixelClock();
    EXPECT_TRUE(pc.external);
    EXPECT_FALSE(pc.inconsistent);
    EXPECT_EQ(pc.hz, 0u);

    setLine(board, (readPolarity(board) & 0x02) == 0);
    configBit4(board, true);
    pc = board.pixelClock();
    EXPECT_FALSE(pc.external);
    EXPECT_FALSE(pc.inconsistent);
    EXPECT_EQ(pc.dotClock, 2u);
    EXPECT_EQ(pc.hz, 25'056'815u);

    // Bit 4 set with the line still at the external level: neither selection.
    setLine(board, (s & 0x02) != 0);
    EXPECT_TRUE(board.pixelClock().inconsistent);
    EXPECT_EQ(board.trace().counters().undecoded, 0u);
  }
}

TEST(BoardClockPath, SuperIoStrapIgnoresWrites) {
  Board board(BoardConfig{});
  board.out(8, 0x370, 0x55);
  board.out(8, 0x370, 0x07);
  board.out(8, 0x371, 0x08);
  board.out(8, 0x370, 0xE1);
  board.out(8, 0x371, 0x00);
  EXPECT_EQ(board.in(8, 0x371), 0x02u);
  board.out(8, 0x370, 0xE2);  // a neighbour keeps what it gets
  board.out(8, 0x371, 0x5A);
  EXPECT_EQ(board.superIo(8, 0xE2), 0x5A);
}

TEST(BoardClockPath, PintoRegister7B) {
  struct Row {
    uint8_t value;
    bool external, inconsistent;
  };
  const Row rows[] = {
      {0x40, true, false}, {0x10, false, false}, {0x50, false, true},
      {0x00, false, true}, {0x4C, true, false},  {0x1E, false, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(int(r.value));
    BoardConfig c;
    c.variant = Variant::Pinto;
    Board board(c);
    board.out(8, 0x22, 0x7B);
    board.out(8, 0x23, r.value);
    EXPECT_EQ(board.pixelClock().external, r.external);
    EXPECT_EQ(board.pixelClock().inconsistent, r.inconsistent);
  }
}

}  // namespace
}  // namespace orva::board
