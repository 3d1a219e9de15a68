// korva-host validate on LV2 plug-ins (kv-faults.lv2, lv2_faults/README.md):
// each planted fault is caught by the check meant for it, with the kind that
// sets its severity, and (for those run alone) nothing else is; the correct
// one passes. An unknown URI ends in one line and exit 2, a usage error in 64.
#include <ostream>

#include "tests/tools/validate_support.h"

namespace {

using namespace validate_test;

const std::string kPath = std::string("LV2_PATH=") + KV_FAULTS_LV2_PATH;

std::string uri(const std::string& name) {
  return "urn:korva-validate-test:" + name;
}

TEST(ValidateLv2Correct, PassesEveryGroupWithItsUi) {
  const Result r =
      validate({uri("correct"), "--level", "1", "--json", scratch("lv2.json")}, true, kPath);
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(flaggedRows(r.out).empty()) << r.out;
  for (const char* check : {"open/close cycles", "cleanup orders", "two UIs on one instance"})
    EXPECT_NE(row(r.out, "ui", check).find(" ok "), std::string::npos) << check << "\n" << r.out;
  const std::string json = slurp(scratch("lv2.json"));
  EXPECT_NE(json.find("\"exit_code\": 0"), std::string::npos) << json;
}

// The gain reaches the sound through a worker round trip (schedule_work in
// run, work, work_response before the next run, end_run after it), which
// passes every group.
TEST(ValidateLv2Correct, WorkerRoundTripPassesEveryGroup) {
  const Result r = validate({uri("worker-correct"), "--level", "1"}, true, kPath);
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(flaggedRows(r.out).empty()) << r.out;
}

// A gain of up to +60 dB makes the test signal 750 times full scale at its
// end: the plug-in's design, not a fault, as its output follows the input.
TEST(ValidateLv2Correct, AGainRangeOfSixtyDecibelsPassesEveryGroup) {
  const Result r = validate({uri("loud-gain"), "--level", "1"}, true, kPath);
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(flaggedRows(r.out).empty()) << r.out;
}

struct Planted {
  const char* name;  // the URI's last part
  const char* test;
  const char* group;
  const char* check;
  const char* kind;
  const char* says;
  bool x;
  bool alone;  // run with every group: only findings of its kind, in its group
};

void PrintTo(const Planted& p, std::ostream* out) {
  *out << p.name << ", caught by " << p.group << " / " << p.check;
}

class PlantedLv2Fault : public ::testing::TestWithParam<Planted> {};

TEST_P(PlantedLv2Fault, IsCaughtByItsCheckAndNothingElse) {
  const Planted p = GetParam();
  std::vector<std::string> args = {uri(p.name), "--level", "1"};
  if (!p.alone) args.insert(args.end(), {"--only", p.group});
  const Result r = validate(args, p.x, kPath);
  ASSERT_TRUE(r.exited) << r.err;
  const bool warning = std::string(p.kind) == "letter";
  EXPECT_EQ(r.code, warning ? 0 : 1) << r.out << r.err;
  const std::string caught = row(r.out, p.group, p.check);
  EXPECT_NE(caught.find(warning ? " warn " : " FAIL "), std::string::npos) << r.out;
  EXPECT_NE(caught.find(std::string("[") + p.kind + "] "), std::string::npos) << r.out;
  EXPECT_NE(caught.find(p.says), std::string::npos) << r.out;
  expectFailuresWithinCases(r.out);
  if (!p.alone) return;
  for (const std::string& flagged : flaggedRows(r.out)) {
    EXPECT_NE(flagged.find(std::string("[") + p.kind + "] "), std::string::npos) << flagged << "\n"
                                                                                 << r.out;
    EXPECT_EQ(flagged.rfind(std::string(p.group) + " ", 0), 0u) << flagged << "\n" << r.out;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PlantedLv2Fault,
    ::testing::Values(
        Planted{"allocates", "AllocatesInRun", "real-time", "no allocation or lock", "real-time",
                "run (the plug-in declares lv2:hardRTCapable) allocated", false, true},
        Planted{"rwlock", "TakesAReaderWriterLockInRun", "real-time", "no allocation or lock",
                "real-time", "made a locking or blocking call (pthread_rwlock_rdlock)", false,
                true},
        Planted{"nan-poison", "NanPoisonsItsFilter", "bad-input", "NaN", "output",
                "output still nan", false, true},
        Planted{"trusts-state", "PlaysStateValuesFarLouder", "state", "wrong states", "output",
                "(success): output", false, true},
        Planted{"ignores-state", "IgnoresItsState", "state", "wrong states", "state",
                "answered success, yet none changed anything the plug-in saves", false, true},
        Planted{"success-on-refusal", "ReportsARefusalAsRestored", "state", "wrong states", "state",
                "answered success, yet nothing changed", false, true},
        // Every group that restores a state runs into it.
        Planted{"overreads-state", "ReadsPastAStateValue", "state", "wrong states", "memory",
                "read past the end of the 4-byte state value given to restore", false, false},
        Planted{"short-midi", "ReadsThreeBytesOfEveryMidiEvent", "atom-input", "MIDI messages",
                "memory", "padding after an event", false, false},
        Planted{"ui-after-cleanup", "UiOutlivesItsPlugin", "ui", "cleanup orders", "crash",
                "the plug-in cleaned up first, then the UI's idle", true, false},
        Planted{"letter-only", "NoDefaultForAPort", "identity", "ports", "letter",
                "control input 5 (mix): no lv2:default", false, true},
        // Hosts activate before cleanup; only the check of that order meets it.
        Planted{"cleanup-needs-activate", "CrashesInACleanupWithoutActivate", "lifecycle",
                "odd orders", "crash", "during instantiate then cleanup at once", false, true},
        // The audio thread runs work_response too; work, which allocates, is not watched.
        Planted{"worker-allocates-in-response", "AllocatesInWorkResponse", "real-time",
                "no allocation or lock", "real-time",
                "work_response (the plug-in declares lv2:hardRTCapable) allocated", false, true},
        Planted{"worker-no-interface", "SchedulesWorkWithoutAWorker", "identity",
                "features and descriptor", "interface", "gives no worker:interface", false, false}),
    [](const ::testing::TestParamInfo<Planted>& info) { return info.param.test; });

TEST(ValidateLv2Usage, UnknownUriExits2AndUsageErrors64) {
  const Result none = validate({uri("no-such-plugin")}, false, kPath);
  EXPECT_EQ(none.code, 2) << none.out << none.err;
  EXPECT_NE(none.err.find("no LV2 plug-in <urn:korva-validate-test:no-such-plugin>"),
            std::string::npos)
      << none.err;
  // The LV2 groups are named, not the VST ones.
  const Result bad = validate({uri("correct"), "--only", "editor"}, false, kPath);
  EXPECT_EQ(bad.code, 64) << bad.err;
  EXPECT_NE(bad.err.find("atom-input"), std::string::npos) << bad.err;
}

// A relative LV2_PATH is made absolute before lilv or a child sees it.
TEST(ValidateLv2Usage, RelativeSearchPathFindsThePlugin) {
  const std::string path = KV_FAULTS_LV2_PATH;
  const std::string parent = path.substr(0, path.find_last_of('/'));
  const Result r = validate({uri("correct"), "--level", "1", "--only", "identity/ports"}, false,
                            "--chdir=" + parent + " LV2_PATH=lv2");
  EXPECT_EQ(r.code, 0) << r.out << r.err;
}

}  // namespace
