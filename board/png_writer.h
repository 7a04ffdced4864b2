// PNG files of scanout pictures (8-bit RGB). (Not named png.h: that would hide libpng's header
// from everything that has this directory on its include path.)
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "scanout.h"

namespace orva::board {

// Returns false (and the reason in *error) when the file cannot be written.
bool writePng(const Image& image, const std::string& path, std::string* error = nullptr);
// The PNG file's bytes, for a caller that writes the file itself; false (and the
// reason in *error) when the image cannot be encoded.
bool encodePng(const Image& image, std::vector<uint8_t>& bytes, std::string* error = nullptr);
// Reads a PNG into 8-bit RGB (other formats converted); false when it cannot be read.
bool readPng(const std::string& path, Image& image, std::string* error = nullptr);

}  // namespace orva::board
