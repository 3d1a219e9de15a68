// The library's only exported symbols: VSTPluginMain and main, one function.
#include "host/AudioEffect.h"

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(
    audioMasterCallback audioMaster) {
  return pluginEntry(audioMaster);
}

// Older hosts look for "main"; it is an alias of the same function.
extern "C" __attribute__((visibility("default"), alias("VSTPluginMain"))) AEffect* vstMainAlias(
    audioMasterCallback audioMaster) __asm__("main");
