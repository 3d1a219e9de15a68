// Runs a command with DISPLAY set to a private Xvfb of its own (chosen by
// the server, so parallel tests never share one) and exits with the
// command's status. Without Xvfb the command runs without a display.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/XvfbServer.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: run_with_xvfb COMMAND [ARGS...]\n");
    return 2;
  }
  XvfbServer& server = XvfbServer::shared();
  if (server.running())
    setenv("DISPLAY", server.display().c_str(), 1);
  else
    unsetenv("DISPLAY");
  const pid_t child = fork();
  if (child == 0) {
    execv(argv[1], argv + 1);
    std::perror(argv[1]);
    _exit(127);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) < 0) return 2;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
