// Per-user settings: default bank, preset and MIDI settings, the A/B
// memories and the remembered paths, as new instances see them.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "platform/SettingsStore.h"
#include "presets/FactoryPresets.h"
#include "presets/PresetFileFormat.h"
#include "tests/presets_files/FilesTestSupport.h"
#include "tests/presets_files/TestInstance.h"
#include "tests/support/TempConfigHome.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  TempConfigHome config;
  ScriptedDialogs dialogs;

  std::string folder() const { return config.path + "/VEK-sonimark/Korva"; }
  std::string valueFile(const char* name) const { return folder() + "/" + name; }

  // Stores raw bytes under a value name, as another program might have.
  void putValue(const char* name, uint32_t type, const Bytes& data) {
    platform::SettingsKey key = nullptr;
    ASSERT_EQ(platform::settingsCreateKey("SOFTWARE\\VEK-sonimark\\Korva",
                                          platform::kSettingsWriteAccess, &key),
              platform::kSettingsOk);
    ASSERT_EQ(platform::settingsSetValue(key, name, type, data.data(),
                                         static_cast<uint32_t>(data.size())),
              platform::kSettingsOk);
    platform::settingsCloseKey(key);
  }

  static void expectFactoryBank(TestInstance& t) {
    for (int p = 0; p < kNumPresets; ++p) {
      EXPECT_EQ(t.name(p), kFactoryPresets[p].name) << p;
      for (int i = 0; i < kNumParams; ++i)
        EXPECT_EQ(t.preset(p).values[i], kFactoryPresets[p].values[i]) << p << "/" << i;
    }
  }
};

float valueOf(int p, int i) {
  return static_cast<float>(p * 18 + i + 1) / 2048.0f;
}

}  // namespace

TEST_F(SettingsTest, NewInstanceWithoutSettingsStartsFromFactory) {
  {
    TestInstance t;
    expectFactoryBank(t);
    EXPECT_EQ(t.name(0), "default");
    EXPECT_EQ(t.name(16), "16th slapback");
    EXPECT_EQ(t.fx.getCurrentPreset(), 0);
    for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(t.fx.getParameterController(i), 999);
    EXPECT_STREQ(t.editor->getRememberedDirectory(), "");
    EXPECT_STREQ(t.editor->getRememberedBankName(), "");
    EXPECT_STREQ(t.editor->getRememberedPresetName(), "");
    EXPECT_STREQ(t.editor->getRememberedMidiName(), "");
    // Reading never creates the settings folder.
    EXPECT_FALSE(exists(folder()));
  }
  // The instance's end stores the (empty) remembered paths.
  EXPECT_EQ(readBytes(valueFile("CurrDir")), (Bytes{'R', 'E', 'G', '_', 'S', 'Z', '\n', 0}));
  EXPECT_TRUE(exists(valueFile("CurrBank")));
  EXPECT_TRUE(exists(valueFile("CurrPreset")));
  EXPECT_TRUE(exists(valueFile("CurrMidi")));
}

TEST_F(SettingsTest, DefaultPresetFromPreset5BecomesPreset0OfANewInstance) {
  {
    TestInstance t;
    t.fx.selectPreset(5);
    t.editor->storeOrDeleteDefaultPreset(1.0f);
  }
  Bytes stored = readBytes(valueFile("DefaultPreset"));
  ASSERT_EQ(stored.size(), 11u + 101u);  // header line and the record
  EXPECT_EQ(stored[11 + 4], 0x21);

  TestInstance t;
  EXPECT_EQ(t.fx.getCurrentPreset(), 0);
  EXPECT_EQ(t.name(0), kFactoryPresets[5].name);
  for (int i = 0; i < kNumParams; ++i) {
    EXPECT_EQ(t.preset(0).values[i], kFactoryPresets[5].values[i]) << i;
    EXPECT_EQ(t.fx.raw[i], kFactoryPresets[5].values[i]) << i;  // applied
  }
  for (int p = 1; p < kNumPresets; ++p) EXPECT_EQ(t.name(p), kFactoryPresets[p].name);
}

