#include "editor/controls/CPSRockerSwitch.h"

#include "toolkit/CBitmap.h"

CPSRockerSwitch::CPSRockerSwitch(const CRect& size, CControlListener* listener, int32_t tag,
                                 CCoord heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CRockerSwitch(size, listener, tag, heightOfOneImage, background, offset, kHorizontal) {}

void CPSRockerSwitch::draw(CDrawContext* context) {
  if (pBackground) {
    int image = 0;
    if (getValue() == -1.f)
      image = 3;
    else if (getValue() == 1.f)
      image = 4;
    else if (hoverSide == -1)
      image = 1;
    else if (hoverSide == 1)
      image = 2;
    pBackground->draw(context, size, CPoint(0, image * heightOfOneImage), 1.f);
  }
  setDirty(false);
}

CMouseEventResult CPSRockerSwitch::onMouseDown(CPoint& where, const CButtonState& buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  setValue(static_cast<float>(side(where)));
  invalid();
  valueChanged();
  return kMouseEventHandled;
}

CMouseEventResult CPSRockerSwitch::onMouseUp(CPoint& /*where*/, const CButtonState& /*buttons*/) {
  setValue(0.f);
  invalid();
  return kMouseEventHandled;
}

CMouseEventResult CPSRockerSwitch::onMouseMoved(CPoint& where, const CButtonState& buttons) {
  if (buttons & kLButton) return kMouseEventHandled;
  hoverSide = side(where);
  invalid();
  return kMouseEventHandled;
}

CMouseEventResult CPSRockerSwitch::onMouseEntered(CPoint& where, const CButtonState& /*buttons*/) {
  hoverSide = side(where);
  invalid();
  return kMouseEventHandled;
}

CMouseEventResult CPSRockerSwitch::onMouseExited(CPoint& /*where*/,
                                                 const CButtonState& /*buttons*/) {
  hoverSide = 0;
  invalid();
  return kMouseEventHandled;
}
