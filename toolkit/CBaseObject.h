// Reference counting shared by views, bitmaps and fonts: an object starts with one
// reference (its creator's); forget() deletes it when the last reference goes.
#pragma once

#include <atomic>
#include <cstdint>

class CBaseObject {
 public:
  CBaseObject() = default;
  // A copy is a new object with its own single reference.
  CBaseObject(const CBaseObject&) {}
  CBaseObject& operator=(const CBaseObject&) { return *this; }
  virtual ~CBaseObject() = default;

  virtual void remember() { refCount.fetch_add(1, std::memory_order_relaxed); }
  virtual void forget() {
    if (refCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  int32_t getNbReference() const { return refCount.load(std::memory_order_relaxed); }

 private:
  std::atomic<int32_t> refCount{1};
};
