// TV encoder start-up on each chip variant: what the encoder received, by
// which path, and the S-VHS and flicker-filter bits left in the CRTC.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "board.h"
#include "i2c_slave.h"
#include "orva/session.h"
#include "tv_encoder.h"

namespace {

using orva::board::Board;
using orva::board::TraceEvent;
using orva::board::TvAccess;
using orva::board::Variant;
using orva::platform::Session;
using orva::platform::SessionOptions;

template <typename F>
F* need(const Session& session, const char* name) {
  F* f = session.driverSymbol<F>(name);
  if (f == nullptr) throw std::runtime_error(std::string("driver symbol missing: ") + name);
  return f;
}

std::unique_ptr<Session> boot(Variant variant) {
  SessionOptions options;
  options.board.variant = variant;
  auto session = std::make_unique<Session>(options);
  if (!session->started()) throw std::runtime_error("adapter not started");
  return session;
}

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
    {"BramblePalOtherOutput",    Variant::Bramble,   0x201, TvAccess::Io,      kPalBramble,         0xFF, 0xF7, 0x00, 0x06},
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
  auto session = boot(c.variant);
  Board& board = session->board();
  board.presetCrtc(0x42, c.crtc42Before);
  board.presetCrtc(0x40, c.crtc40Before);
  board.tvEncoder().clearLog();
  const uint64_t transactionsBefore = board.i2c().transactions().size();

  need<void(uint32_t)>(*session, "HWTVE_Init")(c.format);

  Writes received;
  for (const orva::board::TvWrite& w : board.tvEncoder().writes()) {
    received.emplace_back(w.reg, w.value);
    if (c.access) {
      EXPECT_EQ(w.how, *c.access) << "register 0x" << std::hex << int(w.reg);
    }
    EXPECT_FALSE(w.heldInReset);
  }
  EXPECT_EQ(received, c.writes);
  EXPECT_EQ(board.crtc(0x42), c.crtc42After);
  EXPECT_EQ(board.crtc(0x40), c.crtc40After);

  // Over I2C, one complete acknowledged transfer to device byte 0x40 per register.
  const auto& transactions = board.i2c().transactions();
  if (c.access == TvAccess::I2c) {
    ASSERT_EQ(transactions.size() - transactionsBefore, c.writes.size());
    for (size_t n = 0; n < c.writes.size(); n++) {
      const orva::board::I2cTransaction& t = transactions[transactionsBefore + n];
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
  auto session = boot(Variant::Pinto);
  Board& board = session->board();
  auto* init = need<void(uint32_t)>(*session, "HWTVE_Init");
  board.presetConfig(0x7B, 0x0C);  // bus idle, encoder out of reset, not enabled

  for (int start = 0; start < 2; start++) {
    SCOPED_TRACE(start);
    board.tvEncoder().clearLog();
    board.trace().clear();
    init(0x002);

    const auto& control = board.tvEncoder().controlHistory();
    const auto& writes = board.tvEncoder().writes();
    ASSERT_FALSE(writes.empty());
    // Reset low, then high, then enable: all before the first register write.
    std::vector<uint64_t> fallTimes;
    bool resetBefore = true;  // out of reset before each start
    for (const orva::board::TvControlSample& sample : control) {
      if (resetBefore && !sample.reset) fallTimes.push_back(sample.timeNs);
      resetBefore = sample.reset;
    }
    ASSERT_EQ(fallTimes.size(), 1u);
    const std::optional<uint64_t> pulse = board.tvEncoder().lastResetPulseNs();
    ASSERT_TRUE(pulse.has_value());
    EXPECT_GE(*pulse, 1000000u);
    EXPECT_LT(*pulse, 1100000u);
    EXPECT_LT(fallTimes[0] + *pulse, writes.front().timeNs);
    // Released from reset first, enabled in a step of its own after that.
    if (start == 0) {
      std::optional<uint64_t> released, enabled;
      bool resetLevel = true, enableLevel = false;
      for (const orva::board::TvControlSample& sample : control) {
        if (!resetLevel && sample.reset) released = sample.timeNs;
        if (!enableLevel && sample.enable) enabled = sample.timeNs;
        resetLevel = sample.reset;
        enableLevel = sample.enable;
      }
      ASSERT_TRUE(released && enabled);
      EXPECT_LT(*released, *enabled);
    }
    EXPECT_TRUE(board.tvEncoder().resetLine());
    EXPECT_TRUE(board.tvEncoder().enableLine());
    EXPECT_EQ(board.config(0x7B) & 0x42, 0x42);
    // The bus lines are left idle.
    EXPECT_EQ(board.config(0x7B) & 0x0C, 0x0C);

    // The only stall is the reset pulse.
    std::vector<uint64_t> stalls;
    for (const TraceEvent& e : board.trace().events()) {
      if (e.op == TraceEvent::Op::Stall) stalls.push_back(e.value);
    }
    EXPECT_EQ(stalls, (std::vector<uint64_t>{1000}));
  }
}

// The read half of each access method, after a start has written register 0x06.
struct ReadCase {
  Variant variant;
  uint8_t expected;
};

TEST(TvEncoderRead, ReadAccessFollowsTheMethod) {
  const ReadCase cases[] = {{Variant::Bramble, 0x90},
                            {Variant::BrambleRX, 0x90},
                            {Variant::Pinto, 0xFF},  // no reads over I2C
                            {Variant::Kestrel, 0xFF}};
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(std::string(orva::board::variantName(c.variant)));
    auto session = boot(c.variant);
    auto* read = session->driverSymbol<uint8_t (*)(uint8_t)>("HWTVE_pfctReadAccess");
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(*read, nullptr);  // chosen by the first start
    need<void(uint32_t)>(*session, "HWTVE_Init")(0x001);
    ASSERT_NE(*read, nullptr);
    EXPECT_EQ((*read)(0x06), c.expected);
  }
}

}  // namespace
