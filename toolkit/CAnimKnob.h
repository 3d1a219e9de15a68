// Knobs. Dragging follows the process-wide knob mode (AEffGUIEditor::getKnobMode):
//  - kLinearMode: the value follows straight-line mouse travel, up and right
//    increase it; a full sweep takes getKnobRange() pixels (200), times the
//    zoom factor while Shift is held (fine adjustment; re-based when Shift
//    changes mid-drag so the value does not jump);
//  - kCircularMode: the value follows the angle of the mouse around the
//    centre, over a 270 degree arc starting bottom-left;
//  - kRelativCircularMode: angle changes move the value (divided by the zoom
//    factor with Shift).
// The wheel adds distance × wheel increment (a tenth of it with Shift); a Ctrl
// left click resets to the default value. Each gesture is one edit bracket.
#pragma once

#include "toolkit/CControl.h"

class CKnob : public CControl {
 public:
  CKnob(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
        const CPoint& offset = CPoint(0, 0));
  CKnob(const CKnob& other) = default;

  void draw(CDrawContext* context) override;  // background, then a pointer line
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
  bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
  int32_t onKeyDown(VstKeyCode& keyCode) override;  // arrow keys step by the wheel increment

  // Divisor of the drag speed while Shift is held.
  virtual void setZoomFactor(float val) { zoomFactor = val > 0 ? val : 1.f; }
  float getZoomFactor() const { return zoomFactor; }
  void setKnobRange(CCoord pixels) { knobRange = pixels > 0 ? pixels : 1; }
  CCoord getKnobRange() const { return knobRange; }
  void setStartAngle(float radians) { startAngle = radians; }
  void setRangeAngle(float radians) { rangeAngle = radians; }

  const char* getClassName() const override { return "CKnob"; }
  CView* newCopy() const override { return new CKnob(*this); }

 protected:
  // Value (in min..max) for the angle of `where` around the centre.
  float valueFromPoint(const CPoint& where) const;
  float angleOf(const CPoint& where) const;

  float zoomFactor = 1.5f;
  CCoord knobRange = 200;
  float startAngle = 3.14159265f * 0.75f;  // measured clockwise from 3 o'clock
  float rangeAngle = 3.14159265f * 1.5f;
  // Drag state.
  int32_t dragMode = -1;
  CPoint pressPoint;
  CButtonState dragButtons;
  float baseValue = 0.f;
  float coef = 0.f;
  float lastAngle = 0.f;
};

// A knob drawn from a filmstrip: subPixmaps images of heightOfOneImage pixels
// stacked vertically; image (int)(normalized value × (subPixmaps − 1) + 0.5).
class CAnimKnob : public CKnob {
 public:
  // The image count is the bitmap height divided by the view height.
  CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
            const CPoint& offset = CPoint(0, 0));
  CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
            CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint(0, 0));
  CAnimKnob(const CAnimKnob& other) = default;

  void draw(CDrawContext* context) override;
  void setNumSubPixmaps(int32_t n) { subPixmaps = n; }
  int32_t getNumSubPixmaps() const { return subPixmaps; }
  void setHeightOfOneImage(CCoord h) { heightOfOneImage = h; }
  CCoord getHeightOfOneImage() const { return heightOfOneImage; }
  // Draws the strip from its last image to its first.
  void setInverseBitmap(bool state) { inverseBitmap = state; }

  const char* getClassName() const override { return "CAnimKnob"; }
  CView* newCopy() const override { return new CAnimKnob(*this); }

 protected:
  int32_t subPixmaps;
  CCoord heightOfOneImage;
  bool inverseBitmap = false;
};
