#include "tools/validate/guarded.h"

#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "tools/base/cli.h"
#include "tools/validate/results.h"

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer the bytes around a buffer are poisoned too, so that
// an instrumented plug-in is caught at the first byte even where alignment
// leaves room before the guard page.
extern "C" void __asan_poison_memory_region(void const volatile*, size_t);
extern "C" void __asan_unpoison_memory_region(void const volatile*, size_t);
#define KV_POISON(p, n) __asan_poison_memory_region((p), (n))
#define KV_UNPOISON(p, n) __asan_unpoison_memory_region((p), (n))
#else
#define KV_POISON(p, n) ((void)(p), (void)(n))
#define KV_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace validate {

namespace {

constexpr unsigned char kPattern = 0x5A;
constexpr size_t kBefore = 64;

size_t pageSize() {
  static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return page;
}

// The handler's view of every area, read without locks: an entry's fields
// are written before `used` is set and cleared after it is reset.
struct Entry {
  std::atomic<bool> used{false};
  std::atomic<uintptr_t> low{0}, high{0};  // the two guard pages
  std::atomic<uintptr_t> start{0}, end{0};
  std::atomic<const char*> call{""}, what{""};
  std::atomic<int> channel{-1};
  std::atomic<long> frames{-1};
};

constexpr int kEntries = 256;
Entry entries[kEntries];
std::mutex entriesMutex;

SharedSlot* faultSlot = nullptr;
struct sigaction previousSegv, previousBus;

int claimEntry() {
  std::lock_guard<std::mutex> lock(entriesMutex);
  for (int i = 0; i < kEntries; ++i)
    if (!entries[i].used) {
      entries[i].used = true;
      return i;
    }
  return -1;
}

// Async-signal-safe text building into the slot.
struct Writer {
  char* out;
  size_t size;
  size_t n = 0;
  void put(const char* s) {
    while (*s != '\0' && n + 1 < size) out[n++] = *s++;
    out[n] = '\0';
  }
  void put(unsigned long v) {
    char digits[24];
    int k = 0;
    do {
      digits[k++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    char text[24];
    for (int i = 0; i < k; ++i) text[i] = digits[k - 1 - i];
    text[k] = '\0';
    put(text);
  }
};

void describe(const Entry& e, Writer& w) {
  const int channel = e.channel.load();
  const long frames = e.frames.load();
  const unsigned long size = e.end.load() - e.start.load();
  if (channel >= 0) {
    w.put(e.what.load());
    w.put(" ");
    w.put(static_cast<unsigned long>(channel));
    w.put("'s ");
  } else {
    w.put("the ");
  }
  if (frames >= 0) {
    w.put(static_cast<unsigned long>(frames));
    w.put("-frame buffer");
  } else {
    w.put(size);
    w.put("-byte ");
    w.put(e.what.load());
  }
  w.put(" given to ");
  w.put(e.call.load());
}

void chain(const struct sigaction& previous, int sig, siginfo_t* info, void* context) {
  if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
    previous.sa_sigaction(sig, info, context);
    return;
  }
  if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN &&
      previous.sa_handler != nullptr) {
    previous.sa_handler(sig);
    return;
  }
  // Returning re-runs the faulting access, which now ends the process.
  signal(sig, SIG_DFL);
}

// Notes, once, which host buffer `at` lies just outside: in a guard page, or
// (under AddressSanitizer) in the poisoned bytes around the buffer. `access`
// is "read ", "wrote " or "touched ".
void noteFault(uintptr_t at, const char* access) {
  const uintptr_t page = pageSize();
  for (const Entry& e : entries) {
    if (!e.used || at < e.low || at >= e.high + page) continue;
    const uintptr_t start = e.start, end = e.end;
    const bool past = at >= end;
    if (faultSlot == nullptr || faultSlot->fault[0] != '\0') return;
    Writer w{faultSlot->fault, sizeof faultSlot->fault};
    if (!past && at >= start) {
      // Only bytes forbid() marked are poisoned inside a buffer.
      w.put(access);
      w.put("bytes the host marked as no part of ");
      describe(e, w);
      w.put(" (byte ");
      w.put(static_cast<unsigned long>(at - start));
      w.put(", padding after an event)");
      return;
    }
    w.put(access);
    w.put(past ? "past the end of " : "before the start of ");
    describe(e, w);
    if (past) {
      w.put(" (byte ");
      w.put(static_cast<unsigned long>(at - start));
      w.put(" of ");
      w.put(static_cast<unsigned long>(end - start));
      w.put(")");
    } else {
      w.put(" (");
      w.put(static_cast<unsigned long>(start - at));
      w.put(" bytes before it)");
    }
    return;
  }
}

void onFault(int sig, siginfo_t* info, void* context) {
#if defined(__x86_64__)
  const auto* uc = static_cast<const ucontext_t*>(context);
  noteFault(reinterpret_cast<uintptr_t>(info->si_addr),
            (uc->uc_mcontext.gregs[REG_ERR] & 2) != 0 ? "wrote " : "read ");
#else
  noteFault(reinterpret_cast<uintptr_t>(info->si_addr), "touched ");
#endif
  chain(sig == SIGBUS ? previousBus : previousSegv, sig, info, context);
}

#if defined(__SANITIZE_ADDRESS__)
extern "C" void __asan_set_error_report_callback(void (*)(const char*));
extern "C" void* __asan_get_report_address();
extern "C" int __asan_get_report_access_type();

void onSanitizerReport(const char*) {
  noteFault(reinterpret_cast<uintptr_t>(__asan_get_report_address()),
            __asan_get_report_access_type() != 0 ? "wrote " : "read ");
}
#endif

}  // namespace

