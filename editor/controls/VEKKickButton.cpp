#include "editor/controls/VEKKickButton.h"

VEKKickButton::VEKKickButton(const CRect& size, CControlListener* listener, int32_t tag,
                             CCoord heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CKickButton(size, listener, tag, heightOfOneImage, background, offset) {
  setValue(0.f);
}

CMouseEventResult VEKKickButton::onMouseDown(CPoint& /*where*/, const CButtonState& buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  setValue(1.f);
  entryState = 1.f;
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
  setValue(0.f);
  invalid();
  return kMouseEventHandled;
}
