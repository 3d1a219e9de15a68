// The per-user settings store: key folders, typed values, size limits, access
// rights, atomic replacement and concurrent writers.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/SettingsStore.h"
#include "tests/support/TempConfigHome.h"

using namespace platform;

namespace {

const char* const kKey = "SOFTWARE\\VEK-sonimark\\Korva";

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> folderEntries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
  }
  return names;
}

std::vector<unsigned char> pattern(size_t size, unsigned char seed) {
  std::vector<unsigned char> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = static_cast<unsigned char>(seed + i * 7);
  return v;
}

long setBinary(const char* name, const std::vector<unsigned char>& data) {
  SettingsKey key = nullptr;
  long rc = settingsCreateKey(kKey, kSettingsWriteAccess, &key);
  if (rc != kSettingsOk) return rc;
  rc =
      settingsSetValue(key, name, kSettingsBinary, data.data(), static_cast<uint32_t>(data.size()));
  settingsCloseKey(key);
  return rc;
}

// Queries with the given buffer size; returns the result code, fills out.
long query(const char* name, uint32_t limit, std::vector<unsigned char>* out, uint32_t* type,
           uint32_t* size) {
  SettingsKey key = nullptr;
  long rc = settingsOpenKey(kKey, kSettingsQueryAccess, &key);
  if (rc != kSettingsOk) return rc;
  out->assign(limit, 0xEE);
  *size = limit;
  rc = settingsQueryValue(key, name, type, out->data(), size);
  settingsCloseKey(key);
  return rc;
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  TempConfigHome config;
  std::string folder() const { return config.path + "/VEK-sonimark/Korva"; }
};

}  // namespace

TEST_F(SettingsStoreTest, KeyMapsToFolderBelowConfigHome) {
  EXPECT_EQ(settingsKeyFolder(kKey), folder());
  // A trailing separator names the same key.
  EXPECT_EQ(settingsKeyFolder("SOFTWARE\\VEK-sonimark\\Korva\\"), folder());
  EXPECT_EQ(settingsKeyFolder("software\\VEK-sonimark\\Korva"), folder());

  // Keys outside the software branch or escaping the folder are refused.
  EXPECT_EQ(settingsKeyFolder("VEK-sonimark\\Korva"), "");
  EXPECT_EQ(settingsKeyFolder("SOFTWARE\\..\\Korva"), "");
  EXPECT_EQ(settingsKeyFolder("SOFTWARE\\a/b"), "");
  EXPECT_EQ(settingsKeyFolder("SOFTWARE\\\\Korva"), "");
  EXPECT_EQ(settingsKeyFolder("SOFTWARE"), "");
  EXPECT_EQ(settingsKeyFolder(nullptr), "");
}

TEST_F(SettingsStoreTest, ConfigHomeFallsBackToHomeDotConfig) {
  const char* oldHome = std::getenv("HOME");
  std::string savedHome = oldHome ? oldHome : "";
  setenv("HOME", "/home/someone", 1);
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(settingsKeyFolder(kKey), "/home/someone/.config/VEK-sonimark/Korva");
  // A relative XDG_CONFIG_HOME is not a base directory.
  setenv("XDG_CONFIG_HOME", "relative/dir", 1);
  EXPECT_EQ(settingsKeyFolder(kKey), "/home/someone/.config/VEK-sonimark/Korva");
  setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(settingsKeyFolder(kKey), "/home/someone/.config/VEK-sonimark/Korva");
  if (oldHome)
    setenv("HOME", savedHome.c_str(), 1);
  else
    unsetenv("HOME");
  setenv("XDG_CONFIG_HOME", config.path.c_str(), 1);
}

