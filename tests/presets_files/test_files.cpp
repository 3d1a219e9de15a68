// Preset, bank and MIDI-settings records and the six file commands.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <memory>

#include "presets/PresetFileFormat.h"
#include "tests/presets_files/FilesTestSupport.h"
#include "tests/presets_files/TestInstance.h"
#include "tests/support/TempConfigHome.h"

namespace {

// Values with exact, easily reversed bit patterns.
const float kShapes[6] = {0.75f, 0.5f, 0.25f, 1.0f, 0.125f, 0.0f};

float valueOf(int p, int i) {
  return static_cast<float>(p * 18 + i + 1) / 1024.0f;
}

class FilesTest : public ::testing::Test {
 protected:
  TempConfigHome config;
  TempDir dir;
  ScriptedDialogs dialogs;
  std::unique_ptr<TestInstance> inst = std::make_unique<TestInstance>();

  CPresetSystemEditor& ed() { return *inst->editor; }
  PresetTestEffect& fx() { return inst->fx; }

  // Gives every preset a known name and values; preset 3 becomes current.
  void fillBank() {
    for (int p = kNumPresets - 1; p >= 0; --p) {
      float v[kNumParams];
      for (int i = 0; i < kNumParams; ++i) v[i] = valueOf(p, i);
      std::string n = "Bank preset " + std::to_string(p);
      inst->setPreset(p, n.c_str(), v);
    }
    fx().selectPreset(3);
  }
};

Bytes expectedBank(bool bigEndian) {
  RecordBuilder r(kBankFileSize, 0x37, bigEndian);
  for (int p = 0; p < kNumPresets; ++p) {
    std::string n = "Bank preset " + std::to_string(p);
    r.name(5 + 96 * p, n.c_str());
    for (int i = 0; i < kNumParams; ++i) r.value(29 + 96 * p + 4 * i, valueOf(p, i));
  }
  return r.bytes;
}

RecordBuilder shapedPreset(const char* name, bool bigEndian, unsigned char type = 0x21) {
  RecordBuilder r(kPresetFileSize, type, bigEndian);
  r.name(5, name);
  for (int i = 0; i < kNumParams; ++i) r.value(29 + 4 * i, kShapes[i % 6]);
  return r;
}

}  // namespace

TEST_F(FilesTest, RecordsAreByteExact) {
  fillBank();
  Bytes preset(kPresetFileSize, 0);
  ed().fillPresetData(preset.data());
  // Identifier 'KVRA' in the machine's (little-endian) order, then 0x21.
  EXPECT_EQ(Bytes(preset.begin(), preset.begin() + 5), (Bytes{0x41, 0x52, 0x56, 0x4B, 0x21}));
  RecordBuilder p3(kPresetFileSize, 0x21, false);
  p3.name(5, "Bank preset 3");
  for (int i = 0; i < kNumParams; ++i) p3.value(29 + 4 * i, valueOf(3, i));
  EXPECT_EQ(preset, p3.bytes);

  Bytes bank(kBankFileSize, 0);
  ed().fillBankData(bank.data());
  EXPECT_EQ(bank, expectedBank(false));

  // Input on controller 7, Mix on 74, the rest without controller.
  fx().setParameter(18 + kInput, 7.5f / 129.0f);
  fx().setParameter(18 + kMix, 74.5f / 129.0f);
  Bytes midi(kMidiFileSize, 0);
  ed().fillMidiData(midi.data());
  RecordBuilder m(kMidiFileSize, 0x0B, false);
  for (int i = 0; i < kNumParams; ++i) m.value(5 + 4 * i, 999.5f / 129.0f);
  m.value(5 + 4 * kInput, 7.5f / 129.0f);
  m.value(5 + 4 * kMix, 74.5f / 129.0f);
  EXPECT_EQ(midi, m.bytes);
}

