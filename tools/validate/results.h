// What one validator check found: cases tried, failures, the first failure's
// reproduction and any figures. Checks run in a child process; the parent
// reads their results from a pipe and, if the child dies, from a small shared
// page holding the step the child was in.
#pragma once

#include <string>
#include <vector>

namespace validate {

enum class Status { Pass, Fail, Warn, Skip };
const char* statusName(Status s);

struct Figure {
  std::string name;
  double value = 0.0;
  std::string unit;
};

struct CheckResult {
  std::string group, check;
  Status status = Status::Pass;
  long cases = 0;
  long failures = 0;
  std::string detail;  // first failure's reproduction, or the warning/skip reason
  std::vector<Figure> figures;
};

// One line per message on the pipe; fields never hold a newline or a tab.
std::string encodeResult(const CheckResult& r);
bool decodeResult(const std::string& line, CheckResult& r);

// Lives in memory shared between parent and child, written by the child
// without system calls so a crash leaves the last step readable.
struct SharedSlot {
  volatile int checkIndex;  // -1 before the first check
  volatile long cases;
  volatile long failures;
  volatile long progress;  // grows with every step and case: not hung
  char step[400];
  char firstFailure[400];
};

SharedSlot* createSharedSlot();  // anonymous shared mapping, zeroed

void copyInto(char* dst, size_t size, const std::string& text);

}  // namespace validate
