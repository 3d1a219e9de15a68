// A button that shows a view over the window until that view is clicked. The
// button itself draws nothing. A left click toggles its value between min and
// max; at max it shows its background bitmap (from `offset`) over `toDisplay`
// as the frame's modal view. A left click on that view calls unSplash(),
// marks the frame dirty, clears the modal view and releases the view.
#pragma once

#include "toolkit/CControl.h"

class CSplashScreen : public CControl {
 public:
  CSplashScreen(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
                const CRect& toDisplay, const CPoint& offset = CPoint(0, 0));
  CSplashScreen(const CSplashScreen& other) = default;

  void draw(CDrawContext* context) override;  // nothing; marks clean
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  // Returns to the minimum value and redraws; the shown view removes itself.
  virtual void unSplash();

  const CRect& getDisplayRect() const { return toDisplay; }
  const CPoint& getDisplayOffset() const { return offset; }

  const char* getClassName() const override { return "CSplashScreen"; }
  CView* newCopy() const override { return new CSplashScreen(*this); }

 protected:
  CRect toDisplay;
  CPoint offset;
};
