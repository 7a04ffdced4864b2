// Adapter discovery as the board and the registry saw it: the ranges mapped and
// their order, the VGA wake-up, chip identification, the output keyword and the
// values published.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>

#include "hwgeneric/hwgeneric.h"
#include "orva_test.h"
#include "reference_tables.h"
#include "reghost/reghost.h"

namespace orva::test {
namespace {

struct Layout {
  uint8_t crtc20;
  uint32_t gbase, memory;
  uint16_t tftPorts;
};

class DiscoveryMaps : public ::testing::TestWithParam<Layout> {};

// Fixed ranges first in table order, then the ones that depend on the graphics
// base, the chipset's TFT port base and the memory size.
TEST_P(DiscoveryMaps, MapsEveryRangeOnceInOrderAtItsRelocatedAddress) {
  const Layout& p = GetParam();
  auto session = Boot({.memory = p.memory, .gbase = p.crtc20, .tftPorts = p.tftPorts});
  // G: the graphics base, M: the memory size, T: the chipset's TFT port base.
  std::string maps;
  for (const auto& e : Events(*session, {Op::Map})) {
    char text[48];
    const auto address = (unsigned long long)e.address, length = (unsigned long long)e.value;
    if (e.io && e.address == p.tftPorts && e.value == 8) {
      std::snprintf(text, sizeof text, "io T %llX|", length);
    } else if (e.io) {
      std::snprintf(text, sizeof text, "io %llX %llX|", address, length);
    } else if (e.address >= p.gbase && e.address < p.gbase + 0x1000000ull) {
      std::snprintf(text, sizeof text, "mem G+%llX %s|", address - p.gbase,
                    e.value == p.memory ? "M" : std::to_string(e.value).c_str());
    } else {
      std::snprintf(text, sizeof text, "mem %llX %llX|", address, length);
    }
    maps += text;
  }
  EXPECT_EQ(maps,
            "io 80 1|io 3E0 2|mem D0000 10000|io 3F8 8|io 2F8 8|io 40 4|io 61 1|io 60 1|io 64 1|"
            "io 1F0 8|io 3F0 8|io 170 8|io 370 8|io 3DA 1|io 94 1|io 102 1|io 3C3 1|io 3C2 1|"
            "io 3CC 1|io 3C0 2|io 3C6 1|io 3C8 1|io 3C7 1|io 3C9 1|io 3C4 1|io 22 2|io 3CE 2|"
            "io 3D4 2|io EA 2|io 370 2|io 378 2|io CF8 8|mem A0000 20000|io T 8|"
            "mem G+400000 262144|mem G+4D4000 4096|mem G+4D5000 4096|mem G+4CC000 4096|"
            "mem G+C00000 4194304|mem G+600000 262144|mem G+480000 262144|mem G+4CA000 4096|"
            "mem G+800000 M|mem G+0 M|");
  EXPECT_EQ(Extension(*session).PhysicalFrameBuffer.QuadPart,
            static_cast<int64_t>(p.gbase + 0x800000));
  EXPECT_EQ(Extension(*session).ulFrameBufferLength, p.memory);
  // Each row keeps its kind, pass and group mask.
  const auto* rows = Sym<const REGHOST_RESOURCE>(*session, "REGHOST_ChipsetResources");
  for (size_t row = 0; row < reference::kResources.size(); ++row) {
    EXPECT_EQ(rows[row].ulFlags, reference::kResources[row].flags) << "row " << row;
  }
}

INSTANTIATE_TEST_SUITE_P(GraphicsBaseAndMemory, DiscoveryMaps,
                         ::testing::Values(Layout{0x00, 0x08000000, 6u << 20, 0x0D00},
                                           Layout{0x10, 0x18000000, 2u << 20, 0x0D00},
                                           Layout{0x30, 0x38000000, 128u << 10, 0x0D00},
                                           Layout{0x38, 0x38000000, 8064u << 10, 0x1234}));

// Between the two mapping passes: decode enable, VGA wake-up, clock and colour
// addressing, extension unlocks, then graphics base, TFT ports and memory size.
TEST(Discovery, WakesAndUnlocksTheVgaCoreInOrder) {
  auto session = Boot(Variant::Bramble);
  std::vector<TraceEvent> ports;
  for (const TraceEvent& e : Events(*session, {Op::In, Op::Out, Op::Map})) {
    if (e.op != Op::Map) {
      ports.push_back(e);
    } else if (!ports.empty()) {
      break;  // the second mapping pass begins
    }
  }
  const int R = -1;  // a read, or a write derived from the read before it
  const std::vector<std::pair<uint32_t, int>> expected = {
      {0x22, 0x29},  {0x23, R},     {0x22, 0x29},  {0x23, R},  {0x94, 0x00},  {0x102, 0x01},
      {0x94, 0x28},  {0x3C3, 0x01}, {0x3CC, R},    {0x3C2, R}, {0x3C4, 0x06}, {0x3C5, 0x57},
      {0x3D4, 0x1F}, {0x3D5, R},    {0x3D4, 0x1F}, {0x3D5, R}, {0x3D4, 0x1A}, {0x3D5, R},
      {0x3D4, 0x1A}, {0x3D5, R},    {0x3D4, 0x20}, {0x3D5, R}, {0x22, 0x1D},  {0x23, R},
      {0x23, R},     {0x22, 0x36},  {0x23, R}};
  ASSERT_EQ(ports.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(ports[i].address, expected[i].first) << i;
    if (expected[i].second != R) {
      EXPECT_EQ(ports[i].value, uint64_t(expected[i].second)) << i;
    }
  }
  // Read-modify-writes: (read index, write index, bits set, bits cleared).
  for (auto [read, write, set, cleared] : {std::array<uint64_t, 4>{1, 3, 0x03, 0},
                                           {8, 9, 0x03, 0},
                                           {13, 15, 0x80, 0},
                                           {17, 19, 0x00, 0x01}}) {
    EXPECT_EQ(ports[write].value, (ports[read].value | set) & ~cleared) << write;
  }
}

TEST(Discovery, MemorySizeIgnoresTheTopBitsOfItsRegister) {
  auto session = Boot({.memory = 2u << 20, .start = false});
  session->board().out(8, 0x22, 0x36);
  session->board().out(8, 0x23, 0xD0);  // 16 units of 128 KB, bits 6 and 7 set
  session->startDriver();
  EXPECT_EQ(Events(*session, {Op::Map}).back().value, 0x200000u);
  EXPECT_EQ(session->registry().at("HardwareInformation.MemorySize"),
            (std::vector<uint8_t>{0x00, 0x00, 0x20, 0x00}));
}

// --- Identification and the values published -------------------------------------

struct Identity {
  Variant variant;
  ULONG id;
  const char* name;  // published as HardwareInformation.ChipType
};

class Identification : public ::testing::TestWithParam<Identity> {};

TEST_P(Identification, NamesTheVariantOnceAndPublishesItsName) {
  auto session = Boot(GetParam().variant);
  const auto& values = session->registry();
  EXPECT_EQ(values.size(), 4u);
  EXPECT_EQ(RegistryText(*session, "HardwareInformation.ChipType"), GetParam().name);
  EXPECT_EQ(values.at("HardwareInformation.ChipType").size(), 2 * (strlen(GetParam().name) + 1));
  EXPECT_EQ(RegistryText(*session, "HardwareInformation.DacType"), "ORVA internal DAC");
  EXPECT_EQ(values.at("HardwareInformation.DacType").size(), 36u);
  EXPECT_EQ(RegistryText(*session, "HardwareInformation.AdapterString"), "ORVA Compatible");
  EXPECT_EQ(values.at("HardwareInformation.AdapterString").size(), 32u);
  EXPECT_EQ(session->findAdapterCalls(), 1u);
  session->trace().clear();
  EXPECT_EQ(DRIVER_FN(*session, HWGENERIC_GetHardwareID)(), GetParam().id);
  EXPECT_TRUE(Events(*session).empty());  // cached: no PCI or CRTC access

  // Iteration by type returns the rows whose mask names the chip, in table order, then
  // -1 for good; callers read the rows' fields directly.
  const auto* table = Sym<const HWGENERIC_KEYWORD>(*session, "HWGENERIC_psKeywordList");
  for (ULONG type : {1u, 2u, 3u, 4u, 8u, 16u}) {
    std::vector<LONG> expected, found;
    for (size_t row = 0; row < reference::kKeywords.size(); ++row) {
      const reference::KeywordRow& k = reference::kKeywords[row];
      if (k.type == type && (k.hardwareMask & GetParam().id) != 0) expected.push_back(LONG(row));
    }
    for (LONG row = DRIVER_FN(*session, HWGENERIC_GetFirstEntry)(type);
         row >= 0 && found.size() < 64; row = DRIVER_FN(*session, HWGENERIC_GetNextEntry)()) {
      found.push_back(row);
    }
    EXPECT_EQ(found, expected) << "type " << type;
    EXPECT_EQ(DRIVER_FN(*session, HWGENERIC_GetNextEntry)(), -1);
  }
  for (size_t row = 0; row < reference::kKeywords.size(); ++row) {
    const reference::KeywordRow& k = reference::kKeywords[row];
    EXPECT_EQ(table[row].pszKeyword, k.keyword) << row;
    EXPECT_EQ(table[row].ulValue, k.value) << row;
    EXPECT_EQ(table[row].pszDescription, k.description) << row;
  }
  EXPECT_EQ(table[reference::kKeywords.size()].pszKeyword, nullptr);
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, Identification,
                         ::testing::Values(Identity{Variant::Pinto, 0x01, "ORVA Pinto"},
                                           Identity{Variant::Bramble, 0x02, "ORVA Bramble"},
                                           Identity{Variant::BrambleL, 0x04, "ORVA Bramble-L"},
                                           Identity{Variant::Mistral, 0x08, "ORVA Mistral"},
                                           Identity{Variant::BrambleR, 0x20, "ORVA Bramble-R"},
                                           Identity{Variant::Kestrel, 0x40, "ORVA Kestrel"},
                                           Identity{Variant::BrambleRX, 0x80, "ORVA Bramble-RX"},
                                           Identity{Variant::Unknown, 0x00, "Unknown"}));

// Data-port accesses while the CRTC index is 0x81: (write?, value).
std::vector<std::pair<bool, uint64_t>> ProbeOf(Session& session) {
  std::vector<std::pair<bool, uint64_t>> out;
  uint64_t index = 0;
  for (const auto& e : Events(session, {Op::In, Op::Out})) {
    if (e.op == Op::Out && e.address == 0x3D4) index = e.value;
    if (e.address == 0x3D5 && index == 0x81) out.emplace_back(e.op == Op::Out, e.value);
  }
  return out;
}

TEST(RegisterProbe, TellsRFromRxAndRestoresTheRegister) {
  using P = std::vector<std::pair<bool, uint64_t>>;
  auto rx = Boot(Variant::BrambleRX);
  EXPECT_EQ(ProbeOf(*rx), (P{{false, 0x00}, {true, 0x10}, {false, 0x10}, {true, 0x00}}));
  EXPECT_EQ(rx->board().crtc(0x81), 0x00);
  rx.reset();
  auto r = Boot(Variant::BrambleR);
  EXPECT_EQ(ProbeOf(*r), (P{{false, 0x00}, {true, 0x10}, {false, 0x00}}));
  EXPECT_EQ(r->board().crtc(0x81), 0x00);  // the R part has no such register to keep it
  r.reset();
  // A register that already reads non-zero names the RX part and is not written.
  auto set = Boot({.variant = Variant::BrambleRX, .start = false});
  Sym<void(ULONG)>(*set, "REGHOST_Init")(0xFFFF);
  set->board().out(8, 0x3D4, 0x81);
  set->board().out(8, 0x3D5, 0x55);
  set->trace().clear();
  EXPECT_EQ(DRIVER_FN(*set, HWGENERIC_GetHardwareID)(), 0x80u);
  EXPECT_EQ(ProbeOf(*set), (P{{false, 0x55}}));
}

// --- Output keyword ---------------------------------------------------------------

TEST(Keywords, LookUpFoldsCaseAndSpansEveryType) {
  auto session = Boot({.start = false});  // no hardware needed
  auto* lookUp = DRIVER_FN(*session, HWGENERIC_GetEntryFromKeyword);
  auto* compare = DRIVER_FN(*session, HWGENERIC_CompareKeyword);
  // clang-format off
  const std::pair<const char*, LONG> cases[] = {
      {"MONITOR", 0}, {"TVPAL", 3}, {"tvpal", 3}, {"TvPaL", 3}, {"TVPA", -1}, {"TVPALX", -1},
      {"PAL", 45}, {"secam", 54}, {"WREN", 12}, {"", 19}, {"TFTLGPHILIPSLM151X2", 11},
      {"tvntsc269svhs", 9}, {"ORVA Pinto", -1}};
  // clang-format on
  for (auto [keyword, row] : cases) EXPECT_EQ(lookUp(keyword), row) << keyword;
  // Folding sets bit 5 of both sides, so bytes differing only there are equal.
  EXPECT_EQ(compare("@", "`"), 1u);
  EXPECT_EQ(compare(" ", ""), 0u);
  EXPECT_TRUE(Events(*session).empty());
}

std::vector<uint8_t> Utf16(std::u16string text, size_t length = 0) {
  if (length != 0) text.resize(length, u'A');
  std::vector<uint8_t> out;
  for (char16_t unit : text) out.insert(out.end(), {uint8_t(unit & 0xFF), uint8_t(unit >> 8)});
  return out;
}

struct Value {
  const char* name;
  std::vector<uint8_t> data;
  uint32_t modes;  // on a Bramble with 4 MB: 136 monitor, 9 TV PAL, 0 for value 0
};

class OutputKeyword : public ::testing::TestWithParam<Value> {};

TEST_P(OutputKeyword, SelectsTheOutputOrLeavesTheMonitor) {
  auto session = Boot({.rawOutput = GetParam().data});
  ASSERT_TRUE(session->started());
  EXPECT_EQ(platform::queryNumModes(*session).value.NumModes, GetParam().modes);
}

INSTANTIATE_TEST_SUITE_P(
    Values, OutputKeyword,
    ::testing::Values(Value{"NoData", {}, 0}, Value{"NoTerminator", Utf16(u"TVPAL"), 9},
                      Value{"OddLength", {'T', 0, 'V', 0, 'P', 0, 'A', 0, 'L', 0, 'X'}, 9},
                      Value{"StopsAtTheFirstZero", Utf16(std::u16string(u"TVPAL\0XYZ", 9)), 9},
                      Value{"LowByteOfEachUnit", Utf16(u"\u0154\u0156pal"), 9},
                      Value{"Empty", Utf16(std::u16string(1, u'\0')), 0},
                      Value{"OneByte", {'T'}, 0},
                      Value{"HundredCharacters", Utf16(u"TVPAL", 100), 136},
                      Value{"OddBinary", std::vector<uint8_t>(5001, 0x41), 136}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orva::test
