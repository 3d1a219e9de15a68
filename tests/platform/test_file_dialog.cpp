// kdialog/zenity dialogs run as child processes (against stand-in scripts),
// and the toolkit's file selector on top of them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/FileDialog.h"
#include "toolkit/CNewFileSelector.h"

using platform::FileDialogRequest;
using platform::SystemFileDialogRunner;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      out.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) out.push_back(line);
  return out;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korva-dlg-XXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path;
};

// A stand-in dialog program: logs each argument on a line of its own and the
// LD_LIBRARY_PATH it saw, prints the answer and exits with the code given.
void writeFakeDialog(const std::string& path, const std::string& log, const std::string& answer,
                     int code, const std::string& version = "3.44.0") {
  std::ofstream out(path);
  out << "#!/bin/sh\n"
      << "if [ \"$1\" = \"--version\" ]; then echo '" << version << "'; exit 0; fi\n"
      << "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << log << "'\n"
      << "printf 'LD=%s\\n' \"${LD_LIBRARY_PATH-unset}\" >> '" << log << "'\n"
      << "printf '%s' '" << answer << "'\n"
      << "exit " << code << "\n";
  out.close();
  chmod(path.c_str(), 0755);
}

FileDialogRequest presetSave() {
  FileDialogRequest r;
  r.save = true;
  r.title = "Save preset";
  r.initialDirectory = "/home/u/presets/";
  r.defaultName = "last.vek";
  r.filters.push_back({"VEK Preset", "vek"});
  return r;
}

FileDialogRequest bankOpen() {
  FileDialogRequest r;
  r.title = "Load bank (endian-reversed)";
  r.initialDirectory = "/data/banks/";
  r.filters.push_back({"VEK Bank", "vkb"});
  return r;
}

}  // namespace

TEST(FileDialogCommand, KdialogArguments) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SystemFileDialogRunner::buildCommand("kdialog", "/usr/bin/kdialog", bankOpen(), ""),
            (V{"/usr/bin/kdialog", "--title", "Load bank (endian-reversed)", "--getopenfilename",
               "/data/banks/", "*.vkb|VEK Bank"}));
  EXPECT_EQ(SystemFileDialogRunner::buildCommand("kdialog", "/usr/bin/kdialog", presetSave(), ""),
            (V{"/usr/bin/kdialog", "--title", "Save preset", "--getsavefilename",
               "/home/u/presets/last.vek", "*.vek|VEK Preset"}));
}

TEST(FileDialogCommand, ZenityArgumentsFollowItsVersion) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SystemFileDialogRunner::buildCommand("zenity", "/usr/bin/zenity", bankOpen(), "3.44"),
            (V{"/usr/bin/zenity", "--file-selection", "--title=Load bank (endian-reversed)",
               "--filename=/data/banks/", "--file-filter=VEK Bank (vkb) | *.vkb"}));
  EXPECT_EQ(SystemFileDialogRunner::buildCommand("zenity", "/usr/bin/zenity", presetSave(), "3.44"),
            (V{"/usr/bin/zenity", "--file-selection", "--title=Save preset", "--save",
               "--confirm-overwrite", "--filename=/home/u/presets/last.vek",
               "--file-filter=VEK Preset (vek) | *.vek"}));
  // 3.91 and later refuse the option; an unknown version is treated alike.
  for (const char* version : {"3.91", "4.0", ""}) {
    V argv = SystemFileDialogRunner::buildCommand("zenity", "/z", presetSave(), version);
    EXPECT_EQ(std::count(argv.begin(), argv.end(), "--confirm-overwrite"), 0) << version;
    EXPECT_EQ(std::count(argv.begin(), argv.end(), "--save"), 1);
  }
  V mid = SystemFileDialogRunner::buildCommand("zenity", "/z", presetSave(), "3.90");
  EXPECT_EQ(std::count(mid.begin(), mid.end(), "--confirm-overwrite"), 1);
}

TEST(FileDialogCommand, BothProgramsAttachToTheParentWindow) {
  FileDialogRequest r = bankOpen();
  r.parentWindow = 0x2a00007;
  auto has = [](const std::vector<std::string>& argv, const std::string& a) {
    return std::find(argv.begin(), argv.end(), a) != argv.end();
  };
  std::vector<std::string> k = SystemFileDialogRunner::buildCommand("kdialog", "/k", r, "");
  auto at = std::find(k.begin(), k.end(), "--attach");
  ASSERT_NE(at, k.end());
  ASSERT_NE(at + 1, k.end());
  EXPECT_EQ(at[1], "44040199");
  EXPECT_TRUE(
      has(SystemFileDialogRunner::buildCommand("zenity", "/z", r, "3.44"), "--attach=44040199"));
}

