// korva-host: load a LinuxVST 2.4 plug-in from the command line, describe it,
// render audio files through it, time it, or open and photograph its editor.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "korva_version.h"
#include "tools/cmd_lv2.h"
#include "tools/commands.h"
#include "tools/lv2_host.h"

namespace {

// Messages may quote a library's own text; errors stay on one line.
std::string oneLine(std::string s) {
  for (char& c : s)
    if (c == '\n' || c == '\r') c = ' ';
  return s;
}

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
    "  validate PLUGIN.so    check the plug-in strictly, as a hostile host\n"
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
  ArgList args(std::vector<std::string>(all.begin() + 1, all.end()));
  struct {
    const char* name;
    int (*run)(ArgList&);
    const char* help;
  } const table[] = {{"info", runInfo, kInfoHelp},
                     {"render", runRender, kRenderHelp},
                     {"bench", runBench, kBenchHelp},
                     {"gui", runGui, kGuiHelp},
                     {"screenshot", runScreenshot, kScreenshotHelp},
                     {"validate", runValidate, kValidateHelp}};
  // An LV2 URI in place of the library: the LV2 forms of info and render.
  const bool lv2 = std::any_of(all.begin() + 1, all.end(), isLv2Uri);
  for (const auto& entry : table) {
    if (command != entry.name) continue;
    int (*run)(ArgList&) = entry.run;
    if (lv2 && command == "info") run = runLv2Info;
    if (lv2 && command == "render") run = runLv2Render;
    for (size_t i = 1; i < all.size(); ++i)
      if (isHelp(all[i])) {
        std::fputs(entry.help, stdout);
        return kExitOk;
      }
    try {
      const int code = run(args);
      std::fflush(stdout);
      return code;
    } catch (const HostError& e) {
      std::fflush(stdout);
      std::fprintf(stderr, "korva-host %s: %s\n", entry.name, oneLine(e.what()).c_str());
      return e.code();
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "korva-host %s: out of memory\n", entry.name);
      return kExitIo;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "korva-host %s: %s\n", entry.name, oneLine(e.what()).c_str());
      return kExitIo;
    }
  }
  std::fprintf(stderr, "korva-host: unknown command \"%s\" (try korva-host --help)\n",
               command.c_str());
  return kExitUsage;
}
