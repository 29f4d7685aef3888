// An allocator for large arrays that are read at random, such as a collision
// tree's nodes and triangles: blocks of 2 MiB and more are aligned to 2 MiB and
// the kernel is asked to back them with huge pages, so a query's few scattered
// reads miss the address cache less often. Smaller blocks come from operator new.
#ifndef SCENE_CHUGEPAGEALLOCATOR_H
#define SCENE_CHUGEPAGEALLOCATOR_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

template <class T>
class cHugePageAllocator {
 public:
  using value_type = T;
  static constexpr std::size_t kHugePage = std::size_t(2) << 20;

  cHugePageAllocator() noexcept = default;
  template <class U>
  cHugePageAllocator(const cHugePageAllocator<U> &) noexcept {}

  T *allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    const std::size_t bytes = n * sizeof(T);
    // beyond any object's size, and where rounding up would wrap around
    if (bytes > static_cast<std::size_t>(PTRDIFF_MAX)) throw std::bad_alloc();
    if (bytes < kHugePage) return static_cast<T *>(::operator new(bytes, std::align_val_t(alignof(T))));
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void *p = std::aligned_alloc(kHugePage, rounded);
    if (p == nullptr) throw std::bad_alloc();
    // only advice: without huge pages the block works as any other
    (void)madvise(p, rounded, MADV_HUGEPAGE);
    return static_cast<T *>(p);
  }
  void deallocate(T *p, std::size_t n) noexcept {
    if (n * sizeof(T) < kHugePage)
      ::operator delete(p, std::align_val_t(alignof(T)));
    else
      std::free(p);
  }

  template <class U>
  bool operator==(const cHugePageAllocator<U> &) const noexcept {
    return true;
  }
  template <class U>
  bool operator!=(const cHugePageAllocator<U> &) const noexcept {
    return false;
  }
};

#endif