TEST_F(FilesTest, RecordsRoundTripIntoAnotherInstance) {
  fillBank();
  fx().setParameter(18 + kFbck, 20.5f / 129.0f);
  Bytes bank(kBankFileSize), preset(kPresetFileSize), midi(kMidiFileSize);
  ed().fillBankData(bank.data());
  ed().fillPresetData(preset.data());
  ed().fillMidiData(midi.data());

  TestInstance other;
  other.editor->applyBankData(bank.data(), false);
  other.fx.selectPreset(8);
  other.editor->applyPresetData(preset.data(), false);
  other.editor->applyMidiData(midi.data(), false);
  EXPECT_EQ(other.fx.getParameterController(kFbck), 20);
  EXPECT_EQ(other.fx.getControllerParameter(20), kFbck);
  EXPECT_EQ(other.name(8), "Bank preset 3");

  Bytes bank2(kBankFileSize), midi2(kMidiFileSize);
  other.fx.selectPreset(3);
  other.editor->fillMidiData(midi2.data());
  EXPECT_EQ(midi2, midi);
  // Slot 8 now holds preset 3; the rest is the bank as saved.
  other.editor->fillBankData(bank2.data());
  Bytes expected = expectedBank(false);
  std::copy(expected.begin() + 5 + 96 * 3, expected.begin() + 5 + 96 * 4,
            expected.begin() + 5 + 96 * 8);
  EXPECT_EQ(bank2, expected);
}

TEST_F(FilesTest, SavedFilesHaveExactBytesAndNoLeftovers) {
  fillBank();
  fx().setParameter(18 + kInput, 7.5f / 129.0f);
  dialogs.answer(dir.file("all.vkb"));
  dialogs.answer(dir.file("three.vek"));
  dialogs.answer(dir.file("cc.vkm"));
  ed().saveBank();
  ed().savePreset();
  ed().saveMidiSettings();

  EXPECT_EQ(readBytes(dir.file("all.vkb")), expectedBank(false));
  RecordBuilder p3(kPresetFileSize, 0x21, false);
  p3.name(5, "Bank preset 3");
  for (int i = 0; i < kNumParams; ++i) p3.value(29 + 4 * i, valueOf(3, i));
  EXPECT_EQ(readBytes(dir.file("three.vek")), p3.bytes);
  Bytes midi = readBytes(dir.file("cc.vkm"));
  ASSERT_EQ(midi.size(), 77u);
  EXPECT_EQ(midi[4], 0x0B);
  auto entries = dir.entries();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"all.vkb", "cc.vkm", "three.vek"}));

  // A fresh instance loads the bank back byte for byte.
  TestInstance other;
  other.editor->loadBank(1.0f);  // no answer scripted: cancelled, nothing happens
  dialogs.answer(dir.file("all.vkb"));
  other.editor->loadBank(1.0f);
  Bytes again(kBankFileSize);
  other.editor->fillBankData(again.data());
  EXPECT_EQ(again, expectedBank(false));
  EXPECT_EQ(other.fx.getCurrentPreset(), 0);
}

TEST_F(FilesTest, DialogTitlesTypesAndExtensions) {
  for (int i = 0; i < 9; ++i) dialogs.cancel();
  ed().loadBank(1.0f);
  ed().loadBank(0.5f);
  ed().saveBank();
  ed().loadPreset(1.0f);
  ed().loadPreset(0.5f);
  ed().savePreset();
  ed().loadMidiSettings(0.4999f);
  ed().loadMidiSettings(0.5f);
  ed().saveMidiSettings();
  struct Expect {
    bool save;
    const char* title;
    const char* description;
    const char* extension;
  };
  const Expect expected[9] = {
      {false, "Load bank", "VEK Bank", "vkb"},
      {false, "Load bank (endian-reversed)", "VEK Bank", "vkb"},
      {true, "Save bank", "VEK Bank", "vkb"},
      {false, "Load preset", "VEK Preset", "vek"},
      {false, "Load preset (endian-reversed)", "VEK Preset", "vek"},
      {true, "Save preset", "VEK Preset", "vek"},
      {false, "Load MIDI settings", "VEK MIDI Settings", "vkm"},
      {false, "Load MIDI settings (endian-reversed)", "VEK MIDI Settings", "vkm"},
      {true, "Save midi settings as", "VEK MIDI Settings", "vkm"},
  };
  ASSERT_EQ(dialogs.requests.size(), 9u);
  for (int i = 0; i < 9; ++i) {
    const auto& r = dialogs.requests[i];
    EXPECT_EQ(r.save, expected[i].save) << i;
    EXPECT_EQ(r.title, expected[i].title) << i;
    ASSERT_EQ(r.filters.size(), 1u) << i;
    EXPECT_EQ(r.filters[0].description, expected[i].description) << i;
    EXPECT_EQ(r.filters[0].extension, expected[i].extension) << i;
  }
}

