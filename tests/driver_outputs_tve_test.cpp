// TV encoder start-up on each chip variant: what the encoder received, by
// which path, and the S-VHS and flicker-filter bits left in the CRTC.
#include <gtest/gtest.h>

#include "i2c_slave.h"
#include "orva_test.h"
#include "outputs/hwtve.h"
#include "tv_encoder.h"

namespace orva::test {
namespace {

using board::TvAccess;

using Writes = std::vector<std::pair<uint8_t, uint8_t>>;

struct TvCase {
  const char* name;
  Variant variant;
  uint32_t format;
  std::optional<TvAccess> access;  // none: no encoder is reached
  Writes writes;
  uint8_t crtc42Before, crtc42After;
  uint8_t crtc40Before, crtc40After;
};

// The sequences the encoder should receive, register and value in order.
const Writes kPalBramble = {{0x00, 0x09}, {0x05, 0x01}, {0x01, 0xF4}, {0x02, 0x61},
                            {0x03, 0xC0}, {0x04, 0x00}, {0x0A, 0x2A}, {0x0B, 0x09},
                            {0x0C, 0x8B}, {0x02, 0x28}, {0x06, 0x90}};
const Writes kPalPinto = {{0x00, 0x19}, {0x05, 0x01}, {0x01, 0xF4}, {0x02, 0x61},
                          {0x03, 0xC0}, {0x04, 0x00}, {0x0A, 0x2A}, {0x0B, 0x09},
                          {0x0C, 0x8B}, {0x02, 0x28}, {0x06, 0x90}};
const Writes kNtsc26937BrambleRx = {{0x00, 0x94}, {0x05, 0x80}, {0x01, 0x14}, {0x03, 0x80},
                                    {0x04, 0xC8}, {0x0A, 0x22}, {0x0B, 0x04}, {0x0C, 0xF8},
                                    {0x07, 0x00}, {0x08, 0x20}, {0x02, 0x28}, {0x06, 0x90}};
const Writes kNtscBrambleL = {{0x00, 0x91}, {0x05, 0x01}, {0x01, 0x14}, {0x03, 0x80}, {0x04, 0x80},
                              {0x0A, 0x21}, {0x0B, 0xF0}, {0x0C, 0x7C}, {0x02, 0x28}, {0x06, 0x90}};
const Writes kNtsc26937BrambleL = {{0x00, 0x91}, {0x05, 0x01}, {0x01, 0x14}, {0x03, 0x80},
                                   {0x04, 0x80}, {0x0A, 0x22}, {0x0B, 0x04}, {0x0C, 0xC9},
                                   {0x02, 0x28}, {0x06, 0x90}};
const Writes kNtscPinto = {{0x00, 0x99}, {0x05, 0x31}, {0x01, 0x14}, {0x03, 0x80}, {0x04, 0x80},
                           {0x0A, 0x21}, {0x0B, 0xF0}, {0x0C, 0x7C}, {0x02, 0x28}, {0x06, 0x90}};
const Writes kTail = {{0x02, 0x28}, {0x06, 0x90}};
const Writes kTailBrambleRx = {{0x07, 0x00}, {0x08, 0x20}, {0x02, 0x28}, {0x06, 0x90}};

// clang-format off
const TvCase kCases[] = {
    // name                      variant             format access             writes               0x42 before/after 0x40 before/after
    {"BramblePal",               Variant::Bramble,   0x001, TvAccess::Io,      kPalBramble,         0x08, 0x00, 0x00, 0x06},
    {"BrambleRxNtsc26937",       Variant::BrambleRX, 0x003, TvAccess::Memory,  kNtsc26937BrambleRx, 0x00, 0x00, 0x00, 0x06},
    {"BrambleLNtsc",             Variant::BrambleL,  0x002, TvAccess::Memory,  kNtscBrambleL,       0x00, 0x00, 0x00, 0x06},
    {"BrambleLNtsc26937",        Variant::BrambleL,  0x003, TvAccess::Memory,  kNtsc26937BrambleL,  0x00, 0x00, 0x00, 0x06},
    {"PintoNtsc",                Variant::Pinto,     0x002, TvAccess::I2c,     kNtscPinto,          0x00, 0x00, 0x00, 0x06},
    {"PintoPal",                 Variant::Pinto,     0x001, TvAccess::I2c,     kPalPinto,           0x00, 0x00, 0x00, 0x06},
    // S-VHS in bits 8-15: exactly 0x01 selects it; other bits of 0x42 stay.
    {"BramblePalSvhs",           Variant::Bramble,   0x101, TvAccess::Io,      kPalBramble,         0x00, 0x08, 0x00, 0x06},
    {"BramblePalOtherOutput",    Variant::Bramble,   0x301, TvAccess::Io,      kPalBramble,         0xFF, 0xF7, 0x00, 0x06},
    // NTSC from the internal clock: the common tail alone.
    {"BrambleInternalClock",     Variant::Bramble,   0x004, TvAccess::Io,      kTail,               0x00, 0x00, 0x00, 0x06},
    {"BrambleRxInternalClock",   Variant::BrambleRX, 0x004, TvAccess::Memory,  kTailBrambleRx,      0x00, 0x00, 0x00, 0x06},
    // No encoder: nothing reaches it, the CRTC bits are set all the same; the
    // filter level replaces bits 0-2 only.
    {"KestrelPal",               Variant::Kestrel,   0x101, std::nullopt,      {},                  0x00, 0x08, 0xFF, 0xFE},
    {"MistralNtsc",              Variant::Mistral,   0x002, std::nullopt,      {},                  0x08, 0x00, 0x31, 0x36},
};
// clang-format on

class TvEncoderStart : public testing::TestWithParam<TvCase> {};

TEST_P(TvEncoderStart, EncoderReceivesTheFormatSequence) {
  const TvCase& c = GetParam();
  auto session = Boot(c.variant);
  board::Board& board = session->board();
  board.presetCrtc(0x42, c.crtc42Before);
  board.presetCrtc(0x40, c.crtc40Before);
  board.tvEncoder().clearLog();
  auto* read = Sym<UCHAR (*)(UCHAR)>(*session, "HWTVE_pfctReadAccess");
  EXPECT_EQ(*read, nullptr);  // chosen by the first start
  const uint64_t transactionsBefore = board.i2c().transactions().size();

  DRIVER_FN(*session, HWTVE_Init)(c.format);

  Writes received;
  for (const board::TvWrite& w : board.tvEncoder().writes()) {
    received.emplace_back(w.reg, w.value);
    if (c.access) {
      EXPECT_EQ(w.how, *c.access) << "register 0x" << std::hex << int(w.reg);
    }
    EXPECT_FALSE(w.heldInReset);
  }
  EXPECT_EQ(received, c.writes);
  EXPECT_EQ(board.crtc(0x42), c.crtc42After);
  EXPECT_EQ(board.crtc(0x40), c.crtc40After);
  // The read half of the access method: no reads over I2C or without an encoder.
  ASSERT_NE(*read, nullptr);
  const bool readable = c.access == TvAccess::Io || c.access == TvAccess::Memory;
  EXPECT_EQ((*read)(0x06), readable ? 0x90 : 0xFF);

  // Over I2C, one complete acknowledged transfer to device byte 0x40 per register.
  const auto& transactions = board.i2c().transactions();
  if (c.access == TvAccess::I2c) {
    ASSERT_EQ(transactions.size() - transactionsBefore, c.writes.size());
    for (size_t n = 0; n < c.writes.size(); n++) {
      const board::I2cTransaction& t = transactions[transactionsBefore + n];
      EXPECT_EQ(t.address, 0x40);
      EXPECT_TRUE(t.addressAcked);
      EXPECT_TRUE(t.endedByStop);
      EXPECT_EQ(t.data, (std::vector<uint8_t>{c.writes[n].first, c.writes[n].second}));
    }
  } else {
    EXPECT_EQ(transactions.size(), transactionsBefore);
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, TvEncoderStart, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<TvCase>& info) {
                           return info.param.name;
                         });

// The external encoder is held in reset for 1000 us, then released and
// enabled, before any register write; and again at every start.
TEST(TvEncoderPinto, ResetPulsePrecedesEveryStart) {
  auto session = Boot(Variant::Pinto);
  board::Board& board = session->board();
  board.presetConfig(0x7B, 0x0C);  // bus idle, encoder out of reset, not enabled
  for (int start = 0; start < 2; start++) {
    SCOPED_TRACE(start);
    board.tvEncoder().clearLog();
    session->trace().clear();
    DRIVER_FN(*session, HWTVE_Init)(0x002);

    const auto& writes = board.tvEncoder().writes();
    ASSERT_FALSE(writes.empty());
    std::vector<uint64_t> falls;
    std::optional<uint64_t> released, enabled;
    bool reset = true, enable = start > 0;  // out of reset before each start
    for (const board::TvControlSample& sample : board.tvEncoder().controlHistory()) {
      if (reset && !sample.reset) falls.push_back(sample.timeNs);
      if (!reset && sample.reset) released = sample.timeNs;
      if (!enable && sample.enable) enabled = sample.timeNs;
      reset = sample.reset, enable = sample.enable;
    }
    ASSERT_EQ(falls.size(), 1u);
    const std::optional<uint64_t> pulse = board.tvEncoder().lastResetPulseNs();
    ASSERT_TRUE(pulse.has_value());
    EXPECT_GE(*pulse, 1000000u);
    EXPECT_LT(*pulse, 1100000u);
    EXPECT_LT(falls[0] + *pulse, writes.front().timeNs);
    // Released from reset first, enabled in a step of its own after that.
    ASSERT_TRUE(released);
    if (start == 0) {
      EXPECT_LT(*released, enabled.value_or(0));
    }
    EXPECT_TRUE(board.tvEncoder().resetLine() && board.tvEncoder().enableLine());
    EXPECT_EQ(board.config(0x7B) & 0x4E, 0x4E);  // enabled, out of reset, bus lines idle
    EXPECT_EQ(Stalls(*session), (std::vector<uint64_t>{1000}));  // the reset pulse only
  }
}

}  // namespace
}  // namespace orva::test
