// The Dly<>Clk switch: two positions, left is delay mode, right clock mode.
#pragma once

#include "toolkit/CHorizontalSwitch.h"

class VEKSwitch : public CHorizontalSwitch {
 public:
  VEKSwitch(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
            CCoord heightOfOneImage, int32_t maxPositions, CBitmap* background,
            const CPoint& offset = CPoint(0, 0));
  VEKSwitch(const VEKSwitch& other) = default;

  const char* getClassName() const override { return "VEKSwitch"; }
  CView* newCopy() const override { return new VEKSwitch(*this); }
};
