// The mappings the video port library hands out: device bases for the driver's
// register and frame-buffer ranges, and frame-buffer views mapped for the
// display driver. Every address comes from one fixed placement area below
// 4 GB, in request order, so that a scenario hands out the same addresses on
// every run and in 32-bit and 64-bit processes alike.
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
  // The placement area: free in 64-bit processes (sanitizer builds included)
  // and in plain 32-bit ones, natively or under a user-mode emulator (a 32-bit
  // address-sanitizer build keeps its shadow memory there, and is not made).
  static constexpr uint64_t kPlacementBase = 0x10000000;
  static constexpr uint64_t kPlacementLimit = 0x30000000;

  explicit AddressSpace(board::Board& board) : board_(board) {}
  ~AddressSpace();
  AddressSpace(const AddressSpace&) = delete;
  AddressSpace& operator=(const AddressSpace&) = delete;

  // VideoPortGetDeviceBase: nullptr when the range cannot be mapped.
  void* deviceBase(uint64_t physical, uint32_t length, bool io);
  // VideoPortMapMemory / VideoPortUnmapMemory: Win32 status codes. The address
  // passed in (a process handle, or a wish) does not choose the placement.
  VP_STATUS mapMemory(uint64_t physical, uint32_t* length, uint32_t* space, void** address);
  VP_STATUS unmapMemory(void* address);

  // Physical address behind a register access of `bytes` bytes at `address`;
  // aborts when no mapping covers it.
  uint64_t physicalOf(uintptr_t address, unsigned bytes, const char* function) const;

  std::vector<UserMapping> userMappings() const;

 private:
  struct Region {
    uintptr_t base = 0;   // start of the reserved pages (0 for I/O space)
    size_t size = 0;      // bytes reserved, the trailing guard page included
    uintptr_t start = 0;  // the address handed out
    uint64_t physical = 0;
    uint32_t length = 0;
    bool io = false;
  };
  // The frame-buffer view that holds `physical`, if any: its physical base.
  bool viewOf(uint64_t physical, uint64_t* viewBase) const;
  bool inRegisterWindow(uint64_t physical) const;
  // Reserves `size` inaccessible bytes of the placement area: the next
  // addresses in order, or, once the area is used up, the first retired range
  // that fits. 0 when nothing is left.
  uintptr_t reserve(size_t size);
  // Gives a region's pages back to the placement area as a retired range: they
  // stay reserved and inaccessible, so a stale pointer faults.
  void retire(const Region& region);
  // Maps [physical, physical + length) with the display memory where it lies in
  // the view at viewBase and inaccessible pages elsewhere, followed by a guard
  // page. Returns false when no address space is left.
  bool mapPages(uint64_t physical, uint32_t length, bool vram, uint64_t viewBase, Region* region);
  static const Region* find(const std::map<uintptr_t, Region>& regions, uintptr_t address,
                            unsigned bytes);

  board::Board& board_;
  uintptr_t next_ = static_cast<uintptr_t>(kPlacementBase);
  std::map<uintptr_t, size_t> retired_;        // reserved ranges free for reuse
  std::map<uintptr_t, Region> deviceRegions_;  // keyed by the address handed out
  std::map<uintptr_t, Region> userRegions_;
};

[[noreturn]] void fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace orva::platform::detail
