// The bundle's entry points: the two exported names, lv2_descriptor and
// lv2ui_descriptor (plug-in and UI share the binary, so the UI can use the
// instance it is given), and the C functions of the descriptors and of the
// state and idle interfaces. Nothing thrown crosses into the host.
#include <string_view>

#include "lv2/Lv2Korva.h"
#include "lv2/Lv2Ui.h"
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
  self(h)->cleanup();
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

using korvalv2::Lv2KorvaUi;

Lv2KorvaUi* ui(LV2UI_Handle h) {
  return static_cast<Lv2KorvaUi*>(h);
}

LV2UI_Handle instantiateUi(const LV2UI_Descriptor*, const char*, const char*,
                           LV2UI_Write_Function write, LV2UI_Controller controller,
                           LV2UI_Widget* widget, const LV2_Feature* const* features) {
  try {
    return Lv2KorvaUi::create(write, controller, widget, features);
  } catch (...) {
    return nullptr;
  }
}

void cleanupUi(LV2UI_Handle h) {
  delete ui(h);
}

void portEvent(LV2UI_Handle h, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  ui(h)->portEvent(port, size, format, buffer);
}

int idleUi(LV2UI_Handle h) {
  try {
    return ui(h)->idle();
  } catch (...) {
    return 0;
  }
}

const LV2UI_Idle_Interface kIdle = {idleUi};

uint32_t getUiOptions(LV2_Handle, LV2_Options_Option*) {
  return LV2_OPTIONS_ERR_UNKNOWN;
}

uint32_t setUiOptions(LV2_Handle h, const LV2_Options_Option* options) {
  try {
    return ui(h)->setOptions(options);
  } catch (...) {
    return LV2_OPTIONS_ERR_UNKNOWN;
  }
}

const LV2_Options_Interface kUiOptions = {getUiOptions, setUiOptions};

const void* uiExtensionData(const char* uri) {
  if (uri && std::string_view(uri) == LV2_UI__idleInterface) return &kIdle;
  if (uri && std::string_view(uri) == LV2_OPTIONS__interface) return &kUiOptions;
  return nullptr;
}

const LV2UI_Descriptor kUiDescriptor = {KORVA_LV2_UI_URI, instantiateUi, cleanupUi, portEvent,
                                        uiExtensionData};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &kUiDescriptor : nullptr;
}
