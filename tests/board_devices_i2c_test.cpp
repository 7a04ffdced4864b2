// The board's I2C slave and its waveform dump, driven by a bit-banging master that moves one
// line per action, as the chipset GPIO register does.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "i2c_slave.h"
#include "vcd.h"

namespace orva::board {
namespace {

// Master that drives the slave one line action at a time; time advances 1 us per action.
class Master {
 public:
  explicit Master(I2cSlave& slave) : slave_(slave) {}
  void sda(bool level) { act(level, scl_); }
  void scl(bool level) { act(sda_, level); }
  void start() { sda(false), scl(false); }
  void byte(uint8_t value) {
    for (int b = 7; b >= 0; --b) {
      sda((value >> b) & 1);
      scl(true);
      scl(false);
    }
  }
  // The ninth clock with SDA released, then SDA low before SCL falls (the bus ends low).
  bool ackClock() {
    sda(true);
    scl(true);
    const bool acked = !wire_;
    sda(false);
    scl(false);
    return acked;
  }
  void stop() { sda(false), scl(true), sda(true); }
  std::vector<bool> writeRegister(uint8_t device, std::vector<uint8_t> bytes) {
    std::vector<bool> acks;
    start();
    byte(device);
    acks.push_back(ackClock());
    for (uint8_t b : bytes) {
      byte(b);
      acks.push_back(ackClock());
    }
    stop();
    return acks;
  }
  bool wire() const { return wire_; }

