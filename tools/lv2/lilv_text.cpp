#include "tools/lv2/lilv_text.h"

#include <lv2/presets/presets.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace khost {

namespace {

int logVprintf(LV2_Log_Handle, LV2_URID, const char* format, va_list args) {
  return std::vfprintf(stderr, format, args);
}

int logPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = logVprintf(handle, type, format, args);
  va_end(args);
  return n;
}

}  // namespace

std::string takeText(LilvNode* node) {
  std::string s = node != nullptr ? lilv_node_as_string(node) : "";
  lilv_node_free(node);
  return s;
}

std::vector<std::string> takeTexts(LilvNodes* nodes) {
  std::vector<std::string> out;
  LILV_FOREACH(nodes, i, nodes) out.push_back(lilv_node_as_string(lilv_nodes_get(nodes, i)));
  lilv_nodes_free(nodes);
  return out;
}

LV2_Log_Log* stderrLog() {
  static LV2_Log_Log log{nullptr, logPrintf, logVprintf};
  return &log;
}

std::vector<Lv2PresetRef> presetsOf(LilvWorld* world, const LilvPlugin* plugin) {
  std::vector<Lv2PresetRef> out;
  LilvNode* presetClass = lilv_new_uri(world, LV2_PRESETS__Preset);
  LilvNode* label = lilv_new_uri(world, LILV_NS_RDFS "label");
  LilvNodes* related = lilv_plugin_get_related(plugin, presetClass);
  LILV_FOREACH(nodes, i, related) {
    const LilvNode* p = lilv_nodes_get(related, i);
    lilv_world_load_resource(world, p);
    LilvNodes* labels = lilv_world_find_nodes(world, p, label, nullptr);
    Lv2PresetRef preset;
    preset.uri = lilv_node_as_uri(p);
    if (labels != nullptr && lilv_nodes_size(labels) > 0)
      preset.label = lilv_node_as_string(lilv_nodes_get_first(labels));
    lilv_nodes_free(labels);
    out.push_back(preset);
  }
  lilv_nodes_free(related);
  lilv_node_free(label);
  lilv_node_free(presetClass);
  std::sort(out.begin(), out.end(),
            [](const Lv2PresetRef& a, const Lv2PresetRef& b) { return a.uri < b.uri; });
  return out;
}

}  // namespace khost
