// The preset strip: building it, its clicks and the updates the preset system
// asks for. The file commands, the settings and the record conversions are
// the preset system's (PresetFiles, PresetRecords).
#include "editor/CPresetSystemEditor.h"

#include <cstring>
#include <string>

#include "editor/controls/CPSKickButton.h"
#include "editor/controls/CPSOnOffButton.h"
#include "editor/controls/CPSRockerSwitch.h"
#include "editor/controls/CSaveLoadButton.h"
#include "editor/resources/resource_ids.h"
#include "editor/resources/resources.h"
#include "platform/FileDialog.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/ControllerNames.h"
#include "presets/PresetRecords.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CFrame.h"
#include "toolkit/CNewFileSelector.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/CParamDisplay.h"
#include "toolkit/CTextEdit.h"

namespace {

enum StripTag {
  kTagPresetName = 33,
  kTagPresetRocker = 34,
  kTagLoadBank = 35,
  kTagSaveBank = 36,
  kTagLoadPreset = 37,
  kTagSavePreset = 38,
  kTagControllerDisplay = 39,
  kTagLearn = 40,
  kTagLoadMidi = 41,
  kTagSaveMidi = 42,
  kTagDefaultMidi = 43,
  kTagForget = 44,
  kTagPresetMenu = 45,
  kTagDefaultBank = 46,
  kTagDefaultPreset = 47,
  kTagStoreMemoA = 48,
  kTagStoreMemoB = 49,
  kTagRecallMemoA = 50,
  kTagRecallMemoB = 51,
};

enum ButtonKind { kSaveLoad, kKick, kDoubleClickKick };

struct StripButton {
  int32_t tag;
  ButtonKind kind;
  int32_t bitmap;
  CCoord left, top, right, bottom;
};

// Creation order after the rocker; the controller display and the learn
// button come between the memories and the MIDI group.
constexpr StripButton kFirstButtons[] = {
    {kTagLoadBank, kSaveLoad, kBmpLoad, 85, 86, 102, 101},
    {kTagSaveBank, kSaveLoad, kBmpSave, 34, 86, 51, 101},
    {kTagDefaultBank, kDoubleClickKick, kBmpDefaultBank, 51, 86, 83, 99},
    {kTagLoadPreset, kSaveLoad, kBmpLoad, 177, 86, 194, 101},
    {kTagSavePreset, kSaveLoad, kBmpSave, 114, 86, 131, 101},
    {kTagDefaultPreset, kDoubleClickKick, kBmpDefaultPreset, 132, 86, 176, 99},
    {kTagRecallMemoA, kKick, kBmpLoad, 421, 86, 438, 101},
    {kTagStoreMemoA, kKick, kBmpSave, 388, 86, 405, 101},
    {kTagRecallMemoB, kKick, kBmpLoad, 486, 86, 503, 101},
    {kTagStoreMemoB, kKick, kBmpSave, 452, 86, 469, 101},
};
constexpr StripButton kMidiButtons[] = {
    {kTagLoadMidi, kSaveLoad, kBmpLoad, 658, 86, 675, 101},
    {kTagSaveMidi, kSaveLoad, kBmpSave, 610, 86, 627, 101},
    {kTagDefaultMidi, kDoubleClickKick, kBmpDefaultMidi, 628, 86, 656, 99},
};

constexpr CColor kStripTextColor(36, 36, 32, 255);
constexpr CColor kNameBackColor(189, 207, 218, 255);
// Closed, the menu shows only the skin under it (which carries its symbol):
// no text, no frame.
constexpr int32_t kPresetMenuStyle = 7680;

// A stored name as a terminated text (names of 24 characters have no zero).
void presetName(const PresetRecord* store, VstInt32 index, char name[kPresetNameLength + 1]) {
  std::memset(name, 0, kPresetNameLength + 1);
  if (store) std::memcpy(name, store[index].name, kPresetNameLength);
}

// At most 24 characters of `text`, terminated.
void cutName(const char* text, char name[kPresetNameLength + 1]) {
  std::memset(name, 0, kPresetNameLength + 1);
  if (text) std::memcpy(name, text, strnlen(text, kPresetNameLength));
}

bool controllerNameText(float value, char text[256], void* /*userData*/) {
  const char* name = controllerNames[quantizeSteps(value, kNumControllerNames)];
  std::strncpy(text, name ? name : "", 255);
  text[255] = 0;
  return true;
}

CControl* makeStripButton(const StripButton& b, CControlListener* listener) {
  CBitmap* bitmap = new CBitmap(b.bitmap);
  const CRect size(b.left, b.top, b.right, b.bottom);
  const CCoord imageHeight = static_cast<int32_t>(bitmap->getHeight()) / 3;
  CControl* control = nullptr;
  if (b.kind == kSaveLoad)
    control = new CSaveLoadButton(size, listener, b.tag, imageHeight, bitmap, CPoint(0, 0));
  else
    control = new CPSKickButton(size, listener, b.tag, imageHeight, bitmap, CPoint(0, 0),
                                b.kind == kDoubleClickKick);
  bitmap->forget();
  return control;
}

}  // namespace

