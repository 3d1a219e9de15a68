// Filmstrip display, buttons and switches.
#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CHorizontalSwitch.h"
#include "toolkit/CKickButton.h"
#include "toolkit/CMovieBitmap.h"
#include "toolkit/COnOffButton.h"
#include "toolkit/CRockerSwitch.h"
#include "toolkit/Internal.h"

using toolkit::stripIndex;

// ---------------------------------------------------------------- CMovieBitmap

CMovieBitmap::CMovieBitmap(const CRect& size, CControlListener* listener, int32_t tag,
                           CBitmap* background, const CPoint& offset)
    : CControl(size, listener, tag, background),
      subPixmaps(background && size.getHeight() > 0
                     ? static_cast<int32_t>(background->getHeight() / size.getHeight())
                     : 1),
      heightOfOneImage(size.getHeight()) {
  backOffset = offset;
}

CMovieBitmap::CMovieBitmap(const CRect& size, CControlListener* listener, int32_t tag,
                           int32_t subPixmaps, CCoord heightOfOneImage, CBitmap* background,
                           const CPoint& offset)
    : CControl(size, listener, tag, background),
      subPixmaps(subPixmaps),
      heightOfOneImage(heightOfOneImage) {
  backOffset = offset;
}

void CMovieBitmap::draw(CDrawContext* context) {
  if (pBackground && subPixmaps > 0) {
    const int32_t index = stripIndex(getValueNormalized(), subPixmaps);
    pBackground->draw(context, size, CPoint(backOffset.x, backOffset.y + index * heightOfOneImage));
  }
  setDirty(false);
}

// ---------------------------------------------------------------- COnOffButton

COnOffButton::COnOffButton(const CRect& size, CControlListener* listener, int32_t tag,
                           CBitmap* background, int32_t style)
    : CControl(size, listener, tag, background), style(style) {}

void COnOffButton::draw(CDrawContext* context) {
  if (pBackground) {
    const CCoord off = getValue() == vmax
                           ? static_cast<CCoord>(static_cast<int32_t>(pBackground->getHeight()) / 2)
                           : 0;
    pBackground->draw(context, size, CPoint(0, off));
  }
  setDirty(false);
}

