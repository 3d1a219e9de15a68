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
#include "tools/lv2/lv2_host.h"
#include "tools/validate/isolation.h"
#include "tools/validate/lv2/lv2_groups.h"
#include "tools/validate/report.h"
#include "tools/validate/rt_monitor.h"

namespace khost {

namespace {

const char* const kHelpHead =
    "usage: korva-host validate PLUGIN.so|URI [--level 1..10] [--seed N]\n"
    "                           [--json FILE] [--only GROUP[/CHECK],...]\n"
    "                           [--timeout SECONDS]\n"
    "\n"
    "Checks a LinuxVST 2.4 plug-in, or an LV2 plug-in found by its URI on LV2_PATH\n"
    "(or lilv's default path), strictly, as a hostile host would. Each group\n"
    "runs in a child process: a crash, an abort, a sanitizer report or a hang\n"
    "(no progress for --timeout seconds, default 120) is that check's failure,\n"
    "and the run goes on. Buffers the host gives (audio, chunks, texts, event\n"
    "lists) end at a guard page, so reading or writing past them is a crash that\n"
    "names the buffer and the call. Prints a progress line per group, then a\n"
    "table: group, check, result, cases tried, failed cases and the first\n"
    "finding, with a summary of where it failed (rates, block sizes,\n"
    "parameters) and the options that repeat it; then why each kind of finding\n"
    "matters, then the figures.\n"
    "\n"
    "groups:\n"
    "  identity     entry point, record, texts within their limits, can-do answers\n"
    "  parameters   names, labels and displays for values in 0..1 and odd values\n"
    "               (guard bytes past the VST limits), set/get round trip,\n"
    "               out-of-range indices\n"
    "  processing   12 sample rates x 16 block sizes, finite bounded output; two\n"
    "               instances give the same bytes; in-place buffers give what\n"
    "               separate ones give in the same instance; an unconnected right\n"
    "               input; 1234.5678 Hz, a rate no host uses (warnings only)\n"
    "  bad-input    NaN, Inf, denormal and huge bursts, then the output must be\n"
    "               finite and bounded again within the declared tail (or 10 s)\n"
    "  real-time    no allocation, lock (mutex, reader-writer, spin), wait\n"
    "               (condition, semaphore, futex, join), sleep, poll, file access\n"
    "               or mmap in processReplacing and effProcessEvents (the first\n"
    "               block after a resume is warm-up); cost of a silent tail after\n"
    "               a burst at most 1.2x the burst's\n"
    "  state        chunk round trip, random/truncated/oversized/bit-flipped\n"
    "               chunks and odd values written into them (a refused one leaves\n"
    "               getChunk identical; after any, every parameter reads back in\n"
    "               0..1 and the output stays bounded), fxp/fxb\n"
    "  threads      audio, automation and editor threads at once\n"
    "  editor       rect, open/close cycles (X descriptors, child windows, X\n"
    "               errors), state restored while open, idle CPU; needs DISPLAY\n"
    "  lifecycle    create/destroy cycles (heap and RSS growth), suspend/resume\n"
    "               with rate and block changes, calls in odd allowed orders\n"
    "  environment  locale, working folder, signal handlers, environment and FPU\n"
    "               mode unchanged after every call (dlopen itself included); no\n"
    "               file written outside $XDG_CONFIG_HOME (and $XDG_CACHE_HOME)\n"
    "\n"
    "LV2 groups (the plug-in driven through the raw LV2 C API; ports, atom\n"
    "sequences and state values handed to it end at a guard page):\n"
    "  identity     ports (symbols, ranges, defaults within them, units), features,\n"
    "               descriptor, extension data, presets that load and apply\n"
    "  parameters   input control ports across their range, all at once, odd values\n"
    "               (NaN, Inf, far out of range: only unbounded output fails)\n"
    "  processing   12 rates (one instance each) x 16 block sizes up to the\n"
    "               declared maximum; two instances agree; in-place buffers unless\n"
    "               lv2:inPlaceBroken; 1234.5678 Hz (warnings only)\n"
    "  bad-input    as above, 10 s to recover (LV2 declares no tail)\n"
    "  real-time    run with port writes, MIDI and time:Position: no allocation,\n"
    "               lock, wait, sleep or file access, whatever lv2:hardRTCapable says\n"
    "  state        save/restore round trip; mutated, truncated, foreign-typed,\n"
    "               missing and unknown values: a refusal answers an error and\n"
    "               changes nothing, a success changes what it was given; output\n"
    "               bounded after any\n"
    "  atom-input   MIDI (cut-short messages change nothing), time:Position with\n"
    "               odd values, malformed sequences (warnings only)\n"
    "  threads      run beside port writes and save; beside restore only with\n"
    "               state:threadSafeRestore\n"
    "  ui           X11 UIs under a real parent: open/close cycles, the UI or the\n"
    "               plug-in cleaned up first, two UIs on one instance, a parent\n"
    "               that does not exist; needs DISPLAY\n"
    "  lifecycle    instantiate/cleanup cycles, activate/deactivate cycles, several\n"
    "               rates at once, odd orders\n"
    "  environment  as above, every LV2 call\n"
    "\n"
    "Counts grow with --level (default 2; 10 is the long soak). --seed picks the\n"
    "random cases (default 1); --only runs some groups, or single checks\n"
    "(--only 'state/mutated chunks'), with exactly the cases of a full run.\n"
    "--json FILE writes every finding for scripts (its folder must be writable:\n"
    "checked before any check runs). Each child gets a private HOME,\n"
    "XDG_CONFIG_HOME, TMPDIR and working folder.\n"
    "\n"
    "Each finding has a kind, which says why it matters and how severe it is:\n"
    "FAIL for what users suffer in real hosts, warn for what breaks the letter\n"
    "of the format but no known host.\n";

const char* const kHelpTail =
    "\n"
    "exit codes:\n"
    "  0   no check failed (warnings allowed)\n"
    "  1   a check failed (a FAIL finding)\n"
    "  2   the plug-in cannot be loaded (missing, not a plug-in, no such URI on\n"
    "      LV2_PATH, needs an LV2 feature this host does not give, crashes or hangs\n"
    "      while loading)\n"
    "  3   I/O error: the --json file cannot be written, no temporary folder,\n"
    "      the monitors are not active\n"
    "  64  usage error: an unknown option, a bad level, seed or timeout, an\n"
    "      unknown group or check, no plug-in\n";

}  // namespace

std::string validateHelp() {
  std::string help = std::string(kHelpHead) + "\n";
  for (const validate::KindInfo& k : validate::allKinds()) {
    // Wrapped at 78 columns under its name.
    const std::string name = k.name;
    std::string line = "  " + name + std::string(13 - name.size(), ' ') +
                       (k.severity == validate::Severity::Fail ? "FAIL  " : "warn  ");
    const size_t width = line.size();
    std::string word;
    for (const char ch : std::string(k.why) + " ") {
      if (ch != ' ') {
        word += ch;
        continue;
      }
      if (line.size() + word.size() > 78) {
        line.pop_back();
        help += line + "\n";
        line = std::string(width, ' ');
      }
      line += word + " ";
      word.clear();
    }
    line.pop_back();
    help += line + "\n";
  }
  return help + kHelpTail;
}

namespace {

std::vector<std::string> splitList(const std::string& text, bool lv2) {
  std::vector<std::string> out;
  std::stringstream in(text);
  for (std::string item; std::getline(in, item, ',');) {
    // A check's name may hold a comma ("threads/audio, automation and UI"):
    // a piece that names no group continues the one before.
    const std::string head = item.substr(
        item.find_first_not_of(' ') == std::string::npos ? 0 : item.find_first_not_of(' '));
    bool names = false;
    for (const validate::GroupDef& g : validate::groupsFor(lv2))
      if (head == g.name || head.rfind(std::string(g.name) + "/", 0) == 0) names = true;
    if (!names && !out.empty() && out.back().find('/') != std::string::npos)
      out.back() += "," + item;
    else if (!item.empty())
      out.push_back(item);
  }
  return out;
}

// Usage errors leave with their own code, apart from a failed check's 1.
[[noreturn]] void badUsage(const std::string& message) {
  throw HostError(kExitValidateUsage, message);
}

std::string groupNames(bool lv2) {
  std::string names;
  for (const validate::GroupDef& g : validate::groupsFor(lv2))
    names += std::string(names.empty() ? "" : ", ") + g.name;
  return names;
}

// The groups (whole, or some of their checks) --only names, in run order.
std::vector<validate::GroupDef> selectGroups(const std::vector<std::string>& only, bool lv2) {
  using validate::GroupDef;
  std::vector<GroupDef> out;
  for (const GroupDef& g : validate::groupsFor(lv2)) {
    bool whole = only.empty();
    std::vector<validate::CheckDef> some;
    for (const std::string& item : only) {
      if (item == g.name) whole = true;
      const std::string prefix = std::string(g.name) + "/";
      if (item.rfind(prefix, 0) != 0) continue;
      const std::string check = item.substr(prefix.size());
      for (const validate::CheckDef& c : g.checks)
        if (check == c.name) some.push_back(c);
    }
    if (whole)
      out.push_back(g);
    else if (!some.empty())
      out.push_back(GroupDef{g.name, some});
  }
  for (const std::string& item : only) {
    const size_t slash = item.find('/');
    const std::string group = item.substr(0, slash);
    const GroupDef* found = nullptr;
    for (const GroupDef& g : validate::groupsFor(lv2))
      if (group == g.name) found = &g;
    if (found == nullptr) badUsage("no group \"" + group + "\" (groups: " + groupNames(lv2) + ")");
    if (slash == std::string::npos) continue;
    const std::string check = item.substr(slash + 1);
    std::string checks;
    bool known = false;
    for (const validate::CheckDef& c : found->checks) {
      known = known || check == c.name;
      checks += std::string(checks.empty() ? "" : ", ") + c.name;
    }
    if (!known) badUsage("no check \"" + check + "\" in " + group + " (checks: " + checks + ")");
  }
  return out;
}

}  // namespace

static int validateWith(ArgList& args);

int runValidate(ArgList& args) {
  try {
    return validateWith(args);
  } catch (const HostError& e) {
    // ArgList's own complaints (an option without its value) are usage errors too.
    if (e.code() == kExitUsage) throw HostError(kExitValidateUsage, e.what());
    throw;
  }
}

static int validateWith(ArgList& args) {
  using namespace validate;
  RunOptions options;
  options.level = 2;
  std::string jsonPath;
  std::string onlyText;
  double timeout = 120.0;
  std::vector<std::string> positional;
  while (!args.empty()) {
    const std::string a = args.next();
    long long v = 0;
    if (a == "--level") {
      const std::string t = args.value(a);
      if (!parseInt(t, v) || v < 1 || v > 10) badUsage("--level wants 1..10, got \"" + t + "\"");
      options.level = static_cast<int>(v);
    } else if (a == "--seed") {
      const std::string t = args.value(a);
      if (!parseInt(t, v) || v < 0) badUsage("--seed wants a number >= 0, got \"" + t + "\"");
      options.seed = static_cast<uint64_t>(v);
    } else if (a == "--json") {
      jsonPath = args.value(a);
    } else if (a == "--only") {
      onlyText = args.value(a);
    } else if (a == "--timeout") {
      double t = 0;
      const std::string text = args.value(a);
      if (!parseDouble(text, t) || t <= 0 || t > 86400)
        badUsage("--timeout wants seconds above 0, got \"" + text + "\"");
      timeout = t;
    } else if (a.size() > 1 && a[0] == '-') {
      badUsage("unknown option " + a);
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 1) badUsage("want PLUGIN.so or an LV2 URI (korva-host validate --help)");
  options.pluginPath = positional[0];
  options.lv2 = isLv2Uri(options.pluginPath);
  const std::vector<std::string> only =
      onlyText.empty() ? std::vector<std::string>() : splitList(onlyText, options.lv2);
  if (options.lv2) {
    // Children work in folders of their own: LV2_PATH must not depend on ours.
    setenv("LV2_PATH", absoluteLv2Path().c_str(), 1);
  } else if (char* full = realpath(options.pluginPath.c_str(), nullptr)) {
    // Children work in folders of their own; the path must not depend on ours.
    options.pluginPath = full;
    std::free(full);
  }
  const char* display = std::getenv("DISPLAY");
  options.display = display != nullptr && *display != '\0';

  const std::vector<GroupDef> selected = selectGroups(only, options.lv2);
  std::vector<const GroupDef*> groups;
  for (const GroupDef& g : selected) groups.push_back(&g);
  // A result nobody can write is refused before the long run, not after it.
  if (!jsonPath.empty()) checkWritable(jsonPath);

  if (!rt::live())
    throw HostError(kExitIo, "the allocation and blocking-call monitors are not active");
  const std::string why = options.lv2 ? lv2::preflight(options.pluginPath, std::min(timeout, 30.0))
                                      : preflight(options.pluginPath, std::min(timeout, 30.0));
  if (!why.empty()) throw HostError(kExitPlugin, why);

  const auto start = std::chrono::steady_clock::now();
  Run run;
  run.options = options;
  const bool terminal = isatty(1) != 0;
  std::printf("korva-host validate %s (level %d, seed %llu%s)\n", options.pluginPath.c_str(),
              options.level, static_cast<unsigned long long>(options.seed),
              options.display ? ""
              : options.lv2   ? ", no DISPLAY: UI checks skipped"
                              : ", no DISPLAY: editor checks skipped");
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
