// The validator's results for people (a table summarising each check's
// findings, why each kind matters, then the figures) and for scripts (JSON
// with every finding and the options that repeat it).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/validate/check.h"
#include "tools/validate/results.h"

namespace validate {

struct Run {
  RunOptions options;
  std::vector<CheckResult> results;
  double seconds = 0.0;
  int exitCode() const;  // 0 no FAIL (warnings allowed), 1 some check failed
};

// The options that rerun one check with the same cases.
std::string reproduce(const Run& run, const std::string& group, const std::string& check);

// The finding a check's row shows: its first crash, hang, memory fault or
// exception, else its first FAIL, else its first warning.
const Finding* headline(const CheckResult& r);

// "in 65 cases: rate 8000, 11025 (+3 more); block 1, 2" for the findings
// of one severity; "" when there is nothing to summarise.
std::string summary(const CheckResult& r, Severity severity);

void printTable(std::FILE* out, const Run& run);
std::string toJson(const Run& run);

}  // namespace validate
