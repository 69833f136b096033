// Buffers that receive bytes read from disk files.
//
// The kernel copies from the page cache several times faster into memory
// that starts on a page boundary than into memory a few bytes past one (a
// plain vector's data starts 16 bytes into its allocation). Every buffer
// handed to File::ReadAt, directly or through ReadSectors and the readers,
// is therefore a ReadBuffer: a vector of bytes whose storage starts on a
// 4,096-byte boundary. It behaves as std::vector in every other respect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace korv {

constexpr std::size_t kReadBufferAlignment = 4096;

template <typename T>
struct PageAlignedAllocator {
  using value_type = T;

  PageAlignedAllocator() = default;
  template <typename U>
  PageAlignedAllocator(const PageAlignedAllocator<U>&) noexcept {}  // NOLINT: rebinding is implicit

  T* allocate(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(::operator new(count * sizeof(T), std::align_val_t{kReadBufferAlignment}));
  }
  void deallocate(T* data, std::size_t) noexcept { ::operator delete(data, std::align_val_t{kReadBufferAlignment}); }

  template <typename U>
  bool operator==(const PageAlignedAllocator<U>&) const noexcept {
    return true;
  }
};

using ReadBuffer = std::vector<std::uint8_t, PageAlignedAllocator<std::uint8_t>>;

}  // namespace korv
