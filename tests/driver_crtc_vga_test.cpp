// VGA core set-up: the fixed sequence as the bus saw it, and the register state
// the board holds afterwards.
#include "hwcrtc/hwcrtc.h"
#include "orva_test.h"

namespace orva::test {
namespace {

std::vector<PortAccess> ExpectedSetUp(uint8_t clockingWritten) {
  std::vector<PortAccess> s;
  // (port, index, value) of indexed pairs; port 0x3C0 takes index and value on one port.
  auto add = [&s](uint32_t port, std::initializer_list<std::pair<uint8_t, uint8_t>> pairs) {
    for (auto [index, value] : pairs) {
      s.insert(s.end(), {Out(port, index), Out(port == 0x3C0 ? port : port + 1, value)});
    }
  };
  add(0x22, {{0x29, 0x03}});
  s.insert(s.end(), {Out(0x94, 0x00), Out(0x102, 0x01), Out(0x94, 0x28), Out(0x3C3, 0x01),
                     Out(0x3C2, 0x03)});
  add(0x3C4, {{0x06, 0x57}, {0x00, 0x00}});
  s.push_back(Out(0x3C2, 0x2B));
  add(0x3C4, {{0x00, 0x00}});
  s.insert(s.end(), {Out(0x3C4, 0x01), In(0x3C5)});
  add(0x3C4, {{0x01, clockingWritten},
              {0x02, 0x0F},
              {0x03, 0x00},
              {0x04, 0x0E},
              {0x06, 0x57},
              {0x00, 0x03}});
  add(0x3CE, {{0x00, 0x00},
              {0x01, 0x00},
              {0x02, 0x00},
              {0x03, 0x00},
              {0x04, 0x00},
              {0x05, 0x40},
              {0x06, 0x05},
              {0x07, 0x0F},
              {0x08, 0xFF}});
  s.push_back(In(0x3DA));
  for (uint8_t i = 0; i < 16; ++i) add(0x3C0, {{i, i}});
  add(0x3C0, {{0x10, 0x01}, {0x11, 0x00}, {0x12, 0x0F}, {0x13, 0x00}, {0x14, 0x00}});
  s.push_back(Out(0x3C0, 0x20));
  add(0x3D4, {{0x11, 0x0C},
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
              {0x40, 0xE1}});
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
  auto s = Boot(row.variant);
  board::Board& b = s->board();
  b.presetSequencer(0x01, row.clockingBefore);
  // Leave the attribute flip-flop expecting a data byte: the set-up must reset it.
  b.out(8, 0x3C0, 0x05);
  s->trace().clear();
  DRIVER_FN(*s, HWCRTC_InitializeInternalVGA)();

  ExpectSameAccesses(Ports(*s), ExpectedSetUp(row.clockingAfter));
  EXPECT_EQ(b.sequencer(0x01), row.clockingAfter);
  EXPECT_EQ(b.miscOutput(), 0x2B);
  EXPECT_EQ(DRIVER_FN(*s, HWCRTC_GetCurrentDotClock)(), 2u);
  EXPECT_TRUE(b.extensionsEnabled());
  EXPECT_TRUE(b.paletteAddressSource());
  EXPECT_TRUE(b.attributeExpectsData());  // the final 0x20 is a lone index byte
  for (uint8_t i = 0; i < 16; ++i) EXPECT_EQ(b.attribute(i), i);
  EXPECT_EQ(b.attribute(0x10), 0x01);
  EXPECT_EQ(b.attribute(0x14), 0x00);
  EXPECT_EQ(b.crtc(0x40), 0xE1);  // extension registers reached once enabled
}

INSTANTIATE_TEST_SUITE_P(ScreenOffCarriedOver, CrtcInternalVGA,
                         testing::Values(ScreenRow{Variant::Bramble, 0x20, 0x21},
                                         ScreenRow{Variant::Bramble, 0xDF, 0x01},
                                         ScreenRow{Variant::Pinto, 0xFF, 0x21},
                                         ScreenRow{Variant::Kestrel, 0x00, 0x01}));

}  // namespace
}  // namespace orva::test
