// The TFT interface's two register forms and the TV encoder's reset pulse, standalone.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "board.h"
#include "i2c_slave.h"
#include "tft.h"
#include "tv_encoder.h"

namespace orva::board {
namespace {

struct Access {
  unsigned width;
  uint32_t offset, value;
};

struct TftCase {
  const char* name;
  bool ports;  // I/O form, else the memory window
  std::vector<Access> writes;
  std::map<unsigned, uint16_t> registers;
};

class TftForms : public testing::TestWithParam<TftCase> {};

TEST_P(TftForms, RegistersAfterWrites) {
  TftInterface tft;
  for (const Access& a : GetParam().writes) {
    GetParam().ports ? tft.portWrite(a.width, a.offset, a.value)
                     : tft.memoryWrite(a.width, a.offset, a.value);
  }
  for (const auto& [reg, value] : GetParam().registers) {
    const uint16_t got =
        GetParam().ports ? tft.ioRegister(static_cast<uint16_t>(reg)) : tft.windowRegister(reg);
    EXPECT_EQ(got, value) << "register " << reg;
  }
}

INSTANTIATE_TEST_SUITE_P(
    , TftForms,
    testing::Values(
        TftCase{"PortsDataToLastSelected",
                true,
                {{16, 0, 11}, {16, 4, 5}, {16, 4, 6}, {16, 0, 0x0102}, {16, 4, 0xBEEF}},
                {{11, 6}, {0x0102, 0xBEEF}, {2, 0}}},
        TftCase{"PortsByteDataMerges",
                true,
                {{16, 0, 8}, {16, 4, 0x0258}, {8, 5, 0x03}},
                {{8, 0x0358}}},
        TftCase{
            "PortsUndecodedLanes", true, {{16, 0, 1}, {16, 2, 7}, {16, 6, 9}}, {{1, 0}, {7, 0}}},
        TftCase{"WindowPlainWords",
                false,
                {{16, 0, 0x0400}, {16, 18, 0x1234}, {16, 32, 0x777}},
                {{0, 0x0400}, {9, 0x1234}, {16, 0x777}}},
        TftCase{"WindowRegister10InWord12", false, {{16, 0x18, 0x0802}}, {{10, 0x0802}, {12, 0}}},
        TftCase{
            "WindowWord10Halves", false, {{16, 0x14, 0xA55A}}, {{12, 0x5A}, {13, 0xA5}, {10, 0}}},
        TftCase{
            "WindowWord11Fields", false, {{16, 0x16, 0xDCFF}}, {{14, 0xFF}, {11, 4}, {15, 0x1B}}},
        TftCase{"WindowHighByteOfWord11", false, {{8, 0x17, 0x2D}}, {{14, 0}, {11, 5}, {15, 5}}},
        TftCase{"WindowCutAtTheEnd", false, {{32, 0xFFE, 0x12345678}}, {{2047, 0x5678}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TvEncoderControl, ResetPulseFromAnEdgeOrFromPowerUp) {
  TvEncoder tv;
  tv.setControl(false, false, 0);  // held in reset from power-up
  tv.write(0x00, 0x19, TvAccess::I2c);
  tv.setControl(false, true, 100);
  EXPECT_FALSE(tv.lastResetPulseNs().has_value());
  tv.setControl(true, true, 700);
  EXPECT_EQ(tv.lastResetPulseNs(), 700u);
  tv.setControl(false, true, 10'000);
  tv.setControl(false, true, 11'000);  // unchanged: not recorded
  tv.setControl(true, true, 1'010'000);
  tv.write(0x05, 0x31, TvAccess::I2c);
  EXPECT_EQ(tv.controlHistory().size(), 5u);
  EXPECT_EQ(tv.lastResetPulseNs(), 1'000'000u);
  ASSERT_EQ(tv.writes().size(), 2u);
  EXPECT_TRUE(tv.writes()[0].heldInReset);
  EXPECT_FALSE(tv.writes()[1].heldInReset);
}

}  // namespace
}  // namespace orva::board
