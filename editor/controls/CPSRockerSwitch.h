// Previous/next preset rocker: −1 while the left half is pressed, +1 for the
// right half (the centre line counts as right), 0 at rest; the hovered half
// lights up.
#pragma once

#include "toolkit/CRockerSwitch.h"

class CPSRockerSwitch : public CRockerSwitch {
 public:
  CPSRockerSwitch(const CRect& size, CControlListener* listener, int32_t tag,
                  CCoord heightOfOneImage, CBitmap* background, const CPoint& offset);
  CPSRockerSwitch(const CPSRockerSwitch& other) = default;

  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseEntered(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseExited(CPoint& where, const CButtonState& buttons) override;

  int32_t getHoverSide() const { return hoverSide; }

  const char* getClassName() const override { return "CPSRockerSwitch"; }
  CView* newCopy() const override { return new CPSRockerSwitch(*this); }

 protected:
  int32_t side(const CPoint& where) const { return where.x < size.getCenter().x ? -1 : 1; }

  int32_t hoverSide = 0;
};