TEST_F(FilesTest, BigEndianPresetLoadsCorrectlyAndReversedModeFlipsValues) {
  RecordBuilder big = shapedPreset("Big endian", true);
  writeBytes(dir.file("big.vek"), big.bytes);
  RecordBuilder little = shapedPreset("Little endian", false);
  writeBytes(dir.file("little.vek"), little.bytes);

  fx().selectPreset(2);
  dialogs.answer(dir.file("big.vek"));
  ed().loadPreset(1.0f);
  EXPECT_EQ(fx().getCurrentPreset(), 2);
  EXPECT_EQ(inst->name(2), "Big endian");
  for (int i = 0; i < kNumParams; ++i) {
    EXPECT_EQ(bitsOf(inst->preset(2).values[i]), bitsOf(kShapes[i % 6])) << i;
    EXPECT_EQ(bitsOf(fx().raw[i]), bitsOf(kShapes[i % 6])) << i;  // applied
  }
  ASSERT_FALSE(inst->editor->shown.empty());
  EXPECT_EQ(inst->editor->shown.back(), "Big endian");

  // Right-click: the same file gets its values byte-reversed, names as they are.
  for (const char* file : {"big.vek", "little.vek"}) {
    dialogs.answer(dir.file(file));
    ed().loadPreset(0.5f);
    EXPECT_EQ(inst->name(2), file == std::string("big.vek") ? "Big endian" : "Little endian");
    for (int i = 0; i < kNumParams; ++i)
      EXPECT_EQ(bitsOf(inst->preset(2).values[i]), reversedBits(bitsOf(kShapes[i % 6])))
          << file << " " << i;
  }
  // 0.75 reversed, worked out by hand: 3F 40 00 00 read the other way round.
  EXPECT_EQ(bitsOf(inst->preset(2).values[0]), 0x0000403Fu);
}

// A record of ours holding a sound value outside 0..1 or no number, in any
// preset of a bank, or an assignment that is no number, is refused whole and
// changes nothing (not even the bank's switch to preset 0), and says so. A
// reversed read of a good file that makes such a value counts the same:
// 0x3F00C0FF (about 0.50294) on disk from a little-endian writer is FF C0 00
// 3F, which read the other way round is 0xFFC0003F, a NaN.
TEST_F(FilesTest, RecordsHoldingAValueOutsideTheRangeChangeNothing) {
  fillBank();  // preset 3 current
  fx().assignController(kMix, 74);
  const PresetSnapshot before = PresetSnapshot::of(fx());
  const size_t shownBefore = inst->editor->shown.size();

  RecordBuilder loud = shapedPreset("Loud", false);
  loud.value(29 + 4 * kInput, 1000.0f);
  writeBytes(dir.file("loud.vek"), loud.bytes);
  RecordBuilder odd = shapedPreset("Odd value", false);
  odd.word(29 + 4 * kFbck, 0x3F00C0FFu);
  writeBytes(dir.file("odd.vek"), odd.bytes);
  Bytes bank = expectedBank(true);
  putWordLE(bank, 29 + 96 * 16 + 4 * kRate, 0x000080BEu);  // BE 80 00 00: -0.25 big-endian
  writeBytes(dir.file("negative.vkb"), bank);
  RecordBuilder midi(kMidiFileSize, 0x0B, false);
  for (int i = 0; i < kNumParams; ++i) midi.value(5 + 4 * i, 999.5f / 129.0f);
  midi.word(5 + 4 * kDen, 0x7FC00000u);
  writeBytes(dir.file("nan.vkm"), midi.bytes);

  struct Load {
    const char* file;
    void (CPresetSystemEditor::*command)(float);
    float value;
  };
  for (const Load& l : {Load{"loud.vek", &CPresetSystemEditor::loadPreset, 1.0f},
                        Load{"odd.vek", &CPresetSystemEditor::loadPreset, 0.5f},
                        Load{"negative.vkb", &CPresetSystemEditor::loadBank, 1.0f},
                        Load{"nan.vkm", &CPresetSystemEditor::loadMidiSettings, 1.0f}}) {
    dialogs.answer(dir.file(l.file));
    testing::internal::CaptureStderr();
    (ed().*l.command)(l.value);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(l.file), std::string::npos) << err;
    EXPECT_NE(err.find("refused"), std::string::npos) << err;
    EXPECT_TRUE(PresetSnapshot::of(fx()) == before) << l.file;
    EXPECT_EQ(fx().getCurrentPreset(), 3) << l.file;
    EXPECT_EQ(fx().getParameterController(kMix), 74) << l.file;
  }
  EXPECT_EQ(inst->editor->shown.size(), shownBefore);

  // The same preset file read as written is taken.
  dialogs.answer(dir.file("odd.vek"));
  ed().loadPreset(1.0f);
  EXPECT_EQ(inst->name(3), "Odd value");
  EXPECT_EQ(bitsOf(inst->preset(3).values[kFbck]), 0x3F00C0FFu);
}

