#include "editor/controls/CPSKickButton.h"

#include "toolkit/CBitmap.h"

CPSKickButton::CPSKickButton(const CRect& size, CControlListener* listener, int32_t tag,
                             CCoord heightOfOneImage, CBitmap* background, const CPoint& offset,
                             bool needsDoubleClick)
    : CKickButton(size, listener, tag, heightOfOneImage, background, offset),
      needsDoubleClick(needsDoubleClick) {}

void CPSKickButton::draw(CDrawContext* context) {
  if (pBackground) {
    const int image = pressed ? 2 : (hover ? 1 : 0);
    pBackground->draw(context, size, CPoint(backOffset.x, backOffset.y + image * heightOfOneImage),
                      1.f);
  }
  setDirty(false);
}

CMouseEventResult CPSKickButton::onMouseDown(CPoint& /*where*/, const CButtonState& buttons) {
  // Other buttons and single clicks on a double-click button are swallowed.
  if (!(buttons & kLButton)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
  if (needsDoubleClick && !buttons.isDoubleClick())
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
  pressed = true;
  setValue(needsDoubleClick && (buttons & kControl) ? 0.5f : 1.f);
  valueChanged();
  invalid();
  return kMouseEventHandled;
}

CMouseEventResult CPSKickButton::onMouseUp(CPoint& /*where*/, const CButtonState& /*buttons*/) {
  setValue(0.f);
  pressed = false;
  invalid();
  return kMouseEventHandled;
}

CMouseEventResult CPSKickButton::onMouseMoved(CPoint& /*where*/, const CButtonState& /*buttons*/) {
  return kMouseEventHandled;
}

CMouseEventResult CPSKickButton::onMouseEntered(CPoint& /*where*/,
                                                const CButtonState& /*buttons*/) {
  hover = true;
  invalid();
  return kMouseEventHandled;
}

CMouseEventResult CPSKickButton::onMouseExited(CPoint& /*where*/, const CButtonState& /*buttons*/) {
  hover = false;
  invalid();
  return kMouseEventHandled;
}
