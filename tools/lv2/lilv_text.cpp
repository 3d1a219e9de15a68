#include "tools/lv2/lilv_text.h"

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

}  // namespace khost
