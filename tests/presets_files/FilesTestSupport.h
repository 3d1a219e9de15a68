// Shared pieces of the file and settings tests: temporary folders, a scripted
// file dialog, hand-built records and an unprivileged child process.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileDialog.h"

using Bytes = std::vector<unsigned char>;

inline Bytes readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

class TempDir {
 public:
  explicit TempDir(const char* stem = "korva-files") {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
    char* made = mkdtemp(pattern.data());
    path = made ? made : "";
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path, ec);
  }
  std::string file(const std::string& name) const { return path + "/" + name; }
  std::string folder() const { return path + "/"; }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path))
      names.push_back(e.path().filename().string());
    return names;
  }
  std::string path;
};

// Answers the dialogs from a script and records what each dialog was asked.
class ScriptedDialogs : public platform::FileDialogRunner {
 public:
  ScriptedDialogs() { platform::setFileDialogRunnerForTesting(this); }
  ~ScriptedDialogs() override { platform::setFileDialogRunnerForTesting(nullptr); }

  std::optional<std::string> run(const platform::FileDialogRequest& request) override {
    requests.push_back(request);
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  void answer(const std::string& path) { answers.push_back(path); }
  void cancel() { answers.push_back(std::nullopt); }

  std::vector<std::optional<std::string>> answers;
  std::vector<platform::FileDialogRequest> requests;
};

// Little-endian bytes of a float given by its bit pattern, and the reverse.
inline void putWordLE(Bytes& b, size_t at, uint32_t w) {
  b[at] = w & 0xFF;
  b[at + 1] = (w >> 8) & 0xFF;
  b[at + 2] = (w >> 16) & 0xFF;
  b[at + 3] = (w >> 24) & 0xFF;
}
inline void putWordBE(Bytes& b, size_t at, uint32_t w) {
  b[at] = (w >> 24) & 0xFF;
  b[at + 1] = (w >> 16) & 0xFF;
  b[at + 2] = (w >> 8) & 0xFF;
  b[at + 3] = w & 0xFF;
}
inline uint32_t bitsOf(float f) {
  uint32_t w;
  std::memcpy(&w, &f, 4);
  return w;
}
inline float floatOf(uint32_t w) {
  float f;
  std::memcpy(&f, &w, 4);
  return f;
}
inline uint32_t reversedBits(uint32_t w) {
  return (w >> 24) | ((w >> 8) & 0xFF00) | ((w << 8) & 0xFF0000) | (w << 24);
}

// A record as a writer of the given byte order would produce it: the
// identifier 'KVRA' ("ARVK" on disk from a little-endian writer), the type
// byte, then names (bytes) and values (words).
struct RecordBuilder {
  Bytes bytes;
  bool bigEndian;
  RecordBuilder(size_t size, unsigned char type, bool bigEndian)
      : bytes(size, 0), bigEndian(bigEndian) {
    word(0, 0x4B565241u);  // 'K' 'V' 'R' 'A'
    bytes[4] = type;
  }
  void word(size_t at, uint32_t w) {
    if (bigEndian)
      putWordBE(bytes, at, w);
    else
      putWordLE(bytes, at, w);
  }
  void value(size_t at, float f) { word(at, bitsOf(f)); }
  void name(size_t at, const char* text) {
    std::memcpy(bytes.data() + at, text, std::min<size_t>(std::strlen(text), 24));
  }
};

// Runs fn in a child process; when we are root the child first becomes
// "nobody", so that file permissions bind it. Returns fn's verdict.
inline bool runUnprivileged(const std::function<bool()>& fn) {
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (geteuid() == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    }
    _exit(fn() ? 0 : 1);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
