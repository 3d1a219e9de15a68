// An image, usually a skin bitmap embedded in the library. Reference counted:
// whoever loads one calls forget() after handing it to the views that use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "toolkit/CBaseObject.h"
#include "toolkit/CRect.h"

class CDrawContext;
struct _cairo_surface;  // cairo_surface_t

class CBitmap : public CBaseObject {
 public:
  // The embedded PNG with this integer id; an unknown id gives an unloaded
  // bitmap of size 0 × 0 that draws nothing. The size comes from the PNG's
  // header; the image is decoded when it is first drawn at scale 1 (at other
  // scales the image drawn for the scale is used instead).
  explicit CBitmap(int32_t resourceId);
  // Decodes PNG data held in memory.
  CBitmap(const void* pngData, std::size_t size);
  // A width × height image from 32-bit ARGB pixels (non-premultiplied, row by
  // row); null pixels give a transparent image.
  CBitmap(int32_t width, int32_t height, const uint32_t* argbPixels = nullptr);
  ~CBitmap() override;
  CBitmap(const CBitmap&) = delete;
  CBitmap& operator=(const CBitmap&) = delete;

  bool isLoaded() const { return surface != nullptr || resource != nullptr; }
  int32_t getResourceId() const { return resourceId; }
  CCoord getWidth() const { return width; }
  CCoord getHeight() const { return height; }

  // Draws the part of the image that starts at `offset` into `destRect`. On a
  // context with a scale, an image made from an id is drawn from its version
  // for that scale, pixel for pixel, when the resource provider has one.
  void draw(CDrawContext* context, const CRect& destRect, const CPoint& offset = CPoint(0, 0),
            float alpha = 1.f);

  // The decoded image; null when it does not decode.
  _cairo_surface* getSurface();

 private:
  void adopt(_cairo_surface* decoded);
  // Decodes the embedded image the first time; false when there is none.
  bool decode();
  // Image `index` drawn for `scale`, or null; the count of images is -1 until
  // the provider was asked, 0 when it has no drawing for the scale.
  _cairo_surface* imageFor(double scale, int32_t index);
  void releaseScaled();
  void drawScaled(CDrawContext* context, const CRect& destRect, const CPoint& offset, float alpha,
                  double scale);

  int32_t resourceId = -1;
  int32_t width = 0;
  int32_t height = 0;
  _cairo_surface* surface = nullptr;
  const struct CResource* resource = nullptr;  // not decoded yet
  double scaledFor = 1.0;
  int32_t scaledCount = -1;
  std::vector<_cairo_surface*> scaledImages;
};