bool CPresetSystemEditor::open(void* /*ptr*/) {
  CPresetSystemEffect* fx = presetEffect();
  if (!frame || !fx) return false;
  const PresetRecord* store = fx->presetStore();
  const VstInt32 current = fx->getCurrentPreset();
  char name[kPresetNameLength + 1];
  CBitmap* background = new CBitmap(kBmpBackground);
  {
    // The strip's height, re-centred on the font.
    const CCoord fontSize = kNormalFontVerySmall->getSize();
    const CCoord middle = (86.0 + 101.0) / 2;
    const CRect size(208, middle - fontSize / 2 - 2, 320, middle + fontSize / 2 + 2);
    presetName(store, current, name);
    presetNameField = new CTextEdit(size, this, kTagPresetName, name, background, 0);
    presetNameField->setBackOffset(size.getTopLeft());
    presetNameField->setBackColor(kNameBackColor);
    presetNameField->setFont(kNormalFontVerySmall);
    presetNameField->setFontColor(kStripTextColor);
    presetNameField->setFrameColor(kStripTextColor);
    presetNameField->setHoriAlign(kCenterText);
    frame->addView(presetNameField);
  }
  {
    presetMenu = new COptionMenu(CRect(320, 87, 333, 99), this, kTagPresetMenu, background, nullptr,
                                 kPresetMenuStyle);
    presetMenu->setBackOffset(CPoint(320, 87));
    presetMenu->setNbItemsPerColumn(kNumPresets);  // one column
    for (VstInt32 i = 0; i < kNumPresets; ++i) {
      presetName(store, i, name);
      presetMenu->addEntry(name);
    }
    presetMenu->setCurrent(current);
    frame->addView(presetMenu);
  }
  int n = 0;
  {
    CBitmap* bitmap = new CBitmap(kBmpPresetRocker);
    presetRocker =
        new CPSRockerSwitch(CRect(340, 86, 370, 99), this, kTagPresetRocker,
                            static_cast<int32_t>(bitmap->getHeight()) / 5, bitmap, CPoint(0, 0));
    bitmap->forget();
    frame->addView(presetRocker);
  }
  for (const StripButton& b : kFirstButtons) {
    stripButtons[n] = makeStripButton(b, this);
    frame->addView(stripButtons[n++]);
  }
  {
    controllerDisplay = new CParamDisplay(CRect(690, 87, 780, 99), background, 0);
    controllerDisplay->setBackOffset(CPoint(690, 87));
    controllerDisplay->setFont(kNormalFontVerySmall);
    controllerDisplay->setFontColor(kStripTextColor);
    controllerDisplay->setFrameColor(kStripTextColor);
    controllerDisplay->setHoriAlign(kCenterText);
    controllerDisplay->setValueToStringProc(controllerNameText);
    controllerDisplay->setListener(this);
    controllerDisplay->setTag(kTagControllerDisplay);
    controllerDisplay->setValue(stepCenter(kControllerNoControl, kNumControllerNames));
    frame->addView(controllerDisplay);
  }
  background->forget();
  {
    CBitmap* bitmap = new CBitmap(kBmpLearn);
    learnButton = new CPSOnOffButton(CRect(788, 85, 812, 101), this, kTagLearn, bitmap);
    bitmap->forget();
    learnButton->setValue(0.f);
    frame->addView(learnButton);
  }
  for (const StripButton& b : kMidiButtons) {
    stripButtons[n] = makeStripButton(b, this);
    frame->addView(stripButtons[n++]);
  }
  {
    CBitmap* bitmap = new CBitmap(kBmpForget);
    forgetButton = new CPSOnOffButton(CRect(813, 85, 837, 101), this, kTagForget, bitmap);
    bitmap->forget();
    forgetButton->setValue(0.f);
    frame->addView(forgetButton);
  }
  // The editor always opens with learn and forget off.
  fx->stopLearn();
  fx->stopForget();
  showStoredState();
  return true;
}

