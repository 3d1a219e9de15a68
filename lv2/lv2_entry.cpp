// The bundle's entry point: the one exported name, lv2_descriptor, and the
// C functions of the descriptor and of the state interface. Nothing thrown
// crosses into the host.
#include <string_view>

#include "lv2/Lv2Korva.h"
#include "lv2/core/lv2.h"
#include "lv2/state/state.h"

namespace {

using korvalv2::Lv2Korva;

Lv2Korva* self(LV2_Handle h) {
  return static_cast<Lv2Korva*>(h);
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
  try {
    return Lv2Korva::create(rate, features);
  } catch (...) {
    return nullptr;
  }
}

void connectPort(LV2_Handle h, uint32_t port, void* data) {
  self(h)->connect(port, data);
}

void activate(LV2_Handle h) {
  try {
    self(h)->activate();
  } catch (...) {
  }
}

void run(LV2_Handle h, uint32_t frames) {
  self(h)->run(frames);
}

void deactivate(LV2_Handle h) {
  self(h)->deactivate();
}

void cleanup(LV2_Handle h) {
  delete self(h);
}

LV2_State_Status save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle,
                      uint32_t, const LV2_Feature* const*) {
  try {
    return self(h)->save(store, handle);
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

LV2_State_Status restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle handle, uint32_t, const LV2_Feature* const*) {
  try {
    return self(h)->restore(retrieve, handle);
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

const LV2_State_Interface kState = {save, restore};

const void* extensionData(const char* uri) {
  if (uri && std::string_view(uri) == LV2_STATE__interface) return &kState;
  return nullptr;
}

const LV2_Descriptor kDescriptor = {KORVA_LV2_URI, instantiate, connectPort, activate,
                                    run,           deactivate,  cleanup,     extensionData};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
