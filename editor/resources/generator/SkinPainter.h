// The skin's images drawn for a scale of 1 to 3 (device pixels of that
// scale, toolkit/DeviceScale.h). Used by the skin generator, which writes the
// images at 100 % as the committed PNGs, and by the editor, which draws the
// images for any other scale once per process.
#pragma once

#include <cairo.h>

namespace skin {

constexpr int kSkinImageCount = 36;
// Every image of the skin (editor/resources/resource_ids.h).
extern const int kSkinImageIds[kSkinImageCount];

// The window background at `scale`; every other image is drawn over it.
cairo_surface_t* paintBackground(double scale);

// Image `id` at `scale`, drawn over `background` (the background at the same
// scale): a new surface the caller destroys, or null for an id the skin does
// not have.
cairo_surface_t* paintImage(int id, double scale, cairo_surface_t* background);

// Image `index` of the strip `id` alone, as it is in paintImage's strip: a new
// surface of one image's device size, or null for an unknown id or index.
// Drawing one image of a strip costs a hundredth of drawing a knob's strip.
cairo_surface_t* paintOneImage(int id, double scale, cairo_surface_t* background, int index);

// The number of images stacked vertically in image `id`; 0 for an unknown id.
int imageCount(int id);

}  // namespace skin
