// Lit push button: any value in the upper half shows the lit image, and a click
// sends the middle of the other half (0.25 / 0.75), the values presets store.
#pragma once

#include "toolkit/COnOffButton.h"

class VEKOnOffButton : public COnOffButton {
 public:
  VEKOnOffButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
                 int32_t style = 0);
  VEKOnOffButton(const VEKOnOffButton& other) = default;

  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

  const char* getClassName() const override { return "VEKOnOffButton"; }
  CView* newCopy() const override { return new VEKOnOffButton(*this); }
};
