// Output files appear whole or not at all: data goes to a temporary file in
// the destination's directory and is renamed over the destination at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace khost {

class AtomicFile {
 public:
  // Creates the temporary file; throws HostError(kExitIo) when it cannot.
  explicit AtomicFile(const std::string& destination);
  ~AtomicFile();  // removes the temporary file unless committed
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  int fd() const { return fd_; }
  const std::string& tempPath() const { return temp_; }
  // Hands the descriptor to someone who closes it (e.g. libsndfile).
  int releaseFd();
  void commit();  // rename over the destination; throws on failure

 private:
  std::string destination_;
  std::string temp_;
  int fd_ = -1;
  bool committed_ = false;
};

// Plug-in states and preset files are a few kilobytes; anything this large is
// not one.
constexpr size_t kMaxStateFileBytes = 8u << 20;

// Opens a regular file for reading without blocking on a FIFO or a device;
// throws HostError(kExitIo) for anything else. Returns the descriptor.
int openRegularFile(const std::string& path);

// Reads a whole regular file of at most maxBytes; throws HostError(kExitIo).
std::vector<uint8_t> readWholeFile(const std::string& path, size_t maxBytes = kMaxStateFileBytes);
// Writes through a temporary file; throws HostError(kExitIo).
void writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace khost
