// Three-state rocker: value −1 while its left (or top) half is pressed, +1 for
// the right (or bottom) half, 0 at rest. Press: begin of edit, value by side,
// listener; dragging across the centre changes the side (listener on each
// change); release: value 0 (listener when it was not 0), end of edit. Bitmap: three images of
// heightOfOneImage: −1 (top), 0, +1 (bottom). Range −1..1.
#pragma once

#include "toolkit/CControl.h"

enum COrientationStyle { kHorizontal = 1 << 0, kVertical = 1 << 1 };

class CRockerSwitch : public CControl {
 public:
  CRockerSwitch(const CRect& size, CControlListener* listener, int32_t tag, CCoord heightOfOneImage,
                CBitmap* background, const CPoint& offset = CPoint(0, 0),
                int32_t style = kHorizontal);
  CRockerSwitch(const CRockerSwitch& other) = default;

  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
  int32_t getStyle() const { return style; }

  const char* getClassName() const override { return "CRockerSwitch"; }
  CView* newCopy() const override { return new CRockerSwitch(*this); }

 protected:
  // −1 or +1 for the half of the switch that holds `where`; the centre line
  // counts as the right (bottom) half.
  float sideOf(const CPoint& where) const;

  CCoord heightOfOneImage;
  int32_t style;
};
