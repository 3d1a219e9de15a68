// Preset-strip push button with a hover image. Buttons that store defaults act
// only on a double click (a Ctrl double click sends 0.5: clear the default).
#pragma once

#include "toolkit/CKickButton.h"

class CPSKickButton : public CKickButton {
 public:
  CPSKickButton(const CRect& size, CControlListener* listener, int32_t tag, CCoord heightOfOneImage,
                CBitmap* background, const CPoint& offset, bool needsDoubleClick);
  CPSKickButton(const CPSKickButton& other) = default;

  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseEntered(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseExited(CPoint& where, const CButtonState& buttons) override;

  bool isHovered() const { return hover; }

  const char* getClassName() const override { return "CPSKickButton"; }
  CView* newCopy() const override { return new CPSKickButton(*this); }

 protected:
  bool hover = false;
  bool needsDoubleClick;
  bool pressed = false;
};
