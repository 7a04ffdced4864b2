#include "shapes.h"

#include <fstream>
#include <sstream>
#include <string>

#include "parse.h"

namespace orvasim {

namespace {

const std::vector<std::string_view> kArrow = {
    "B",         "BB",        "BWB",        "BWWB",        "BWWWB",        "BWWWWB",   "BWWWWWB",
    "BWWWWWWB",  "BWWWWWWWB", "BWWWWWWWWB", "BWWWWWWWWWB", "BWWWWWWBBBBB", "BWWWBWWB", "BWWBBWWB",
    "BWB..BWWB", "BB...BWWB", "B.....BWWB", "......BWWB",  ".......BB",
};

const std::vector<std::string_view> kBlock = {
    "BBBBBBBBBBBBBBBB", "BWWWWWWWWWWWWWWB", "BWWWWWWWWWWWWWWB", "BWWWWWWWWWWWWWWB",
    "BWWWWWWWWWWWWWWB", "BWWWWWWWWWWWWWWB", "BWWWWWWWWWWWWWWB", "BWWWWWWWWWWWWWWB",
    "BWWWWWWWWWWWWWWB", "BWWWWWWWWWWWWWWB", "BWWWWWWWWWWWWWWB", "BWWWWWWWWWWWWWWB",
    "BWWWWWWWWWWWWWWB", "BWWWWWWWWWWWWWWB", "BWWWWWWWWWWWWWWB", "BBBBBBBBBBBBBBBB",
};

const std::vector<std::string_view> kCross = {
    ".......B.......", ".......B.......", ".......B.......", ".......B.......", ".......B.......",
    ".......B.......", ".......B.......", "BBBBBBBWBBBBBBB", ".......B.......", ".......B.......",
    ".......B.......", ".......B.......", ".......B.......", ".......B.......", ".......B.......",
};

}  // namespace

std::vector<uint8_t> shapeFromRows(const std::vector<std::string_view>& rows) {
  std::vector<uint8_t> shape(kShapeBytes, 0);
  std::fill(shape.begin(), shape.begin() + 512, 0xFF);  // AND plane: all transparent
  for (size_t r = 0; r < rows.size() && r < 64; ++r) {
    for (size_t c = 0; c < rows[r].size() && c < 64; ++c) {
      uint8_t bit = static_cast<uint8_t>(0x80 >> (c % 8));
      size_t offset = r * 8 + c / 8;
      bool andBit = true, xorBit = false;
      switch (rows[r][c]) {
        case 'B':
          andBit = false;
          break;
        case 'W':
          andBit = false;
          xorBit = true;
          break;
        case 'X':
          xorBit = true;
          break;
        default:
          break;
      }
      if (!andBit) shape[offset] &= static_cast<uint8_t>(~bit);
      if (xorBit) shape[512 + offset] |= bit;
    }
  }
  return shape;
}

std::optional<std::vector<uint8_t>> builtinShape(std::string_view name) {
  if (name == "arrow") return shapeFromRows(kArrow);
  if (name == "block") return shapeFromRows(kBlock);
  if (name == "cross") return shapeFromRows(kCross);
  return std::nullopt;
}

const std::vector<std::string_view>& builtinShapeNames() {
  static const std::vector<std::string_view> names = {"arrow", "block", "cross"};
  return names;
}

std::vector<uint8_t> loadShapeFile(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) throw UsageError("cannot read shape file '" + file.string() + "'");
  std::string text, line;
  while (std::getline(in, line)) {
    if (size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    text += line;
    text += ' ';
  }
  std::optional<std::vector<uint8_t>> bytes = parseHexBytes(text);
  if (!bytes) throw UsageError("shape file '" + file.string() + "' is not hex bytes");
  if (bytes->size() != kShapeBytes)
    throw UsageError("shape file '" + file.string() + "' holds " + std::to_string(bytes->size()) +
                     " bytes; a shape is 1024 (AND plane then XOR plane)");
  return *bytes;
}

}  // namespace orvasim
