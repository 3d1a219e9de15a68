#include "toolkit/CControl.h"

#include <cmath>

#include "toolkit/CBitmap.h"
#include "toolkit/CControlListener.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"

CControl::CControl(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background)
    : CView(size), listener(listener), tag(tag) {
  if (background) setBackground(background);
}

CControl::CControl(const CControl& other)
    : CView(other),
      listener(other.listener),
      tag(other.tag),
      vmin(other.vmin),
      vmax(other.vmax),
      defaultValue(other.defaultValue),
      wheelInc(other.wheelInc),
      backOffset(other.backOffset),
      value(other.getValue()) {}

CControl::~CControl() {}

float CControl::getValueNormalized() const {
  const float range = vmax - vmin;
  if (range == 0.f) return 0.f;
  return (getValue() - vmin) / range;
}

void CControl::bounceValue() {
  const float v = getValue();
  if (v > vmax)
    setValue(vmax);
  else if (v < vmin)
    setValue(vmin);
  else if (std::isnan(v))
    setValue(vmin);
}

void CControl::valueChanged() {
  if (listener) listener->valueChanged(this);
}

void CControl::beginEdit() {
  if (editDepth++ > 0) return;
  if (listener) listener->controlBeginEdit(this);
  if (pParentFrame) pParentFrame->beginEdit(tag);
}

void CControl::endEdit() {
  if (editDepth == 0 || --editDepth > 0) return;
  if (pParentFrame) pParentFrame->endEdit(tag);
  if (listener) listener->controlEndEdit(this);
}

bool CControl::checkDefaultValue(const CButtonState& buttons) {
  const int32_t relevant = buttons & ~kDoubleClick;
  if (relevant != (kLButton | kDefaultValueModifier)) return false;
  beginEdit();
  setValue(getDefaultValue());
  valueChanged();
  invalid();
  endEdit();
  return true;
}

void CControl::setDirty(bool state) {
  CView::setDirty(state);
  if (!state) drawnValue.store(getValue(), std::memory_order_relaxed);
}

bool CControl::isDirty() const {
  return CView::isDirty() ||
         drawnValue.load(std::memory_order_relaxed) != value.load(std::memory_order_relaxed);
}

void CControl::draw(CDrawContext* context) {
  if (pBackground && !transparent) pBackground->draw(context, size, backOffset);
  setDirty(false);
}