TEST_F(FilesTest, BigEndianBankAndMidiFilesLoad) {
  writeBytes(dir.file("big.vkb"), expectedBank(true));
  dialogs.answer(dir.file("big.vkb"));
  ed().loadBank(1.0f);
  Bytes bank(kBankFileSize);
  ed().fillBankData(bank.data());
  EXPECT_EQ(bank, expectedBank(false));
  EXPECT_EQ(fx().getCurrentPreset(), 0);
  ASSERT_FALSE(inst->editor->shown.empty());
  EXPECT_EQ(inst->editor->shown.back(), "Bank preset 0");

  RecordBuilder m(kMidiFileSize, 0x0B, true);
  for (int i = 0; i < kNumParams; ++i) m.value(5 + 4 * i, 999.5f / 129.0f);
  m.value(5 + 4 * kHiCut, 11.5f / 129.0f);
  writeBytes(dir.file("big.vkm"), m.bytes);
  dialogs.answer(dir.file("big.vkm"));
  ed().loadMidiSettings(1.0f);
  EXPECT_EQ(fx().getParameterController(kHiCut), 11);
  EXPECT_EQ(fx().getControllerParameter(11), kHiCut);
}

TEST_F(FilesTest, PresetFileOfBankTypeIsIgnored) {
  fillBank();
  writeBytes(dir.file("wrong.vek"), shapedPreset("Wrong type", false, 0x37).bytes);
  Bytes foreign = shapedPreset("Foreign", false).bytes;
  foreign[0] = 'X';
  writeBytes(dir.file("foreign.vek"), foreign);
  PresetSnapshot before = PresetSnapshot::of(fx());
  for (const char* f : {"wrong.vek", "foreign.vek"}) {
    dialogs.answer(dir.file(f));
    ed().loadPreset(1.0f);
    EXPECT_TRUE(PresetSnapshot::of(fx()) == before) << f;
  }
  // Remembered all the same: the dialog was answered.
  EXPECT_STREQ(ed().getRememberedPresetName(), "foreign.vek");
}

TEST_F(FilesTest, BankWithWrongIdentifierOnlySelectsPresetZero) {
  fillBank();
  fx().selectPreset(4);
  Bytes bank = expectedBank(false);
  for (int p = 0; p < kNumPresets; ++p) bank[5 + 96 * p] = 'Z';  // would rename every preset
  bank[3] = 'Q';
  writeBytes(dir.file("bad.vkb"), bank);
  Bytes store = inst->storeBytes();
  dialogs.answer(dir.file("bad.vkb"));
  ed().loadBank(1.0f);
  EXPECT_EQ(fx().getCurrentPreset(), 0);
  EXPECT_EQ(inst->storeBytes(), store);
  for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(fx().raw[i], valueOf(0, i)) << i;

  // The right identifier with the preset's type byte: the same.
  bank = expectedBank(false);
  bank[4] = 0x21;
  writeBytes(dir.file("type.vkb"), bank);
  fx().selectPreset(6);
  dialogs.answer(dir.file("type.vkb"));
  ed().loadBank(1.0f);
  EXPECT_EQ(fx().getCurrentPreset(), 0);
  EXPECT_EQ(inst->storeBytes(), store);
}

TEST_F(FilesTest, MidiFileAssignsController7ToInput) {
  RecordBuilder m(kMidiFileSize, 0x0B, false);
  m.value(5, (7 + 0.5f) / 129.0f);
  for (int i = 1; i < kNumParams; ++i) m.value(5 + 4 * i, 999.5f / 129.0f);
  writeBytes(dir.file("volume.vkm"), m.bytes);
  fx().calls.clear();
  dialogs.answer(dir.file("volume.vkm"));
  ed().loadMidiSettings(1.0f);
  EXPECT_EQ(fx().getParameterController(kInput), 7);
  EXPECT_EQ(fx().getControllerParameter(7), kInput);
  for (int i = 1; i < kNumParams; ++i) EXPECT_EQ(fx().getParameterController(i), 999) << i;
  // Through setParameter(18 + i), in order, and nothing else.
  ASSERT_EQ(fx().calls.size(), 18u);
  for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(fx().calls[i].index, 18 + i);
  // The preset is untouched by MIDI settings.
  EXPECT_EQ(fx().getCurrentPreset(), 0);
}

