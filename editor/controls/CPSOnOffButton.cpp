#include "editor/controls/CPSOnOffButton.h"

#include "toolkit/CBitmap.h"

CPSOnOffButton::CPSOnOffButton(const CRect& size, CControlListener* listener, int32_t tag,
                               CBitmap* background)
    : COnOffButton(size, listener, tag, background, 0) {}

void CPSOnOffButton::draw(CDrawContext* context) {
  if (pBackground) {
    const int imageHeight = static_cast<int>(pBackground->getHeight()) / 3;
    int image = 0;
    if (hover && getValue() == 0.f)
      image = 1;
    else if (getValue() == 1.f)
      image = 2;
    pBackground->draw(context, size, CPoint(0, image * imageHeight), 1.f);
  }
  setDirty(false);
}

CMouseEventResult CPSOnOffButton::onMouseDown(CPoint& /*where*/, const CButtonState& buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  setValue(1.f - getValue());
  valueChanged();
  invalid();
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMouseEventResult CPSOnOffButton::onMouseEntered(CPoint& /*where*/,
                                                 const CButtonState& /*buttons*/) {
  hover = true;
  invalid();
  return kMouseEventHandled;
}

CMouseEventResult CPSOnOffButton::onMouseExited(CPoint& /*where*/,
                                                const CButtonState& /*buttons*/) {
  hover = false;
  invalid();
  return kMouseEventHandled;
}
