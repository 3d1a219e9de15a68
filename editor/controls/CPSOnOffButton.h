// Preset-strip toggle (MIDI learn, forget) with a hover image while off.
#pragma once

#include "toolkit/COnOffButton.h"

class CPSOnOffButton : public COnOffButton {
 public:
  CPSOnOffButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background);
  CPSOnOffButton(const CPSOnOffButton& other) = default;

  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseEntered(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseExited(CPoint& where, const CButtonState& buttons) override;

  bool isHovered() const { return hover; }

  const char* getClassName() const override { return "CPSOnOffButton"; }
  CView* newCopy() const override { return new CPSOnOffButton(*this); }

 protected:
  bool hover = false;
};
