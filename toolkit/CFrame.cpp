#include "toolkit/CFrame.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/DeviceScale.h"
#include "toolkit/PlatformFrame.h"
#include "toolkit/VSTGUIEditorInterface.h"

namespace {
// Holds a reference for the duration of a call into a view, which may remove
// or release itself (an about view closing on its own click).
struct Hold {
  explicit Hold(CView* v) : view(v) { view->remember(); }
  ~Hold() { view->forget(); }
  CView* view;
};
}  // namespace

CFrame::CFrame(const CRect& size, void* systemWindow, VSTGUIEditorInterface* editor, double scale)
    : CView(size),
      editor(editor),
      systemWindow(systemWindow),
      scale(toolkit::quarterScale(scale) > 0 ? toolkit::quarterScale(scale) : 1.0) {
  pParentFrame = this;
  const CRect device = getDeviceSize();
  platform = toolkit::PlatformFrame::create(this, systemWindow, static_cast<int>(device.getWidth()),
                                            static_cast<int>(device.getHeight()));
}

CRect CFrame::getDeviceSize() const {
  return toolkit::deviceRect(CRect(0, 0, size.getWidth(), size.getHeight()), scale);
}

bool CFrame::setScale(double newScale) {
  newScale = toolkit::quarterScale(newScale);
  if (newScale == 0 || newScale == scale || closed) return false;
  scale = newScale;
  if (platform) {
    const CRect device = getDeviceSize();
    platform->resize(static_cast<int>(device.getWidth()), static_cast<int>(device.getHeight()));
  }
  invalidRects.clear();
  setDirty(true);
  return true;
}

CPoint CFrame::toLogical(const CPoint& device) const {
  return scale == 1.0 ? device : CPoint(device.x / scale, device.y / scale);
}

CFrame::~CFrame() {
  teardown();
  delete retiredPlatform;
}

void CFrame::teardown() {
  if (closed) return;
  closed = true;
  // The window goes first, so no event reaches a view being released. When
  // closed from inside its own event processing, the backend goes after it.
  if (inIdle)
    retiredPlatform = platform;
  else
    delete platform;
  platform = nullptr;
  modalView = nullptr;
  removeAll(true);
}

void CFrame::close() {
  teardown();
  forget();
}

bool CFrame::isWindowed() const {
  return platform && platform->isWindowed();
}

bool CFrame::addView(CView* view) {
  if (!view || closed || isChild(view)) return false;
  children.push_back(view);
  view->attached(this);
  view->setDirty(true);
  return true;
}

void CFrame::forgetChildPointers(CView* view) {
  if (mouseDownView == view) mouseDownView = nullptr;
  if (hoverView == view) hoverView = nullptr;
  if (modalView == view) modalView = nullptr;
  if (focusView == view) {
    focusView = nullptr;
    view->looseFocus();
  }
}

bool CFrame::removeView(CView* view, bool withForget) {
  auto it = std::find(children.begin(), children.end(), view);
  if (it == children.end()) return false;
  children.erase(it);
  forgetChildPointers(view);
  invalidFrameRect(view->getViewSize());
  view->removed(this);
  if (withForget) view->forget();
  return true;
}

bool CFrame::removeAll(bool withForget) {
  while (!children.empty()) removeView(children.back(), withForget);
  return true;
}

bool CFrame::isChild(const CView* view) const {
  return std::find(children.begin(), children.end(), view) != children.end();
}

CView* CFrame::getView(int32_t index) const {
  if (index < 0 || index >= getNbViews()) return nullptr;
  return children[static_cast<size_t>(index)];
}

CView* CFrame::getViewAt(const CPoint& where) const {
  for (auto it = children.rbegin(); it != children.rend(); ++it)
    if ((*it)->isVisible() && (*it)->getMouseableArea().pointInside(where)) return *it;
  return nullptr;
}

bool CFrame::setModalView(CView* view) {
  if (view) {
    if (modalView) return false;
    if (!addView(view)) return false;
    modalView = view;
    setHoverView(nullptr, mouseLocation, currentButtons);
    return true;
  }
  if (CView* old = modalView) {
    modalView = nullptr;
    removeView(old, false);
  }
  return true;
}

void CFrame::setFocusView(CView* view) {
  if (view == focusView) return;
  CView* old = focusView;
  focusView = view;
  if (old) old->looseFocus();
  if (view) view->takeFocus();
}

bool CFrame::getCurrentMouseLocation(CPoint& where) const {
  if (!mouseLocationKnown) return false;
  where = mouseLocation;
  return true;
}

void CFrame::setDirty(bool state) {
  wholeFrameDirty.store(state, std::memory_order_relaxed);
  if (!state)
    for (CView* v : children) v->setDirty(false);
}

bool CFrame::isDirty() const {
  if (wholeFrameDirty.load(std::memory_order_relaxed) || !invalidRects.empty()) return true;
  for (const CView* v : children)
    if (v->isVisible() && v->isDirty()) return true;
  return false;
}

void CFrame::invalidFrameRect(const CRect& rect) {
  CRect r(rect);
  r.bound(size);
  if (!r.isEmpty()) invalidRects.push_back(r);
}