void CPresetSystemEditor::close() {
  presetNameField = nullptr;
  presetMenu = nullptr;
  controllerDisplay = nullptr;
  learnButton = nullptr;
  forgetButton = nullptr;
  presetRocker = nullptr;
  for (CControl*& b : stripButtons) b = nullptr;
  nameFieldBehind = false;
}

void CPresetSystemEditor::idle() {
  // Before the frame's events: a click in this idle meets the stored state.
  CPresetSystemEffect* fx = presetEffect();
  const bool noticeOver = noticeUntil != std::chrono::steady_clock::time_point{} &&
                          std::chrono::steady_clock::now() >= noticeUntil;
  if (noticeOver) noticeUntil = {};
  if (fx && (presetNameField || presetMenu) &&
      (fx->getStateGeneration() != shownGeneration || nameFieldBehind || noticeOver))
    showStoredState();
  AEffGUIEditor::idle();
}

void CPresetSystemEditor::showStoredState() {
  CPresetSystemEffect* fx = presetEffect();
  if (!fx || !fx->presetStore()) return;
  // Read before the store: a change made meanwhile shows at the next idle.
  shownGeneration = fx->getStateGeneration();
  const PresetRecord* store = fx->presetStore();
  const VstInt32 current = fx->getCurrentPreset();
  char name[kPresetNameLength + 1];
  if (presetMenu) {
    for (VstInt32 p = 0; p < kNumPresets; ++p) {
      presetName(store, p, name);
      const char* title = presetMenu->getEntry(p);
      if (!title || std::strcmp(title, name) != 0) presetMenu->setEntry(p, name);
    }
    if (presetMenu->getCurrentIndex() != current) presetMenu->setCurrent(current);
  }
  nameFieldBehind = false;
  if (presetNameField) {
    // Text the user has typed is theirs until committed or thrown away.
    if (presetNameField->isEditing() &&
        presetNameField->getEditText() != presetNameField->getText()) {
      nameFieldBehind = true;
      return;
    }
    presetName(store, current, name);
    if (std::strcmp(presetNameField->getText(), name) != 0 || std::strcmp(shownName, name) != 0)
      showInNameField(name);
  }
}

void CPresetSystemEditor::showNotice(const char* text) {
  showInNameField(text);
  noticeUntil = std::chrono::steady_clock::now() + std::chrono::seconds(4);
}

void CPresetSystemEditor::showInNameField(const char* name) {
  cutName(name, shownName);
  if (presetNameField) presetNameField->setText(shownName);
}

