// A private Xvfb for one test program. Xvfb chooses a free display number
// itself (-displayfd), so test programs running in parallel never race for the
// same number and never end up talking to each other's server.
#pragma once

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

// Opens a connection, waiting a little: a loaded server may be slow to accept.
inline Display* openTestDisplay(const char* name) {
  for (int i = 0; i < 60; ++i) {
    if (Display* d = XOpenDisplay(name)) return d;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return nullptr;
}

class XvfbServer {
 public:
  // One server per program, started on first use.
  static XvfbServer& shared() {
    static XvfbServer server;
    return server;
  }
  bool running() const { return pid > 0; }
  const std::string& display() const { return name; }

  ~XvfbServer() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }

 private:
  XvfbServer() {
    const char* xvfb = "/usr/bin/Xvfb";
    if (access(xvfb, X_OK) != 0) return;
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string fdText = std::to_string(fds[1]);
    char* argv[] = {const_cast<char*>("Xvfb"),
                    const_cast<char*>("-displayfd"),
                    const_cast<char*>(fdText.c_str()),
                    const_cast<char*>("-screen"),
                    const_cast<char*>("0"),
                    const_cast<char*>("1280x1024x24"),
                    const_cast<char*>("-nolisten"),
                    const_cast<char*>("tcp"),
                    nullptr};
    // The server dies with the test program, even when a sanitizer aborts it,
    // and holds none of its output pipes.
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) _exit(127);
      close(fds[0]);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
      execv(xvfb, argv);
      _exit(127);
    }
    const int rc = child > 0 ? 0 : -1;
    close(fds[1]);
    if (rc != 0) {
      close(fds[0]);
      return;
    }
    // Xvfb writes the display number once it listens.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 10000) > 0) {
      char c;
      if (read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    if (number.empty()) {
      kill(child, SIGTERM);
      waitpid(child, nullptr, 0);
      return;
    }
    name = ":" + number;
    for (int i = 0; i < 100; ++i) {
      if (Display* d = XOpenDisplay(name.c_str())) {
        XCloseDisplay(d);
        pid = child;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    name.clear();
  }

  pid_t pid = -1;
  std::string name;
};
