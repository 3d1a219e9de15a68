#include "tools/validate/check.h"

#include <algorithm>
#include <atomic>

namespace validate {

namespace {

uint64_t mix(uint64_t seed, const std::string& name) {
  uint64_t h = seed ^ 0x9E3779B97F4A7C15ull;
  for (unsigned char c : name) h = (h ^ c) * 0x100000001B3ull;
  return h;
}

std::atomic<Check*> running{nullptr};

bool samePlace(const std::vector<Where>& a, const std::vector<Where>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].key != b[i].key || a[i].value != b[i].value) return false;
  return true;
}

}  // namespace

Check::Check(const RunOptions& options, CheckResult& result, SharedSlot* slot, Kind kind, Sink sink)
    : options_(options),
      result_(result),
      slot_(slot),
      kind_(kind),
      sink_(std::move(sink)),
      rng_(mix(options.seed, result.group + "/" + result.check)) {
  slot_->cases = 0;
  slot_->failures = 0;
  slot_->step[0] = '\0';
  slot_->firstFailure[0] = '\0';
  slot_->fault[0] = '\0';
  running = this;
}

Check::~Check() {
  flushCount();
  running = nullptr;
}

Check* Check::current() {
  return running.load();
}

double Check::uniform(double lo, double hi) {
  return std::uniform_real_distribution<double>(lo, hi)(rng_);
}

long Check::between(long lo, long hi) {
  return std::uniform_int_distribution<long>(lo, hi)(rng_);
}

void Check::step(const std::string& what) {
  step_ = what;
  copyInto(slot_->step, sizeof slot_->step, what);
  slot_->progress = slot_->progress + 1;
}

void Check::tried(long n) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  result_.cases += n;
  rangeSize_ = n;
  rangeFailed_ = 0;
  slot_->cases = result_.cases;
  slot_->progress = slot_->progress + 1;
}

void Check::flushCount() {
  if (countDirty_ && sink_ && !result_.findings.empty())
    sink_(encodeCount(result_.findings.back().count));
  countDirty_ = false;
}

void Check::record(Kind kind, const std::string& what, const std::vector<Where>& where,
                   bool merge) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Finding f;
  f.kind = kind;
  f.text = what.empty() ? step_ : what;
  // An inner place of the same key (a check's own, then a helper's) wins.
  const std::vector<Where>* lists[] = {&places_, &where};
  for (const std::vector<Where>* list : lists)
    for (const Where& w : *list) {
      auto same = std::find_if(f.where.begin(), f.where.end(),
                               [&](const Where& o) { return o.key == w.key; });
      if (same != f.where.end())
        same->value = w.value;
      else
        f.where.push_back(w);
    }
  if (f.severity() == Severity::Fail) {
    // A finding before any case counts as the case it was found in.
    if (result_.cases == 0) tried();
    if (rangeFailed_ < rangeSize_) {
      ++rangeFailed_;
      ++result_.failures;
    }
    if (result_.status != Status::Fail) {
      result_.status = Status::Fail;
      result_.detail = f.text;
      copyInto(slot_->firstFailure, sizeof slot_->firstFailure, f.text);
    }
    slot_->failures = result_.failures;
  } else {
    ++result_.warnings;
    if (result_.status == Status::Pass) {
      result_.status = Status::Warn;
      result_.detail = f.text;
    }
  }
  if (merge && !result_.findings.empty() && result_.findings.back().kind == kind &&
      samePlace(result_.findings.back().where, f.where)) {
    ++result_.findings.back().count;
    countDirty_ = true;
    return;
  }
  if (static_cast<long>(result_.findings.size()) >= kKeptFindings) {
    ++result_.dropped;
    return;
  }
  flushCount();
  result_.findings.push_back(f);
  if (sink_) sink_(encodeFinding(f));
}

void Check::report(Kind kind, const std::string& what, const std::vector<Where>& where) {
  record(kind, what, where, false);
}

void Check::reportAgain(Kind kind, const std::string& what, const std::vector<Where>& where) {
  record(kind, what, where, true);
}

void Check::fail(const std::string& what) {
  record(kind_, what, {}, false);
}

void Check::warn(const std::string& what) {
  record(Kind::Letter, what, {}, false);
}

void Check::skip(const std::string& why) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (result_.status == Status::Pass || result_.status == Status::Warn) {
    result_.status = Status::Skip;
    result_.detail = why;
  }
}

void Check::note(const std::string& what) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (result_.status == Status::Pass) result_.detail = what;
}

void Check::figure(const std::string& name, double value, const std::string& unit) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  result_.figures.push_back(Figure{name, value, unit});
}

Check::Place::Place(Check& c, std::vector<Where> where) : check_(c) {
  std::lock_guard<std::recursive_mutex> lock(c.mutex_);
  size_ = c.places_.size();
  c.places_.insert(c.places_.end(), where.begin(), where.end());
}

Check::Place::~Place() {
  std::lock_guard<std::recursive_mutex> lock(check_.mutex_);
  check_.places_.resize(size_);
}

const std::vector<GroupDef>& allGroups() {
  static const std::vector<GroupDef> groups = {
      {"identity", identityChecks()},     {"parameters", parameterChecks()},
      {"processing", processingChecks()}, {"bad-input", badInputChecks()},
      {"real-time", realtimeChecks()},    {"state", stateChecks()},
      {"threads", threadChecks()},        {"editor", editorChecks()},
      {"lifecycle", lifecycleChecks()},   {"environment", environmentChecks()},
  };
  return groups;
}

const std::vector<GroupDef>& groupsFor(bool lv2) {
  return lv2 ? allLv2Groups() : allGroups();
}

}  // namespace validate