TEST_F(SettingsStoreTest, OpenFailsUntilCreateMakesThePrivateFolder) {
  SettingsKey key = reinterpret_cast<SettingsKey>(1);
  EXPECT_EQ(settingsOpenKey(kKey, kSettingsQueryAccess, &key), kSettingsNotFound);
  EXPECT_EQ(key, nullptr);
  struct stat st;
  EXPECT_NE(stat(folder().c_str(), &st), 0);  // opening never creates

  ASSERT_EQ(settingsCreateKey(kKey, kSettingsWriteAccess, &key), kSettingsOk);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(settingsCloseKey(key), kSettingsOk);
  ASSERT_EQ(stat(folder().c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(stat((config.path + "/VEK-sonimark").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  ASSERT_EQ(settingsOpenKey(kKey, kSettingsQueryAccess, &key), kSettingsOk);
  settingsCloseKey(key);
}

TEST_F(SettingsStoreTest, CreateMakesAMissingConfigHome) {
  std::string nested = config.path + "/not/yet";
  setenv("XDG_CONFIG_HOME", nested.c_str(), 1);
  ASSERT_EQ(setBinary("DefaultMidi", pattern(77, 3)), kSettingsOk);
  EXPECT_EQ(readFile(nested + "/VEK-sonimark/Korva/DefaultMidi").size(), 11u + 77u);
  setenv("XDG_CONFIG_HOME", config.path.c_str(), 1);
}

TEST_F(SettingsStoreTest, BinaryValueRoundTripsWithTypeAndFileLayout) {
  std::vector<unsigned char> bank = pattern(1637, 11);
  ASSERT_EQ(setBinary("DefaultBank", bank), kSettingsOk);

  // The file is the documented header line followed by the bytes as given.
  std::string file = readFile(folder() + "/DefaultBank");
  ASSERT_EQ(file.size(), 11u + 1637u);
  EXPECT_EQ(file.substr(0, 11), "REG_BINARY\n");
  EXPECT_EQ(std::memcmp(file.data() + 11, bank.data(), bank.size()), 0);

  std::vector<unsigned char> out;
  uint32_t type = 0, size = 0;
  ASSERT_EQ(query("DefaultBank", 1637, &out, &type, &size), kSettingsOk);
  EXPECT_EQ(type, static_cast<uint32_t>(kSettingsBinary));
  EXPECT_EQ(size, 1637u);
  EXPECT_EQ(out, bank);

  // A larger buffer gets the value and the true size; the rest is untouched.
  ASSERT_EQ(query("DefaultBank", 2000, &out, &type, &size), kSettingsOk);
  EXPECT_EQ(size, 1637u);
  EXPECT_TRUE(std::equal(bank.begin(), bank.end(), out.begin()));
  EXPECT_EQ(out[1637], 0xEE);
}

TEST_F(SettingsStoreTest, QueryHonoursTheBufferSize) {
  ASSERT_EQ(setBinary("MemoA", pattern(101, 5)), kSettingsOk);
  std::vector<unsigned char> out;
  uint32_t type = 0, size = 0;
  ASSERT_EQ(query("MemoA", 100, &out, &type, &size), kSettingsMoreData);
  EXPECT_EQ(size, 101u);
  EXPECT_EQ(out, std::vector<unsigned char>(100, 0xEE));  // nothing copied

  // Without a buffer only the size and type are reported.
  SettingsKey key = nullptr;
  ASSERT_EQ(settingsOpenKey(kKey, kSettingsQueryAccess, &key), kSettingsOk);
  size = 0;
  type = 0;
  EXPECT_EQ(settingsQueryValue(key, "MemoA", &type, nullptr, &size), kSettingsOk);
  EXPECT_EQ(size, 101u);
  EXPECT_EQ(type, static_cast<uint32_t>(kSettingsBinary));
  EXPECT_EQ(settingsQueryValue(key, "MemoB", &type, nullptr, &size), kSettingsNotFound);
  settingsCloseKey(key);
}

TEST_F(SettingsStoreTest, TextValuesKeepTheirBytesAndTheLimitOf514) {
  SettingsKey key = nullptr;
  ASSERT_EQ(settingsCreateKey(kKey, kSettingsWriteAccess, &key), kSettingsOk);
  // 256 characters and the terminator: the longest remembered path.
  std::string longest = "/" + std::string(254, 'x') + "/";
  ASSERT_EQ(longest.size(), 256u);
  ASSERT_EQ(settingsSetValue(key, "CurrDir", kSettingsText,
                             reinterpret_cast<const unsigned char*>(longest.c_str()), 257),
            kSettingsOk);
  // Non-ASCII bytes are kept as they are.
  const char utf8[] = "B\xC3\xA4nke.vkb";
  ASSERT_EQ(settingsSetValue(key, "CurrBank", kSettingsText,
                             reinterpret_cast<const unsigned char*>(utf8), sizeof(utf8)),
            kSettingsOk);
  std::string tooLong(514, 'y');  // 515 bytes with the terminator
  ASSERT_EQ(settingsSetValue(key, "CurrMidi", kSettingsText,
                             reinterpret_cast<const unsigned char*>(tooLong.c_str()), 515),
            kSettingsOk);
  settingsCloseKey(key);

  EXPECT_EQ(readFile(folder() + "/CurrBank"),
            std::string("REG_SZ\n") + std::string(utf8, sizeof(utf8)));

  std::vector<unsigned char> out;
  uint32_t type = 0, size = 0;
  ASSERT_EQ(query("CurrDir", 514, &out, &type, &size), kSettingsOk);
  EXPECT_EQ(type, static_cast<uint32_t>(kSettingsText));
  EXPECT_EQ(size, 257u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data())), longest);
  ASSERT_EQ(query("CurrBank", 514, &out, &type, &size), kSettingsOk);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data())), utf8);
  EXPECT_EQ(query("CurrMidi", 514, &out, &type, &size), kSettingsMoreData);
  EXPECT_EQ(size, 515u);
}

