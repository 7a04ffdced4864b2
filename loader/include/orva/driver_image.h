// A kernel-mode driver image (.sys) bound to the hosted video port library.
//
// The image imports the VideoPort* functions from videoprt.sys; each import is
// bound to a thunk that the driver calls in its own convention (stdcall on
// i386, the Microsoft x64 convention on AMD64) and that calls the library's
// function in the host convention. The callbacks the driver hands to the
// library (its entry point, HwFindAdapter, HwInitialize, HwStartIO, the
// registry callback, ...) are replaced by host-convention trampolines that call
// the driver's functions in the driver's convention. One driver image exists at
// a time: the trampolines keep the driver's pointers in static storage.
#pragma once
#include <memory>
#include <span>
#include <string>

#include "host_ddk.h"
#include "orva/pe_image.h"

namespace orva::loader {

// The driver's convention for the functions it exports and calls.
#if defined(__x86_64__)
#define ORVA_DRIVER_CALL __attribute__((ms_abi))
#elif defined(__i386__)
// Driver code keeps the stack only 4-byte aligned; host code needs 16.
#define ORVA_DRIVER_CALL __attribute__((stdcall, force_align_arg_pointer))
#endif

// Everything videoprt.sys exports to a miniport that this library provides,
// as thunks in the driver's convention.
std::span<const ImportSymbol> videoPortImports();
// The libraries a driver image may import from: videoprt.sys only.
std::span<const ImportLibrary> driverLibraries();

// Bytes of arguments each thunk takes off the stack in the i386 stdcall
// convention (the N of Name@N), by name; 0 when the name is not provided.
unsigned stdcallArgumentBytes(std::string_view name);

class DriverImage {
 public:
  using Entry = ULONG (*)(PVOID, PVOID);  // host convention

  // Loads a .sys built for this process's machine. Throws LoadError; refuses a
  // second image while one exists.
  static std::unique_ptr<DriverImage> load(const std::string& path,
                                           const LoadOptions& options = {});
  ~DriverImage();
  DriverImage(const DriverImage&) = delete;
  DriverImage& operator=(const DriverImage&) = delete;

  // DriverEntry behind a host-convention trampoline.
  Entry entry() const;
  // An exported symbol's address (module variables; functions exported by the
  // image keep the driver's convention). nullptr when not exported.
  void* symbol(const char* name) const;
  const Image& image() const { return *image_; }

  // The driver's callback behind the host-convention pointer the library got,
  // nullptr when `trampoline` is none of this image's trampolines. Tests check
  // that the library never calls driver code directly.
  static const void* driverFunctionOf(const void* trampoline);

 private:
  explicit DriverImage(std::unique_ptr<Image> image) : image_(std::move(image)) {}
  std::unique_ptr<Image> image_;
};

// True when the file starts like a PE image (MZ header), so that a caller can
// choose between this loader and the system's dynamic loader.
bool looksLikePeImage(const std::string& path);

}  // namespace orva::loader
