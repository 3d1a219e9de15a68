// Files and settings through the real plug-in, created as a host creates it.
#include <gtest/gtest.h>

#include <memory>

#include "editor/CPresetSystemEditor.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/FactoryPresets.h"
#include "presets/PresetFileFormat.h"
#include "tests/presets_files/FilesTestSupport.h"
#include "tests/presets_files/PluginInstance.h"
#include "tests/support/FakeHost.h"
#include "tests/support/TempConfigHome.h"

namespace {

class PluginFilesTest : public ::testing::Test {
 protected:
  TempConfigHome config;
  FakeHost host;
  ScriptedDialogs dialogs;
  TempDir dir;
};

}  // namespace

TEST_F(PluginFilesTest, FirstInstanceStartsFromFactoryWithEmptyPaths) {
  Plugin p;
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(p.fx->getCurrentPreset(), 0);
  EXPECT_EQ(p.name(0), "default");
  EXPECT_EQ(p.name(16), "16th slapback");
  for (int i = 0; i < kNumParams; ++i) {
    EXPECT_EQ(p.fx->getParameterController(i), 999);
    EXPECT_EQ(p.fx->getParameter(18 + i), 1.0f);
  }
  EXPECT_STREQ(p.editor->getRememberedDirectory(), "");
  EXPECT_STREQ(p.editor->getRememberedPresetName(), "");
}

TEST_F(PluginFilesTest, DefaultPresetAndMidiSettingsReachTheNextInstance) {
  {
    Plugin p;
    ASSERT_TRUE(p.ok());
    p.fx->selectPreset(5);
    p.editor->storeOrDeleteDefaultPreset(1.0f);
    p.fx->setParameter(18 + kInput, (7 + 0.5f) / 129.0f);
    p.editor->storeOrDeleteDefaultMidi(1.0f);
  }
  Plugin p;
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(p.fx->getCurrentPreset(), 0);
  EXPECT_EQ(p.name(0), kFactoryPresets[5].name);
  for (int i = 0; i < kNumParams; ++i)
    EXPECT_EQ(p.fx->presetStore()[0].values[i], kFactoryPresets[5].values[i]) << i;
  // Applied to the engine: a switch of preset 5 reads back as stored.
  EXPECT_EQ(p.fx->getParameter(kFbInv), kFactoryPresets[5].values[kFbInv]);
  EXPECT_EQ(p.fx->getParameterController(kInput), 7);
  EXPECT_EQ(p.fx->getControllerParameter(7), kInput);
}

TEST_F(PluginFilesTest, PresetSavedFromOneSlotLoadsIntoAnother) {
  Plugin p;
  ASSERT_TRUE(p.ok());
  p.fx->selectPreset(4);
  dialogs.answer(dir.file("four.vek"));
  p.editor->savePreset();
  Bytes file = readBytes(dir.file("four.vek"));
  ASSERT_EQ(file.size(), 101u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 5), (Bytes{0x41, 0x52, 0x56, 0x4B, 0x21}));

  p.fx->selectPreset(11);
  dialogs.answer(dir.file("four.vek"));
  p.editor->loadPreset(1.0f);
  EXPECT_EQ(p.fx->getCurrentPreset(), 11);
  EXPECT_EQ(p.name(11), kFactoryPresets[4].name);
  for (int i = 0; i < kNumParams; ++i)
    EXPECT_EQ(p.fx->presetStore()[11].values[i], kFactoryPresets[4].values[i]) << i;
  EXPECT_EQ(p.name(4), kFactoryPresets[4].name);
  EXPECT_EQ(p.name(10), kFactoryPresets[10].name);
  EXPECT_EQ(p.name(12), kFactoryPresets[12].name);

  // The MIDI file of the examples: controller 7 to Input.
  RecordBuilder m(kMidiFileSize, 0x0B, false);
  m.value(5, (7 + 0.5f) / 129.0f);
  for (int i = 1; i < kNumParams; ++i) m.value(5 + 4 * i, 999.5f / 129.0f);
  writeBytes(dir.file("volume.vkm"), m.bytes);
  dialogs.answer(dir.file("volume.vkm"));
  p.editor->loadMidiSettings(1.0f);
  EXPECT_EQ(p.fx->getParameterController(kInput), 7);
}

TEST_F(PluginFilesTest, ClosingTheInstanceStoresTheRememberedPaths) {
  writeBytes(dir.file("b.vkb"), Bytes(kBankFileSize, 0));
  {
    Plugin p;
    ASSERT_TRUE(p.ok());
    dialogs.answer(dir.file("b.vkb"));
    p.editor->loadBank(1.0f);
  }
  Plugin p;
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(std::string(p.editor->getRememberedDirectory()), dir.folder());
  EXPECT_STREQ(p.editor->getRememberedBankName(), "b.vkb");
}
