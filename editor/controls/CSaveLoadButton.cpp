#include "editor/controls/CSaveLoadButton.h"

#include "toolkit/CBitmap.h"

CSaveLoadButton::CSaveLoadButton(const CRect& size, CControlListener* listener, int32_t tag,
                                 CCoord heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CKickButton(size, listener, tag, heightOfOneImage, background, offset) {}

void CSaveLoadButton::draw(CDrawContext* context) {
  if (pBackground) {
    int image = 0;
    if (getValue() != 0.f)
      image = 2;
    else if (hover)
      image = 1;
    pBackground->draw(context, size, CPoint(0, image * heightOfOneImage), 1.f);
  }
  setDirty(false);
}

CMouseEventResult CSaveLoadButton::onMouseDown(CPoint& /*where*/, const CButtonState& buttons) {
  if (!(buttons & (kLButton | kRButton)) || !listener) return kMouseEventNotHandled;
  setValue(buttons.getButtonState() == kRButton ? 0.5f : 1.f);
  valueChanged();
  setValue(0.f);
  invalid();
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMouseEventResult CSaveLoadButton::onMouseEntered(CPoint& /*where*/,
                                                  const CButtonState& /*buttons*/) {
  hover = true;
  invalid();
  return kMouseEventHandled;
}

CMouseEventResult CSaveLoadButton::onMouseExited(CPoint& /*where*/,
                                                 const CButtonState& /*buttons*/) {
  hover = false;
  invalid();
  return kMouseEventHandled;
}

int32_t CSaveLoadButton::onKeyDown(VstKeyCode& /*keyCode*/) {
  return -1;
}

int32_t CSaveLoadButton::onKeyUp(VstKeyCode& /*keyCode*/) {
  return -1;
}
