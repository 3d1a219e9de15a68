// Two-state button. Bitmap: off image on top, on image below (each half the
// bitmap height). Shows the on image only when the value equals the maximum.
// A left click toggles between min and max as one complete edit (begin,
// listener, end) and asks for no move or up events.
#pragma once

#include "toolkit/CControl.h"

class COnOffButton : public CControl {
 public:
  COnOffButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
               int32_t style = 0);
  COnOffButton(const COnOffButton& other) = default;

  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  int32_t getStyle() const { return style; }
  void setStyle(int32_t val) { style = val; }

  const char* getClassName() const override { return "COnOffButton"; }
  CView* newCopy() const override { return new COnOffButton(*this); }

 protected:
  int32_t style;
};
