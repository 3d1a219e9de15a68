// What a check's code sees: the plug-in path, level, its own random stream,
// and the recorder for cases, failures, warnings and figures.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "tools/validate/results.h"

namespace validate {

struct RunOptions {
  std::string pluginPath;
  int level = 3;
  uint64_t seed = 1;
  bool display = false;  // an X display is available for editors
};

class Check {
 public:
  Check(const RunOptions& options, CheckResult& result, SharedSlot* slot);

  const std::string& pluginPath() const { return options_.pluginPath; }
  int level() const { return options_.level; }
  bool haveDisplay() const { return options_.display; }
  // Counts scaled by the level: base at level 1, base * level above.
  long scaled(long base) const { return base * options_.level; }

  // Each check draws from its own stream, seeded from the run's seed and the
  // check's name, so running one group alone reproduces the same cases.
  std::mt19937_64& rng() { return rng_; }
  double uniform(double lo, double hi);
  long between(long lo, long hi);  // inclusive

  // What the check is doing now; reported if the plug-in crashes or hangs.
  void step(const std::string& what);
  void tried(long n = 1);
  // Counts a failure; the first one's text (with the current step) is kept.
  void fail(const std::string& what);
  bool expect(bool ok, const std::string& what) {
    if (!ok) fail(what);
    return ok;
  }
  void warn(const std::string& what);
  void skip(const std::string& why);
  // A remark shown with a passing check (what was left out and why).
  void note(const std::string& what);
  void figure(const std::string& name, double value, const std::string& unit);

  long failures() const { return result_.failures; }

 private:
  const RunOptions& options_;
  CheckResult& result_;
  SharedSlot* slot_;
  std::mt19937_64 rng_;
  std::string step_;
};

using CheckFunction = void (*)(Check&);

struct CheckDef {
  const char* name;
  CheckFunction run;
};

struct GroupDef {
  const char* name;
  std::vector<CheckDef> checks;
};

// Every group in the order they run.
const std::vector<GroupDef>& allGroups();

// The groups' check lists, one per file.
std::vector<CheckDef> identityChecks();
std::vector<CheckDef> parameterChecks();
std::vector<CheckDef> processingChecks();
std::vector<CheckDef> badInputChecks();
std::vector<CheckDef> realtimeChecks();
std::vector<CheckDef> stateChecks();
std::vector<CheckDef> threadChecks();
std::vector<CheckDef> editorChecks();
std::vector<CheckDef> lifecycleChecks();
std::vector<CheckDef> environmentChecks();

}  // namespace validate
