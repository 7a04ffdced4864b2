#include "address_space.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

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

// VideoPortMapMemory's InIoSpace bits.
constexpr uint32_t kSpaceIo = 0x1;
constexpr uint32_t kSpaceUserMode = 0x2;
constexpr uint32_t kSpaceDense = 0x4;
constexpr uint32_t kSpaceP6Cache = 0x8;

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

AddressSpace::AddressSpace(board::Board& board) : board_(board) {
  system_.base = kSystemBase;
  system_.limit = kSystemLimit;
  system_.next = system_.held = static_cast<uintptr_t>(kSystemBase);
  user_.base = kUserBase;
  user_.limit = kUserLimit;
  user_.next = user_.held = static_cast<uintptr_t>(kUserBase);
}

AddressSpace::~AddressSpace() {
  release();
  for (const Area* area : {&system_, &user_}) {
    if (area->held > area->base) {
      munmap(reinterpret_cast<void*>(area->base), area->held - static_cast<uintptr_t>(area->base));
    }
  }
}

void AddressSpace::release() {
  // The part of [base, base + size) above the area's held range.
  const auto unmap = [](const Area& area, uintptr_t base, size_t size) {
    const uintptr_t from = std::max(base, area.held);
    if (from < base + size) munmap(reinterpret_cast<void*>(from), base + size - from);
  };
  for (const auto& [start, region] : memory_) unmap(*region.area, region.base, region.size);
  for (const Area* area : {&system_, &user_}) {
    for (const auto& [base, size] : area->retired) unmap(*area, base, size);
  }
  memory_.clear();
  ports_.clear();
}

void AddressSpace::reset() {
  for (Area* area : {&system_, &user_}) {
    const auto base = static_cast<uintptr_t>(area->base);
    if (area->foreign) {
      // Something else lives among the area: what was handed out goes back to
      // one inaccessible reservation up to what is held, and is unmapped above.
      if (area->held > base && !resetPages(base, area->held - base)) {
        fatal("cannot reset the mappings at %#lx", static_cast<unsigned long>(base));
      }
      parked_.erase(parked_.lower_bound(base), parked_.lower_bound(area->limit));
      continue;
    }
    // Everything handed out so far stays reserved. Only display-memory views
    // are accessible; they are made inaccessible and parked.
    area->held = std::max(area->held, area->next);
  }
  for (const auto& [start, region] : memory_) {
    if (region.backed == 0 || region.area->foreign) continue;
    if (mprotect(reinterpret_cast<void*>(region.base), region.backed, PROT_NONE) != 0) {
      fatal("cannot reset the mapping at %#lx", static_cast<unsigned long>(region.base));
    }
    parked_[region.base] = {region.backed, region.offset};
  }
  release();
  for (Area* area : {&system_, &user_}) {
    area->retired.clear();
    area->next = static_cast<uintptr_t>(area->base);
  }
  nextProcess_ = 4;
}

uintptr_t AddressSpace::createProcess() {
  const uintptr_t handle = nextProcess_;
  nextProcess_ += 4;
  return handle;
}

bool AddressSpace::knownProcess(uintptr_t process) const {
  return process == kCurrentProcess || (process != 0 && process % 4 == 0 && process < nextProcess_);
}

