// korva-host: load a LinuxVST 2.4 plug-in from the command line, describe it,
// render audio files through it, time it, or open and photograph its editor.
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "korva_version.h"
#include "tools/commands/cmd_lv2.h"
#include "tools/commands/commands.h"
#include "tools/lv2/lv2_host.h"

namespace {

const char* const kMainHelp =
    "usage: korva-host COMMAND [ARGS...]\n"
    "\n"
    "A command-line host for LinuxVST 2.4 plug-ins (.so).\n"
    "\n"
    "commands:\n"
    "  info PLUGIN.so        identity, capabilities and parameter table\n"
    "  render PLUGIN.so IN.wav OUT.wav   process an audio file\n"
    "  bench PLUGIN.so [PLUGIN2.so ...]  real-time factor per plug-in\n"
    "  gui PLUGIN.so         open the plug-in's editor window\n"
    "  screenshot PLUGIN.so OUT.png      save a picture of the editor\n"
    "  validate PLUGIN.so    check the plug-in strictly, as a hostile host (or an\n"
    "                        LV2 URI)\n"
    "\n"
    "'korva-host COMMAND --help' describes a command; 'korva-host --version'\n"
    "prints the version.\n"
    "\n"
    "exit codes:\n"
    "  0  success\n"
    "  1  usage error: bad option, number, parameter name, index or value\n"
    "  2  plug-in error: cannot be loaded, no entry point, no effect record,\n"
    "     wrong magic, or it lacks what the command needs (editor, chunks)\n"
    "  3  I/O error: unreadable or unwritable file, refused preset file,\n"
    "     no X display\n";

// The validator replaces allocation and blocking calls for its whole process,
// so it is a program of its own beside this one; render, bench and the rest
// run on the real functions. Returns only when it cannot be started.
int startValidator(const std::vector<std::string>& args) {
  using namespace khost;
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string program = "korva-host-validate";
  if (n > 0) {
    // Beside korva-host in a build tree; under ../libexec/korva/ where a
    // package installs it, since it is no command of its own.
    const std::string path(self, static_cast<size_t>(n));
    const std::string folder = path.substr(0, path.find_last_of('/') + 1);
    const std::string installed = folder + "../libexec/korva/" + program;
    program = access(installed.c_str(), X_OK) == 0 ? installed : folder + program;
  }
  std::vector<char*> argv{const_cast<char*>("korva-host-validate")};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  if (n > 0)
    execv(program.c_str(), argv.data());
  else
    execvp(program.c_str(), argv.data());
  std::fprintf(stderr, "korva-host validate: cannot start %s: %s\n", program.c_str(),
               std::strerror(errno));
  return kExitIo;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace khost;
  std::vector<std::string> all(argv + 1, argv + argc);
  if (all.empty()) {
    std::fputs(kMainHelp, stderr);
    return kExitUsage;
  }
  const std::string command = all.front();
  if (command == "--version" || command == "version") {
    std::puts("korva-host " KORVA_VERSION);
    return kExitOk;
  }
  if (isHelp(command) || command == "help") {
    std::fputs(kMainHelp, stdout);
    std::fputs(kLv2Help, stdout);
    return kExitOk;
  }
  // An LV2 URI in place of the library: the LV2 forms of info and render.
  const bool lv2 = std::any_of(all.begin() + 1, all.end(), isLv2Uri);
  if (command == "validate") {
    return startValidator({all.begin() + 1, all.end()});
  }
  ArgList args(std::vector<std::string>(all.begin() + 1, all.end()));
  struct {
    const char* name;
    int (*run)(ArgList&);
    const char* help;
  } const table[] = {{"info", runInfo, kInfoHelp},
                     {"render", runRender, kRenderHelp},
                     {"bench", runBench, kBenchHelp},
                     {"gui", runGui, kGuiHelp},
                     {"screenshot", runScreenshot, kScreenshotHelp}};
  for (const auto& entry : table) {
    if (command != entry.name) continue;
    int (*run)(ArgList&) = entry.run;
    const char* help = entry.help;
    if (lv2 && command == "info") run = runLv2Info;
    if (lv2 && command == "render") run = runLv2Render;
    if (run != entry.run) help = kLv2Help;
    for (size_t i = 1; i < all.size(); ++i)
      if (isHelp(all[i])) {
        std::fputs(help, stdout);
        return kExitOk;
      }
    if (lv2 && (command == "gui" || command == "screenshot")) {
      const std::string uri = *std::find_if(all.begin() + 1, all.end(), isLv2Uri);
      std::fprintf(stderr,
                   "korva-host %s: <%s> is an LV2 plug-in; gui and screenshot open the editors "
                   "of LinuxVST plug-ins (PLUGIN.so) only\n",
                   entry.name, uri.c_str());
      return kExitPlugin;
    }
    return runCommand(entry.name, run, args);
  }
  std::fprintf(stderr, "korva-host: unknown command \"%s\" (try korva-host --help)\n",
               command.c_str());
  return kExitUsage;
}
