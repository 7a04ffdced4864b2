// The board as a driver sees it over the bus: identification, register files,
// decoding rules, memory windows and the devices behind them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "board.h"
#include "i2c_slave.h"
#include "tft.h"
#include "tv_encoder.h"

namespace orva::board {
namespace {

// Indexed pairs and PCI configuration reads the way a driver performs them.
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
  uint32_t pci(unsigned device, unsigned function) {
    b.out(32, 0xCF8, 0x80000000u | device << 11 | function << 8);
    return b.in(32, 0xCFC);
  }
};

BoardConfig configFor(Variant v) {
  BoardConfig c;
  c.variant = v;
  return c;
}

TEST(BoardIdentity, PciIdentificationWordsOfEveryVariant) {
  struct Row {
    Variant variant;
    uint16_t device11, device12;
    uint32_t function1;  // device 12 function 1
  };
  const Row rows[] = {
      {Variant::Pinto, 0x0564, 0x55CC, 0xFFFFFFFFu},
      {Variant::Bramble, 0x0209, 0x0209, 0x0209104Au},
      {Variant::Mistral, 0x0209, 0x0209, kMistralFunction1Id},
      {Variant::BrambleL, 0x020A, 0x021A, 0xFFFFFFFFu},
      {Variant::Kestrel, 0x020A, 0x0210, 0xFFFFFFFFu},
      {Variant::BrambleR, 0x020A, 0x021B, 0xFFFFFFFFu},
      {Variant::BrambleRX, 0x020A, 0x021B, 0xFFFFFFFFu},
      {Variant::Unknown, kUnknownDevice11, kUnknownDevice12, 0xFFFFFFFFu},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(variantName(r.variant)));
    Board board(configFor(r.variant));
    Bus bus{board};
    EXPECT_EQ(bus.pci(11, 0) >> 16, r.device11);
    EXPECT_EQ(bus.pci(12, 0) >> 16, r.device12);
    EXPECT_EQ(bus.pci(12, 1), r.function1);
    EXPECT_EQ(bus.pci(11, 1), 0xFFFFFFFFu);
    EXPECT_EQ(bus.pci(13, 0), 0xFFFFFFFFu);
    EXPECT_EQ(parseVariant(variantName(r.variant)), r.variant);
  }
  // The Mistral's function 1 must not pass for a Bramble's.
  EXPECT_NE(kMistralFunction1Id, kBrambleFunction1Id);
}

TEST(BoardIdentity, ConfigurationDataWithoutEnableBitIsNotDecoded) {
  Board board(configFor(Variant::Bramble));
  board.out(32, 0xCF8, 0x00005800);  // bit 31 clear
  EXPECT_EQ(board.in(32, 0xCFC), 0xFFFFFFFFu);
  EXPECT_EQ(board.trace().counters().undecoded, 1u);
  board.out(32, 0xCF8, 0x80005800);
  EXPECT_EQ(board.in(16, 0xCFE), 0x0209u);  // device ID half of the word
}

