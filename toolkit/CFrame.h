// The window of an editor and the only container of views. Views are kept in
// drawing order (first added is drawn first; last added is on top and gets the
// mouse first). Owns its views: removeView and the frame's end forget them.
//
// Backends: created with a parent window (an X11 Window id passed as void*),
// the frame opens its own X display connection and a child window of that
// parent; created with a null parent, it draws into an offscreen image only
// (tests, screenshots), driven through toolkit/OffscreenFrame.h. Both draw the
// same way into a back buffer; only dirty views are redrawn, at idle().
//
// Scale: views live in logical coordinates (the frame's size); the window and
// its back buffer have the device pixels of the frame's scale
// (toolkit/DeviceScale.h). Drawing is done for the device, so text and images
// made for the scale stay sharp; the backends' events arrive in device pixels
// and reach the views in logical coordinates.
//
// Threads: everything runs on the user-interface thread except what CView and
// CControl allow from others (values and dirty flags).
#pragma once

#include <cstdint>
#include <vector>

#include "toolkit/CView.h"

class VSTGUIEditorInterface;
namespace toolkit {
class PlatformFrame;
}

class CFrame : public CView {
 public:
  CFrame(const CRect& size, void* systemWindow, VSTGUIEditorInterface* editor, double scale = 1.0);
  // Tears down the window and releases every view, then forgets the frame
  // (the frame is gone afterwards unless someone else holds a reference).
  virtual void close();

  // true when the frame shows in a real window (false: offscreen).
  bool isWindowed() const;

  // Device pixels per logical pixel, 1 to 3. A new scale resizes the window
  // and its buffer to the frame's size at that scale and redraws everything;
  // false when it is the current one or not a scale.
  double getScale() const { return scale; }
  bool setScale(double newScale);
  // The frame's size in device pixels.
  CRect getDeviceSize() const;
  void* getSystemWindow() const { return systemWindow; }
  VSTGUIEditorInterface* getEditor() const { return editor; }

  // Views, in drawing order.
  virtual bool addView(CView* view);  // takes over the caller's reference
  virtual bool removeView(CView* view, bool withForget = true);
  virtual bool removeAll(bool withForget = true);
  bool isChild(const CView* view) const;
  int32_t getNbViews() const { return static_cast<int32_t>(children.size()); }
  CView* getView(int32_t index) const;
  // The topmost visible child whose mouseable area holds `where`, or null.
  CView* getViewAt(const CPoint& where) const;

  // A modal view is added as the top child and is the only view that gets
  // mouse events. setModalView(nullptr) removes it from the frame without
  // forgetting it (the view, or whoever made it modal, releases it). Refused
  // (false) while another modal view is set.
  bool setModalView(CView* view);
  CView* getModalView() const { return modalView; }

  // Keyboard focus: key events go to the focus view first.
  void setFocusView(CView* view);
  CView* getFocusView() const { return focusView; }

  // Last known mouse position in frame coordinates; false when unknown.
  bool getCurrentMouseLocation(CPoint& where) const;
  CButtonState getCurrentMouseButtons() const { return currentButtons; }
  CView* getMouseDownView() const { return mouseDownView; }

  // Whole-frame redraw at the next idle.
  void setDirty(bool state = true) override;
  bool isDirty() const override;
  void invalidFrameRect(const CRect& rect);
  void setBackground(CBitmap* background) override;

  // Processes pending window events and redraws what is dirty. UI thread only.
  virtual void idle();
  // Number of view draw() calls made by idle() so far (tests and benchmarks).
  uint64_t getDrawCount() const { return drawCount; }

  // Edit brackets from controls, passed to the editor.
  void beginEdit(int32_t index);
  void endEdit(int32_t index);

  // Entry points of the backends, in device pixels. `timeMs` is the event time
  // in milliseconds; two left presses within kDoubleClickTimeMs and
  // kDoubleClickDistance (logical pixels) get kDoubleClick added.
  CMouseEventResult platformMouseDown(CPoint where, CButtonState buttons, uint32_t timeMs);
  CMouseEventResult platformMouseUp(CPoint where, CButtonState buttons);
  CMouseEventResult platformMouseMoved(CPoint where, CButtonState buttons);
  void platformMouseLeft(CPoint where, CButtonState buttons);
  bool platformWheel(CPoint where, float distance, CButtonState buttons);
  int32_t platformKeyDown(VstKeyCode& key);
  int32_t platformKeyUp(VstKeyCode& key);
  void platformFocusLost();
  // Draws the dirty part into the back buffer and returns the device area drawn.
  CRect platformRedraw();

  static constexpr uint32_t kDoubleClickTimeMs = 400;
  static constexpr CCoord kDoubleClickDistance = 4;

  // Mouse entry points as a view (frame coordinates); used by the editor
  // binding and by tests that bypass the backends.
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
  bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
  int32_t onKeyDown(VstKeyCode& keyCode) override;
  int32_t onKeyUp(VstKeyCode& keyCode) override;
  void draw(CDrawContext* context) override;

  const char* getClassName() const override { return "CFrame"; }
  CView* newCopy() const override { return nullptr; }

  toolkit::PlatformFrame* getPlatformFrame() const { return platform; }

 protected:
  ~CFrame() override;

 private:
  void updateHover(const CPoint& where, const CButtonState& buttons);
  void setHoverView(CView* view, const CPoint& where, const CButtonState& buttons);
  void forgetChildPointers(CView* view);
  void teardown();
  CPoint toLogical(const CPoint& device) const;

  std::vector<CView*> children;
  VSTGUIEditorInterface* editor;
  void* systemWindow;
  double scale;
  toolkit::PlatformFrame* platform = nullptr;
  toolkit::PlatformFrame* retiredPlatform = nullptr;  // closed during its own events
  CView* modalView = nullptr;
  CView* focusView = nullptr;
  CView* mouseDownView = nullptr;  // mouse capture during a drag
  CView* hoverView = nullptr;
  std::vector<CRect> invalidRects;
  std::atomic<bool> wholeFrameDirty{true};
  CPoint mouseLocation;
  bool mouseLocationKnown = false;
  CButtonState currentButtons;
  uint32_t lastClickTime = 0;
  CPoint lastClickPoint;
  int32_t lastClickButton = 0;
  bool lastClickWasDouble = false;
  bool haveLastClick = false;
  uint64_t drawCount = 0;
  bool inIdle = false;
  bool closed = false;
};