CMouseEventResult COnOffButton::onMouseDown(CPoint&, const CButtonState& buttons) {
  if (!buttons.isLeftButton()) return kMouseEventNotHandled;
  beginEdit();
  setValue(getValue() == vmax ? vmin : vmax);
  valueChanged();
  endEdit();
  invalid();
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

// ---------------------------------------------------------------- CKickButton

CKickButton::CKickButton(const CRect& size, CControlListener* listener, int32_t tag,
                         CBitmap* background, const CPoint& offset)
    : CKickButton(size, listener, tag, size.getHeight(), background, offset) {}

CKickButton::CKickButton(const CRect& size, CControlListener* listener, int32_t tag,
                         CCoord heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CControl(size, listener, tag, background), heightOfOneImage(heightOfOneImage) {
  backOffset = offset;
}

void CKickButton::draw(CDrawContext* context) {
  if (pBackground) {
    const CCoord off = getValue() == vmax ? heightOfOneImage : 0;
    pBackground->draw(context, size, CPoint(backOffset.x, backOffset.y + off));
  }
  setDirty(false);
}

CMouseEventResult CKickButton::onMouseDown(CPoint&, const CButtonState& buttons) {
  if (!buttons.isLeftButton()) return kMouseEventNotHandled;
  entryState = getValue();
  beginEdit();
  setValue(vmax);
  invalid();
  return kMouseEventHandled;
}

CMouseEventResult CKickButton::onMouseMoved(CPoint& where, const CButtonState& buttons) {
  if (!isEditing() || !buttons.isLeftButton()) return kMouseEventNotHandled;
  const float v = hitTest(where, buttons) ? vmax : entryState;
  if (v != getValue()) {
    setValue(v);
    invalid();
  }
  return kMouseEventHandled;
}

CMouseEventResult CKickButton::onMouseUp(CPoint&, const CButtonState&) {
  if (!isEditing()) return kMouseEventNotHandled;
  const bool inside = getValue() == vmax;
  if (inside) valueChanged();
  setValue(vmin);
  if (inside) valueChanged();
  invalid();
  endEdit();
  return kMouseEventHandled;
}

// ---------------------------------------------------------------- CHorizontalSwitch

CHorizontalSwitch::CHorizontalSwitch(const CRect& size, CControlListener* listener, int32_t tag,
                                     int32_t subPixmaps, CCoord heightOfOneImage,
                                     int32_t maxPositions, CBitmap* background,
                                     const CPoint& offset)
    : CControl(size, listener, tag, background),
      subPixmaps(subPixmaps),
      heightOfOneImage(heightOfOneImage),
      maxPositions(maxPositions > 0 ? maxPositions : 1) {
  backOffset = offset;
}

void CHorizontalSwitch::draw(CDrawContext* context) {
  if (pBackground && subPixmaps > 0) {
    const int32_t index = stripIndex(getValueNormalized(), subPixmaps);
    pBackground->draw(context, size, CPoint(backOffset.x, backOffset.y + index * heightOfOneImage));
  }
  setDirty(false);
}

CMouseEventResult CHorizontalSwitch::onMouseDown(CPoint& where, const CButtonState& buttons) {
  if (!buttons.isLeftButton()) return kMouseEventNotHandled;
  beginEdit();
  onMouseMoved(where, buttons);
  return kMouseEventHandled;
}

CMouseEventResult CHorizontalSwitch::onMouseMoved(CPoint& where, const CButtonState& buttons) {
  if (!isEditing() || !buttons.isLeftButton()) return kMouseEventNotHandled;
  const CCoord part = size.getWidth() / maxPositions;
  int32_t position = part > 0 ? static_cast<int32_t>(std::floor((where.x - size.left) / part)) : 0;
  position = std::max(0, std::min(position, maxPositions - 1));
  const float v = maxPositions > 1
                      ? vmin + position * (vmax - vmin) / static_cast<float>(maxPositions - 1)
                      : vmin;
  if (v != getValue()) {
    setValue(v);
    valueChanged();
    invalid();
  }
  return kMouseEventHandled;
}

CMouseEventResult CHorizontalSwitch::onMouseUp(CPoint&, const CButtonState&) {
  if (!isEditing()) return kMouseEventNotHandled;
  endEdit();
  return kMouseEventHandled;
}

// ---------------------------------------------------------------- CRockerSwitch

CRockerSwitch::CRockerSwitch(const CRect& size, CControlListener* listener, int32_t tag,
                             CCoord heightOfOneImage, CBitmap* background, const CPoint& offset,
                             int32_t style)
    : CControl(size, listener, tag, background), heightOfOneImage(heightOfOneImage), style(style) {
  backOffset = offset;
  vmin = -1.f;
  vmax = 1.f;
  defaultValue = 0.f;
  setValue(0.f);
}

float CRockerSwitch::sideOf(const CPoint& where) const {
  const CPoint c = size.getCenter();
  if (style & kVertical) return where.y < c.y ? -1.f : 1.f;
  return where.x < c.x ? -1.f : 1.f;
}

void CRockerSwitch::draw(CDrawContext* context) {
  if (pBackground) {
    const float v = getValue();
    const int32_t index = v < 0 ? 0 : (v > 0 ? 2 : 1);
    pBackground->draw(context, size, CPoint(backOffset.x, backOffset.y + index * heightOfOneImage));
  }
  setDirty(false);
}

CMouseEventResult CRockerSwitch::onMouseDown(CPoint& where, const CButtonState& buttons) {
  if (!buttons.isLeftButton()) return kMouseEventNotHandled;
  beginEdit();
  setValue(sideOf(where));
  valueChanged();
  invalid();
  return kMouseEventHandled;
}

CMouseEventResult CRockerSwitch::onMouseMoved(CPoint& where, const CButtonState& buttons) {
  if (!isEditing() || !buttons.isLeftButton()) return kMouseEventNotHandled;
  const float v = hitTest(where, buttons) ? sideOf(where) : 0.f;
  if (v != getValue()) {
    setValue(v);
    valueChanged();
    invalid();
  }
  return kMouseEventHandled;
}

CMouseEventResult CRockerSwitch::onMouseUp(CPoint&, const CButtonState&) {
  if (!isEditing()) return kMouseEventNotHandled;
  if (getValue() != 0.f) {
    setValue(0.f);
    valueChanged();
  }
  invalid();
  endEdit();
  return kMouseEventHandled;
}
