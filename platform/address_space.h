// The mappings the video port library hands out. System-space mappings (device
// bases, and VideoPortMapMemory with no process) land high, where Windows puts
// kernel addresses: from 2 GB up in a 32-bit process, above 4 GB in a 64-bit
// one, with the low 32 bits above 2 GB too, so that a truncation to 32 bits or
// a signed comparison shows. A range already mapped there is handed out again
// with a reference count. Mappings into a process (a process handle given)
// land low and belong to that process. Addresses come in request order, so a
// scenario gets the same addresses on every run.
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
  // One placement area: reserved in order, freed ranges reused first fit only
  // once the area is used up.
  struct Area {
    uint64_t base = 0;
    uint64_t limit = 0;
    uintptr_t next = 0;
    std::map<uintptr_t, size_t> retired;  // reserved ranges free for reuse
    // [base, held) stays reserved and inaccessible across a reset: addresses
    // below it are handed out again without a new reservation.
    uintptr_t held = 0;
    bool foreign = false;  // something else lives in the area: nothing is held
  };

#if UINTPTR_MAX > 0xFFFFFFFFu
  // Above 4 GB, clear of the address sanitizer's shadow and gap
  // [0x7fff8000, 0x10007fff7fff] and of its allocator at 0x600000000000.
  static constexpr uint64_t kSystemBase = 0x400080000000;
#else
  // The upper half, free natively and under a user-mode emulator.
  static constexpr uint64_t kSystemBase = 0x80000000;
#endif
  static constexpr uint64_t kSystemLimit = kSystemBase + 0x20000000;
  static constexpr uint64_t kUserBase = 0x10000000;
  static constexpr uint64_t kUserLimit = 0x30000000;

  // NtCurrentProcess(): the display driver's process, the session's current one.
  static constexpr uintptr_t kCurrentProcess = ~uintptr_t{0};

  explicit AddressSpace(board::Board& board);
  ~AddressSpace();
  AddressSpace(const AddressSpace&) = delete;
  AddressSpace& operator=(const AddressSpace&) = delete;

  // Every mapping and process gone, addresses handed out from the start again:
  // the space as a new session finds it.
  void reset();

  // A new process: its handle, 4, 8, 12 ... in order.
  uintptr_t createProcess();

  // VideoPortGetDeviceBase: nullptr when the range cannot be mapped.
  void* deviceBase(uint64_t physical, uint32_t length, bool io);
  // VideoPortMapMemory / VideoPortUnmapMemory: Win32 status codes.
  VP_STATUS mapMemory(uint64_t physical, uint32_t* length, uint32_t* space, void** address);
  VP_STATUS unmapMemory(void* address, uintptr_t process);

  // Physical address behind a register access of `bytes` bytes at `address`;
  // aborts when no system-space mapping covers it (a user mapping included).
  uint64_t physicalOf(uintptr_t address, unsigned bytes, const char* function) const;

  std::vector<Mapping> mappings() const;

 private:
  struct Region {
    uintptr_t base = 0;   // start of the reserved pages (0 for I/O space)
    size_t size = 0;      // bytes reserved, the trailing guard page included
    uintptr_t start = 0;  // the address handed out
    uint64_t physical = 0;
    uint32_t length = 0;
    bool io = false;
    uintptr_t process = 0;  // 0: system space
    unsigned references = 1;
    Area* area = nullptr;
    size_t backed = 0;    // bytes from `base` mapped to the display memory
    uint64_t offset = 0;  // their offset in the display memory
  };
  // A display-memory view a reset made inaccessible but kept mapped, so that the
  // same view at the same address comes back without faulting its pages in again.
  struct Parked {
    size_t backed = 0;
    uint64_t offset = 0;
  };
  // Unmaps every region and retired range above the held ones, and forgets them.
  void release();
  bool viewOf(uint64_t physical, uint64_t* viewBase) const;
  bool inRegisterWindow(uint64_t physical) const;
  bool knownProcess(uintptr_t process) const;
  // Reserves `size` inaccessible bytes of an area; 0 when nothing is left.
  static uintptr_t reserve(Area& area, size_t size);
  // Gives a region's pages back to its area as a retired range: they stay
  // reserved and inaccessible, so a stale pointer faults.
  static void retire(const Region& region);
  // Maps [physical, physical + length) with the display memory where it lies in
  // the view at viewBase and inaccessible pages elsewhere, followed by a guard
  // page. Returns false when no address space is left.
  bool mapPages(Area& area, uint64_t physical, uint32_t length, bool vram, uint64_t viewBase,
                Region* region);
  // Makes a parked view with the region's base, size and offset accessible
  // again; false (and parked views among its pages forgotten) when there is none.
  bool unpark(const Region& region);
  // A system-space mapping of exactly this range, handed out once more.
  void* reuse(uint64_t physical, uint32_t length, bool io);
  void* add(const Region& region);

  board::Board& board_;
  Area system_;
  Area user_;
  uintptr_t nextProcess_ = 4;
  std::map<uintptr_t, Region> memory_;  // memory mappings, keyed by the address handed out
  std::vector<Region> ports_;           // I/O mappings (their addresses are port numbers)
  std::map<uintptr_t, Parked> parked_;  // keyed by the view's first page
};

[[noreturn]] void fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace orva::platform::detail
