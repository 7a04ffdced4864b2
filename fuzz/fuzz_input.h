// The byte format of a fuzzer input: a board, then a sequence of requests. Every
// byte string is a valid input (a read past the end gives zeros), so the fuzzer
// can mutate freely; the seed converter writes the same format from scenarios.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orva::fuzz {

// Board header, in this order:
//   u8 variant (mod 8, in board::Variant order)
//   u8 memory in 128 KB units: bits 0-5 (0 to 8064 KB), or bits 0-3 when bit 6 is set
//   u8 CRTC 0x20 at power-up (the graphics base)
//   u8 flags: bit 0 external TV encoder answers; bit 1 Super I/O clock strap;
//             bits 2-3 TFT port base (0: 0x0D00, 1: 0, 2: 0xFFFC, 3: u16 follows);
//             bits 4-6 registry value (RegistryKind)
enum class RegistryKind : uint8_t {
  Absent,   // no value
  Keyword,  // u8 keyword index, u8 case mask, u8 tail (0 none, 1 "X", 2 NUL + "X")
  Raw,      // u8 length, then that many bytes as they are (odd lengths too)
  Long,     // u16 length in characters (mod 1024), u8 character
  Wide,     // u8 units, then two bytes a unit (high bytes not zero)
};
constexpr unsigned kRegistryKinds = 5;

// Requests: u8 op (mod kOpCount), then its arguments.
enum class Op : uint8_t {
  QueryNumModes,  // u16 output length
  QueryModes,     // u8 form (even: exactly the count x 80; odd: u16 output length)
  QueryCurrent,   // u16 output length
  SetMode,        // u8 form: 0 listed mode (u8 index), 1 by description (u16 width,
                  // u16 height, u8 bpp, u8 Hz), 2 raw (u32 number), 3 short input (u8 length)
  Reset,          // nothing
  Palette,        // u16 first, u16 count, u8 length form (0 exact, 1 one short, 2 u16)
                  // entries from the input
  PointerOnOff,   // u8 (even: enable, odd: disable)
  PointerAttr,    // u32 flags, u32 width, u32 height, i16 column, i16 row, u8 shape
                  // (0 transparent, 1 block of u8 rows, 2 1024 bytes from the input),
                  // u8 length form (0 exact, 1 one short, 2 u16)
  PointerMove,    // i16 column, i16 row, u8 input length (0: the record's 4)
  PointerQuery,   // u8 (even: position, odd: capabilities), u16 output length
  Map,            // u8 (bit 0: unmap afterwards, bit 1: ask for a placement u32)
  Share,          // u32 offset, u32 size, u32 process handle, u8 (bit 0: unshare)
  PrivateMap,     // u8 (even: memory, odd: I/O), u32 address, u32 length (mod 16 MB)
  PortAccess,     // u8 form (mod 6: read 8/16/32, write 8/16/32), u8 port (index
                  // into kPorts), u32 offset (mod 2), u32 data
  NopOrFree,      // u8 (even: nop, odd: free memory), u16 output length
  Raw,            // u8 selector (odd: a served code, index selector / 2; even: u32
                  // code follows), u16 input length, u16 output length, u8 fill (0xA5:
                  // the input bytes follow)
  Count
};
constexpr unsigned kOpCount = static_cast<unsigned>(Op::Count);

// Reads the format; past the end every value is 0.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> data) : data_(data) {}
  bool done() const { return at_ >= data_.size(); }
  uint8_t u8() { return at_ < data_.size() ? data_[at_++] : 0; }
  uint16_t u16() { return static_cast<uint16_t>(u8() | (u8() << 8)); }
  uint32_t u32() { return u16() | (static_cast<uint32_t>(u16()) << 16); }
  // Up to n bytes of the rest of the input.
  std::vector<uint8_t> bytes(size_t n) {
    const size_t take = std::min(n, data_.size() - std::min(at_, data_.size()));
    std::vector<uint8_t> out(data_.begin() + at_, data_.begin() + at_ + take);
    at_ += take;
    return out;
  }

 private:
  std::span<const uint8_t> data_;
  size_t at_ = 0;
};

class Writer {
 public:
  void u8(uint8_t v) { out_.push_back(v); }
  void u16(uint16_t v) {
    u8(static_cast<uint8_t>(v));
    u8(static_cast<uint8_t>(v >> 8));
  }
  void u32(uint32_t v) {
    u16(static_cast<uint16_t>(v));
    u16(static_cast<uint16_t>(v >> 16));
  }
  void op(Op o) { u8(static_cast<uint8_t>(o)); }
  const std::vector<uint8_t>& bytes() const { return out_; }

 private:
  std::vector<uint8_t> out_;
};

// Ports the raw port requests may reach: the VGA, DAC, chipset configuration,
// wake-up and clock-selection registers the driver itself programs, so that the
// fuzzer can hand the driver any register state they hold. Raw access elsewhere
// is privileged by design and left out: a port nothing decodes only adds noise,
// and the PCI configuration ports would merely change the chip's identity behind
// the driver's cached one.
inline constexpr uint32_t kPorts[] = {0x22,  0x23,  0x94,  0x102, 0x3C0, 0x3C2, 0x3C3, 0x3C4,
                                      0x3C5, 0x3C6, 0x3C7, 0x3C8, 0x3C9, 0x3CC, 0x3CE, 0x3CF,
                                      0x3D4, 0x3D5, 0x3DA, 0xEA,  0xEB,  0x370, 0x371};
inline constexpr unsigned kPortCount = sizeof(kPorts) / sizeof(kPorts[0]);

// Every keyword of the driver's table, in table order (the empty keyword of the
// chip and feature rows last): an index in the input picks one.
inline constexpr const char* kKeywords[] = {"MONITOR",
                                            "100HZPAL",
                                            "VGANTSC",
                                            "TVPAL",
                                            "TVNTSC",
                                            "TVNTSC269",
                                            "TVNTSCINTERNAL",
                                            "TVPALSVHS",
                                            "TVNTSCSVHS",
                                            "TVNTSC269SVHS",
                                            "TFTPHILIPSHLD1201",
                                            "TFTLGPHILIPSLM151X2",
                                            "WREN",
                                            "MOOSE",
                                            "EGRET",
                                            "BISON",
                                            "HERON",
                                            "OTTER",
                                            "LYNX",
                                            "PAL",
                                            "PALBGHI",
                                            "NTSC",
                                            "NTSCM",
                                            "NTSCJAPAN",
                                            "PAL443",
                                            "PALM",
                                            "NTSCN",
                                            "PALN",
                                            "SECAM",
                                            ""};
inline constexpr unsigned kKeywordCount = sizeof(kKeywords) / sizeof(kKeywords[0]);

}  // namespace orva::fuzz
