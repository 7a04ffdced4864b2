// The board's I/O port devices: VGA core, DAC, chipset configuration registers,
// PCI configuration space, Super I/O and the external-clock selection pair.
#include <cstdint>

#include "board_state.h"

namespace orva::board {

namespace {

constexpr PortByte kOpenBus{};
PortByte decoded(uint8_t value) { return PortByte{true, value}; }

// Frame timing behind Input Status 1: a fixed 60 Hz frame with a 31.778 us line,
// vertical retrace in the first 0.6 ms of each frame, horizontal blanking in the
// first 6 us of each line.
constexpr uint64_t kFrameNs = 16'666'667;
constexpr uint64_t kRetraceNs = 600'000;
constexpr uint64_t kLineNs = 31'778;
constexpr uint64_t kLineBlankNs = 6'000;

}  // namespace

uint8_t Board::State::inputStatus1() const {
  const bool retrace = timeNs % kFrameNs < kRetraceNs;
  const bool blank = retrace || timeNs % kLineNs < kLineBlankNs;
  return static_cast<uint8_t>((retrace ? 0x08 : 0) | (blank ? 0x01 : 0));
}

uint8_t Board::State::crtcStored(uint8_t index) const {
  // Bramble-R has no register 0x81: it reads 0 whatever was written.
  if (index == 0x81 && variant() == Variant::BrambleR) return 0;
  return crtc[index];
}

void Board::State::crtcStore(uint8_t index, uint8_t value) {
  if (index == 0x81 && variant() == Variant::BrambleR) return;
  crtc[index] = value;
}

// Register 0x7B of Pinto carries the I2C lines (bit 2 SDA, bit 3 SCL; a set bit
// releases the line high) and the external encoder's reset (bit 1, low = reset)
// and enable (bit 6) lines. Every write of the register is one line action.
void Board::State::gpioLinesChanged(bool initial) {
  const uint8_t v = cfg[0x7B];
  const bool sda = (v & 0x04) != 0, scl = (v & 0x08) != 0;
  if (initial) {
    i2c.setInitialLevels(sda, scl, timeNs);
    sdaWire = sda;
  } else {
    sdaWire = i2c.drive(sda, scl, timeNs);
  }
  tv.setControl((v & 0x02) != 0, (v & 0x40) != 0, timeNs);
}

bool Board::State::pciFunctionPresent(unsigned device, unsigned function) const {
  if (device == 11 || device == 12) {
    if (function == 0) return true;
    if (device == 12 && function == 1)
      return variant() == Variant::Bramble || variant() == Variant::Mistral;
  }
  return false;
}

// Configuration mechanism #1. Only the identification word (register 0) is
// modelled; the other registers of a present function read 0 and ignore writes.
uint32_t Board::State::pciRead(uint32_t address) const {
  if ((address & 0x80000000u) == 0) return 0xFFFFFFFFu;
  const unsigned bus = (address >> 16) & 0xFF, device = (address >> 11) & 0x1F;
  const unsigned function = (address >> 8) & 0x07, reg = address & 0xFC;
  if (bus != 0 || !pciFunctionPresent(device, function)) return 0xFFFFFFFFu;
  if (reg != 0) return 0;
  if (device == 12 && function == 1)
    return variant() == Variant::Bramble ? kBrambleFunction1Id : kMistralFunction1Id;
  uint16_t id11 = kUnknownDevice11, id12 = kUnknownDevice12;
  switch (variant()) {
    case Variant::Pinto:
      id11 = 0x0564, id12 = 0x55CC;
      break;
    case Variant::Bramble:
    case Variant::Mistral:
      id11 = 0x0209, id12 = 0x0209;
      break;
    case Variant::BrambleL:
      id11 = 0x020A, id12 = 0x021A;
      break;
    case Variant::Kestrel:
      id11 = 0x020A, id12 = 0x0210;
      break;
    case Variant::BrambleR:
    case Variant::BrambleRX:
      id11 = 0x020A, id12 = 0x021B;
      break;
    case Variant::Unknown:
      break;
  }
  return static_cast<uint32_t>(device == 11 ? id11 : id12) << 16 | kBoardVendorId;
}

PortByte Board::State::readPort8(uint16_t port) {
  // The CRTC and Input Status 1 follow the I/O address select of Miscellaneous
  // Output bit 0: 0x3Dx when set, 0x3Bx when clear.
  const uint16_t crtcBase = colourAddressing() ? 0x3D0 : 0x3B0;
  if (port == crtcBase + 4) return decoded(crtcIndex);
  if (port == crtcBase + 5) {
    if (crtcIndex >= 0x19 && !extensionsEnabled()) return kOpenBus;
    return decoded(crtcStored(crtcIndex));
  }
  if (port == crtcBase + 0xA) {
    attrData = false;
    return decoded(inputStatus1());
  }
  switch (port) {
    case 0x22:
      return decoded(cfgIndex);
    case 0x23: {
      const uint8_t index = cfgIndex++;
      if (index == 0x2C && variant() == Variant::Bramble) {
        tv.setTime(timeNs);
        return decoded(tv.read(cfg[0x2B]));
      }
      return decoded(cfg[index]);
    }
    case 0x94:
      return decoded(enableLatch[0]);
    case 0x102:
      return decoded(enableLatch[1]);
    case 0x3C3:
      return decoded(enableLatch[2]);
    case 0x3C0:
      return decoded(static_cast<uint8_t>(attrIndex | (pas ? 0x20 : 0)));
    case 0x3C1:
      return decoded(attr[attrIndex]);
    case 0x3C2:  // Input Status 0
      return decoded(0x00);
    case 0x3C4:
      return decoded(seqIndex);
    case 0x3C5:
      return decoded(seq[seqIndex]);
    case 0x3C6:
      return decoded(pixelMask);
    case 0x3C7:
      return decoded(dacReadMode ? 0x03 : 0x00);
    case 0x3C8:
      return decoded(dacWriteIndex);
    case 0x3C9: {
      const uint8_t value = dac[dacReadIndex][dacReadComponent];
      if (++dacReadComponent == 3) dacReadComponent = 0, ++dacReadIndex;
      return decoded(value);
    }
    case 0x3CC:
      return decoded(misc);
    case 0x3CE:
      return decoded(gfxIndex);
    case 0x3CF:
      return decoded(gfx[gfxIndex]);
    case 0x370:
      if (hasSuperIo() && sioConfigMode) return decoded(sioIndex);
      return kOpenBus;
    case 0x371:
      if (!hasSuperIo() || !sioConfigMode) return kOpenBus;
      if (sioIndex < sioGlobal.size()) return decoded(sioGlobal[sioIndex]);
      return decoded(sioDevice[sioGlobal[0x07]][sioIndex]);
    case 0xEA:
      if (hasSuperIo()) return decoded(clockSelIndex);
      return kOpenBus;
    case 0xEB:
      if (hasSuperIo()) return decoded(clockSel[clockSelIndex]);
      return kOpenBus;
    default:
      return kOpenBus;
  }
}

bool Board::State::writePort8(uint16_t port, uint8_t value) {
  const uint16_t crtcBase = colourAddressing() ? 0x3D0 : 0x3B0;
  if (port == crtcBase + 4) {
    crtcIndex = value;
    return true;
  }
  if (port == crtcBase + 5) {
    const uint8_t index = crtcIndex;
    if (index >= 0x19 && !extensionsEnabled()) return false;
    // Bit 7 of register 0x11 protects registers 0x00-0x07, except the line
    // compare bit 8 (bit 4 of register 0x07).
    if (index <= 0x07 && (crtc[0x11] & 0x80) != 0) {
      if (index == 0x07) crtc[0x07] = static_cast<uint8_t>((crtc[0x07] & ~0x10) | (value & 0x10));
      return true;
    }
    crtcStore(index, value);
    return true;
  }
  if (port == crtcBase + 0xA) return true;  // feature control: nothing on this chip
  switch (port) {
    case 0x22:
      cfgIndex = value;
      return true;
    case 0x23: {
      const uint8_t index = cfgIndex;
      switch (index) {
        case 0x36:  // bits 0-5 strap the memory size; bits 6-7 are free
          cfg[0x36] = static_cast<uint8_t>((cfg[0x36] & 0x3F) | (value & 0xC0));
          return true;
        case 0x2C:
          cfg[0x2C] = value;
          if (variant() == Variant::Bramble) {
            tv.setTime(timeNs);
            tv.write(cfg[0x2B], value, TvAccess::Io);
          }
          return true;
        case 0x7B:
          cfg[0x7B] = value;
          if (isPinto()) gpioLinesChanged(false);
          return true;
        default:
          cfg[index] = value;
          return true;
      }
    }
    case 0x94:
    case 0x102:
    case 0x3C3:
      enableLatch[port == 0x94 ? 0 : port == 0x102 ? 1 : 2] = value;
      enableWrites.emplace_back(port, value);
      return true;
    case 0x3C0:
      ++attrWrites;
      if (!attrData) {
        attrIndex = value & 0x1F;
        pas = (value & 0x20) != 0;
      } else {
        attr[attrIndex] = value;
      }
      attrData = !attrData;
      return true;
    case 0x3C2:
      misc = value;
      return true;
    case 0x3C4:
      seqIndex = value;
      return true;
    case 0x3C5:
      seq[seqIndex] = value;
      return true;
    case 0x3C6:
      pixelMask = value;
      return true;
    case 0x3C7:
      dacReadIndex = value;
      dacReadComponent = 0;
      dacReadMode = true;
      return true;
    case 0x3C8:
      dacWriteIndex = value;
      dacWriteComponent = 0;
      dacReadMode = false;
      return true;
    case 0x3C9:
      dac[dacWriteIndex][dacWriteComponent] = value;
      if (++dacWriteComponent == 3) dacWriteComponent = 0, ++dacWriteIndex;
      return true;
    case 0x3CE:
      gfxIndex = value;
      return true;
    case 0x3CF:
      gfx[gfxIndex] = value;
      return true;
    case 0x370:
      if (!hasSuperIo()) return false;
      // Outside configuration mode the chip only watches for the entry key.
      if (!sioConfigMode) {
        if (value == 0x55) sioConfigMode = true;
      } else if (value == 0xAA) {
        sioConfigMode = false;
      } else {
        sioIndex = value;
      }
      return true;
    case 0x371:
      if (!hasSuperIo() || !sioConfigMode) return false;
      if (sioIndex < sioGlobal.size()) {
        sioGlobal[sioIndex] = value;
      } else if (!(sioGlobal[0x07] == 0x08 && sioIndex == 0xE1)) {
        // Logical device 8 register 0xE1 reads board straps: writes do not stick.
        sioDevice[sioGlobal[0x07]][sioIndex] = value;
      }
      return true;
    case 0xEA:
      if (!hasSuperIo()) return false;
      clockSelIndex = value;
      return true;
    case 0xEB:
      if (!hasSuperIo()) return false;
      clockSel[clockSelIndex] = value;
      return true;
    default:
      return false;
  }
}

}  // namespace orva::board
