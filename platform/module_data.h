// The writable data of a module the dynamic loader loaded (.data, .bss and the
// relocated .data.rel sections), captured once and put back on demand: the
// module variables as a fresh load of the file gives them, without loading it
// again.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orva::platform::detail {

class ModuleData {
 public:
  // `handle` is what dlopen returned for the ELF file at `path`. Throws
  // std::runtime_error when the file or its sections cannot be read.
  ModuleData(void* handle, const std::string& path);

  // Every module variable back at its value when this object was made.
  void restore();

 private:
  struct Section {
    uint8_t* at = nullptr;
    std::vector<uint8_t> image;
  };
  std::vector<Section> sections_;
};

}  // namespace orva::platform::detail
