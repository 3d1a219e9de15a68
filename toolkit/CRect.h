// An axis-aligned rectangle; right and bottom are exclusive.
#pragma once

#include <algorithm>

#include "toolkit/CPoint.h"

struct CRect {
  CCoord left = 0;
  CCoord top = 0;
  CCoord right = 0;
  CCoord bottom = 0;

  CRect() = default;
  CRect(CCoord left, CCoord top, CCoord right, CCoord bottom)
      : left(left), top(top), right(right), bottom(bottom) {}
  CRect(const CPoint& origin, const CPoint& size)
      : left(origin.x), top(origin.y), right(origin.x + size.x), bottom(origin.y + size.y) {}

  CCoord getWidth() const { return right - left; }
  CCoord getHeight() const { return bottom - top; }
  CRect& setWidth(CCoord w) {
    right = left + w;
    return *this;
  }
  CRect& setHeight(CCoord h) {
    bottom = top + h;
    return *this;
  }
  CPoint getTopLeft() const { return CPoint(left, top); }
  CPoint getCenter() const { return CPoint((left + right) / 2, (top + bottom) / 2); }
  CPoint getSize() const { return CPoint(getWidth(), getHeight()); }

  CRect& offset(CCoord dx, CCoord dy) {
    left += dx;
    right += dx;
    top += dy;
    bottom += dy;
    return *this;
  }
  CRect& offset(const CPoint& p) { return offset(p.x, p.y); }
  CRect& moveTo(const CPoint& p) { return offset(p.x - left, p.y - top); }
  CRect& inset(CCoord dx, CCoord dy) {
    left += dx;
    right -= dx;
    top += dy;
    bottom -= dy;
    return *this;
  }

  bool isEmpty() const { return right <= left || bottom <= top; }
  bool pointInside(const CPoint& p) const {
    return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
  }
  bool rectOverlap(const CRect& o) const {
    return !isEmpty() && !o.isEmpty() && left < o.right && o.left < right && top < o.bottom &&
           o.top < bottom;
  }
  // Intersection with o (empty when they do not meet).
  CRect& bound(const CRect& o) {
    left = std::max(left, o.left);
    top = std::max(top, o.top);
    right = std::max(left, std::min(right, o.right));
    bottom = std::max(top, std::min(bottom, o.bottom));
    return *this;
  }
  // Smallest rectangle holding both; an empty side is ignored.
  CRect& unite(const CRect& o) {
    if (o.isEmpty()) return *this;
    if (isEmpty()) return *this = o;
    left = std::min(left, o.left);
    top = std::min(top, o.top);
    right = std::max(right, o.right);
    bottom = std::max(bottom, o.bottom);
    return *this;
  }
  bool operator==(const CRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
  bool operator!=(const CRect& o) const { return !(*this == o); }
};
