// The about button over the skin's logo and the view it shows: the about image
// with the version drawn on it, closed by a left click.
#pragma once

#include "toolkit/CSplashScreen.h"

class CAbout : public CSplashScreen {
 public:
  CAbout(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
         const CRect& toDisplay, const CPoint& offset, const CPoint& versionPosition);
  CAbout(const CAbout& other) = default;

  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

  const char* getClassName() const override { return "CAbout"; }
  CView* newCopy() const override { return new CAbout(*this); }

 protected:
  CPoint versionPosition;
};

class CSplashScreenMyView : public CControl {
 public:
  CSplashScreenMyView(const CRect& size, CBitmap* background, CAbout* owner,
                      const CPoint& versionPosition);
  CSplashScreenMyView(const CSplashScreenMyView& other) = default;

  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

  const char* getClassName() const override { return "CSplashScreenMyView"; }
  CView* newCopy() const override { return new CSplashScreenMyView(*this); }

 protected:
  CAbout* owner;
  CPoint versionPosition;
};
