// The validator's monitors in front of libc: allocation (or, under a
// sanitizer, its allocator's hooks) and calls that may block or wait for the
// kernel (locks of every kind, waits, futex, sleeps, file access, mmap), each counted by
// rt_monitor.cpp while the calling thread is inside an audio call. Linked
// only into korva-host-validate, whose exports make plug-ins bind to them;
// korva-host's other commands run on the real functions.
// Fortified headers would define open as an inline wrapper of their own.
#undef _FORTIFY_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
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
F resolve(std::atomic<F>& slot, const char* name) {
  F f = slot.load(std::memory_order_relaxed);
  if (f == nullptr) {
    f = reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
    slot.store(f, std::memory_order_relaxed);
  }
  return f;
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
// the next definition so that sanitizers keep seeing them. The next
// definitions are looked up on first use without static guards: a guard
// waits with futex, which is watched here too.
#define KV_NEXT(name, type)                             \
  using Next_##name = type;                             \
  static std::atomic<Next_##name> slot_##name{nullptr}; \
  const Next_##name real_##name = resolve(slot_##name, #name)

#define KV_BLOCKING(ret, name, params, args) \
  KV_EXPORT ret name params {                \
    KV_NEXT(name, ret(*) params);            \
    noteBlocking(#name);                     \
    return real_##name args;                 \
  }

KV_BLOCKING(int, pthread_mutex_lock, (pthread_mutex_t * m), (m))
KV_BLOCKING(int, pthread_mutex_timedlock, (pthread_mutex_t * m, const struct timespec* t), (m, t))
KV_BLOCKING(int, pthread_rwlock_rdlock, (pthread_rwlock_t * l), (l))
KV_BLOCKING(int, pthread_rwlock_wrlock, (pthread_rwlock_t * l), (l))
KV_BLOCKING(int, pthread_rwlock_timedrdlock, (pthread_rwlock_t * l, const struct timespec* t),
            (l, t))
KV_BLOCKING(int, pthread_rwlock_timedwrlock, (pthread_rwlock_t * l, const struct timespec* t),
            (l, t))
KV_BLOCKING(int, pthread_spin_lock, (pthread_spinlock_t * l), (l))
KV_BLOCKING(int, pthread_cond_wait, (pthread_cond_t * c, pthread_mutex_t* m), (c, m))
KV_BLOCKING(int, pthread_cond_timedwait,
            (pthread_cond_t * c, pthread_mutex_t* m, const struct timespec* t), (c, m, t))
KV_BLOCKING(int, pthread_join, (pthread_t t, void** out), (t, out))
KV_BLOCKING(int, sem_wait, (sem_t * s), (s))
KV_BLOCKING(int, sem_timedwait, (sem_t * s, const struct timespec* t), (s, t))
KV_BLOCKING(int, nanosleep, (const struct timespec* req, struct timespec* rem), (req, rem))
KV_BLOCKING(int, clock_nanosleep,
            (clockid_t clock, int flags, const struct timespec* req, struct timespec* rem),
            (clock, flags, req, rem))
KV_BLOCKING(int, usleep, (useconds_t us), (us))
KV_BLOCKING(unsigned, sleep, (unsigned s), (s))
KV_BLOCKING(int, poll, (struct pollfd * fds, nfds_t n, int timeout), (fds, n, timeout))
KV_BLOCKING(int, select, (int n, fd_set* r, fd_set* w, fd_set* e, struct timeval* t),
            (n, r, w, e, t))
KV_BLOCKING(ssize_t, read, (int fd, void* buf, size_t n), (fd, buf, n))
KV_BLOCKING(ssize_t, write, (int fd, const void* buf, size_t n), (fd, buf, n))
KV_BLOCKING(FILE*, fopen, (const char* path, const char* mode), (path, mode))
KV_BLOCKING(FILE*, fopen64, (const char* path, const char* mode), (path, mode))
KV_BLOCKING(void*, mmap, (void* at, size_t n, int prot, int flags, int fd, off_t off),
            (at, n, prot, flags, fd, off))
KV_BLOCKING(void*, mmap64, (void* at, size_t n, int prot, int flags, int fd, off64_t off),
            (at, n, prot, flags, fd, off))
KV_BLOCKING(int, munmap, (void* at, size_t n), (at, n))

// open and its kin take a mode only when they may create the file.
namespace {
bool wantsMode(int flags) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}
}  // namespace

#define KV_MODE(mode, flags)                              \
  mode_t mode = 0;                                        \
  if (wantsMode(flags)) {                                 \
    va_list ap;                                           \
    va_start(ap, flags);                                  \
    mode = static_cast<mode_t>(va_arg(ap, unsigned int)); \
    va_end(ap);                                           \
  }

#define KV_OPEN(name)                                    \
  KV_EXPORT int name(const char* path, int flags, ...) { \
    KV_NEXT(name, int (*)(const char*, int, ...));       \
    noteBlocking(#name);                                 \
    KV_MODE(mode, flags)                                 \
    return real_##name(path, flags, mode);               \
  }

#define KV_OPENAT(name)                                           \
  KV_EXPORT int name(int dir, const char* path, int flags, ...) { \
    KV_NEXT(name, int (*)(int, const char*, int, ...));           \
    noteBlocking(#name);                                          \
    KV_MODE(mode, flags)                                          \
    return real_##name(dir, path, flags, mode);                   \
  }

KV_OPEN(open)
KV_OPEN(open64)
KV_OPENAT(openat)
KV_OPENAT(openat64)

// Raw futex calls (what locks and waits come down to); other system calls
// pass unwatched.
KV_EXPORT long syscall(long number, ...) {
  KV_NEXT(syscall, long (*)(long, ...));
  va_list ap;
  va_start(ap, number);
  long a[6];
  for (long& x : a) x = va_arg(ap, long);
  va_end(ap);
  if (number == SYS_futex) noteBlocking("futex");
  return real_syscall(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