TEST_F(SettingsTest, DefaultBankWithDefaultPresetOnTop) {
  {
    TestInstance t;
    for (int p = 0; p < kNumPresets; ++p) {
      float v[kNumParams];
      for (int i = 0; i < kNumParams; ++i) v[i] = valueOf(p, i);
      t.setPreset(p, ("Mine " + std::to_string(p)).c_str(), v);
    }
    t.editor->storeOrDeleteDefaultBank(1.0f);
    t.fx.selectPreset(7);
    t.fx.renameCurrentPreset("Seven as default");
    t.editor->storeOrDeleteDefaultPreset(0.75f);  // the threshold stores
  }
  TestInstance t;
  EXPECT_EQ(t.fx.getCurrentPreset(), 0);
  EXPECT_EQ(t.name(0), "Seven as default");
  for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(t.preset(0).values[i], valueOf(7, i));
  for (int p = 1; p < kNumPresets; ++p) {
    EXPECT_EQ(t.name(p), p == 7 ? "Mine 7" : "Mine " + std::to_string(p));
    EXPECT_EQ(t.preset(p).values[17], valueOf(p, 17)) << p;
  }
}

TEST_F(SettingsTest, DefaultMidiSettingsReachANewInstance) {
  {
    TestInstance t;
    t.fx.setParameter(18 + kRate, 33.5f / 129.0f);
    t.editor->storeOrDeleteDefaultMidi(1.0f);
  }
  TestInstance t;
  EXPECT_EQ(t.fx.getParameterController(kRate), 33);
  EXPECT_EQ(t.fx.getControllerParameter(33), kRate);
  EXPECT_EQ(t.fx.getParameterController(kInput), 999);
}

TEST_F(SettingsTest, DeletingDefaults) {
  {
    TestInstance t;
    // Nothing stored: deleting changes nothing and creates nothing.
    PresetSnapshot before = PresetSnapshot::of(t.fx);
    t.editor->storeOrDeleteDefaultBank(0.5f);
    t.editor->storeOrDeleteDefaultPreset(0.5f);
    t.editor->storeOrDeleteDefaultMidi(0.5f);
    EXPECT_TRUE(PresetSnapshot::of(t.fx) == before);
    EXPECT_FALSE(exists(folder()));

    t.fx.selectPreset(3);
    t.editor->storeOrDeleteDefaultBank(1.0f);
    t.editor->storeOrDeleteDefaultPreset(1.0f);
    t.fx.setParameter(18 + kInput, 7.5f / 129.0f);
    t.editor->storeOrDeleteDefaultMidi(1.0f);
    EXPECT_TRUE(exists(valueFile("DefaultBank")));
    EXPECT_TRUE(exists(valueFile("DefaultPreset")));
    EXPECT_TRUE(exists(valueFile("DefaultMidi")));
    // Just below the threshold deletes.
    t.editor->storeOrDeleteDefaultPreset(0.7499f);
    t.editor->storeOrDeleteDefaultMidi(0.5f);
    EXPECT_FALSE(exists(valueFile("DefaultPreset")));
    EXPECT_FALSE(exists(valueFile("DefaultMidi")));
    EXPECT_TRUE(exists(valueFile("DefaultBank")));
    t.editor->storeOrDeleteDefaultBank(0.0f);
    EXPECT_FALSE(exists(valueFile("DefaultBank")));
  }
  TestInstance t;
  expectFactoryBank(t);
  EXPECT_EQ(t.fx.getParameterController(kInput), 999);
}

TEST_F(SettingsTest, RecallingAMemoryNeverStoredChangesNothing) {
  TestInstance t;
  t.fx.selectPreset(4);
  PresetSnapshot before = PresetSnapshot::of(t.fx);
  t.editor->recallMemoB();
  t.editor->recallMemoA();
  EXPECT_TRUE(PresetSnapshot::of(t.fx) == before);
  EXPECT_TRUE(t.editor->shown.empty());
}

