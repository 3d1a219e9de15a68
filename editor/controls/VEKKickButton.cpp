#include "editor/controls/VEKKickButton.h"

VEKKickButton::VEKKickButton(const CRect& size, CControlListener* listener, int32_t tag,
                             CCoord heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CKickButton(size, listener, tag, heightOfOneImage, background, offset) {
  setValue(0.f);
}

CMouseEventResult VEKKickButton::onMouseDown(CPoint& /*where*/, const CButtonState& buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  setValue(1.f);
  held = true;
  if (buttons & kControl)
    fineStep = 100.f;
  else if (buttons & kShift)
    fineStep = 10.f;
  else
    fineStep = 1.f;
  beginEdit();
  invalid();
  valueChanged();
  endEdit();
  return kMouseEventHandled;
}

CMouseEventResult VEKKickButton::onMouseUp(CPoint& /*where*/, const CButtonState& /*buttons*/) {
  held = false;
  setValue(0.f);
  invalid();
  return kMouseEventHandled;
}

CMouseEventResult VEKKickButton::onMouseMoved(CPoint& where, const CButtonState& buttons) {
  if (!held || !buttons.isLeftButton()) return kMouseEventNotHandled;
  const float v = hitTest(where, buttons) ? getMax() : getMin();
  if (v != getValue()) {
    setValue(v);
    invalid();
  }
  return kMouseEventHandled;
}
