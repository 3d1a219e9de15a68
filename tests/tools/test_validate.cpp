// korva-host validate run on small plug-ins that each carry one planted
// fault: the check meant for it must find it, with the kind that sets its
// severity, and (for the faults run alone) nothing else may; a correct
// plug-in must pass everything. A plug-in that cannot be loaded ends in one
// line and exit 2, a usage error in exit 64.
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

#include "tests/tools/validate_support.h"

namespace {

using namespace validate_test;

std::string plugin(int fault) {
  return std::string(KV_PLUGIN_DIR) + "/kv_plugin_" + std::to_string(fault) + ".so";
}

TEST(ValidateCorrectPlugin, PassesEveryGroupWithTheEditorAndWritesJson) {
  const Result r = validate({plugin(0), "--level", "1", "--json", scratch("ok.json")}, true);
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(flaggedRows(r.out).empty()) << r.out;
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
  const char* kind;  // of the finding, which sets FAIL or warn
  const char* says;  // a fragment of the row's finding
  bool x;
  // Run alone, with every group: only findings of its kind, and only in
  // its group unless they are warnings.
  bool alone;
};

// For test listings and failure messages (not the struct's bytes).
void PrintTo(const Planted& p, std::ostream* out) {
  *out << "fault " << p.fault << " " << p.name << ", caught by " << p.group << " / " << p.check;
}

class PlantedFault : public ::testing::TestWithParam<Planted> {};

TEST_P(PlantedFault, IsCaughtByItsCheckAndNothingElse) {
  const Planted p = GetParam();
  std::vector<std::string> args = {plugin(p.fault), "--level", "1"};
  if (!p.alone) args.insert(args.end(), {"--only", p.group});
  const Result r = validate(args, p.x);
  ASSERT_TRUE(r.exited) << r.err;
  const bool warning = std::string(p.kind) == "padding" || std::string(p.kind) == "random";
  EXPECT_EQ(r.code, warning ? 0 : 1) << r.out << r.err;
  const std::string caught = row(r.out, p.group, p.check);
  EXPECT_NE(caught.find(warning ? " warn " : " FAIL "), std::string::npos) << r.out;
  EXPECT_NE(caught.find(std::string("[") + p.kind + "] "), std::string::npos) << r.out;
  EXPECT_NE(caught.find(p.says), std::string::npos) << r.out;
  expectFailuresWithinCases(r.out);
  if (!p.alone) return;
  // Texts are read in several groups: a warning may show wherever they are.
  for (const std::string& flagged : flaggedRows(r.out)) {
    EXPECT_NE(flagged.find(std::string("[") + p.kind + "] "), std::string::npos) << flagged << "\n"
                                                                                 << r.out;
    if (!warning) {
      EXPECT_EQ(flagged.rfind(std::string(p.group) + " ", 0), 0u) << flagged << "\n" << r.out;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PlantedFault,
    ::testing::Values(
        Planted{1, "AllocatesInProcess", "real-time", "no allocation or lock", "real-time",
                "processReplacing allocated", false, true},
        Planted{2, "LongParamDisplay", "parameters", "texts across 0..1", "text",
                "wrote 40 characters (limit 8)", false, false},
        Planted{3, "NanPoisonsItsFilter", "bad-input", "NaN", "output", "output still nan", false,
                true},
        Planted{4, "ChangesTheLocale", "environment", "process state after every call",
                "environment", "after effGetParamDisplay(0): the process locale changed", false,
                false},
        Planted{5, "IgnoresSetChunk", "state", "chunk round trip", "state",
                "effGetChunk after effSetChunk", false, true},
        Planted{6, "ReadsBackAnotherValue", "parameters", "set/get round trip", "state",
                "reads back", false, false},
        Planted{7, "CrashesInEditClose", "editor", "rect", "crash", "killed by SIGSEGV", true,
                false},
        Planted{8, "LeaksPerInstance", "lifecycle", "create/destroy cycles", "resources",
                "bytes per created and closed instance", false, false},
        Planted{11, "SlowDenormalTail", "real-time", "denormal tail cost", "real-time",
                "x the burst (limit 1.2)", false, false},
        Planted{13, "WritesIntoHome", "environment", "files written", "environment",
                "wrote $HOME/.kv-validator-test", false, false},
        Planted{14, "LeavesItsWindowBehind", "editor", "open/close cycles", "resources",
                "child window(s) left in the host's window", true, false},
        Planted{15, "TakesAReaderWriterLockInProcess", "real-time", "no allocation or lock",
                "real-time",
                "processReplacing made a locking or blocking call "
                "(pthread_rwlock_rdlock)",
                false, true},
        Planted{16, "ReadsPastAShortChunk", "state", "mutated chunks", "memory",
                "read past the end of the 76-byte chunk given to effSetChunk (byte 76 of 76)",
                false, true},
        Planted{17, "PlaysOddChunkValues120dBLouder", "state", "mutated chunks", "state",
                "parameter 0 reads back 100, outside 0..1", false, true},
        Planted{18, "PadsTextsWithZeros", "parameters", "texts across 0..1", "padding",
                "effGetParamLabel(0) wrote zeros past its 8-character limit after \"dB\" (bytes "
                "up to 32)",
                false, true},
        Planted{19, "ThrowsOutOfSetChunk", "state", "mutated chunks", "exception",
                "effSetChunk threw std::length_error (\"chunk shorter than its header\")", false,
                true},
        Planted{20, "SetsFlushToZeroWhenLoaded", "environment", "process state after every call",
                "environment", "after dlopen: the SSE control register changed", false, true},
        Planted{21, "RandomByDesign", "processing", "two instances agree", "random",
                "two instances differ", false, true},
        // At 32 frames the guard page catches it, under a sanitizer its
        // poison around the buffer at 1.
        Planted{23, "ReadsPastItsInput", "processing", "rates and block sizes", "memory",
                "read past the end of input 0's ", false, false},
        Planted{25, "StopsDecayingAfterAHugeBurst", "bad-input", "huge +-1e30", "output",
                "out of proportion: the burst scaled to peak 1 leaves ", false, false}),
    [](const ::testing::TestParamInfo<Planted>& info) { return info.param.name; });

// A plug-in random by design gets one clear finding: the in-place check,
// which compares an instance with itself, says why it cannot judge.
TEST(ValidateFindings, RandomByDesignSkipsInPlaceWithItsReason) {
  const Result r = validate({plugin(21), "--level", "1", "--only", "processing"});
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(row(r.out, "processing", "in-place buffers").find(" skip "), std::string::npos)
      << r.out;
}

// A linear plug-in whose decay outlasts the deadline still holds a huge
// burst then, in proportion to what a burst of peak 1 leaves: no finding.
TEST(ValidateFindings, HugeBurstInProportionIsLinearDecay) {
  const Result r = validate({plugin(24), "--level", "1", "--only", "bad-input"});
  EXPECT_EQ(r.code, 0) << r.out;
  for (const char* check : {"huge +-1e30", "+-FLT_MAX", "1e20 DC", "-1e20 x256"})
    EXPECT_NE(row(r.out, "bad-input", check).find(" ok "), std::string::npos) << check << r.out;
  EXPECT_NE(row(r.out, "bad-input", "huge +-1e30").find("in proportion to the burst"),
            std::string::npos)
      << r.out;
}

// Every failure is kept with the options that repeat it, and those options
// (one check alone) repeat exactly the same cases.
TEST(ValidateFindings, EachFailureRepeatsWithItsOwnOptions) {
  const Result all =
      validate({plugin(15), "--level", "1", "--only", "real-time", "--json", scratch("rw.json")});
  const std::string json = slurp(scratch("rw.json"));
  const std::string repeat = "--seed 1 --level 1 --only 'real-time/no allocation or lock'";
  EXPECT_NE(json.find("\"repeat\": \"" + repeat + "\"}"), std::string::npos) << json;
  EXPECT_NE(json.find("\"where\": {\"rate\": \"96000\", \"call\": \"processReplacing\", \"made\": "
                      "\"pthread_rwlock_rdlock\"}"),
            std::string::npos)
      << json;
  const Result one = validate(
      {plugin(15), "--seed", "1", "--level", "1", "--only", "real-time/no allocation or lock"});
  EXPECT_EQ(one.code, 1);
  const std::string a = row(all.out, "real-time", "no allocation or lock");
  EXPECT_FALSE(a.empty()) << all.out;
  EXPECT_EQ(row(one.out, "real-time", "no allocation or lock"), a) << one.out;
  EXPECT_EQ(row(one.out, "real-time", "denormal tail cost"), "") << one.out;
}

// Each blocking call the interposer covers is named when the plug-in makes
// it in processReplacing (one kind per block).
TEST(ValidateFindings, EveryInterposedBlockingCallIsNamed) {
  const Result r = validate(
      {plugin(22), "--level", "1", "--only", "real-time", "--json", scratch("block.json")});
  EXPECT_EQ(r.code, 1) << r.out;
  const std::string json = slurp(scratch("block.json"));
  for (const char* name : {"pthread_mutex_lock",
                           "pthread_mutex_timedlock",
                           "pthread_rwlock_rdlock",
                           "pthread_rwlock_wrlock",
                           "pthread_spin_lock",
                           "pthread_cond_timedwait",
                           "sem_wait",
                           "sem_timedwait",
                           "futex",
                           "open",
                           "fopen",
                           "read",
                           "write",
                           "mmap",
                           "usleep",
                           "nanosleep",
                           "clock_nanosleep",
                           "poll",
                           "select",
                           "sleep"})
    EXPECT_NE(json.find(std::string("\"made\": \"") + name + "\""), std::string::npos) << name;
}

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
  EXPECT_NE(hung.find("timed out after 2 s during rate 8000, block 512 with 0-frame calls"),
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

// Usage errors have their own exit code, apart from a failed check's 1, and
// an unwritable result file is refused before any check runs.
TEST(ValidateUsage, ErrorsExit64AndAnUnwritableJsonStopsTheRunAtOnce) {
  const std::vector<std::vector<std::string>> bad = {{plugin(0), "--level", "11"},
                                                     {plugin(0), "--frobnicate"},
                                                     {plugin(0), "--only", "nonsense"},
                                                     {plugin(0), "--only", "state/no such check"},
                                                     {plugin(0), "--seed"},
                                                     {}};
  for (const auto& args : bad) {
    const Result r = validate(args);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.code, 64) << r.err;
    EXPECT_EQ(r.err.rfind("korva-host validate: ", 0), 0u) << r.err;
  }
  const Result r = validate({plugin(0), "--json", "/nonexistent-folder/out.json"});
  EXPECT_EQ(r.code, 3) << r.out << r.err;
  EXPECT_NE(r.err.find("/nonexistent-folder"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("identity"), std::string::npos) << r.out;
}

}  // namespace