TEST_F(SettingsTest, StoreAEditRecallA) {
  TestInstance t;
  t.fx.selectPreset(6);
  float stored[kNumParams];
  for (int i = 0; i < kNumParams; ++i) stored[i] = t.preset(6).values[i];
  const std::string storedName = t.name(6);
  t.editor->storeMemoA();
  t.fx.selectPreset(2);
  t.editor->storeMemoB();  // B is another value

  t.fx.selectPreset(6);
  t.fx.renameCurrentPreset("Edited");
  t.fx.setParameter(kFbck, 0.9f);
  t.fx.setParameter(kDlyTime, 0.1f);
  EXPECT_EQ(t.name(6), "Edited");

  t.editor->recallMemoA();
  EXPECT_EQ(t.fx.getCurrentPreset(), 6);
  EXPECT_EQ(t.name(6), storedName);
  for (int i = 0; i < kNumParams; ++i) {
    EXPECT_EQ(t.preset(6).values[i], stored[i]) << i;
    EXPECT_EQ(t.fx.raw[i], stored[i]) << i;
  }
  ASSERT_FALSE(t.editor->shown.empty());
  EXPECT_EQ(t.editor->shown.back(), storedName);

  // Recalling B into preset 6 brings preset 2's record, number unchanged.
  t.editor->recallMemoB();
  EXPECT_EQ(t.fx.getCurrentPreset(), 6);
  EXPECT_EQ(t.name(6), kFactoryPresets[2].name);
}

TEST_F(SettingsTest, CorruptedOrForeignValuesAreRefused) {
  Bytes preset;
  {
    TestInstance t;
    t.fx.selectPreset(9);
    Bytes record(kPresetFileSize);
    t.editor->fillPresetData(record.data());
    preset = record;
  }
  Bytes foreign = preset;
  foreign[1] = 'x';  // another product's identifier
  putValue("DefaultPreset", platform::kSettingsBinary, foreign);
  Bytes wrongType = preset;
  wrongType[4] = 0x37;
  putValue("MemoA", platform::kSettingsBinary, wrongType);
  // Our own bank record, cut short.
  Bytes bank(kBankFileSize);
  {
    TestInstance t;
    t.editor->fillBankData(bank.data());
  }
  for (int p = 0; p < kNumPresets; ++p) bank[5 + 96 * p] = 'C';
  putValue("DefaultBank", platform::kSettingsBinary, Bytes(bank.begin(), bank.begin() + 1000));
  // A MIDI record stored as text, and a damaged value file.
  Bytes midi(kMidiFileSize, 0);
  midi[0] = 0x41, midi[1] = 0x52, midi[2] = 0x56, midi[3] = 0x4B, midi[4] = 0x0B;
  putValue("DefaultMidi", platform::kSettingsText, midi);
  writeBytes(valueFile("MemoB"), preset);  // no type header

  TestInstance t;
  expectFactoryBank(t);
  for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(t.fx.getParameterController(i), 999);
  PresetSnapshot before = PresetSnapshot::of(t.fx);
  t.editor->recallMemoA();
  t.editor->recallMemoB();
  EXPECT_TRUE(PresetSnapshot::of(t.fx) == before);

  // A record longer than its size is refused as well.
  Bytes longer = preset;
  longer.push_back(0);
  putValue("MemoA", platform::kSettingsBinary, longer);
  t.editor->recallMemoA();
  EXPECT_TRUE(PresetSnapshot::of(t.fx) == before);
}

// Whole records of ours holding a sound value outside 0..1 (in any preset of
// the bank) or an assignment that is no number: refused with a message, the
// instance starts from the factory bank and a recall changes nothing.
TEST_F(SettingsTest, ValuesOutsideTheRangeAreRefused) {
  Bytes bank(kBankFileSize), preset(kPresetFileSize), midi(kMidiFileSize);
  {
    TestInstance t;
    t.fx.assignController(kFbck, 74);
    t.editor->fillBankData(bank.data());
    t.editor->fillPresetData(preset.data());
    t.editor->fillMidiData(midi.data());
  }
  const float loud = 1000.0f, negative = -0.5f;
  std::memcpy(&bank[29 + 96 * 12 + 4 * kOutput], &loud, 4);
  std::memcpy(&preset[29 + 4 * kMix], &negative, 4);
  const uint32_t nan = 0x7FC00000u;
  std::memcpy(&midi[5 + 4 * kRate], &nan, 4);
  putValue("DefaultBank", platform::kSettingsBinary, bank);
  putValue("DefaultPreset", platform::kSettingsBinary, preset);
  putValue("DefaultMidi", platform::kSettingsBinary, midi);
  putValue("MemoA", platform::kSettingsBinary, preset);

  testing::internal::CaptureStderr();
  TestInstance t;
  const std::string err = testing::internal::GetCapturedStderr();
  for (const char* name : {"DefaultBank", "DefaultPreset", "DefaultMidi"})
    EXPECT_NE(err.find(std::string("stored ") + name + " refused"), std::string::npos) << err;
  expectFactoryBank(t);
  for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(t.fx.getParameterController(i), 999);
  const PresetSnapshot before = PresetSnapshot::of(t.fx);
  testing::internal::CaptureStderr();
  t.editor->recallMemoA();
  EXPECT_NE(testing::internal::GetCapturedStderr().find("MemoA"), std::string::npos);
  EXPECT_TRUE(PresetSnapshot::of(t.fx) == before);
}