TEST_F(SettingsStoreTest, OverwriteReplacesValueAndType) {
  ASSERT_EQ(setBinary("MemoB", pattern(101, 1)), kSettingsOk);
  SettingsKey key = nullptr;
  ASSERT_EQ(settingsCreateKey(kKey, kSettingsWriteAccess, &key), kSettingsOk);
  const unsigned char text[] = "abc";
  ASSERT_EQ(settingsSetValue(key, "MemoB", kSettingsText, text, 4), kSettingsOk);
  std::vector<unsigned char> out(10, 0);
  uint32_t type = 0, size = 10;
  ASSERT_EQ(settingsQueryValue(key, "MemoB", &type, out.data(), &size), kSettingsOk);
  EXPECT_EQ(type, static_cast<uint32_t>(kSettingsText));
  EXPECT_EQ(size, 4u);
  EXPECT_STREQ(reinterpret_cast<char*>(out.data()), "abc");
  // An empty value is a value.
  ASSERT_EQ(settingsSetValue(key, "MemoB", kSettingsBinary, nullptr, 0), kSettingsOk);
  size = 10;
  ASSERT_EQ(settingsQueryValue(key, "MemoB", &type, out.data(), &size), kSettingsOk);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(type, static_cast<uint32_t>(kSettingsBinary));
  settingsCloseKey(key);
}

TEST_F(SettingsStoreTest, DeleteRemovesAndReportsMissingValues) {
  ASSERT_EQ(setBinary("DefaultPreset", pattern(101, 9)), kSettingsOk);
  SettingsKey key = nullptr;
  ASSERT_EQ(settingsOpenKey(kKey, kSettingsSetAccess, &key), kSettingsOk);
  EXPECT_EQ(settingsDeleteValue(key, "DefaultPreset"), kSettingsOk);
  EXPECT_EQ(settingsDeleteValue(key, "DefaultPreset"), kSettingsNotFound);
  settingsCloseKey(key);
  std::vector<unsigned char> out;
  uint32_t type = 0, size = 0;
  EXPECT_EQ(query("DefaultPreset", 101, &out, &type, &size), kSettingsNotFound);
  EXPECT_TRUE(folderEntries(folder()).empty());
}

TEST_F(SettingsStoreTest, HandlesKeepTheirAccessRights) {
  ASSERT_EQ(setBinary("MemoA", pattern(101, 2)), kSettingsOk);
  SettingsKey reader = nullptr, writer = nullptr;
  ASSERT_EQ(settingsOpenKey(kKey, kSettingsQueryAccess, &reader), kSettingsOk);
  ASSERT_EQ(settingsOpenKey(kKey, kSettingsSetAccess, &writer), kSettingsOk);
  const unsigned char b[1] = {1};
  EXPECT_EQ(settingsSetValue(reader, "MemoA", kSettingsBinary, b, 1), kSettingsAccessDenied);
  EXPECT_EQ(settingsDeleteValue(reader, "MemoA"), kSettingsAccessDenied);
  uint32_t size = 0;
  EXPECT_EQ(settingsQueryValue(writer, "MemoA", nullptr, nullptr, &size), kSettingsAccessDenied);
  settingsCloseKey(reader);
  settingsCloseKey(writer);
  SettingsKey none = nullptr;
  EXPECT_EQ(settingsOpenKey(kKey, 0, &none), kSettingsInvalidParameter);
  EXPECT_EQ(settingsQueryValue(nullptr, "MemoA", nullptr, nullptr, &size), kSettingsInvalidHandle);
  EXPECT_EQ(settingsCloseKey(nullptr), kSettingsInvalidHandle);
}

TEST_F(SettingsStoreTest, BadNamesTypesAndSizesAreRefused) {
  SettingsKey key = nullptr;
  ASSERT_EQ(settingsCreateKey(kKey, kSettingsWriteAccess, &key), kSettingsOk);
  const unsigned char b[4] = {1, 2, 3, 4};
  for (const char* name : {"", ".hidden", "../escape", "a/b", "a\\b"})
    EXPECT_EQ(settingsSetValue(key, name, kSettingsBinary, b, 4), kSettingsInvalidParameter)
        << name;
  EXPECT_EQ(settingsSetValue(key, nullptr, kSettingsBinary, b, 4), kSettingsInvalidParameter);
  EXPECT_EQ(settingsSetValue(key, "X", 4 /* a DWORD */, b, 4), kSettingsInvalidParameter);
  EXPECT_EQ(settingsSetValue(key, "X", kSettingsBinary, nullptr, 4), kSettingsInvalidParameter);
  std::vector<unsigned char> huge(kSettingsMaxValueSize + 1);
  EXPECT_EQ(
      settingsSetValue(key, "X", kSettingsBinary, huge.data(), static_cast<uint32_t>(huge.size())),
      kSettingsInvalidParameter);
  settingsCloseKey(key);
  EXPECT_TRUE(folderEntries(folder()).empty());
  EXPECT_EQ(readFile(config.path + "/VEK-sonimark/escape"), "");
}

