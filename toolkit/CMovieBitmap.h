// A filmstrip display: subPixmaps images of heightOfOneImage pixels stacked
// vertically; shows image (int)(normalized value × (subPixmaps − 1) + 0.5),
// clamped to the strip. Takes no mouse input.
#pragma once

#include "toolkit/CControl.h"

class CMovieBitmap : public CControl {
 public:
  // The image count is the bitmap height divided by the view height.
  CMovieBitmap(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
               const CPoint& offset = CPoint(0, 0));
  CMovieBitmap(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
               CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint(0, 0));
  CMovieBitmap(const CMovieBitmap& other) = default;

  void draw(CDrawContext* context) override;
  void setNumSubPixmaps(int32_t n) { subPixmaps = n; }
  int32_t getNumSubPixmaps() const { return subPixmaps; }
  void setHeightOfOneImage(CCoord h) { heightOfOneImage = h; }
  CCoord getHeightOfOneImage() const { return heightOfOneImage; }

  const char* getClassName() const override { return "CMovieBitmap"; }
  CView* newCopy() const override { return new CMovieBitmap(*this); }

 protected:
  int32_t subPixmaps;
  CCoord heightOfOneImage;
};
