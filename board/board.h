// Register-level model of an ORVA board: the chip variant, its display memory,
// every I/O port and memory window the driver reaches, and the devices behind
// them. Every bus access is recorded in the trace.
//
// Power-up state (what a board hands over after its firmware ran):
// - every register file zero except: Miscellaneous Output 0x01 (colour I/O
//   addresses, 0x3Dx), CRTC 0x11 = 0x80 (registers 0x00-0x07 write-protected),
//   CRTC 0x20 = BoardConfig::gbase, configuration 0x36 = memory / 128 KB,
//   0x1D/0x1E = BoardConfig::tftBasePort, 0x4C = 0x10 (internal dot clocks),
//   DAC pixel mask 0xFF, graphics-engine register 0x11C = 0xFFFFFFFF (cursor hidden);
// - Pinto: configuration 0x7B = 0x1E (internal clock, both I2C lines released
//   high, encoder reset line high = running, enable line low);
// - other variants: 0xEA/0xEB register 1 bit 1 = the opposite of Super I/O 0xE1
//   bit 1 (internal clock).
//
// Decoding rules:
// - Ports 0x3D4/0x3D5/0x3DA answer while Miscellaneous Output bit 0 is set; the
//   CRTC and Input Status 1 move to 0x3B4/0x3B5/0x3BA while it is clear.
// - CRTC registers 0x19-0xFF are extension registers: while sequencer 0x06 does
//   not hold 0x57 their data accesses are not decoded (read all ones, write nothing).
// - Configuration data port 0x23: every data read advances the index by one
//   (0xFF wraps to 0x00), data writes do not. Writing index 0x1D once and reading
//   0x23 twice gives the TFT base port's low byte, then its high byte.
// - Ports of 8-bit devices accessed 16 or 32 bits wide take the bytes at
//   consecutive ports, lowest first (as the ISA bus splits them). Natively wide
//   ports: 0xCF8 and 0xCFC (32-bit), the TFT interface ports (Mistral).
// - Fixed ports win over the TFT interface's relocatable block of eight ports
//   (base in configuration 0x1D/0x1E): the VGA register block 0x3B0-0x3DF, 0x22/0x23,
//   0x94, 0x102, 0x370/0x371 and 0xEA/0xEB (not Pinto), 0xCF8-0xCFF. An access that
//   reaches any of them goes byte by byte to the fixed devices, even when the TFT base
//   was strapped over them; the TFT interface answers only accesses wholly inside its
//   block that reach no fixed port.
// - An access nothing decodes reads all ones, changes nothing, and is traced
//   with the undecoded flag and counted. A read()/write() inside a frame-buffer
//   aperture (8 MB at GBASE and at GBASE + 0x800000) but beyond the memory is
//   undecoded too and also counted in frameBufferFaults().
// - Virtual time: every port access advances it by kPortAccessNs, every
//   memory-mapped access by kRegisterAccessNs, a stall by its microseconds.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "trace.h"

