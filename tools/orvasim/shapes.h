// Pointer shapes for the set-pointer-shape request: 64 x 64 monochrome patterns of
// 1024 bytes, the AND plane (512 bytes) then the XOR plane, 8 bytes a row, the
// leftmost pixel in bit 7. AND 1 / XOR 0 is transparent, AND 0 / XOR 0 shows
// colour 0 (black after a mode set), AND 0 / XOR 1 colour 1 (white).
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace orvasim {

constexpr size_t kShapeBytes = 1024;

// Built-in shapes: "arrow" (a 12 x 19 arrow, tip at the top-left pixel, white with a
// black outline), "block" (a 16 x 16 white square with a black border), "cross"
// (a 15 x 15 black cross with a white centre pixel). nullopt for any other name.
std::optional<std::vector<uint8_t>> builtinShape(std::string_view name);
const std::vector<std::string_view>& builtinShapeNames();

// A shape file: 1024 bytes written as 2048 hex digits; whitespace and '#'
// comments to the end of a line are ignored. Throws UsageError when it is not
// exactly 1024 bytes of hex.
std::vector<uint8_t> loadShapeFile(const std::filesystem::path& file);

// A shape drawn as text, one string per row, up to 64 characters each: '.' or ' '
// transparent, 'B' colour 0, 'W' colour 1, 'X' inverted screen (AND 1, XOR 1).
std::vector<uint8_t> shapeFromRows(const std::vector<std::string_view>& rows);

}  // namespace orvasim
