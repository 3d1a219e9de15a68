// 32-bit word helpers for the records the preset system reads and writes:
// records are written in the machine's order and read in either order, the
// plug-in identifier telling which.
#pragma once

#include <cstdint>
#include <cstring>

namespace presetbytes {

inline uint32_t swap32(uint32_t v) {
  return ((v & 0x000000FFu) << 24) | ((v & 0x0000FF00u) << 8) | ((v & 0x00FF0000u) >> 8) |
         ((v & 0xFF000000u) >> 24);
}

// Unaligned native-order access; records pack words at odd offsets.
inline uint32_t readU32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void writeU32(unsigned char* p, uint32_t v) {
  std::memcpy(p, &v, sizeof v);
}

inline float readFloat(const unsigned char* p) {
  float f;
  std::memcpy(&f, p, sizeof f);
  return f;
}

inline void writeFloat(unsigned char* p, float f) {
  std::memcpy(p, &f, sizeof f);
}

// Reverses the four bytes at p in place.
inline void swapWordInPlace(unsigned char* p) {
  writeU32(p, swap32(readU32(p)));
}

// Reads a word written on a machine of either order: swapped when told so.
inline uint32_t readU32Order(const unsigned char* p, bool swapped) {
  uint32_t v = readU32(p);
  return swapped ? swap32(v) : v;
}

inline float readFloatOrder(const unsigned char* p, bool swapped) {
  uint32_t v = readU32Order(p, swapped);
  float f;
  std::memcpy(&f, &v, sizeof f);
  return f;
}

}  // namespace presetbytes
