// What a plug-in, as a guest in the host's process, must leave as it found
// it (locale, working folder, signal handlers, environment, FPU mode), and
// the files a session wrote; shared by the environment groups of both formats.
#pragma once

#include <locale.h>

#include <functional>
#include <string>
#include <vector>

namespace validate {

struct ProcessState {
  std::string locale;
  locale_t threadLocale = nullptr;
  std::string cwd;
  std::vector<std::string> handlers;
  std::vector<std::string> environment;
  int rounding = 0;
  unsigned csr = 0;

  static ProcessState now();
  // Everything that differs from `before`, or "" - and puts it all back, so
  // that the next call is blamed only for what it does itself.
  std::string restore(const ProcessState& before) const;
};

// A host whose users read decimal commas: a plug-in that sets its own locale,
// or the environment's ("" locale), changes what the host sees.
void hostLocale();

// The child's sandbox (isolation.h), found from its HOME.
std::string sandboxRoot();

// Every entry below `dir`, shown as `shown`/name.
void listFiles(const std::string& dir, const std::string& shown, std::vector<std::string>& out);

class Check;

// Calls every part of a plug-in's interface once, each through `call`
// (what it is, the call); `hostFiles` is a folder for the host's own files.
using CallFn = std::function<void(const std::string&, const std::function<void()>&)>;
using Session = std::function<void(Check&, const CallFn& call, const std::string& hostFiles)>;

// After every call of `session` the process is as before (environment findings
// name the call); and the whole session writes nothing outside
// $XDG_CONFIG_HOME and $XDG_CACHE_HOME.
void everyCallLeavesProcess(Check& c, const Session& session);
void onlyConfigFilesWritten(Check& c, const Session& session);

}  // namespace validate
