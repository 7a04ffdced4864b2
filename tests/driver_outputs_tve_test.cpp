// TV encoder start-up on each chip variant: what the encoder received, by
// which path, and the S-VHS and flicker-filter bits left in the CRTC.
#include <gtest/gtest.h>

#include <algorithm>

#include "i2c_slave.h"
#include "orva_test.h"
#include "outputs/hwtve.h"
#include "reference_tables.h"
#include "tv_encoder.h"

namespace orva::test {
namespace {

using board::TvAccess;

constexpr uint8_t kFlickerLevel = 6;

namespace ref = orva::reference;
using Writes = std::vector<std::pair<uint8_t, uint8_t>>;

struct TvCase {
  std::string name;
  Variant variant;
  uint32_t format;
  uint8_t crtc42Before = 0, crtc42After = 0;
  uint8_t crtc40Before = 0, crtc40After = kFlickerLevel;
};

// What a variant's encoder should receive for a format argument, and how.
struct Expected {
  std::optional<TvAccess> access;  // none: no encoder is reached
  Writes writes;
  Writes held;  // the encoder's registers afterwards
};

Expected ExpectedFor(Variant variant, uint32_t format) {
  const size_t n =
      std::find(std::begin(board::kAllVariants), std::end(board::kAllVariants), variant) -
      std::begin(board::kAllVariants);
  const ref::EncoderVariant& v = ref::kEncoderVariants[n];
  uint32_t number = format & 0xFF;
  if (number < 1 || number > 3) number = 4;
  Expected e;
  if (v.access == ref::EncoderAccess::None) return e;
  e.access = v.access == ref::EncoderAccess::Io       ? TvAccess::Io
             : v.access == ref::EncoderAccess::Memory ? TvAccess::Memory
                                                      : TvAccess::I2c;
  for (const ref::EncoderProgram& p : ref::kEncoderPrograms) {
    if (p.format != number || p.column != v.column) continue;
    for (const ref::EncoderWrite& w : p.writes) e.writes.emplace_back(w.reg, w.value);
    for (const ref::EncoderWrite& w : p.held) e.held.emplace_back(w.reg, w.value);
  }
  return e;
}

// Every variant with every format (4 and 5: only the common tail), then the S-VHS and
// flicker-filter bits of the CRTC.
std::vector<TvCase> Cases() {
  std::vector<TvCase> cases;
  for (Variant variant : board::kAllVariants) {
    for (uint32_t format : {1u, 2u, 3u, 4u, 5u}) {
      std::string name(board::variantName(variant));
      std::erase(name, '-');
      cases.push_back({name + "Format" + std::to_string(format), variant, format});
    }
  }
  // clang-format off
  const TvCase special[] = {
      // S-VHS in bits 8-15: exactly 0x01 selects it; other bits of 0x42 stay.
      {"BramblePalNormal",      Variant::Bramble,   0x001, 0x08, 0x00, 0x00, 0x06},
      {"BramblePalSvhs",        Variant::Bramble,   0x101, 0x00, 0x08, 0x00, 0x06},
      {"BramblePalOtherOutput", Variant::Bramble,   0x301, 0xFF, 0xF7, 0x00, 0x06},
      // No encoder: the CRTC bits are set all the same; the filter level replaces bits 0-2.
      {"KestrelPal",            Variant::Kestrel,   0x101, 0x00, 0x08, 0xFF, 0xFE},
      {"MistralNtsc",           Variant::Mistral,   0x002, 0x08, 0x00, 0x31, 0x36},
  };
  // clang-format on
  cases.insert(cases.end(), std::begin(special), std::end(special));
  return cases;
}

class TvEncoderStart : public testing::TestWithParam<TvCase> {};

TEST_P(TvEncoderStart, EncoderReceivesTheFormatSequence) {
  const TvCase& c = GetParam();
  const Expected e = ExpectedFor(c.variant, c.format);
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
    if (e.access) {
      EXPECT_EQ(w.how, *e.access) << "register 0x" << std::hex << int(w.reg);
    }
    EXPECT_FALSE(w.heldInReset);
  }
  EXPECT_EQ(received, e.writes);
  for (const auto& [reg, value] : e.held) {
    EXPECT_EQ(board.tvEncoder().read(reg), value) << "register 0x" << std::hex << int(reg);
  }
  EXPECT_EQ(board.crtc(0x42), c.crtc42After);
  EXPECT_EQ(board.crtc(0x40), c.crtc40After);
  // The read half of the access method: no reads over I2C or without an encoder.
  ASSERT_NE(*read, nullptr);
  const bool readable = e.access == TvAccess::Io || e.access == TvAccess::Memory;
  EXPECT_EQ((*read)(0x06), readable ? 0x90 : 0xFF);

  // Over I2C, one complete acknowledged transfer to device byte 0x40 per register.
  const auto& transactions = board.i2c().transactions();
  if (e.access == TvAccess::I2c) {
    ASSERT_EQ(transactions.size() - transactionsBefore, e.writes.size());
    for (size_t n = 0; n < e.writes.size(); n++) {
      const board::I2cTransaction& t = transactions[transactionsBefore + n];
      EXPECT_EQ(t.address, 0x40);
      EXPECT_TRUE(t.addressAcked);
      EXPECT_TRUE(t.endedByStop);
      EXPECT_EQ(t.data, (std::vector<uint8_t>{e.writes[n].first, e.writes[n].second}));
    }
  } else {
    EXPECT_EQ(transactions.size(), transactionsBefore);
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, TvEncoderStart, testing::ValuesIn(Cases()),
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
    EXPECT_EQ(board.config(0x7B), 0x4E);  // enabled, out of reset, bus lines idle, no other bit
    EXPECT_EQ(Stalls(*session), (std::vector<uint64_t>{1000}));  // the reset pulse only
  }
}

}  // namespace
}  // namespace orva::test
