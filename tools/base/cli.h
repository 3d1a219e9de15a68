// Shared pieces of the command line: exit codes, the error that carries one,
// and locale-independent number parsing and formatting.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace khost {

enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,   // bad arguments, unknown parameter, value out of range
  kExitPlugin = 2,  // plug-in cannot be loaded, or cannot do what was asked
  kExitIo = 3,      // file, audio file, preset file or display problems
};

// Every failure becomes one line on stderr and one exit code in main().
class HostError : public std::runtime_error {
 public:
  HostError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

[[noreturn]] void usageError(const std::string& message);

// Whole-text parses; false on any trailing junk, overflow or empty text.
bool parseDouble(const std::string& text, double& out);
bool parseInt(const std::string& text, long long& out);

// '.' decimals whatever the locale.
// An option's number within lo..hi; a usage error naming the option otherwise.
long long intOption(const std::string& option, const std::string& text, long long lo, long long hi);
double doubleOption(const std::string& option, const std::string& text, double lo, double hi);

std::string formatDouble(double v, int decimals);
std::string formatGeneral(double v);  // shortest text that reads back exactly
std::string hex32(uint32_t v);

// Arguments after the command name, consumed front to back.
class ArgList {
 public:
  explicit ArgList(std::vector<std::string> args) : args_(std::move(args)) {}
  bool empty() const { return pos_ >= args_.size(); }
  const std::string& peek() const { return args_[pos_]; }
  std::string next() { return args_[pos_++]; }
  // The value of an option such as "--block N"; a missing value is a usage error.
  std::string value(const std::string& option);

 private:
  std::vector<std::string> args_;
  size_t pos_ = 0;
};

bool isHelp(const std::string& arg);

// Runs one command: its exit code, or one line "korva-host NAME: why" on
// stderr and the error's code for whatever it throws.
int runCommand(const char* name, int (*run)(ArgList&), ArgList& args);

}  // namespace khost
