#include "toolkit/CView.h"

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"

CView::CView(const CRect& size) : size(size), mouseableArea(size) {}

CView::CView(const CView& other)
    : CBaseObject(other),
      size(other.size),
      mouseableArea(other.mouseableArea),
      pBackground(other.pBackground),
      mouseEnabled(other.mouseEnabled),
      visible(other.visible),
      transparent(other.transparent),
      wantsFocusFlag(other.wantsFocusFlag) {
  if (pBackground) pBackground->remember();
}

CView::~CView() {
  if (pBackground) pBackground->forget();
}

void CView::draw(CDrawContext* context) {
  if (pBackground && !transparent) pBackground->draw(context, size);
  setDirty(false);
}

void CView::drawRect(CDrawContext* context, const CRect& updateRect) {
  CRect area(size);
  area.bound(updateRect);
  if (context->getScale() != 1.0) {
    // The view's own device pixels, where the context may draw: they can
    // reach past the logical update area by a pixel.
    CRect device = context->toDevice(size);
    device.bound(context->getDeviceClip());
    if (device.isEmpty()) return;
    area = size;
  } else if (area.isEmpty()) {
    return;
  }
  context->saveGlobalState();
  context->setClipRect(area);
  draw(context);
  context->restoreGlobalState();
}

CMouseEventResult CView::onMouseDown(CPoint&, const CButtonState&) {
  return kMouseEventNotImplemented;
}
CMouseEventResult CView::onMouseUp(CPoint&, const CButtonState&) {
  return kMouseEventNotImplemented;
}
CMouseEventResult CView::onMouseMoved(CPoint&, const CButtonState&) {
  return kMouseEventNotImplemented;
}
CMouseEventResult CView::onMouseEntered(CPoint&, const CButtonState&) {
  return kMouseEventNotImplemented;
}
CMouseEventResult CView::onMouseExited(CPoint&, const CButtonState&) {
  return kMouseEventNotImplemented;
}
bool CView::onWheel(const CPoint&, const float&, const CButtonState&) {
  return false;
}
bool CView::hitTest(const CPoint& where, const CButtonState&) {
  return mouseableArea.pointInside(where);
}
int32_t CView::onKeyDown(VstKeyCode&) {
  return -1;
}
int32_t CView::onKeyUp(VstKeyCode&) {
  return -1;
}

void CView::setDirty(bool state) {
  dirty.store(state, std::memory_order_relaxed);
}
bool CView::isDirty() const {
  return dirty.load(std::memory_order_relaxed);
}

void CView::invalidRect(const CRect& rect) {
  if (pParentFrame) pParentFrame->invalidFrameRect(rect);
}

void CView::setViewSize(const CRect& rect, bool invalidate) {
  if (invalidate) invalidRect(size);
  size = rect;
  mouseableArea = rect;
  setDirty(true);
}

void CView::setVisible(bool state) {
  if (visible == state) return;
  visible = state;
  invalidRect(size);
  if (state) setDirty(true);
}

void CView::setBackground(CBitmap* background) {
  if (background) background->remember();
  if (pBackground) pBackground->forget();
  pBackground = background;
  setDirty(true);
}

bool CView::attached(CView* parent) {
  parentView = parent;
  pParentFrame = dynamic_cast<CFrame*>(parent);
  setDirty(true);
  return true;
}

bool CView::removed(CView*) {
  parentView = nullptr;
  pParentFrame = nullptr;
  return true;
}
