#include "platform/SettingsStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"

struct platform::SettingsKeyHandle {
  std::string folder;
  uint32_t access = 0;
};

namespace platform {
namespace {

constexpr char kBinaryHeader[] = "REG_BINARY\n";
constexpr char kTextHeader[] = "REG_SZ\n";
constexpr size_t kMaxHeaderLength = 16;
constexpr size_t kMaxComponentLength = 255;

std::string configHome() {
  // Relative values are to be ignored, as the base-directory rules say.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.config";
  struct passwd pw;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &pw, buffer, sizeof(buffer), &found) == 0 && found && pw.pw_dir &&
      pw.pw_dir[0] == '/')
    return std::string(pw.pw_dir) + "/.config";
  return std::string();
}

bool validComponent(const std::string& c) {
  if (c.empty() || c.size() > kMaxComponentLength || c == "." || c == "..") return false;
  for (char ch : c)
    if (ch == '/' || static_cast<unsigned char>(ch) < 0x20) return false;
  return true;
}

// Value names become file names; a leading dot is reserved for temporaries.
bool validValueName(const char* name) {
  if (!name || name[0] == 0 || name[0] == '.') return false;
  size_t n = 0;
  for (const char* p = name; *p; ++p, ++n) {
    unsigned char ch = static_cast<unsigned char>(*p);
    if (ch == '/' || ch == '\\' || ch < 0x20 || n >= kMaxComponentLength) return false;
  }
  return true;
}

std::string folderOf(const char* keyPath) {
  if (!keyPath) return std::string();
  std::vector<std::string> parts;
  std::string part;
  for (const char* p = keyPath;; ++p) {
    if (*p == '\\' || *p == 0) {
      parts.push_back(part);
      part.clear();
      if (*p == 0) break;
    } else {
      part += *p;
    }
  }
  // A trailing separator is harmless, as in the registry.
  if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
  if (parts.size() < 2 || strcasecmp(parts[0].c_str(), "SOFTWARE") != 0) return std::string();
  std::string folder = configHome();
  if (folder.empty()) return folder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  for (size_t i = 1; i < parts.size(); ++i) {
    if (!validComponent(parts[i])) return std::string();
    folder += '/';
    folder += parts[i];
  }
  return folder;
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool makeFolders(const std::string& path) {
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    std::string prefix = path.substr(0, pos);
    if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return isDirectory(path);
}

long openKey(const char* keyPath, uint32_t access, SettingsKey* key, bool create) {
  if (!key) return kSettingsInvalidParameter;
  *key = nullptr;
  if ((access & kSettingsWriteAccess) == 0) return kSettingsInvalidParameter;
  std::string folder = folderOf(keyPath);
  if (folder.empty()) return kSettingsInvalidParameter;
  if (create) {
    if (!makeFolders(folder)) return kSettingsAccessDenied;
  } else if (!isDirectory(folder)) {
    return kSettingsNotFound;
  }
  SettingsKeyHandle* handle = new (std::nothrow) SettingsKeyHandle;
  if (!handle) return kSettingsWriteFailed;
  handle->folder = std::move(folder);
  handle->access = access;
  *key = handle;
  return kSettingsOk;
}

}  // namespace

long settingsCreateKey(const char* keyPath, uint32_t access, SettingsKey* key) {
  try {
    return openKey(keyPath, access, key, true);
  } catch (...) {
    return kSettingsWriteFailed;
  }
}

long settingsOpenKey(const char* keyPath, uint32_t access, SettingsKey* key) {
  try {
    return openKey(keyPath, access, key, false);
  } catch (...) {
    return kSettingsNotFound;
  }
}

