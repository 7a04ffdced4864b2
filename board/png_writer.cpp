#include "png_writer.h"

#include <png.h>

#include <cstring>

namespace orva::board {

bool writePng(const Image& image, const std::string& path, std::string* error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = image.width;
  png.height = image.height;
  png.format = PNG_FORMAT_RGB;
  if (image.width == 0 || image.height == 0 ||
      image.rgb.size() != size_t{image.width} * image.height * 3) {
    if (error) *error = "image has no pixels or a wrong buffer size";
    return false;
  }
  if (!png_image_write_to_file(&png, path.c_str(), 0, image.rgb.data(), 0, nullptr)) {
    if (error) *error = png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}

bool encodePng(const Image& image, std::vector<uint8_t>& bytes, std::string* error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = image.width;
  png.height = image.height;
  png.format = PNG_FORMAT_RGB;
  if (image.width == 0 || image.height == 0 ||
      image.rgb.size() != size_t{image.width} * image.height * 3) {
    if (error) *error = "image has no pixels or a wrong buffer size";
    return false;
  }
  png_alloc_size_t size = 0;
  if (png_image_write_to_memory(&png, nullptr, &size, 0, image.rgb.data(), 0, nullptr)) {
    bytes.resize(size);
    if (png_image_write_to_memory(&png, bytes.data(), &size, 0, image.rgb.data(), 0, nullptr)) {
      bytes.resize(size);
      return true;
    }
  }
  if (error) *error = png.message;
  png_image_free(&png);
  return false;
}

bool readPng(const std::string& path, Image& image, std::string* error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) {
    if (error) *error = png.message;
    return false;
  }
  png.format = PNG_FORMAT_RGB;
  image.width = png.width;
  image.height = png.height;
  image.rgb.assign(PNG_IMAGE_SIZE(png), 0);
  if (!png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr)) {
    if (error) *error = png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}

}  // namespace orva::board
