#include "tv_encoder.h"

namespace orva::board {

void TvEncoder::write(uint8_t reg, uint8_t value, TvAccess how) {
  regs_[reg] = value;
  writes_.push_back(TvWrite{now_, reg, value, how, !reset_});
}

void TvEncoder::setControl(bool resetLine, bool enableLine, uint64_t timeNs) {
  if (controlSeen_ && resetLine == reset_ && enableLine == enable_) return;
  controlSeen_ = true;
  reset_ = resetLine;
  enable_ = enableLine;
  control_.push_back(TvControlSample{timeNs, resetLine, enableLine});
}

std::optional<uint64_t> TvEncoder::lastResetPulseNs() const {
  // Walk back to the last rising edge of the reset line, then to the start of the low
  // period before it (a falling edge, or the first report if the line was low from then on).
  for (size_t i = control_.size(); i-- > 1;) {
    if (!control_[i].reset || control_[i - 1].reset) continue;
    size_t j = i - 1;
    while (j > 0 && !control_[j - 1].reset) --j;
    return control_[i].timeNs - control_[j].timeNs;
  }
  return std::nullopt;
}

void TvEncoder::clearLog() {
  writes_.clear();
  control_.clear();
  controlSeen_ = false;
}

}  // namespace orva::board
