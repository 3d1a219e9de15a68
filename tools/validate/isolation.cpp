#include "tools/validate/isolation.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "tools/base/cli.h"
#include "tools/validate/guarded.h"
#include "tools/validate/instance.h"

namespace validate {

namespace {

using Clock = std::chrono::steady_clock;

void writeAll(int fd, const std::string& s) {
  size_t done = 0;
  while (done < s.size()) {
    const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void removeTree(const std::string& path) {
  const pid_t pid = fork();
  if (pid == 0) {
    execlp("rm", "rm", "-rf", "--", path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid > 0) waitpid(pid, nullptr, 0);
}

std::string signalText(int sig) {
  const char* name = sigabbrev_np(sig);
  return std::string("SIG") + (name != nullptr ? name : std::to_string(sig).c_str()) + " (" +
         strsignal(sig) + ")";
}

// A sanitizer catches deadly signals itself and exits with status 1; its
// report names the signal ("AddressSanitizer: SEGV on unknown address").
std::string signalInReport(const std::string& report) {
  static const struct {
    const char* word;
    int sig;
  } deadly[] = {{"Sanitizer: SEGV", SIGSEGV},
                {"Sanitizer: BUS", SIGBUS},
                {"Sanitizer: FPE", SIGFPE},
                {"Sanitizer: ILL", SIGILL},
                {"Sanitizer: ABRT", SIGABRT}};
  for (const auto& d : deadly)
    if (report.find(d.word) != std::string::npos)
      return signalText(d.sig) + ", caught by the sanitizer";
  return "";
}

// What a child's death means for the user: a guard page it ran into, a
// sanitizer's report, a timeout or a plain crash.
Kind deathKind(bool timedOut, const std::string& fault, const std::string& report) {
  if (timedOut) return Kind::Hang;
  if (!fault.empty()) return Kind::Memory;
  if (report.find("LeakSanitizer") != std::string::npos) return Kind::Resources;
  if (report.find("ThreadSanitizer") != std::string::npos) return Kind::Race;
  if (report.find("terminate called") != std::string::npos) return Kind::Exception;
  if (report.find("ERROR: AddressSanitizer") != std::string::npos && signalInReport(report).empty())
    return Kind::Memory;
  return Kind::Crash;
}

// The child's end of a run: findings and results go to `fd` line by line.
[[noreturn]] void childMain(const GroupDef& group, size_t first, const RunOptions& options,
                            SharedSlot* slot, int fd, const Sandbox& box) {
  box.enter();
  installGuardHandler(slot);
  for (size_t i = first; i < group.checks.size(); ++i) {
    CheckResult r;
    r.group = group.name;
    r.check = group.checks[i].name;
    slot->checkIndex = static_cast<int>(i);
    {
      Check c(options, r, slot, group.checks[i].kind,
              [fd](const std::string& line) { writeAll(fd, line); });
      try {
        group.checks[i].run(c);
      } catch (const PluginThrew& e) {
        c.report(Kind::Exception, std::string(e.what()) + " during " + slot->step);
      } catch (const khost::HostError& e) {
        c.fail(std::string("the check stopped: ") + e.what());
      } catch (const std::exception& e) {
        c.report(Kind::Exception,
                 "an exception escaped during " + std::string(slot->step) + ": " + e.what());
      }
    }
    writeAll(fd, encodeResult(r));
  }
  ::close(fd);
  std::fflush(nullptr);
  // A normal exit, so that plug-in destructors and sanitizers have their say.
  std::exit(0);
}

}  // namespace

Sandbox::Sandbox() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base ? base : "/tmp") + "/korva-validate-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr)
    throw khost::HostError(khost::kExitIo, "cannot create a temporary folder in " + pattern);
  root_ = name.data();
  for (const std::string& d : {home(), config(), tmp(), cwd()}) mkdir(d.c_str(), 0700);
}

Sandbox::~Sandbox() {
  removeTree(root_);
}

void Sandbox::enter() const {
  // A child never outlives the validator that waits for it.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  setenv("HOME", home().c_str(), 1);
  setenv("XDG_CONFIG_HOME", config().c_str(), 1);
  setenv("XDG_CACHE_HOME", cache().c_str(), 1);
  setenv("TMPDIR", tmp().c_str(), 1);
  if (chdir(cwd().c_str()) != 0) std::_Exit(3);
  const int out = open(log().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (out >= 0) {
    dup2(out, 1);
    dup2(out, 2);
    ::close(out);
  }
}

std::string firstReportLine(const std::string& logPath) {
  std::ifstream in(logPath);
  static const char* const marks[] = {
      "ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "WARNING: ThreadSanitizer",
      "runtime error:",          "terminate called",     "Assertion"};
  for (std::string line; std::getline(in, line);)
    for (const char* m : marks)
      if (line.find(m) != std::string::npos) {
        if (line.size() > 200) line = line.substr(0, 200) + "...";
        return line;
      }
  return "";
}

namespace {

// Reads the child's result lines into `results` until it closes its pipe,
// and kills it once it makes no progress for timeoutSeconds (then true).
bool followChild(pid_t pid, int fd, const GroupDef& group, SharedSlot* slot, double timeoutSeconds,
                 const Progress& progress, std::vector<CheckResult>& results,
                 CheckResult& partial) {
  std::string pending;
  int lastIndex = -1;
  long lastProgress = -1;
  auto deadline = Clock::now() + std::chrono::duration<double>(timeoutSeconds);
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, 100);
    if (ready > 0) {
      char buf[4096];
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n <= 0) return false;  // the child closed its end or died
      pending.append(buf, static_cast<size_t>(n));
      for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
        bool ok = false;
        if (decodeLine(pending.substr(0, nl), partial, ok)) {
          partial.group = group.name;
          results.push_back(partial);
          partial = CheckResult();
          if (progress) progress(results.size(), group.checks.size());
        }
        pending.erase(0, nl + 1);
      }
    }
    if (slot->checkIndex != lastIndex || slot->progress != lastProgress) {
      lastIndex = slot->checkIndex;
      lastProgress = slot->progress;
      deadline = Clock::now() + std::chrono::duration<double>(timeoutSeconds);
    }
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      return true;
    }
  }
}

