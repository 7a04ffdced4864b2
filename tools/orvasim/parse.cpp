#include "parse.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>
#include <sstream>
#include <tuple>

namespace orvasim {

namespace {

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool startsWithHexPrefix(std::string_view text) {
  return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

std::optional<uint64_t> digits(std::string_view text, int base) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<uint64_t> parseUnsigned(std::string_view text, unsigned bits) {
  std::optional<uint64_t> value =
      startsWithHexPrefix(text) ? digits(text.substr(2), 16) : digits(text, 10);
  if (!value) return std::nullopt;
  if (bits < 64 && *value >> bits) return std::nullopt;
  return value;
}

std::string numberProblem(std::string_view text, unsigned bits) {
  const bool hexPrefix = startsWithHexPrefix(text);
  std::string_view body = hexPrefix ? text.substr(2) : text;
  const bool allDigits = !body.empty() && std::all_of(body.begin(), body.end(), [&](char c) {
    return hexPrefix ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                     : std::isdigit(static_cast<unsigned char>(c)) != 0;
  });
  if (allDigits && !parseUnsigned(text, bits))
    return "is too large (at most " + std::to_string(bits) + " bits)";
  return "is not a number";
}

std::optional<int64_t> parseSigned(std::string_view text) {
  bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  std::optional<uint64_t> magnitude = parseUnsigned(text, 32);
  if (!magnitude) return std::nullopt;
  int64_t value = negative ? -static_cast<int64_t>(*magnitude) : static_cast<int64_t>(*magnitude);
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return value;
}

std::optional<uint64_t> parseHex(std::string_view text, unsigned bits) {
  if (startsWithHexPrefix(text)) text.remove_prefix(2);
  std::optional<uint64_t> value = digits(text, 16);
  if (!value || (bits < 64 && *value >> bits)) return std::nullopt;
  return value;
}

std::optional<std::vector<uint8_t>> parseHexBytes(std::string_view text) {
  std::vector<uint8_t> bytes;
  std::string packed;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    packed.push_back(c);
  }
  if (packed == "-" || packed.empty()) return bytes;
  if (startsWithHexPrefix(packed)) packed.erase(0, 2);
  if (packed.size() % 2) return std::nullopt;
  for (size_t i = 0; i < packed.size(); i += 2) {
    std::optional<uint64_t> byte = digits(std::string_view(packed).substr(i, 2), 16);
    if (!byte) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(*byte));
  }
  return bytes;
}

std::optional<uint32_t> parseColour(std::string_view text) {
  if (!text.empty() && text[0] == '#') text.remove_prefix(1);
  if (text.size() != 6) return std::nullopt;
  std::optional<uint64_t> value = digits(text, 16);
  if (!value) return std::nullopt;
  return static_cast<uint32_t>(*value);
}

uint32_t parseMemorySize(std::string_view text) {
  auto fail = [&](const std::string& why) -> UsageError {
    return UsageError("invalid memory size '" + std::string(text) + "': " + why);
  };
  std::string t = lower(trim(text));
  uint64_t unit = 1;
  if (!startsWithHexPrefix(t)) {
    if (t.ends_with("b")) t.pop_back();
    if (t.ends_with("k")) {
      unit = 1024;
      t.pop_back();
    } else if (t.ends_with("m")) {
      unit = 1024 * 1024;
      t.pop_back();
    }
  }
  std::optional<uint64_t> count = parseUnsigned(t, 32);
  if (!count && numberProblem(t, 32).starts_with("is too large"))
    throw fail("too large: at most 8064K (63 x 128K)");
  if (!count) throw fail("expected a number of bytes, or a count with K or M (e.g. 4M, 8064K)");
  uint64_t bytes = *count * unit;
  if (bytes % kMemoryUnit) throw fail("not a multiple of 128K");
  if (bytes > kMemoryMax) throw fail("too large: at most 8064K (63 x 128K)");
  return static_cast<uint32_t>(bytes);
}

ModeName parseModeName(std::string_view text) {
  auto fail = [&]() {
    return UsageError("invalid mode '" + std::string(text) +
                      "': expected a mode number (74, 0x4A) or WIDTHxHEIGHTxBPP[@HZ] "
                      "(800x600x16@75)");
  };
  ModeName wanted;
  std::string t = lower(trim(text));
  if (t.empty()) throw fail();
  if (std::optional<uint64_t> number = parseUnsigned(t, 32)) {
    wanted.number = static_cast<uint32_t>(*number);
    return wanted;
  }
  if (numberProblem(t, 32).starts_with("is too large"))
    throw UsageError("invalid mode '" + std::string(text) +
                     "': mode number too large (at most 32 bits, 0xFFFFFFFF)");
  std::string_view rest = t;
  if (size_t at = rest.find('@'); at != std::string_view::npos) {
    std::optional<uint64_t> hz = digits(rest.substr(at + 1), 10);
    if (!hz || *hz > UINT32_MAX) throw fail();
    wanted.refresh = static_cast<uint32_t>(*hz);
    rest = rest.substr(0, at);
  }
  uint32_t fields[3];
  for (int i = 0; i < 3; ++i) {
    size_t x = rest.find('x');
    std::string_view field = i < 2 ? rest.substr(0, x) : rest;
    if ((i < 2 && x == std::string_view::npos)) throw fail();
    std::optional<uint64_t> value = digits(field, 10);
    if (!value || *value == 0 || *value > 0xFFFF) throw fail();
    fields[i] = static_cast<uint32_t>(*value);
    if (i < 2) rest = rest.substr(x + 1);
  }
  wanted.width = fields[0];
  wanted.height = fields[1];
  wanted.bpp = fields[2];
  return wanted;
}

std::string formatModeName(const ModeName& wanted) {
  if (wanted.number) return std::to_string(*wanted.number);
  std::string out = std::to_string(wanted.width) + "x" + std::to_string(wanted.height) + "x" +
                    std::to_string(wanted.bpp);
  if (wanted.refresh) out += "@" + std::to_string(*wanted.refresh);
  return out;
}

uint32_t resolveMode(const ModeName& wanted, const std::vector<ListedMode>& list) {
  if (wanted.number) return *wanted.number;
  std::set<uint32_t> rates;
  for (const ListedMode& mode : list) {
    if (mode.width != wanted.width || mode.height != wanted.height || mode.bpp != wanted.bpp)
      continue;
    if (!wanted.refresh || *wanted.refresh == mode.frequency) return mode.modeIndex;
    rates.insert(mode.frequency);
  }
  std::string message = "mode " + formatModeName(wanted) + " is not in the driver's mode list";
  if (!rates.empty()) {
    message += " (listed refresh rates:";
    for (uint32_t hz : rates) message += " " + std::to_string(hz);
    message += "; 0 is a fixed timing)";
  } else {
    std::set<std::tuple<uint32_t, uint32_t, uint32_t>> sizes;
    for (const ListedMode& mode : list) sizes.insert({mode.width, mode.height, mode.bpp});
    if (sizes.empty()) {
      message += " (the list is empty)";
    } else {
      message += " (listed:";
      for (const auto& [w, h, bpp] : sizes)
        message += " " + std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(bpp);
      message += ")";
    }
  }
  throw UsageError(message);
}

std::string hex(uint64_t value, unsigned digitCount) {
  std::ostringstream out;
  out << "0x" << std::uppercase << std::hex;
  if (digitCount) {
    out.width(digitCount);
    out.fill('0');
  }
  out << value;
  return out.str();
}

std::string hexBytes(const std::vector<uint8_t>& bytes) {
  static const char* const kDigits = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

std::string lowerCase(std::string_view text) { return lower(text); }

std::string upperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string trim(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return std::string(text.substr(begin, end - begin));
}

std::vector<std::string> splitWords(std::string_view text) {
  std::vector<std::string> words;
  std::istringstream in{std::string(text)};
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

}  // namespace orvasim
