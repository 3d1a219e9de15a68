// Where every control of the window sits, which skin image it shows, its tag
// and the host parameter it edits or shows: one table read by the editor when
// it builds the window and by the skin generator when it draws the images
// under and for the controls. Positions are window pixels at 100 %.
//
// Tags name controls, never parameters: a parameter control's tag equals its
// parameter (0..17), every other control has a tag in a range of its own, far
// from the host's parameter indices 0..35, so no tag can be taken for one.
#pragma once

#include <cstdint>

#include "editor/resources/resource_ids.h"
#include "engine/ParameterIds.h"

// Editor-only controls of the main window.
enum EditorTag : int32_t {
  kEditorTagFirst = 1000,
  kTagDelayDown = kEditorTagFirst,
  kTagDelayUp,
  kTagDigit1,
  kTagDigit2,
  kTagDigit3,
  kTagDigit4,
  kTagStatusLamps,
  kTagBypassLamp,
  kTagLfoLamp,
  kTagLevelMeter,
  kTagDelayStrip,
  kTagDelayDrag,
  kTagAbout,
  kTagScaleMenu,  // the size menu behind the logo
  kEditorTagEnd
};

// The preset strip's controls.
enum StripTag : int32_t {
  kStripTagFirst = 2000,
  kTagPresetName = kStripTagFirst,
  kTagPresetRocker,
  kTagLoadBank,
  kTagSaveBank,
  kTagLoadPreset,
  kTagSavePreset,
  kTagControllerDisplay,
  kTagLearn,
  kTagLoadMidi,
  kTagSaveMidi,
  kTagDefaultMidi,
  kTagForget,
  kTagPresetMenu,
  kTagDefaultBank,
  kTagDefaultPreset,
  kTagStoreMemoA,
  kTagStoreMemoB,
  kTagRecallMemoA,
  kTagRecallMemoB,
  kStripTagEnd
};

static_assert(kEditorTagFirst >= kNumHostParams && int{kStripTagFirst} >= int{kEditorTagEnd},
              "control tags stay clear of the host's parameter indices");

enum class ControlKind : uint8_t {
  kKnob,        // CAnimKnob
  kLitButton,   // VEKOnOffButton
  kSwitch,      // VEKSwitch
  kStepButton,  // VEKKickButton
  kSlider,      // CInvisibleSlider, no image
  kDisplay,     // CMovieBitmap: digits, lamps, meter
  kAbout,       // CAbout over the logo
  kScaleMenu,   // right-click menu over the logo, draws nothing
  kNameField,   // CTextEdit over the background
  kPresetMenu,  // COptionMenu over the background
  kRocker,      // CPSRockerSwitch
  kSaveLoad,    // CSaveLoadButton
  kKick,        // CPSKickButton
  kDoubleKick,  // CPSKickButton acting on double clicks
  kReadout,     // CParamDisplay over the background
  kModeButton,  // CPSOnOffButton
};

struct ControlPlace {
  int32_t tag;
  ControlKind kind;
  int16_t left, top, width, height;  // the control; height is that of one image
  int16_t bitmap;                    // skin image id, 0 for none
  int16_t images;                    // images stacked vertically in the bitmap
  int16_t parameter;                 // host parameter edited or shown, -1 for none

  constexpr int16_t right() const { return static_cast<int16_t>(left + width); }
  constexpr int16_t bottom() const { return static_cast<int16_t>(top + height); }
};

constexpr int kWindowWidth = 870;
constexpr int kWindowHeight = 101;

