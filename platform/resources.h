#pragma once

#include <cstddef>

namespace platform {

// One image embedded in the library: a PNG file, stored as-is.
struct Resource {
  int id;
  const unsigned char* data;
  std::size_t size;
};

// Finds the embedded image with the given integer id, or nullptr when the
// library carries no such image. `module` is the library handle recorded at
// load time; every library has exactly one table, so it may be null.
const Resource* findResource(void* module, int id);

}  // namespace platform
