#include "png_writer.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace orva::board {

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

bool writePng(const Image& image, const std::string& path, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!encodePng(image, bytes, error)) return false;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  bool written =
      file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (file != nullptr && std::fclose(file) != 0) written = false;
  if (!written && error) *error = path + ": " + std::strerror(errno);
  return written;
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
