// Value Change Dump of the I2C line log, for waveform viewers and their protocol decoders.
// Four one-bit wires in scope "i2c": sda and scl (the wire levels, what a decoder should
// read) and sda_master and scl_master (the master's drive). One timestamp per line action, in
// nanoseconds of virtual time; where several actions share a time, each later one is moved
// 1 ns after the one before it so that every action keeps its own timestamp. A closing
// timestamp, `idleNs` after the last action, ends the file: a logic analyser samples each
// level only up to the next timestamp, so without it the last change (the final STOP's SDA
// rise) would never be sampled.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "board.h"
#include "i2c_slave.h"

namespace orva::board {

// The bus-free time the chipset's I2C master leaves after a STOP. It moves one line per
// action, each a read-modify-write of configuration register 0x7B through ports 0x22/0x23
// (four port accesses); its bus delays are counting loops that touch no bus and take no
// virtual time. After the STOP's SDA rise the next transfer's START (SDA falling) is its next
// line action, so the bus stays idle for four port accesses between transfers.
inline constexpr uint64_t kI2cBusFreeNs = 4 * Board::kPortAccessNs;

void writeVcd(std::ostream& out, const I2cLineSample& initial,
              const std::vector<I2cLineSample>& log, uint64_t idleNs);
// The slave's line log, closed kI2cBusFreeNs after its last action.
std::string i2cVcd(const I2cSlave& slave);

}  // namespace orva::board
