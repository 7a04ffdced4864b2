// TFT panel start-up: the panel registers as the interface received them
// through its ports or its memory window, the packed window words, and the
// power-up stalls.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "board.h"
#include "orva/session.h"
#include "tft.h"

namespace {

using orva::board::Board;
using orva::board::TraceEvent;
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

struct Pair {
  uint16_t reg, value;
  bool operator==(const Pair&) const = default;
};

// The lists in the order the panels want them; register 11 comes from the power-up.
const std::vector<Pair> kPanel1 = {{0, 0x0320},  {1, 0x0050},  {2, 0x0020},  {3, 0x0066},
                                   {4, 0x0320},  {5, 0x0001},  {6, 0x0001},  {7, 0x0019},
                                   {8, 0x0258},  {9, 0x0000},  {10, 0x0202}, {12, 0x0000},
                                   {13, 0x0000}, {14, 0x0000}, {15, 0x001F}};
const std::vector<Pair> kPanel2 = {{0, 0x0400},  {1, 0x002F},  {2, 0x002D},  {3, 0x0020},
                                   {4, 0x0400},  {5, 0x00A0},  {6, 0x002C},  {7, 0x0001},
                                   {8, 0x0300},  {9, 0x0000},  {10, 0x0802}, {12, 0x0000},
                                   {13, 0x0000}, {14, 0x0000}, {15, 0x001B}};

std::vector<uint64_t> stalls(const Board& board) {
  std::vector<uint64_t> out;
  for (const TraceEvent& e : board.trace().events()) {
    if (e.op == TraceEvent::Op::Stall) out.push_back(e.value);
  }
  return out;
}

struct PanelCase {
  const char* name;
  Variant variant;
  uint32_t panel;
  const std::vector<Pair>* list;
  bool ports;  // reached through the I/O ports, else the memory window
};

class TftPanelStart : public testing::TestWithParam<PanelCase> {};

TEST_P(TftPanelStart, PanelRegistersAndPowerUp) {
  const PanelCase& c = GetParam();
  auto session = boot(c.variant);
  Board& board = session->board();
  board.tft().clearLog();
  board.trace().clear();

  need<void(uint32_t)>(*session, "HWTFT_Init")(c.panel);

  std::array<uint16_t, 16> expected{};
  for (const Pair& p : *c.list) expected[p.reg] = p.value;
  expected[11] = 6;
  EXPECT_EQ(c.ports ? board.tft().ioPanelRegisters() : board.tft().windowPanelRegisters(),
            expected);
  if (c.ports) {
    EXPECT_TRUE(board.tft().windowWrites().empty());
  } else {
    EXPECT_TRUE(board.tft().ioWrites().empty());
  }

  // Register 11 walks 5, 4, 6 after the list, with 15 ms and 5 ms between.
  const std::vector<orva::board::TftRegisterWrite> power = board.tft().history(11);
  ASSERT_EQ(power.size(), 3u);
  EXPECT_EQ(power[0].value & 7, 5);
  EXPECT_EQ(power[1].value & 7, 4);
  EXPECT_EQ(power[2].value & 7, 6);
  EXPECT_GE(power[1].timeNs - power[0].timeNs, 15000000u);
  EXPECT_LT(power[1].timeNs - power[0].timeNs, 15100000u);
  EXPECT_GE(power[2].timeNs - power[1].timeNs, 5000000u);
  EXPECT_LT(power[2].timeNs - power[1].timeNs, 5100000u);
  EXPECT_EQ(stalls(board), (std::vector<uint64_t>{15000, 5000}));
}

INSTANTIATE_TEST_SUITE_P(
    Panels, TftPanelStart,
    testing::Values(PanelCase{"Panel1Ports", Variant::Mistral, 1, &kPanel1, true},
                    PanelCase{"Panel2Ports", Variant::Mistral, 2, &kPanel2, true},
                    PanelCase{"Panel1Window", Variant::Kestrel, 1, &kPanel1, false},
                    PanelCase{"Panel2Window", Variant::Kestrel, 2, &kPanel2, false}),
    [](const testing::TestParamInfo<PanelCase>& info) { return info.param.name; });

// Through the ports: register number to the base port, then the value to the
// base port + 4, one pair per register, in list order.
TEST(TftPorts, NumberGoesBeforeValueInListOrder) {
  auto session = boot(Variant::Mistral);
  Board& board = session->board();
  board.trace().clear();
  need<void(uint32_t)>(*session, "HWTFT_Init")(1);

  const uint32_t base = board.tftBasePort();
  std::vector<Pair> sent;
  const TraceEvent* number = nullptr;
  for (const TraceEvent& e : board.trace().events()) {
    if (e.op != TraceEvent::Op::Out) continue;
    ASSERT_EQ(e.width, 16);
    if (e.address == base) {
      EXPECT_EQ(number, nullptr) << "two register numbers in a row";
      number = &e;
    } else {
      ASSERT_EQ(e.address, base + 4);
      ASSERT_NE(number, nullptr) << "a value without its register number";
      sent.push_back({uint16_t(number->value), uint16_t(e.value)});
      number = nullptr;
    }
  }
  std::vector<Pair> expected = kPanel1;
  expected.push_back({11, 5});
  expected.push_back({11, 4});
  expected.push_back({11, 6});
  EXPECT_EQ(sent, expected);
}

// Through the window: each packed word is read back just before it is stored
// whole, and the neighbours' bits survive.
TEST(TftWindow, PackedWordsAreReadJustBeforeTheStore) {
  auto session = boot(Variant::Kestrel);
  Board& board = session->board();
  board.tft().memoryWrite(16, 0x14, 0xFFFF);
  board.tft().memoryWrite(16, 0x16, 0xFFFF);
  board.tft().clearLog();
  board.trace().clear();

  need<void(uint32_t)>(*session, "HWTFT_Init")(2);

  // Every window access in order, with the value read or written: a packed
  // word is read back just before it is stored whole (16 bits of word 11 for
  // registers 11 and 15, the other byte for registers 12, 13 and 14).
  struct Access {
    TraceEvent::Op op;
    unsigned width;
    uint32_t offset, value;
    bool operator==(const Access&) const = default;
  };
  const uint64_t window = uint64_t{board.gbase()} + Board::kTftWindow;
  std::vector<Access> accesses;
  for (const TraceEvent& e : board.trace().events()) {
    if (e.op == TraceEvent::Op::Read || e.op == TraceEvent::Op::Write) {
      accesses.push_back({e.op, e.width, uint32_t(e.address - window), uint32_t(e.value)});
    }
  }
  constexpr TraceEvent::Op R = TraceEvent::Op::Read, W = TraceEvent::Op::Write;
  // clang-format off
  const std::vector<Access> expected = {
      {W, 16, 0x00, 0x0400}, {W, 16, 0x02, 0x002F}, {W, 16, 0x04, 0x002D}, {W, 16, 0x06, 0x0020},
      {W, 16, 0x08, 0x0400}, {W, 16, 0x0A, 0x00A0}, {W, 16, 0x0C, 0x002C}, {W, 16, 0x0E, 0x0001},
      {W, 16, 0x10, 0x0300}, {W, 16, 0x12, 0x0000},
      {W, 16, 0x18, 0x0802},                          // register 10
      {R, 8, 0x15, 0xFF},   {W, 16, 0x14, 0xFF00},    // register 12 keeps the high byte
      {R, 8, 0x14, 0x00},   {W, 16, 0x14, 0x0000},    // register 13 keeps the low byte
      {R, 8, 0x17, 0xFF},   {W, 16, 0x16, 0xFF00},    // register 14 keeps the high byte
      {R, 16, 0x16, 0xFF00}, {W, 16, 0x16, 0xDF00},   // register 15 keeps bits 0-10
      {R, 16, 0x16, 0xDF00}, {W, 16, 0x16, 0xDD00},   // register 11 = 5
      {R, 16, 0x16, 0xDD00}, {W, 16, 0x16, 0xDC00},   // 4
      {R, 16, 0x16, 0xDC00}, {W, 16, 0x16, 0xDE00},   // 6
  };
  // clang-format on
  EXPECT_EQ(accesses, expected);
}

struct WordCase {
  const char* name;
  uint16_t word10, word11;
  std::vector<Pair> writes;
  uint16_t after10, after11, after12;
};

TEST(TftWindow, PackedRegistersChangeOnlyTheirOwnBits) {
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
    auto session = boot(Variant::Kestrel);
    Board& board = session->board();
    auto* write = need<void(uint16_t, uint16_t)>(*session, "HWTFT_MemoryRegister");
    board.tft().memoryWrite(16, 0x14, c.word10);
    board.tft().memoryWrite(16, 0x16, c.word11);
    board.tft().memoryWrite(16, 0x18, 0);
    for (const Pair& p : c.writes) write(p.reg, p.value);
    EXPECT_EQ(board.tft().windowWord(10), c.after10);
    EXPECT_EQ(board.tft().windowWord(11), c.after11);
    EXPECT_EQ(board.tft().windowWord(12), c.after12);
  }
}

