// The handle of the library this code is linked into, recorded when the
// library is loaded (its load address); resources are looked up through it.
#pragma once

namespace platform {

void* getModuleHandle();

}  // namespace platform
