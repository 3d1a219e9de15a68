// The preset strip: building it, its clicks and the updates the preset system
// asks for. The file commands, the settings and the record conversions are
// the preset system's (PresetFiles, PresetRecords).
#include "editor/CPresetSystemEditor.h"

#include <cstring>
#include <string>

#include "editor/ControlLayout.h"
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

CControl* makeStripButton(const ControlPlace& b, CControlListener* listener) {
  CBitmap* bitmap = new CBitmap(b.bitmap);
  const CRect size(b.left, b.top, b.right(), b.bottom());
  const CCoord imageHeight = static_cast<int32_t>(bitmap->getHeight()) / b.images;
  CControl* control = nullptr;
  if (b.kind == ControlKind::kSaveLoad)
    control = new CSaveLoadButton(size, listener, b.tag, imageHeight, bitmap, CPoint(0, 0));
  else
    control = new CPSKickButton(size, listener, b.tag, imageHeight, bitmap, CPoint(0, 0),
                                b.kind == ControlKind::kDoubleKick);
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
  int n = 0;
  for (const ControlPlace& p : kStripControls) {
    const CRect size(p.left, p.top, p.right(), p.bottom());
    CControl* made = nullptr;
    switch (p.kind) {
      case ControlKind::kNameField: {
        // The strip's height, re-centred on the font.
        const CCoord fontSize = kNormalFontVerySmall->getSize();
        const CCoord middle = (size.top + size.bottom) / 2;
        const CRect field(size.left, middle - fontSize / 2 - 2, size.right,
                          middle + fontSize / 2 + 2);
        presetName(store, current, name);
        presetNameField = new CTextEdit(field, this, p.tag, name, background, 0);
        presetNameField->setBackOffset(field.getTopLeft());
        presetNameField->setBackColor(kNameBackColor);
        presetNameField->setFont(kNormalFontVerySmall);
        presetNameField->setFontColor(kStripTextColor);
        presetNameField->setFrameColor(kStripTextColor);
        presetNameField->setHoriAlign(kCenterText);
        made = presetNameField;
        break;
      }
      case ControlKind::kPresetMenu:
        presetMenu = new COptionMenu(size, this, p.tag, background, nullptr, kPresetMenuStyle);
        presetMenu->setBackOffset(size.getTopLeft());
        presetMenu->setNbItemsPerColumn(kNumPresets);  // one column
        for (VstInt32 i = 0; i < kNumPresets; ++i) {
          presetName(store, i, name);
          presetMenu->addEntry(name);
        }
        presetMenu->setCurrent(current);
        made = presetMenu;
        break;
      case ControlKind::kRocker: {
        CBitmap* bitmap = new CBitmap(p.bitmap);
        presetRocker = new CPSRockerSwitch(size, this, p.tag,
                                           static_cast<int32_t>(bitmap->getHeight()) / p.images,
                                           bitmap, CPoint(0, 0));
        bitmap->forget();
        made = presetRocker;
        break;
      }
      case ControlKind::kSaveLoad:
      case ControlKind::kKick:
      case ControlKind::kDoubleKick:
        made = stripButtons[n++] = makeStripButton(p, this);
        break;
      case ControlKind::kReadout:
        controllerDisplay = new CParamDisplay(size, background, 0);
        controllerDisplay->setBackOffset(size.getTopLeft());
        controllerDisplay->setFont(kNormalFontVerySmall);
        controllerDisplay->setFontColor(kStripTextColor);
        controllerDisplay->setFrameColor(kStripTextColor);
        controllerDisplay->setHoriAlign(kCenterText);
        controllerDisplay->setValueToStringProc(controllerNameText);
        controllerDisplay->setListener(this);
        controllerDisplay->setTag(p.tag);
        controllerDisplay->setValue(stepCenter(kControllerNoControl, kNumControllerNames));
        made = controllerDisplay;
        break;
      case ControlKind::kModeButton: {
        CBitmap* bitmap = new CBitmap(p.bitmap);
        auto* button = new CPSOnOffButton(size, this, p.tag, bitmap);
        bitmap->forget();
        button->setValue(0.f);
        (p.tag == kTagLearn ? learnButton : forgetButton) = button;
        made = button;
        break;
      }
      default:
        break;
    }
    if (made) frame->addView(made);
  }
  background->forget();
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

void CPresetSystemEditor::renameFromField(CControl* control) {
  CPresetSystemEffect* fx = presetEffect();
  auto* field = dynamic_cast<CTextEdit*>(control);
  if (!field || !fx) return;
  char name[kPresetNameLength + 1];
  cutName(field->getText(), name);
  // Focus in and out without typing renames nothing: the field may show
  // a name the store no longer has.
  if (std::strcmp(name, shownName) == 0) {
    showStoredState();
    return;
  }
  showPresetName(name);
  fx->renameCurrentPreset(name);
}

void CPresetSystemEditor::choosePreset(VstInt32 i) {
  CPresetSystemEffect* fx = presetEffect();
  if (!fx) return;
  // The stored name, never the menu entry's title: a title may be older
  // than the store.
  char name[kPresetNameLength + 1];
  presetName(fx->presetStore(), i, name);
  if (presetMenu) presetMenu->setCurrent(i);
  const HostValues before = readHostValues();
  fx->selectPreset(i);
  fx->renameCurrentPreset(name);
  reportChangedValues(before);
  showStoredState();
}

void CPresetSystemEditor::valueChanged(CControl* control) {
  CPresetSystemEffect* fx = presetEffect();
  if (!control || !fx) return;
  const float value = control->getValue();
  switch (control->getTag()) {
    case kTagPresetName:
      renameFromField(control);
      return;
    case kTagPresetMenu: {
      auto* menu = dynamic_cast<COptionMenu*>(control);
      if (!menu || !(value >= 0.f) || !fx->presetStore()) return;
      const auto i = static_cast<VstInt32>(value + 0.5f);
      if (i >= kNumPresets || !menu->getEntry(i)) return;
      menu->setCurrent(i);
      choosePreset(i);
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
      choosePreset(i);
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
