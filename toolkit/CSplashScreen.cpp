#include "toolkit/CSplashScreen.h"

#include "toolkit/CBitmap.h"
#include "toolkit/CFrame.h"

namespace {

// Shows the splash bitmap; a left click closes it.
class CSplashView : public CView {
 public:
  CSplashView(const CRect& size, CSplashScreen* owner, CBitmap* bitmap, const CPoint& offset)
      : CView(size), owner(owner), offset(offset) {
    setBackground(bitmap);
  }

  void draw(CDrawContext* context) override {
    if (pBackground) pBackground->draw(context, size, offset);
    setDirty(false);
  }

  CMouseEventResult onMouseDown(CPoint&, const CButtonState& buttons) override {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    CFrame* frame = getFrame();
    if (owner) owner->unSplash();
    if (frame) {
      frame->setDirty(true);
      frame->setModalView(nullptr);
    }
    forget();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
  }

  const char* getClassName() const override { return "CSplashView"; }

 private:
  CSplashScreen* owner;
  CPoint offset;
};

}  // namespace

CSplashScreen::CSplashScreen(const CRect& size, CControlListener* listener, int32_t tag,
                             CBitmap* background, const CRect& toDisplay, const CPoint& offset)
    : CControl(size, listener, tag, background), toDisplay(toDisplay), offset(offset) {}

void CSplashScreen::draw(CDrawContext*) {
  setDirty(false);
}

CMouseEventResult CSplashScreen::onMouseDown(CPoint&, const CButtonState& buttons) {
  if (!buttons.isLeftButton()) return kMouseEventNotHandled;
  CFrame* frame = getFrame();
  setValue(getValue() == vmax ? vmin : vmax);
  if (getValue() == vmax) {
    auto* view = new CSplashView(toDisplay, this, pBackground, offset);
    if (!frame || !frame->setModalView(view)) {
      view->forget();
      setValue(vmin);
    }
  }
  valueChanged();
  invalid();
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CSplashScreen::unSplash() {
  setValue(vmin);
  setDirty(true);
}
