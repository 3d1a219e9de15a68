// korva-host validate run on small plug-ins that each carry one planted
// fault: the check meant for it must fail, and a correct plug-in must pass
// everything. Bad input to the validator itself ends in one line and exit 2.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/XvfbServer.h"

namespace {

struct Result {
  int code = -1;
  bool exited = false;
  std::string out, err;
};

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// One folder for the program's files, removed when the program ends.
class Scratch {
 public:
  Scratch() {
    char pattern[] = "/tmp/kv-test-XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  ~Scratch() { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string operator/(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

std::string scratch(const std::string& name) {
  static const Scratch dir;
  return dir / name;
}

std::string plugin(int fault) {
  return std::string(KV_PLUGIN_DIR) + "/kv_plugin_" + std::to_string(fault) + ".so";
}

// With an X display for the editor checks when `x` is set.
Result validate(const std::vector<std::string>& args, bool x = false) {
  std::string cmd = "env ";
  if (x) {
    XvfbServer& server = XvfbServer::shared();
    if (!server.running()) return Result{};
    cmd += "DISPLAY=" + server.display();
  } else {
    cmd += "-u DISPLAY";
  }
  cmd += std::string(" ") + KH_HOST + " validate";
  for (const std::string& a : args) cmd += " '" + a + "'";
  cmd += " >" + scratch("out") + " 2>" + scratch("err");
  const int status = std::system(cmd.c_str());
  Result r;
  r.exited = WIFEXITED(status);
  r.code = r.exited ? WEXITSTATUS(status) : -1;
  r.out = slurp(scratch("out"));
  r.err = slurp(scratch("err"));
  return r;
}

// The table row of one check: "group  check  result ...".
std::string row(const std::string& table, const std::string& group, const std::string& check) {
  std::istringstream in(table);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(group + " ", 0) == 0 && line.find("  " + check + "  ") != std::string::npos)
      return line;
  return "";
}

bool failed(const std::string& table, const std::string& group, const std::string& check) {
  return row(table, group, check).find(" FAIL ") != std::string::npos;
}

int failedRows(const std::string& table) {
  int n = 0;
  std::istringstream in(table);
  for (std::string line; std::getline(in, line);)
    if (line.find(" FAIL ") != std::string::npos) ++n;
  return n;
}

TEST(ValidateCorrectPlugin, PassesEveryGroupWithTheEditorAndWritesJson) {
  const Result r = validate({plugin(0), "--level", "1", "--json", scratch("ok.json")}, true);
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_EQ(failedRows(r.out), 0) << r.out;
  // The editor really ran: its checks are not skipped.
  EXPECT_NE(row(r.out, "editor", "open/close cycles").find(" ok "), std::string::npos) << r.out;
  const std::string json = slurp(scratch("ok.json"));
  EXPECT_NE(json.find("\"exit_code\": 0"), std::string::npos) << json;
  EXPECT_NE(json.find("{\"group\": \"state\", \"check\": \"mutated chunks\", \"status\": \"ok\""),
            std::string::npos)
      << json;
}

struct Planted {
  int fault;
  const char* name;  // what is planted, the test's name
  const char* group;
  const char* check;
  const char* says;  // a fragment of the first failure
  bool x;
};

// For test listings and failure messages (not the struct's bytes).
void PrintTo(const Planted& p, std::ostream* out) {
  *out << "fault " << p.fault << " " << p.name << ", caught by " << p.group << " / " << p.check;
}

class PlantedFault : public ::testing::TestWithParam<Planted> {};

TEST_P(PlantedFault, IsCaughtByItsCheck) {
  const Planted p = GetParam();
  const Result r = validate({plugin(p.fault), "--level", "1", "--only", p.group}, p.x);
  ASSERT_TRUE(r.exited) << r.err;
  EXPECT_EQ(r.code, 1) << r.out << r.err;
  EXPECT_TRUE(failed(r.out, p.group, p.check)) << r.out;
  EXPECT_NE(row(r.out, p.group, p.check).find(p.says), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PlantedFault,
    ::testing::Values(
        Planted{1, "AllocatesInProcess", "real-time", "no allocation or lock",
                "processReplacing allocated", false},
        Planted{2, "LongParamDisplay", "parameters", "texts across 0..1",
                "wrote 40 characters (limit 8)", false},
        Planted{3, "NanPoisonsItsFilter", "bad-input", "NaN", "output still nan", false},
        Planted{4, "ChangesTheLocale", "environment", "process state after every call",
                "after effGetParamDisplay(0): the process locale changed", false},
        Planted{5, "IgnoresSetChunk", "state", "chunk round trip", "effGetChunk after effSetChunk",
                false},
        Planted{6, "ReadsBackAnotherValue", "parameters", "set/get round trip", "reads back",
                false},
        Planted{7, "CrashesInEditClose", "editor", "rect", "killed by SIGSEGV", true},
        Planted{8, "LeaksPerInstance", "lifecycle", "create/destroy cycles",
                "bytes per created and closed instance", false},
        Planted{11, "SlowDenormalTail", "real-time", "denormal tail cost",
                "x the burst (limit 1.2)", false},
        Planted{13, "WritesIntoHome", "environment", "files written",
                "wrote $HOME/.kv-validator-test", false},
        Planted{14, "LeavesItsWindowBehind", "editor", "open/close cycles",
                "child window(s) left in the host's window", true}),
    [](const ::testing::TestParamInfo<Planted>& info) { return info.param.name; });

// A crash ends only the child it happened in: the other checks and groups run.
TEST(ValidateIsolation, ACrashInOneCheckLeavesTheRestRunning) {
  const Result r = validate(
      {plugin(7), "--level", "1", "--only", "editor,identity", "--json", scratch("crash.json")},
      true);
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.code, 1);
  for (const char* check : {"rect", "open/close cycles", "state while open", "idle CPU"})
    EXPECT_TRUE(failed(r.out, "editor", check)) << check << "\n" << r.out;
  EXPECT_NE(row(r.out, "identity", "can-do answers").find(" ok "), std::string::npos) << r.out;
  EXPECT_NE(slurp(scratch("crash.json")).find("killed by SIGSEGV"), std::string::npos);
}

// A hang is the failure of the check it happened in, once nothing moves for
// --timeout seconds; the group's next check still runs.
TEST(ValidateIsolation, AHangTimesOutWithTheStepItHungIn) {
  const Result r = validate({plugin(12), "--level", "1", "--only", "processing", "--timeout", "2"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.code, 1);
  const std::string hung = row(r.out, "processing", "rates and block sizes");
  EXPECT_NE(hung.find("timed out after 2 s during rate 1234.5678, block 512 with 0-frame calls"),
            std::string::npos)
      << r.out;
  EXPECT_NE(row(r.out, "processing", "in-place buffers").find(" ok "), std::string::npos) << r.out;
}

void expectLoadError(const Result& r, const std::string& fragment) {
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.code, 2) << r.out << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(r.err.rfind("korva-host validate: ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
}

TEST(ValidateBadPlugin, MissingFile) {
  expectLoadError(validate({scratch("nothing-here.so")}), "no such file");
}

TEST(ValidateBadPlugin, NotAPlugin) {
  std::ofstream(scratch("text.so")) << "not a library\n";
  expectLoadError(validate({scratch("text.so")}), "cannot load");
}

TEST(ValidateBadPlugin, HangsInItsEntryPoint) {
  expectLoadError(validate({plugin(9), "--timeout", "1"}), "did not finish within 1 s");
}

TEST(ValidateBadPlugin, CrashesWhileLoading) {
  expectLoadError(validate({plugin(10)}), "crashed while loading, SIGSEGV");
}

}  // namespace
