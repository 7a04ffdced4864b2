// The TFT interface's two register forms and the TV encoder's control lines, standalone and
// as the board decodes them.
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
  uint32_t offset;
  uint32_t value;
};

struct PortCase {
  const char* name;
  std::vector<Access> writes;
  std::map<uint16_t, uint16_t> registers;  // expected I/O register file entries
  size_t recordedWrites;
};

class TftPortForm : public testing::TestWithParam<PortCase> {};

TEST_P(TftPortForm, DataGoesToTheRegisterLastSelected) {
  TftInterface tft;
  for (const Access& a : GetParam().writes) tft.portWrite(a.width, a.offset, a.value);
  for (const auto& [reg, value] : GetParam().registers) {
    EXPECT_EQ(tft.ioRegister(reg), value) << "register " << reg;
  }
  EXPECT_EQ(tft.ioWrites().size(), GetParam().recordedWrites);
}

INSTANTIATE_TEST_SUITE_P(
    , TftPortForm,
    testing::Values(PortCase{"WordPair", {{16, 0, 3}, {16, 4, 0x0066}}, {{3, 0x0066}, {0, 0}}, 1},
                    PortCase{"IndexKeptForSecondData",
                             {{16, 0, 11}, {16, 4, 5}, {16, 4, 4}, {16, 4, 6}},
                             {{11, 6}},
                             3},
                    PortCase{"HighIndexByte",
                             {{16, 0, 0x0102}, {16, 4, 0xBEEF}},
                             {{0x0102, 0xBEEF}, {2, 0}},
                             1},
                    PortCase{"ByteDataMergesWithTheOtherHalf",
                             {{16, 0, 8}, {16, 4, 0x0258}, {8, 5, 0x03}},
                             {{8, 0x0358}},
                             2},
                    PortCase{"UndecodedLanesIgnored",
                             {{16, 0, 1}, {16, 2, 0x1234}, {16, 6, 0x5678}},
                             {{1, 0}, {0x1234, 0}},
                             0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TftPorts, ReadsReturnTheSelectionAndItsValue) {
  TftInterface tft;
  tft.portWrite(16, 0, 15);
  tft.portWrite(16, 4, 0x001F);
  EXPECT_EQ(tft.portRead(16, 0), 15u);
  EXPECT_EQ(tft.portRead(16, 4), 0x001Fu);
  EXPECT_EQ(tft.portRead(8, 2), 0xFFu);
}

// Window writes (width, offset, value) and the panel registers they leave.
struct WindowCase {
  const char* name;
  std::vector<Access> writes;
  std::map<unsigned, uint16_t> registers;
};

class TftWindowForm : public testing::TestWithParam<WindowCase> {};

TEST_P(TftWindowForm, PackedLayoutDecodes) {
  TftInterface tft;
  for (const Access& a : GetParam().writes) tft.memoryWrite(a.width, a.offset, a.value);
  const auto regs = tft.windowPanelRegisters();
  for (const auto& [reg, value] : GetParam().registers) {
    const uint16_t got = reg < 16 ? regs[reg] : tft.windowRegister(reg);
    EXPECT_EQ(got, value) << "register " << reg;
  }
}

INSTANTIATE_TEST_SUITE_P(
    , TftWindowForm,
    testing::Values(
        WindowCase{"PlainWords", {{16, 0, 0x0400}, {16, 18, 0x1234}}, {{0, 0x0400}, {9, 0x1234}}},
        WindowCase{"Register10InWord12", {{16, 0x18, 0x0802}}, {{10, 0x0802}, {12, 0}, {13, 0}}},
        WindowCase{"Word10Halves", {{16, 0x14, 0xA55A}}, {{12, 0x5A}, {13, 0xA5}, {10, 0}}},
        WindowCase{"Word11AllOnes", {{16, 0x16, 0xFFFF}}, {{14, 0xFF}, {11, 7}, {15, 0x1F}}},
        WindowCase{"Register11Is4", {{16, 0x16, 0xFCFF}}, {{14, 0xFF}, {11, 4}, {15, 0x1F}}},
        WindowCase{"Register15Is1B", {{16, 0x16, 0xDCFF}}, {{14, 0xFF}, {11, 4}, {15, 0x1B}}},
        WindowCase{"HighByteOfWord11", {{8, 0x17, 0x2D}}, {{14, 0}, {11, 5}, {15, 5}}},
        WindowCase{"WordsAbove16", {{16, 32, 0x0777}, {16, 26, 0x9999}}, {{16, 0x0777}}},
        WindowCase{"CutAtTheEnd", {{32, 0xFFE, 0x12345678}}, {{2047, 0x5678}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TftWindow, PackedRegisterHistoryFollowsItsField) {
  TftInterface tft;
  // A panel load's register 15, then the power-up sequence on register 11.
  const std::vector<std::pair<uint64_t, uint16_t>> word11 = {
      {100, 0xD800}, {200, 0xDD00}, {15'000'300, 0xDC00}, {20'000'400, 0xDE00}};
  for (const auto& [time, value] : word11) {
    tft.setTime(time);
    tft.memoryWrite(16, 0x16, value);
  }
  std::vector<std::pair<uint64_t, uint16_t>> reg11;
  for (const auto& w : tft.history(11)) reg11.emplace_back(w.timeNs, w.value);
  EXPECT_EQ(reg11, (std::vector<std::pair<uint64_t, uint16_t>>{
                       {200, 5}, {15'000'300, 4}, {20'000'400, 6}}));
  ASSERT_EQ(tft.history(15).size(), 1u);
  EXPECT_EQ(tft.history(15)[0].value, 0x1B);
  EXPECT_EQ(tft.windowWrites().size(), 4u);
}

TEST(TvEncoderControl, MeasuresTheResetPulseAndFlagsWritesInReset) {
  TvEncoder tv;
  tv.setControl(false, false, 0);  // power-up: held in reset
  tv.write(0x00, 0x19, TvAccess::I2c);
  tv.setControl(true, false, 5'000);
  tv.setControl(false, false, 10'000);
  tv.setControl(false, false, 11'000);  // no change: not recorded
  tv.setControl(true, false, 1'010'000);
  tv.setControl(true, true, 1'012'000);
  tv.write(0x05, 0x31, TvAccess::I2c);
  EXPECT_EQ(tv.controlHistory().size(), 5u);
  ASSERT_TRUE(tv.lastResetPulseNs().has_value());
  EXPECT_EQ(*tv.lastResetPulseNs(), 1'000'000u);
  ASSERT_EQ(tv.writes().size(), 2u);
  EXPECT_TRUE(tv.writes()[0].heldInReset);
  EXPECT_FALSE(tv.writes()[1].heldInReset);
  EXPECT_EQ(tv.read(0x05), 0x31);
}

TEST(TvEncoderControl, PulseFromPowerUpAndNoneWhileTheLineNeverRose) {
  TvEncoder tv;
  tv.setControl(false, false, 0);
  tv.setControl(false, true, 100);
  EXPECT_FALSE(tv.lastResetPulseNs().has_value());
  tv.setControl(true, true, 700);
  EXPECT_EQ(tv.lastResetPulseNs(), 700u);
}

// The external encoder on Pinto, reached by bit-banging chipset register 0x7B through the
// configuration ports: read-modify-write per line action, as the bus master does.
class PintoBus {
 public:
  explicit PintoBus(Board& b) : b_(b) {}
  void set(uint8_t bitMask, bool on) {
    b_.out(8, 0x22, 0x7B);
    const uint8_t v = static_cast<uint8_t>(b_.in(8, 0x23));
    b_.out(8, 0x22, 0x7B);
    b_.out(8, 0x23, on ? (v | bitMask) : (v & ~bitMask));
  }
  void sda(bool on) { set(0x04, on); }
  void scl(bool on) { set(0x08, on); }
  void writeRegister(uint8_t device, uint8_t reg, uint8_t value) {
    sda(false), scl(false);
    for (uint8_t byte : {device, reg, value}) {
      for (int b = 7; b >= 0; --b) sda((byte >> b) & 1), scl(true), scl(false);
      sda(true), scl(true), sda(false), scl(false);
    }
    sda(false), scl(true), sda(true);
  }

 private:
  Board& b_;
};

TEST(BoardTvEncoder, PintoResetPulseAndI2cWritesReachTheEncoder) {
  BoardConfig config;
  config.variant = Variant::Pinto;
  Board board(config);
  PintoBus bus(board);
  for (int round = 0; round < 2; ++round) {  // the line is low from power-up the first time
    bus.set(0x02, false);
    board.stall(1000);
    bus.set(0x02, true);
    bus.set(0x40, true);
  }
  bus.writeRegister(0x40, 0x00, 0x99);
  bus.writeRegister(0x40, 0x05, 0x31);

  const TvEncoder& tv = board.tvEncoder();
  ASSERT_TRUE(tv.lastResetPulseNs().has_value());
  EXPECT_GE(*tv.lastResetPulseNs(), 1'000'000u);
  EXPECT_LT(*tv.lastResetPulseNs(), 1'010'000u);
  EXPECT_TRUE(tv.resetLine());
  EXPECT_TRUE(tv.enableLine());
  ASSERT_EQ(tv.writes().size(), 2u);
  EXPECT_EQ(tv.writes()[1].reg, 0x05);
  EXPECT_EQ(tv.writes()[1].how, TvAccess::I2c);
  EXPECT_FALSE(tv.writes()[0].heldInReset);
  EXPECT_EQ(tv.read(0x00), 0x99);
  EXPECT_EQ(board.i2c().transactions().size(), 2u);
  EXPECT_TRUE(board.i2c().missingAcks().empty());
}

TEST(BoardTvEncoder, AbsentPintoEncoderAcknowledgesNothing) {
  BoardConfig config;
  config.variant = Variant::Pinto;
  config.tvEncoderPresent = false;
  Board board(config);
  PintoBus bus(board);
  bus.writeRegister(0x40, 0x00, 0x99);
  EXPECT_TRUE(board.tvEncoder().writes().empty());
  EXPECT_EQ(board.i2c().missingAcks().size(), 3u);
}

}  // namespace
}  // namespace orva::board
