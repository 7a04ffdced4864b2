// A TFT interface base strapped over ports the chip decodes at fixed addresses (found by the
// fuzzer: a Mistral board with its TFT ports at 0x3C1, inside the VGA registers). The fixed
// devices keep their ports; the driver must neither lose its VGA accesses to the panel nor
// write panel registers into the VGA core.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "board.h"
#include "orva_test.h"
#include "tft.h"

namespace orva::test {
namespace {

// Which device answers an access on a Mistral board with its TFT block at `base`.
struct Overlap {
  const char* name;
  uint16_t base;
  uint32_t port;
  unsigned width;
  bool tft;  // the TFT interface answers (its selected register becomes the value)
};

class TftPortDecode : public testing::TestWithParam<Overlap> {};

TEST_P(TftPortDecode, FixedPortsWin) {
  const Overlap& c = GetParam();
  board::BoardConfig config;
  config.variant = Variant::Mistral;
  config.tftBasePort = c.base;
  board::Board board(config);
  const uint8_t misc = board.miscOutput();
  board.out(c.width, c.port, 0x0207);
  EXPECT_EQ(board.tft().selectedRegister(), c.tft ? 0x0207 : 0);
  if (!c.tft && c.port <= 0x3C2 && c.port + c.width / 8 > 0x3C2)  // the byte for 0x3C2
    EXPECT_EQ(board.miscOutput(), c.port == 0x3C2 ? 0x07 : 0x02);
  else
    EXPECT_EQ(board.miscOutput(), misc);
}

INSTANTIATE_TEST_SUITE_P(, TftPortDecode,
                         testing::Values(Overlap{"Default", 0x0D00, 0x0D00, 16, true},
                                         Overlap{"InsideVgaWord", 0x03C1, 0x03C1, 16, false},
                                         Overlap{"InsideVgaMisc", 0x03C1, 0x03C2, 8, false},
                                         Overlap{"BelowVgaBlock", 0x03AC, 0x03AC, 16, true},
                                         Overlap{"ReachingVgaBlock", 0x03AC, 0x03AF, 16, false},
                                         Overlap{"OverConfigPair", 0x0020, 0x0022, 16, false},
                                         Overlap{"BesideConfigPair", 0x0020, 0x0020, 16, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Discovery on such boards: the driver reaches the VGA core (no access goes astray), and a
// TFT block it cannot reach without touching the chip's own ports is a range it cannot use.
struct Strap {
  std::string name;
  uint16_t base;
  bool usable;
};

// The ports the chip decodes at fixed addresses, as (first port, count).
constexpr std::pair<uint16_t, uint16_t> kFixedPorts[] = {
    {0x22, 2}, {0x94, 1}, {0x102, 1}, {0xEA, 2}, {0x370, 2}, {0x3B0, 0x30}, {0xCF8, 8}};

// A block of eight TFT ports at `base` is usable when it reaches none of them.
bool reachesFixedPort(uint16_t base) {
  for (const auto& [first, count] : kFixedPorts) {
    if (base < first + count && first < base + board::TftInterface::kPortBytes) return true;
  }
  return false;
}

// The default strap, the one the fuzzer found, and one on each side of every
// fixed range's edges: just below it, over its first port, over its last port
// and just above it.
std::vector<Strap> straps() {
  std::vector<Strap> out{{"Default", 0x0D00, true}, {"InsideVga", 0x03C1, false}};
  constexpr unsigned kBlock = board::TftInterface::kPortBytes;
  for (const auto& [first, count] : kFixedPorts) {
    const unsigned last = first + count - 1u;
    const std::pair<const char*, unsigned> edges[] = {{"Below", first - kBlock},
                                                      {"OverFirst", first - kBlock + 1},
                                                      {"OverLast", last},
                                                      {"Above", last + 1}};
    char hex[8];
    std::snprintf(hex, sizeof hex, "%03X", first);
    for (const auto& [edge, base] : edges) {
      const auto b = static_cast<uint16_t>(base);
      out.push_back({std::string(edge) + hex, b, !reachesFixedPort(b)});
    }
  }
  return out;
}

class TftStrap : public testing::TestWithParam<Strap> {};

TEST_P(TftStrap, PanelProgrammedOrAdapterRefused) {
  const Strap& c = GetParam();
  auto session =
      Boot({.variant = Variant::Mistral, .output = "TFTPHILIPSHLD1201", .tftPorts = c.base});
  EXPECT_EQ(session->trace().counters().undecoded, 0u);
  if (!c.usable) {
    EXPECT_FALSE(session->started());
    EXPECT_EQ(session->driverEntryStatus(), 0xC000000Du);  // STATUS_INVALID_PARAMETER
    return;
  }
  ASSERT_TRUE(session->started());
  const auto modes = platform::queryModes(*session).value;
  ASSERT_FALSE(modes.empty());
  const uint8_t misc = session->board().miscOutput();
  ASSERT_EQ(platform::setMode(*session, modes.front().ModeIndex).status, 0u);
  EXPECT_EQ(session->board().tft().ioPanelRegisters()[0], 0x0320);  // the panel's width
  EXPECT_EQ(session->board().miscOutput() & 0x01, misc & 0x01);     // CRTC still at 0x3D4
  EXPECT_EQ(session->trace().counters().undecoded, 0u);
}

INSTANTIATE_TEST_SUITE_P(, TftStrap, testing::ValuesIn(straps()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace orva::test