namespace orva::board {

class I2cSlave;
class TvEncoder;
class TftInterface;

enum class Variant : uint8_t {
  Pinto,
  Bramble,
  BrambleL,
  Mistral,
  BrambleR,
  Kestrel,
  BrambleRX,
  Unknown
};

// Every variant, in enum order.
inline constexpr Variant kAllVariants[] = {Variant::Pinto,     Variant::Bramble,  Variant::BrambleL,
                                           Variant::Mistral,   Variant::BrambleR, Variant::Kestrel,
                                           Variant::BrambleRX, Variant::Unknown};

// Command-line names: pinto, bramble, bramble-l, mistral, bramble-r, kestrel, bramble-rx, unknown.
std::string_view variantName(Variant variant);
std::optional<Variant> parseVariant(std::string_view name);

// The PCI vendor ID this board's chipset functions carry: an arbitrary value of
// the board's own. Identification looks at device IDs only.
inline constexpr uint16_t kBoardVendorId = 0x0B4A;
// Device 12 function 1 of a Bramble board reads this whole word.
inline constexpr uint32_t kBrambleFunction1Id = 0x0209104Au;
// Device 12 function 1 of a Mistral board: the same device ID with the board's vendor.
inline constexpr uint32_t kMistralFunction1Id = 0x0209u << 16 | kBoardVendorId;
// Device IDs of the "unknown" variant (devices 11 and 12): a pair no identification knows.
inline constexpr uint16_t kUnknownDevice11 = 0x0300, kUnknownDevice12 = 0x0301;

// The crystal every PLL divides.
inline constexpr uint32_t kReferenceHz = 14'318'180;

// Design of the dot-clock PLLs: 1 on Pinto, Bramble, Bramble-L, Mistral (and the
// unknown variant); 2 on Bramble-R, Kestrel, Bramble-RX.
unsigned pllDesign(Variant variant);

struct BoardConfig {
  Variant variant = Variant::Bramble;
  uint32_t memoryBytes =
      4u << 20;                  // multiple of 128 KB, at most 8064 KB; register 0x36 holds /128 KB
  uint8_t gbase = 0x00;          // CRTC 0x20 at power-up (graphics base bits 31-24, OR 0x08)
  bool tvEncoderPresent = true;  // the external I2C encoder answers (Pinto)
  // Chipset configuration registers 0x1D (low) / 0x1E (high) at power-up: the base
  // of the TFT interface's eight I/O ports (decoded on Mistral only).
  uint16_t tftBasePort = 0x0D00;
  // Super I/O logical device 8, register 0xE1: general-purpose inputs strapped on
  // the board. Bit 1 is the level of register 1 bit 1 of the 0xEA/0xEB pair that
  // selects the external pixel clock (not Pinto).
  uint8_t superIoE1 = 0x02;
};

class Board {
 public:
  explicit Board(const BoardConfig& config);
  ~Board();
  // The board as `config` powers it up, the display memory's file and mapping
  // kept: cheaper than a new board, and the same to the driver and the trace.
  void reset(const BoardConfig& config);
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  const BoardConfig& config() const;
  Trace& trace();
  const Trace& trace() const;

  // Bus accesses from the driver; each one is traced. width is 8, 16 or 32.
  uint32_t in(unsigned width, uint32_t port);
  void out(unsigned width, uint32_t port, uint32_t value);
  uint32_t read(unsigned width, uint64_t physical);
  void write(unsigned width, uint64_t physical, uint32_t value);
  void stall(uint32_t microseconds);  // advances virtual time, traced
  uint64_t virtualTimeNs() const;

  // The graphics base the chip decodes now (CRTC 0x20), and the display memory.
  uint32_t gbase() const;
  uint8_t* vram();
  const uint8_t* vram() const;
  size_t vramSize() const;
  int vramFd() const;  // memfd of the display memory, for mapping it more than once

  // Register state as the hardware holds it now: no side effects, not traced.
  uint8_t crtc(uint8_t index) const;                // 0x3D4/0x3D5, standard and extension registers
  uint8_t sequencer(uint8_t index) const;           // 0x3C4/0x3C5
  uint8_t graphics(uint8_t index) const;            // 0x3CE/0x3CF
  uint8_t attribute(uint8_t index) const;           // 0x3C0
  uint8_t miscOutput() const;                       // written at 0x3C2, read at 0x3CC
  uint8_t config(uint8_t index) const;              // chipset configuration registers, 0x22/0x23
  std::array<uint8_t, 3> dac(uint8_t index) const;  // palette entry (bytes 0, 1, 2 as written)
  uint32_t geRegister(uint32_t offset) const;       // graphics-engine window, 32-bit at offset

  // Dot clocks as the PLL registers 0x42 + 2c / 0x43 + 2c now program them.
  struct DotClock {
    unsigned n = 0, m = 0, p = 0;
    uint64_t hz = 0;  // 0 when the settings are out of range
    uint8_t first = 0, second = 0;
    unsigned design = 1;      // PLL design of the variant (pllDesign)
    uint64_t vcoHz = 0;       // VCO frequency the settings give (0 when N or M is 0)
    uint64_t outputHz = 0;    // VCO >> P, whether or not the VCO is in range
    bool vcoInRange = false;  // design 1: 128-256 MHz; design 2: 200-622 MHz (inclusive)
  };
  DotClock dotClock(unsigned c) const;
  // Decode of one register pair by a PLL design (1 or 2), as dotClock() does.
  static DotClock decodePll(unsigned design, uint8_t first, uint8_t second);
  // Which clock drives the display: the external pixel clock, or internal dot clock
  // number (Miscellaneous Output bits 2-3).
  struct PixelClock {
    bool external = false;
    unsigned dotClock = 0;
    uint64_t hz = 0;  // internal: that dot clock's frequency; external: 0 (not modelled)
    // The select bits contradict each other (Pinto: 0x7B bits 4 and 6 both set or
    // both clear; others: 0x4C bit 4 and the 0xEA/0xEB level disagree about which
    // clock is selected). external is then false and dotClock/hz describe the
    // internal clock the Miscellaneous Output names.
    bool inconsistent = false;
  };
  PixelClock pixelClock() const;

