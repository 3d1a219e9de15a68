// What the validator's tests share: running korva-host validate with or
// without an X display, and reading its table.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/XvfbServer.h"

namespace validate_test {

struct Result {
  int code = -1;
  bool exited = false;
  std::string out, err;
};

inline std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// One folder for the program's files, removed when the program ends.
class Scratch {
 public:
  Scratch() {
    char pattern[] = "/tmp/kv-test-XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  ~Scratch() { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string operator/(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

inline std::string scratch(const std::string& name) {
  static const Scratch dir;
  return dir / name;
}

// With an X display for the editor checks when `x` is set; `env` is what
// env(1) takes before the program: NAME=VALUE settings, or --chdir=DIR
// followed by them (without `x` only).
inline Result validate(const std::vector<std::string>& args, bool x = false,
                       const std::string& env = "") {
  std::string cmd = "env ";
  if (x) {
    XvfbServer& server = XvfbServer::shared();
    if (!server.running()) return Result{};
    cmd += "DISPLAY=" + server.display();
  } else {
    cmd += "-u DISPLAY";
  }
  if (!env.empty()) cmd += " " + env;
  cmd += std::string(" ") + KH_HOST + " validate";
  for (const std::string& a : args) cmd += " '" + a + "'";
  cmd += " >" + scratch("out") + " 2>" + scratch("err");
  const int status = std::system(cmd.c_str());
  Result r;
  r.exited = WIFEXITED(status);
  r.code = r.exited ? WEXITSTATUS(status) : -1;
  r.out = slurp(scratch("out"));
  r.err = slurp(scratch("err"));
  return r;
}

// The table row of one check: "group  check  result ...".
inline std::string row(const std::string& table, const std::string& group,
                       const std::string& check) {
  std::istringstream in(table);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(group + " ", 0) == 0 && line.find("  " + check + "  ") != std::string::npos)
      return line;
  return "";
}

inline bool failed(const std::string& table, const std::string& group, const std::string& check) {
  return row(table, group, check).find(" FAIL ") != std::string::npos;
}

// The rows that are not ok (or skipped), one per line.
inline std::vector<std::string> flaggedRows(const std::string& table) {
  std::vector<std::string> rows;
  std::istringstream in(table);
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != ' ' &&
        (line.find(" FAIL ") != std::string::npos || line.find(" warn ") != std::string::npos))
      rows.push_back(line);
  return rows;
}

// Every row's failed cases are at most its cases.
inline void expectFailuresWithinCases(const std::string& table) {
  std::istringstream in(table);
  for (std::string line; std::getline(in, line);) {
    const size_t at = line.find(" FAIL ");
    if (line.empty() || line[0] == ' ' || at == std::string::npos) continue;
    std::istringstream counts(line.substr(at + 6));
    long cases = -1, fails = -1;
    counts >> cases >> fails;
    EXPECT_GE(cases, fails) << line;
    EXPECT_GE(fails, 1) << line;
  }
}

}  // namespace validate_test
