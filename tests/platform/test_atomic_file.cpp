// Whole-file replacement: permissions, refusals and no leftovers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/AtomicFile.h"

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "korva-af-XXXXXX").string();
    dir = mkdtemp(pattern.data());
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  size_t entries() const {
    size_t n = 0;
    for (auto it = std::filesystem::directory_iterator(dir);
         it != std::filesystem::directory_iterator(); ++it)
      ++n;
    return n;
  }
  std::string dir;
};

}  // namespace

TEST_F(AtomicFileTest, NewFileGetsItsModeAndExistingFileKeepsIts) {
  mode_t old = umask(022);
  std::string path = dir + "/a.vek";
  ASSERT_TRUE(platform::writeFileAtomically(path, "abc", 3));
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(readFile(path), "abc");

  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(platform::writeFileAtomically(path, "longer text", 11));
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(readFile(path), "longer text");
  ASSERT_TRUE(platform::writeFileAtomically(path, "", 0));  // shorter: no old tail left
  EXPECT_EQ(readFile(path), "");
  EXPECT_EQ(entries(), 1u);
  umask(old);
}

TEST_F(AtomicFileTest, RefusesWhatOpeningForWritingWouldRefuse) {
  EXPECT_FALSE(platform::writeFileAtomically("relative.vek", "x", 1));
  EXPECT_FALSE(platform::writeFileAtomically(dir + "/", "x", 1));
  EXPECT_FALSE(platform::writeFileAtomically("", "x", 1));
  ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0700), 0);
  EXPECT_FALSE(platform::writeFileAtomically(dir + "/sub", "x", 1));  // a folder
  EXPECT_FALSE(platform::writeFileAtomically(dir + "/missing/x.vek", "x", 1));
  EXPECT_EQ(entries(), 1u);
}

TEST_F(AtomicFileTest, TemporaryNamesAreHiddenAndUnique) {
  std::string a = platform::temporaryNameFor("bank.vkb");
  std::string b = platform::temporaryNameFor("bank.vkb");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind(".bank.vkb.tmp-" + std::to_string(getpid()) + "-", 0), 0u) << a;
}
