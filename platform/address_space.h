// The mappings the video port library hands out: device bases for the driver's
// register and frame-buffer ranges, and frame-buffer views mapped for the
// display driver. Every address stays below 4 GB.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "board.h"
#include "host_ddk.h"
#include "session.h"

namespace orva::platform::detail {

class AddressSpace {
 public:
  explicit AddressSpace(board::Board& board) : board_(board) {}
  ~AddressSpace();
  AddressSpace(const AddressSpace&) = delete;
  AddressSpace& operator=(const AddressSpace&) = delete;

  // VideoPortGetDeviceBase: nullptr when the range cannot be mapped.
  void* deviceBase(uint64_t physical, uint32_t length, bool io);
  // VideoPortMapMemory / VideoPortUnmapMemory: Win32 status codes.
  VP_STATUS mapMemory(uint64_t physical, uint32_t* length, uint32_t* space, void** address);
  VP_STATUS unmapMemory(void* address);

  // Physical address behind a register access of `bytes` bytes at `address`;
  // aborts when no mapping covers it.
  uint64_t physicalOf(uintptr_t address, unsigned bytes, const char* function) const;

  std::vector<UserMapping> userMappings() const;

 private:
  struct Region {
    uintptr_t base = 0;   // start of the mmap'd pages (0 for I/O space)
    size_t size = 0;      // bytes of the mmap'd pages
    uintptr_t start = 0;  // the address handed out
    uint64_t physical = 0;
    uint32_t length = 0;
    bool io = false;
  };
  // The frame-buffer view that holds `physical`, if any: its physical base.
  bool viewOf(uint64_t physical, uint64_t* viewBase) const;
  bool inRegisterWindow(uint64_t physical) const;
  // Maps [physical, physical + length) with the display memory where it lies in
  // the view at viewBase and inaccessible pages elsewhere. `want` is a
  // placement request (0: any). Returns false when no address space is left.
  bool mapPages(uint64_t physical, uint32_t length, bool vram, uint64_t viewBase, uintptr_t want,
                Region* region);
  static void release(const Region& region);
  static const Region* find(const std::map<uintptr_t, Region>& regions, uintptr_t address,
                            unsigned bytes);

  board::Board& board_;
  std::map<uintptr_t, Region> deviceRegions_;  // keyed by the address handed out
  std::map<uintptr_t, Region> userRegions_;
};

[[noreturn]] void fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace orva::platform::detail
