// The validator's monitors in front of libc: allocation (or, under a
// sanitizer, its allocator's hooks) and calls that may block, each counted by
// rt_monitor.cpp while the calling thread is inside an audio call. Linked
// only into korva-host-validate, whose exports make plug-ins bind to them;
// korva-host's other commands run on the real functions.
#include <dlfcn.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "tools/validate/rt_monitor.h"
#include "tools/validate/sanitized.h"

#ifdef KV_SANITIZED
// The sanitizer runtime's allocator interface (not every compiler ships its header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
#endif

#define KV_EXPORT extern "C" __attribute__((visibility("default")))

using validate::rt::noteAllocation;
using validate::rt::noteBlocking;

namespace {

// The next definition of a libc function after ours (libc itself, or a
// sanitizer's interceptor in front of it).
template <typename F>
F next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

#ifdef KV_SANITIZED

namespace {
void mallocHook(const volatile void*, size_t) {
  noteAllocation();
}
void freeHook(const volatile void*) {
  noteAllocation();
}
__attribute__((constructor)) void installHooks() {
  __sanitizer_install_malloc_and_free_hooks(mallocHook, freeHook);
}
}  // namespace

#else

extern "C" {
void* __libc_malloc(size_t);
void __libc_free(void*);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void* __libc_valloc(size_t);
void* __libc_pvalloc(size_t);
}

KV_EXPORT void* malloc(size_t n) {
  noteAllocation();
  return __libc_malloc(n);
}
KV_EXPORT void free(void* p) {
  if (p != nullptr) noteAllocation();
  __libc_free(p);
}
KV_EXPORT void* calloc(size_t n, size_t size) {
  noteAllocation();
  return __libc_calloc(n, size);
}
KV_EXPORT void* realloc(void* p, size_t n) {
  noteAllocation();
  return __libc_realloc(p, n);
}
KV_EXPORT void* memalign(size_t align, size_t n) {
  noteAllocation();
  return __libc_memalign(align, n);
}
KV_EXPORT void* aligned_alloc(size_t align, size_t n) {
  noteAllocation();
  return __libc_memalign(align, n);
}
KV_EXPORT int posix_memalign(void** out, size_t align, size_t n) {
  noteAllocation();
  if (align < sizeof(void*) || (align & (align - 1)) != 0) return EINVAL;
  void* p = __libc_memalign(align, n);
  if (p == nullptr) return ENOMEM;
  *out = p;
  return 0;
}
KV_EXPORT void* valloc(size_t n) {
  noteAllocation();
  return __libc_valloc(n);
}
KV_EXPORT void* pvalloc(size_t n) {
  noteAllocation();
  return __libc_pvalloc(n);
}

#endif

// Calls that may wait for another thread or for the kernel. Each forwards to
// the next definition so that sanitizers keep seeing them.
KV_EXPORT int pthread_mutex_lock(pthread_mutex_t* m) {
  static auto real = next<int (*)(pthread_mutex_t*)>("pthread_mutex_lock");
  noteBlocking("pthread_mutex_lock");
  return real(m);
}
KV_EXPORT int sem_wait(sem_t* s) {
  static auto real = next<int (*)(sem_t*)>("sem_wait");
  noteBlocking("sem_wait");
  return real(s);
}
KV_EXPORT int nanosleep(const struct timespec* req, struct timespec* rem) {
  static auto real = next<int (*)(const struct timespec*, struct timespec*)>("nanosleep");
  noteBlocking("nanosleep");
  return real(req, rem);
}
KV_EXPORT int clock_nanosleep(clockid_t clock, int flags, const struct timespec* req,
                              struct timespec* rem) {
  static auto real =
      next<int (*)(clockid_t, int, const struct timespec*, struct timespec*)>("clock_nanosleep");
  noteBlocking("clock_nanosleep");
  return real(clock, flags, req, rem);
}
KV_EXPORT int usleep(useconds_t us) {
  static auto real = next<int (*)(useconds_t)>("usleep");
  noteBlocking("usleep");
  return real(us);
}
KV_EXPORT int poll(struct pollfd* fds, nfds_t n, int timeout) {
  static auto real = next<int (*)(struct pollfd*, nfds_t, int)>("poll");
  noteBlocking("poll");
  return real(fds, n, timeout);
}
KV_EXPORT int select(int n, fd_set* r, fd_set* w, fd_set* e, struct timeval* t) {
  static auto real = next<int (*)(int, fd_set*, fd_set*, fd_set*, struct timeval*)>("select");
  noteBlocking("select");
  return real(n, r, w, e, t);
}
KV_EXPORT ssize_t read(int fd, void* buf, size_t n) {
  static auto real = next<ssize_t (*)(int, void*, size_t)>("read");
  noteBlocking("read");
  return real(fd, buf, n);
}
KV_EXPORT ssize_t write(int fd, const void* buf, size_t n) {
  static auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
  noteBlocking("write");
  return real(fd, buf, n);
}
