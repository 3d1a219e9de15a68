// Host buffers the plug-in reads or writes (audio, chunks, texts, event
// lists) placed against guard pages: the buffer's last byte is the last byte
// before a PROT_NONE page, so reading or writing one byte past it is a fault
// at once, in any build, instead of luck. The fault handler names the buffer
// and the call it was given to in the shared slot before the child dies.
// Writes just before the buffer, and into the few bytes an aligned start
// leaves after it, are found by a pattern checked after the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace validate {

struct SharedSlot;

class GuardedArea {
 public:
  GuardedArea() = default;
  ~GuardedArea();
  GuardedArea(const GuardedArea&) = delete;
  GuardedArea& operator=(const GuardedArea&) = delete;

  // What the buffer is, for the fault report: `call` and `what` are static
  // texts ("effSetChunk", "chunk"); `channel` >= 0 names a pin; `frames` >= 0
  // says it holds audio frames.
  struct Label {
    const char* call = "";
    const char* what = "";
    int channel = -1;
    long frames = -1;
  };

  // A buffer of `size` bytes that starts aligned to `align` and ends at most
  // align-1 bytes before the guard page (exactly at it when size is a
  // multiple of align). Valid until the next place().
  uint8_t* place(size_t size, size_t align, const Label& label);
  uint8_t* data() const { return ptr_; }
  size_t size() const { return size_; }

  // Under AddressSanitizer, marks bytes inside the buffer the plug-in must
  // not touch (the padding after an event's body); the next place() clears
  // it. Nothing in other builds.
  void forbid(size_t offset, size_t n);

  // Bytes changed since place() just before the buffer (up to 64) and in the
  // slack after it: "" when none, else what was written where.
  std::string strayWrites() const;

 private:
  void map(size_t capacity);
  void unmap();

  uint8_t* base_ = nullptr;  // the mapping: guard page, data pages, guard page
  size_t mapped_ = 0;
  uint8_t* data_ = nullptr;  // first data byte
  uint8_t* end_ = nullptr;   // first byte of the high guard page
  uint8_t* ptr_ = nullptr;
  size_t size_ = 0;
  int entry_ = -1;  // index in the fault handler's table
  Label label_;
};

// In a child: faults in a guard page (or, under AddressSanitizer, reports on
// the poisoned bytes around a buffer) write which buffer and call into
// slot->fault; then the previous handler (the default, or a sanitizer's)
// runs as before.
void installGuardHandler(SharedSlot* slot);

}  // namespace validate
