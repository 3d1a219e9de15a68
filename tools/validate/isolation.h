// Runs a group's checks in a child process, so that a crash, an abort, a
// sanitizer report or a hang in the plug-in becomes the failure of the check
// it happened in, and the remaining checks still run in a fresh child.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/validate/check.h"
#include "tools/validate/results.h"

namespace validate {

// Called as checks finish: checks done, checks in the group.
using Progress = std::function<void(size_t done, size_t total)>;

std::vector<CheckResult> runGroupIsolated(const GroupDef& group, const RunOptions& options,
                                          double timeoutSeconds, const Progress& progress);

// Loads the plug-in (entry point and effOpen) in a child. Empty when it loads;
// otherwise the one-line reason it cannot be validated.
std::string preflight(const std::string& path, double timeoutSeconds);
// The same for any format: `load` loads `path` and throws why it cannot.
std::string preflightWith(const std::string& path, double timeoutSeconds,
                          const std::function<void()>& load);

// A private home, configuration folder, temporary folder and working folder
// for one child; removed with everything in it when destroyed.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // In the child: points HOME, XDG_CONFIG_HOME, TMPDIR there and enters cwd.
  void enter() const;
  const std::string& root() const { return root_; }
  std::string home() const { return root_ + "/home"; }
  std::string config() const { return root_ + "/home/.config"; }
  std::string cache() const { return root_ + "/home/.cache"; }
  std::string tmp() const { return root_ + "/tmp"; }
  std::string cwd() const { return root_ + "/cwd"; }
  std::string log() const { return root_ + "/output.log"; }

 private:
  std::string root_;
};

// The first sanitizer or runtime-error line of a child's output, if any.
std::string firstReportLine(const std::string& logPath);

}  // namespace validate