TEST_F(SettingsTest, RememberedPathsOutliveTheInstance) {
  TempDir dir;
  writeBytes(dir.file("a.vek"), Bytes(kPresetFileSize, 0));
  {
    TestInstance t;
    dialogs.answer(dir.file("a.vek"));
    t.editor->loadPreset(1.0f);
    dialogs.answer(dir.file("b.vkm"));
    t.editor->saveMidiSettings();
  }
  {
    TestInstance t;
    EXPECT_EQ(std::string(t.editor->getRememberedDirectory()), dir.folder());
    EXPECT_STREQ(t.editor->getRememberedPresetName(), "a.vek");
    EXPECT_STREQ(t.editor->getRememberedMidiName(), "b.vkm");
    EXPECT_STREQ(t.editor->getRememberedBankName(), "");
    dialogs.cancel();
    t.editor->savePreset();
    ASSERT_EQ(dialogs.requests.size(), 3u);
    EXPECT_EQ(dialogs.requests[2].initialDirectory, dir.folder());
    EXPECT_EQ(dialogs.requests[2].defaultName, "a.vek");
  }
  // Stored texts of the wrong form or length read as empty.
  auto text = [](const std::string& s) {
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    return b;
  };
  putValue("CurrDir", platform::kSettingsText, text("/no/trailing/separator"));
  putValue("CurrBank", platform::kSettingsText, text("sub/dir.vkb"));
  putValue("CurrPreset", platform::kSettingsText, text(std::string(257, 'p')));
  putValue("CurrMidi", platform::kSettingsBinary, text("binary.vkm"));
  {
    TestInstance t;
    EXPECT_STREQ(t.editor->getRememberedDirectory(), "");
    EXPECT_STREQ(t.editor->getRememberedBankName(), "");
    EXPECT_STREQ(t.editor->getRememberedPresetName(), "");
    EXPECT_STREQ(t.editor->getRememberedMidiName(), "");
  }
  // The longest texts that fit are kept.
  std::string longestDir = "/" + std::string(254, 'd') + "/";
  putValue("CurrDir", platform::kSettingsText, text(longestDir));
  putValue("CurrPreset", platform::kSettingsText, text(std::string(256, 'p')));
  TestInstance t;
  EXPECT_EQ(std::string(t.editor->getRememberedDirectory()), longestDir);
  EXPECT_EQ(std::string(t.editor->getRememberedPresetName()), std::string(256, 'p'));
}

TEST_F(SettingsTest, TwoProcessesStoringDefaultsAtOnceLeaveACompleteBank) {
  // Two different banks, stored 1000 times each by two processes at once.
  TestInstance mine;
  for (int p = 0; p < kNumPresets; ++p) {
    float v[kNumParams];
    for (int i = 0; i < kNumParams; ++i) v[i] = valueOf(p, i);
    mine.setPreset(p, "Parent", v);
  }
  Bytes parentBank(kBankFileSize), childBank(kBankFileSize);
  mine.editor->fillBankData(parentBank.data());
  TestInstance theirs;
  theirs.editor->fillBankData(childBank.data());

  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    for (int i = 0; i < 1000; ++i) theirs.editor->storeDefaultBank();
    _exit(0);
  }
  for (int i = 0; i < 1000; ++i) mine.editor->storeDefaultBank();
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);

  TestInstance t;
  Bytes loaded(kBankFileSize);
  t.editor->fillBankData(loaded.data());
  EXPECT_TRUE(loaded == parentBank || loaded == childBank);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder()))
    names.push_back(e.path().filename().string());
  EXPECT_EQ(
      std::count_if(names.begin(), names.end(), [](const std::string& n) { return n[0] == '.'; }),
      0);
}
