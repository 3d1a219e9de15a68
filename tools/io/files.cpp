#include "tools/io/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/AtomicFile.h"
#include "tools/base/cli.h"

namespace khost {

namespace {

std::string folderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

std::string absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> cwd(4096);
  while (getcwd(cwd.data(), cwd.size()) == nullptr) {
    if (errno != ERANGE) throw HostError(kExitIo, "cannot write " + path + ": no working folder");
    cwd.resize(cwd.size() * 2);
  }
  return std::string(cwd.data()) + "/" + path;
}

// Why the path cannot be an output file, or "".
std::string outputProblem(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return path + " is a directory";
  const std::string folder = folderOf(path);
  if (access(folder.c_str(), W_OK | X_OK) != 0)
    return "cannot write in " + folder + ": " + std::strerror(errno);
  return "";
}

}  // namespace

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

void checkWritable(const std::string& path) {
  const std::string problem = outputProblem(path);
  if (!problem.empty()) throw HostError(kExitIo, problem);
}

void writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  checkWritable(path);
  errno = 0;
  if (platform::writeFileAtomically(absolute(path), bytes.data(), bytes.size(), 0644)) return;
  const int err = errno;
  std::string problem = outputProblem(path);
  if (problem.empty())
    problem = "cannot write " + path + (err != 0 ? std::string(": ") + std::strerror(err) : "");
  throw HostError(kExitIo, problem);
}

}  // namespace khost
