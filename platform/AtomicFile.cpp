#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace platform {

std::string temporaryNameFor(const std::string& name) {
  static std::atomic<unsigned> counter{0};
  uint64_t random = 0;
  if (getrandom(&random, sizeof(random), GRND_NONBLOCK) != static_cast<ssize_t>(sizeof(random))) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    random = static_cast<uint64_t>(ts.tv_nsec) ^ (static_cast<uint64_t>(ts.tv_sec) << 32);
  }
  char suffix[80];
  std::snprintf(suffix, sizeof(suffix), ".tmp-%ld-%u-%016llx", static_cast<long>(getpid()),
                counter.fetch_add(1, std::memory_order_relaxed),
                static_cast<unsigned long long>(random));
  return "." + name + suffix;
}

bool writeFileAtomically(const std::string& path, const void* data, std::size_t size,
                         unsigned newFileMode) {
  try {
    // Absolute paths only: a relative one would depend on the host's cwd.
    if (path.empty() || path[0] != '/' || path.back() == '/') return false;
    std::string::size_type slash = path.rfind('/');
    std::string folder = path.substr(0, slash + 1);
    std::string name = path.substr(slash + 1);

    struct stat old;
    bool exists = stat(path.c_str(), &old) == 0;
    if (exists &&
        (!S_ISREG(old.st_mode) || faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0))
      return false;
    // The rename replaces a symbolic link itself, not the file it points to:
    // the result is a new file, and the target's permissions are not ours
    // to copy.
    struct stat own;
    const bool keepMode = exists && lstat(path.c_str(), &own) == 0 && S_ISREG(own.st_mode);

    // Long names are shortened in the temporary's name to stay within the
    // file system's name limit.
    std::string temporary = folder + temporaryNameFor(name.substr(0, 64));
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, newFileMode & 07777);
    if (fd < 0) return false;
    bool ok = true;
    if (keepMode) ok = fchmod(fd, own.st_mode & 07777) == 0;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    std::size_t left = size;
    while (ok && left > 0) {
      ssize_t n = write(fd, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = false;
        break;
      }
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    ok = ok && rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
      unlink(temporary.c_str());
      return false;
    }
    // Make the rename itself durable; the file is complete either way.
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      fsync(dir);
      close(dir);
    }
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace platform
