// Test pictures drawn into the frame buffer the way a display driver draws: in the pixel
// format of the current mode as the driver describes it (bits per pixel, stride, colour
// masks), through the address the frame-buffer mapping returned. At 8 bits per pixel the
// pixels are palette indices into kPatternColours, which the caller loads into the palette.
//
//   bars   eight vertical bars: white, yellow, cyan, green, magenta, red, blue, black
//   ramp   a grey ramp of 64 steps from black (left) to white (right), with a red grid one
//          pixel wide on every 16th column and row and on the last column and row
//   card   bars in the upper half, the ramp and its grid in the lower half
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "client.h"

namespace orvasim {

enum class Pattern { Bars, Ramp, Card };

std::optional<Pattern> parsePattern(std::string_view name);
std::string_view patternName(Pattern pattern);
// "bars, ramp, card", for messages.
std::string patternNames();

// Every colour a pattern uses, 0xRRGGBB, in palette order: the eight bars, the grid colour,
// then the 64 grey steps.
inline constexpr size_t kPatternGreySteps = 64;
inline constexpr size_t kPatternColourCount = 9 + kPatternGreySteps;
extern const std::array<uint32_t, kPatternColourCount> kPatternColours;

// The palette index (into kPatternColours) of pixel (x, y) of a width × height picture.
uint8_t patternIndex(Pattern pattern, unsigned x, unsigned y, unsigned width, unsigned height);
inline uint32_t patternColour(Pattern pattern, unsigned x, unsigned y, unsigned width,
                              unsigned height) {
  return kPatternColours[patternIndex(pattern, x, y, width, height)];
}

// Draws the pattern over the visible surface of `mode` at `frameBuffer` (`length` bytes
// mapped). Direct-colour pixels take each colour's top bits into the field its mask gives;
// 8-bit pixels are indices. Returns an empty string, or why nothing was drawn (a depth
// without colour masks other than 8, or a surface larger than the mapping).
std::string drawPattern(Pattern pattern, const ModeInformation& mode, uint8_t* frameBuffer,
                        uint64_t length);

}  // namespace orvasim
