// korva-host validate: the command line of the validator's program.
#pragma once

#include <string>

#include "tools/base/cli.h"

namespace khost {

// A usage error of the validator (sysexits' EX_USAGE): apart from 1, which
// says a check failed.
constexpr int kExitValidateUsage = 64;

int runValidate(ArgList& args);

// The options, groups, kinds of finding with why each matters, and exit codes.
std::string validateHelp();

}  // namespace khost
