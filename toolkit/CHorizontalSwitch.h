// Multi-position switch chosen by the horizontal mouse position: the width is
// split into maxPositions equal parts; part i gives value
// min + i × (max − min) / (maxPositions − 1). Press and drag select; each change
// reaches the listener; the gesture is one edit bracket. Drawn as a filmstrip
// (image (int)(normalized value × (subPixmaps − 1) + 0.5)).
#pragma once

#include "toolkit/CControl.h"

class CHorizontalSwitch : public CControl {
 public:
  CHorizontalSwitch(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                    CCoord heightOfOneImage, int32_t maxPositions, CBitmap* background,
                    const CPoint& offset = CPoint(0, 0));
  CHorizontalSwitch(const CHorizontalSwitch& other) = default;

  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;

  const char* getClassName() const override { return "CHorizontalSwitch"; }
  CView* newCopy() const override { return new CHorizontalSwitch(*this); }

 protected:
  int32_t subPixmaps;
  CCoord heightOfOneImage;
  int32_t maxPositions;
};
