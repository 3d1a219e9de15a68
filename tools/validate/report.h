// The validator's results for people (a table, then the figures) and for
// scripts (JSON with the same rows).
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
  int exitCode() const;  // 0 every check passed, 1 some failed
};

// The command that reruns one group with the same cases.
std::string reproduce(const Run& run, const std::string& group);

void printTable(std::FILE* out, const Run& run);
std::string toJson(const Run& run);

}  // namespace validate