GuardedArea::~GuardedArea() {
  unmap();
}

void GuardedArea::unmap() {
  if (entry_ >= 0) {
    entries[entry_].used = false;
    entry_ = -1;
  }
  if (base_ != nullptr) {
    KV_UNPOISON(data_, static_cast<size_t>(end_ - data_));
    munmap(base_, mapped_);
  }
  base_ = data_ = end_ = ptr_ = nullptr;
  mapped_ = 0;
}

void GuardedArea::map(size_t capacity) {
  unmap();
  const size_t page = pageSize();
  const size_t dataPages = (capacity + kBefore + page - 1) / page;
  mapped_ = (dataPages + 2) * page;
  void* p = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw khost::HostError(khost::kExitIo, "cannot map a guarded buffer");
  base_ = static_cast<uint8_t*>(p);
  mprotect(base_, page, PROT_NONE);
  mprotect(base_ + mapped_ - page, page, PROT_NONE);
  data_ = base_ + page;
  end_ = base_ + mapped_ - page;
  entry_ = claimEntry();
  if (entry_ >= 0) {
    Entry& e = entries[entry_];
    e.low = reinterpret_cast<uintptr_t>(base_);
    e.high = reinterpret_cast<uintptr_t>(end_);
  }
}

uint8_t* GuardedArea::place(size_t size, size_t align, const Label& label) {
  if (base_ == nullptr || size + align + kBefore > static_cast<size_t>(end_ - data_))
    map(size + align);
  const uintptr_t last = reinterpret_cast<uintptr_t>(end_) - size;
  KV_UNPOISON(data_, static_cast<size_t>(end_ - data_));
  ptr_ = reinterpret_cast<uint8_t*>(last - last % align);
  size_ = size;
  label_ = label;
  // The pattern around the buffer, for writes a guard page cannot see.
  uint8_t* from = ptr_ - kBefore < data_ ? data_ : ptr_ - kBefore;
  std::memset(from, kPattern, static_cast<size_t>(ptr_ - from));
  std::memset(ptr_ + size, kPattern, static_cast<size_t>(end_ - (ptr_ + size)));
  KV_POISON(from, static_cast<size_t>(ptr_ - from));
  KV_POISON(ptr_ + size, static_cast<size_t>(end_ - (ptr_ + size)));
  if (entry_ >= 0) {
    Entry& e = entries[entry_];
    e.start = reinterpret_cast<uintptr_t>(ptr_);
    e.end = reinterpret_cast<uintptr_t>(ptr_ + size);
    e.call = label.call;
    e.what = label.what;
    e.channel = label.channel;
    e.frames = label.frames;
  }
  return ptr_;
}

void GuardedArea::forbid(size_t offset, size_t n) {
  if (ptr_ == nullptr || offset >= size_) return;
  KV_POISON(ptr_ + offset, std::min(n, size_ - offset));
}

std::string GuardedArea::strayWrites() const {
  if (ptr_ == nullptr) return "";
  const uint8_t* from = ptr_ - kBefore < data_ ? data_ : ptr_ - kBefore;
  KV_UNPOISON(from, static_cast<size_t>(end_ - from));
  size_t before = 0, after = 0;
  for (const uint8_t* p = from; p < ptr_; ++p)
    if (*p != kPattern) before = std::max(before, static_cast<size_t>(ptr_ - p));
  for (const uint8_t* p = ptr_ + size_; p < end_; ++p)
    if (*p != kPattern) after = static_cast<size_t>(p - (ptr_ + size_)) + 1;
  if (before == 0 && after == 0) return "";
  std::string name = label_.channel >= 0
                         ? std::string(label_.what) + " " + std::to_string(label_.channel) + "'s "
                         : "the ";
  name += label_.frames >= 0 ? std::to_string(label_.frames) + "-frame buffer"
                             : std::to_string(size_) + "-byte " + label_.what;
  name += std::string(" given to ") + label_.call;
  std::string out;
  if (before > 0)
    out = "wrote up to " + std::to_string(before) + " bytes before the start of " + name;
  if (after > 0)
    out += (out.empty() ? "wrote " : ", and ") + std::to_string(after) + " bytes past the end of " +
           (out.empty() ? name : "it");
  return out;
}

void installGuardHandler(SharedSlot* slot) {
  faultSlot = slot;
  struct sigaction sa {};
  sa.sa_sigaction = onFault;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGSEGV, &sa, &previousSegv);
  sigaction(SIGBUS, &sa, &previousBus);
#if defined(__SANITIZE_ADDRESS__)
  __asan_set_error_report_callback(onSanitizerReport);
#endif
}

}  // namespace validate
