// A temporary folder removed with everything in it when the test ends, and
// the file and shell helpers the tests that run korva-host as a command share.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

class TempDir {
 public:
  explicit TempDir(const char* prefix = "korva-test") {
    std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
    const char* made = mkdtemp(pattern.data());
    path_ = made ? made : "";
  }
  ~TempDir() {
    if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// One word for /bin/sh, whatever it holds.
inline std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}
