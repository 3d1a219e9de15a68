// korva-host validate: the command line of the validator's program.
#pragma once

#include "tools/base/cli.h"

namespace khost {

int runValidate(ArgList& args);

extern const char* const kValidateHelp;

}  // namespace khost
