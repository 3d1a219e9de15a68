// Points XDG_CONFIG_HOME at a fresh temporary folder for the life of a test,
// so that no test reads or writes the user's real settings.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class TempConfigHome {
 public:
  TempConfigHome() {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    hadOld = old != nullptr;
    if (old) saved = old;
    std::string pattern = (std::filesystem::temp_directory_path() / "korva-config-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    path = made ? made : "";
    setenv("XDG_CONFIG_HOME", path.c_str(), 1);
  }
  ~TempConfigHome() {
    if (hadOld)
      setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
  std::string path;

 private:
  bool hadOld = false;
  std::string saved;
};
