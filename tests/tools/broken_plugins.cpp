// Libraries that are not usable plug-ins, one per KH_BROKEN kind:
// 1 no entry point at all, 2 an entry point that returns null,
// 3 an entry point whose record has a wrong magic.
#include "host/vst_abi.h"

#if KH_BROKEN == 1
extern "C" __attribute__((visibility("default"))) int khNotAnEntryPoint() {
  return 42;
}
#elif KH_BROKEN == 2
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback) {
  return nullptr;
}
#else
namespace {
AEffect record;
}
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback) {
  record.magic = vstFourCC('N', 'o', 'p', 'e');
  return &record;
}
#endif
