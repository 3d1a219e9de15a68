// Step button beside the delay readout. A click reaches the listener once, on
// the press, and records how coarse the step is: 1, 10 with Shift, 100 with
// Ctrl. The release only restores the image.
#pragma once

#include "toolkit/CKickButton.h"

class VEKKickButton : public CKickButton {
 public:
  VEKKickButton(const CRect& size, CControlListener* listener, int32_t tag, CCoord heightOfOneImage,
                CBitmap* background, const CPoint& offset = CPoint(0, 0));
  VEKKickButton(const VEKKickButton& other) = default;

  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
  // The edit is over once the press is reported, so the pressed image follows
  // the pointer by this button's own record of the held press.
  CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;

  float getFineStep() const { return fineStep; }

  const char* getClassName() const override { return "VEKKickButton"; }
  CView* newCopy() const override { return new VEKKickButton(*this); }

 protected:
  float fineStep = 1.f;
  bool held = false;
};
