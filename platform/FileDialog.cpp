#include "platform/FileDialog.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace platform {
namespace {

std::atomic<FileDialogRunner*> testingRunner{nullptr};

constexpr size_t kMaxAnswer = 64 * 1024;

bool isExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// "3.44.0\n" -> major 3, minor 44; false when the text is no version.
bool parseVersion(const std::string& text, int* major, int* minor) {
  size_t i = 0;
  auto number = [&](int* out) {
    size_t start = i;
    long v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 6)
      v = v * 10 + (text[i++] - '0');
    *out = static_cast<int>(v);
    return i > start;
  };
  if (!number(major)) return false;
  *minor = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    number(minor);
  }
  return true;
}

}  // namespace

std::string runChildForOutput(const std::vector<std::string>& argv, int* exitStatus) {
  if (exitStatus) *exitStatus = -1;
  if (argv.empty() || argv[0].empty() || argv[0][0] != '/') return std::string();

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // A new environment for the child: the host's own libraries must not be
  // forced onto the dialog program. Our environment stays untouched.
  std::vector<char*> env;
  for (char** e = environ; e && *e; ++e)
    if (std::strncmp(*e, "LD_LIBRARY_PATH=", 16) != 0) env.push_back(*e);
  env.push_back(nullptr);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return std::string();

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  // The host may block or ignore signals; the dialog gets the defaults.
  sigset_t noSignals, allSignals;
  sigemptyset(&noSignals);
  sigfillset(&allSignals);
  posix_spawnattr_setsigmask(&attr, &noSignals);
  posix_spawnattr_setsigdefault(&attr, &allSignals);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = -1;
  int rc = posix_spawn(&pid, args[0], &actions, &attr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return std::string();
  }

  std::string output;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fds[0], buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    // Keep draining past the limit so the child never blocks on a full pipe.
    if (output.size() < kMaxAnswer) output.append(buffer, static_cast<size_t>(n));
  }
  close(fds[0]);

  int status = 0;
  pid_t waited;
  do {
    waited = waitpid(pid, &status, 0);
  } while (waited < 0 && errno == EINTR);
  // A host that ignores SIGCHLD has the child reaped for it: status unknown.
  if (waited == pid && exitStatus)
    *exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  else if (exitStatus)
    *exitStatus = -1;
  return output;
}

SystemFileDialogRunner::SystemFileDialogRunner(std::string searchPath)
    : searchPath(std::move(searchPath)) {}

std::string SystemFileDialogRunner::findProgram(const char* name) const {
  std::string path = searchPath;
  if (path.empty()) {
    const char* env = std::getenv("PATH");
    path = (env && *env) ? env : "/usr/local/bin:/usr/bin:/bin";
  }
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    // Only absolute folders: a relative one would depend on the host's cwd.
    if (!dir.empty() && dir[0] == '/') {
      std::string candidate = dir + (dir.back() == '/' ? "" : "/") + name;
      if (isExecutableFile(candidate)) return candidate;
    }
    start = end + 1;
  }
  return std::string();
}

std::string SystemFileDialogRunner::zenityVersionOf(const std::string& path) {
  if (path == cachedZenityPath) return cachedZenityVersion;
  int status = -1;
  std::string text = runChildForOutput({path, "--version"}, &status);
  int major = 0, minor = 0;
  std::string version;
  if (parseVersion(text, &major, &minor))
    version = std::to_string(major) + "." + std::to_string(minor);
  cachedZenityPath = path;
  cachedZenityVersion = version;
  return version;
}

std::vector<std::string> SystemFileDialogRunner::buildCommand(const std::string& program,
                                                              const std::string& programPath,
                                                              const FileDialogRequest& request,
                                                              const std::string& zenityVersion) {
  std::vector<std::string> argv{programPath};
  std::string start = request.initialDirectory;
  if (request.save) start += request.defaultName;
  if (program == "kdialog") {
    if (!request.title.empty()) {
      argv.push_back("--title");
      argv.push_back(request.title);
    }
    if (request.parentWindow) {
      argv.push_back("--attach");
      argv.push_back(std::to_string(request.parentWindow));
    }
    argv.push_back(request.save ? "--getsavefilename" : "--getopenfilename");
    argv.push_back(start.empty() ? std::string(".") : start);
    std::string filter;
    for (const FileDialogFilter& f : request.filters) {
      if (!filter.empty()) filter += '\n';
      filter += "*." + f.extension + "|" + f.description;
    }
    if (!filter.empty()) argv.push_back(filter);
    return argv;
  }
  argv.push_back("--file-selection");
  if (!request.title.empty()) argv.push_back("--title=" + request.title);
  if (request.parentWindow) argv.push_back("--attach=" + std::to_string(request.parentWindow));
  if (request.save) {
    argv.push_back("--save");
    // zenity 3.91 and later refuse to start with this option; they ask anyway.
    int major = 0, minor = 0;
    if (parseVersion(zenityVersion, &major, &minor) && (major < 3 || (major == 3 && minor < 91)))
      argv.push_back("--confirm-overwrite");
  }
  if (!start.empty()) argv.push_back("--filename=" + start);
  for (const FileDialogFilter& f : request.filters)
    argv.push_back("--file-filter=" + f.description + " (" + f.extension + ") | *." + f.extension);
  return argv;
}

std::optional<std::string> SystemFileDialogRunner::run(const FileDialogRequest& request) {
  std::string program = "kdialog";
  std::string path = findProgram("kdialog");
  std::string version;
  if (path.empty()) {
    program = "zenity";
    path = findProgram("zenity");
    if (path.empty()) return std::nullopt;
    version = zenityVersionOf(path);
  }
  int status = -1;
  std::string answer = runChildForOutput(buildCommand(program, path, request, version), &status);
  if (status > 0) return std::nullopt;  // cancelled or failed
  if (!answer.empty() && answer.back() == '\n') answer.pop_back();
  // One absolute path or nothing: anything else is a message, not an answer.
  if (answer.empty() || answer[0] != '/' || answer.find('\n') != std::string::npos ||
      answer.find('\0') != std::string::npos)
    return std::nullopt;
  return answer;
}

bool SystemFileDialogRunner::available() {
  return !findProgram("kdialog").empty() || !findProgram("zenity").empty();
}

namespace {

FileDialogRunner& currentRunner() {
  if (FileDialogRunner* runner = testingRunner.load(std::memory_order_acquire)) return *runner;
  static SystemFileDialogRunner system;
  return system;
}

}  // namespace

std::optional<std::string> runFileDialog(const FileDialogRequest& request) {
  try {
    return currentRunner().run(request);
  } catch (...) {
    return std::nullopt;
  }
}

bool fileDialogAvailable() {
  try {
    return currentRunner().available();
  } catch (...) {
    return false;
  }
}

void setFileDialogRunnerForTesting(FileDialogRunner* runner) {
  testingRunner.store(runner, std::memory_order_release);
}

}  // namespace platform
