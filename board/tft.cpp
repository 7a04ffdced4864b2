#include "tft.h"

#include <algorithm>

namespace orva::board {

namespace {

constexpr unsigned kPackedLow = 10;   // word 10: registers 12 and 13
constexpr unsigned kPackedHigh = 11;  // word 11: registers 14, 11 and 15
constexpr unsigned kRegister10Word = 12;

unsigned bytesOf(unsigned width) { return width == 8 ? 1 : width == 16 ? 2 : 4; }

}  // namespace

uint16_t TftInterface::ioRegister(uint16_t reg) const {
  const auto it = io_.find(reg);
  return it != io_.end() ? it->second : 0;
}

void TftInterface::portWrite(unsigned width, uint32_t offset, uint32_t value) {
  bool data = false;
  uint16_t merged = ioRegister(index_);
  for (unsigned i = 0; i < bytesOf(width); ++i) {
    const uint32_t lane = offset + i;
    const uint8_t byte = static_cast<uint8_t>(value >> (8 * i));
    switch (lane) {
      case 0:
        index_ = static_cast<uint16_t>((index_ & 0xFF00) | byte);
        merged = ioRegister(index_);
        break;
      case 1:
        index_ = static_cast<uint16_t>((index_ & 0x00FF) | (byte << 8));
        merged = ioRegister(index_);
        break;
      case 4:
        merged = static_cast<uint16_t>((merged & 0xFF00) | byte);
        data = true;
        break;
      case 5:
        merged = static_cast<uint16_t>((merged & 0x00FF) | (byte << 8));
        data = true;
        break;
      default:
        break;
    }
  }
  if (data) {
    io_[index_] = merged;
    ioWrites_.push_back(TftRegisterWrite{now_, index_, merged});
  }
}

uint32_t TftInterface::portRead(unsigned width, uint32_t offset) {
  uint32_t result = 0;
  for (unsigned i = 0; i < bytesOf(width); ++i) {
    const uint32_t lane = offset + i;
    uint8_t byte = 0xFF;
    if (lane == 0 || lane == 1) byte = static_cast<uint8_t>(index_ >> (8 * lane));
    if (lane == 4 || lane == 5) byte = static_cast<uint8_t>(ioRegister(index_) >> (8 * (lane - 4)));
    result |= static_cast<uint32_t>(byte) << (8 * i);
  }
  return result;
}

uint16_t TftInterface::windowWord(unsigned word) const {
  if (word >= kWindowBytes / 2) return 0;
  return static_cast<uint16_t>(window_[2 * word] | (window_[2 * word + 1] << 8));
}

uint16_t TftInterface::windowRegister(unsigned reg) const {
  switch (reg) {
    case 10:
      return windowWord(kRegister10Word);
    case 11:
      return (windowWord(kPackedHigh) >> 8) & 0x07;
    case 12:
      return windowWord(kPackedLow) & 0xFF;
    case 13:
      return windowWord(kPackedLow) >> 8;
    case 14:
      return windowWord(kPackedHigh) & 0xFF;
    case 15:
      return windowWord(kPackedHigh) >> 11;
    default:
      return windowWord(reg);
  }
}

void TftInterface::memoryWrite(unsigned width, uint32_t offset, uint32_t value) {
  windowWrites_.push_back(TftWindowWrite{now_, static_cast<uint8_t>(width), offset, value});
  if (offset >= kWindowBytes) return;
  const unsigned count = std::min<unsigned>(bytesOf(width), kWindowBytes - offset);

  std::array<uint16_t, 16> before{};
  for (unsigned r = 10; r < 16; ++r) before[r] = windowRegister(r);
  for (unsigned i = 0; i < count; ++i) window_[offset + i] = static_cast<uint8_t>(value >> (8 * i));

  auto changed = [&](unsigned reg) {
    const uint16_t now = windowRegister(reg);
    if (now != before[reg]) {
      windowRegWrites_.push_back(TftRegisterWrite{now_, static_cast<uint16_t>(reg), now});
    }
  };
  for (unsigned word = offset / 2; word <= (offset + count - 1) / 2; ++word) {
    if (word < kPackedLow || word >= 16) {
      windowRegWrites_.push_back(
          TftRegisterWrite{now_, static_cast<uint16_t>(word), windowWord(word)});
    } else if (word == kRegister10Word) {
      windowRegWrites_.push_back(TftRegisterWrite{now_, 10, windowWord(word)});
    } else if (word == kPackedLow) {
      changed(12);
      changed(13);
    } else if (word == kPackedHigh) {
      changed(14);
      changed(11);
      changed(15);
    }
  }
}

uint32_t TftInterface::memoryRead(unsigned width, uint32_t offset) {
  uint32_t result = 0;
  for (unsigned i = 0; i < bytesOf(width); ++i) {
    const uint32_t at = offset + i;
    const uint8_t byte = at < kWindowBytes ? window_[at] : 0xFF;
    result |= static_cast<uint32_t>(byte) << (8 * i);
  }
  return result;
}

std::array<uint16_t, 16> TftInterface::ioPanelRegisters() const {
  std::array<uint16_t, 16> r{};
  for (unsigned i = 0; i < 16; ++i) r[i] = ioRegister(static_cast<uint16_t>(i));
  return r;
}

std::array<uint16_t, 16> TftInterface::windowPanelRegisters() const {
  std::array<uint16_t, 16> r{};
  for (unsigned i = 0; i < 16; ++i) r[i] = windowRegister(i);
  return r;
}

std::vector<TftRegisterWrite> TftInterface::history(uint16_t reg) const {
  std::vector<TftRegisterWrite> out;
  for (const auto& w : ioWrites_) {
    if (w.reg == reg) out.push_back(w);
  }
  for (const auto& w : windowRegWrites_) {
    if (w.reg == reg) out.push_back(w);
  }
  return out;
}

void TftInterface::clearLog() {
  ioWrites_.clear();
  windowWrites_.clear();
  windowRegWrites_.clear();
}

}  // namespace orva::board