TEST(FileDialogRun, NoDialogProgramAnswersCancelled) {
  TempDir empty;
  SystemFileDialogRunner runner(empty.path);
  EXPECT_FALSE(runner.run(bankOpen()).has_value());
}

TEST(FileDialogRun, ZenityAnswerIsTakenWithoutNewlineAndWithoutLdLibraryPath) {
  TempDir dir;
  std::string log = dir.path + "/log";
  writeFakeDialog(dir.path + "/zenity", log, "/data/banks/my bank.vkb\n", 0, "3.44.0");
  setenv("LD_LIBRARY_PATH", "/opt/host/lib", 1);
  SystemFileDialogRunner runner(dir.path);
  std::optional<std::string> answer = runner.run(presetSave());
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(*answer, "/data/banks/my bank.vkb");
  // Our own environment is unchanged; the child's lacked the variable.
  ASSERT_NE(std::getenv("LD_LIBRARY_PATH"), nullptr);
  EXPECT_STREQ(std::getenv("LD_LIBRARY_PATH"), "/opt/host/lib");
  unsetenv("LD_LIBRARY_PATH");
  std::vector<std::string> seen = lines(readFile(log));
  std::vector<std::string> expected = {"--file-selection",
                                       "--title=Save preset",
                                       "--save",
                                       "--confirm-overwrite",
                                       "--filename=/home/u/presets/last.vek",
                                       "--file-filter=VEK Preset (vek) | *.vek",
                                       "LD=unset"};
  EXPECT_EQ(seen, expected);
}

TEST(FileDialogRun, NewZenityGetsNoConfirmOverwrite) {
  TempDir dir;
  std::string log = dir.path + "/log";
  writeFakeDialog(dir.path + "/zenity", log, "/x/y.vek\n", 0, "4.0.1");
  SystemFileDialogRunner runner(dir.path);
  ASSERT_EQ(runner.run(presetSave()).value_or(""), "/x/y.vek");
  std::string args = readFile(log);
  EXPECT_EQ(args.find("--confirm-overwrite"), std::string::npos);
  EXPECT_NE(args.find("--save\n"), std::string::npos);
}

TEST(FileDialogRun, KdialogIsPreferredOverZenity) {
  TempDir dir;
  writeFakeDialog(dir.path + "/zenity", dir.path + "/zlog", "/from/zenity\n", 0);
  writeFakeDialog(dir.path + "/kdialog", dir.path + "/klog", "/from/kdialog\n", 0);
  SystemFileDialogRunner runner(dir.path);
  EXPECT_EQ(runner.run(bankOpen()).value_or(""), "/from/kdialog");
  EXPECT_EQ(lines(readFile(dir.path + "/klog")),
            (std::vector<std::string>{"--title", "Load bank (endian-reversed)", "--getopenfilename",
                                      "/data/banks/", "*.vkb|VEK Bank", "LD=unset"}));
  EXPECT_EQ(readFile(dir.path + "/zlog"), "");
}

TEST(FileDialogRun, AnswersThatAreNoSinglePathAreCancellations) {
  struct Case {
    const char* answer;
    int code;
  };
  for (Case c :
       {Case{"", 1}, Case{"/a/b.vek\n", 1}, Case{"relative.vek\n", 0},
        Case{"Gtk-WARNING: no display\n", 0}, Case{"/a/one.vek\n/a/two.vek\n", 0}, Case{"\n", 0}}) {
    TempDir dir;
    writeFakeDialog(dir.path + "/zenity", dir.path + "/log", c.answer, c.code);
    SystemFileDialogRunner runner(dir.path);
    EXPECT_FALSE(runner.run(bankOpen()).has_value()) << c.answer << " / " << c.code;
  }
}

TEST(FileDialogRun, ChildOutputAndStatus) {
  int status = 0;
  EXPECT_EQ(platform::runChildForOutput({"/bin/sh", "-c", "printf abc; exit 3"}, &status), "abc");
  EXPECT_EQ(status, 3);
  EXPECT_EQ(platform::runChildForOutput({"/nonexistent/program"}, &status), "");
  EXPECT_NE(status, 0);
  EXPECT_EQ(platform::runChildForOutput({"sh", "-c", "echo relative"}, &status), "");
  EXPECT_EQ(status, -1);
  EXPECT_EQ(platform::runChildForOutput({}, &status), "");
}