TEST_F(SettingsStoreTest, FilesWithoutTheHeaderAreNotValues) {
  ASSERT_EQ(setBinary("MemoA", pattern(101, 2)), kSettingsOk);
  {
    std::ofstream out(folder() + "/MemoA", std::ios::binary | std::ios::trunc);
    out << "garbage without header";
  }
  std::vector<unsigned char> buffer;
  uint32_t type = 0, size = 0;
  EXPECT_EQ(query("MemoA", 101, &buffer, &type, &size), kSettingsNotFound);
  // A folder in place of a value is no value either.
  ASSERT_EQ(mkdir((folder() + "/MemoB").c_str(), 0700), 0);
  EXPECT_EQ(query("MemoB", 101, &buffer, &type, &size), kSettingsNotFound);
}

TEST_F(SettingsStoreTest, FailedWriteLeavesTheOldValue) {
  std::vector<unsigned char> old = pattern(1637, 40);
  ASSERT_EQ(setBinary("DefaultBank", old), kSettingsOk);

  // A child whose file-size limit stops the write half-way: the write fails
  // even for root, and the value file must not be touched.
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {600, 600};
    setrlimit(RLIMIT_FSIZE, &limit);
    long rc = setBinary("DefaultBank", pattern(1637, 99));
    _exit(rc == kSettingsOk ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the truncated write reported success";

  std::vector<unsigned char> out;
  uint32_t type = 0, size = 0;
  ASSERT_EQ(query("DefaultBank", 1637, &out, &type, &size), kSettingsOk);
  EXPECT_EQ(out, old);
  EXPECT_EQ(folderEntries(folder()), std::vector<std::string>{"DefaultBank"});
}

TEST_F(SettingsStoreTest, TwoProcessesWritingAtOnceLeaveOneCompleteValue) {
  const std::vector<unsigned char> mine = pattern(1637, 1);
  const std::vector<unsigned char> theirs = pattern(1637, 128);
  ASSERT_EQ(setBinary("DefaultBank", mine), kSettingsOk);

  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int failures = 0;
    for (int i = 0; i < 1000; ++i) failures += setBinary("DefaultBank", theirs) != kSettingsOk;
    _exit(failures == 0 ? 0 : 1);
  }
  int writeFailures = 0, torn = 0;
  for (int i = 0; i < 1000; ++i) {
    writeFailures += setBinary("DefaultBank", mine) != kSettingsOk;
    std::vector<unsigned char> out;
    uint32_t type = 0, size = 0;
    // Every read sees one writer's whole record.
    if (query("DefaultBank", 1637, &out, &type, &size) != kSettingsOk || size != 1637 ||
        (out != mine && out != theirs))
      ++torn;
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(writeFailures, 0);
  EXPECT_EQ(torn, 0);

  std::vector<unsigned char> out;
  uint32_t type = 0, size = 0;
  ASSERT_EQ(query("DefaultBank", 1637, &out, &type, &size), kSettingsOk);
  EXPECT_EQ(size, 1637u);
  EXPECT_TRUE(out == mine || out == theirs);
  // No temporary file is left behind.
  EXPECT_EQ(folderEntries(folder()), std::vector<std::string>{"DefaultBank"});
}

// A value file that is a symbolic link (to a shared 0666 file, say) is
// replaced by a file of our own: mode 0644 less the umask, as a new value
// gets, not the target's bits. The target keeps its content and mode.
TEST_F(SettingsStoreTest, NewValueFilesGet0644LessTheUmaskAlsoOverASymlink) {
  const mode_t oldMask = umask(022);
  ASSERT_EQ(setBinary("MemoA", pattern(101, 1)), kSettingsOk);
  struct stat st;
  ASSERT_EQ(lstat((folder() + "/MemoA").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);

  const std::string target = config.path + "/shared-memo";
  { std::ofstream(target) << "theirs"; }
  ASSERT_EQ(chmod(target.c_str(), 0666), 0);
  ASSERT_EQ(symlink(target.c_str(), (folder() + "/MemoB").c_str()), 0);
  ASSERT_EQ(setBinary("MemoB", pattern(101, 2)), kSettingsOk);
  ASSERT_EQ(lstat((folder() + "/MemoB").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
  EXPECT_EQ(readFile(target), "theirs");

  umask(077);  // a stricter umask is honoured
  ASSERT_EQ(setBinary("DefaultMidi", pattern(77, 3)), kSettingsOk);
  ASSERT_EQ(lstat((folder() + "/DefaultMidi").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  umask(oldMask);
}