TEST_F(FilesTest, SavedPresetLoadsIntoAnotherSlotOnly) {
  fillBank();  // preset 3 current
  dialogs.answer(dir.file("three.vek"));
  ed().savePreset();
  fx().selectPreset(9);
  Bytes before = inst->storeBytes();
  dialogs.answer(dir.file("three.vek"));
  ed().loadPreset(1.0f);
  EXPECT_EQ(fx().getCurrentPreset(), 9);
  EXPECT_EQ(inst->name(9), "Bank preset 3");
  for (int i = 0; i < kNumParams; ++i) {
    EXPECT_EQ(inst->preset(9).values[i], valueOf(3, i));
    EXPECT_EQ(fx().raw[i], valueOf(3, i));
  }
  Bytes after = inst->storeBytes();
  for (int p = 0; p < kNumPresets; ++p) {
    if (p == 9) continue;
    EXPECT_TRUE(
        std::equal(before.begin() + 96 * p, before.begin() + 96 * (p + 1), after.begin() + 96 * p))
        << p;
  }
}

TEST_F(FilesTest, ShortFilesReadAsZeroFilledAndLongFilesUpToTheirSize) {
  fx().selectPreset(1);
  Bytes full = shapedPreset("Short one", false).bytes;
  writeBytes(dir.file("short.vek"), Bytes(full.begin(), full.begin() + 60));
  dialogs.answer(dir.file("short.vek"));
  ed().loadPreset(1.0f);
  EXPECT_EQ(inst->name(1), "Short one");
  // Bytes 29..59: seven whole values and three bytes of the eighth.
  for (int i = 0; i < 7; ++i) EXPECT_EQ(inst->preset(1).values[i], kShapes[i % 6]) << i;
  EXPECT_EQ(bitsOf(inst->preset(1).values[7]), bitsOf(kShapes[1]) & 0x00FFFFFFu);
  for (int i = 8; i < kNumParams; ++i) EXPECT_EQ(bitsOf(inst->preset(1).values[i]), 0u) << i;

  Bytes longer = shapedPreset("Long one", false).bytes;
  Bytes tail(50, 0xFF);
  longer.insert(longer.end(), tail.begin(), tail.end());
  writeBytes(dir.file("long.vek"), longer);
  dialogs.answer(dir.file("long.vek"));
  ed().loadPreset(1.0f);
  EXPECT_EQ(inst->name(1), "Long one");
  for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(inst->preset(1).values[i], kShapes[i % 6]);

  // A short bank: whole presets 0..3, then zeros.
  Bytes bank = expectedBank(false);
  writeBytes(dir.file("short.vkb"), Bytes(bank.begin(), bank.begin() + 5 + 96 * 4));
  dialogs.answer(dir.file("short.vkb"));
  ed().loadBank(1.0f);
  EXPECT_EQ(inst->name(3), "Bank preset 3");
  EXPECT_EQ(inst->preset(3).values[17], valueOf(3, 17));
  EXPECT_EQ(inst->name(4), "");
  EXPECT_EQ(inst->preset(16).values[0], 0.0f);

  // An empty file is no record.
  Bytes store = inst->storeBytes();
  writeBytes(dir.file("empty.vek"), Bytes());
  dialogs.answer(dir.file("empty.vek"));
  ed().loadPreset(1.0f);
  EXPECT_EQ(inst->storeBytes(), store);
}

TEST_F(FilesTest, ReadOnlyFileLoads) {
  writeBytes(dir.file("locked.vek"), shapedPreset("Read only", false).bytes);
  ASSERT_EQ(chmod(dir.file("locked.vek").c_str(), 0444), 0);
  ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
  // In a child that file permissions bind even when the tests run as root.
  bool loaded = runUnprivileged([&] {
    fx().selectPreset(5);
    dialogs.answer(dir.file("locked.vek"));
    ed().loadPreset(1.0f);
    return inst->name(5) == "Read only" && inst->preset(5).values[0] == 0.75f;
  });
  EXPECT_TRUE(loaded);
}

