// A write-only I2C slave on the board's two-wire bus (the external TV encoder answers at
// device byte 0x40). The master is the chipset's GPIO register: every time the board sees
// a write of the register that carries the two lines, it calls drive() with the master's
// drive of both lines (true = released/high). The lines are open-drain: the wire level of
// SDA is the AND of the master's drive and the slave's, SCL is the master's (no stretching).
//
// The slave decodes the wire the way a real device does: START (SDA falls while SCL is
// high), STOP (SDA rises while SCL is high), eight data bits sampled on SCL rising edges,
// most significant first, then the acknowledge clock. It pulls SDA low from the SCL falling
// edge after the eighth bit until the SCL falling edge after the ninth clock when the
// address byte equals its device byte and it is present, and for every later byte of that
// transfer. The first byte after the address is the register number (sub-address); each
// further byte is written to that register and the number advances by one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace orva::board {

// One drive() call: the master's drive and the resulting wire levels (after the slave has
// reacted to the change).
struct I2cLineSample {
  uint64_t timeNs = 0;
  bool sdaMaster = true, sclMaster = true;
  bool sda = true, scl = true;  // wire levels
};

// A transfer as seen on the wire: from START to STOP or to the next (repeated) START.
struct I2cTransaction {
  uint64_t startNs = 0, endNs = 0;
  uint8_t address = 0;           // first byte after START (address and read/write bit)
  bool addressComplete = false;  // all eight bits of the address byte were clocked
  bool addressAcked = false;     // SDA low on the wire in the address byte's ninth clock
  std::vector<uint8_t> data;     // complete bytes after the address
  std::vector<bool> dataAcked;   // per data byte: SDA low in its ninth clock
  unsigned trailingBits = 0;     // whole clocks of an incomplete byte before the end
  bool ackClockMissing = false;  // a complete byte was not followed by its ninth clock
  bool endedByStop = false;      // false: ended by a repeated START, or still open
  bool forUs = false;            // the slave recognised its device byte (and is present)
};

struct I2cMissingAck {
  size_t transaction = 0;  // index into transactions()
  int byte = -1;           // -1: the address byte; else index into data
  uint64_t timeNs = 0;     // the ninth clock's rising edge
};

struct I2cCounters {
  uint64_t lineActions = 0;  // drive() calls
  uint64_t lineChanges = 0;  // drive() calls that changed the master's drive
  uint64_t sclRising = 0;    // rising edges of the SCL wire
  uint64_t starts = 0, stops = 0;
  uint64_t registerWrites = 0;  // onRegisterWrite calls
};

class I2cSlave {
 public:
  I2cSlave(uint8_t deviceByte, bool present);

  // The master's new drive of both lines; returns the SDA wire level. If both lines change in
  // one call, the data line is taken to change first (so SDA falling with SCL falling while
  // SCL was high is a START). Call it on every write of the GPIO register, even when the two
  // bits did not change: each call counts as one line action and is one line-log entry.
  bool drive(bool sdaMaster, bool sclMaster, uint64_t timeNs);

  // Called for each data byte after the register number of a transfer addressed to this
  // slave: (register, value), the register number advancing after each byte.
  std::function<void(uint8_t reg, uint8_t value)> onRegisterWrite;

  // Levels before the first drive() (power-up state of the GPIO bits). Does not count as a
  // line action; it is the line log's initial sample. Default: both lines high.
  void setInitialLevels(bool sdaMaster, bool sclMaster, uint64_t timeNs = 0);

  uint8_t deviceByte() const { return device_; }
  bool present() const { return present_; }
  bool sda() const { return wireSda(); }
  bool scl() const { return sclMaster_; }
  bool slavePullsSda() const { return !slaveSda_; }

  const std::vector<I2cTransaction>& transactions() const { return transactions_; }
  const std::vector<I2cMissingAck>& missingAcks() const { return missingAcks_; }
  const I2cCounters& counters() const { return counters_; }
  const I2cLineSample& initialSample() const { return initial_; }
  const std::vector<I2cLineSample>& lineLog() const { return log_; }
  void setLogging(bool on) { logging_ = on; }  // off: counters and transactions only

 private:
  bool wireSda() const { return sdaMaster_ && slaveSda_; }
  void onStart(uint64_t timeNs);
  void onStop(uint64_t timeNs);
  void onSclRise(uint64_t timeNs);
  void onSclFall();
  void endTransaction(uint64_t timeNs, bool byStop);

  uint8_t device_;
  bool present_;
  bool sdaMaster_ = true, sclMaster_ = true;
  bool slaveSda_ = true;  // false: the slave pulls SDA low

  // Receiver state of the current transfer.
  bool inTransfer_ = false;
  unsigned bit_ = 0;  // bits of the current byte clocked so far (0-8), 9: in ack clock
  uint8_t shift_ = 0;
  bool ackPending_ = false;  // pull SDA at the next SCL fall
  bool forUs_ = false;
  bool haveRegister_ = false;
  uint8_t register_ = 0;

  std::vector<I2cTransaction> transactions_;
  std::vector<I2cMissingAck> missingAcks_;
  I2cCounters counters_;
  I2cLineSample initial_;
  std::vector<I2cLineSample> log_;
  bool logging_ = true;
};

}  // namespace orva::board