void CFrame::setBackground(CBitmap* background) {
  CView::setBackground(background);
  setDirty(true);
}

void CFrame::beginEdit(int32_t index) {
  if (editor) editor->beginEdit(index);
}

void CFrame::endEdit(int32_t index) {
  if (editor) editor->endEdit(index);
}

// ---------------------------------------------------------------- drawing

void CFrame::draw(CDrawContext* context) {
  if (pBackground)
    pBackground->draw(context, size);
  else {
    context->setFillColor(kBlackCColor);
    context->drawRect(size, kDrawFilled);
  }
}

CRect CFrame::platformRedraw() {
  if (!platform || closed) return CRect();
  std::vector<CRect> regions;
  if (wholeFrameDirty.exchange(false, std::memory_order_relaxed)) {
    regions.push_back(size);
    invalidRects.clear();
  } else {
    regions.swap(invalidRects);
    for (CView* v : children)
      if (v->isVisible() && v->isDirty()) regions.push_back(v->getViewSize());
  }
  if (regions.empty()) return CRect();
  // Overlapping areas are merged so that no view is drawn twice for them.
  for (size_t i = 0; i < regions.size(); ++i) {
    for (size_t j = i + 1; j < regions.size();) {
      if (regions[i].rectOverlap(regions[j])) {
        regions[i].unite(regions[j]);
        regions.erase(regions.begin() + static_cast<long>(j));
        j = i + 1;
      } else {
        ++j;
      }
    }
  }
  CRect drawn;
  cairo_t* cr = cairo_create(platform->backBuffer());
  for (CRect region : regions) {
    region.bound(size);
    if (region.isEmpty()) continue;
    // At a scale, a view's device pixels may reach a pixel beyond its logical
    // rectangle (toolkit/DeviceScale.h), and the context draws a pixel beyond
    // the region: every view within reach of those pixels is drawn again.
    CRect reach(region);
    if (scale != 1.0) reach.inset(-3, -3);
    // Views change their dirty state while drawing; take a stable list.
    std::vector<CView*> toDraw;
    for (CView* v : children)
      if (v->isVisible() && v->checkUpdate(reach)) toDraw.push_back(v);
    {
      CDrawContext context(cr, region, scale);
      draw(&context);
      for (CView* v : toDraw) {
        Hold hold(v);
        v->setDirty(false);
        v->drawRect(&context, region);
        ++drawCount;
      }
      drawn.unite(context.getDeviceClip());
    }
  }
  cairo_destroy(cr);
  cairo_surface_flush(platform->backBuffer());
  return drawn;
}

void CFrame::idle() {
  if (inIdle || closed || !platform) return;
  inIdle = true;
  Hold hold(this);
  platform->processEvents();
  if (!closed) {
    const CRect drawn = platformRedraw();
    if (platform) platform->present(drawn);
  }
  delete retiredPlatform;
  retiredPlatform = nullptr;
  inIdle = false;
}

// ---------------------------------------------------------------- mouse

void CFrame::setHoverView(CView* view, const CPoint& where, const CButtonState& buttons) {
  if (view == hoverView) return;
  CPoint p(where);
  if (CView* old = hoverView) {
    hoverView = nullptr;
    Hold hold(old);
    old->onMouseExited(p, buttons);
  }
  if (view && isChild(view)) {
    hoverView = view;
    Hold hold(view);
    view->onMouseEntered(p, buttons);
  }
}

void CFrame::updateHover(const CPoint& where, const CButtonState& buttons) {
  if (mouseDownView) return;  // no enter/exit during a drag
  CView* target = nullptr;
  if (modalView) {
    if (modalView->isVisible() && modalView->hitTest(where, buttons)) target = modalView;
  } else {
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      CView* v = *it;
      if (v->isVisible() && v->getMouseEnabled() && v->hitTest(where, buttons)) {
        target = v;
        break;
      }
    }
  }
  setHoverView(target, where, buttons);
}

CMouseEventResult CFrame::onMouseDown(CPoint& where, const CButtonState& buttons) {
  if (closed) return kMouseEventNotHandled;
  if (mouseDownView) {
    // Another button while dragging goes to the view that has the mouse.
    Hold hold(mouseDownView);
    CPoint p(where);
    return mouseDownView->onMouseDown(p, buttons);
  }
  std::vector<CView*> candidates;
  if (modalView) {
    if (modalView->isVisible() && modalView->getMouseEnabled() &&
        modalView->hitTest(where, buttons))
      candidates.push_back(modalView);
  } else {
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      CView* v = *it;
      if (v->isVisible() && v->getMouseEnabled() && v->hitTest(where, buttons))
        candidates.push_back(v);
    }
  }
  if (focusView && (candidates.empty() || candidates.front() != focusView)) setFocusView(nullptr);
  for (CView* v : candidates) {
    if (!isChild(v)) continue;  // removed by a view above it
    Hold hold(v);
    CPoint p(where);
    const CMouseEventResult result = v->onMouseDown(p, buttons);
    if (result == kMouseEventNotHandled || result == kMouseEventNotImplemented) continue;
    if (result == kMouseEventHandled && isChild(v)) mouseDownView = v;
    return result;
  }
  return kMouseEventNotHandled;
}