TEST_F(FilesTest, FailedSaveLeavesTheOldFile) {
  fillBank();
  Bytes old(kBankFileSize, 0x5A);
  writeBytes(dir.file("keep.vkb"), old);

  // A write cut short by the file-size limit (binds root too).
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {600, 600};
    setrlimit(RLIMIT_FSIZE, &limit);
    dialogs.answer(dir.file("keep.vkb"));
    ed().saveBank();
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_EQ(readBytes(dir.file("keep.vkb")), old);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"keep.vkb"});

  // A folder we may not write to, and a file we may not write.
  ASSERT_EQ(chmod(dir.file("keep.vkb").c_str(), 0666), 0);
  ASSERT_EQ(chmod(dir.path.c_str(), 0555), 0);
  EXPECT_TRUE(runUnprivileged([&] {
    dialogs.answer(dir.file("keep.vkb"));
    ed().saveBank();
    return true;
  }));
  EXPECT_EQ(readBytes(dir.file("keep.vkb")), old);
  ASSERT_EQ(chmod(dir.path.c_str(), 0777), 0);
  ASSERT_EQ(chmod(dir.file("keep.vkb").c_str(), 0444), 0);
  EXPECT_TRUE(runUnprivileged([&] {
    dialogs.answer(dir.file("keep.vkb"));
    ed().saveBank();
    return true;
  }));
  EXPECT_EQ(readBytes(dir.file("keep.vkb")), old);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"keep.vkb"});

  // A save into a folder that does not exist leaves no trace.
  dialogs.answer(dir.file("missing/new.vkb"));
  ed().saveBank();
  EXPECT_FALSE(exists(dir.file("missing")));
}

TEST_F(FilesTest, RememberedFolderIsSharedAndNamesArePerType) {
  TempDir other("korva-other");
  writeBytes(other.file("warm.vek"), shapedPreset("Warm", false).bytes);
  dialogs.answer(other.file("warm.vek"));
  ed().loadPreset(1.0f);
  EXPECT_EQ(std::string(ed().getRememberedDirectory()), other.folder());
  EXPECT_STREQ(ed().getRememberedPresetName(), "warm.vek");

  for (int i = 0; i < 6; ++i) dialogs.cancel();
  ed().saveBank();
  ed().savePreset();
  ed().saveMidiSettings();
  ed().loadBank(1.0f);
  ed().loadMidiSettings(1.0f);
  ed().loadPreset(1.0f);
  ASSERT_EQ(dialogs.requests.size(), 7u);
  for (size_t i = 1; i < 7; ++i)
    EXPECT_EQ(dialogs.requests[i].initialDirectory, other.folder()) << i;
  EXPECT_EQ(dialogs.requests[1].defaultName, "");
  EXPECT_EQ(dialogs.requests[2].defaultName, "warm.vek");
  EXPECT_EQ(dialogs.requests[3].defaultName, "");

  // A save elsewhere moves the shared folder; each type keeps its own name.
  dialogs.answer(dir.file("all.vkb"));
  ed().saveBank();
  dialogs.cancel();
  ed().savePreset();
  EXPECT_EQ(dialogs.requests.back().initialDirectory, dir.folder());
  EXPECT_EQ(dialogs.requests.back().defaultName, "warm.vek");
  EXPECT_STREQ(ed().getRememberedBankName(), "all.vkb");
}

TEST_F(FilesTest, CancelledDialogsChangeNothing) {
  fillBank();
  PresetSnapshot before = PresetSnapshot::of(fx());
  std::string folder = ed().getRememberedDirectory();
  ed().loadBank(1.0f);
  ed().loadPreset(0.5f);
  ed().loadMidiSettings(1.0f);
  ed().saveBank();
  ed().savePreset();
  ed().saveMidiSettings();
  EXPECT_EQ(dialogs.requests.size(), 6u);
  EXPECT_TRUE(PresetSnapshot::of(fx()) == before);
  EXPECT_EQ(ed().getRememberedDirectory(), folder);
  EXPECT_TRUE(dir.entries().empty());
}

