#include "i2c_slave.h"

namespace orva::board {

I2cSlave::I2cSlave(uint8_t deviceByte, bool present) : device_(deviceByte), present_(present) {}

void I2cSlave::setInitialLevels(bool sdaMaster, bool sclMaster, uint64_t timeNs) {
  sdaMaster_ = sdaMaster;
  sclMaster_ = sclMaster;
  initial_ = I2cLineSample{timeNs, sdaMaster, sclMaster, wireSda(), sclMaster};
}

bool I2cSlave::drive(bool sdaMaster, bool sclMaster, uint64_t timeNs) {
  ++counters_.lineActions;
  if (sdaMaster != sdaMaster_ || sclMaster != sclMaster_) ++counters_.lineChanges;

  // The data line first: a change of the SDA wire while SCL is high is START or STOP.
  const bool sclWasHigh = sclMaster_;
  const bool oldSda = wireSda();
  sdaMaster_ = sdaMaster;
  const bool newSda = wireSda();
  if (sclWasHigh && newSda != oldSda) {
    if (newSda) {
      onStop(timeNs);
    } else {
      onStart(timeNs);
    }
  }

  if (sclMaster != sclWasHigh) {
    sclMaster_ = sclMaster;
    if (sclMaster) {
      onSclRise(timeNs);
    } else {
      onSclFall();
    }
  }

  if (logging_)
    log_.push_back(I2cLineSample{timeNs, sdaMaster_, sclMaster_, wireSda(), sclMaster_});
  return wireSda();
}

void I2cSlave::onStart(uint64_t timeNs) {
  ++counters_.starts;
  if (inTransfer_) endTransaction(timeNs, false);
  inTransfer_ = true;
  bit_ = 0;
  shift_ = 0;
  ackPending_ = false;
  forUs_ = false;
  haveRegister_ = false;
  slaveSda_ = true;
  I2cTransaction t;
  t.startNs = timeNs;
  transactions_.push_back(std::move(t));
}

void I2cSlave::onStop(uint64_t timeNs) {
  ++counters_.stops;
  if (inTransfer_) endTransaction(timeNs, true);
  inTransfer_ = false;
  slaveSda_ = true;
}

void I2cSlave::endTransaction(uint64_t timeNs, bool byStop) {
  I2cTransaction& t = transactions_.back();
  t.endNs = timeNs;
  t.endedByStop = byStop;
  // START and STOP happen while SCL is high: the clock in progress carries no data bit.
  if (bit_ > 1 && bit_ < 8) t.trailingBits = bit_ - 1;
  if (bit_ == 8) t.ackClockMissing = true;
}

void I2cSlave::onSclRise(uint64_t timeNs) {
  ++counters_.sclRising;
  if (!inTransfer_) return;
  I2cTransaction& t = transactions_.back();
  if (bit_ < 8) {
    shift_ = static_cast<uint8_t>((shift_ << 1) | (wireSda() ? 1 : 0));
    if (++bit_ < 8) return;
    // A whole byte: the slave decides now whether it acknowledges it.
    if (!t.addressComplete) {
      t.address = shift_;
      t.addressComplete = true;
      forUs_ = present_ && shift_ == device_;
      t.forUs = forUs_;
    } else {
      t.data.push_back(shift_);
      t.dataAcked.push_back(false);
      if (forUs_) {
        if (!haveRegister_) {
          register_ = shift_;
          haveRegister_ = true;
        } else {
          ++counters_.registerWrites;
          if (onRegisterWrite) onRegisterWrite(register_, shift_);
          ++register_;
        }
      }
    }
    ackPending_ = forUs_;
    return;
  }
  if (bit_ == 8) {
    // The ninth clock: whoever holds SDA low acknowledges.
    const bool acked = !wireSda();
    const int byte = t.data.empty() ? -1 : static_cast<int>(t.data.size()) - 1;
    if (byte < 0) {
      t.addressAcked = acked;
    } else {
      t.dataAcked[static_cast<size_t>(byte)] = acked;
    }
    if (!acked) missingAcks_.push_back(I2cMissingAck{transactions_.size() - 1, byte, timeNs});
    bit_ = 9;
  }
}

void I2cSlave::onSclFall() {
  if (!inTransfer_) return;
  if (bit_ == 8) {
    if (ackPending_) slaveSda_ = false;
  } else if (bit_ == 9) {
    slaveSda_ = true;
    ackPending_ = false;
    bit_ = 0;
    shift_ = 0;
  }
}

}  // namespace orva::board