// The main window in creation order, which is also the drawing order.
constexpr ControlPlace kPanelControls[] = {
    {kTagDigit1, ControlKind::kDisplay, 511, 32, 14, 20, kBmpDigit1, 12, -1},
    {kTagDigit2, ControlKind::kDisplay, 528, 32, 14, 20, kBmpDigit2, 12, -1},
    {kTagDigit3, ControlKind::kDisplay, 545, 32, 15, 20, kBmpDigit3, 12, -1},
    {kTagDigit4, ControlKind::kDisplay, 563, 32, 14, 20, kBmpDigit4, 12, -1},
    {kTagStatusLamps, ControlKind::kDisplay, 577, 26, 16, 32, kBmpStatusLamps, 8, -1},
    {kTagBypassLamp, ControlKind::kDisplay, 341, 59, 11, 11, kBmpBypassLamp, 2, -1},
    {kTagLfoLamp, ControlKind::kDisplay, 786, 61, 10, 10, kBmpLfoLamp, 101, -1},
    {kInput, ControlKind::kKnob, 109, 25, 35, 35, kBmpKnobInput, 101, kInput},
    {kOutput, ControlKind::kKnob, 154, 25, 35, 35, kBmpKnobOutput, 101, kOutput},
    {kFbck, ControlKind::kKnob, 200, 25, 35, 35, kBmpKnobFbck, 101, kFbck},
    {kMix, ControlKind::kKnob, 352, 25, 35, 35, kBmpKnobMix, 101, kMix},
    {kManVCO, ControlKind::kKnob, 616, 25, 35, 35, kBmpKnobManVco, 101, kManVCO},
    {kDepth, ControlKind::kKnob, 661, 25, 36, 36, kBmpKnobDepth, 101, kDepth},
    {kHiCut, ControlKind::kLitButton, 247, 44, 23, 26, kBmpHiCut, 2, kHiCut},
    {kWaveform, ControlKind::kKnob, 706, 25, 36, 36, kBmpKnobWaveform, 101, kWaveform},
    {kRate, ControlKind::kKnob, 752, 25, 36, 36, kBmpKnobRate, 101, kRate},
    {kFbInv, ControlKind::kLitButton, 276, 44, 21, 26, kBmpFbInv, 2, kFbInv},
    {kDlyInv, ControlKind::kLitButton, 306, 44, 21, 26, kBmpDlyInv, 2, kDlyInv},
    {kRptInf, ControlKind::kLitButton, 399, 44, 22, 26, kBmpRptInf, 2, kRptInf},
    {kDlyx2, ControlKind::kLitButton, 74, 45, 21, 20, kBmpDlyx2, 2, kDlyx2},
    {kPower, ControlKind::kLitButton, 818, 45, 22, 20, kBmpPower, 2, kPower},
    {kDlyClk, ControlKind::kSwitch, 457, 23, 15, 10, kBmpDlyClkSwitch, 2, kDlyClk},
    {kTagDelayDown, ControlKind::kStepButton, 431, 33, 26, 26, kBmpStepDown, 2, -1},
    {kTagDelayUp, ControlKind::kStepButton, 470, 33, 26, 26, kBmpStepUp, 2, -1},
    {kTagLevelMeter, ControlKind::kDisplay, 41, 21, 7, 43, kBmpLevelMeter, 21, -1},
    // The delay areas show the controller of DlyTime, which they set.
    {kTagDelayStrip, ControlKind::kSlider, 458, 34, 12, 25, 0, 0, kDlyTime},
    {kTagDelayDrag, ControlKind::kSlider, 505, 27, 86, 30, 0, 0, kDlyTime},
    {kTagAbout, ControlKind::kAbout, 806, 15, 61, 24, kBmpAbout, 1, -1},
    // Over the about button, which takes the left clicks it leaves.
    {kTagScaleMenu, ControlKind::kScaleMenu, 806, 15, 61, 24, 0, 0, -1},
};

