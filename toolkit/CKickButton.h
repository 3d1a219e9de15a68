// Momentary button. Bitmap: released image at the top, pressed image below
// (heightOfOneImage each). Left press: begin of edit, value = max, the mouse is
// captured; moving out of / back into the button shows the released / pressed
// image. Release inside: the listener hears max, then the value returns to min
// and the listener hears min; end of edit.
#pragma once

#include "toolkit/CControl.h"

class CKickButton : public CControl {
 public:
  CKickButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
              const CPoint& offset = CPoint(0, 0));
  CKickButton(const CRect& size, CControlListener* listener, int32_t tag, CCoord heightOfOneImage,
              CBitmap* background, const CPoint& offset = CPoint(0, 0));
  CKickButton(const CKickButton& other) = default;

  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
  void setHeightOfOneImage(CCoord h) { heightOfOneImage = h; }
  CCoord getHeightOfOneImage() const { return heightOfOneImage; }

  const char* getClassName() const override { return "CKickButton"; }
  CView* newCopy() const override { return new CKickButton(*this); }

 protected:
  CCoord heightOfOneImage;
  float entryState = 0.f;
};
