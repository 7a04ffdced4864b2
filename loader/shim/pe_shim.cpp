// A host driver module that stands for a .sys image: its DriverEntry loads the
// image named by the environment variable ORVA_PE_IMAGE with the PE loader and
// runs the image's entry point with the same two arguments. The video port
// library loads this module afresh for every session like any driver module,
// so every session gets a freshly mapped image; unloading the module unmaps it.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "orva/driver_image.h"

namespace {

std::unique_ptr<orva::loader::DriverImage> g_image;

constexpr ULONG kStatusUnsuccessful = 0xC0000001;

}  // namespace

extern "C" __attribute__((visibility("default"))) ULONG DriverEntry(PVOID argument1,
                                                                    PVOID argument2) {
  const char* path = std::getenv("ORVA_PE_IMAGE");
  if (path == nullptr || *path == '\0') {
    std::fputs("orva_pe_shim: ORVA_PE_IMAGE names no driver image\n", stderr);
    return kStatusUnsuccessful;
  }
  try {
    g_image = orva::loader::DriverImage::load(path);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "orva_pe_shim: %s\n", error.what());
    return kStatusUnsuccessful;
  }
  return g_image->entry()(argument1, argument2);
}

// Module variables of the image, for callers that look symbols up through the
// module (dlsym finds this function, the image's exports are found through it).
extern "C" __attribute__((visibility("default"))) void* orva_pe_symbol(const char* name) {
  return g_image ? g_image->symbol(name) : nullptr;
}
