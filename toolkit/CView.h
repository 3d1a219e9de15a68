// Base of everything drawn in a frame. Views are reference counted; the frame
// owns the views added to it. Only the user-interface thread may call into a
// view, except setDirty()/isDirty() (and CControl's value), which any thread may use.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/vst_abi.h"
#include "toolkit/CBaseObject.h"
#include "toolkit/CButtonState.h"
#include "toolkit/CRect.h"

class CBitmap;
class CDrawContext;
class CFrame;

class CView : public CBaseObject {
 public:
  explicit CView(const CRect& size);
  CView(const CView& other);  // not attached, same size, background, flags
  ~CView() override;

  // Drawing. drawRect clips to updateRect (at a scale: to the view's device
  // pixels the context may draw on) and calls draw; draw of a plain view
  // draws its background bitmap, if any, and marks the view clean.
  virtual void draw(CDrawContext* context);
  virtual void drawRect(CDrawContext* context, const CRect& updateRect);
  virtual bool checkUpdate(const CRect& updateRect) const { return updateRect.rectOverlap(size); }

  // Mouse, in frame coordinates. The defaults answer "not implemented".
  virtual CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons);
  virtual CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons);
  virtual CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons);
  virtual CMouseEventResult onMouseEntered(CPoint& where, const CButtonState& buttons);
  virtual CMouseEventResult onMouseExited(CPoint& where, const CButtonState& buttons);
  // distance > 0 is a wheel step up (away from the user). True = consumed.
  virtual bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons);
  virtual bool hitTest(const CPoint& where, const CButtonState& buttons = CButtonState());

  // Keys go to the focus view. 1 = handled, -1 = not handled.
  virtual int32_t onKeyDown(VstKeyCode& keyCode);
  virtual int32_t onKeyUp(VstKeyCode& keyCode);
  virtual bool wantsFocus() const { return wantsFocusFlag; }
  void setWantsFocus(bool state) { wantsFocusFlag = state; }
  virtual void takeFocus() {}
  virtual void looseFocus() {}

  // Dirty state: a dirty view is redrawn at the frame's next idle.
  virtual void setDirty(bool state = true);
  virtual bool isDirty() const;
  virtual void invalid() { setDirty(true); }
  // Redraws a frame area at the next idle (user-interface thread only).
  void invalidRect(const CRect& rect);

  virtual void setViewSize(const CRect& rect, bool invalid = true);
  const CRect& getViewSize() const { return size; }
  CRect& getViewSize(CRect& rect) const { return rect = size; }
  CCoord getWidth() const { return size.getWidth(); }
  CCoord getHeight() const { return size.getHeight(); }
  virtual void setMouseableArea(const CRect& rect) { mouseableArea = rect; }
  const CRect& getMouseableArea() const { return mouseableArea; }

  void setMouseEnabled(bool state) { mouseEnabled = state; }
  bool getMouseEnabled() const { return mouseEnabled; }
  void setVisible(bool state);
  bool isVisible() const { return visible; }
  // A transparent view's background is not drawn by the view itself.
  void setTransparency(bool state) { transparent = state; }
  bool getTransparency() const { return transparent; }

  // Background bitmap; the view keeps its own reference.
  virtual void setBackground(CBitmap* background);
  CBitmap* getBackground() const { return pBackground; }

  virtual bool attached(CView* parent);
  virtual bool removed(CView* parent);
  bool isAttached() const { return parentView != nullptr; }
  CView* getParentView() const { return parentView; }
  CFrame* getFrame() const { return pParentFrame; }

  virtual const char* getClassName() const { return "CView"; }
  virtual CView* newCopy() const { return new CView(*this); }

 protected:
  CRect size;
  CRect mouseableArea;
  CBitmap* pBackground = nullptr;
  CFrame* pParentFrame = nullptr;
  CView* parentView = nullptr;
  bool mouseEnabled = true;
  bool visible = true;
  bool transparent = false;
  bool wantsFocusFlag = false;

 private:
  std::atomic<bool> dirty{false};
};
