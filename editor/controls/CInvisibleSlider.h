// An invisible drag area over the delay readout. Upward travel counts fully,
// rightward travel half; a full sweep is 1000 pixels (4000 with Shift held from
// the press). Changing a modifier mid-drag re-bases the drag so the value stays
// where it is and only the rate changes.
#pragma once

#include "toolkit/CControl.h"

class CInvisibleSlider : public CControl {
 public:
  CInvisibleSlider(const CRect& size, CControlListener* listener, int32_t tag);
  CInvisibleSlider(const CInvisibleSlider& other) = default;

  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
  bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;

  bool isDragging() const { return dragging; }
  float getPixelIncrement() const { return pixelIncrement; }

  const char* getClassName() const override { return "CInvisibleSlider"; }
  CView* newCopy() const override { return new CInvisibleSlider(*this); }

 protected:
  bool dragging = false;
  float pixelIncrement = 0.f;
  float baseValue = 0.f;
  int32_t dragButtons = 0;
  double pressX = 0;
  double pressY = 0;
};
