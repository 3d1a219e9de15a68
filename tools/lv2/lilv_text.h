// Small pieces both LV2 hosts of korva-host need: the text of lilv's nodes,
// freed as they are read, and an LV2 log that writes to stderr.
#pragma once

#include <lilv/lilv.h>
#include <lv2/log/log.h>

#include <string>
#include <vector>

namespace khost {

// A string's or URI's text ("" for none); the node is freed.
std::string takeText(LilvNode* node);
// The texts of a node collection; the collection is freed.
std::vector<std::string> takeTexts(LilvNodes* nodes);
// One log for every instance: its handle is unused.
LV2_Log_Log* stderrLog();

struct Lv2PresetRef {
  std::string uri, label;
};
// The plug-in's presets (each preset's resource loaded), sorted by URI.
std::vector<Lv2PresetRef> presetsOf(LilvWorld* world, const LilvPlugin* plugin);

}  // namespace khost
