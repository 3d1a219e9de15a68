// The skin's images, embedded in the library and found by integer id
// (resource_ids.h). The editor registers the table as the toolkit's resource
// provider before it makes its first bitmap.
#pragma once

#include "toolkit/CResourceProvider.h"

namespace skin {

using Resource = CResource;

// The embedded image with the given integer id, or nullptr when the library
// carries no such image. Every library has exactly one table, so `module`
// (a library handle) may be null and is not needed.
const Resource* findResource(void* module, int id);

// Image `index` of skin image `id` drawn for a scale other than 1 (a quarter
// step up to 3), with the number of images stacked in `id`: the toolkit's
// scaled resource provider (toolkit/CResourceProvider.h). Each image is drawn
// once per process and scale, when first asked for.
_cairo_surface* scaledImage(int32_t id, double scale, int32_t index, int32_t* images);

// Makes this table and the scaled images the toolkit's resource providers
// (process-wide, idempotent).
void registerSkin();

}  // namespace skin
