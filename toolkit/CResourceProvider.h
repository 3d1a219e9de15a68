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
