#include "editor/controls/CInvisibleSlider.h"

#include <algorithm>

namespace {

// The double-click flag says nothing about the keys held; a drag that started
// with a double click must not count as a modifier change.
int32_t heldState(const CButtonState& buttons) {
  return buttons.getButtonState() & ~static_cast<int32_t>(kDoubleClick);
}

}  // namespace

CInvisibleSlider::CInvisibleSlider(const CRect& size, CControlListener* listener, int32_t tag)
    : CControl(size, listener, tag, nullptr) {}

void CInvisibleSlider::draw(CDrawContext* /*context*/) {
  // The skin under the area (background, readout digits) stays visible.
  setDirty(false);
}

CMouseEventResult CInvisibleSlider::onMouseDown(CPoint& where, const CButtonState& buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  dragging = true;
  beginEdit();
  baseValue = getValue();
  dragButtons = heldState(buttons);
  pressX = where.x;
  pressY = where.y;
  pixelIncrement = getRange() / ((buttons & kShift) ? 4000.f : 1000.f);
  return onMouseMoved(where, buttons);
}

CMouseEventResult CInvisibleSlider::onMouseMoved(CPoint& where, const CButtonState& buttons) {
  if (!(buttons & kLButton) || !dragging) return kMouseEventNotHandled;
  const float travel = static_cast<float>(0.5 * (where.x - pressX) + (pressY - where.y));
  const int32_t held = heldState(buttons);
  if (held != dragButtons) {
    const float newIncrement = getRange() / ((buttons & kShift) ? 5000.f : 1000.f);
    baseValue += (pixelIncrement - newIncrement) * travel;
    pixelIncrement = newIncrement;
    dragButtons = held;
  }
  setValue(std::min(getMax(), std::max(getMin(), travel * pixelIncrement + baseValue)));
  invalid();
  valueChanged();
  return kMouseEventHandled;
}

CMouseEventResult CInvisibleSlider::onMouseUp(CPoint& /*where*/, const CButtonState& /*buttons*/) {
  if (dragging) endEdit();
  dragging = false;
  return kMouseEventHandled;
}

bool CInvisibleSlider::onWheel(const CPoint& /*where*/, const float& distance,
                               const CButtonState& buttons) {
  const float step = (buttons & kShift) ? 0.0003f : 0.005f;
  setValue(std::min(getMax(), std::max(getMin(), getValue() + distance * step)));
  invalid();
  if (listener) {
    beginEdit();
    valueChanged();
    endEdit();
  }
  return true;
}
