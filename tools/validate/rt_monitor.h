// Counts what the plug-in does on a thread while the host marks it as inside
// an audio call: heap allocations and frees, and locking or blocking system
// calls. The validator's program interposes malloc and friends itself (or,
// under a sanitizer, installs the sanitizer's allocation hooks), so plug-ins
// need no special build; see rt_interposer.cpp.
#pragma once

namespace validate::rt {

struct Counts {
  long allocations = 0;  // malloc, calloc, realloc, memalign family, free
  long blocking = 0;     // mutex lock, semaphore wait, sleeps, poll/select, read/write
  const char* firstBlocking = nullptr;  // name of the first blocking call seen
};

// Marks the calling thread as inside (true) or outside an audio call.
void watch(bool on);
Counts counts();
void reset();

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