// How a child that did not finish cleanly ended, for the finding.
std::string howItEnded(bool timedOut, int status, const std::string& fault,
                       const std::string& report, const std::string& logPath,
                       double timeoutSeconds) {
  if (timedOut) return "timed out after " + khost::formatGeneral(timeoutSeconds) + " s";
  if (WIFSIGNALED(status)) return "killed by " + signalText(WTERMSIG(status));
  if (!fault.empty())
    return signalInReport(firstReportLine(logPath)).empty()
               ? std::string("stopped by the sanitizer")
               : "killed by " + signalText(SIGSEGV);
  if (!signalInReport(report).empty()) return "killed by " + signalInReport(report);
  return "exited with status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

std::vector<CheckResult> runGroupIsolated(const GroupDef& group, const RunOptions& options,
                                          double timeoutSeconds, const Progress& progress) {
  std::vector<CheckResult> results;
  size_t first = 0;
  while (first < group.checks.size()) {
    SharedSlot* slot = createSharedSlot();
    if (slot == nullptr) throw khost::HostError(khost::kExitIo, "cannot map shared memory");
    Sandbox box;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw khost::HostError(khost::kExitIo, "cannot create a pipe");
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) throw khost::HostError(khost::kExitIo, "cannot start a child process");
    if (pid == 0) {
      ::close(fds[0]);
      childMain(group, first, options, slot, fds[1], box);
    }
    ::close(fds[1]);

    const size_t before = results.size();
    CheckResult partial;  // the findings of the check running now
    const bool timedOut =
        followChild(pid, fds[0], group, slot, timeoutSeconds, progress, results, partial);
    ::close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const bool clean = !timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const bool finished = first + (results.size() - before) == group.checks.size();
    if (clean && finished) {
      munmap(slot, sizeof(SharedSlot));
      break;
    }
    const std::string fault(slot->fault);
    // A guard page says more than a sanitizer's "SEGV on unknown address".
    const std::string report = fault.empty() ? firstReportLine(box.log()) : "";
    const std::string how = howItEnded(timedOut, status, fault, report, box.log(), timeoutSeconds);
    Finding death;
    death.kind = deathKind(timedOut, fault, report);
    if (finished) {
      // Every check reported; the process failed on its way out.
      CheckResult r;
      r.group = group.name;
      r.check = "process exit";
      r.status = Status::Fail;
      r.cases = 1;
      r.failures = 1;
      r.detail = how + " after its checks (plug-in destructors or a sanitizer)" +
                 (fault.empty() ? "" : ": " + fault) + (report.empty() ? "" : ": " + report);
      death.text = r.detail;
      r.findings.push_back(death);
      results.push_back(r);
      munmap(slot, sizeof(SharedSlot));
      break;
    }
    const int index = static_cast<int>(first + (results.size() - before));
    const CheckDef& def = group.checks[static_cast<size_t>(index)];
    CheckResult r = partial;
    r.group = group.name;
    r.check = def.name;
    // The case it died in counts, and failed, unless the check tries only
    // what no host does: then even its death is a warning of that kind.
    r.cases = slot->cases + 1;
    const bool onlyOdd = def.kind == Kind::OddRate || def.kind == Kind::OddInput;
    if (onlyOdd) death.kind = def.kind;
    r.failures = slot->failures + (onlyOdd ? 0 : 1);
    for (const Finding& f : r.findings)
      if (f.severity() == Severity::Warn) r.warnings += f.count;
    if (onlyOdd) ++r.warnings;
    r.status = r.failures > 0 ? Status::Fail : Status::Warn;
    std::string step(slot->step);
    r.detail = how + (step.empty() ? "" : " during " + step) + (fault.empty() ? "" : ": " + fault) +
               (report.empty() ? "" : ": " + report);
    death.text = r.detail;
    r.findings.push_back(death);
    results.push_back(r);
    if (progress) progress(results.size(), group.checks.size());
    munmap(slot, sizeof(SharedSlot));
    first = static_cast<size_t>(index) + 1;
  }
  return results;
}

