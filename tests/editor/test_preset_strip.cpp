// The preset strip's name field and preset menu in the real plug-in: typing a
// name, choosing presets from the menu (simulated list offscreen, the real
// pop-up window on a private Xvfb), the rocker at its ends, renames from the
// host and bank loads reaching every menu entry.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "editor/resources/resource_ids.h"
#include "engine/ParameterIds.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/PresetFileFormat.h"
#include "presets/PresetRecord.h"
#include "tests/editor/EditorFixture.h"
#include "tests/presets_files/FilesTestSupport.h"
#include "toolkit/CBitmap.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/CTextEdit.h"

// Xlib's macros (None, Bool) would break the test framework's headers.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "tests/editor/EditorX11Fixture.h"

namespace {

// The factory preset names, in preset order (the preset sheet).
const char* const kFactoryNames[kNumPresets] = {
    "default",       "wiper",        "8th fast tape",    "didgee",  "dotted 8th slow tape",
    "light flanger", "wow tape",     "16th downsampled", "doubler", "running up",
    "deep flanger",  "lezlie",       "fourforty fast",   "vocoder", "fourforty slow",
    "driven crazy",  "16th slapback"};

VstKeyCode ch(char c) {
  return VstKeyCode{static_cast<unsigned char>(c), 0, 0};
}
VstKeyCode vk(unsigned char v) {
  return VstKeyCode{0, v, 0};
}

class PresetStrip : public EditorFixture {
 protected:
  CTextEdit* field() const { return editor->getPresetNameField(); }
  COptionMenu* menu() const { return editor->getPresetMenu(); }
  std::string programName() {
    char text[64];
    std::memset(text, 'x', sizeof(text));
    dispatch(effGetProgramName, 0, 0, text);
    return std::string(text);
  }
  void type(const char* text) {
    for (const char* p = text; *p; ++p) {
      VstKeyCode k = ch(*p);
      driver->keyDown(k);
    }
  }
  void key(unsigned char virt) {
    VstKeyCode k = vk(virt);
    driver->keyDown(k);
  }
  void choose(int32_t entry) {
    click(kTagPresetMenu);
    ASSERT_TRUE(menu()->isPopupOpen());
    ASSERT_TRUE(menu()->choosePopupEntry(entry));
  }
  void clickAt(CPoint where) {
    driver->advanceTime(1000);
    driver->click(where);
  }
  std::vector<std::string> titles() const {
    std::vector<std::string> out;
    for (int32_t i = 0; i < menu()->getNbEntries(); ++i) out.push_back(menu()->getEntry(i));
    return out;
  }
};

TEST_F(PresetStrip, NameFieldAndMenuAreBuiltWithTheirSettings) {
  ASSERT_NE(field(), nullptr);
  ASSERT_NE(menu(), nullptr);
  EXPECT_EQ(control(kTagPresetName), field());
  EXPECT_EQ(control(kTagPresetMenu), menu());
  const CColor ink(36, 36, 32, 255);

  EXPECT_EQ(field()->getViewSize(), CRect(208, 87, 320, 100));
  EXPECT_EQ(field()->getBackOffset().x, 208);
  EXPECT_EQ(field()->getBackOffset().y, 87);
  ASSERT_NE(field()->getBackground(), nullptr);
  EXPECT_EQ(field()->getBackground()->getResourceId(), 128);
  EXPECT_EQ(field()->getBackColor(), CColor(189, 207, 218, 255));
  EXPECT_EQ(field()->getFontColor(), ink);
  EXPECT_EQ(field()->getFrameColor(), ink);
  EXPECT_STREQ(field()->getFont()->getName(), "Arial");
  EXPECT_EQ(field()->getFont()->getSize(), 9);
  EXPECT_EQ(field()->getHoriAlign(), kCenterText);
  EXPECT_EQ(field()->getStyle(), 0);
  EXPECT_EQ(field()->getListener(), static_cast<CControlListener*>(editor));
  EXPECT_STREQ(field()->getText(), "default");

  EXPECT_EQ(menu()->getViewSize(), CRect(320, 87, 333, 99));
  EXPECT_EQ(menu()->getBackOffset().x, 320);
  EXPECT_EQ(menu()->getBackOffset().y, 87);
  ASSERT_NE(menu()->getBackground(), nullptr);
  EXPECT_EQ(menu()->getBackground()->getResourceId(), 128);
  EXPECT_EQ(menu()->getStyle(), 7680);
  EXPECT_TRUE(menu()->getStyle() & kNoTextStyle);  // closed, only the skin shows
  EXPECT_EQ(menu()->getNbItemsPerColumn(), 17);
  EXPECT_EQ(menu()->getListener(), static_cast<CControlListener*>(editor));
  EXPECT_EQ(titles(), std::vector<std::string>(kFactoryNames, kFactoryNames + kNumPresets));
  EXPECT_EQ(menu()->getCurrentIndex(), 0);
}

TEST_F(PresetStrip, TypedNameLongerThan24IsStoredCut) {
  click(kTagPresetName);
  ASSERT_TRUE(field()->isEditing());
  for (int i = 0; i < 7; ++i) key(VKEY_BACK);  // "default" gone
  type("abcdefghijklmnopqrstuvwxyz0123");      // 30 characters
  host.calls.clear();
  key(VKEY_RETURN);
  const std::string cut = "abcdefghijklmnopqrstuvwx";
  EXPECT_EQ(programName(), cut);
  char indexed[64] = {0};
  EXPECT_EQ(dispatch(effGetProgramNameIndexed, 0, 0, indexed), 1);
  EXPECT_EQ(std::string(indexed), cut);
  EXPECT_EQ(std::string(field()->getText()), cut);
  EXPECT_EQ(std::string(menu()->getEntry(0)), cut);
  EXPECT_STREQ(menu()->getEntry(1), "wiper");
  EXPECT_GE(host.count(audioMasterUpdateDisplay), 1);
}

// Names in any script: Ctrl+A replaces the whole name, and the 24-byte store
// gets whole UTF-8 characters only (a character that does not fit is refused).
TEST_F(PresetStrip, TypedUtf8NameIsStoredInWholeCharacters) {
  click(kTagPresetName);
  ASSERT_TRUE(field()->isEditing());
  VstKeyCode selectAll{'a', 0, MODIFIER_CONTROL};
  driver->keyDown(selectAll);
  for (int i = 0; i < 5; ++i) {
    VstKeyCode zhe{0x416, 0, 0};  // Ж, two bytes
    driver->keyDown(zhe);
  }
  type("abcdefghijklm");  // 23 bytes now
  VstKeyCode euro{0x20AC, 0, 0};
  driver->keyDown(euro);  // three bytes do not fit
  type("z");              // one does
  key(VKEY_RETURN);
  const std::string want = "\u0416\u0416\u0416\u0416\u0416abcdefghijklmz";
  ASSERT_EQ(want.size(), 24u);
  EXPECT_EQ(programName(), want);
  EXPECT_EQ(std::string(field()->getText()), want);
  EXPECT_EQ(std::string(menu()->getEntry(0)), want);
}

TEST_F(PresetStrip, EscapeKeepsTheStoredName) {
  click(kTagPresetName);
  type("zzz");
  host.calls.clear();
  key(VKEY_ESCAPE);
  EXPECT_FALSE(field()->isEditing());
  EXPECT_EQ(programName(), "default");
  EXPECT_STREQ(field()->getText(), "default");
  EXPECT_STREQ(menu()->getEntry(0), "default");
  EXPECT_EQ(host.count(audioMasterUpdateDisplay), 0);
}

TEST_F(PresetStrip, ClickingTheMenuCommitsAPendingName) {
  click(kTagPresetName);
  type("X");
  click(kTagPresetMenu);  // the field loses the focus first
  EXPECT_EQ(programName(), "defaultX");
  EXPECT_STREQ(menu()->getEntry(0), "defaultX");
  ASSERT_TRUE(menu()->isPopupOpen());
  ASSERT_TRUE(menu()->choosePopupEntry(0));
  EXPECT_EQ(programName(), "defaultX");
  EXPECT_STREQ(field()->getText(), "defaultX");
}

TEST_F(PresetStrip, MenuEntryFiveSelectsPresetFive) {
  hostSets(kFbck, 0.9f);  // edits preset 0 in place
  choose(5);
  EXPECT_EQ(programName(), "light flanger");
  EXPECT_STREQ(field()->getText(), "light flanger");
  EXPECT_EQ(menu()->getCurrentIndex(), 5);
  // Preset 5's row of the preset sheet is applied.
  EXPECT_NEAR(param(kInput), 0.5f, 1e-6);
  EXPECT_NEAR(param(kMix), 0.490091f, 1e-6);
  EXPECT_NEAR(param(kDlyTime), 0.000344f, 1e-6);
  EXPECT_NEAR(param(kDlyInv), 0.75f, 1e-6);
  EXPECT_NEAR(param(kFbck), 0.f, 1e-6);
  // Back to 0 with the keyboard: the edit is still there.
  click(kTagPresetMenu);
  key(VKEY_HOME);
  key(VKEY_RETURN);
  EXPECT_EQ(programName(), "default");
  EXPECT_NEAR(param(kFbck), 0.9f, 1e-6);
  // Down five times from 0 and Return.
  click(kTagPresetMenu);
  for (int i = 0; i < 5; ++i) key(VKEY_DOWN);
  key(VKEY_RETURN);
  EXPECT_EQ(programName(), "light flanger");
  EXPECT_FALSE(menu()->isPopupOpen());
}

TEST_F(PresetStrip, RockerStepsAndStaysAtTheEnds) {
  const CPoint middle = centre(kTagPresetRocker);  // the centre line counts as the right half
  const CPoint left(middle.x - 10, middle.y);
  choose(3);
  clickAt(middle);
  EXPECT_EQ(programName(), "dotted 8th slow tape");
  EXPECT_EQ(menu()->getCurrentIndex(), 4);
  EXPECT_STREQ(field()->getText(), "dotted 8th slow tape");
  clickAt(left);
  clickAt(left);
  EXPECT_EQ(programName(), "8th fast tape");
  EXPECT_EQ(menu()->getCurrentIndex(), 2);

  choose(16);
  field()->setText("scribble");  // shown only, not stored
  host.calls.clear();
  clickAt(middle);
  EXPECT_EQ(programName(), "16th slapback");
  EXPECT_EQ(menu()->getCurrentIndex(), 16);
  EXPECT_STREQ(field()->getText(), "16th slapback");
  EXPECT_GE(host.count(audioMasterUpdateDisplay), 1);  // applied again
  EXPECT_NEAR(param(kDlyTime), 0.019531f, 1e-6);

  choose(0);
  clickAt(left);
  EXPECT_EQ(programName(), "default");
  EXPECT_EQ(menu()->getCurrentIndex(), 0);
}

TEST_F(PresetStrip, HostRenameReachesFieldAndCurrentEntry) {
  choose(2);
  char name[] = "A host's own name for it!!";  // 26 characters
  dispatch(effSetProgramName, 0, 0, name);
  idle();  // the strip follows the store on the UI thread
  EXPECT_EQ(programName(), "A host's own name for it");
  EXPECT_STREQ(field()->getText(), "A host's own name for it");
  EXPECT_STREQ(menu()->getEntry(2), "A host's own name for it");
  EXPECT_STREQ(menu()->getEntry(1), "wiper");
  EXPECT_STREQ(menu()->getEntry(3), "didgee");
  // Choosing the renamed entry keeps the new name.
  choose(2);
  EXPECT_EQ(programName(), "A host's own name for it");
}

TEST_F(PresetStrip, ReopenedStripShowsTheStoredNames) {
  choose(4);
  click(kTagPresetName);
  for (int i = 0; i < 30; ++i) key(VKEY_BACK);
  type("mine");
  key(VKEY_RETURN);
  dispatch(effEditClose);
  EXPECT_EQ(editor->getPresetMenu(), nullptr);
  EXPECT_EQ(editor->getPresetNameField(), nullptr);
  char name[] = "while closed";
  dispatch(effSetProgramName, 0, 0, name);  // no strip: nothing to show
  delete driver;
  driver = nullptr;
  ASSERT_EQ(dispatch(effEditOpen), 1);
  driver = new toolkit::OffscreenFrame(editor->getFrame());
  EXPECT_STREQ(field()->getText(), "while closed");
  EXPECT_EQ(menu()->getCurrentIndex(), 4);
  EXPECT_STREQ(menu()->getEntry(4), "while closed");
  EXPECT_STREQ(menu()->getEntry(5), "light flanger");
}

// A bank record as the file format lays it out: identifier 'KVRA' and type
// 0x37, then 17 records of a 24-byte name and 18 floats, little-endian.
std::vector<unsigned char> makeBank(const std::vector<std::string>& names) {
  std::vector<unsigned char> bank;
  for (unsigned char b : {0x41, 0x52, 0x56, 0x4B, 0x37}) bank.push_back(b);
  for (int p = 0; p < kNumPresets; ++p) {
    unsigned char name[kPresetNameLength] = {0};
    std::memcpy(name, names[static_cast<size_t>(p)].data(),
                std::min<size_t>(kPresetNameLength, names[static_cast<size_t>(p)].size()));
    bank.insert(bank.end(), name, name + kPresetNameLength);
    for (int i = 0; i < kNumParams; ++i) {
      const float v = (i == kFbck) ? 0.01f * static_cast<float>(p) : 0.25f;
      uint32_t bits;
      std::memcpy(&bits, &v, 4);
      for (int b = 0; b < 4; ++b) bank.push_back(static_cast<unsigned char>(bits >> (8 * b)));
    }
  }
  return bank;
}

TEST_F(PresetStrip, BankLoadRetitlesEveryEntry) {
  std::vector<std::string> names;
  for (int p = 0; p < kNumPresets; ++p) names.push_back("bank preset " + std::to_string(p));
  names[7] = "exactly twenty-four char";  // 24 characters, no terminator in the record
  const std::vector<unsigned char> bank = makeBank(names);
  ASSERT_EQ(bank.size(), 1637u);
  choose(9);
  editor->applyBankData(bank.data(), false);
  EXPECT_EQ(titles(), names);
  EXPECT_EQ(menu()->getCurrentIndex(), 0);
  EXPECT_STREQ(field()->getText(), "bank preset 0");
  EXPECT_EQ(programName(), "bank preset 0");
  // The menu now leads to the loaded presets.
  choose(12);
  EXPECT_EQ(programName(), "bank preset 12");
  EXPECT_NEAR(param(kFbck), 0.12f, 1e-6);
}

// ------------------------------------------- state changed under the strip

// The whole state as a host stores it, with preset p renamed "restored p"
// and preset `current` current.
std::vector<unsigned char> restoredChunk(AEffect* e, int32_t current) {
  void* data = nullptr;
  const VstIntPtr size = e->dispatcher(e, effGetChunk, 0, 0, &data, 0.f);
  std::vector<unsigned char> chunk(static_cast<const unsigned char*>(data),
                                   static_cast<const unsigned char*>(data) + size);
  for (int p = 0; p < kNumPresets; ++p) {
    char name[kPresetNameLength] = {0};
    std::snprintf(name, sizeof(name), "restored %d", p);
    std::memcpy(chunk.data() + 32 + 96 * p, name, kPresetNameLength);
  }
  std::memcpy(chunk.data() + 12, &current, 4);  // little-endian machine
  return chunk;
}

class StateUnderStrip : public PresetStrip {
 protected:
  std::vector<std::string> storedNames() {
    std::vector<std::string> out;
    for (int p = 0; p < kNumPresets; ++p) {
      char text[64] = {0};
      dispatch(effGetProgramNameIndexed, p, 0, text);
      out.push_back(text);
    }
    return out;
  }
  void restore(int32_t current) {
    std::vector<unsigned char> chunk = restoredChunk(aeffect, current);
    ASSERT_EQ(chunk.size(), static_cast<size_t>(kChunkSize));
    ASSERT_EQ(dispatch(effSetChunk, 0, static_cast<VstIntPtr>(chunk.size()), chunk.data()), 0);
  }
  // Into the name field and out again without typing: a click on the empty
  // strip between the memories and the MIDI buttons.
  void focusInAndOut() {
    click(kTagPresetName);
    ASSERT_TRUE(field()->isEditing());
    clickAt(CPoint(560, 93));
    ASSERT_FALSE(field()->isEditing());
  }
  std::vector<std::string> restoredNames() {
    std::vector<std::string> out;
    for (int p = 0; p < kNumPresets; ++p) out.push_back("restored " + std::to_string(p));
    return out;
  }
};

// A host restores a chunk (browser, undo, A/B compare) and renames the
// program with the window open: at the next idle the strip shows exactly the
// store, and the usual gestures then keep every stored name.
TEST_F(StateUnderStrip, RestoredChunkAndHostRenameShowAtIdleAndSurviveGestures) {
  choose(2);
  restore(3);
  idle();
  EXPECT_STREQ(field()->getText(), "restored 3");
  EXPECT_EQ(titles(), restoredNames());
  EXPECT_EQ(menu()->getCurrentIndex(), 3);
  focusInAndOut();
  choose(5);
  EXPECT_EQ(storedNames(), restoredNames());
  EXPECT_STREQ(field()->getText(), "restored 5");

  char name[] = "the host's name";
  dispatch(effSetProgramName, 0, 0, name);
  idle();
  EXPECT_STREQ(field()->getText(), "the host's name");
  EXPECT_STREQ(menu()->getEntry(5), "the host's name");
  focusInAndOut();
  choose(5);
  std::vector<std::string> expected = restoredNames();
  expected[5] = "the host's name";
  EXPECT_EQ(storedNames(), expected);
  EXPECT_EQ(titles(), expected);
}

// Even before the strip has caught up (no idle between the restore and the
// clicks), no gesture writes a title the store does not hold.
TEST_F(StateUnderStrip, GesturesOnAStaleStripWriteNoStaleName) {
  restore(3);
  focusInAndOut();  // the field still showed "default"
  EXPECT_EQ(programName(), "restored 3");
  choose(0);  // the entry still read "default"
  EXPECT_EQ(programName(), "restored 0");
  EXPECT_EQ(storedNames(), restoredNames());
  EXPECT_EQ(titles(), restoredNames());
  EXPECT_STREQ(field()->getText(), "restored 0");
}

// A typed name is the user's: a store change meanwhile does not wipe it, and
// the field follows the store once the typing is thrown away.
TEST_F(StateUnderStrip, TypingIsKeptAcrossAStoreChangeAndEscapeShowsTheStore) {
  click(kTagPresetName);
  type("X");
  restore(4);
  idle();
  EXPECT_EQ(field()->getEditText(), "defaultX");
  key(VKEY_ESCAPE);
  idle();
  EXPECT_STREQ(field()->getText(), "restored 4");
  EXPECT_EQ(storedNames(), restoredNames());
}

// ------------------------------------ hosts follow the plug-in's own changes

// Hosts that keep their own copy of every parameter refresh it only from
// audioMasterAutomate. After a preset choice, a memory recall or a file load
// each parameter whose value changed is reported once with its new value,
// no other, and the display update follows.
class HostFollows : public PresetStrip {
 protected:
  std::vector<float> values() {
    std::vector<float> v;
    for (int i = 0; i < kNumHostParams; ++i) v.push_back(param(i));
    return v;
  }
  // Runs a gesture and checks what the host heard of it.
  template <typename Gesture>
  void expectReported(const char* what, Gesture gesture) {
    const std::vector<float> before = values();
    host.calls.clear();
    gesture();
    const std::vector<float> after = values();
    int changed = 0;
    for (int i = 0; i < kNumHostParams; ++i) {
      const std::vector<float> told = automated(i);
      if (std::memcmp(&after[static_cast<size_t>(i)], &before[static_cast<size_t>(i)], 4) != 0) {
        ++changed;
        ASSERT_EQ(told.size(), 1u) << what << ": parameter " << i;
        EXPECT_EQ(told[0], after[static_cast<size_t>(i)]) << what << ": parameter " << i;
      } else {
        EXPECT_TRUE(told.empty()) << what << ": unchanged parameter " << i << " reported";
      }
    }
    EXPECT_GT(changed, 0) << what << " changed nothing";
    EXPECT_GE(host.count(audioMasterUpdateDisplay), 1) << what;
  }
  TempDir dir;
  ScriptedDialogs dialogs;
};

TEST_F(HostFollows, PresetChoiceMemoryRecallAndFileLoadsAreReported) {
  expectReported("menu entry 5", [&] { choose(5); });
  const CPoint rocker = centre(kTagPresetRocker);
  expectReported("rocker up", [&] { clickAt(rocker); });
  click(kTagStoreMemoA);  // memory A holds preset 6
  choose(0);
  expectReported("memory A", [&] { click(kTagRecallMemoA); });

  RecordBuilder preset(kPresetFileSize, 0x21, false);
  preset.name(5, "from a file");
  for (int i = 0; i < kNumParams; ++i) preset.value(29 + 4 * i, param(i));
  preset.value(29 + 4 * kFbck, 0.625f);
  preset.value(29 + 4 * kMix, 0.125f);
  writeBytes(dir.file("one.vek"), preset.bytes);
  dialogs.answer(dir.file("one.vek"));
  expectReported("preset file", [&] { click(kTagLoadPreset); });
  EXPECT_NEAR(param(kFbck), 0.625f, 1e-7);

  RecordBuilder bank(kBankFileSize, 0x37, false);
  for (int p = 0; p < kNumPresets; ++p)
    for (int i = 0; i < kNumParams; ++i) bank.value(29 + 96 * p + 4 * i, param(i));
  bank.value(29 + 4 * kDepth, 0.375f);  // preset 0 of the bank
  writeBytes(dir.file("all.vkb"), bank.bytes);
  dialogs.answer(dir.file("all.vkb"));
  expectReported("bank file", [&] { click(kTagLoadBank); });

  RecordBuilder midi(kMidiFileSize, 0x0B, false);
  for (int i = 0; i < kNumAssignmentParams; ++i) midi.value(5 + 4 * i, param(kNumParams + i));
  midi.value(5, 7.5f / 129.f);  // controller 7 drives Input
  writeBytes(dir.file("cc.vkm"), midi.bytes);
  dialogs.answer(dir.file("cc.vkm"));
  expectReported("MIDI settings file", [&] { click(kTagLoadMidi); });
  EXPECT_EQ(automated(kNumParams).size(), 1u);
}

// Without kdialog or zenity the file arrows say so in the name field
// instead of ending unseen; the store keeps its names.
class NoDialogProgram : public PresetStrip {
 protected:
  void SetUp() override {
    PresetStrip::SetUp();
    const char* path = std::getenv("PATH");
    savedPath = path ? path : "";
    setenv("PATH", noPrograms.path.c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", savedPath.c_str(), 1);
    PresetStrip::TearDown();
  }
  TempDir noPrograms;
  std::string savedPath;
};

TEST_F(NoDialogProgram, FileArrowsSaySoInTheNameField) {
  const std::string stored = programName();
  for (int32_t arrow : {kTagLoadBank, kTagSavePreset, kTagSaveMidi}) {
    SCOPED_TRACE(arrow);
    click(arrow);
    idle();
    EXPECT_STREQ(field()->getText(), "needs zenity or kdialog");
    EXPECT_EQ(programName(), stored);
  }
}

// ---------------------------------------------------------------- X11

class PresetStripX11 : public EditorX11Fixture {
 protected:
  template <typename F>
  bool idleUntil(F done) {
    for (int i = 0; i < 300; ++i) {
      dispatch(effEditIdle);
      XSync(display, False);
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  std::string programName() {
    char text[64] = {0};
    dispatch(effGetProgramName, 0, text);
    return text;
  }
  // Override-redirect top-level windows: only a pop-up list here.
  std::vector<Window> lists() {
    XSync(display, False);
    std::vector<Window> out;
    Window root, par, *kids = nullptr;
    unsigned int n = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &par, &kids, &n);
    for (unsigned int i = 0; i < n; ++i) {
      XWindowAttributes a;
      if (XGetWindowAttributes(display, kids[i], &a) && a.override_redirect &&
          a.map_state == IsViewable)
        out.push_back(kids[i]);
    }
    if (kids) XFree(kids);
    return out;
  }
  bool isTopLevel(Window w) {
    XSync(display, False);
    Window root, par, *kids = nullptr;
    unsigned int n = 0;
    bool found = false;
    XQueryTree(display, DefaultRootWindow(display), &root, &par, &kids, &n);
    for (unsigned int i = 0; i < n; ++i) found = found || kids[i] == w;
    if (kids) XFree(kids);
    return found;
  }
  void press(KeySym sym) {
    const KeyCode code = XKeysymToKeycode(display, sym);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XSync(display, False);
  }
  // A real click on the preset menu; the list's window.
  Window openMenu(XWindowAttributes* geometry) {
    const CPoint at = editor->getPresetMenu()->getViewSize().getCenter();
    clickAtRoot(kX + static_cast<int>(at.x), kY + static_cast<int>(at.y));
    Window list = 0;
    idleUntil([&] {
      const std::vector<Window> w = lists();
      if (w.size() == 1) list = w[0];
      return list != 0;
    });
    if (list) XGetWindowAttributes(display, list, geometry);
    return list;
  }
};

TEST_F(PresetStripX11, MenuOpensOnARealClickAndTheKeyboardChooses) {
  XWindowAttributes g;
  const Window list = openMenu(&g);
  ASSERT_NE(list, 0u);
  // Its own window below the menu, far taller than the 101-pixel editor.
  EXPECT_EQ(g.y, kY + 99);
  EXPECT_GT(g.height, 101);
  idleFor(200);
  EXPECT_EQ(programName(), "default");  // the opening click chose nothing
  for (int i = 0; i < 5; ++i) press(XK_Down);
  press(XK_Return);
  ASSERT_TRUE(idleUntil([&] { return programName() == "light flanger"; }));
  EXPECT_STREQ(editor->getPresetNameField()->getText(), "light flanger");
  EXPECT_EQ(editor->getPresetMenu()->getCurrentIndex(), 5);
  EXPECT_FALSE(isTopLevel(list));
}

TEST_F(PresetStripX11, ClickOnAnEntryChoosesItOutsideClickCloses) {
  XWindowAttributes g;
  Window list = openMenu(&g);
  ASSERT_NE(list, 0u);
  const int row = (g.height - 2) / kNumPresets;
  clickAtRoot(g.x + g.width / 2, g.y + 1 + 7 * row + row / 2);
  ASSERT_TRUE(idleUntil([&] { return programName() == "16th downsampled"; }));
  EXPECT_FALSE(isTopLevel(list));
  list = openMenu(&g);
  ASSERT_NE(list, 0u);
  clickAtRoot(kX + 600, kY + 400);  // below the editor, away from the list
  ASSERT_TRUE(idleUntil([&] { return !editor->getPresetMenu()->isPopupOpen(); }));
  EXPECT_FALSE(isTopLevel(list));
  EXPECT_EQ(programName(), "16th downsampled");
}

TEST_F(PresetStripX11, ClosingTheEditorWithTheListOpenRemovesIt) {
  XWindowAttributes g;
  const Window list = openMenu(&g);
  ASSERT_NE(list, 0u);
  dispatch(effEditClose);
  EXPECT_FALSE(isTopLevel(list));
}

}  // namespace
