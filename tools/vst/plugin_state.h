// Saving and restoring a plug-in's state as .fxp, .fxb or a raw chunk file,
// chosen by the file's extension.
#pragma once

#include <string>

#include "tools/vst/plugin.h"

namespace khost {

// Validates the whole file before touching the plug-in, so a refused file
// changes nothing. Throws HostError(kExitIo) for unreadable or refused files.
void loadState(const Plugin& plugin, const std::string& path);
void saveState(const Plugin& plugin, const std::string& path);

}  // namespace khost
