// environment: the plug-in is a guest in the host's process. After every
// call (dlopen of its library included) the process locale, this thread's
// locale, the working folder, signal handlers, environment variables and
// floating-point mode are as before; and a whole session writes nothing
// outside $XDG_CONFIG_HOME (and the cache). See process_state.h.
#include <dlfcn.h>

#include <memory>

#include "tools/validate/lv2/lv2_groups.h"
#include "tools/validate/process_state.h"
#include "tools/validate/signals.h"

namespace validate::lv2 {

namespace {

void session(Check& c, const CallFn& call, const std::string&) {
  const Plugin& p = Plugin::find(c.pluginPath());
  // Loading alone first: libraries built with -ffast-math set flush-to-zero
  // in a constructor that runs inside dlopen, before any call of ours.
  call("dlopen", [&] { dlopen(p.libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL); });
  call("lv2_descriptor", [&] { p.descriptor(); });
  std::unique_ptr<Instance> inst;
  call("instantiate and connect_port", [&] { inst = std::make_unique<Instance>(c.pluginPath()); });
  call("extension_data", [&] { inst->extensionData(LV2_STATE__interface); });
  call("activate", [&] { inst->activate(); });
  std::mt19937_64 rng(3);
  std::vector<float> in(256);
  for (int b = 0; b < 20; ++b) {
    musicalSignal(in, b * 256, 44100, 3);
    for (size_t k = 0; k < inst->controls(); ++k)
      inst->setNormalized(k, static_cast<float>(static_cast<double>(rng() >> 11) * 0x1p-53));
    sendMidiBurst(*inst, 256, rng);
    call("run", [&] { inst->run(in.data(), 256); });
  }
  if (inst->hasState()) {
    Instance::State s;
    call("state save", [&] { inst->save(s); });
    call("state restore", [&] { inst->restore(s); });
  }
  call("deactivate", [&] { inst->deactivate(); });
  call("cleanup", [&] { inst->cleanup(); });
}

void afterEveryCall(Check& c) {
  everyCallLeavesProcess(c, session);
}

void filesWritten(Check& c) {
  onlyConfigFilesWritten(c, session);
}

}  // namespace

std::vector<CheckDef> environmentChecks() {
  return {{"process state after every call", afterEveryCall, Kind::Environment},
          {"files written", filesWritten, Kind::Environment}};
}

}  // namespace validate::lv2
