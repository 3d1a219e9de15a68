#include "tools/validate/check.h"

#include <functional>

namespace validate {

namespace {

uint64_t mix(uint64_t seed, const std::string& name) {
  uint64_t h = seed ^ 0x9E3779B97F4A7C15ull;
  for (unsigned char c : name) h = (h ^ c) * 0x100000001B3ull;
  return h;
}

}  // namespace

Check::Check(const RunOptions& options, CheckResult& result, SharedSlot* slot)
    : options_(options),
      result_(result),
      slot_(slot),
      rng_(mix(options.seed, result.group + "/" + result.check)) {
  slot_->cases = 0;
  slot_->failures = 0;
  slot_->step[0] = '\0';
  slot_->firstFailure[0] = '\0';
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
  result_.cases += n;
  slot_->cases = result_.cases;
  slot_->progress = slot_->progress + 1;
}

void Check::fail(const std::string& what) {
  if (result_.failures == 0) {
    result_.detail = what.empty() ? step_ : what;
    copyInto(slot_->firstFailure, sizeof slot_->firstFailure, result_.detail);
  }
  ++result_.failures;
  slot_->failures = result_.failures;
  result_.status = Status::Fail;
}

void Check::warn(const std::string& what) {
  if (result_.status == Status::Pass) {
    result_.status = Status::Warn;
    result_.detail = what;
  }
}

void Check::skip(const std::string& why) {
  if (result_.status == Status::Pass || result_.status == Status::Warn) {
    result_.status = Status::Skip;
    result_.detail = why;
  }
}

void Check::note(const std::string& what) {
  if (result_.status == Status::Pass) result_.detail = what;
}

void Check::figure(const std::string& name, double value, const std::string& unit) {
  result_.figures.push_back(Figure{name, value, unit});
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

}  // namespace validate
