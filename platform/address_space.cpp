#include "address_space.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
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
constexpr uint64_t kAddressLimit = uint64_t{1} << 32;

constexpr VP_STATUS kNoError = 0;
constexpr VP_STATUS kInvalidParameter = 87;

uintptr_t pageSize() {
  static const uintptr_t size = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  return size;
}

}  // namespace

void fatal(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::fputs("videoprt: ", stderr);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  va_end(args);
  std::fflush(stderr);
  std::abort();
}

AddressSpace::~AddressSpace() {
  for (const auto& [start, region] : deviceRegions_) release(region);
  for (const auto& [start, region] : userRegions_) release(region);
}

void AddressSpace::release(const Region& region) {
  if (!region.io && region.size != 0) munmap(reinterpret_cast<void*>(region.base), region.size);
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
                            uintptr_t want, Region* region) {
  const uintptr_t page = pageSize();
  const uint64_t first = physical & ~uint64_t{page - 1};
  const uint64_t last = (physical + length + page - 1) & ~uint64_t{page - 1};
  const size_t size = static_cast<size_t>(last - first);
  const uintptr_t offset = static_cast<uintptr_t>(physical - first);

  // Reserve the whole range inaccessible first; the display memory goes over it.
  void* base = MAP_FAILED;
  if (want != 0 && want % page == offset && want - offset + size <= kAddressLimit) {
    base = mmap(reinterpret_cast<void*>(want - offset), size, PROT_NONE,
                MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
    if (base != MAP_FAILED && reinterpret_cast<uintptr_t>(base) != want - offset) {
      munmap(base, size);  // an old kernel took the address as a hint only
      base = MAP_FAILED;
    }
  }
  if (base == MAP_FAILED) {
    base = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_32BIT,
                -1, 0);
  }
  if (base == MAP_FAILED) return false;
  const uintptr_t at = reinterpret_cast<uintptr_t>(base);
  if (at + size > kAddressLimit) {
    munmap(base, size);
    return false;
  }

  if (vram) {
    // Only what lies inside the display memory is backed by it; past its end
    // the pages stay inaccessible so that an overrun faults.
    const uint64_t memoryEnd = viewBase + board_.vramSize();
    const uint64_t backedEnd = std::min<uint64_t>(last, memoryEnd);
    if (backedEnd > first) {
      void* memory =
          mmap(base, static_cast<size_t>(backedEnd - first), PROT_READ | PROT_WRITE,
               MAP_SHARED | MAP_FIXED, board_.vramFd(), static_cast<off_t>(first - viewBase));
      if (memory == MAP_FAILED) {
        munmap(base, size);
        return false;
      }
    }
  }
  region->base = at;
  region->size = size;
  region->start = at + offset;
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
  if (!mapPages(physical, length, vram, viewBase, 0, &region)) return nullptr;
  deviceRegions_[region.start] = region;
  return reinterpret_cast<void*>(region.start);
}

VP_STATUS AddressSpace::mapMemory(uint64_t physical, uint32_t* length, uint32_t* space,
                                  void** address) {
  if (length == nullptr || space == nullptr || address == nullptr || *length == 0) {
    return kInvalidParameter;
  }
  const uintptr_t requested = reinterpret_cast<uintptr_t>(*address);
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
    // The value passed in is a placement request or, for a shared view, the
    // handle of the process to map into. Both are taken as a wish: honoured
    // only when it is a free, suitably aligned address below 4 GB.
    if (!mapPages(physical, *length, true, viewBase, requested, &region)) return kInvalidParameter;
  }
  userRegions_[region.start] = region;
  *address = reinterpret_cast<void*>(region.start);
  return kNoError;
}

VP_STATUS AddressSpace::unmapMemory(void* address) {
  auto it = userRegions_.find(reinterpret_cast<uintptr_t>(address));
  if (it == userRegions_.end()) return kInvalidParameter;
  release(it->second);
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