TEST_F(FilesTest, WithoutControllerTablesTheCommandsDoNothing) {
  fillBank();  // preset 3 current
  writeBytes(dir.file("bank.vkb"), expectedBank(false));
  fx().dropTables();  // as when their allocation failed
  Bytes store = inst->storeBytes();
  for (int i = 0; i < 3; ++i) dialogs.answer(dir.file("bank.vkb"));
  ed().loadBank(1.0f);  // would select preset 0 at least
  ed().loadPreset(1.0f);
  ed().loadMidiSettings(1.0f);
  EXPECT_EQ(fx().getCurrentPreset(), 3);
  EXPECT_EQ(inst->storeBytes(), store);
  dialogs.answers.clear();
  dialogs.answer(dir.file("out.vkm"));
  ed().saveMidiSettings();  // would write 18 values of -1
  dialogs.answer(dir.file("out.vkb"));
  ed().saveBank();
  EXPECT_TRUE(dialogs.requests.empty());
  EXPECT_FALSE(exists(dir.file("out.vkm")));
  EXPECT_FALSE(exists(dir.file("out.vkb")));
}

// Folders deeper than the 256 characters the remembered texts hold are
// ordinary on Linux: such files load and save like any other; only their path
// is not remembered.
TEST_F(FilesTest, PathsBeyond256CharactersLoadAndSaveWithoutBeingRemembered) {
  fillBank();
  // A folder of 300 characters (two nested names).
  std::string deep = dir.path + "/" + std::string(200, 'a') + "/" + std::string(100, 'b');
  std::filesystem::create_directories(deep);
  Bytes bank = expectedBank(false);
  std::memcpy(bank.data() + 5 + 96 * 2, "deep bank preset 2\0", 19);
  writeBytes(deep + "/x.vkb", bank);
  const std::string folder = ed().getRememberedDirectory();
  fx().renameCurrentPreset("scribble");

  dialogs.answer(deep + "/x.vkb");
  ed().loadBank(1.0f);
  EXPECT_EQ(inst->name(2), "deep bank preset 2");
  EXPECT_EQ(inst->name(3), "Bank preset 3");  // "scribble" replaced by the file's bank
  EXPECT_EQ(fx().getCurrentPreset(), 0);
  EXPECT_EQ(ed().getRememberedDirectory(), folder);
  EXPECT_STREQ(ed().getRememberedBankName(), "");

  dialogs.answer(deep + "/y.vek");
  ed().savePreset();
  Bytes saved = readBytes(deep + "/y.vek");
  ASSERT_EQ(saved.size(), static_cast<size_t>(kPresetFileSize));
  EXPECT_EQ(std::memcmp(saved.data() + 5, "Bank preset 0", 14), 0);
  dialogs.answer(deep + "/z.vkm");
  ed().saveMidiSettings();
  EXPECT_EQ(readBytes(deep + "/z.vkm").size(), static_cast<size_t>(kMidiFileSize));
  dialogs.answer(deep + "/y.vek");
  fx().selectPreset(5);
  ed().loadPreset(1.0f);
  EXPECT_EQ(inst->name(5), "Bank preset 0");
  EXPECT_EQ(ed().getRememberedDirectory(), folder);
  EXPECT_STREQ(ed().getRememberedPresetName(), "");
  EXPECT_STREQ(ed().getRememberedMidiName(), "");

  // A name of 257 characters is not remembered either (no file system here
  // takes it). 256 characters of folder fit.
  dialogs.answer(dir.folder() + std::string(257, 'n'));
  ed().savePreset();
  EXPECT_STREQ(ed().getRememberedPresetName(), "");
  std::string fits = "/" + std::string(254, 'f') + "/";
  dialogs.answer(fits + "z.vek");
  ed().savePreset();  // the folder does not exist: nothing written, but remembered
  EXPECT_EQ(std::string(ed().getRememberedDirectory()), fits);
}

TEST_F(FilesTest, CommandsNeverChangeTheWorkingDirectory) {
  char before[4096];
  ASSERT_NE(getcwd(before, sizeof(before)), nullptr);
  // Until stored paths are read, the dialogs start in the working directory.
  {
    PresetTestEffect bare;
    CPresetSystemEditor* fresh = new CPresetSystemEditor(&bare);
    std::string expected = std::string(before) + (std::string(before) == "/" ? "" : "/");
    EXPECT_EQ(std::string(fresh->getRememberedDirectory()), expected);
  }
  dialogs.answer(dir.file("p.vek"));
  ed().savePreset();
  dialogs.answer(dir.file("p.vek"));
  ed().loadPreset(1.0f);
  char after[4096];
  ASSERT_NE(getcwd(after, sizeof(after)), nullptr);
  EXPECT_STREQ(before, after);
  EXPECT_TRUE(exists(dir.file("p.vek")));
}
