#include "address_space.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orva::platform::detail {
namespace {

// The chip's graphics memory map, relative to the graphics base: the display
// memory is decoded twice, at +0 and at +8 MB; the register windows lie in
// 4 MB to 8 MB (engine, TV encoder, TFT interface) and 12 MB to 16 MB (engine
// data port).
constexpr uint64_t kLowView = 0x000000;
constexpr uint64_t kHighView = 0x800000;
constexpr uint64_t kRegisterWindows[][2] = {{0x400000, 0x800000}, {0xC00000, 0x1000000}};

constexpr uint64_t kPhysicalLimit = uint64_t{1} << 32;  // the chip's physical address space
constexpr uint64_t kIoLimit = 0x10000;                  // x86 I/O port space

constexpr VP_STATUS kNoError = 0;
constexpr VP_STATUS kInvalidParameter = 87;

uintptr_t pageSize() {
  static const uintptr_t size = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  return size;
}

// Inaccessible pages at exactly `at`, or false when something else lives there.
bool reserveAt(uintptr_t at, size_t size) {
  void* base = mmap(reinterpret_cast<void*>(at), size, PROT_NONE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
  if (base == MAP_FAILED) return false;
  if (reinterpret_cast<uintptr_t>(base) != at) {
    munmap(base, size);  // a kernel or emulator that took the address as a hint only
    return false;
  }
  return true;
}

// Replaces pages this library reserved with fresh inaccessible ones.
bool resetPages(uintptr_t at, size_t size) {
  return mmap(reinterpret_cast<void*>(at), size, PROT_NONE,
              MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0) != MAP_FAILED;
}

}  // namespace

AddressSpace::~AddressSpace() {
  for (const auto* regions : {&deviceRegions_, &userRegions_}) {
    for (const auto& [start, region] : *regions) {
      if (!region.io) munmap(reinterpret_cast<void*>(region.base), region.size);
    }
  }
  for (const auto& [base, size] : retired_) munmap(reinterpret_cast<void*>(base), size);
}

uintptr_t AddressSpace::reserve(size_t size) {
  // In order, never reusing an address while the area lasts. Something else
  // living in the area is stepped over.
  const auto limit = static_cast<uintptr_t>(kPlacementLimit);
  while (size <= limit - next_) {
    const uintptr_t at = next_;
    next_ += size;
    if (reserveAt(at, size)) return at;
    // Addresses no longer match those of another run: say so, once.
    static bool told = false;
    if (!told) {
      told = true;
      std::fprintf(stderr, "videoprt: %#lx is taken by something else; mappings shift past it\n",
                   static_cast<unsigned long>(at));
    }
  }
  // Used up: the first retired range that fits, from its start.
  for (auto it = retired_.begin(); it != retired_.end(); ++it) {
    const auto [base, free] = *it;
    if (free < size) continue;
    retired_.erase(it);
    if (free > size) retired_.emplace(base + size, free - size);
    return base;
  }
  return 0;
}

void AddressSpace::retire(const Region& region) {
  if (region.io || region.size == 0) return;
  if (!resetPages(region.base, region.size)) {
    munmap(reinterpret_cast<void*>(region.base), region.size);
    return;
  }
  uintptr_t base = region.base;
  size_t size = region.size;
  // Join the retired neighbours on both sides.
  auto after = retired_.find(base + size);
  if (after != retired_.end()) {
    size += after->second;
    retired_.erase(after);
  }
  auto before = retired_.lower_bound(base);
  if (before != retired_.begin()) {
    --before;
    if (before->first + before->second == base) {
      base = before->first;
      size += before->second;
      retired_.erase(before);
    }
  }
  retired_.emplace(base, size);
}

bool AddressSpace::viewOf(uint64_t physical, uint64_t* viewBase) const {
  const uint64_t gbase = board_.gbase();
  const uint64_t size = board_.vramSize();
  for (uint64_t view : {kLowView, kHighView}) {
    const uint64_t base = gbase + view;
    if (physical >= base && physical - base < size) {
      *viewBase = base;
      return true;
    }
  }
  return false;
}

bool AddressSpace::inRegisterWindow(uint64_t physical) const {
  const uint64_t gbase = board_.gbase();
  return std::any_of(std::begin(kRegisterWindows), std::end(kRegisterWindows),
                     [&](const uint64_t(&window)[2]) {
                       return physical >= gbase + window[0] && physical < gbase + window[1];
                     });
}

bool AddressSpace::mapPages(uint64_t physical, uint32_t length, bool vram, uint64_t viewBase,
                            Region* region) {
  const uint64_t page = pageSize();
  const uint64_t first = physical & ~(page - 1);
  const uint64_t last = (physical + length + page - 1) & ~(page - 1);
  // The range's pages and one guard page behind them, all inaccessible at first.
  const uint64_t size = last - first + page;
  if (size > kPlacementLimit - kPlacementBase) return false;
  const uintptr_t base = reserve(static_cast<size_t>(size));
  if (base == 0) return false;

  if (vram) {
    // Only what lies inside the display memory is backed by it; past its end
    // the pages stay inaccessible so that an overrun faults.
    const uint64_t memoryEnd = viewBase + board_.vramSize();
    const uint64_t backedEnd = std::min<uint64_t>(last, memoryEnd);
    if (backedEnd > first) {
      void* memory = mmap(reinterpret_cast<void*>(base), static_cast<size_t>(backedEnd - first),
                          PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, board_.vramFd(),
                          static_cast<off_t>(first - viewBase));
      if (memory == MAP_FAILED) {
        Region reserved;
        reserved.base = base;
        reserved.size = static_cast<size_t>(size);
        retire(reserved);
        return false;
      }
    }
  }
  region->base = base;
  region->size = static_cast<size_t>(size);
  region->start = base + static_cast<uintptr_t>(physical - first);
  region->physical = physical;
  region->length = length;
  region->io = false;
  return true;
}

void* AddressSpace::deviceBase(uint64_t physical, uint32_t length, bool io) {
  if (length == 0) return nullptr;
  if (io) {
    if (physical == 0 || physical + length > kIoLimit) return nullptr;
    return reinterpret_cast<void*>(static_cast<uintptr_t>(physical));  // as on x86: the port itself
  }
  if (physical + length > kPhysicalLimit) return nullptr;

  uint64_t viewBase = 0;
  const bool vram = !inRegisterWindow(physical) && viewOf(physical, &viewBase);
  Region region;
  if (!mapPages(physical, length, vram, viewBase, &region)) return nullptr;
  deviceRegions_[region.start] = region;
  return reinterpret_cast<void*>(region.start);
}

VP_STATUS AddressSpace::mapMemory(uint64_t physical, uint32_t* length, uint32_t* space,
                                  void** address) {
  if (length == nullptr || space == nullptr || address == nullptr || *length == 0) {
    return kInvalidParameter;
  }
  Region region;
  if (*space & VIDEO_MEMORY_SPACE_IO) {
    if (physical + *length > kIoLimit) return kInvalidParameter;
    region.start = static_cast<uintptr_t>(physical);
    region.physical = physical;
    region.length = *length;
    region.io = true;
    if (userRegions_.count(region.start) != 0) return kInvalidParameter;
  } else {
    // Only the display memory can be mapped for a caller, through either view.
    uint64_t viewBase = 0;
    if (!viewOf(physical, &viewBase) || physical + *length > viewBase + board_.vramSize()) {
      return kInvalidParameter;
    }
    if (!mapPages(physical, *length, true, viewBase, &region)) return kInvalidParameter;
  }
  userRegions_[region.start] = region;
  *address = reinterpret_cast<void*>(region.start);
  return kNoError;
}

VP_STATUS AddressSpace::unmapMemory(void* address) {
  auto it = userRegions_.find(reinterpret_cast<uintptr_t>(address));
  if (it == userRegions_.end()) return kInvalidParameter;
  retire(it->second);
  userRegions_.erase(it);
  return kNoError;
}

const AddressSpace::Region* AddressSpace::find(const std::map<uintptr_t, Region>& regions,
                                               uintptr_t address, unsigned bytes) {
  auto it = regions.upper_bound(address);
  if (it == regions.begin()) return nullptr;
  --it;
  const Region& region = it->second;
  if (region.io || address + bytes > region.start + region.length) return nullptr;
  return &region;
}

uint64_t AddressSpace::physicalOf(uintptr_t address, unsigned bytes, const char* function) const {
  const Region* region = find(deviceRegions_, address, bytes);
  if (region == nullptr) region = find(userRegions_, address, bytes);
  if (region == nullptr) {
    fatal("%s: address %#lx is in no mapped register range", function,
          static_cast<unsigned long>(address));
  }
  return region->physical + (address - region->start);
}

std::vector<UserMapping> AddressSpace::userMappings() const {
  std::vector<UserMapping> out;
  out.reserve(userRegions_.size());
  for (const auto& [start, region] : userRegions_) {
    out.push_back({start, region.physical, region.length, region.io});
  }
  return out;
}

}  // namespace orva::platform::detail
