// Value Change Dump of the I2C line log, for waveform viewers and their protocol decoders.
// Four one-bit wires in scope "i2c": sda and scl (the wire levels, what a decoder should
// read) and sda_master and scl_master (the master's drive). One timestamp per line action, in
// nanoseconds of virtual time; where several actions share a time, each later one is moved
// 1 ns after the one before it so that every action keeps its own timestamp.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "i2c_slave.h"

namespace orva::board {

void writeVcd(std::ostream& out, const I2cLineSample& initial,
              const std::vector<I2cLineSample>& log);
std::string i2cVcd(const I2cSlave& slave);

}  // namespace orva::board
