#include "editor/controls/VEKOnOffButton.h"

#include "engine/ParameterIds.h"
#include "toolkit/CBitmap.h"

VEKOnOffButton::VEKOnOffButton(const CRect& size, CControlListener* listener, int32_t tag,
                               CBitmap* background, int32_t style)
    : COnOffButton(size, listener, tag, background, style) {}

void VEKOnOffButton::draw(CDrawContext* context) {
  if (pBackground) {
    CPoint offset(0, 0);
    if (quantizeSteps(getValue(), 2) == 1)
      offset.y = static_cast<int32_t>(pBackground->getHeight()) / 2;
    pBackground->draw(context, size, offset, 1.f);
  }
  setDirty(false);
}

CMouseEventResult VEKOnOffButton::onMouseDown(CPoint& /*where*/, const CButtonState& buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  // One click is one whole gesture, so the host sees a complete edit.
  beginEdit();
  setValue(stepCenter(1 - quantizeSteps(getValue(), 2), 2));
  valueChanged();
  endEdit();
  invalid();
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}