uintptr_t AddressSpace::reserve(Area& area, size_t size) {
  // In order, never reusing an address while the area lasts. Something else
  // living in the area is stepped over.
  const auto limit = static_cast<uintptr_t>(area.limit);
  while (size <= limit - area.next) {
    const uintptr_t at = area.next;
    area.next += size;
    if (at + size <= area.held) return at;
    if (at < area.held) {
      // Partly held: reserve the rest.
      if (reserveAt(area.held, at + size - area.held)) return at;
      continue;
    }
    if (reserveAt(at, size)) return at;
    area.foreign = true;
    // Addresses no longer match those of another run: say so, once.
    static bool told = false;
    if (!told) {
      told = true;
      std::fprintf(stderr, "videoprt: %#lx is taken by something else; mappings shift past it\n",
                   static_cast<unsigned long>(at));
    }
  }
  // Used up: the first retired range that fits, from its start.
  for (auto it = area.retired.begin(); it != area.retired.end(); ++it) {
    const auto [base, free] = *it;
    if (free < size) continue;
    area.retired.erase(it);
    if (free > size) area.retired.emplace(base + size, free - size);
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
  auto& retired = region.area->retired;
  uintptr_t base = region.base;
  size_t size = region.size;
  // Join the retired neighbours on both sides.
  auto after = retired.find(base + size);
  if (after != retired.end()) {
    size += after->second;
    retired.erase(after);
  }
  auto before = retired.lower_bound(base);
  if (before != retired.begin()) {
    --before;
    if (before->first + before->second == base) {
      base = before->first;
      size += before->second;
      retired.erase(before);
    }
  }
  retired.emplace(base, size);
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

bool AddressSpace::mapPages(Area& area, uint64_t physical, uint32_t length, bool vram,
                            uint64_t viewBase, Region* region) {
  const uint64_t page = pageSize();
  const uint64_t first = physical & ~(page - 1);
  const uint64_t last = (physical + length + page - 1) & ~(page - 1);
  // The range's pages and one guard page behind them, all inaccessible at first.
  const uint64_t size = last - first + page;
  if (size > area.limit - area.base) return false;
  const uintptr_t base = reserve(area, static_cast<size_t>(size));
  if (base == 0) return false;
  region->area = &area;
  region->base = base;
  region->size = static_cast<size_t>(size);

  if (vram) {
    // Only what lies inside the display memory is backed by it; past its end
    // the pages stay inaccessible so that an overrun faults.
    const uint64_t memoryEnd = viewBase + board_.vramSize();
    const uint64_t backedEnd = std::min<uint64_t>(last, memoryEnd);
    if (backedEnd > first) {
      region->backed = static_cast<size_t>(backedEnd - first);
      region->offset = first - viewBase;
      if (!unpark(*region)) {
        void* memory =
            mmap(reinterpret_cast<void*>(base), region->backed, PROT_READ | PROT_WRITE,
                 MAP_SHARED | MAP_FIXED, board_.vramFd(), static_cast<off_t>(region->offset));
        if (memory == MAP_FAILED) {
          region->backed = 0;
          retire(*region);
          return false;
        }
      }
    }
  }
  region->start = base + static_cast<uintptr_t>(physical - first);
  region->physical = physical;
  region->length = length;
  region->io = false;
  return true;
}

bool AddressSpace::unpark(const Region& region) {
  auto it = parked_.find(region.base);
  if (it != parked_.end() && it->second.backed == region.backed &&
      it->second.offset == region.offset) {
    parked_.erase(it);
    return mprotect(reinterpret_cast<void*>(region.base), region.backed, PROT_READ | PROT_WRITE) ==
           0;
  }
  // Parked views among the region's pages are replaced by the new mapping or
  // stay inaccessible; either way they cannot come back.
  it = parked_.lower_bound(region.base);
  if (it != parked_.begin() && std::prev(it)->first + std::prev(it)->second.backed > region.base) {
    --it;
  }
  while (it != parked_.end() && it->first < region.base + region.size) it = parked_.erase(it);
  return false;
}

void* AddressSpace::reuse(uint64_t physical, uint32_t length, bool io) {
  auto same = [&](Region& region) {
    return region.process == 0 && region.physical == physical && region.length == length &&
           region.io == io;
  };
  if (io) {
    for (Region& region : ports_) {
      if (same(region)) {
        ++region.references;
        return reinterpret_cast<void*>(region.start);
      }
    }
    return nullptr;
  }
  for (auto& [start, region] : memory_) {
    if (same(region)) {
      ++region.references;
      return reinterpret_cast<void*>(start);
    }
  }
  return nullptr;
}

void* AddressSpace::add(const Region& region) {
  if (region.io) {
    ports_.push_back(region);
  } else {
    memory_[region.start] = region;
  }
  return reinterpret_cast<void*>(region.start);
}

void* AddressSpace::deviceBase(uint64_t physical, uint32_t length, bool io) {
  if (length == 0) return nullptr;
  if (io) {
    if (physical == 0 || physical + length > kIoLimit) return nullptr;
    if (void* again = reuse(physical, length, true)) return again;
    Region region;
    region.start = static_cast<uintptr_t>(physical);  // as on x86: the port itself
    region.physical = physical;
    region.length = length;
    region.io = true;
    return add(region);
  }
  if (physical + length > kPhysicalLimit) return nullptr;
  if (void* again = reuse(physical, length, false)) return again;

  uint64_t viewBase = 0;
  const bool vram = !inRegisterWindow(physical) && viewOf(physical, &viewBase);
  Region region;
  if (!mapPages(system_, physical, length, vram, viewBase, &region)) return nullptr;
  return add(region);
}

VP_STATUS AddressSpace::mapMemory(uint64_t physical, uint32_t* length, uint32_t* space,
                                  void** address) {
  if (length == nullptr || space == nullptr || address == nullptr || *length == 0) {
    return kInvalidParameter;
  }
  if ((*space & ~(kSpaceIo | kSpaceUserMode | kSpaceDense | kSpaceP6Cache)) != 0) {
    return kInvalidParameter;
  }
  // *address on input: NULL for system space, or the process to map into.
  const auto process = reinterpret_cast<uintptr_t>(*address);
  if (process == 0 && (*space & kSpaceUserMode)) return kInvalidParameter;  // no process named
  if (process != 0 && !knownProcess(process)) return kInvalidParameter;
  const bool io = (*space & kSpaceIo) != 0;

  Region region;
  region.process = process;
  if (io) {
    if (physical + *length > kIoLimit) return kInvalidParameter;
    if (process == 0) {
      if (void* again = reuse(physical, *length, true)) {
        *address = again;
        return kNoError;
      }
    }
    region.start = static_cast<uintptr_t>(physical);
    region.physical = physical;
    region.length = *length;
    region.io = true;
  } else {
    // Only the display memory can be mapped for a caller, through either view.
    uint64_t viewBase = 0;
    if (!viewOf(physical, &viewBase) || physical + *length > viewBase + board_.vramSize()) {
      return kInvalidParameter;
    }
    if (process == 0) {
      if (void* again = reuse(physical, *length, false)) {
        *address = again;
        return kNoError;
      }
    }
    if (!mapPages(process == 0 ? system_ : user_, physical, *length, true, viewBase, &region)) {
      return kInvalidParameter;
    }
    region.process = process;
  }
  *address = add(region);
  return kNoError;
}

VP_STATUS AddressSpace::unmapMemory(void* address, uintptr_t process) {
  if (process != 0 && !knownProcess(process)) return kInvalidParameter;
  const auto start = reinterpret_cast<uintptr_t>(address);
  auto release = [&](Region& region) {
    if (--region.references != 0) return false;
    retire(region);
    return true;
  };
  auto it = memory_.find(start);
  if (it != memory_.end() && it->second.process == process) {
    if (release(it->second)) memory_.erase(it);
    return kNoError;
  }
  for (auto port = ports_.begin(); port != ports_.end(); ++port) {
    if (port->start == start && port->process == process) {
      if (release(*port)) ports_.erase(port);
      return kNoError;
    }
  }
  return kInvalidParameter;
}

uint64_t AddressSpace::physicalOf(uintptr_t address, unsigned bytes, const char* function) const {
  auto it = memory_.upper_bound(address);
  const Region* region = nullptr;
  if (it != memory_.begin()) {
    --it;
    if (address >= it->second.base && address - it->second.base < it->second.size) {
      region = &it->second;
    }
  }
  if (region != nullptr && region->process != 0) {
    fatal(
        "%s: address %#lx lies in a mapping of process %#lx: a driver does not touch user "
        "memory",
        function, static_cast<unsigned long>(address), static_cast<unsigned long>(region->process));
  }
  if (region == nullptr || address < region->start ||
      address + bytes > region->start + region->length) {
    fatal("%s: address %#lx is in no mapped register range", function,
          static_cast<unsigned long>(address));
  }
  return region->physical + (address - region->start);
}

std::vector<Mapping> AddressSpace::mappings() const {
  std::vector<Mapping> out;
  out.reserve(memory_.size() + ports_.size());
  for (const Region& region : ports_) {
    out.push_back(
        {region.start, region.physical, region.length, true, region.process, region.references});
  }
  for (const auto& [start, region] : memory_) {
    out.push_back(
        {start, region.physical, region.length, false, region.process, region.references});
  }
  return out;
}

}  // namespace orva::platform::detail