long settingsQueryValue(SettingsKey key, const char* name, uint32_t* type, unsigned char* data,
                        uint32_t* size) {
  if (!key) return kSettingsInvalidHandle;
  if (!(key->access & kSettingsQueryAccess)) return kSettingsAccessDenied;
  if (!validValueName(name) || (data && !size)) return kSettingsInvalidParameter;
  try {
    std::string path = key->folder + '/' + name;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return kSettingsNotFound;
    std::vector<unsigned char> content;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              st.st_size <= static_cast<off_t>(kMaxHeaderLength + kSettingsMaxValueSize);
    if (ok) {
      // The descriptor holds one complete version even if a writer renames a
      // new one into place meanwhile.
      unsigned char chunk[4096];
      for (;;) {
        ssize_t n = read(fd, chunk, sizeof(chunk));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        content.insert(content.end(), chunk, chunk + n);
        if (content.size() > kMaxHeaderLength + kSettingsMaxValueSize) {
          ok = false;
          break;
        }
      }
    }
    close(fd);
    if (!ok) return kSettingsNotFound;

    uint32_t valueType;
    size_t headerLength;
    if (content.size() >= sizeof(kBinaryHeader) - 1 &&
        std::memcmp(content.data(), kBinaryHeader, sizeof(kBinaryHeader) - 1) == 0) {
      valueType = kSettingsBinary;
      headerLength = sizeof(kBinaryHeader) - 1;
    } else if (content.size() >= sizeof(kTextHeader) - 1 &&
               std::memcmp(content.data(), kTextHeader, sizeof(kTextHeader) - 1) == 0) {
      valueType = kSettingsText;
      headerLength = sizeof(kTextHeader) - 1;
    } else {
      return kSettingsNotFound;  // not a value this store wrote
    }
    const uint32_t valueSize = static_cast<uint32_t>(content.size() - headerLength);
    if (type) *type = valueType;
    if (!data) {
      if (size) *size = valueSize;
      return kSettingsOk;
    }
    if (*size < valueSize) {
      *size = valueSize;
      return kSettingsMoreData;
    }
    if (valueSize) std::memcpy(data, content.data() + headerLength, valueSize);
    *size = valueSize;
    return kSettingsOk;
  } catch (...) {
    return kSettingsNotFound;
  }
}

long settingsSetValue(SettingsKey key, const char* name, uint32_t type, const unsigned char* data,
                      uint32_t size) {
  if (!key) return kSettingsInvalidHandle;
  if (!(key->access & kSettingsSetAccess)) return kSettingsAccessDenied;
  if (!validValueName(name) || (type != kSettingsBinary && type != kSettingsText) ||
      size > kSettingsMaxValueSize || (size && !data))
    return kSettingsInvalidParameter;
  try {
    const char* header = type == kSettingsBinary ? kBinaryHeader : kTextHeader;
    std::vector<unsigned char> content(header, header + std::strlen(header));
    if (size) content.insert(content.end(), data, data + size);

    // The key's folder is the user's own (0700); its files get the usual
    // mode of a user's configuration file, less the umask.
    if (!writeFileAtomically(key->folder + '/' + name, content.data(), content.size(), 0644))
      return kSettingsWriteFailed;
    return kSettingsOk;
  } catch (...) {
    return kSettingsWriteFailed;
  }
}

long settingsDeleteValue(SettingsKey key, const char* name) {
  if (!key) return kSettingsInvalidHandle;
  if (!(key->access & kSettingsSetAccess)) return kSettingsAccessDenied;
  if (!validValueName(name)) return kSettingsInvalidParameter;
  try {
    std::string path = key->folder + '/' + name;
    if (unlink(path.c_str()) == 0) return kSettingsOk;
    return errno == ENOENT ? kSettingsNotFound : kSettingsAccessDenied;
  } catch (...) {
    return kSettingsAccessDenied;
  }
}

long settingsCloseKey(SettingsKey key) {
  if (!key) return kSettingsInvalidHandle;
  delete key;
  return kSettingsOk;
}

std::string settingsKeyFolder(const char* keyPath) {
  try {
    return folderOf(keyPath);
  } catch (...) {
    return std::string();
  }
}

}  // namespace platform
