// korva-host's commands for LV2 plug-ins named by URI.
#pragma once

#include "tools/base/cli.h"

namespace khost {

int runLv2Info(ArgList& args);
int runLv2Render(ArgList& args);

extern const char* const kLv2Help;

}  // namespace khost
