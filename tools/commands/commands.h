// The subcommands of korva-host; each takes the arguments after its name and
// returns an exit code or throws HostError.
#pragma once

#include "tools/base/cli.h"

namespace khost {

int runInfo(ArgList& args);
int runRender(ArgList& args);
int runBench(ArgList& args);
int runGui(ArgList& args);
int runScreenshot(ArgList& args);

extern const char* const kInfoHelp;
extern const char* const kRenderHelp;
extern const char* const kBenchHelp;
extern const char* const kGuiHelp;
extern const char* const kScreenshotHelp;

}  // namespace khost