namespace {

class ScriptedRunner : public platform::FileDialogRunner {
 public:
  std::optional<std::string> run(const FileDialogRequest& request) override {
    requests.push_back(request);
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  std::vector<std::optional<std::string>> answers;
  std::vector<FileDialogRequest> requests;
};

class FileSelectorTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::setFileDialogRunnerForTesting(&runner); }
  void TearDown() override { platform::setFileDialogRunnerForTesting(nullptr); }
  ScriptedRunner runner;
};

}  // namespace

TEST_F(FileSelectorTest, SaveSelectorPassesItsSettingsAndAddsTheDefaultExtension) {
  runner.answers = {std::string("/music/presets/warm"), std::string("/music/presets/warm.txt")};
  CNewFileSelector* selector = CNewFileSelector::create(nullptr, CNewFileSelector::kSelectSaveFile);
  ASSERT_NE(selector, nullptr);
  selector->setTitle("Save preset");
  selector->setInitialDirectory("/music/presets/");
  selector->setDefaultSaveName("old.vek");
  selector->setDefaultExtension(CFileExtension("VEK Preset", "vek"));
  ASSERT_TRUE(selector->runModal());
  ASSERT_EQ(selector->getNumSelectedFiles(), 1u);
  EXPECT_STREQ(selector->getSelectedFile(0), "/music/presets/warm.vek");
  EXPECT_EQ(selector->getSelectedFile(1), nullptr);
  // A name with an extension of its own is kept.
  ASSERT_TRUE(selector->runModal());
  EXPECT_STREQ(selector->getSelectedFile(0), "/music/presets/warm.txt");
  selector->forget();

  ASSERT_EQ(runner.requests.size(), 2u);
  const FileDialogRequest& r = runner.requests[0];
  EXPECT_TRUE(r.save);
  EXPECT_EQ(r.title, "Save preset");
  EXPECT_EQ(r.initialDirectory, "/music/presets/");
  EXPECT_EQ(r.defaultName, "old.vek");
  ASSERT_EQ(r.filters.size(), 1u);
  EXPECT_EQ(r.filters[0].description, "VEK Preset");
  EXPECT_EQ(r.filters[0].extension, "vek");
}

TEST_F(FileSelectorTest, OpenSelectorCancelledOrAnsweredRelativelySelectsNothing) {
  CNewFileSelector selector(nullptr, CNewFileSelector::kSelectFile);
  selector.setTitle("Load MIDI settings");
  selector.setInitialDirectory("/m");  // completed with its separator
  selector.setDefaultSaveName("ignored.vkm");
  selector.addFileExtension(CFileExtension("VEK MIDI Settings", "vkm"));
  runner.answers = {std::nullopt, std::string("m/x.vkm"), std::string("/m/x")};
  EXPECT_FALSE(selector.runModal());
  EXPECT_EQ(selector.getNumSelectedFiles(), 0u);
  EXPECT_FALSE(selector.runModal());
  EXPECT_EQ(selector.getNumSelectedFiles(), 0u);
  // Open dialogs take the file as chosen: no extension is added.
  ASSERT_TRUE(selector.runModal());
  EXPECT_STREQ(selector.getSelectedFile(0), "/m/x");

  ASSERT_EQ(runner.requests.size(), 3u);
  EXPECT_FALSE(runner.requests[0].save);
  EXPECT_EQ(runner.requests[0].title, "Load MIDI settings");
  EXPECT_EQ(runner.requests[0].initialDirectory, "/m/");
  EXPECT_EQ(runner.requests[0].defaultName, "");
  ASSERT_EQ(runner.requests[0].filters.size(), 1u);
  EXPECT_EQ(runner.requests[0].filters[0].description, "VEK MIDI Settings");
}

TEST_F(FileSelectorTest, RelativeStartFolderIsNotPassed) {
  CNewFileSelector selector(nullptr, CNewFileSelector::kSelectFile);
  selector.setInitialDirectory("relative/");
  EXPECT_FALSE(selector.runModal());
  ASSERT_EQ(runner.requests.size(), 1u);
  EXPECT_EQ(runner.requests[0].initialDirectory, "");
}
