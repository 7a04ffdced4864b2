// PNG files of scanout pictures (8-bit RGB). (Not named png.h: that would hide libpng's header
// from everything that has this directory on its include path.)
#pragma once
#include <string>

#include "scanout.h"

namespace orva::board {

// Returns false (and the reason in *error) when the file cannot be written.
bool writePng(const Image& image, const std::string& path, std::string* error = nullptr);
// Reads a PNG into 8-bit RGB (other formats converted); false when it cannot be read.
bool readPng(const std::string& path, Image& image, std::string* error = nullptr);

}  // namespace orva::board
