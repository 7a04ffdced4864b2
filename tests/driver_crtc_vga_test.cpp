// VGA core set-up: the fixed sequence as the bus saw it, and the register state
// the board holds afterwards.
#include "driver_crtc_fixture.h"

namespace orva::crtc_test {
namespace {

using board::Variant;

std::vector<PortAccess> ExpectedSetUp(uint8_t clockingWritten) {
  std::vector<PortAccess> s;
  auto indexed = [&s](uint32_t port, uint8_t index, uint8_t value) {
    s.push_back(Out(port, index));
    s.push_back(Out(port + 1, value));
  };
  indexed(0x22, 0x29, 0x03);
  s.insert(s.end(), {Out(0x94, 0x00), Out(0x102, 0x01), Out(0x94, 0x28), Out(0x3C3, 0x01),
                     Out(0x3C2, 0x03)});
  indexed(0x3C4, 0x06, 0x57);
  indexed(0x3C4, 0x00, 0x00);
  s.push_back(Out(0x3C2, 0x2B));
  indexed(0x3C4, 0x00, 0x00);
  s.insert(s.end(), {Out(0x3C4, 0x01), In(0x3C5)});
  indexed(0x3C4, 0x01, clockingWritten);
  indexed(0x3C4, 0x02, 0x0F);
  indexed(0x3C4, 0x03, 0x00);
  indexed(0x3C4, 0x04, 0x0E);
  indexed(0x3C4, 0x06, 0x57);
  indexed(0x3C4, 0x00, 0x03);
  for (auto [index, value] : {std::pair{0x00, 0x00},
                              {0x01, 0x00},
                              {0x02, 0x00},
                              {0x03, 0x00},
                              {0x04, 0x00},
                              {0x05, 0x40},
                              {0x06, 0x05},
                              {0x07, 0x0F},
                              {0x08, 0xFF}}) {
    indexed(0x3CE, index, value);
  }
  s.push_back(In(0x3DA));
  for (uint8_t i = 0; i < 16; ++i) s.insert(s.end(), {Out(0x3C0, i), Out(0x3C0, i)});
  for (auto [index, value] :
       {std::pair{0x10, 0x01}, {0x11, 0x00}, {0x12, 0x0F}, {0x13, 0x00}, {0x14, 0x00}}) {
    s.insert(s.end(), {Out(0x3C0, index), Out(0x3C0, value)});
  }
  s.push_back(Out(0x3C0, 0x20));
  for (auto [index, value] : {std::pair{0x11, 0x0C},
                              {0x08, 0x00},
                              {0x14, 0x00},
                              {0x17, 0xE3},
                              {0x18, 0xFF},
                              {0x1A, 0x3C},
                              {0x1C, 0x04},
                              {0x21, 0xFF},
                              {0x28, 0x10},
                              {0x33, 0xFF},
                              {0x39, 0xFF},
                              {0x3C, 0x60},
                              {0x40, 0xE1}}) {
    indexed(0x3D4, index, value);
  }
  return s;
}

struct ScreenRow {
  Variant variant;
  uint8_t clockingBefore;
  uint8_t clockingAfter;
};

class CrtcInternalVGA : public testing::TestWithParam<ScreenRow> {};

TEST_P(CrtcInternalVGA, FixedSequenceAndResultingState) {
  const ScreenRow& row = GetParam();
  CrtcBoard b(row.variant);
  b.board().presetSequencer(0x01, row.clockingBefore);
  // Leave the attribute flip-flop expecting a data byte: the set-up must reset it.
  b.board().out(8, 0x3C0, 0x05);
  const uint64_t attributeBytes = b.board().attributeWrites();
  b.mark();
  CRTC_FN(b, HWCRTC_InitializeInternalVGA)();

  const auto accesses = b.ports();
  ExpectSameAccesses(accesses, ExpectedSetUp(row.clockingAfter));
  EXPECT_EQ(std::count_if(accesses.begin(), accesses.end(),
                          [](const PortAccess& a) { return a.write && a.port == 0x3C0; }),
            43);
  EXPECT_EQ(b.board().attributeWrites() - attributeBytes, 43u);

  auto& hw = b.board();
  EXPECT_EQ(hw.sequencer(0x01), row.clockingAfter);
  EXPECT_EQ(hw.miscOutput(), 0x2B);
  EXPECT_EQ(CRTC_FN(b, HWCRTC_GetCurrentDotClock)(), 2u);
  EXPECT_TRUE(hw.extensionsEnabled());
  EXPECT_TRUE(hw.paletteAddressSource());
  EXPECT_TRUE(hw.attributeExpectsData());  // the final 0x20 is a lone index byte
  for (uint8_t i = 0; i < 16; ++i) EXPECT_EQ(hw.attribute(i), i);
  EXPECT_EQ(hw.attribute(0x10), 0x01);
  EXPECT_EQ(hw.attribute(0x14), 0x00);
  EXPECT_EQ(hw.crtc(0x40), 0xE1);  // extension registers reached once enabled
}

INSTANTIATE_TEST_SUITE_P(ScreenOffCarriedOver, CrtcInternalVGA,
                         testing::Values(ScreenRow{Variant::Bramble, 0x20, 0x21},
                                         ScreenRow{Variant::Bramble, 0xDF, 0x01},
                                         ScreenRow{Variant::Pinto, 0xFF, 0x21},
                                         ScreenRow{Variant::Kestrel, 0x00, 0x01}));

}  // namespace
}  // namespace orva::crtc_test
