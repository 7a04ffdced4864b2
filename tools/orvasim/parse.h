// Parsers for what users type: board options, mode names, numbers and colours.
// Every parser returns std::nullopt or throws UsageError with a one-line message
// that the command line prints as it is.
#pragma once
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orvasim {

// Bad input from the user: command line, scenario line, mode name. The tool prints
// the message on one line and exits with status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Display memory the board carries: the chip holds it in units of 128 KB in a 6-bit
// field, so 128 KB to 8064 KB.
constexpr uint32_t kMemoryUnit = 128u * 1024u;
constexpr uint32_t kMemoryMax = 63u * kMemoryUnit;

// "4M", "8064K", "2MB", "131072", "0x200000": bytes, or kilobytes/megabytes with a
// K or M suffix (case-insensitive, an optional trailing B). Throws UsageError when
// malformed, not a multiple of 128 KB, zero, or above 8064 KB.
uint32_t parseMemorySize(std::string_view text);

// Unsigned integer, decimal or 0x hexadecimal, that fits in `bits` bits.
std::optional<uint64_t> parseUnsigned(std::string_view text, unsigned bits = 32);
// Why `text` is no unsigned number of `bits` bits: "is too large (at most 32 bits)"
// when its digits are fine but the value does not fit, "is not a number" otherwise.
std::string numberProblem(std::string_view text, unsigned bits = 32);
// Signed integer, decimal or 0x hexadecimal, optional leading '-', within int32.
std::optional<int64_t> parseSigned(std::string_view text);
// Hexadecimal with or without 0x, at most `bits` bits wide.
std::optional<uint64_t> parseHex(std::string_view text, unsigned bits);
// A byte string written in hex digits, whitespace allowed between bytes; "-" or
// "" is empty. nullopt on an odd digit count or a non-hex character.
std::optional<std::vector<uint8_t>> parseHexBytes(std::string_view text);
// RRGGBB or #RRGGBB.
std::optional<uint32_t> parseColour(std::string_view text);

// A mode as the user names it: a mode number as the driver hands it out, or a
// size and depth with an optional refresh rate picked from the driver's list.
struct ModeName {
  std::optional<uint32_t> number;  // set when given as a number
  uint32_t width = 0, height = 0, bpp = 0;
  std::optional<uint32_t> refresh;  // @HZ
};
// "74", "0x4A", "800x600x16", "800x600x16@75". Throws UsageError otherwise.
ModeName parseModeName(std::string_view text);
std::string formatModeName(const ModeName& wanted);

// One entry of the driver's mode list, reduced to what picking needs.
struct ListedMode {
  uint32_t modeIndex = 0, width = 0, height = 0, bpp = 0, frequency = 0;
};
// The mode number that `wanted` names. A number is returned as given, listed or not,
// so that the driver's own answer to an unlisted number can be seen. A size picks
// the first listed mode of that size and depth (and refresh rate when given);
// throws UsageError naming what is listed when nothing matches.
uint32_t resolveMode(const ModeName& wanted, const std::vector<ListedMode>& list);

std::string hex(uint64_t value, unsigned digits = 0);     // "0x..." upper-case digits
std::string hexBytes(const std::vector<uint8_t>& bytes);  // lower-case, no separator
std::string trim(std::string_view text);
std::string lowerCase(std::string_view text);
std::string upperCase(std::string_view text);
std::vector<std::string> splitWords(std::string_view text);

}  // namespace orvasim
