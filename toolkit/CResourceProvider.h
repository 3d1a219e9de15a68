// Where a bitmap made from an integer id finds its PNG bytes. The toolkit
// carries no images of its own: whoever brings them (the program that builds
// the frames) registers one lookup, once, before the first such bitmap.
// Bitmaps made while none is registered are empty and draw nothing.
#pragma once

#include <cstddef>
#include <cstdint>

// One embedded image: a PNG file, stored as-is.
struct CResource {
  int32_t id;
  const unsigned char* data;
  std::size_t size;
};

// The image with this id, or null when there is none.
using CResourceProvider = const CResource* (*)(int32_t id);

// Process-wide and safe on any thread; a later call replaces the lookup, null
// removes it.
void setResourceProvider(CResourceProvider provider);
CResourceProvider getResourceProvider();

// Image `index` of the bitmap with this id, drawn for a frame at `scale`
// (not 1): a new reference to an image surface of that one image, in the
// scale's device pixels (toolkit/DeviceScale.h), or null. *images is set to
// the number of images the bitmap stacks vertically, 0 when there is no
// drawing for the scale (the bitmap then stretches its own image). Called on
// the thread that draws; process-wide like the lookup above.
struct _cairo_surface;
using CScaledResourceProvider = _cairo_surface* (*)(int32_t id, double scale, int32_t index,
                                                    int32_t* images);
void setScaledResourceProvider(CScaledResourceProvider provider);
CScaledResourceProvider getScaledResourceProvider();
