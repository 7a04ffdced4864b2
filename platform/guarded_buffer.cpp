#include "guarded_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <new>

#include "address_space.h"

// GCC tells of the address sanitizer with a macro, clang with a feature test.
#if defined(__SANITIZE_ADDRESS__)
#define ORVA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVA_ASAN 1
#endif
#endif

#if defined(ORVA_ASAN)
#include <sanitizer/asan_interface.h>
#define ORVA_POISON(address, size) ASAN_POISON_MEMORY_REGION(address, size)
#define ORVA_UNPOISON(address, size) ASAN_UNPOISON_MEMORY_REGION(address, size)
// With the sanitizer the start keeps pool alignment and the slack before the
// guard page is poisoned; without it the buffer ends exactly at the guard page.
constexpr uintptr_t kAlignment = 8;
#else
#define ORVA_POISON(address, size) ((void)(address), (void)(size))
#define ORVA_UNPOISON(address, size) ((void)(address), (void)(size))
constexpr uintptr_t kAlignment = 1;
#endif

namespace orva::platform::detail {

namespace {

size_t pageSize() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

// The mapping for `length` bytes: whole pages with room for the alignment, then
// the guard page.
size_t mappingSize(size_t length) {
  const size_t page = pageSize();
  return ((length + 7 + page - 1) / page + 1) * page;
}

}  // namespace

GuardedBuffer::GuardedBuffer(size_t length) {
  map(length);
  place(length);
}

GuardedBuffer::~GuardedBuffer() {
  ORVA_UNPOISON(base_, static_cast<size_t>(end_ - base_));
  munmap(base_, size_);
}

void GuardedBuffer::reuse(size_t length) {
  ORVA_UNPOISON(base_, static_cast<size_t>(end_ - base_));
  if (mappingSize(length) > size_) {
    munmap(base_, size_);
    map(length);
  }
  place(length);
}

void GuardedBuffer::map(size_t length) {
  data_ = nullptr;
  size_ = mappingSize(length);
  void* mapping = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) throw std::bad_alloc();
  base_ = static_cast<uint8_t*>(mapping);
  end_ = base_ + size_ - pageSize();
  if (mprotect(end_, pageSize(), PROT_NONE) != 0) {
    munmap(base_, size_);
    throw std::bad_alloc();
  }
}

void GuardedBuffer::place(size_t length) {
  uint8_t* const used = data_ != nullptr ? data_ : end_;  // what the last buffer began at
  length_ = length;
  data_ =
      reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(end_ - length) & ~(kAlignment - 1));
  // Before the buffer the pages hold zero, as new ones do: only what the last,
  // longer buffer used needs clearing.
  if (used < data_) std::memset(used, 0, static_cast<size_t>(data_ - used));
  std::memset(data_, kPattern, static_cast<size_t>(end_ - data_));
  ORVA_POISON(base_, static_cast<size_t>(data_ - base_));
  ORVA_POISON(data_ + length, static_cast<size_t>(end_ - (data_ + length)));
}

}  // namespace orva::platform::detail
