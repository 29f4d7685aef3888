// Counts the heap allocations of a test binary while counting is on. It replaces
// the global allocation functions, so exactly one source file of a binary may
// include it (a test that needs it is a binary of its own).
#ifndef TESTS_SUPPORT_ALLOCATIONCOUNTER_H
#define TESTS_SUPPORT_ALLOCATIONCOUNTER_H

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace alloctest {

inline std::atomic<bool> counting{false};
inline std::atomic<long> allocations{0};

// counts from zero on
inline void Start() {
  allocations.store(0);
  counting.store(true);
}

// stops counting; the allocations since Start
inline long Stop() {
  counting.store(false);
  return allocations.load();
}

inline void Count() {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace alloctest

// the replacements below are malloc/free on both sides; gcc cannot see that
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void *operator new(std::size_t size) {
  alloctest::Count();
  void *p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void *operator new[](std::size_t size) { return operator new(size); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }

// over-aligned types are counted too
void *operator new(std::size_t size, std::align_val_t align) {
  alloctest::Count();
  const std::size_t a = static_cast<std::size_t>(align);
  // aligned_alloc wants a size that is a multiple of the alignment
  const std::size_t rounded = ((size == 0 ? 1 : size) + a - 1) / a * a;
  void *p = std::aligned_alloc(a, rounded);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void *operator new[](std::size_t size, std::align_val_t align) { return operator new(size, align); }
void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }

// the non-throwing forms are counted too, and their blocks go back through the
// replacements above (the device library allocates this way)
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
  alloctest::Count();
  return std::malloc(size == 0 ? 1 : size);
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept { return operator new(size, std::nothrow); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }

#endif
