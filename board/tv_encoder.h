// The TV encoder: 256 eight-bit registers, reached through the chipset configuration
// registers (I/O), through its memory window, or, as an external chip, over the I2C bus.
// The external encoder also has a reset line (GPIO register 0x7B bit 1, low = held in reset)
// and an enable line (bit 6); the board reports their levels through setControl().
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace orva::board {

enum class TvAccess { Io, Memory, I2c };

struct TvWrite {
  uint64_t timeNs = 0;
  uint8_t reg = 0;
  uint8_t value = 0;
  TvAccess how = TvAccess::Io;
  bool heldInReset = false;  // the reset line was low when the write arrived
};

struct TvControlSample {
  uint64_t timeNs = 0;
  bool reset = true;   // reset line level (false = held in reset)
  bool enable = true;  // enable line level
};

class TvEncoder {
 public:
  // The board sets the current virtual time before each access (used to stamp writes).
  void setTime(uint64_t timeNs) { now_ = timeNs; }

  void write(uint8_t reg, uint8_t value, TvAccess how);
  uint8_t read(uint8_t reg) const { return regs_[reg]; }

  // Control line levels. Only changes are recorded; the first call is always recorded (it
  // is the power-up state the board reports).
  void setControl(bool resetLine, bool enableLine, uint64_t timeNs);

  const std::array<uint8_t, 256>& registers() const { return regs_; }
  const std::vector<TvWrite>& writes() const { return writes_; }
  const std::vector<TvControlSample>& controlHistory() const { return control_; }
  bool resetLine() const { return reset_; }
  bool enableLine() const { return enable_; }

  // Length of the most recent completed low period of the reset line: from its falling edge
  // (or from the first report, when the line was low from then on) to the next rising edge.
  std::optional<uint64_t> lastResetPulseNs() const;

  void clearLog();  // writes and control history; the register file stays

 private:
  std::array<uint8_t, 256> regs_{};
  std::vector<TvWrite> writes_;
  std::vector<TvControlSample> control_;
  bool reset_ = true, enable_ = true;
  bool controlSeen_ = false;
  uint64_t now_ = 0;
};

}  // namespace orva::board
