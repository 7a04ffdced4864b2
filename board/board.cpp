// The board: construction, the bus (ports, memory windows, stalls), virtual
// time, state views and test presets.
#include "board.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>

#include "board_state.h"

namespace orva::board {

uint32_t widthMask(unsigned width) { return width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1; }

namespace {

// The most display memory a board has; the mapping of every board's is this
// long, of which the file's size (the board's memory) is accessible.
constexpr size_t kLargestMemory = 0x3F * 0x20000;

bool validWidth(unsigned width) { return width == 8 || width == 16 || width == 32; }

TraceEvent busEvent(TraceEvent::Op op, unsigned width, uint64_t address, uint64_t value,
                    bool undecoded) {
  TraceEvent e{};
  e.op = op;
  e.width = static_cast<uint8_t>(width);
  e.address = address;
  e.value = value;
  e.undecoded = undecoded;
  return e;
}

void checkConfig(const BoardConfig& c) {
  if (c.memoryBytes % 0x20000 != 0 || c.memoryBytes > kLargestMemory)
    throw std::invalid_argument("board memory must be a multiple of 128 KB, at most 8064 KB");
}

}  // namespace

Board::State::State(const BoardConfig& c, State* previous)
    : config(c), i2c(0x40, c.tvEncoderPresent) {
  checkConfig(c);
  // Keep at least one page so that a board without memory still has a mapping.
  const long page = sysconf(_SC_PAGESIZE);
  const size_t bytes = c.memoryBytes != 0 ? c.memoryBytes : static_cast<size_t>(page);
  if (previous != nullptr) {
    std::swap(vramFd, previous->vramFd);
    std::swap(vram, previous->vram);
    std::swap(vramBytes, previous->vramBytes);
    // The event list keeps its storage: a new board's trace is empty and records.
    std::swap(trace, previous->trace);
    trace.clear();
    trace.setRecording(true);
    ge.swap(previous->ge);
    std::fill(ge.begin(), ge.begin() + previous->geWritten, 0);
    sioDevice.swap(previous->sioDevice);
    for (auto& device : sioDevice) device.fill(0);
  } else {
    ge.assign(kGeWindowLength, 0);
    sioDevice.assign(256, std::array<uint8_t, 256>{});
    vramFd = memfd_create("orva-vram", MFD_CLOEXEC);
    if (vramFd < 0) throw std::system_error(errno, std::generic_category(), "memfd_create");
  }
  trace.setClock(&timeNs);
  try {
    powerUpMemory(bytes);
  } catch (...) {
    if (vram != nullptr) munmap(vram, kLargestMemory);
    if (vramFd >= 0) close(vramFd);
    throw;
  }

  crtc[0x11] = 0x80;
  crtc[0x20] = c.gbase;
  cfg[0x36] = static_cast<uint8_t>(c.memoryBytes / 0x20000);
  cfg[0x1D] = static_cast<uint8_t>(c.tftBasePort & 0xFF);
  cfg[0x1E] = static_cast<uint8_t>(c.tftBasePort >> 8);
  cfg[0x4C] = 0x10;
  const uint32_t hidden = 0xFFFFFFFFu;
  geStore(kCursorPositionRegister, &hidden, sizeof hidden);
  sioDevice[0x08][0xE1] = c.superIoE1;
  clockSel[0x01] = static_cast<uint8_t>(~c.superIoE1 & 0x02);
  if (isPinto()) {
    cfg[0x7B] = 0x1E;
    gpioLinesChanged(true);
  }
  i2c.onRegisterWrite = [this](uint8_t reg, uint8_t value) {
    tv.setTime(timeNs);
    tv.write(reg, value, TvAccess::I2c);
  };
}

void Board::State::powerUpMemory(size_t bytes) {
  if (vram != nullptr) {
    // The file's data extents are the pages ever written (or read) through any
    // mapping of it; everything else is a hole and reads as zero already.
    const auto kept = static_cast<off_t>(std::min(vramBytes, bytes));
    for (off_t at = lseek(vramFd, 0, SEEK_DATA); at >= 0 && at < kept;) {
      const off_t end = std::min(lseek(vramFd, at, SEEK_HOLE), kept);
      if (end <= at) break;
      std::memset(vram + at, 0, static_cast<size_t>(end - at));
      at = lseek(vramFd, end, SEEK_DATA);
    }
  }
  // Cutting the file drops the pages above the new size; growing it adds holes.
  if (bytes != vramBytes && ftruncate(vramFd, static_cast<off_t>(bytes)) != 0) {
    throw std::system_error(errno, std::generic_category(), "ftruncate display memory");
  }
  vramBytes = bytes;
  if (vram != nullptr) return;
  void* p = mmap(nullptr, kLargestMemory, PROT_READ | PROT_WRITE, MAP_SHARED, vramFd, 0);
  if (p == MAP_FAILED)
    throw std::system_error(errno, std::generic_category(), "mmap display memory");
  vram = static_cast<uint8_t*>(p);
}

void Board::State::geStore(uint32_t at, const void* value, uint32_t bytes) {
  std::memcpy(&ge[at], value, bytes);
  geWritten = std::max(geWritten, at + bytes);
}

Board::State::~State() {
  if (vram != nullptr) munmap(vram, kLargestMemory);
  if (vramFd >= 0) close(vramFd);
}

// Memory-mapped windows relative to GBASE. Register windows take precedence over
// the frame-buffer view at GBASE + 0 that overlaps them.
bool Board::State::memoryAccess(unsigned width, uint64_t physical, bool write, uint32_t& value) {
  const uint64_t base = gbase();
  if (physical < base || physical - base >= 2 * uint64_t{kFrameBufferAperture}) return false;
  const uint32_t offset = static_cast<uint32_t>(physical - base);
  const uint32_t bytes = width / 8;
  const auto inside = [&](uint32_t start, uint32_t length) {
    return offset >= start && offset - start < length;
  };

  if (inside(kGeWindow, kGeWindowLength)) {
    const uint32_t at = offset - kGeWindow;
    if (at + bytes > kGeWindowLength) return false;
    if (write) {
      geStore(at, &value, bytes);  // little-endian host, as the chip
    } else {
      value = 0;
      std::memcpy(&value, &ge[at], bytes);
    }
    return true;
  }
  if (inside(kTvWindow, kTvWindowLength)) {
    const Variant v = variant();
    if (v != Variant::BrambleL && v != Variant::BrambleR && v != Variant::BrambleRX) return false;
    // The encoder's 256 byte registers sit at the start of the window; a wider
    // access reaches consecutive registers, lowest first.
    const uint32_t at = offset - kTvWindow;
    if (at + bytes > 0x100) return false;
    tv.setTime(timeNs);
    uint32_t result = 0;
    for (uint32_t k = 0; k < bytes; ++k) {
      const auto reg = static_cast<uint8_t>(at + k);
      if (write) {
        tv.write(reg, static_cast<uint8_t>(value >> (8 * k)), TvAccess::Memory);
      } else {
        result |= uint32_t{tv.read(reg)} << (8 * k);
      }
    }
    if (!write) value = result;
    return true;
  }
  if (inside(kTftWindow, kTftWindowLength)) {
    if (variant() != Variant::Kestrel) return false;
    tft.setTime(timeNs);
    if (write) {
      tft.memoryWrite(width, offset - kTftWindow, value);
    } else {
      value = tft.memoryRead(width, offset - kTftWindow);
    }
    return true;
  }
  if (inside(0, kFrameBufferAperture) || inside(kFrameBufferAperture, kFrameBufferAperture)) {
    const uint32_t at = offset % kFrameBufferAperture;
    if (at + bytes > config.memoryBytes) {
      ++fbFaults;
      return false;
    }
    if (write) {
      std::memcpy(vram + at, &value, bytes);
    } else {
      value = 0;
      std::memcpy(&value, vram + at, bytes);
    }
    return true;
  }
  return false;
}

// The chip's fixed decoders claim their ports before the TFT interface's relocatable
// block is looked at: the VGA register block 0x3B0-0x3DF (whichever registers it holds),
// the configuration pair 0x22/0x23, the wake-up ports 0x94 and 0x102, the Super I/O pair
// 0x370/0x371 and the clock-selection pair 0xEA/0xEB where the board has them, and PCI
// configuration 0xCF8-0xCFF. A TFT base strapped over any of them leaves those ports with
// their fixed device; the TFT interface keeps only the rest of its block.
bool Board::State::fixedPort(uint32_t port) const {
  if (port >= 0x3B0 && port <= 0x3DF) return true;
  if (port >= 0xCF8 && port <= 0xCFF) return true;
  switch (port) {
    case 0x22:
    case 0x23:
    case 0x94:
    case 0x102:
      return true;
    case 0x370:
    case 0x371:
    case 0xEA:
    case 0xEB:
      return hasSuperIo();
    default:
      return false;
  }
}

bool Board::State::tftDecodes(uint32_t port, unsigned width) const {
  const uint32_t base = tftBase(), bytes = width / 8;
  if (!decodesTftPorts() || port < base || port + bytes > base + TftInterface::kPortBytes)
    return false;
  for (uint32_t k = 0; k < bytes; ++k)
    if (fixedPort(port + k)) return false;
  return true;
}

Board::Board(const BoardConfig& config) : state_(std::make_unique<State>(config)) {}
Board::~Board() = default;

void Board::reset(const BoardConfig& config) {
  state_ = std::make_unique<State>(config, state_.get());
}

const BoardConfig& Board::config() const { return state_->config; }
Trace& Board::trace() { return state_->trace; }
const Trace& Board::trace() const { return state_->trace; }

uint32_t Board::in(unsigned width, uint32_t port) {
  State& s = *state_;
  s.timeNs += kPortAccessNs;
  uint32_t value = 0xFFFFFFFFu;
  bool ok = false;
  const uint16_t tftBase = s.tftBase();
  if (!validWidth(width) || port > 0xFFFF) {
    ok = false;
  } else if (port >= 0xCF8 && port <= 0xCFF) {
    if (port == 0xCF8 && width == 32) {
      value = s.pciAddress, ok = true;
    } else if (port >= 0xCFC && (port & 3) + width / 8 <= 4) {
      ok = (s.pciAddress & 0x80000000u) != 0;
      if (ok) value = s.pciRead(s.pciAddress) >> (8 * (port & 3));
    }
  } else if (s.tftDecodes(port, width)) {
    s.tft.setTime(s.timeNs);
    value = s.tft.portRead(width, port - tftBase);
    ok = true;
  } else {
    // An 8-bit device block: one byte per consecutive port.
    value = 0;
    ok = true;
    for (unsigned k = 0; k < width / 8; ++k) {
      const PortByte b = s.readPort8(static_cast<uint16_t>(port + k));
      ok = ok && b.decoded;
      value |= uint32_t{b.value} << (8 * k);
    }
  }
  if (validWidth(width)) value &= widthMask(width);
  s.trace.add(busEvent(TraceEvent::Op::In, width, port, value, !ok));
  return value;
}

void Board::out(unsigned width, uint32_t port, uint32_t value) {
  State& s = *state_;
  s.timeNs += kPortAccessNs;
  bool ok = false;
  const uint16_t tftBase = s.tftBase();
  if (validWidth(width)) value &= widthMask(width);
  if (!validWidth(width) || port > 0xFFFF) {
    ok = false;
  } else if (port >= 0xCF8 && port <= 0xCFF) {
    if (port == 0xCF8 && width == 32) {
      s.pciAddress = value, ok = true;
    } else if (port >= 0xCFC && (port & 3) + width / 8 <= 4) {
      ok = (s.pciAddress & 0x80000000u) != 0;  // configuration writes change nothing modelled
    }
  } else if (s.tftDecodes(port, width)) {
    s.tft.setTime(s.timeNs);
    s.tft.portWrite(width, port - tftBase, value);
    ok = true;
  } else {
    ok = true;
    for (unsigned k = 0; k < width / 8; ++k)
      ok = s.writePort8(static_cast<uint16_t>(port + k), static_cast<uint8_t>(value >> (8 * k))) &&
           ok;
  }
  s.trace.add(busEvent(TraceEvent::Op::Out, width, port, value, !ok));
}

uint32_t Board::read(unsigned width, uint64_t physical) {
  State& s = *state_;
  s.timeNs += kRegisterAccessNs;
  uint32_t value = 0;
  const bool ok = validWidth(width) && s.memoryAccess(width, physical, false, value);
  if (!ok) value = validWidth(width) ? widthMask(width) : 0xFFFFFFFFu;
  s.trace.add(busEvent(TraceEvent::Op::Read, width, physical, value, !ok));
  return value;
}

void Board::write(unsigned width, uint64_t physical, uint32_t value) {
  State& s = *state_;
  s.timeNs += kRegisterAccessNs;
  if (validWidth(width)) value &= widthMask(width);
  const bool ok = validWidth(width) && s.memoryAccess(width, physical, true, value);
  s.trace.add(busEvent(TraceEvent::Op::Write, width, physical, value, !ok));
}

void Board::stall(uint32_t microseconds) {
  State& s = *state_;
  s.timeNs += uint64_t{microseconds} * 1000;
  TraceEvent e{};
  e.op = TraceEvent::Op::Stall;
  e.value = microseconds;
  s.trace.add(std::move(e));
}

uint64_t Board::virtualTimeNs() const { return state_->timeNs; }

uint32_t Board::gbase() const { return state_->gbase(); }
uint8_t* Board::vram() { return state_->vram; }
const uint8_t* Board::vram() const { return state_->vram; }
size_t Board::vramSize() const { return state_->config.memoryBytes; }
int Board::vramFd() const { return state_->vramFd; }

uint8_t Board::crtc(uint8_t index) const { return state_->crtcStored(index); }
uint8_t Board::sequencer(uint8_t index) const { return state_->seq[index]; }
uint8_t Board::graphics(uint8_t index) const { return state_->gfx[index]; }
uint8_t Board::attribute(uint8_t index) const { return state_->attr[index & 0x1F]; }
uint8_t Board::miscOutput() const { return state_->misc; }
uint8_t Board::config(uint8_t index) const { return state_->cfg[index]; }
std::array<uint8_t, 3> Board::dac(uint8_t index) const { return state_->dac[index]; }

uint32_t Board::geRegister(uint32_t offset) const {
  if (offset > kGeWindowLength - 4) return 0xFFFFFFFFu;
  uint32_t value = 0;
  std::memcpy(&value, &state_->ge[offset], sizeof value);
  return value;
}

uint8_t Board::crtcIndex() const { return state_->crtcIndex; }
uint8_t Board::sequencerIndex() const { return state_->seqIndex; }
uint8_t Board::graphicsIndex() const { return state_->gfxIndex; }
uint8_t Board::configIndex() const { return state_->cfgIndex; }
bool Board::extensionsEnabled() const { return state_->extensionsEnabled(); }
bool Board::paletteAddressSource() const { return state_->pas; }
bool Board::attributeExpectsData() const { return state_->attrData; }
uint64_t Board::attributeWrites() const { return state_->attrWrites; }
uint8_t Board::dacPixelMask() const { return state_->pixelMask; }
uint8_t Board::dacWriteIndex() const { return state_->dacWriteIndex; }
const std::vector<std::pair<uint16_t, uint8_t>>& Board::enablePortWrites() const {
  return state_->enableWrites;
}
uint8_t Board::superIo(uint8_t logicalDevice, uint8_t index) const {
  if (index < state_->sioGlobal.size()) return state_->sioGlobal[index];
  return state_->sioDevice[logicalDevice][index];
}
bool Board::superIoConfigMode() const { return state_->sioConfigMode; }
uint8_t Board::clockSelect(uint8_t index) const { return state_->clockSel[index]; }
uint16_t Board::tftBasePort() const { return state_->tftBase(); }
bool Board::decodesTftPorts() const { return state_->decodesTftPorts(); }
bool Board::hasSuperIo() const { return state_->hasSuperIo(); }
uint32_t Board::pciConfig(uint32_t address) const { return state_->pciRead(address); }
uint64_t Board::frameBufferFaults() const { return state_->fbFaults; }

void Board::presetCrtc(uint8_t index, uint8_t value) { state_->crtcStore(index, value); }
void Board::presetSequencer(uint8_t index, uint8_t value) { state_->seq[index] = value; }
void Board::presetGraphics(uint8_t index, uint8_t value) { state_->gfx[index] = value; }
void Board::presetAttribute(uint8_t index, uint8_t value) { state_->attr[index & 0x1F] = value; }
void Board::presetMiscOutput(uint8_t value) { state_->misc = value; }

void Board::presetConfig(uint8_t index, uint8_t value) {
  State& s = *state_;
  s.cfg[index] = value;
  if (index == 0x7B && s.isPinto()) {
    // Before the first line action this is the lines' power-up level.
    s.gpioLinesChanged(s.i2c.counters().lineActions == 0);
  }
}

void Board::presetGeRegister(uint32_t offset, uint32_t value) {
  if (offset > kGeWindowLength - 4)
    throw std::out_of_range("graphics-engine register offset " + std::to_string(offset));
  state_->geStore(offset, &value, sizeof value);
}

void Board::presetDac(uint8_t index, std::array<uint8_t, 3> rgb) { state_->dac[index] = rgb; }

void Board::presetSuperIo(uint8_t logicalDevice, uint8_t index, uint8_t value) {
  if (index < state_->sioGlobal.size()) {
    state_->sioGlobal[index] = value;
  } else {
    state_->sioDevice[logicalDevice][index] = value;
  }
}

void Board::presetClockSelect(uint8_t index, uint8_t value) { state_->clockSel[index] = value; }

TvEncoder& Board::tvEncoder() { return state_->tv; }
const TvEncoder& Board::tvEncoder() const { return state_->tv; }
I2cSlave& Board::i2c() { return state_->i2c; }
const I2cSlave& Board::i2c() const { return state_->i2c; }
TftInterface& Board::tft() { return state_->tft; }
const TftInterface& Board::tft() const { return state_->tft; }
bool Board::i2cSdaWire() const { return state_->sdaWire; }

}  // namespace orva::board
