#include "tools/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/cli.h"

namespace khost {

AtomicFile::AtomicFile(const std::string& destination) : destination_(destination) {
  struct stat st {};
  if (stat(destination.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw HostError(kExitIo, destination + " is a directory");
  const size_t slash = destination.find_last_of('/');
  const std::string dir =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : destination.substr(0, slash));
  const std::string base = slash == std::string::npos ? destination : destination.substr(slash + 1);
  std::string pattern = dir + "/." + base + ".tmp-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_ = mkstemp(name.data());
  if (fd_ < 0) throw HostError(kExitIo, "cannot write in " + dir + ": " + std::strerror(errno));
  temp_ = name.data();
  fchmod(fd_, 0644);
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temp_.empty()) unlink(temp_.c_str());
}

int AtomicFile::releaseFd() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void AtomicFile::commit() {
  if (fd_ >= 0) {
    if (::close(fd_) != 0) {
      fd_ = -1;
      throw HostError(kExitIo, "cannot write " + destination_ + ": " + std::strerror(errno));
    }
    fd_ = -1;
  }
  if (std::rename(temp_.c_str(), destination_.c_str()) != 0)
    throw HostError(kExitIo, "cannot write " + destination_ + ": " + std::strerror(errno));
  committed_ = true;
}

int openRegularFile(const std::string& path) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw HostError(kExitIo, "cannot open " + path + ": " + std::strerror(errno));
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw HostError(kExitIo, path + " is not a regular file");
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

std::vector<uint8_t> readWholeFile(const std::string& path, size_t maxBytes) {
  const int fd = openRegularFile(path);
  const auto tooLarge = [&] {
    ::close(fd);
    return HostError(kExitIo, path + " is larger than " + std::to_string(maxBytes >> 20) +
                                  " MB, too large for a plug-in state");
  };
  struct stat st {};
  if (fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) > maxBytes) throw tooLarge();
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      throw HostError(kExitIo, "cannot read " + path + ": " + std::strerror(err));
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
    if (bytes.size() > maxBytes) throw tooLarge();  // the file grew while read
  }
  ::close(fd);
  return bytes;
}

void writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  AtomicFile file(path);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(file.fd(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw HostError(kExitIo, "cannot write " + path + ": " + std::strerror(errno));
    }
    done += static_cast<size_t>(n);
  }
  file.commit();
}

}  // namespace khost
