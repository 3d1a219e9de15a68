// The preset strip: building it, its clicks and the updates the preset system
// asks for. The constructor, the destructor and the record conversions live
// with the preset system's file code.
#include "editor/CPresetSystemEditor.h"

#include <cstring>

#include "editor/controls/CPSKickButton.h"
#include "editor/controls/CPSOnOffButton.h"
#include "editor/controls/CPSRockerSwitch.h"
#include "editor/controls/CSaveLoadButton.h"
#include "editor/resources/resource_ids.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/ControllerNames.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CFrame.h"
#include "toolkit/CParamDisplay.h"

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
    CBitmap* background = new CBitmap(kBmpBackground);
    controllerDisplay = new CParamDisplay(CRect(690, 87, 780, 99), background, 0);
    background->forget();
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
  return true;
}

void CPresetSystemEditor::close() {
  controllerDisplay = nullptr;
  learnButton = nullptr;
  forgetButton = nullptr;
  presetRocker = nullptr;
  for (CControl*& b : stripButtons) b = nullptr;
}

void CPresetSystemEditor::valueChanged(CControl* control) {
  CPresetSystemEffect* fx = presetEffect();
  if (!control || !fx) return;
  const float value = control->getValue();
  switch (control->getTag()) {
    case kTagPresetRocker: {
      VstInt32 i = fx->getCurrentPreset();
      if (value > 0.f)
        i = i < kNumPresets - 1 ? i + 1 : kNumPresets - 1;
      else if (value < 0.f)
        i = i > 0 ? i - 1 : 0;
      else
        return;
      char name[kPresetNameLength + 1] = {0};
      if (const PresetRecord* store = fx->presetStore())
        std::memcpy(name, store[i].name, kPresetNameLength);
      showPresetName(name);
      fx->selectPreset(i);
      fx->renameCurrentPreset(name);
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

void CPresetSystemEditor::showPresetName(const char* /*name*/) {
  // The name field and the preset menu show the name; until they exist on the
  // strip there is nothing to update.
}

CPresetSystemEffect* CPresetSystemEditor::presetEffect() {
  return dynamic_cast<CPresetSystemEffect*>(effect);
}
