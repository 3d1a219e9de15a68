// What one validator check found: cases tried, every finding (each with its
// kind, which says why it matters and how severe it is, and where it
// happened), and any figures. Checks run in a child process; the parent reads
// their findings and results from a pipe as they come and, if the child dies,
// the step it was in from a small shared page.
#pragma once

#include <string>
#include <vector>

namespace validate {

enum class Status { Pass, Fail, Warn, Skip };
const char* statusName(Status s);

// FAIL: what users suffer in real hosts. WARN: what breaks the letter of the
// format but no known host.
enum class Severity { Fail, Warn };

// Why a finding matters. Its severity follows from it, so that every finding
// of one kind is judged alike whichever check (or format) made it.
enum class Kind {
  Crash,
  Hang,
  Memory,
  Exception,
  Output,
  State,
  RealTime,
  Text,
  Environment,
  Resources,
  Race,
  Interface,
  Padding,
  OddRate,
  OddValue,
  Letter,
  Random,
  OddInput,
};

struct KindInfo {
  Kind kind;
  const char* name;  // as the table and the JSON show it
  Severity severity;
  const char* why;  // one line: what a user of the plug-in suffers, or why not
};

const std::vector<KindInfo>& allKinds();  // in the order above
const KindInfo& kindInfo(Kind kind);
bool kindByName(const std::string& name, Kind& kind);

// One piece of where a finding happened: {"rate", "44100"}, {"parameter", "3"}.
struct Where {
  std::string key, value;
};

struct Finding {
  Kind kind = Kind::Interface;
  std::string text;
  std::vector<Where> where;
  long count = 1;  // the same fault in the same place in this many cases
  Severity severity() const { return kindInfo(kind).severity; }
};

struct Figure {
  std::string name;
  double value = 0.0;
  std::string unit;
};

// Findings kept per check; beyond it they are counted only.
constexpr long kKeptFindings = 10000;

struct CheckResult {
  std::string group, check;
  Status status = Status::Pass;
  long cases = 0;
  long failures = 0;  // cases with a FAIL finding, never more than cases
  long warnings = 0;  // WARN findings, merged ones counted each
  long dropped = 0;   // findings beyond kKeptFindings
  // The first FAIL finding, else the first warning, the skip reason or a note.
  std::string detail;
  std::vector<Finding> findings;
  std::vector<Figure> figures;

  const Finding* first() const;  // the finding `detail` shows, if any
};

// One line per message on the pipe; fields never hold a newline or a tab.
// "F" lines carry findings as they are made, "C" lines the count of the last
// one when later cases merged into it, an "R" line closes the check.
std::string encodeFinding(const Finding& f);
std::string encodeCount(long count);
std::string encodeResult(const CheckResult& r);
// Applies one line to `r`; true when it was the closing "R" line.
bool decodeLine(const std::string& line, CheckResult& r, bool& ok);

// Lives in memory shared between parent and child, written by the child
// without system calls so a crash leaves the last step readable.
struct SharedSlot {
  volatile int checkIndex;  // -1 before the first check
  volatile long cases;
  volatile long failures;
  volatile long progress;  // grows with every step and case: not hung
  char step[400];
  char firstFailure[400];
  // Written by the fault handler: the host buffer the plug-in ran into.
  char fault[400];
};

SharedSlot* createSharedSlot();  // anonymous shared mapping, zeroed

void copyInto(char* dst, size_t size, const std::string& text);

}  // namespace validate
