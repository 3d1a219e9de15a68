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

// Makes this table the toolkit's resource provider (process-wide, idempotent).
void registerSkin();

}  // namespace skin
