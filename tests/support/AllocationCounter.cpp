#include "tests/support/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<long> allocations{0};
std::atomic<bool> refuseLarge{false};

void* allocate(std::size_t n) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (refuseLarge.load(std::memory_order_relaxed) && n > (1u << 20)) return nullptr;
  return std::malloc(n ? n : 1);
}
}  // namespace

long allocationCount() {
  return allocations.load(std::memory_order_relaxed);
}
void refuseLargeAllocations(bool refuse) {
  refuseLarge.store(refuse, std::memory_order_relaxed);
}

void* operator new(std::size_t n) {
  if (void* p = allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  if (void* p = allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return allocate(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  return allocate(n);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
