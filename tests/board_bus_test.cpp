// The board as a driver sees it over the bus: register files, decoding rules and
// memory windows, where the driver's own tests do not reach them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "board.h"
#include "i2c_slave.h"
#include "tft.h"
#include "tv_encoder.h"

namespace orva::board {
namespace {

// Indexed pairs the way a driver performs them.
struct Bus {
  Board& b;
  void pair(uint16_t port, uint8_t index, uint8_t value) {
    b.out(8, port, index);
    b.out(8, port + 1, value);
  }
  uint8_t pairRead(uint16_t port, uint8_t index) {
    b.out(8, port, index);
    return static_cast<uint8_t>(b.in(8, port + 1));
  }
  void crtc(uint8_t index, uint8_t value) { pair(0x3D4, index, value); }
  uint8_t crtc(uint8_t index) { return pairRead(0x3D4, index); }
  void unlockExtensions() { pair(0x3C4, 0x06, 0x57); }
};

BoardConfig configFor(Variant v) {
  BoardConfig c;
  c.variant = v;
  return c;
}

TEST(BoardIdentity, ConfigurationDataWithoutEnableBitIsNotDecoded) {
  Board board(configFor(Variant::Bramble));
  board.out(32, 0xCF8, 0x00005800);  // bit 31 clear
  EXPECT_EQ(board.in(32, 0xCFC), 0xFFFFFFFFu);
  EXPECT_EQ(board.trace().counters().undecoded, 1u);
  board.out(32, 0xCF8, 0x80005800);
  EXPECT_EQ(board.in(16, 0xCFE), 0x0209u);  // device ID half of the word
}

TEST(BoardCrtc, ExtensionRegistersNeedTheSequencerKey) {
  Board board(configFor(Variant::Bramble));
  Bus bus{board};
  bus.crtc(0x28, 0x11);  // locked: lost
  EXPECT_EQ(bus.crtc(0x28), 0xFF);
  EXPECT_EQ(board.trace().counters().undecoded, 2u);
  bus.crtc(0x13, 0xA0);  // standard registers are always there
  EXPECT_EQ(board.crtc(0x13), 0xA0);
  bus.unlockExtensions();
  bus.crtc(0x28, 0x11);
  EXPECT_EQ(bus.crtc(0x28), 0x11);
  EXPECT_EQ(board.trace().counters().undecoded, 2u);
}

TEST(BoardCrtc, WriteProtectionOfRegisters0To7) {
  struct Row {
    uint8_t index, before, written, expected;
  };
  const Row protectedRows[] = {
      {0x00, 0x12, 0x5F, 0x12}, {0x06, 0x34, 0x0B, 0x34},
      {0x07, 0x00, 0xFF, 0x10},                            // only the line-compare bit 8 passes
      {0x07, 0x1F, 0x00, 0x0F}, {0x08, 0x00, 0x55, 0x55},  // outside the protected range
      {0x12, 0x00, 0xDF, 0xDF},
  };
  for (const Row& r : protectedRows) {
    SCOPED_TRACE(r.index);
    Board board(configFor(Variant::Bramble));
    Bus bus{board};
    board.presetCrtc(0x11, 0x8E);
    board.presetCrtc(r.index, r.before);
    bus.crtc(r.index, r.written);
    EXPECT_EQ(board.crtc(r.index), r.expected);
    bus.crtc(0x11, 0x0C);  // lifting the protection takes effect at once
    bus.crtc(r.index, r.written);
    EXPECT_EQ(board.crtc(r.index), r.written);
  }
}

TEST(BoardCrtc, MonochromeAddressingMovesTheCrtc) {
  Board board(configFor(Variant::Bramble));
  Bus bus{board};
  board.out(8, 0x3C2, 0x02);  // I/O address select clear
  bus.pair(0x3B4, 0x13, 0x50);
  EXPECT_EQ(board.crtc(0x13), 0x50);
  const uint64_t before = board.trace().counters().undecoded;
  EXPECT_EQ(bus.crtc(0x13), 0xFF);
  EXPECT_EQ(board.trace().counters().undecoded, before + 2);
}

TEST(BoardDac, IndexAdvancesAfterEveryThirdByte) {
  Board board(configFor(Variant::Bramble));
  board.out(8, 0x3C8, 0xFE);
  for (uint8_t v : {1, 2, 3, 4, 5, 6, 7}) board.out(8, 0x3C9, v);
  EXPECT_EQ(board.dac(0xFE), (std::array<uint8_t, 3>{1, 2, 3}));
  EXPECT_EQ(board.dac(0xFF), (std::array<uint8_t, 3>{4, 5, 6}));
  EXPECT_EQ(board.dac(0x00), (std::array<uint8_t, 3>{7, 0, 0}));  // index wrapped
  EXPECT_EQ(board.dacWriteIndex(), 0x00);
  board.out(8, 0x3C7, 0xFF);
  EXPECT_EQ(board.in(8, 0x3C9), 4u);
  EXPECT_EQ(board.in(8, 0x3C9), 5u);
  EXPECT_EQ(board.in(8, 0x3C9), 6u);
  EXPECT_EQ(board.in(8, 0x3C9), 7u);
}

// Bits 6-7 of the memory size register take anything, the size stays; a size
// the register cannot hold is no board.
TEST(BoardConfigRegisters, MemorySizeRegister) {
  Board board(configFor(Variant::Bramble));
  Bus bus{board};
  bus.pair(0x22, 0x36, 0xC0);
  EXPECT_EQ(bus.pairRead(0x22, 0x36), 0x20 | 0xC0);
  EXPECT_EQ(board.vramSize(), 4u << 20);
  BoardConfig bad = configFor(Variant::Bramble);
  bad.memoryBytes = 0x7E0000 + 0x20000;
  EXPECT_THROW(Board{bad}, std::invalid_argument);
}

// Relocating at run time through CRTC 0x20 moves the windows.
TEST(BoardMemory, WindowsFollowTheGraphicsBase) {
  Board board(configFor(Variant::Bramble));
  Bus bus{board};
  bus.unlockExtensions();
  bus.crtc(0x20, 0x30);
  EXPECT_EQ(board.gbase(), 0x38000000u);
  board.write(32, 0x38400034, 0xFFFFFFFF);
  EXPECT_EQ(board.geRegister(0x34), 0xFFFFFFFFu);
  board.write(16, 0x38800100, 0xBEEF);
  EXPECT_EQ(board.read(16, 0x38000100), 0xBEEFu);  // the view at GBASE + 0 is the same memory
  EXPECT_EQ(board.trace().counters().undecoded, 0u);
  EXPECT_EQ(board.read(32, 0x08400034), 0xFFFFFFFFu);  // the old window is gone
  EXPECT_EQ(board.trace().counters().undecoded, 1u);
}

TEST(BoardMemory, FrameBufferBeyondTheMemoryIsAFault) {
  BoardConfig c = configFor(Variant::Bramble);
  c.memoryBytes = 0x200000;
  Board board(c);
  EXPECT_EQ(board.read(32, 0x08800000 + 0x1FFFFC), 0u);
  EXPECT_EQ(board.frameBufferFaults(), 0u);
  board.write(32, 0x08800000 + 0x1FFFFE, 0x12345678);  // straddles the end
  EXPECT_EQ(board.read(8, 0x08000000 + 0x200000), 0xFFu);
  EXPECT_EQ(board.frameBufferFaults(), 2u);
  EXPECT_EQ(board.trace().counters().undecoded, 2u);
  EXPECT_EQ(board.vram()[0x1FFFFE], 0x00);
}

// Accesses that nothing on the board decodes, per variant: all ones, counted,
// no state change.
TEST(BoardDecode, UndecodedAccessesAnswerAllOnes) {
  struct Row {
    const char* what;
    Variant variant;
    bool memory;
    unsigned width;
    uint64_t address;
  };
  const Row rows[] = {
      {"super I/O data outside configuration mode", Variant::Bramble, false, 8, 0x371},
      {"super I/O on Pinto", Variant::Pinto, false, 8, 0x370},
      {"clock selection pair on Pinto", Variant::Pinto, false, 8, 0xEB},
      {"TFT ports on Kestrel", Variant::Kestrel, false, 16, 0x0D04},
      {"an unused port", Variant::Bramble, false, 32, 0x1F0},
      {"TV window on Bramble", Variant::Bramble, true, 8, 0x084CA000},
      {"TV window on Pinto", Variant::Pinto, true, 8, 0x084CA005},
      {"TFT window on Mistral", Variant::Mistral, true, 16, 0x084CC000},
      {"graphics-engine data port", Variant::Bramble, true, 32, 0x08C00000},
      {"below the graphics base", Variant::Bramble, true, 32, 0x07FFFFFC},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    Board board(configFor(r.variant));
    const uint32_t ones = r.width == 32 ? 0xFFFFFFFFu : (1u << r.width) - 1;
    if (r.memory) {
      board.write(r.width, r.address, 0x5A);
      EXPECT_EQ(board.read(r.width, r.address), ones);
    } else {
      board.out(r.width, static_cast<uint32_t>(r.address), 0x5A);
      EXPECT_EQ(board.in(r.width, static_cast<uint32_t>(r.address)), ones);
    }
    EXPECT_EQ(board.trace().counters().undecoded, 2u);
    ASSERT_EQ(board.trace().events().size(), 2u);
    EXPECT_TRUE(board.trace().events()[1].undecoded);
    EXPECT_TRUE(board.tvEncoder().writes().empty());
    EXPECT_TRUE(board.tft().ioWrites().empty());
    EXPECT_TRUE(board.tft().windowWrites().empty());
  }
}

}  // namespace
}  // namespace orva::board