void CPresetSystemEditor::valueChanged(CControl* control) {
  CPresetSystemEffect* fx = presetEffect();
  if (!control || !fx) return;
  const float value = control->getValue();
  char name[kPresetNameLength + 1];
  switch (control->getTag()) {
    case kTagPresetName: {
      auto* field = dynamic_cast<CTextEdit*>(control);
      if (!field) return;
      cutName(field->getText(), name);
      // Focus in and out without typing renames nothing: the field may show
      // a name the store no longer has.
      if (std::strcmp(name, shownName) == 0) {
        showStoredState();
        return;
      }
      showPresetName(name);
      fx->renameCurrentPreset(name);
      return;
    }
    case kTagPresetMenu: {
      auto* menu = dynamic_cast<COptionMenu*>(control);
      if (!menu || !(value >= 0.f) || !fx->presetStore()) return;
      const auto i = static_cast<VstInt32>(value + 0.5f);
      if (i >= kNumPresets || !menu->getEntry(i)) return;
      // The stored name, never the entry's title: a title may be older than
      // the store.
      presetName(fx->presetStore(), i, name);
      menu->setCurrent(i);
      const HostValues before = readHostValues();
      fx->selectPreset(i);
      fx->renameCurrentPreset(name);
      reportChangedValues(before);
      showStoredState();
      return;
    }
    case kTagPresetRocker: {
      VstInt32 i = fx->getCurrentPreset();
      if (value > 0.f)
        i = i < kNumPresets - 1 ? i + 1 : kNumPresets - 1;
      else if (value < 0.f)
        i = i > 0 ? i - 1 : 0;
      else
        return;
      presetName(fx->presetStore(), i, name);
      if (presetMenu) presetMenu->setCurrent(i);
      const HostValues before = readHostValues();
      fx->selectPreset(i);
      fx->renameCurrentPreset(name);
      reportChangedValues(before);
      showStoredState();
      return;
    }
    case kTagLoadBank:
      loadBank(value);
      return;
    case kTagSaveBank:
      saveBank();
      return;
    case kTagLoadPreset:
      loadPreset(value);
      return;
    case kTagSavePreset:
      savePreset();
      return;
    case kTagLoadMidi:
      loadMidiSettings(value);
      return;
    case kTagSaveMidi:
      saveMidiSettings();
      return;
    case kTagDefaultBank:
      storeOrDeleteDefaultBank(value);
      return;
    case kTagDefaultPreset:
      storeOrDeleteDefaultPreset(value);
      return;
    case kTagDefaultMidi:
      storeOrDeleteDefaultMidi(value);
      return;
    case kTagStoreMemoA:
      storeMemoA();
      return;
    case kTagStoreMemoB:
      storeMemoB();
      return;
    case kTagRecallMemoA:
      recallMemoA();
      return;
    case kTagRecallMemoB:
      recallMemoB();
      return;
    case kTagLearn:
      fx->stopForget();
      if (value != 0.f)
        fx->startLearn();
      else
        fx->stopLearn();
      return;
    case kTagForget:
      fx->stopLearn();
      if (value != 0.f)
        fx->startForget();
      else
        fx->stopForget();
      return;
    default:
      return;
  }
}

void CPresetSystemEditor::learnButtonOff() {
  if (learnButton) learnButton->setValue(0.f);
}

void CPresetSystemEditor::forgetButtonOff() {
  if (forgetButton) forgetButton->setValue(0.f);
}

void CPresetSystemEditor::showPresetName(const char* name) {
  // UI thread only; the preset system's own changes reach the strip at idle.
  showInNameField(name);
  CPresetSystemEffect* fx = presetEffect();
  if (presetMenu && fx) presetMenu->setEntry(fx->getCurrentPreset(), shownName);
}

CPresetSystemEditor::CPresetSystemEditor(AudioEffect* effect)
    : AEffGUIEditor(effect), files(effect, this) {
  // Before any bitmap of the skin is made, here or by a derived editor.
  skin::registerSkin();
  if (CPresetSystemEffect* fx = presetEffect()) fx->setPresetEditor(this);
}

