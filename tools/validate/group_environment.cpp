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
#include "tools/validate/signals.h"
#include "tools/vst/plugin_state.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

extern char** environ;

namespace validate {

namespace {

struct ProcessState {
  std::string locale;
  locale_t threadLocale = nullptr;
  std::string cwd;
  std::vector<std::string> handlers;
  std::vector<std::string> environment;
  int rounding = 0;
  unsigned csr = 0;

  static ProcessState now() {
    ProcessState s;
    const char* l = setlocale(LC_ALL, nullptr);
    s.locale = l != nullptr ? l : "";
    s.threadLocale = uselocale(static_cast<locale_t>(0));
    char buf[4096];
    s.cwd = getcwd(buf, sizeof buf) != nullptr ? buf : "";
    for (int sig = 1; sig < 32; ++sig) {
      struct sigaction sa {};
      sigaction(sig, nullptr, &sa);
      const void* h = (sa.sa_flags & SA_SIGINFO) != 0 ? reinterpret_cast<void*>(sa.sa_sigaction)
                                                      : reinterpret_cast<void*>(sa.sa_handler);
      char text[64];
      std::snprintf(text, sizeof text, "%s %p", sigabbrev_np(sig) ? sigabbrev_np(sig) : "?", h);
      s.handlers.push_back(text);
    }
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) s.environment.push_back(*e);
    std::sort(s.environment.begin(), s.environment.end());
    s.rounding = fegetround();
#if defined(__x86_64__) || defined(__i386__)
    s.csr = _mm_getcsr() & 0xFFC0;  // control bits, not the sticky flags
#endif
    return s;
  }

  // Everything that differs from `before`, or "" - and puts it all back, so
  // that the next call is blamed only for what it does itself.
  std::string restore(const ProcessState& before) const {
    std::vector<std::string> what;
    if (locale != before.locale) {
      what.push_back("the process locale changed from \"" + before.locale + "\" to \"" + locale +
                     "\"");
      setlocale(LC_ALL, before.locale.c_str());
    }
    if (threadLocale != before.threadLocale) {
      what.push_back("the calling thread's locale changed (uselocale)");
      uselocale(before.threadLocale);
    }
    if (cwd != before.cwd) {
      what.push_back("the working folder changed from " + before.cwd + " to " + cwd);
      if (chdir(before.cwd.c_str()) != 0) what.back() += " (and cannot be restored)";
    }
    if (handlers != before.handlers)
      for (size_t i = 0; i < handlers.size(); ++i)
        if (handlers[i] != before.handlers[i])
          what.push_back("the handler of SIG" + handlers[i].substr(0, handlers[i].find(' ')) +
                         " changed");
    if (environment != before.environment) {
      std::string e = "the environment changed";
      for (const std::string& v : environment)
        if (!std::binary_search(before.environment.begin(), before.environment.end(), v)) {
          e += " (" + v.substr(0, 60) + ")";
          break;
        }
      what.push_back(e);
    }
    if (rounding != before.rounding) {
      what.push_back("the floating-point rounding mode changed");
      fesetround(before.rounding);
    }
    if (csr != before.csr) {
      what.push_back(
          "the SSE control register changed (flush-to-zero, denormals-are-zero or rounding)");
#if defined(__x86_64__) || defined(__i386__)
      _mm_setcsr((_mm_getcsr() & 0x3F) | before.csr);
#endif
    }
    std::string out;
    for (const std::string& w : what) out += (out.empty() ? "" : "; ") + w;
    return out;
  }
};

// A host whose users read decimal commas: a plug-in that sets its own locale,
// or the environment's ("" locale), changes what the host sees.
void hostLocale() {
  setenv("LANG", "C.UTF-8", 1);
  unsetenv("LC_ALL");
  unsetenv("LC_NUMERIC");
  if (setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) setlocale(LC_ALL, "C.UTF-8");
}

// Calls every part of the interface once, each through `call`.
void session(Check& c,
             const std::function<void(const std::string&, const std::function<void()>&)>& call,
             const std::string& hostFiles) {
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

std::string sandboxRoot() {
  const char* home = std::getenv("HOME");
  std::string h = home != nullptr ? home : "";
  return h.substr(0, h.find_last_of('/'));
}

void afterEveryCall(Check& c) {
  hostLocale();
  const std::string hostFiles = sandboxRoot() + "/host-files";
  mkdir(hostFiles.c_str(), 0700);
  const ProcessState start = ProcessState::now();
  session(
      c,
      [&](const std::string& what, const std::function<void()>& body) {
        c.step(what);
        body();
        c.tried();
        const std::string changed = ProcessState::now().restore(start);
        if (!changed.empty()) c.report(Kind::Environment, "after " + what + ": " + changed);
      },
      hostFiles);
  if (!c.haveDisplay()) c.note("no DISPLAY: editor calls left out");
}

void listFiles(const std::string& dir, const std::string& shown, std::vector<std::string>& out) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = dir + "/" + name;
    out.push_back(shown + "/" + name);
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      listFiles(path, shown + "/" + name, out);
  }
  closedir(d);
}

void filesWritten(Check& c) {
  hostLocale();
  const std::string root = sandboxRoot();
  const std::string hostFiles = root + "/host-files";
  mkdir(hostFiles.c_str(), 0700);
  session(
      c,
      [&](const std::string& what, const std::function<void()>& body) {
        c.step(what);
        body();
      },
      hostFiles);
  std::vector<std::string> found;
  listFiles(root + "/home", "$HOME", found);
  listFiles(root + "/cwd", "working folder", found);
  listFiles(root + "/tmp", "$TMPDIR", found);
  long allowed = 0;
  for (const std::string& f : found) {
    c.tried();
    if (f.rfind("$HOME/.config", 0) == 0 || f.rfind("$HOME/.cache", 0) == 0) {
      ++allowed;
      continue;
    }
    c.report(Kind::Environment, "wrote " + f + " (outside $XDG_CONFIG_HOME)");
  }
  c.figure("entries under $XDG_CONFIG_HOME and $XDG_CACHE_HOME", static_cast<double>(allowed), "");
  if (!c.haveDisplay()) c.note("no DISPLAY: editor calls left out");
}

}  // namespace

std::vector<CheckDef> environmentChecks() {
  return {{"process state after every call", afterEveryCall, Kind::Environment},
          {"files written", filesWritten, Kind::Environment}};
}

}  // namespace validate
