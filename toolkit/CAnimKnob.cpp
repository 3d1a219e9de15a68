#include "toolkit/CAnimKnob.h"

#include <algorithm>
#include <cmath>

#include "toolkit/AEffGUIEditor.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/Internal.h"

namespace {
constexpr float kTwoPi = 6.28318531f;
}  // namespace

using toolkit::clampTo;
using toolkit::stripIndex;

CKnob::CKnob(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
             const CPoint& offset)
    : CControl(size, listener, tag, background) {
  backOffset = offset;
}

float CKnob::angleOf(const CPoint& where) const {
  const CPoint c = size.getCenter();
  // Screen y grows downwards, so this angle grows clockwise.
  float a = std::atan2(static_cast<float>(where.y - c.y), static_cast<float>(where.x - c.x));
  if (a < 0) a += kTwoPi;
  return a;
}

float CKnob::valueFromPoint(const CPoint& where) const {
  float rel = angleOf(where) - startAngle;
  while (rel < 0) rel += kTwoPi;
  while (rel >= kTwoPi) rel -= kTwoPi;
  float n;
  if (rel <= rangeAngle) {
    n = rel / rangeAngle;
  } else {
    // In the gap below the knob: the nearer end.
    n = (rel - rangeAngle < (kTwoPi - rel)) ? 1.f : 0.f;
  }
  return vmin + n * (vmax - vmin);
}

void CKnob::draw(CDrawContext* context) {
  if (pBackground) pBackground->draw(context, size, backOffset);
  const float a = startAngle + getValueNormalized() * rangeAngle;
  const CPoint c = size.getCenter();
  const CCoord r = std::min(size.getWidth(), size.getHeight()) / 2 - 2;
  context->setFrameColor(kWhiteCColor);
  context->setLineWidth(2);
  context->drawLine(c, CPoint(c.x + r * std::cos(a), c.y + r * std::sin(a)));
  setDirty(false);
}

CMouseEventResult CKnob::onMouseDown(CPoint& where, const CButtonState& buttons) {
  if (!buttons.isLeftButton()) return kMouseEventNotHandled;
  if (checkDefaultValue(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
  beginEdit();
  dragMode = AEffGUIEditor::getKnobMode();
  // Fine adjustment in circular mode works on angle changes, not positions.
  if (dragMode == kCircularMode && (buttons & kZoomModifier)) dragMode = kRelativCircularMode;
  pressPoint = where;
  dragButtons = buttons;
  baseValue = getValue();
  coef = getRange() / static_cast<float>(knobRange);
  if (buttons & kZoomModifier) coef /= zoomFactor;
  lastAngle = angleOf(where);
  if (dragMode == kCircularMode) onMouseMoved(where, buttons);
  return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseMoved(CPoint& where, const CButtonState& buttons) {
  if (dragMode < 0 || !buttons.isLeftButton()) return kMouseEventNotHandled;
  const float old = getValue();
  float v = old;
  if (dragMode == kLinearMode) {
    const float d = static_cast<float>((where.x - pressPoint.x) + (pressPoint.y - where.y));
    if ((buttons & kZoomModifier) != (dragButtons & kZoomModifier)) {
      // Re-base so the value stays put when Shift changes mid-drag.
      float newCoef = getRange() / static_cast<float>(knobRange);
      if (buttons & kZoomModifier) newCoef /= zoomFactor;
      baseValue += (coef - newCoef) * d;
      coef = newCoef;
      dragButtons = buttons;
    }
    v = baseValue + d * coef;
  } else if (dragMode == kRelativCircularMode) {
    const float a = angleOf(where);
    float delta = a - lastAngle;
    if (delta > kTwoPi / 2) delta -= kTwoPi;
    if (delta < -kTwoPi / 2) delta += kTwoPi;
    lastAngle = a;
    float change = delta / rangeAngle * getRange();
    if (buttons & kZoomModifier) change /= zoomFactor;
    v = old + change;
  } else {
    v = valueFromPoint(where);
  }
  v = clampTo(v, vmin, vmax);
  if (v != old) {
    setValue(v);
    valueChanged();
    invalid();
  }
  return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseUp(CPoint&, const CButtonState&) {
  if (dragMode < 0) return kMouseEventNotHandled;
  dragMode = -1;
  endEdit();
  return kMouseEventHandled;
}

bool CKnob::onWheel(const CPoint&, const float& distance, const CButtonState& buttons) {
  if (!mouseEnabled) return false;
  float step = distance * wheelInc;
  if (buttons & kZoomModifier) step *= 0.1f;
  const float old = getValue();
  const float v = clampTo(old + step, vmin, vmax);
  if (v != old) {
    beginEdit();
    setValue(v);
    valueChanged();
    invalid();
    endEdit();
  }
  return true;
}

int32_t CKnob::onKeyDown(VstKeyCode& keyCode) {
  float dir = 0;
  if (keyCode.virt == VKEY_UP || keyCode.virt == VKEY_RIGHT) dir = 1;
  if (keyCode.virt == VKEY_DOWN || keyCode.virt == VKEY_LEFT) dir = -1;
  if (dir == 0) return -1;
  CButtonState mods((keyCode.modifier & MODIFIER_SHIFT) ? kShift : 0);
  onWheel(size.getCenter(), dir, mods);
  return 1;
}

CAnimKnob::CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag,
                     CBitmap* background, const CPoint& offset)
    : CKnob(size, listener, tag, background, offset),
      subPixmaps(background && size.getHeight() > 0
                     ? static_cast<int32_t>(background->getHeight() / size.getHeight())
                     : 1),
      heightOfOneImage(size.getHeight()) {}

CAnimKnob::CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                     CCoord heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CKnob(size, listener, tag, background, offset),
      subPixmaps(subPixmaps),
      heightOfOneImage(heightOfOneImage) {}

void CAnimKnob::draw(CDrawContext* context) {
  if (pBackground && subPixmaps > 0) {
    int32_t index = stripIndex(getValueNormalized(), subPixmaps);
    if (inverseBitmap) index = subPixmaps - 1 - index;
    pBackground->draw(context, size, CPoint(backOffset.x, backOffset.y + index * heightOfOneImage));
  }
  setDirty(false);
}
