#include "pattern.h"

#include <bit>

namespace orvasim {

namespace {

struct PatternInfo {
  std::string_view name;
  Pattern pattern;
};
constexpr PatternInfo kPatterns[] = {
    {"bars", Pattern::Bars}, {"ramp", Pattern::Ramp}, {"card", Pattern::Card}};

constexpr uint32_t kBars[8] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00,
                               0xFF00FF, 0xFF0000, 0x0000FF, 0x000000};
constexpr uint8_t kGridIndex = 8;
constexpr uint8_t kFirstGrey = 9;
constexpr unsigned kGridSpacing = 16;

constexpr std::array<uint32_t, kPatternColourCount> makeColours() {
  std::array<uint32_t, kPatternColourCount> colours{};
  for (size_t i = 0; i < 8; ++i) colours[i] = kBars[i];
  colours[kGridIndex] = 0xFF0000;
  for (size_t step = 0; step < kPatternGreySteps; ++step) {
    const auto grey = static_cast<uint32_t>(step * 255 / (kPatternGreySteps - 1));
    colours[kFirstGrey + step] = grey << 16 | grey << 8 | grey;
  }
  return colours;
}

uint8_t barIndex(unsigned x, unsigned width) {
  return static_cast<uint8_t>(uint64_t{x} * 8 / width);
}

uint8_t rampIndex(unsigned x, unsigned y, unsigned width, unsigned height) {
  if (x % kGridSpacing == 0 || y % kGridSpacing == 0 || x + 1 == width || y + 1 == height)
    return kGridIndex;
  return static_cast<uint8_t>(kFirstGrey + uint64_t{x} * kPatternGreySteps / width);
}

// One colour component (8 bits) into the field of `mask`: its top bits, as many as the
// field holds.
uint32_t field(uint32_t component, uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const uint32_t value = bits >= 8 ? component << (bits - 8) : component >> (8 - bits);
  return (value << shift) & mask;
}

}  // namespace

const std::array<uint32_t, kPatternColourCount> kPatternColours = makeColours();

std::optional<Pattern> parsePattern(std::string_view name) {
  for (const PatternInfo& info : kPatterns)
    if (info.name == name) return info.pattern;
  return std::nullopt;
}

std::string_view patternName(Pattern pattern) {
  for (const PatternInfo& info : kPatterns)
    if (info.pattern == pattern) return info.name;
  return "?";
}

std::string patternNames() {
  std::string names;
  for (const PatternInfo& info : kPatterns)
    names += (names.empty() ? "" : ", ") + std::string(info.name);
  return names;
}

uint8_t patternIndex(Pattern pattern, unsigned x, unsigned y, unsigned width, unsigned height) {
  switch (pattern) {
    case Pattern::Bars:
      return barIndex(x, width);
    case Pattern::Ramp:
      return rampIndex(x, y, width, height);
    case Pattern::Card: {
      const unsigned top = height / 2;
      return y < top ? barIndex(x, width) : rampIndex(x, y - top, width, height - top);
    }
  }
  return 0;
}

std::string drawPattern(Pattern pattern, const ModeInformation& mode, uint8_t* frameBuffer,
                        uint64_t length) {
  const unsigned bpp = mode.BitsPerPlane * mode.NumberOfPlanes;
  const bool indexed = bpp == 8;
  if (!indexed && (mode.RedMask | mode.GreenMask | mode.BlueMask) == 0)
    return std::to_string(bpp) + " bits per pixel without colour masks";
  if (bpp == 0 || bpp > 32) return std::to_string(bpp) + " bits per pixel";
  const unsigned bytes = (bpp + 7) / 8;  // 15 bits per pixel take two bytes
  const unsigned width = mode.VisScreenWidth, height = mode.VisScreenHeight;
  if (width == 0 || height == 0) return "no visible surface";
  if (uint64_t{width} * bytes > mode.ScreenStride)
    return "stride " + std::to_string(mode.ScreenStride) + " shorter than a line";
  if (uint64_t{mode.ScreenStride} * (height - 1) + uint64_t{width} * bytes > length)
    return "the surface (" + std::to_string(uint64_t{mode.ScreenStride} * height) +
           " bytes) is larger than the mapping (" + std::to_string(length) + " bytes)";

  for (unsigned y = 0; y < height; ++y) {
    uint8_t* line = frameBuffer + uint64_t{y} * mode.ScreenStride;
    for (unsigned x = 0; x < width; ++x) {
      const uint8_t index = patternIndex(pattern, x, y, width, height);
      uint32_t pixel = index;
      if (!indexed) {
        const uint32_t c = kPatternColours[index];
        pixel = field(c >> 16 & 0xFF, mode.RedMask) | field(c >> 8 & 0xFF, mode.GreenMask) |
                field(c & 0xFF, mode.BlueMask);
      }
      for (unsigned k = 0; k < bytes; ++k)  // little-endian, as the chip reads memory
        line[uint64_t{x} * bytes + k] = static_cast<uint8_t>(pixel >> (8 * k));
    }
  }
  return {};
}

}  // namespace orvasim