TEST(TftWindow, RegistersAboveFifteenHaveTheirOwnWordInsideTheWindow) {
  auto session = boot(Variant::Kestrel);
  Board& board = session->board();
  auto* write = need<void(uint16_t, uint16_t)>(*session, "HWTFT_MemoryRegister");
  board.tft().clearLog();
  write(16, 0x1234);
  write(0x7FF, 0x5678);  // the last word of the window
  write(0x800, 0x9ABC);  // beyond it: no place to go
  EXPECT_EQ(board.tft().windowWord(16), 0x1234);
  EXPECT_EQ(board.tft().windowWord(0x7FF), 0x5678);
  EXPECT_EQ(board.tft().windowWrites().size(), 2u);
}

TEST(TftUnknownPanel, NothingIsWrittenAndNothingWaits) {
  for (Variant variant : {Variant::Mistral, Variant::Kestrel}) {
    for (uint32_t panel : {0u, 3u, 0xFFFFFFFFu}) {
      SCOPED_TRACE(testing::Message() << orva::board::variantName(variant) << " panel " << panel);
      auto session = boot(variant);
      Board& board = session->board();
      board.trace().clear();
      board.tft().clearLog();
      need<void(uint32_t)>(*session, "HWTFT_Init")(panel);
      EXPECT_TRUE(board.tft().ioWrites().empty());
      EXPECT_TRUE(board.tft().windowWrites().empty());
      for (const TraceEvent& e : board.trace().events()) {
        EXPECT_NE(e.op, TraceEvent::Op::Out);
        EXPECT_NE(e.op, TraceEvent::Op::Write);
        EXPECT_NE(e.op, TraceEvent::Op::Stall);
      }
    }
  }
}

}  // namespace
