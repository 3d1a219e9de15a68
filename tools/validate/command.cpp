// korva-host validate: options, the load check, one isolated child per
// group, progress, the table and the JSON file.
#include "tools/validate/command.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tools/io/files.h"
#include "tools/validate/isolation.h"
#include "tools/validate/report.h"
#include "tools/validate/rt_monitor.h"

namespace khost {

const char* const kValidateHelp =
    "usage: korva-host validate PLUGIN.so [--level 1..10] [--seed N] [--json FILE]\n"
    "                           [--only GROUP,...] [--timeout SECONDS]\n"
    "\n"
    "Checks a LinuxVST 2.4 plug-in strictly, as a hostile host would. Each group\n"
    "runs in a child process: a crash, an abort, a sanitizer report or a hang\n"
    "(no progress for --timeout seconds, default 120) is that check's failure,\n"
    "and the run goes on. Prints a progress line per group, then a table: group,\n"
    "check, result, cases tried, failures and the first failure with the options\n"
    "that reproduce it; then the figures.\n"
    "\n"
    "groups:\n"
    "  identity     entry point, record, texts within their limits, can-do answers\n"
    "  parameters   names, labels and displays for values in 0..1 and odd values\n"
    "               (guard bytes past the VST limits), set/get round trip,\n"
    "               out-of-range indices\n"
    "  processing   13 sample rates x 16 block sizes, in-place and separate\n"
    "               buffers, an unconnected right input, finite bounded output,\n"
    "               two instances give the same bytes\n"
    "  bad-input    NaN, Inf, denormal and huge bursts, then the output must be\n"
    "               finite and bounded again within the declared tail (or 10 s)\n"
    "  real-time    no allocation, lock or blocking call in processReplacing and\n"
    "               effProcessEvents (the first block after a resume is warm-up);\n"
    "               cost of a silent tail after a burst at most 1.2x the burst's\n"
    "  state        chunk round trip, random/truncated/oversized/bit-flipped\n"
    "               chunks (a refused one leaves getChunk identical), fxp/fxb\n"
    "  threads      audio, automation and editor threads at once\n"
    "  editor       rect, open/close cycles (X descriptors, child windows, X\n"
    "               errors), state restored while open, idle CPU; needs DISPLAY\n"
    "  lifecycle    create/destroy cycles (heap and RSS growth), suspend/resume\n"
    "               with rate and block changes, calls in odd allowed orders\n"
    "  environment  locale, working folder, signal handlers, environment and FPU\n"
    "               mode unchanged after every call; no file written outside\n"
    "               $XDG_CONFIG_HOME (and $XDG_CACHE_HOME)\n"
    "\n"
    "Counts grow with --level (default 2; 10 is the long soak). --seed picks the\n"
    "random cases (default 1). --json FILE writes the same results for scripts.\n"
    "Each child gets a private HOME, XDG_CONFIG_HOME, TMPDIR and working folder.\n"
    "Exit codes: 0 every check passed, 1 a check failed (or a usage error),\n"
    "2 the plug-in cannot be loaded (missing, not a plug-in, crashes or hangs\n"
    "while loading).\n";

namespace {

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  for (std::string item; std::getline(in, item, ',');)
    if (!item.empty()) out.push_back(item);
  return out;
}

}  // namespace

int runValidate(ArgList& args) {
  using namespace validate;
  RunOptions options;
  options.level = 2;
  std::string jsonPath;
  std::vector<std::string> only;
  double timeout = 120.0;
  std::vector<std::string> positional;
  while (!args.empty()) {
    const std::string a = args.next();
    long long v = 0;
    if (a == "--level") {
      const std::string t = args.value(a);
      if (!parseInt(t, v) || v < 1 || v > 10) usageError("--level wants 1..10, got \"" + t + "\"");
      options.level = static_cast<int>(v);
    } else if (a == "--seed") {
      const std::string t = args.value(a);
      if (!parseInt(t, v) || v < 0) usageError("--seed wants a number >= 0, got \"" + t + "\"");
      options.seed = static_cast<uint64_t>(v);
    } else if (a == "--json") {
      jsonPath = args.value(a);
    } else if (a == "--only") {
      only = splitList(args.value(a));
    } else if (a == "--timeout") {
      double t = 0;
      const std::string text = args.value(a);
      if (!parseDouble(text, t) || t <= 0 || t > 86400)
        usageError("--timeout wants seconds above 0, got \"" + text + "\"");
      timeout = t;
    } else if (a.size() > 1 && a[0] == '-') {
      usageError("unknown option " + a);
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 1) usageError("want PLUGIN.so (korva-host validate --help)");
  options.pluginPath = positional[0];
  // Children work in folders of their own; the path must not depend on ours.
  if (char* full = realpath(options.pluginPath.c_str(), nullptr)) {
    options.pluginPath = full;
    std::free(full);
  }
  const char* display = std::getenv("DISPLAY");
  options.display = display != nullptr && *display != '\0';

  std::vector<const GroupDef*> groups;
  for (const std::string& name : only) {
    const GroupDef* found = nullptr;
    for (const GroupDef& g : allGroups())
      if (name == g.name) found = &g;
    if (found == nullptr) {
      std::string names;
      for (const GroupDef& g : allGroups())
        names += std::string(names.empty() ? "" : ", ") + g.name;
      usageError("no group \"" + name + "\" (groups: " + names + ")");
    }
    groups.push_back(found);
  }
  if (only.empty())
    for (const GroupDef& g : allGroups()) groups.push_back(&g);

  if (!rt::live())
    throw HostError(kExitIo, "the allocation and blocking-call monitors are not active");
  const std::string why = preflight(options.pluginPath, std::min(timeout, 30.0));
  if (!why.empty()) throw HostError(kExitPlugin, why);

  const auto start = std::chrono::steady_clock::now();
  Run run;
  run.options = options;
  const bool terminal = isatty(1) != 0;
  std::printf("korva-host validate %s (level %d, seed %llu%s)\n", options.pluginPath.c_str(),
              options.level, static_cast<unsigned long long>(options.seed),
              options.display ? "" : ", no DISPLAY: editor checks skipped");
  std::fflush(stdout);
  for (size_t gi = 0; gi < groups.size(); ++gi) {
    const GroupDef& g = *groups[gi];
    const auto groupStart = std::chrono::steady_clock::now();
    char head[64];
    std::snprintf(head, sizeof head, "[%2zu/%zu] %-12s", gi + 1, groups.size(), g.name);
    auto progress = [&](size_t done, size_t total) {
      if (!terminal) return;
      const size_t width = 20;
      const size_t filled = total == 0 ? width : done * width / total;
      std::printf("\r%s [%s%s] %zu/%zu", head, std::string(filled, '#').c_str(),
                  std::string(width - filled, '.').c_str(), done, total);
      std::fflush(stdout);
    };
    progress(0, g.checks.size());
    std::vector<CheckResult> results = runGroupIsolated(g, options, timeout, progress);
    long failed = 0;
    for (const CheckResult& r : results)
      if (r.status == Status::Fail) ++failed;
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - groupStart).count();
    std::printf("%s%s %zu checks, %ld failed (%.1f s)%s\n", terminal ? "\r" : "", head,
                results.size(), failed, secs, terminal ? "                    " : "");
    std::fflush(stdout);
    run.results.insert(run.results.end(), results.begin(), results.end());
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  printTable(stdout, run);
  std::fflush(stdout);
  if (!jsonPath.empty()) {
    const std::string j = toJson(run);
    writeWholeFile(jsonPath, std::vector<uint8_t>(j.begin(), j.end()));
  }
  return run.exitCode();
}

}  // namespace khost
