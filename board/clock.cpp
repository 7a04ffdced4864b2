// Chip variants by name, and the clock path: the four dot-clock PLLs and the
// selection between them and the external pixel clock.
#include <array>

#include "board_state.h"

namespace orva::board {

namespace {

struct VariantName {
  Variant variant;
  std::string_view name;
};

constexpr std::array<VariantName, 8> kVariantNames{{
    {Variant::Pinto, "pinto"},
    {Variant::Bramble, "bramble"},
    {Variant::BrambleL, "bramble-l"},
    {Variant::Mistral, "mistral"},
    {Variant::BrambleR, "bramble-r"},
    {Variant::Kestrel, "kestrel"},
    {Variant::BrambleRX, "bramble-rx"},
    {Variant::Unknown, "unknown"},
}};

}  // namespace

std::string_view variantName(Variant variant) {
  for (const VariantName& v : kVariantNames)
    if (v.variant == variant) return v.name;
  return "unknown";
}

std::optional<Variant> parseVariant(std::string_view name) {
  for (const VariantName& v : kVariantNames)
    if (v.name == name) return v.variant;
  return std::nullopt;
}

unsigned pllDesign(Variant variant) {
  switch (variant) {
    case Variant::BrambleR:
    case Variant::Kestrel:
    case Variant::BrambleRX:
      return 2;
    default:
      return 1;
  }
}

// Design 1: first byte bits 6-3 N, bits 2-0 M bits 7-5; second byte bit 7 P bit 0,
// bits 6-2 M bits 4-0, bits 1-0 P bits 2-1; VCO = (ref / N) x M, 128-256 MHz.
// Design 2: first byte bits 6-3 N, bits 2-0 P; second byte M;
// VCO = 2 x (ref / N) x M, 200-622 MHz. Output = VCO >> P; divisions truncate.
Board::DotClock Board::decodePll(unsigned design, uint8_t first, uint8_t second) {
  DotClock c;
  c.first = first;
  c.second = second;
  c.design = design;
  c.n = (first >> 3) & 0x0F;
  uint64_t low = 0, high = 0;
  if (design == 2) {
    c.p = first & 0x07;
    c.m = second;
    low = 200'000'000, high = 622'000'000;
  } else {
    c.m = (first & 0x07u) << 5 | ((second >> 2) & 0x1Fu);
    c.p = (second >> 7 & 0x01u) | (second & 0x03u) << 1;
    low = 128'000'000, high = 256'000'000;
  }
  if (c.n == 0 || c.m == 0) return c;
  c.vcoHz = uint64_t{kReferenceHz / c.n} * c.m * (design == 2 ? 2 : 1);
  c.outputHz = c.vcoHz >> c.p;
  c.vcoInRange = c.vcoHz >= low && c.vcoHz <= high;
  c.hz = c.vcoInRange ? c.outputHz : 0;
  return c;
}

Board::DotClock Board::dotClock(unsigned c) const {
  const State& s = *state_;
  const unsigned at = 0x42 + 2 * (c & 3);
  return decodePll(pllDesign(s.variant()), s.cfg[at], s.cfg[at + 1]);
}

Board::PixelClock Board::pixelClock() const {
  const State& s = *state_;
  PixelClock pc;
  bool external = false, internal = false;
  if (s.isPinto()) {
    const bool bit4 = (s.cfg[0x7B] & 0x10) != 0, bit6 = (s.cfg[0x7B] & 0x40) != 0;
    external = bit6 && !bit4;
    internal = bit4 && !bit6;
  } else {
    // The external clock is selected when configuration 0x4C bit 4 is clear and
    // the 0xEA/0xEB line has the board's polarity (Super I/O 0xE1 bit 1); the
    // internal clocks when bit 4 is set and the line has the opposite level.
    const bool polarity = (s.sioDevice[0x08][0xE1] & 0x02) != 0;
    const bool line = (s.clockSel[0x01] & 0x02) != 0;
    const bool bit4 = (s.cfg[0x4C] & 0x10) != 0;
    external = !bit4 && line == polarity;
    internal = bit4 && line != polarity;
  }
  pc.inconsistent = !external && !internal;
  pc.external = external;
  pc.dotClock = (s.misc >> 2) & 0x03;
  pc.hz = external ? 0 : dotClock(pc.dotClock).hz;
  return pc;
}

}  // namespace orva::board
