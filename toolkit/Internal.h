// Private helpers shared by the controls.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace toolkit {

inline float clampTo(float v, float lo, float hi) {
  if (std::isnan(v)) return lo;
  return std::min(std::max(v, lo), hi);
}

// Image of a strip of n images for a value normalized to 0..1: the nearest
// image, clamped to the strip.
inline int32_t stripIndex(float normalized, int32_t n) {
  if (n <= 1) return 0;
  const float x = normalized * static_cast<float>(n - 1) + 0.5f;
  if (!(x >= 0.f)) return 0;  // negative or NaN
  if (x >= static_cast<float>(n)) return n - 1;
  return std::min(static_cast<int32_t>(x), n - 1);
}

}  // namespace toolkit