 private:
  void act(bool sda, bool scl) {
    sda_ = sda;
    scl_ = scl;
    time_ += 1000;
    wire_ = slave_.drive(sda_, scl_, time_);
  }
  I2cSlave& slave_;
  bool sda_ = true, scl_ = true, wire_ = true;
  uint64_t time_ = 0;
};

using Writes = std::vector<std::pair<uint8_t, uint8_t>>;

struct Recorder {
  explicit Recorder(I2cSlave& slave) {
    slave.onRegisterWrite = [this](uint8_t r, uint8_t v) { writes.emplace_back(r, v); };
  }
  Writes writes;
};

TEST(BoardI2cSlave, AcknowledgesItsAddressAndWritesRegisters) {
  I2cSlave slave(0x40, true);
  Recorder rec(slave);
  Master m(slave);
  EXPECT_EQ(m.writeRegister(0x40, {0x05, 0x31}), (std::vector<bool>{true, true, true}));
  EXPECT_EQ(m.writeRegister(0x40, {0x0A, 0x21, 0xF0, 0x7C}),
            (std::vector<bool>{true, true, true, true, true}));

  EXPECT_EQ(rec.writes, (Writes{{0x05, 0x31}, {0x0A, 0x21}, {0x0B, 0xF0}, {0x0C, 0x7C}}));
  ASSERT_EQ(slave.transactions().size(), 2u);
  const I2cTransaction& t = slave.transactions()[0];
  EXPECT_EQ(t.address, 0x40);
  EXPECT_TRUE(t.addressAcked);
  EXPECT_TRUE(t.forUs);
  EXPECT_EQ(t.data, (std::vector<uint8_t>{0x05, 0x31}));
  EXPECT_EQ(t.dataAcked, (std::vector<bool>{true, true}));
  EXPECT_TRUE(t.endedByStop);
  EXPECT_EQ(t.trailingBits, 0u);
  EXPECT_FALSE(t.ackClockMissing);
  EXPECT_TRUE(slave.missingAcks().empty());
  // 3 and 5 bytes: 9 clocks each, plus the STOP's clock.
  EXPECT_EQ(slave.counters().sclRising, 28u + 46u);
  EXPECT_EQ(slave.counters().starts, 2u);
  EXPECT_EQ(slave.counters().stops, 2u);
  EXPECT_TRUE(m.wire());  // bus idle and released afterwards
  EXPECT_FALSE(slave.slavePullsSda());
}

// Without an acknowledge the master's SDA-high / SDA-low in the ninth clock shows on the
// wire as a repeated START, so every later byte opens a transfer of its own.
struct NackCase {
  const char* name;
  uint8_t device;
  bool present;
};

class BoardI2cNack : public testing::TestWithParam<NackCase> {};

TEST_P(BoardI2cNack, NothingIsWrittenAndEveryByteIsUnacknowledged) {
  I2cSlave slave(0x40, GetParam().present);
  Recorder rec(slave);
  Master m(slave);
  EXPECT_EQ(m.writeRegister(GetParam().device, {0x00, 0x99}),
            (std::vector<bool>{false, false, false}));
  EXPECT_TRUE(rec.writes.empty());
  ASSERT_EQ(slave.transactions().size(), 4u);
  const auto& tx = slave.transactions();
  EXPECT_EQ(tx[0].address, GetParam().device);
  EXPECT_EQ(tx[1].address, 0x00);
  EXPECT_EQ(tx[2].address, 0x99);
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(tx[i].addressAcked);
    EXPECT_FALSE(tx[i].endedByStop);
    EXPECT_TRUE(tx[i].data.empty());
  }
  EXPECT_FALSE(tx[3].addressComplete);
  EXPECT_TRUE(tx[3].endedByStop);
  EXPECT_EQ(slave.missingAcks().size(), 3u);
  EXPECT_EQ(slave.counters().sclRising, 28u);
}

INSTANTIATE_TEST_SUITE_P(, BoardI2cNack,
                         testing::Values(NackCase{"Absent", 0x40, false},
                                         NackCase{"OtherDevice", 0x42, true},
                                         NackCase{"ReadOfTheDevice", 0x41, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BoardI2cSlave, HoldsTheAcknowledgeForExactlyTheNinthClock) {
  I2cSlave slave(0x40, true);
  Master m(slave);
  m.start();
  m.byte(0x40);  // ends with SCL low after bit 8, SDA at bit 0 = 0
  EXPECT_TRUE(slave.slavePullsSda());
  m.sda(true);  // master releases: the slave keeps the wire low
  EXPECT_FALSE(m.wire());
  m.scl(true);
  EXPECT_FALSE(m.wire());
  m.scl(false);  // end of the ninth clock: released
  EXPECT_FALSE(slave.slavePullsSda());
  EXPECT_TRUE(m.wire());
}

TEST(BoardI2cSlave, PartialByteBeforeStopIsReportedNotWritten) {
  I2cSlave slave(0x40, true);
  Recorder rec(slave);
  Master m(slave);
  m.start();
  m.byte(0x40);
  m.ackClock();
  m.byte(0x02);
  m.ackClock();
  for (int i = 0; i < 3; ++i) m.scl(true), m.scl(false);  // three bits of a value
  m.stop();
  ASSERT_EQ(slave.transactions().size(), 1u);
  EXPECT_EQ(slave.transactions()[0].trailingBits, 3u);
  EXPECT_TRUE(rec.writes.empty());
}

TEST(BoardI2cSlave, LineLogRecordsEveryActionWithWireLevels) {
  I2cSlave slave(0x40, true);
  Master m(slave);
  m.writeRegister(0x40, {0x01, 0xF4});
  const auto& log = slave.lineLog();
  // START 2 actions, 3 bytes × (24 + 4), STOP 3.
  ASSERT_EQ(log.size(), 2u + 3u * 28u + 3u);
  EXPECT_EQ(slave.counters().lineActions, log.size());
  for (const auto& s : log) {
    EXPECT_EQ(s.scl, s.sclMaster);
    EXPECT_TRUE(!s.sda || s.sdaMaster);  // wired AND: the wire is never higher than the master
  }
  EXPECT_LT(log.front().timeNs, log.back().timeNs);
}

// --- Value Change Dump, read back by an independent decoder ---

struct Dump {
  std::map<std::string, std::string> ids;  // name -> identifier
  std::string timescale;
  std::vector<std::pair<uint64_t, std::map<std::string, char>>> steps;  // time, changes by name
};

Dump parseVcd(const std::string& text) {
  Dump d;
  std::istringstream in(text);
  std::string tok;
  std::map<std::string, std::string> names;  // id -> name
  bool body = false;
  while (in >> tok) {
    if (tok == "$timescale") {
      in >> d.timescale;
    } else if (tok == "$var") {
      std::string type, width, id, name;
      in >> type >> width >> id >> name;
      EXPECT_EQ(type, "wire");
      EXPECT_EQ(width, "1");
      d.ids[name] = id;
      names[id] = name;
    } else if (tok == "$enddefinitions") {
      body = true;
    } else if (body && tok[0] == '#') {
      d.steps.push_back({std::stoull(tok.substr(1)), {}});
    } else if (body && (tok[0] == '0' || tok[0] == '1')) {
      EXPECT_FALSE(d.steps.empty());
      EXPECT_TRUE(names.count(tok.substr(1))) << tok;
      d.steps.back().second[names[tok.substr(1)]] = tok[0];
    }
  }
  return d;
}

// Decodes sda/scl into "S", "40+", "05-", "P" tokens (+ ACK, - NACK).
std::vector<std::string> decodeI2c(const Dump& d) {
  std::vector<std::string> out;
  char sda = 'x', scl = 'x';
  int bits = -1;  // -1: idle
  unsigned value = 0;
  for (const auto& [time, changes] : d.steps) {
    const char nsda = changes.count("sda") ? changes.at("sda") : sda;
    const char nscl = changes.count("scl") ? changes.at("scl") : scl;
    if (scl == '1' && nscl == '1' && sda != nsda && sda != 'x') {
      out.push_back(nsda == '0' ? "S" : "P");
      bits = nsda == '0' ? 0 : -1;
      value = 0;
    } else if (scl == '0' && nscl == '1' && bits >= 0) {
      if (bits < 8) {
        value = (value << 1) | (nsda == '1');
        ++bits;
      } else {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%02X%c", value, nsda == '0' ? '+' : '-');
        out.push_back(buf);
        bits = 0;
        value = 0;
      }
    }
    sda = nsda;
    scl = nscl;
  }
  return out;
}

TEST(BoardI2cVcd, WaveformDecodesToTheTransfers) {
  I2cSlave slave(0x40, true);
  Master m(slave);
  m.writeRegister(0x40, {0x00, 0x99});
  m.writeRegister(0x42, {0x06});  // nobody answers: repeated STARTs on the wire
  const Dump d = parseVcd(i2cVcd(slave));
  EXPECT_EQ(d.timescale, "1ns");
  ASSERT_EQ(d.ids.size(), 4u);
  EXPECT_TRUE(d.ids.count("sda_master") && d.ids.count("scl_master"));
  ASSERT_FALSE(d.steps.empty());
  EXPECT_EQ(d.steps[0].second.size(), 4u);  // $dumpvars: every wire's initial value
  EXPECT_EQ(d.steps.size(), 1 + slave.lineLog().size());
  for (size_t i = 1; i < d.steps.size(); ++i) EXPECT_GT(d.steps[i].first, d.steps[i - 1].first);
  EXPECT_EQ(decodeI2c(d), (std::vector<std::string>{"S", "40+", "00+", "99+", "P", "S", "42-", "S",
                                                    "06-", "S", "P"}));
}

TEST(BoardI2cVcd, SharedTimestampsAreSpreadOneNanosecondApart) {
  I2cSlave slave(0x40, true);
  slave.drive(false, true, 500);
  slave.drive(false, false, 500);
  slave.drive(true, false, 500);
  const Dump d = parseVcd(i2cVcd(slave));
  ASSERT_EQ(d.steps.size(), 4u);
  EXPECT_EQ(d.steps[1].first, 500u);
  EXPECT_EQ(d.steps[2].first, 501u);
  EXPECT_EQ(d.steps[3].first, 502u);
}

}  // namespace
}  // namespace orva::board
