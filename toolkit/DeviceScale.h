// Logical window coordinates and the device pixels of a frame drawn at a
// scale. Every control keeps its logical rectangle; on the device its origin
// is rounded to the nearest pixel and its size is rounded on its own, so all
// controls of one size have one device size, and an image drawn for a scale
// fits its control exactly. Whoever draws images for a scale uses the same
// rounding.
#pragma once

#include <cmath>

#include "toolkit/CRect.h"

namespace toolkit {

constexpr double kMinScale = 1.0;
constexpr double kMaxScale = 3.0;

// A logical coordinate or length in device pixels.
inline int devicePixels(double logical, double scale) {
  return static_cast<int>(std::floor(logical * scale + 0.5));
}

// The device pixels a logical rectangle covers.
inline CRect deviceRect(const CRect& r, double scale) {
  const double left = devicePixels(r.left, scale), top = devicePixels(r.top, scale);
  return CRect(left, top, left + devicePixels(r.getWidth(), scale),
               top + devicePixels(r.getHeight(), scale));
}

// The scale a request asks for, rounded to a quarter and kept within 1..3;
// 0 for a request that is no number or not above 0.
inline double quarterScale(double requested) {
  if (!(requested > 0.0) || !std::isfinite(requested)) return 0.0;
  const double quarter = std::floor(requested * 4.0 + 0.5) / 4.0;
  return quarter < kMinScale ? kMinScale : quarter > kMaxScale ? kMaxScale : quarter;
}

}  // namespace toolkit
