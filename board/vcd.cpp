#include "vcd.h"

#include <sstream>

namespace orva::board {

namespace {

constexpr char kSda = '!', kScl = '"', kSdaMaster = '#', kSclMaster = '$';

void change(std::ostream& out, bool level, char id) { out << (level ? '1' : '0') << id << '\n'; }

}  // namespace

void writeVcd(std::ostream& out, const I2cLineSample& initial,
              const std::vector<I2cLineSample>& log, uint64_t idleNs) {
  out << "$version orva board I2C line log $end\n"
      << "$timescale 1ns $end\n"
      << "$scope module i2c $end\n"
      << "$var wire 1 " << kSda << " sda $end\n"
      << "$var wire 1 " << kScl << " scl $end\n"
      << "$var wire 1 " << kSdaMaster << " sda_master $end\n"
      << "$var wire 1 " << kSclMaster << " scl_master $end\n"
      << "$upscope $end\n"
      << "$enddefinitions $end\n";

  uint64_t time = initial.timeNs;
  out << '#' << time << "\n$dumpvars\n";
  change(out, initial.sda, kSda);
  change(out, initial.scl, kScl);
  change(out, initial.sdaMaster, kSdaMaster);
  change(out, initial.sclMaster, kSclMaster);
  out << "$end\n";

  I2cLineSample last = initial;
  for (const I2cLineSample& s : log) {
    time = s.timeNs > time ? s.timeNs : time + 1;
    out << '#' << time << '\n';
    if (s.sda != last.sda) change(out, s.sda, kSda);
    if (s.scl != last.scl) change(out, s.scl, kScl);
    if (s.sdaMaster != last.sdaMaster) change(out, s.sdaMaster, kSdaMaster);
    if (s.sclMaster != last.sclMaster) change(out, s.sclMaster, kSclMaster);
    last = s;
  }
  out << '#' << time + idleNs << '\n';
}

std::string i2cVcd(const I2cSlave& slave) {
  std::ostringstream out;
  writeVcd(out, slave.initialSample(), slave.lineLog(), kI2cBusFreeNs);
  return out.str();
}

}  // namespace orva::board