  static constexpr uint64_t kPortAccessNs = 1000;
  static constexpr uint64_t kRegisterAccessNs = 100;

  // Physical layout relative to GBASE.
  static constexpr uint32_t kFrameBufferAperture = 0x800000;  // at GBASE + 0 and + 0x800000
  static constexpr uint32_t kGeWindow = 0x400000, kGeWindowLength = 0x40000;
  static constexpr uint32_t kTvWindow = 0x4CA000, kTvWindowLength = 0x1000;
  static constexpr uint32_t kTftWindow = 0x4CC000, kTftWindowLength = 0x1000;
  static constexpr uint32_t kCursorPositionRegister = 0x11C;

  // More state, no side effects, not traced.
  uint8_t crtcIndex() const;
  uint8_t sequencerIndex() const;
  uint8_t graphicsIndex() const;
  uint8_t configIndex() const;
  bool extensionsEnabled() const;     // sequencer 0x06 holds 0x57
  bool paletteAddressSource() const;  // bit 5 of the last attribute index byte
  bool attributeExpectsData() const;  // the 0x3C0 flip-flop: next byte is data
  uint64_t attributeWrites() const;   // bytes written to 0x3C0
  uint8_t dacPixelMask() const;       // 0x3C6
  uint8_t dacWriteIndex() const;      // entry the next 0x3C9 write fills
  // Writes to the VGA enable ports 0x94, 0x102 and 0x3C3, in order (port, value).
  const std::vector<std::pair<uint16_t, uint8_t>>& enablePortWrites() const;
  uint8_t superIo(uint8_t logicalDevice, uint8_t index) const;  // index < 0x30: global
  bool superIoConfigMode() const;
  uint8_t clockSelect(uint8_t index) const;  // the 0xEA/0xEB pair
  uint16_t tftBasePort() const;              // configuration 0x1D/0x1E now
  bool decodesTftPorts() const;              // the TFT interface's port block (Mistral)
  bool hasSuperIo() const;                   // 0x370/0x371 and 0xEA/0xEB (not Pinto)
  // PCI configuration word as a mechanism #1 address would read it (no trace, no time).
  uint32_t pciConfig(uint32_t address) const;
  // Frame-buffer accesses through read()/write() beyond the memory (also undecoded).
  uint64_t frameBufferFaults() const;

  // Test presets: set state directly, not traced, no virtual time. Read-only
  // hardware stays so: CRTC 0x81 of Bramble-R keeps reading 0.
  void presetCrtc(uint8_t index, uint8_t value);
  void presetSequencer(uint8_t index, uint8_t value);
  void presetGraphics(uint8_t index, uint8_t value);
  void presetAttribute(uint8_t index, uint8_t value);
  void presetMiscOutput(uint8_t value);
  // Configuration registers; 0x7B on Pinto also sets the I2C and encoder lines.
  void presetConfig(uint8_t index, uint8_t value);
  void presetGeRegister(uint32_t offset, uint32_t value);
  void presetDac(uint8_t index, std::array<uint8_t, 3> rgb);
  void presetSuperIo(uint8_t logicalDevice, uint8_t index, uint8_t value);
  void presetClockSelect(uint8_t index, uint8_t value);

  // The devices behind the chipset (present on every variant; which bus reaches
  // them depends on the variant).
  TvEncoder& tvEncoder();
  const TvEncoder& tvEncoder() const;
  I2cSlave& i2c();
  const I2cSlave& i2c() const;
  TftInterface& tft();
  const TftInterface& tft() const;
  bool i2cSdaWire() const;  // SDA as the bus carries it (master AND slave)

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace orva::board