CMouseEventResult CFrame::onMouseUp(CPoint& where, const CButtonState& buttons) {
  CMouseEventResult result = kMouseEventNotHandled;
  if (CView* v = mouseDownView) {
    mouseDownView = nullptr;
    Hold hold(v);
    CPoint p(where);
    result = v->onMouseUp(p, buttons);
  }
  if (mouseLocationKnown) updateHover(mouseLocation, 0);
  return result;
}

CMouseEventResult CFrame::onMouseMoved(CPoint& where, const CButtonState& buttons) {
  if (CView* v = mouseDownView) {
    Hold hold(v);
    CPoint p(where);
    const CMouseEventResult result = v->onMouseMoved(p, buttons);
    if (result == kMouseMoveEventHandledButDontNeedMoreEvents && mouseDownView == v)
      mouseDownView = nullptr;
    return result;
  }
  updateHover(where, buttons);
  if (CView* v = hoverView) {
    Hold hold(v);
    CPoint p(where);
    return v->onMouseMoved(p, buttons);
  }
  return kMouseEventNotHandled;
}

bool CFrame::onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) {
  if (closed) return false;
  if (mouseDownView) {
    Hold hold(mouseDownView);
    return mouseDownView->onWheel(where, distance, buttons);
  }
  std::vector<CView*> candidates;
  if (modalView) {
    if (modalView->isVisible() && modalView->hitTest(where, buttons))
      candidates.push_back(modalView);
  } else {
    for (auto it = children.rbegin(); it != children.rend(); ++it)
      if ((*it)->isVisible() && (*it)->getMouseEnabled() && (*it)->hitTest(where, buttons))
        candidates.push_back(*it);
  }
  for (CView* v : candidates) {
    if (!isChild(v)) continue;
    Hold hold(v);
    if (v->onWheel(where, distance, buttons)) return true;
  }
  return false;
}

int32_t CFrame::onKeyDown(VstKeyCode& keyCode) {
  if (CView* v = focusView) {
    Hold hold(v);
    return v->onKeyDown(keyCode);
  }
  return -1;
}

int32_t CFrame::onKeyUp(VstKeyCode& keyCode) {
  if (CView* v = focusView) {
    Hold hold(v);
    return v->onKeyUp(keyCode);
  }
  return -1;
}

// ---------------------------------------------------------------- backends

CMouseEventResult CFrame::platformMouseDown(CPoint where, CButtonState buttons, uint32_t timeMs) {
  where = toLogical(where);
  const int32_t button = buttons & (kLButton | kMButton | kRButton);
  const bool near = std::fabs(where.x - lastClickPoint.x) <= kDoubleClickDistance &&
                    std::fabs(where.y - lastClickPoint.y) <= kDoubleClickDistance;
  // A third click in a row starts a new pair.
  if (haveLastClick && !lastClickWasDouble && button == lastClickButton &&
      static_cast<uint32_t>(timeMs - lastClickTime) <= kDoubleClickTimeMs && near) {
    buttons |= kDoubleClick;
    lastClickWasDouble = true;
  } else {
    lastClickWasDouble = (buttons & kDoubleClick) != 0;
  }
  haveLastClick = true;
  lastClickTime = timeMs;
  lastClickPoint = where;
  lastClickButton = button;
  mouseLocation = where;
  mouseLocationKnown = true;
  currentButtons = buttons;
  if (platform) platform->takeKeyboardFocus();
  // The press may be the first news of the pointer (no motion before it).
  updateHover(where, buttons);
  return onMouseDown(where, buttons);
}

CMouseEventResult CFrame::platformMouseUp(CPoint where, CButtonState buttons) {
  where = toLogical(where);
  mouseLocation = where;
  mouseLocationKnown = true;
  currentButtons = 0;
  return onMouseUp(where, buttons);
}

CMouseEventResult CFrame::platformMouseMoved(CPoint where, CButtonState buttons) {
  where = toLogical(where);
  mouseLocation = where;
  mouseLocationKnown = true;
  currentButtons = buttons;
  return onMouseMoved(where, buttons);
}

void CFrame::platformMouseLeft(CPoint where, CButtonState buttons) {
  where = toLogical(where);
  mouseLocation = where;
  mouseLocationKnown = true;
  if (!mouseDownView) setHoverView(nullptr, where, buttons);
}

bool CFrame::platformWheel(CPoint where, float distance, CButtonState buttons) {
  where = toLogical(where);
  mouseLocation = where;
  mouseLocationKnown = true;
  return onWheel(where, distance, buttons);
}

int32_t CFrame::platformKeyDown(VstKeyCode& key) {
  return onKeyDown(key);
}
int32_t CFrame::platformKeyUp(VstKeyCode& key) {
  return onKeyUp(key);
}
void CFrame::platformFocusLost() {
  setFocusView(nullptr);
}
