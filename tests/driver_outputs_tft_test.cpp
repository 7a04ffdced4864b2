// TFT panel start-up: the panel registers as the interface received them
// through its ports or its memory window, the packed window words, and the
// power-up stalls.
#include <gtest/gtest.h>

#include <array>

#include "orva_test.h"
#include "outputs/hwtft.h"
#include "reference_tables.h"
#include "tft.h"

namespace orva::test {
namespace {

struct Pair16 {
  uint16_t reg, value;
  bool operator==(const Pair16&) const = default;
};

struct PanelCase {
  const char* name;
  Variant variant;
  uint32_t panel;
  bool ports;  // reached through the I/O ports, else the memory window
};

const reference::TftPanel& Panel(uint32_t number) {
  for (const reference::TftPanel& p : reference::kTftPanels) {
    if (p.number == number) return p;
  }
  throw std::runtime_error("no such panel");
}

class TftPanelStart : public testing::TestWithParam<PanelCase> {};

TEST_P(TftPanelStart, PanelRegistersAndPowerUp) {
  const PanelCase& c = GetParam();
  auto session = Boot(c.variant);
  board::Board& board = session->board();
  board.tft().clearLog();
  session->trace().clear();
  DRIVER_FN(*session, HWTFT_Init)(c.panel);

  const reference::TftPanel& panel = Panel(c.panel);
  std::vector<Pair16> list;
  for (const reference::TftWrite& w : panel.writes) list.push_back({w.reg, w.value});
  std::array<uint16_t, 16> expected{};
  for (const Pair16& p : list) expected[p.reg] = p.value;
  expected[11] = 6;
  EXPECT_EQ(c.ports ? board.tft().ioPanelRegisters() : board.tft().windowPanelRegisters(),
            expected);
  EXPECT_TRUE(c.ports ? board.tft().windowWrites().empty() : board.tft().ioWrites().empty());
  // Register 11 walks 5, 4, 6 after the list, with 15 ms and 5 ms between.
  const std::vector<board::TftRegisterWrite> power = board.tft().history(11);
  ASSERT_EQ(power.size(), 3u);
  EXPECT_EQ((std::array<int, 3>{power[0].value & 7, power[1].value & 7, power[2].value & 7}),
            (std::array<int, 3>{5, 4, 6}));
  EXPECT_GE(power[1].timeNs - power[0].timeNs, 15000000u);
  EXPECT_LT(power[1].timeNs - power[0].timeNs, 15100000u);
  EXPECT_GE(power[2].timeNs - power[1].timeNs, 5000000u);
  EXPECT_LT(power[2].timeNs - power[1].timeNs, 5100000u);
  EXPECT_EQ(Stalls(*session), (std::vector<uint64_t>{15000, 5000}));
  if (!c.ports) {
    // A window that held zeros: the stores in order, and the words they leave.
    std::vector<Pair16> stores, wanted;
    for (const board::TftWindowWrite& w : board.tft().windowWrites()) {
      EXPECT_EQ(w.width, 16);
      stores.push_back({uint16_t(w.offset), uint16_t(w.value)});
    }
    for (const reference::TftStore& w : panel.windowStores)
      wanted.push_back({w.byteOffset, w.word});
    EXPECT_EQ(stores, wanted);
    for (unsigned word = 0; word < panel.windowWords.size(); ++word) {
      EXPECT_EQ(board.tft().windowWord(word), panel.windowWords[word]) << "word " << word;
    }
    return;
  }

  // Through the ports: register number to the base port, then the value to the
  // base port + 4, one pair per register, in list order.
  const uint32_t base = board.tftBasePort();
  std::vector<Pair16> sent;
  const auto outs = Events(*session, {Op::Out});
  for (size_t n = 0; n < outs.size(); n += 2) {
    ASSERT_LT(n + 1, outs.size());
    EXPECT_EQ((std::array<uint64_t, 4>{outs[n].width, outs[n].address, outs[n + 1].width,
                                       outs[n + 1].address}),
              (std::array<uint64_t, 4>{16, base, 16, base + 4}))
        << n;
    sent.push_back({uint16_t(outs[n].value), uint16_t(outs[n + 1].value)});
  }
  std::vector<Pair16> expectedSent = list;
  expectedSent.insert(expectedSent.end(), {{11, 5}, {11, 4}, {11, 6}});
  EXPECT_EQ(sent, expectedSent);
}

INSTANTIATE_TEST_SUITE_P(Panels, TftPanelStart,
                         testing::Values(PanelCase{"Panel1Ports", Variant::Mistral, 1, true},
                                         PanelCase{"Panel2Ports", Variant::Mistral, 2, true},
                                         PanelCase{"Panel1Window", Variant::Kestrel, 1, false},
                                         PanelCase{"Panel2Window", Variant::Kestrel, 2, false}),
                         [](const testing::TestParamInfo<PanelCase>& info) {
                           return info.param.name;
                         });

// Through the window: each packed word is read back just before it is stored
// whole (16 bits of word 11 for registers 11 and 15, the other byte for
// registers 12, 13 and 14), and the neighbours' bits survive.
TEST(TftWindow, PackedWordsAreReadJustBeforeTheStore) {
  auto session = Boot(Variant::Kestrel);
  board::Board& board = session->board();
  board.tft().memoryWrite(16, 0x14, 0xFFFF);
  board.tft().memoryWrite(16, 0x16, 0xFFFF);
  session->trace().clear();
  DRIVER_FN(*session, HWTFT_Init)(2);

  using Access = std::array<uint64_t, 4>;  // write?, width, offset, value
  const uint64_t window = uint64_t{board.gbase()} + board::Board::kTftWindow;
  std::vector<Access> accesses;
  for (const TraceEvent& e : Events(*session, {Op::Read, Op::Write})) {
    accesses.push_back({e.op == Op::Write, e.width, e.address - window, e.value});
  }
  // clang-format off
  const std::vector<Access> expected = {
      {1, 16, 0x00, 0x0400}, {1, 16, 0x02, 0x002F}, {1, 16, 0x04, 0x002D}, {1, 16, 0x06, 0x0020},
      {1, 16, 0x08, 0x0400}, {1, 16, 0x0A, 0x00A0}, {1, 16, 0x0C, 0x002C}, {1, 16, 0x0E, 0x0001},
      {1, 16, 0x10, 0x0300}, {1, 16, 0x12, 0x0000},
      {1, 16, 0x18, 0x0802},                          // register 10
      {0, 8, 0x15, 0xFF},    {1, 16, 0x14, 0xFF00},   // register 12 keeps the high byte
      {0, 8, 0x14, 0x00},    {1, 16, 0x14, 0x0000},   // register 13 keeps the low byte
      {0, 8, 0x17, 0xFF},    {1, 16, 0x16, 0xFF00},   // register 14 keeps the high byte
      {0, 16, 0x16, 0xFF00}, {1, 16, 0x16, 0xDF00},   // register 15 keeps bits 0-10
      {0, 16, 0x16, 0xDF00}, {1, 16, 0x16, 0xDD00},   // register 11 = 5
      {0, 16, 0x16, 0xDD00}, {1, 16, 0x16, 0xDC00},   // 4
      {0, 16, 0x16, 0xDC00}, {1, 16, 0x16, 0xDE00},   // 6
  };
  // clang-format on
  EXPECT_EQ(accesses, expected);
}

TEST(TftWindow, PackedRegistersChangeOnlyTheirOwnBits) {
  struct WordCase {
    const char* name;
    uint16_t word10, word11;
    std::vector<Pair16> writes;
    uint16_t after10, after11, after12;
  };
  const WordCase cases[] = {
      {"Power4", 0x0000, 0xFFFF, {{11, 4}}, 0x0000, 0xFCFF, 0x0000},
      {"Power4Then15", 0x0000, 0xFFFF, {{11, 4}, {15, 0x1B}}, 0x0000, 0xDCFF, 0x0000},
      {"Registers12And13", 0xABCD, 0x0000, {{12, 0x1234}, {13, 0x56}}, 0x5634, 0x0000, 0x0000},
      {"Register14", 0x0000, 0x1234, {{14, 0xABCD}}, 0x0000, 0x12CD, 0x0000},
      {"WideValuesAreCut", 0x0000, 0x0000, {{11, 0xFFFF}, {15, 0xFFFF}}, 0x0000, 0xFF00, 0x0000},
      {"Register10IsWord12", 0x1111, 0x2222, {{10, 0xBEEF}}, 0x1111, 0x2222, 0xBEEF},
  };
  for (const WordCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto session = Boot(Variant::Kestrel);
    board::TftInterface& tft = session->board().tft();
    tft.memoryWrite(16, 0x14, c.word10);
    tft.memoryWrite(16, 0x16, c.word11);
    tft.memoryWrite(16, 0x18, 0);
    for (const Pair16& p : c.writes) DRIVER_FN(*session, HWTFT_MemoryRegister)(p.reg, p.value);
    EXPECT_EQ((std::array<uint16_t, 3>{tft.windowWord(10), tft.windowWord(11), tft.windowWord(12)}),
              (std::array<uint16_t, 3>{c.after10, c.after11, c.after12}));
  }
}

TEST(TftWindow, RegistersAboveFifteenHaveTheirOwnWordInsideTheWindow) {
  auto session = Boot(Variant::Kestrel);
  board::TftInterface& tft = session->board().tft();
  auto* write = DRIVER_FN(*session, HWTFT_MemoryRegister);
  tft.clearLog();
  write(16, 0x1234);
  write(0x7FF, 0x5678);  // the last word of the window
  write(0x800, 0x9ABC);  // beyond it: no place to go
  EXPECT_EQ(tft.windowWord(16), 0x1234);
  EXPECT_EQ(tft.windowWord(0x7FF), 0x5678);
  EXPECT_EQ(tft.windowWrites().size(), 2u);
}

// Every chip but Mistral takes the window, a chip without a panel interface too: its
// stores go to the window's addresses, none to a port.
TEST(TftWindow, EveryChipButMistralWritesTheWindow) {
  for (Variant variant : {Variant::Pinto, Variant::Bramble, Variant::BrambleL, Variant::BrambleR,
                          Variant::BrambleRX}) {
    SCOPED_TRACE(board::variantName(variant));
    auto session = Boot(variant);
    session->trace().clear();
    DRIVER_FN(*session, HWTFT_Init)(1);
    const uint64_t window = uint64_t{session->board().gbase()} + board::Board::kTftWindow;
    const auto writes = Events(*session, {Op::Write});
    EXPECT_EQ(writes.size(), Panel(1).windowStores.size());
    for (const TraceEvent& e : writes) {
      EXPECT_LT(e.address - window, board::Board::kTftWindowLength) << e.address;
    }
    EXPECT_TRUE(Events(*session, {Op::Out}).empty());
  }
}

TEST(TftUnknownPanel, NothingIsWrittenAndNothingWaits) {
  for (Variant variant : {Variant::Mistral, Variant::Kestrel}) {
    for (uint32_t panel : {0u, 3u, 0xFFFFFFFFu}) {
      SCOPED_TRACE(testing::Message() << board::variantName(variant) << " panel " << panel);
      auto session = Boot(variant);
      session->trace().clear();
      DRIVER_FN(*session, HWTFT_Init)(panel);
      EXPECT_TRUE(Events(*session, {Op::Out, Op::Write, Op::Stall}).empty());
    }
  }
}

}  // namespace
}  // namespace orva::test
