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

GuardedBuffer::GuardedBuffer(size_t length) : length_(length) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t pages = (length + 7 + page - 1) / page;
  size_ = (pages + 1) * page;
  void* mapping = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) throw std::bad_alloc();
  base_ = static_cast<uint8_t*>(mapping);
  end_ = base_ + pages * page;
  if (mprotect(end_, page, PROT_NONE) != 0) {
    munmap(base_, size_);
    throw std::bad_alloc();
  }
  data_ =
      reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(end_ - length) & ~(kAlignment - 1));
  std::memset(data_, kPattern, static_cast<size_t>(end_ - data_));
  ORVA_POISON(data_ + length, static_cast<size_t>(end_ - (data_ + length)));
}

GuardedBuffer::~GuardedBuffer() {
  ORVA_UNPOISON(data_ + length_, static_cast<size_t>(end_ - (data_ + length_)));
  munmap(base_, size_);
}

}  // namespace orva::platform::detail
