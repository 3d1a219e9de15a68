// A tiny LV2 effect for testing korva-host, written against the LV2 headers
// only: out = in * gain * 2 * level, where the gain is a control port and the
// level (0..1, 0.5 at start) lives in the plug-in's state as the property
// urn:korva-host-test:level, an atom:Float. Restore refuses a state without
// the property (LV2_STATE_ERR_NO_PROPERTY), of another type
// (LV2_STATE_ERR_BAD_TYPE) or outside 0..1 (LV2_STATE_ERR_UNKNOWN), and then
// keeps its level.
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr char kUri[] = "urn:korva-host-test:gain";
constexpr char kLevel[] = "urn:korva-host-test:level";

struct Test {
  const float* in[2] = {};
  float* out[2] = {};
  const float* gain = nullptr;
  float level = 0.5f;
  LV2_URID levelKey = 0, floatType = 0;
};

LV2_Handle instantiate(const LV2_Descriptor*, double, const char*,
                       const LV2_Feature* const* features) {
  const LV2_URID_Map* map = nullptr;
  for (int i = 0; features && features[i]; ++i)
    if (std::strcmp(features[i]->URI, LV2_URID__map) == 0)
      map = static_cast<const LV2_URID_Map*>(features[i]->data);
  if (map == nullptr) return nullptr;
  Test* t = new Test;
  t->levelKey = map->map(map->handle, kLevel);
  t->floatType = map->map(map->handle, LV2_ATOM__Float);
  return t;
}

void connect(LV2_Handle h, uint32_t port, void* data) {
  Test* t = static_cast<Test*>(h);
  if (port < 2) t->in[port] = static_cast<const float*>(data);
  if (port >= 2 && port < 4) t->out[port - 2] = static_cast<float*>(data);
  if (port == 4) t->gain = static_cast<const float*>(data);
}

void run(LV2_Handle h, uint32_t frames) {
  Test* t = static_cast<Test*>(h);
  const float g = *t->gain * 2.0f * t->level;
  for (int c = 0; c < 2; ++c)
    for (uint32_t i = 0; i < frames; ++i) t->out[c][i] = t->in[c][i] * g;
}

void cleanup(LV2_Handle h) {
  delete static_cast<Test*>(h);
}

LV2_State_Status save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle,
                      uint32_t, const LV2_Feature* const*) {
  Test* t = static_cast<Test*>(h);
  return store(handle, t->levelKey, &t->level, sizeof(float), t->floatType,
               LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle handle, uint32_t, const LV2_Feature* const*) {
  Test* t = static_cast<Test*>(h);
  size_t size = 0;
  uint32_t type = 0, flags = 0;
  const void* value = retrieve(handle, t->levelKey, &size, &type, &flags);
  if (value == nullptr) return LV2_STATE_ERR_NO_PROPERTY;
  if (type != t->floatType || size != sizeof(float)) return LV2_STATE_ERR_BAD_TYPE;
  float level = 0;
  std::memcpy(&level, value, sizeof level);
  if (!(level >= 0.0f && level <= 1.0f)) return LV2_STATE_ERR_UNKNOWN;
  t->level = level;
  return LV2_STATE_SUCCESS;
}

const void* extensionData(const char* uri) {
  static const LV2_State_Interface state{save, restore};
  return std::strcmp(uri, LV2_STATE__interface) == 0 ? &state : nullptr;
}

const LV2_Descriptor descriptor{kUri, instantiate, connect, nullptr,
                                run,  nullptr,     cleanup, extensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(
    uint32_t index) {
  return index == 0 ? &descriptor : nullptr;
}
