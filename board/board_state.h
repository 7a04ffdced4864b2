// Internal state of the board, shared by its implementation files.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "board.h"
#include "i2c_slave.h"
#include "tft.h"
#include "tv_encoder.h"

namespace orva::board {

// Result of one byte-wide port access inside the board.
struct PortByte {
  bool decoded = false;
  uint8_t value = 0xFF;
};

struct Board::State {
  // `previous`, when given, hands over its display memory and its large register
  // files, which start cleared here as on a new board.
  explicit State(const BoardConfig& c, State* previous = nullptr);
  ~State();
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  BoardConfig config;
  Trace trace;
  uint64_t timeNs = 0;

  // Display memory: a memfd mapped once here, as large as any board's; the
  // platform may map it again.
  int vramFd = -1;
  uint8_t* vram = nullptr;
  size_t vramBytes = 0;
  // Sizes the display memory at `bytes`, every byte zero. A board that takes
  // over another's memory clears only the pages the file holds data in and
  // keeps them, so that the next board's writes do not fault them in again.
  void powerUpMemory(size_t bytes);

  // VGA core.
  uint8_t misc = 0x01;
  std::array<uint8_t, 256> crtc{}, seq{}, gfx{};
  uint8_t crtcIndex = 0, seqIndex = 0, gfxIndex = 0;
  std::array<uint8_t, 32> attr{};
  uint8_t attrIndex = 0;
  bool attrData = false;  // flip-flop: next 0x3C0 byte is data
  bool pas = false;       // palette-address-source bit of the last index byte
  uint64_t attrWrites = 0;
  std::array<std::array<uint8_t, 3>, 256> dac{};
  uint8_t dacWriteIndex = 0, dacReadIndex = 0;
  unsigned dacWriteComponent = 0, dacReadComponent = 0;
  bool dacReadMode = false;
  uint8_t pixelMask = 0xFF;
  std::vector<std::pair<uint16_t, uint8_t>> enableWrites;
  std::array<uint8_t, 3> enableLatch{};  // 0x94, 0x102, 0x3C3

  // Chipset configuration registers 0x22/0x23.
  std::array<uint8_t, 256> cfg{};
  uint8_t cfgIndex = 0;

  // PCI configuration mechanism #1.
  uint32_t pciAddress = 0;

  // Super I/O (not Pinto): 0x370/0x371.
  bool sioConfigMode = false;
  uint8_t sioIndex = 0;
  std::array<uint8_t, 0x30> sioGlobal{};
  std::vector<std::array<uint8_t, 256>> sioDevice;  // 256 logical devices

  // The 0xEA/0xEB pair (not Pinto).
  std::array<uint8_t, 256> clockSel{};
  uint8_t clockSelIndex = 0;

  // Graphics-engine register window.
  std::vector<uint8_t> ge;  // kGeWindowLength bytes
  uint32_t geWritten = 0;   // bytes of ge below this offset may be non-zero
  void geStore(uint32_t at, const void* value, uint32_t bytes);
  uint64_t fbFaults = 0;

  // Devices.
  I2cSlave i2c;
  TvEncoder tv;
  TftInterface tft;
  bool sdaWire = true;

  Variant variant() const { return config.variant; }
  bool isPinto() const { return config.variant == Variant::Pinto; }
  bool hasSuperIo() const { return !isPinto(); }
  bool decodesTftPorts() const { return config.variant == Variant::Mistral; }
  bool extensionsEnabled() const { return seq[0x06] == 0x57; }
  bool colourAddressing() const { return (misc & 0x01) != 0; }
  uint16_t tftBase() const { return static_cast<uint16_t>(cfg[0x1D] | cfg[0x1E] << 8); }
  // A port a device at a fixed address decodes ahead of the relocatable TFT block.
  bool fixedPort(uint32_t port) const;
  // The TFT interface (Mistral) answers an access that lies inside its port block and
  // reaches no fixed port.
  bool tftDecodes(uint32_t port, unsigned width) const;
  uint32_t gbase() const { return static_cast<uint32_t>((crtc[0x20] | 0x08) & 0xFF) << 24; }

  // Port devices (ports.cpp).
  PortByte readPort8(uint16_t port);
  bool writePort8(uint16_t port, uint8_t value);
  uint32_t pciRead(uint32_t address) const;
  bool pciFunctionPresent(unsigned device, unsigned function) const;
  uint8_t crtcStored(uint8_t index) const;
  void crtcStore(uint8_t index, uint8_t value);
  void gpioLinesChanged(bool initial);
  uint8_t inputStatus1() const;

  // Memory windows (board.cpp).
  bool memoryAccess(unsigned width, uint64_t physical, bool write, uint32_t& value);
};

uint32_t widthMask(unsigned width);

}  // namespace orva::board
