// Counts what the plug-in does on a thread while the host marks it as inside
// an audio call: heap allocations and frees, and locking or blocking system
// calls. The validator's program interposes malloc and friends itself (or,
// under a sanitizer, installs the sanitizer's allocation hooks), so plug-ins
// need no special build; see rt_interposer.cpp.
#pragma once

namespace validate::rt {

struct Counts {
  long allocations = 0;  // malloc, calloc, realloc, memalign family, free
  // Locks (mutex, reader-writer, spin), condition and semaphore waits, futex,
  // sleeps, poll/select, opening, reading and writing files, mmap
  long blocking = 0;
  const char* firstBlocking = nullptr;  // name of the first blocking call seen
};

// Marks the calling thread as inside (true) or outside an audio call.
void watch(bool on);
// Every thread's calls since reset().
Counts counts();
void reset();
// The calling thread's last audio call (from its last watch(true) on).
Counts lastCall();

// True when the interposers count this process's calls: without them every
// real-time check would pass unseen.
bool live();

// Called by the interposers for every call; counted while watching.
void noteAllocation();
void noteBlocking(const char* name);

// Bytes the process holds on the heap now (for leak figures).
long heapInUse();

// RAII mark for one audio call.
struct Watch {
  Watch() { watch(true); }
  ~Watch() { watch(false); }
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;
};

}  // namespace validate::rt
