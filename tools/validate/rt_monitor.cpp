#include "tools/validate/rt_monitor.h"

#include <malloc.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>

#include "tools/validate/sanitized.h"

#ifdef KV_SANITIZED
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// Static TLS of the executable: reading it never allocates.
__thread int watching __attribute__((tls_model("initial-exec"))) = 0;
__thread long callAllocations __attribute__((tls_model("initial-exec"))) = 0;
__thread long callBlocking __attribute__((tls_model("initial-exec"))) = 0;
__thread const char* callFirstBlocking __attribute__((tls_model("initial-exec"))) = nullptr;
std::atomic<long> allocations{0};
std::atomic<long> blockingCalls{0};
std::atomic<const char*> firstBlocking{nullptr};

}  // namespace

namespace validate::rt {

void noteAllocation() {
  if (!watching) return;
  ++callAllocations;
  allocations.fetch_add(1, std::memory_order_relaxed);
}

void noteBlocking(const char* name) {
  if (!watching) return;
  if (callBlocking++ == 0) callFirstBlocking = name;
  blockingCalls.fetch_add(1, std::memory_order_relaxed);
  const char* none = nullptr;
  firstBlocking.compare_exchange_strong(none, name);
}

void watch(bool on) {
  if (on) {
    callAllocations = 0;
    callBlocking = 0;
    callFirstBlocking = nullptr;
  }
  watching = on ? 1 : 0;
}

Counts lastCall() {
  Counts c;
  c.allocations = callAllocations;
  c.blocking = callBlocking;
  c.firstBlocking = callFirstBlocking;
  return c;
}

Counts counts() {
  Counts c;
  c.allocations = allocations.load();
  c.blocking = blockingCalls.load();
  c.firstBlocking = firstBlocking.load();
  return c;
}

void reset() {
  allocations = 0;
  blockingCalls = 0;
  firstBlocking = nullptr;
}

bool live() {
  reset();
  watch(true);
  void* volatile block = std::malloc(16);
  std::free(block);
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_mutex_lock(&mutex);
  pthread_mutex_unlock(&mutex);
  watch(false);
  const Counts c = counts();
  reset();
  return c.allocations >= 2 && c.blocking >= 1;
}

long heapInUse() {
#ifdef KV_SANITIZED
  return static_cast<long>(__sanitizer_get_current_allocated_bytes());
#else
  const struct mallinfo2 m = mallinfo2();
  return static_cast<long>(m.uordblks + m.hblkhd);
#endif
}

}  // namespace validate::rt
