// What a check's code sees: the plug-in path, level, its own random stream,
// and the recorder for cases, findings and figures.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "tools/validate/results.h"

namespace validate {

struct RunOptions {
  std::string pluginPath;  // the library, or the URI of an LV2 plug-in
  bool lv2 = false;
  int level = 3;
  uint64_t seed = 1;
  bool display = false;  // an X display is available for editors
};

class Check {
 public:
  // Receives each line for the parent (findings as they are made).
  using Sink = std::function<void(const std::string& line)>;

  // `kind` is what fail(what) reports: the check's own kind of fault.
  Check(const RunOptions& options, CheckResult& result, SharedSlot* slot,
        Kind kind = Kind::Interface, Sink sink = {});
  ~Check();
  Check(const Check&) = delete;
  Check& operator=(const Check&) = delete;

  const std::string& pluginPath() const { return options_.pluginPath; }
  int level() const { return options_.level; }
  bool haveDisplay() const { return options_.display; }
  // The run's seed, for cases several checks share.
  uint64_t seed() const { return options_.seed; }
  // Counts scaled by the level: base at level 1, base * level above.
  long scaled(long base) const { return base * options_.level; }

  // Each check draws from its own stream, seeded from the run's seed and the
  // check's name, so running one group or check alone reproduces the same cases.
  std::mt19937_64& rng() { return rng_; }
  double uniform(double lo, double hi);
  long between(long lo, long hi);  // inclusive

  // What the check is doing now; reported if the plug-in crashes or hangs.
  void step(const std::string& what);
  // Counts n cases. Findings made after it belong to them: a case with any
  // number of FAIL findings is one failure, so failures never exceed cases.
  void tried(long n = 1);

  // A finding; its severity follows from its kind. `where` adds to the
  // places given by at(). Every finding is kept (up to kKeptFindings).
  void report(Kind kind, const std::string& what, const std::vector<Where>& where = {});
  // The same fault again: merged into the last finding when that has the same
  // kind and place (its count grows), so that a fault repeating in every
  // block of a run is one finding with a count, yet each case still counts.
  void reportAgain(Kind kind, const std::string& what, const std::vector<Where>& where = {});
  // A finding of the check's own kind; empty `what` means the current step.
  void fail(const std::string& what);
  bool expect(bool ok, const std::string& what) {
    if (!ok) fail(what);
    return ok;
  }
  // A finding of kind Letter: against the letter of the format only.
  void warn(const std::string& what);
  void skip(const std::string& why);
  // A remark shown with a passing check (what was left out and why).
  void note(const std::string& what);
  void figure(const std::string& name, double value, const std::string& unit);

  long failures() const { return result_.failures; }

  // Places for the findings made while it lives: {"rate", "44100"}, ...
  class Place {
   public:
    Place(Check& c, std::vector<Where> where);
    ~Place();
    Place(const Place&) = delete;
    Place& operator=(const Place&) = delete;

   private:
    Check& check_;
    size_t size_;
  };
  [[nodiscard]] Place at(std::vector<Where> where) { return Place(*this, std::move(where)); }

  // The check running in this process now, or null: host buffers report the
  // plug-in's writes around them to it.
  static Check* current();

 private:
  void record(Kind kind, const std::string& what, const std::vector<Where>& where, bool merge);
  void flushCount();

  const RunOptions& options_;
  CheckResult& result_;
  SharedSlot* slot_;
  Kind kind_;
  Sink sink_;
  std::mt19937_64 rng_;
  std::string step_;
  std::vector<Where> places_;
  // The cases of the last tried(n), and how many of them failed.
  long rangeSize_ = 0;
  long rangeFailed_ = 0;
  bool countDirty_ = false;
  std::recursive_mutex mutex_;  // findings may come from a check's other threads
};

using CheckFunction = void (*)(Check&);

struct CheckDef {
  const char* name;
  CheckFunction run;
  Kind kind = Kind::Interface;  // what fail(what) reports
};

struct GroupDef {
  const char* name;
  std::vector<CheckDef> checks;
};

// Every group in the order they run: the VST ones, the LV2 ones
// (lv2/lv2_groups.cpp), and those of the format `lv2` names.
const std::vector<GroupDef>& allGroups();
const std::vector<GroupDef>& allLv2Groups();
const std::vector<GroupDef>& groupsFor(bool lv2);

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
