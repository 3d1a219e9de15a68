// environment: the plug-in is a guest in the host's process. After every
// call the process locale, this thread's locale, the working folder, signal
// handlers, environment variables and floating-point mode are as before; and
// a whole session writes nothing outside $XDG_CONFIG_HOME (and the cache).
#include <dirent.h>
#include <dlfcn.h>
#include <fenv.h>
#include <locale.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "tools/base/cli.h"
#include "tools/validate/check.h"
#include "tools/validate/editor_host.h"
#include "tools/validate/instance.h"
#include "tools/validate/process_state.h"
#include "tools/validate/signals.h"
#include "tools/vst/plugin_state.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

extern char** environ;

namespace validate {

namespace {

// Calls every part of the interface once, each through `call`.
void session(Check& c, const CallFn& call, const std::string& hostFiles) {
  std::unique_ptr<Instance> inst;
  // Loading alone first: libraries built with -ffast-math set flush-to-zero
  // in a constructor that runs inside dlopen, before any call of ours.
  void* library = nullptr;
  call("dlopen", [&] {
    const std::string path = c.pluginPath();
    library = dlopen((path.find('/') == std::string::npos ? "./" + path : path).c_str(),
                     RTLD_NOW | RTLD_LOCAL);
  });
  call("entry point and effOpen", [&] { inst = std::make_unique<Instance>(c.pluginPath()); });
  Instance& p = *inst;
  const VstInt32 texts[] = {effGetEffectName, effGetVendorString, effGetProductString,
                            effGetProgramName};
  for (VstInt32 op : texts) call("text opcode " + std::to_string(op), [&] { p.text(op, 0, 64); });
  call("effGetVendorVersion", [&] { p.dispatch(effGetVendorVersion); });
  call("effGetVstVersion", [&] { p.dispatch(effGetVstVersion); });
  call("effGetPlugCategory", [&] { p.dispatch(effGetPlugCategory); });
  call("effGetTailSize", [&] { p.dispatch(effGetTailSize); });
  for (const char* t : {"receiveVstMidiEvent", "receiveVstTimeInfo", "bypass"})
    call(std::string("effCanDo ") + t, [&] { p.dispatchText(effCanDo, 0, t); });
  for (int i = 0; i < p.plugin().numParams(); ++i) {
    const std::string idx = "(" + std::to_string(i) + ")";
    const float v = static_cast<float>(c.uniform(0, 1));
    call("setParameter" + idx, [&] { p.setParameter(i, v); });
    call("getParameter" + idx, [&] { p.getParameter(i); });
    call("effGetParamName" + idx, [&] { p.text(effGetParamName, i, 8); });
    call("effGetParamLabel" + idx, [&] { p.text(effGetParamLabel, i, 8); });
    call("effGetParamDisplay" + idx, [&] { p.text(effGetParamDisplay, i, 8); });
    call("effCanBeAutomated" + idx, [&] { p.dispatch(effCanBeAutomated, i); });
    VstParameterProperties props{};
    call("effGetParameterProperties" + idx,
         [&] { p.dispatch(effGetParameterProperties, i, 0, &props); });
  }
  for (int k = 0; k < p.plugin().numPrograms() && k < 32; ++k) {
    const std::string idx = "(" + std::to_string(k) + ")";
    call("effSetProgram" + idx, [&] { p.dispatch(effSetProgram, 0, k); });
    call("effGetProgramNameIndexed" + idx, [&] { p.text(effGetProgramNameIndexed, k, 64); });
  }
  call("effSetProgram(0)", [&] { p.dispatch(effSetProgram, 0, 0); });
  call("effSetProgramName", [&] { p.dispatchText(effSetProgramName, 0, "Env test"); });
  call("effSetSampleRate, effSetBlockSize, effMainsChanged, effStartProcess",
       [&] { p.start(48000, 256); });
  std::vector<float> in(256);
  std::mt19937_64 rng(3);
  for (int b = 0; b < 20; ++b) {
    musicalSignal(in, b * 256, 48000, 3);
    call("effProcessEvents", [&] { p.sendMidi(midiBurst(256, rng)); });
    call("processReplacing", [&] { p.processSignal(in.data(), 256); });
  }
  if (p.hasChunks()) {
    std::vector<uint8_t> bank, program;
    call("effGetChunk (bank)", [&] { bank = p.chunk(false); });
    call("effGetChunk (program)", [&] { program = p.chunk(true); });
    call("effSetChunk (bank)", [&] { p.setChunk(bank, false); });
    call("effSetChunk (program)", [&] { p.setChunk(program, true); });
  }
  call("saving and loading an .fxb", [&] {
    khost::saveState(p.plugin(), hostFiles + "/env.fxb");
    khost::loadState(p.plugin(), hostFiles + "/env.fxb");
  });
  if (p.hasEditor() && c.haveDisplay()) {
    std::unique_ptr<EditorHost> x = std::make_unique<EditorHost>();
    call("effEditOpen", [&] { x->open(p); });
    for (int k = 0; k < 10; ++k) call("effEditIdle", [&] { x->idle(p); });
    call("effEditClose", [&] { x->close(p); });
  }
  call("effStopProcess, effMainsChanged(0)", [&] { p.stop(); });
  call("effClose", [&] { p.close(); });
  // The library stays loaded, as the instance leaves it.
  (void)library;
}

void afterEveryCall(Check& c) {
  everyCallLeavesProcess(c, session);
  if (!c.haveDisplay()) c.note("no DISPLAY: editor calls left out");
}

void filesWritten(Check& c) {
  onlyConfigFilesWritten(c, session);
  if (!c.haveDisplay()) c.note("no DISPLAY: editor calls left out");
}

}  // namespace

std::vector<CheckDef> environmentChecks() {
  return {{"process state after every call", afterEveryCall, Kind::Environment},
          {"files written", filesWritten, Kind::Environment}};
}

}  // namespace validate