CPresetSystemEditor::~CPresetSystemEditor() {
  files.storeRememberedPaths();
  // Null once the effect is being destroyed (it deletes its editor last).
  if (CPresetSystemEffect* fx = presetEffect()) fx->clearPresetEditor(this);
}

void CPresetSystemEditor::loadStoredDefaults() {
  files.loadStoredDefaults();
}

void CPresetSystemEditor::applyBankData(const unsigned char* data, bool reversed) {
  presetrecords::applyBank(effect, *this, data, reversed);
}

void CPresetSystemEditor::fillBankData(unsigned char* data) {
  presetrecords::fillBank(effect, data);
}

void CPresetSystemEditor::applyPresetData(const unsigned char* data, bool reversed) {
  presetrecords::applyPreset(effect, *this, data, reversed);
}

void CPresetSystemEditor::fillPresetData(unsigned char* data) {
  presetrecords::fillPreset(effect, data);
}

void CPresetSystemEditor::applyMidiData(const unsigned char* data, bool reversed) {
  presetrecords::applyMidi(effect, data, reversed);
}

void CPresetSystemEditor::fillMidiData(unsigned char* data) {
  presetrecords::fillMidi(effect, data);
}

bool CPresetSystemEditor::chooseFile(const FileChoice& choice, std::string* path) {
  if (!path) return false;
  try {
    // Without a dialog program every dialog would end at once, unseen.
    if (!platform::fileDialogAvailable()) {
      showNotice("needs zenity or kdialog");
      return false;
    }
    CNewFileSelector* selector = CNewFileSelector::create(
        frame, choice.save ? CNewFileSelector::kSelectSaveFile : CNewFileSelector::kSelectFile);
    if (!selector) return false;
    selector->setTitle(choice.title);
    selector->setInitialDirectory(choice.initialDirectory);
    if (choice.save) {
      selector->setDefaultSaveName(choice.defaultName);
      selector->setDefaultExtension(CFileExtension(choice.description, choice.extension));
    } else {
      selector->addFileExtension(CFileExtension(choice.description, choice.extension));
      selector->setAllowMultiFileSelection(false);
    }
    const bool chosen = selector->runModal() && selector->getNumSelectedFiles() == 1;
    if (chosen) *path = selector->getSelectedFile(0);
    selector->forget();
    return chosen;
  } catch (...) {
    return false;
  }
}

void CPresetSystemEditor::redrawStrip() {
  if (frame) frame->setDirty(true);
}

CPresetSystemEffect* CPresetSystemEditor::presetEffect() {
  return dynamic_cast<CPresetSystemEffect*>(effect);
}

PresetEditorInterface::HostValues CPresetSystemEditor::readHostValues() {
  HostValues v;
  for (VstInt32 i = 0; i < kNumHostParams; ++i)
    v.values[i] = effect ? effect->getParameter(i) : 0.f;
  return v;
}

void CPresetSystemEditor::reportChangedValues(const HostValues& before) {
  CPresetSystemEffect* fx = presetEffect();
  if (!fx) return;
  bool changed = false;
  for (VstInt32 i = 0; i < kNumHostParams; ++i) {
    const float now = fx->getParameter(i);
    // Bit patterns: a value that stays NaN is no change.
    if (std::memcmp(&now, &before.values[i], sizeof(float)) == 0) continue;
    fx->reportParameterToHost(i, now);
    changed = true;
  }
  if (changed) fx->updateDisplay();
}

void CPresetSystemEditor::setPresetOperationsEnabled(bool enabled) {
  CView* views[] = {learnButton, forgetButton, presetRocker, presetNameField, presetMenu};
  for (CView* v : views)
    if (v) v->setMouseEnabled(enabled);
  for (CControl* b : stripButtons)
    if (b) b->setMouseEnabled(enabled);
}