TEST(BoardCrtc, Register81OnBrambleRAndRX) {
  struct Row {
    Variant variant;
    uint8_t afterWrite;
  };
  for (const Row& r :
       {Row{Variant::BrambleR, 0x00}, Row{Variant::BrambleRX, 0x10}, Row{Variant::Bramble, 0x10}}) {
    SCOPED_TRACE(std::string(variantName(r.variant)));
    Board board(configFor(r.variant));
    Bus bus{board};
    bus.unlockExtensions();
    EXPECT_EQ(bus.crtc(0x81), 0x00);
    bus.crtc(0x81, 0x10);
    EXPECT_EQ(bus.crtc(0x81), r.afterWrite);
    bus.crtc(0x81, 0x00);
    EXPECT_EQ(board.crtc(0x81), 0x00);
  }
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

TEST(BoardAttribute, FlipFlopResetByInputStatus1) {
  Board board(configFor(Variant::Bramble));
  board.in(8, 0x3DA);
  board.out(8, 0x3C0, 0x10);  // index
  EXPECT_TRUE(board.attributeExpectsData());
  board.in(8, 0x3DA);  // back to index before the data byte came
  EXPECT_FALSE(board.attributeExpectsData());
  board.out(8, 0x3C0, 0x12);  // so this is an index
  board.out(8, 0x3C0, 0x0F);  // and this its data
  EXPECT_EQ(board.attribute(0x12), 0x0F);
  EXPECT_EQ(board.attribute(0x10), 0x00);
  EXPECT_FALSE(board.paletteAddressSource());
  board.out(8, 0x3C0, 0x20);  // index byte with the palette-address-source bit
  EXPECT_TRUE(board.paletteAddressSource());
  EXPECT_EQ(board.attributeWrites(), 4u);
  EXPECT_EQ(board.in(8, 0x3C0), 0x20u);
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

TEST(BoardConfigRegisters, TwoReadsOfTheTftBasePort) {
  BoardConfig c = configFor(Variant::Mistral);
  c.tftBasePort = 0x1234;
  Board board(c);
  board.out(8, 0x22, 0x1D);
  EXPECT_EQ(board.in(8, 0x23), 0x34u);
  EXPECT_EQ(board.in(8, 0x23), 0x12u);
  // A data write does not advance the index.
  board.out(8, 0x22, 0x29);
  board.out(8, 0x23, 0x03);
  EXPECT_EQ(board.configIndex(), 0x29);
  EXPECT_EQ(board.config(0x2A), 0x00);
}

TEST(BoardConfigRegisters, MemorySizeRegister) {
  struct Row {
    uint32_t bytes;
    uint8_t reg;
  };
  for (const Row& r :
       {Row{0x200000, 0x10}, Row{0x400000, 0x20}, Row{0x7E0000, 0x3F}, Row{0x20000, 0x01}}) {
    BoardConfig c = configFor(Variant::Bramble);
    c.memoryBytes = r.bytes;
    Board board(c);
    Bus bus{board};
    EXPECT_EQ(bus.pairRead(0x22, 0x36), r.reg);
    bus.pair(0x22, 0x36, 0xC0);  // bits 6-7 take anything, the size stays
    EXPECT_EQ(bus.pairRead(0x22, 0x36), r.reg | 0xC0);
    EXPECT_EQ(board.vramSize(), r.bytes);
  }
  BoardConfig bad = configFor(Variant::Bramble);
  bad.memoryBytes = 0x7E0000 + 0x20000;
  EXPECT_THROW(Board{bad}, std::invalid_argument);
}

TEST(BoardMemory, WindowsFollowTheGraphicsBase) {
  struct Row {
    uint8_t crtc20;
    uint64_t engine, frameBuffer, stale;  // stale: the other base's engine window
  };
  for (const Row& r : {Row{0x00, 0x08400000, 0x08800000, 0x18400000},
                       Row{0x10, 0x18400000, 0x18800000, 0x08400000}}) {
    SCOPED_TRACE(r.crtc20);
    BoardConfig c = configFor(Variant::Bramble);
    c.gbase = r.crtc20;
    Board board(c);
    board.write(32, r.engine + 0x11C, 0x0024000A);
    EXPECT_EQ(board.geRegister(0x11C), 0x0024000Au);
    board.write(16, r.frameBuffer + 0x100, 0xBEEF);
    EXPECT_EQ(board.vram()[0x100], 0xEF);
    // The view at GBASE + 0 is the same memory.
    EXPECT_EQ(board.read(16, r.frameBuffer - 0x800000 + 0x100), 0xBEEFu);
    EXPECT_EQ(board.trace().counters().undecoded, 0u);
    EXPECT_EQ(board.read(32, r.stale + 0x11C), 0xFFFFFFFFu);
    EXPECT_EQ(board.trace().counters().undecoded, 1u);
  }
  // Relocating at run time through CRTC 0x20 moves the windows.
  Board board(configFor(Variant::Bramble));
  Bus bus{board};
  bus.unlockExtensions();
  bus.crtc(0x20, 0x30);
  EXPECT_EQ(board.gbase(), 0x38000000u);
  board.write(32, 0x38400004, 0);
  board.write(32, 0x38400034, 0xFFFFFFFF);
  EXPECT_EQ(board.geRegister(0x34), 0xFFFFFFFFu);
  EXPECT_EQ(board.trace().counters().undecoded, 0u);
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

TEST(BoardDevices, TvEncoderAndTftReachedByTheirVariantsBus) {
  {
    Board board(configFor(Variant::Bramble));
    Bus bus{board};
    bus.pair(0x22, 0x2B, 0x05);
    bus.pair(0x22, 0x2C, 0x80);
    EXPECT_EQ(board.tvEncoder().read(0x05), 0x80);
    EXPECT_EQ(board.tvEncoder().writes().back().how, TvAccess::Io);
    EXPECT_EQ(bus.pairRead(0x22, 0x2C), 0x80);
  }
  for (Variant v : {Variant::BrambleL, Variant::BrambleR, Variant::BrambleRX}) {
    Board board(configFor(v));
    board.write(8, 0x084CA00C, 0xF8);
    EXPECT_EQ(board.tvEncoder().read(0x0C), 0xF8);
    EXPECT_EQ(board.tvEncoder().writes().back().how, TvAccess::Memory);
    EXPECT_EQ(board.read(8, 0x084CA00C), 0xF8u);
  }
  {
    Board board(configFor(Variant::Mistral));
    board.out(16, 0x0D00, 0x0008);
    board.out(16, 0x0D04, 0x0258);
    EXPECT_EQ(board.tft().ioRegister(8), 0x0258);
  }
  {
    Board board(configFor(Variant::Kestrel));
    board.write(16, 0x084CC000, 0x0400);
    EXPECT_EQ(board.tft().windowRegister(0), 0x0400);
    EXPECT_EQ(board.read(16, 0x084CC000), 0x0400u);
  }
}

// Register 0x7B of Pinto drives the I2C lines: a register write bit-banged the
// way a driver does it reaches the external encoder, with distinct timestamps.
void gpio(Board& board, uint8_t set, uint8_t clear) {
  board.out(8, 0x22, 0x7B);
  const auto v = static_cast<uint8_t>(board.in(8, 0x23));
  board.out(8, 0x22, 0x7B);
  board.out(8, 0x23, static_cast<uint8_t>((v | set) & ~clear));
}

void sendByte(Board& board, uint8_t byte) {
  for (int bit = 7; bit >= 0; --bit) {
    if (byte >> bit & 1) {
      gpio(board, 0x04, 0);
    } else {
      gpio(board, 0, 0x04);
    }
    gpio(board, 0x08, 0);
    gpio(board, 0, 0x08);
  }
  gpio(board, 0x04, 0);  // release SDA for the acknowledge clock
  gpio(board, 0x08, 0);
  gpio(board, 0, 0x08);
}

void i2cRegisterWrite(Board& board, uint8_t device, uint8_t reg, uint8_t value) {
  gpio(board, 0, 0x04);  // START: SDA falls while SCL is high
  gpio(board, 0, 0x08);
  for (uint8_t b : {device, reg, value}) sendByte(board, b);
  gpio(board, 0, 0x04);
  gpio(board, 0x08, 0);
  gpio(board, 0x04, 0);  // STOP
}

TEST(BoardDevices, PintoGpioRegisterDrivesTheI2cBus) {
  for (bool present : {true, false}) {
    BoardConfig c = configFor(Variant::Pinto);
    c.tvEncoderPresent = present;
    Board board(c);
    i2cRegisterWrite(board, 0x40, 0x05, 0x31);
    const auto& log = board.i2c().lineLog();
    ASSERT_FALSE(log.empty());
    for (size_t i = 1; i < log.size(); ++i) EXPECT_LT(log[i - 1].timeNs, log[i].timeNs);
    ASSERT_EQ(board.i2c().transactions().size(), 1u);
    EXPECT_EQ(board.i2c().transactions()[0].addressAcked, present);
    EXPECT_EQ(board.tvEncoder().read(0x05), present ? 0x31 : 0x00);
    EXPECT_EQ(board.config(0x7B) & 0x0C, 0x0C);  // bus idle again
  }
}

TEST(BoardDevices, PintoEncoderControlLines) {
  Board board(configFor(Variant::Pinto));
  EXPECT_TRUE(board.tvEncoder().resetLine());
  EXPECT_FALSE(board.tvEncoder().enableLine());
  gpio(board, 0, 0x02);
  EXPECT_FALSE(board.tvEncoder().resetLine());
  board.stall(1000);
  gpio(board, 0x02, 0);
  gpio(board, 0x40, 0);
  EXPECT_TRUE(board.tvEncoder().resetLine());
  EXPECT_TRUE(board.tvEncoder().enableLine());
  EXPECT_EQ(board.tvEncoder().lastResetPulseNs().value_or(0),
            1000 * 1000 + 4 * Board::kPortAccessNs);
}

TEST(BoardTime, StallsAndAccessesAdvanceVirtualTime) {
  Board board(configFor(Variant::Bramble));
  board.stall(15000);
  board.in(8, 0x3CC);
  board.read(32, 0x08400000);
  EXPECT_EQ(board.virtualTimeNs(), 15'000'000 + Board::kPortAccessNs + Board::kRegisterAccessNs);
  EXPECT_EQ(board.trace().counters().stallMicroseconds, 15000u);
}

}  // namespace
}  // namespace orva::board
