// The board's I2C slave and its waveform dump, driven by a bit-banging master that moves one
// line per action, as the chipset GPIO register does.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "i2c_slave.h"
#include "vcd.h"

namespace orva::board {
namespace {

class Master {
 public:
  Master(I2cSlave& slave, uint64_t stepNs = 1000) : slave_(slave), step_(stepNs) {}
  void sda(bool l) { act(l, scl_); }
  void scl(bool l) { act(sda_, l); }
  // START, the bytes each with a ninth clock (SDA released, then driven low before SCL
  // falls), STOP. Returns the acknowledge the master saw for each byte.
  std::vector<bool> transfer(std::vector<uint8_t> bytes) {
    std::vector<bool> acks;
    sda(false), scl(false);
    for (uint8_t byte : bytes) {
      for (int b = 7; b >= 0; --b) sda((byte >> b) & 1), scl(true), scl(false);
      sda(true), scl(true);
      acks.push_back(!wire_);
      sda(false), scl(false);
    }
    sda(false), scl(true), sda(true);
    return acks;
  }

 private:
  void act(bool sda, bool scl) {
    sda_ = sda, scl_ = scl, time_ += step_;
    wire_ = slave_.drive(sda_, scl_, time_);
  }
  I2cSlave& slave_;
  uint64_t step_, time_ = 0;
  bool sda_ = true, scl_ = true, wire_ = true;
};

using Writes = std::vector<std::pair<uint8_t, uint8_t>>;

TEST(BoardI2cSlave, AcknowledgesItsAddressAndAutoIncrements) {
  I2cSlave slave(0x40, true);
  Writes writes;
  slave.onRegisterWrite = [&](uint8_t r, uint8_t v) { writes.emplace_back(r, v); };
  Master m(slave);
  EXPECT_EQ(m.transfer({0x40, 0x05, 0x31}), (std::vector<bool>(3, true)));
  EXPECT_EQ(m.transfer({0x40, 0x0A, 0x21, 0xF0, 0x7C}), (std::vector<bool>(5, true)));
  EXPECT_EQ(writes, (Writes{{0x05, 0x31}, {0x0A, 0x21}, {0x0B, 0xF0}, {0x0C, 0x7C}}));
  ASSERT_EQ(slave.transactions().size(), 2u);
  const I2cTransaction& t = slave.transactions()[0];
  EXPECT_EQ(t.address, 0x40);
  EXPECT_TRUE(t.addressAcked && t.forUs && t.endedByStop);
  EXPECT_EQ(t.data, (std::vector<uint8_t>{0x05, 0x31}));
  EXPECT_EQ(t.dataAcked, (std::vector<bool>{true, true}));
  EXPECT_EQ(t.trailingBits, 0u);  // the STOP's clock is no data bit
  EXPECT_TRUE(slave.missingAcks().empty());
  EXPECT_EQ(slave.counters().sclRising, 28u + 46u);  // 9 per byte, 1 per STOP
  EXPECT_FALSE(slave.slavePullsSda());
  EXPECT_TRUE(slave.sda());
}

// Without an acknowledge the master's SDA high then low in the ninth clock shows on the wire
// as a repeated START, so every later byte opens a transfer of its own.
struct NackCase {
  const char* name;
  uint8_t device;
  bool present;
};

class BoardI2cNack : public testing::TestWithParam<NackCase> {};

TEST_P(BoardI2cNack, NothingIsWritten) {
  I2cSlave slave(0x40, GetParam().present);
  int writes = 0;
  slave.onRegisterWrite = [&](uint8_t, uint8_t) { ++writes; };
  Master m(slave);
  EXPECT_EQ(m.transfer({GetParam().device, 0x00, 0x99}), (std::vector<bool>(3, false)));
  EXPECT_EQ(writes, 0);
  const auto& tx = slave.transactions();
  ASSERT_EQ(tx.size(), 4u);
  EXPECT_EQ(tx[0].address, GetParam().device);
  EXPECT_EQ(tx[1].address, 0x00);
  EXPECT_EQ(tx[2].address, 0x99);
  EXPECT_FALSE(tx[0].addressAcked || tx[0].endedByStop);
  EXPECT_TRUE(!tx[3].addressComplete && tx[3].endedByStop);
  EXPECT_EQ(slave.missingAcks().size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(, BoardI2cNack,
                         testing::Values(NackCase{"Absent", 0x40, false},
                                         NackCase{"OtherDevice", 0x42, true},
                                         NackCase{"ReadOfTheDevice", 0x41, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Reads the dump back (ids from the header, then time steps) and decodes the sda/scl wires
// into "S", "40+" (byte, ACK), "42-" (NACK), "P". As a logic analyser does, it samples the
// levels of each time step only up to the next one, so the last step's levels are not read.
std::vector<std::string> decodeVcd(const std::string& text, std::vector<uint64_t>& times) {
  std::istringstream in(text);
  std::map<std::string, std::string> names;
  std::string tok, sda = "x", scl = "x";
  bool body = false;
  int bits = -1;
  unsigned value = 0;
  std::vector<std::string> out;
  std::map<std::string, std::string> step;
  auto apply = [&] {
    const std::string nsda = step.count("sda") ? step["sda"] : sda;
    const std::string nscl = step.count("scl") ? step["scl"] : scl;
    if (scl == "1" && nscl == "1" && sda != "x" && nsda != sda) {
      out.push_back(nsda == "0" ? "S" : "P");
      bits = nsda == "0" ? 0 : -1, value = 0;
    } else if (scl == "0" && nscl == "1" && bits >= 0) {
      if (bits < 8) {
        value = value << 1 | (nsda == "1");
        ++bits;
      } else {  // the ninth clock
        char buf[8];
        std::snprintf(buf, sizeof buf, "%02X%c", value, nsda == "0" ? '+' : '-');
        out.push_back(buf);
        bits = 0, value = 0;
      }
    }
    sda = nsda, scl = nscl, step.clear();
  };
  while (in >> tok) {
    if (tok == "$var") {
      std::string type, width, id, name;
      in >> type >> width >> id >> name;
      names[id] = name;
    } else if (tok == "$enddefinitions") {
      body = true;
    } else if (body && tok[0] == '#') {
      if (!times.empty()) apply();
      times.push_back(std::stoull(tok.substr(1)));
    } else if (body && (tok[0] == '0' || tok[0] == '1')) {
      EXPECT_TRUE(names.count(tok.substr(1))) << tok;
      step[names[tok.substr(1)]] = tok.substr(0, 1);
    }
  }
  EXPECT_TRUE(step.empty()) << "the last time step changes a line no sample will see";
  EXPECT_EQ(names.size(), 4u);
  return out;
}

class BoardI2cVcd : public testing::TestWithParam<uint64_t> {};

// With a zero step every action shares one time: each still gets its own timestamp.
TEST_P(BoardI2cVcd, WaveformDecodesToTheTransfers) {
  I2cSlave slave(0x40, true);
  Master m(slave, GetParam());
  m.transfer({0x40, 0x00, 0x99});
  m.transfer({0x42, 0x06});  // nobody answers: repeated STARTs on the wire
  const std::string vcd = i2cVcd(slave);
  EXPECT_NE(vcd.find("$timescale 1ns $end"), std::string::npos);
  std::vector<uint64_t> times;
  EXPECT_EQ(decodeVcd(vcd, times), (std::vector<std::string>{"S", "40+", "00+", "99+", "P", "S",
                                                             "42-", "S", "06-", "S", "P"}));
  EXPECT_EQ(times.size(), 1 + slave.lineLog().size() + 1);  // dumpvars, actions, closing step
  for (size_t i = 1; i < times.size(); ++i) EXPECT_GT(times[i], times[i - 1]);
  EXPECT_EQ(times.back() - times[times.size() - 2], kI2cBusFreeNs);
}

INSTANTIATE_TEST_SUITE_P(, BoardI2cVcd, testing::Values(1000, 0));

}  // namespace
}  // namespace orva::board
