// The 32-bit harness is built without libpng: screenshots are refused with a
// reason, every other view of the board works.
#include "png_writer.h"

namespace orva::board {

bool writePng(const Image&, const std::string& path, std::string* error) {
  if (error != nullptr) *error = "cannot write " + path + ": the 32-bit harness has no PNG support";
  return false;
}

bool encodePng(const Image&, std::vector<uint8_t>&, std::string* error) {
  if (error != nullptr) *error = "the 32-bit harness has no PNG support";
  return false;
}

bool readPng(const std::string& path, Image&, std::string* error) {
  if (error != nullptr) *error = "cannot read " + path + ": the 32-bit harness has no PNG support";
  return false;
}

}  // namespace orva::board
