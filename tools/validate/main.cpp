// korva-host-validate: the validator's own program, which `korva-host
// validate` starts with the same arguments. It alone carries the monitors that
// replace allocation and blocking calls for the whole process
// (rt_interposer.cpp), so that no other command runs on them.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/validate/command.h"

int main(int argc, char** argv) {
  using namespace khost;
  const std::vector<std::string> all(argv + 1, argv + argc);
  for (const std::string& a : all)
    if (isHelp(a)) {
      std::fputs(validateHelp().c_str(), stdout);
      return kExitOk;
    }
  ArgList args(all);
  return runCommand("validate", runValidate, args);
}
