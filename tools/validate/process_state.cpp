// The host process's state a plug-in may change behind its back, and the
// files a child's session left in its sandbox.
#include "tools/validate/process_state.h"

#include <dirent.h>
#include <fenv.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/validate/check.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

extern char** environ;

namespace validate {

ProcessState ProcessState::now() {
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

std::string ProcessState::restore(const ProcessState& before) const {
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

// A host whose users read decimal commas: a plug-in that sets its own locale,
// or the environment's ("" locale), changes what the host sees.
void hostLocale() {
  setenv("LANG", "C.UTF-8", 1);
  unsetenv("LC_ALL");
  unsetenv("LC_NUMERIC");
  if (setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) setlocale(LC_ALL, "C.UTF-8");
}

std::string sandboxRoot() {
  const char* home = std::getenv("HOME");
  std::string h = home != nullptr ? home : "";
  return h.substr(0, h.find_last_of('/'));
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

void everyCallLeavesProcess(Check& c, const Session& session) {
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
}

void onlyConfigFilesWritten(Check& c, const Session& session) {
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
}

}  // namespace validate
