#include <new>

#include "host/AudioEffect.h"

AEffect* pluginEntry(audioMasterCallback audioMaster) {
  if (!audioMaster) return nullptr;
  try {
    // A host that answers 0 to the version query is too old for us.
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    AudioEffect* effect = createEffectInstance(audioMaster);
    if (!effect) return nullptr;
    return effect->getAeffect();
  } catch (...) {
    return nullptr;
  }
}
