#include "platform/ModuleHandle.h"

#include <dlfcn.h>

namespace platform {
namespace {

void* moduleHandle = nullptr;

void* findOwnBase() {
  Dl_info info{};
  // Any symbol of this library tells where the library starts.
  if (dladdr(reinterpret_cast<void*>(&findOwnBase), &info) != 0) return info.dli_fbase;
  return nullptr;
}

__attribute__((constructor)) void recordModuleHandle() {
  moduleHandle = findOwnBase();
}

}  // namespace

void* getModuleHandle() {
  if (!moduleHandle) moduleHandle = findOwnBase();
  return moduleHandle;
}

}  // namespace platform
