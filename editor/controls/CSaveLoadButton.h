// Save/load arrow of the preset strip. A plain right click sends 0.5 (load
// with the byte order reversed once more), any other click 1.0; the value
// returns to 0 at once. Keys never trigger it.
#pragma once

#include "toolkit/CKickButton.h"

class CSaveLoadButton : public CKickButton {
 public:
  CSaveLoadButton(const CRect& size, CControlListener* listener, int32_t tag,
                  CCoord heightOfOneImage, CBitmap* background, const CPoint& offset);
  CSaveLoadButton(const CSaveLoadButton& other) = default;

  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseEntered(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseExited(CPoint& where, const CButtonState& buttons) override;
  int32_t onKeyDown(VstKeyCode& keyCode) override;
  int32_t onKeyUp(VstKeyCode& keyCode) override;

  bool isHovered() const { return hover; }

  const char* getClassName() const override { return "CSaveLoadButton"; }
  CView* newCopy() const override { return new CSaveLoadButton(*this); }

 protected:
  bool hover = false;
};
