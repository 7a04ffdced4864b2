// A request buffer of an exact length that ends where an inaccessible page
// begins, so that touching a byte beyond it faults. Under the address sanitizer
// its start stays 8-byte aligned, as pool memory is, and the few bytes between
// its end and the page are poisoned instead, as are the bytes before its
// start. The slack is filled with a known pattern either way.
#pragma once
#include <cstddef>
#include <cstdint>

namespace orva::platform::detail {

class GuardedBuffer {
 public:
  static constexpr uint8_t kPattern = 0xCD;

  explicit GuardedBuffer(size_t length);
  ~GuardedBuffer();
  // The buffer as a new one of `length` bytes would be, in the same pages when
  // they are enough (the pages before the buffer hold zero, as new ones do).
  void reuse(size_t length);
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  uint8_t* data() const { return data_; }  // the guard page itself when the length is 0
  size_t length() const { return length_; }

 private:
  uint8_t* base_ = nullptr;  // the mapping: buffer pages, then the guard page
  size_t size_ = 0;
  uint8_t* data_ = nullptr;
  uint8_t* end_ = nullptr;  // start of the guard page
  size_t length_ = 0;

  void map(size_t length);
  void place(size_t length);  // the bytes of a new buffer of `length` in the mapped pages
};

}  // namespace orva::platform::detail