// The preset strip along the bottom edge, in creation order.
constexpr ControlPlace kStripControls[] = {
    // The field's height is re-centred on its font when it is made.
    {kTagPresetName, ControlKind::kNameField, 208, 86, 112, 15, kBmpBackground, 1, -1},
    {kTagPresetMenu, ControlKind::kPresetMenu, 320, 87, 13, 12, kBmpBackground, 1, -1},
    {kTagPresetRocker, ControlKind::kRocker, 340, 86, 30, 13, kBmpPresetRocker, 5, -1},
    {kTagLoadBank, ControlKind::kSaveLoad, 85, 86, 17, 15, kBmpLoad, 3, -1},
    {kTagSaveBank, ControlKind::kSaveLoad, 34, 86, 17, 15, kBmpSave, 3, -1},
    {kTagDefaultBank, ControlKind::kDoubleKick, 51, 86, 32, 13, kBmpDefaultBank, 3, -1},
    {kTagLoadPreset, ControlKind::kSaveLoad, 177, 86, 17, 15, kBmpLoad, 3, -1},
    {kTagSavePreset, ControlKind::kSaveLoad, 114, 86, 17, 15, kBmpSave, 3, -1},
    {kTagDefaultPreset, ControlKind::kDoubleKick, 132, 86, 44, 13, kBmpDefaultPreset, 3, -1},
    {kTagRecallMemoA, ControlKind::kKick, 421, 86, 17, 15, kBmpLoad, 3, -1},
    {kTagStoreMemoA, ControlKind::kKick, 388, 86, 17, 15, kBmpSave, 3, -1},
    {kTagRecallMemoB, ControlKind::kKick, 486, 86, 17, 15, kBmpLoad, 3, -1},
    {kTagStoreMemoB, ControlKind::kKick, 452, 86, 17, 15, kBmpSave, 3, -1},
    {kTagControllerDisplay, ControlKind::kReadout, 690, 87, 90, 12, kBmpBackground, 1, -1},
    {kTagLearn, ControlKind::kModeButton, 788, 85, 24, 16, kBmpLearn, 3, -1},
    {kTagLoadMidi, ControlKind::kSaveLoad, 658, 86, 17, 15, kBmpLoad, 3, -1},
    {kTagSaveMidi, ControlKind::kSaveLoad, 610, 86, 17, 15, kBmpSave, 3, -1},
    {kTagDefaultMidi, ControlKind::kDoubleKick, 628, 86, 28, 13, kBmpDefaultMidi, 3, -1},
    {kTagForget, ControlKind::kModeButton, 813, 85, 24, 16, kBmpForget, 3, -1},
};

// The control with this tag, or null.
constexpr const ControlPlace* findControl(int32_t tag) {
  for (const ControlPlace& c : kPanelControls)
    if (c.tag == tag) return &c;
  for (const ControlPlace& c : kStripControls)
    if (c.tag == tag) return &c;
  return nullptr;
}

// The first control that shows the image: the skin draws a shared image over
// the background at that control's place.
constexpr const ControlPlace* firstUserOf(int bitmap) {
  for (const ControlPlace& c : kPanelControls)
    if (c.bitmap == bitmap) return &c;
  for (const ControlPlace& c : kStripControls)
    if (c.bitmap == bitmap) return &c;
  return nullptr;
}

// A control that edits its parameter directly: its value is the parameter's.
constexpr bool editsItsParameter(const ControlPlace& c) {
  return c.kind == ControlKind::kKnob || c.kind == ControlKind::kLitButton ||
         c.kind == ControlKind::kSwitch;
}

namespace controllayout {
constexpr bool tagsAreSound() {
  for (const ControlPlace& c : kPanelControls) {
    if (editsItsParameter(c)) {
      if (c.tag != c.parameter || c.parameter < 0 || c.parameter >= kNumParams) return false;
    } else if (c.tag < kEditorTagFirst || c.tag >= kEditorTagEnd) {
      return false;
    }
  }
  for (const ControlPlace& c : kStripControls)
    if (c.tag < kStripTagFirst || c.tag >= kStripTagEnd || c.parameter != -1) return false;
  return true;
}
}  // namespace controllayout
static_assert(controllayout::tagsAreSound(),
              "a parameter control's tag is its parameter; every other tag is in its own range");
