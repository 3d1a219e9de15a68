#include "editor/CAbout.h"

#include "korva_version.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFontDesc.h"
#include "toolkit/CFrame.h"

namespace {
// The trailing tab is part of the stored text; it draws as nothing.
const char kVersionText[] = "v." KORVA_VERSION "\t";
}  // namespace

CAbout::CAbout(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
               const CRect& toDisplay, const CPoint& offset, const CPoint& versionPosition)
    : CSplashScreen(size, listener, tag, background, toDisplay, offset),
      versionPosition(versionPosition) {}

CMouseEventResult CAbout::onMouseDown(CPoint& /*where*/, const CButtonState& buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  setValue(getValue() == 0.f ? 1.f : 0.f);
  if (getValue() == 0.f) return kMouseEventHandled;
  CFrame* frame = getFrame();
  if (frame) {
    auto* view = new CSplashScreenMyView(toDisplay, pBackground, this, versionPosition);
    // The frame holds the view only while it is modal; the view releases
    // itself when clicked away, or goes with the frame.
    if (!frame->setModalView(view)) {
      view->forget();
      setValue(0.f);
    }
  }
  invalid();
  return kMouseEventHandled;
}

CSplashScreenMyView::CSplashScreenMyView(const CRect& size, CBitmap* background, CAbout* owner,
                                         const CPoint& versionPosition)
    : CControl(size, nullptr, 0, background), owner(owner), versionPosition(versionPosition) {}

void CSplashScreenMyView::draw(CDrawContext* context) {
  if (pBackground) pBackground->draw(context, size, CPoint(0, 0), 1.f);
  context->setFont(kNormalFont, 11);
  context->setFontColor(CColor(255, 255, 255, 255));
  const CRect textRect(size.left + versionPosition.x, size.top + versionPosition.y,
                       size.left + versionPosition.x + 100, size.top + versionPosition.y + 15);
  context->drawString(kVersionText, textRect, kLeftText, true);
  setDirty(false);
}

CMouseEventResult CSplashScreenMyView::onMouseDown(CPoint& /*where*/, const CButtonState& buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  if (owner) owner->unSplash();
  CFrame* frame = getFrame();
  if (frame) {
    frame->setDirty(true);
    frame->setModalView(nullptr);
  }
  forget();
  return kMouseEventHandled;
}
