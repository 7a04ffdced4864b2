// The TFT panel interface. Two forms, depending on the chip:
// - I/O: two 16-bit ports, the register number at offset 0 and the data at offset 4; a data
//   write goes to the register last selected. Reads return the selected number / its value.
// - Memory: a 0x1000-byte window of 16-bit words. Words 0-9 are registers 0-9, word 12 is
//   register 10, word 10 packs registers 12 (bits 0-7) and 13 (bits 8-15), word 11 packs
//   register 14 (bits 0-7), register 11 (bits 8-10) and register 15 (bits 11-15); words 16
//   and above are registers 16 and above. Words 13-15 hold no register.
// The board calls setTime() with the current virtual time before each access.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <vector>

namespace orva::board {

struct TftRegisterWrite {
  uint64_t timeNs = 0;
  uint16_t reg = 0;
  uint16_t value = 0;
};

struct TftWindowWrite {
  uint64_t timeNs = 0;
  uint8_t width = 0;  // 8, 16, 32
  uint32_t offset = 0;
  uint32_t value = 0;
};

class TftInterface {
 public:
  static constexpr uint32_t kWindowBytes = 0x1000;
  static constexpr unsigned kPortBytes = 8;  // the I/O form decodes offsets 0-7

  void setTime(uint64_t timeNs) { now_ = timeNs; }

  // I/O form. Byte lanes 0-1: register number; 4-5: data (a write reaching a data byte
  // writes the selected register, merged with its other byte for an 8-bit access).
  // Lanes 2-3 and 6-7 are not decoded (writes ignored, reads 0xFF).
  void portWrite(unsigned width, uint32_t offset, uint32_t value);
  uint32_t portRead(unsigned width, uint32_t offset);

  // Memory form: 8-, 16- or 32-bit accesses at any offset inside the window (little-endian);
  // accesses reaching beyond the window are cut at its end.
  void memoryWrite(unsigned width, uint32_t offset, uint32_t value);
  uint32_t memoryRead(unsigned width, uint32_t offset);

  // Register files. I/O form: the value last written to each register number (16-bit).
  // Memory form: registers decoded from the window layout above.
  uint16_t ioRegister(uint16_t reg) const;
  uint16_t windowRegister(unsigned reg) const;
  uint16_t windowWord(unsigned word) const;
  uint16_t selectedRegister() const { return index_; }

  // Panel registers 0-15 of each form.
  std::array<uint16_t, 16> ioPanelRegisters() const;
  std::array<uint16_t, 16> windowPanelRegisters() const;

  // I/O form: every data write as (time, register, value), in order.
  const std::vector<TftRegisterWrite>& ioWrites() const { return ioWrites_; }
  // Memory form: every window write, in order.
  const std::vector<TftWindowWrite>& windowWrites() const { return windowWrites_; }
  // Memory form, decoded: for each window write, one entry per register it covers. A
  // register alone in its word is reported on every write that covers it; a register packed
  // with others (11-15) only when its field changed, since a whole-word store rewrites the
  // neighbours with their old values.
  const std::vector<TftRegisterWrite>& windowRegisterWrites() const { return windowRegWrites_; }

  // Writes of one register in either form, in order (I/O writes, then decoded window writes,
  // each stream in time order; a chip uses one form).
  std::vector<TftRegisterWrite> history(uint16_t reg) const;

  void clearLog();

 private:
  std::map<uint16_t, uint16_t> io_;  // registers written so far; the others read 0
  uint16_t index_ = 0;
  std::array<uint8_t, kWindowBytes> window_{};
  std::vector<TftRegisterWrite> ioWrites_;
  std::vector<TftWindowWrite> windowWrites_;
  std::vector<TftRegisterWrite> windowRegWrites_;
  uint64_t now_ = 0;
};

}  // namespace orva::board