std::string preflight(const std::string& path, double timeoutSeconds) {
  if (access(path.c_str(), F_OK) != 0) return path + ": no such file";
  return preflightWith(path, timeoutSeconds, [&] {
    Instance instance(path);
    instance.close();
  });
}

std::string preflightWith(const std::string& path, double timeoutSeconds,
                          const std::function<void()>& load) {
  Sandbox box;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return "cannot create a pipe";
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return "cannot start a child process";
  if (pid == 0) {
    ::close(fds[0]);
    box.enter();
    std::string answer = "OK";
    try {
      load();
    } catch (const std::exception& e) {
      answer = e.what();
    }
    for (char& c : answer)
      if (c == '\n') c = ' ';
    writeAll(fds[1], answer);
    std::_Exit(0);
  }
  ::close(fds[1]);
  std::string answer;
  const auto deadline = Clock::now() + std::chrono::duration<double>(timeoutSeconds);
  bool timedOut = false;
  for (;;) {
    pollfd p{fds[0], POLLIN, 100};
    if (poll(&p, 1, 100) > 0) {
      char buf[1024];
      const ssize_t n = ::read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      answer.append(buf, static_cast<size_t>(n));
    }
    if (Clock::now() > deadline) {
      timedOut = true;
      kill(pid, SIGKILL);
      break;
    }
  }
  ::close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timedOut)
    return path + ": loading did not finish within " + khost::formatGeneral(timeoutSeconds) +
           " s (its entry point, effOpen or instantiate hangs)";
  if (WIFSIGNALED(status))
    return path + ": the plug-in crashed while loading, " + signalText(WTERMSIG(status));
  if (answer.empty() && !signalInReport(firstReportLine(box.log())).empty())
    return path + ": the plug-in crashed while loading, " +
           signalInReport(firstReportLine(box.log()));
  if (answer == "OK") return "";
  if (answer.empty()) return path + ": the plug-in ended the process while loading";
  return answer;
}

}  // namespace validate
