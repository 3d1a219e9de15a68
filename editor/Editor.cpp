#include "editor/Editor.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "editor/CAbout.h"
#include "editor/controls/CInvisibleSlider.h"
#include "editor/controls/VEKKickButton.h"
#include "editor/controls/VEKOnOffButton.h"
#include "editor/controls/VEKSwitch.h"
#include "editor/resources/resource_ids.h"
#include "engine/EngineStatus.h"
#include "engine/ParameterIds.h"
#include "engine/VEK.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/ControllerNames.h"
#include "toolkit/CAnimKnob.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CFrame.h"
#include "toolkit/CMovieBitmap.h"
#include "toolkit/CParamDisplay.h"
#include "toolkit/CTextEdit.h"

namespace {

constexpr float kKnobWheelInc = 0.03125f;  // 32 wheel notches over the range
constexpr float kKnobZoomFactor = 5.f;
constexpr float kDelayRangeMs = 3200.f;  // one step button click is one millisecond
constexpr float kNumStep = 0.2f;
constexpr float kDenStep = 0.07692308f;  // 1/13
constexpr float kStripMin = 0.5f / 3201.f;
constexpr float kStripMax = 3200.5f / 3201.f;
constexpr float kTempoScale = 400.f;  // slider² × 400 = tempo in BPM
constexpr uint32_t kEditShowMs = 500;
constexpr uint32_t kBlinkMs = 500;
constexpr float kDigitBlank = 10.f / 11.f;
// No process call for this long: the host stopped processing (longer than a
// block of 8192 frames at 32 kHz).
constexpr uint32_t kStatusStaleMs = 300;

struct KnobPlace {
  int32_t tag;
  int32_t bitmap;
  CCoord left, top, size;
  float defaultValue;
};

// Drawing order of the knobs; Depth, Waveform and Rate use the 36-pixel strip.
constexpr KnobPlace kKnobs1[] = {
    {kInput, kBmpKnobInput, 109, 25, 35, 0.5f},   {kOutput, kBmpKnobOutput, 154, 25, 35, 0.5f},
    {kFbck, kBmpKnobFbck, 200, 25, 35, 0.f},      {kMix, kBmpKnobMix, 352, 25, 35, 0.5f},
    {kManVCO, kBmpKnobManVco, 616, 25, 35, 0.5f}, {kDepth, kBmpKnobDepth, 661, 25, 36, 0.f},
};
constexpr KnobPlace kKnobs2[] = {
    {kWaveform, kBmpKnobWaveform, 706, 25, 36, 0.5f},
    {kRate, kBmpKnobRate, 752, 25, 36, 0.f},
};

struct ButtonPlace {
  int32_t tag;
  int32_t bitmap;
  CCoord left, top, width, imageHeight;
};

constexpr ButtonPlace kHiCutPlace = {kHiCut, kBmpHiCut, 247, 44, 23, 26};
constexpr ButtonPlace kButtons[] = {
    {kFbInv, kBmpFbInv, 276, 44, 21, 26},   {kDlyInv, kBmpDlyInv, 306, 44, 21, 26},
    {kRptInf, kBmpRptInf, 399, 44, 22, 26}, {kDlyx2, kBmpDlyx2, 74, 45, 21, 20},
    {kPower, kBmpPower, 818, 45, 22, 20},
};

struct DisplayPlace {
  int32_t tag;
  int32_t bitmap;
  CCoord left, top, width, imageHeight;
  int32_t images;
};

constexpr DisplayPlace kDigitPlaces[] = {
    {kTagDigit1, kBmpDigit1, 511, 32, 14, 20, 12},
    {kTagDigit2, kBmpDigit2, 528, 32, 14, 20, 12},
    {kTagDigit3, kBmpDigit3, 545, 32, 15, 20, 12},
    {kTagDigit4, kBmpDigit4, 563, 32, 14, 20, 12},
};
constexpr DisplayPlace kStatusPlace = {kTagStatusLamps, kBmpStatusLamps, 577, 26, 16, 32, 8};
constexpr DisplayPlace kBypassPlace = {kTagBypassLamp, kBmpBypassLamp, 341, 59, 11, 11, 2};
constexpr DisplayPlace kLfoPlace = {kTagLfoLamp, kBmpLfoLamp, 786, 61, 10, 10, 101};
constexpr DisplayPlace kMeterPlace = {kTagLevelMeter, kBmpLevelMeter, 41, 21, 7, 43, 21};

CMovieBitmap* makeDisplay(const DisplayPlace& p, CControlListener* listener) {
  CBitmap* bitmap = new CBitmap(p.bitmap);
  auto* display = new CMovieBitmap(CRect(p.left, p.top, p.left + p.width, p.top + p.imageHeight),
                                   listener, p.tag, p.images, p.imageHeight, bitmap);
  bitmap->forget();
  return display;
}

}  // namespace

Editor::Editor(AudioEffect* effect) : CPresetSystemEditor(effect) {
  rect.top = 0;
  rect.left = 0;
  rect.bottom = kEditorHeight;
  rect.right = kEditorWidth;
  for (VstInt32& p : gestureParameter) p = -1;
  const uint32_t now = getTicks();
  tempoEditTick = delayEditTick = blinkTick = lastIdleTick = lastProcessTick = now;
  setKnobMode(kLinearMode);
}

Editor::~Editor() {
  if (frame) close();
}

uint32_t Editor::tickNow() {
  return clock ? clock() : getTicks();
}

void Editor::setClock(std::function<uint32_t()> source) {
  clock = std::move(source);
  tempoEditTick = delayEditTick = blinkTick = lastIdleTick = lastProcessTick = tickNow();
}

VEK* Editor::vek() const {
  return static_cast<VEK*>(effect);
}

float Editor::param(VstInt32 index) const {
  return effect ? effect->getParameter(index) : 0.f;
}

bool Editor::repeatHeld() const {
  return quantizeSteps(param(kRptInf), 2) == 1;
}

bool Editor::clockMode() const {
  return quantizeSteps(param(kDlyClk), 2) == 1;
}

bool Editor::open(void* ptr) {
  if (!effect) return false;
  if (frame) close();
  uiThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
  AEffGUIEditor::open(ptr);

  CBitmap* background = new CBitmap(kBmpBackground);
  CBitmap* aboutImage = new CBitmap(kBmpAbout);
  frame = new CFrame(CRect(0, 0, kEditorWidth, kEditorHeight), ptr, this);
  frame->setBackground(background);

  for (int i = 0; i < 4; ++i) {
    digits[i] = makeDisplay(kDigitPlaces[i], this);
    frame->addView(digits[i]);
  }
  statusLamps = makeDisplay(kStatusPlace, this);
  frame->addView(statusLamps);
  bypassLamp = makeDisplay(kBypassPlace, this);
  frame->addView(bypassLamp);
  lfoLamp = makeDisplay(kLfoPlace, this);
  frame->addView(lfoLamp);

  auto makeKnob = [this](const KnobPlace& p) {
    CBitmap* bitmap = new CBitmap(p.bitmap);
    auto* knob = new CAnimKnob(CRect(p.left, p.top, p.left + p.size, p.top + p.size), this, p.tag,
                               101, p.size, bitmap);
    bitmap->forget();
    knob->setValue(param(p.tag));
    knob->setDefaultValue(p.defaultValue);
    knob->setWheelInc(kKnobWheelInc);
    knob->setZoomFactor(kKnobZoomFactor);
    frame->addView(knob);
    return knob;
  };
  auto makeButton = [this](const ButtonPlace& p) {
    CBitmap* bitmap = new CBitmap(p.bitmap);
    auto* button = new VEKOnOffButton(CRect(p.left, p.top, p.left + p.width, p.top + p.imageHeight),
                                      this, p.tag, bitmap);
    bitmap->forget();
    button->setValue(param(p.tag));
    frame->addView(button);
    return button;
  };

  inputKnob = makeKnob(kKnobs1[0]);
  outputKnob = makeKnob(kKnobs1[1]);
  fbckKnob = makeKnob(kKnobs1[2]);
  mixKnob = makeKnob(kKnobs1[3]);
  manVcoKnob = makeKnob(kKnobs1[4]);
  depthKnob = makeKnob(kKnobs1[5]);
  hiCutButton = makeButton(kHiCutPlace);
  waveformKnob = makeKnob(kKnobs2[0]);
  rateKnob = makeKnob(kKnobs2[1]);
  fbInvButton = makeButton(kButtons[0]);
  dlyInvButton = makeButton(kButtons[1]);
  rptInfButton = makeButton(kButtons[2]);
  dlyx2Button = makeButton(kButtons[3]);
  powerButton = makeButton(kButtons[4]);

  {
    CBitmap* bitmap = new CBitmap(kBmpDlyClkSwitch);
    dlyClkSwitch = new VEKSwitch(CRect(457, 23, 472, 33), this, kDlyClk, 2, 10, 2, bitmap);
    bitmap->forget();
    dlyClkSwitch->setValue(param(kDlyClk));
    frame->addView(dlyClkSwitch);
  }
  {
    CBitmap* bitmap = new CBitmap(kBmpStepDown);
    delayDown = new VEKKickButton(CRect(431, 33, 457, 59), this, kTagDelayDown, 26, bitmap);
    bitmap->forget();
    delayDown->setValue(0.f);
    frame->addView(delayDown);
    bitmap = new CBitmap(kBmpStepUp);
    delayUp = new VEKKickButton(CRect(470, 33, 496, 59), this, kTagDelayUp, 26, bitmap);
    bitmap->forget();
    delayUp->setValue(0.f);
    frame->addView(delayUp);
  }
  levelMeter = makeDisplay(kMeterPlace, this);
  frame->addView(levelMeter);

  const float s = std::sqrt(std::max(0.f, param(kDlyTime)));
  delayStrip = new CInvisibleSlider(CRect(458, 34, 470, 59), this, kTagDelayStrip);
  delayStrip->setValue(s);
  frame->addView(delayStrip);
  delayDrag = new CInvisibleSlider(CRect(505, 27, 591, 57), this, kTagDelayDrag);
  delayDrag->setValue(s);
  frame->addView(delayDrag);

  aboutButton = new CAbout(CRect(806, 15, 867, 39), this, kTagAbout, aboutImage,
                           CRect(0, 0, kEditorWidth, kEditorHeight), CPoint(0, 0), CPoint(520, 57));
  frame->addView(aboutButton);

  bypassLamp->setValue(quantizeSteps(param(kPower), 2) == 1 ? 0.f : 0.5f);
  lfoLamp->setValue(0.f);
  levelMeter->setValue(0.f);

  aboutImage->forget();
  background->forget();
  CPresetSystemEditor::open(ptr);
  // A stored name is 24 bytes of UTF-8: the field takes no more.
  if (presetNameField) presetNameField->setMaxLength(kPresetNameLength);
  setKnobMode(kLinearMode);
  return true;
}

void Editor::clearControlPointers() {
  inputKnob = outputKnob = mixKnob = fbckKnob = manVcoKnob = depthKnob = waveformKnob = rateKnob =
      nullptr;
  dlyx2Button = dlyInvButton = hiCutButton = fbInvButton = rptInfButton = powerButton = nullptr;
  dlyClkSwitch = nullptr;
  delayDown = delayUp = nullptr;
  delayStrip = delayDrag = nullptr;
  for (CMovieBitmap*& d : digits) d = nullptr;
  statusLamps = bypassLamp = lfoLamp = levelMeter = nullptr;
  aboutButton = nullptr;
}

void Editor::close() {
  endOpenEdits();
  CPresetSystemEditor::close();
  clearControlPointers();
  if (frame) {
    CFrame* old = frame;
    frame = nullptr;
    old->close();
  }
  AEffGUIEditor::close();
}

CControl* Editor::getParameterControl(VstInt32 index) const {
  switch (index) {
    case kInput:
      return inputKnob;
    case kOutput:
      return outputKnob;
    case kMix:
      return mixKnob;
    case kDlyx2:
      return dlyx2Button;
    case kDlyInv:
      return dlyInvButton;
    case kFbck:
      return fbckKnob;
    case kHiCut:
      return hiCutButton;
    case kFbInv:
      return fbInvButton;
    case kManVCO:
      return manVcoKnob;
    case kDepth:
      return depthKnob;
    case kWaveform:
      return waveformKnob;
    case kRate:
      return rateKnob;
    case kRptInf:
      return rptInfButton;
    case kPower:
      return powerButton;
    case kDlyClk:
      return dlyClkSwitch;
    default:
      return nullptr;
  }
}

void Editor::setSliders(float s) {
  if (delayStrip) delayStrip->setValue(s);
  if (delayDrag) delayDrag->setValue(s);
}

bool Editor::onUiThread() const {
  return uiThread.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

void Editor::showParameter(VstInt32 index) {
  if (CControl* control = getParameterControl(index)) control->setValue(param(index));
  // The sliders show the delay, or the tempo in clock mode.
  if (index == kDlyTime && !clockMode()) setSliders(std::sqrt(std::max(0.f, param(kDlyTime))));
  if (index == kDlyClk)
    setSliders(clockMode() ? std::sqrt(vek()->getTempo() / kTempoScale)
                           : std::sqrt(std::max(0.f, param(kDlyTime))));
}

void Editor::setParameter(VstInt32 index, float /*value*/) {
  if (index < 0 || index > kDlyClk) return;
  if (onUiThread()) {
    if (frame) showParameter(index);
    return;
  }
  // Another thread: the controls may be coming or going under it, so only
  // say which value changed; the UI thread's next idle shows it.
  changedParameters.fetch_or(1u << index, std::memory_order_release);
}

void Editor::learnButtonOff() {
  if (onUiThread())
    CPresetSystemEditor::learnButtonOff();
  else
    learnOffPending.store(true, std::memory_order_release);
}

void Editor::forgetButtonOff() {
  if (onUiThread())
    CPresetSystemEditor::forgetButtonOff();
  else
    forgetOffPending.store(true, std::memory_order_release);
}

void Editor::applyPublishedValues() {
  uint32_t changed = changedParameters.exchange(0, std::memory_order_acquire);
  for (VstInt32 index = 0; changed != 0; ++index, changed >>= 1)
    if (changed & 1u) showParameter(index);
  // A learn or forget started again since then keeps its button lit.
  CPresetSystemEffect* fx = presetEffect();
  if (learnOffPending.exchange(false, std::memory_order_acquire) && fx && !fx->isLearnActive())
    CPresetSystemEditor::learnButtonOff();
  if (forgetOffPending.exchange(false, std::memory_order_acquire) && fx && !fx->isForgetActive())
    CPresetSystemEditor::forgetButtonOff();
}

void Editor::stepDelay(int32_t tag, float fineStep) {
  delayEditActive = true;
  delayEditTick = tickNow();
  float v = param(kDlyTime);
  if (tag == kTagDelayDown)
    v = std::max(0.f, v - fineStep / kDelayRangeMs);
  else
    v = std::min(1.f, v + fineStep / kDelayRangeMs);
  beginEdit(kDlyTime);
  effect->setParameterAutomated(kDlyTime, v);
  endEdit(kDlyTime);
  setSliders(std::sqrt(std::max(0.f, param(kDlyTime))));
}

void Editor::stepFraction(int32_t tag, float fineStep) {
  const VstInt32 index = tag == kTagDelayDown ? kNum : kDen;
  const float step = tag == kTagDelayDown ? kNumStep : kDenStep;
  float v = param(index);
  // A plain click counts up, a modified click down; each wraps at its end.
  if (fineStep == 1.f) {
    v += step;
    if (v > 1.f) v = 0.f;
  } else {
    v -= step;
    if (v < 0.f) v = 1.f;
  }
  beginEdit(index);
  effect->setParameterAutomated(index, v);
  endEdit(index);
}

void Editor::moveSlider(CInvisibleSlider* moved, float s) {
  if (repeatHeld()) {
    moved->setValue(std::sqrt(std::max(0.f, param(kDlyTime))));
    return;
  }
  if (!clockMode()) {
    delayEditActive = true;
    delayEditTick = tickNow();
    float v = s * s;
    if (moved->getTag() == kTagDelayStrip) v = std::min(kStripMax, std::max(kStripMin, v));
    beginEdit(kDlyTime);
    effect->setParameterAutomated(kDlyTime, v);
    endEdit(kDlyTime);
  } else {
    tempoEditActive = true;
    tempoEditTick = tickNow();
    vek()->setTempoFromControl(s * s);
  }
  CInvisibleSlider* other = moved == delayStrip ? delayDrag : delayStrip;
  if (other) other->setValue(s);
}

void Editor::valueChanged(CControl* control) {
  if (!control) return;
  CPresetSystemEditor::valueChanged(control);
  if (!effect || !frame) return;
  const int32_t tag = control->getTag();
  const float value = control->getValue();
  if (tag >= 33) return;

  switch (tag) {
    case kDlyClk: {
      if (repeatHeld()) {
        control->setValue(param(kDlyClk));
        return;
      }
      tempoEditActive = false;
      delayEditActive = false;
      effect->setParameterAutomated(kDlyClk, value);
      const float s = value == 0.f ? std::sqrt(std::max(0.f, param(kDlyTime)))
                                   : std::sqrt(vek()->getTempo() / kTempoScale);
      setSliders(s);
      return;
    }
    case kTagDelayDown:
    case kTagDelayUp: {
      tempoEditActive = false;
      if (repeatHeld()) return;
      const float fineStep = static_cast<VEKKickButton*>(control)->getFineStep();
      if (!clockMode())
        stepDelay(tag, fineStep);
      else
        stepFraction(tag, fineStep);
      return;
    }
    case kTagDelayStrip:
    case kTagDelayDrag:
      moveSlider(static_cast<CInvisibleSlider*>(control), value);
      return;
    default:
      break;
  }
  if (tag >= 0 && tag < 18)
    effect->setParameterAutomated(tag, value);
  else if (tag >= 18)
    effect->setParameter(tag, value);
}

VstInt32 Editor::editedParameter(VstInt32 tag) const {
  if (tag >= 0 && tag <= kDen) return tag;
  const bool fixed = repeatHeld();  // the hold refuses every delay edit
  switch (tag) {
    case kTagDelayDown:
      return fixed ? -1 : clockMode() ? kNum : kDlyTime;
    case kTagDelayUp:
      return fixed ? -1 : clockMode() ? kDen : kDlyTime;
    case kTagDelayStrip:
    case kTagDelayDrag:
      return fixed || clockMode() ? -1 : kDlyTime;
    default:
      return -1;
  }
}

void Editor::beginEdit(VstInt32 tag) {
  VstInt32 p = editedParameter(tag);
  if (tag > kDen && tag <= kTagAbout) gestureParameter[tag] = p;
  if (p >= 0 && hostEditDepth[p]++ == 0) AEffGUIEditor::beginEdit(p);
}

void Editor::endEdit(VstInt32 tag) {
  VstInt32 p = tag >= 0 && tag <= kDen ? tag : -1;
  if (tag > kDen && tag <= kTagAbout) {
    // The gesture ends on the parameter it began on, whatever the mode now.
    p = gestureParameter[tag];
    gestureParameter[tag] = -1;
  }
  if (p >= 0 && hostEditDepth[p] > 0 && --hostEditDepth[p] == 0) AEffGUIEditor::endEdit(p);
}

void Editor::endOpenEdits() {
  for (VstInt32 p = 0; p <= kDen; ++p) {
    if (hostEditDepth[p] > 0) AEffGUIEditor::endEdit(p);
    hostEditDepth[p] = 0;
  }
  for (VstInt32& p : gestureParameter) p = -1;
}

void Editor::displayNumber(float n) {
  for (CMovieBitmap* d : digits)
    if (!d) return;
  const int a = static_cast<int>(n);
  int b = a;
  const int thousands = a >= 1000 ? b / 1000 : -1;
  if (thousands > 0) b -= 1000 * thousands;
  const int hundreds = a >= 100 ? b / 100 : -1;
  if (hundreds > 0) b -= 100 * hundreds;
  const int tens = a >= 10 ? b / 10 : -1;
  if (tens > 0) b -= 10 * tens;
  const int shown[3] = {thousands, hundreds, tens};
  for (int i = 0; i < 3; ++i)
    digits[i]->setValue(shown[i] < 0 ? kDigitBlank : static_cast<float>(shown[i]) / 11.f);
  // The units digit is never blanked (a negative count clamps to the 0 image).
  digits[3]->setValue(static_cast<float>(b) / 11.f);
}

void Editor::blankDisplay() {
  for (CMovieBitmap* d : digits)
    if (d) d->setValue(kDigitBlank);
}

void Editor::idle() {
  if (!frame) return;
  applyPublishedValues();
  // The strip catches up with the stored state, then the frame's events run.
  CPresetSystemEditor::idle();
  if (!frame || !controllerDisplay) return;

  // Controller display: the assignment of the parameter under the mouse.
  int entry = kControllerNoControl;
  CPoint where;
  if (frame->getCurrentMouseLocation(where)) {
    if (CView* view = frame->getViewAt(where)) {
      if (auto* control = dynamic_cast<CControl*>(view)) {
        int32_t parameter = control->getTag();
        if (parameter == kTagDelayStrip || parameter == kTagDelayDrag) parameter = kDlyTime;
        if (parameter >= 0 && parameter <= 17 && control != controllerDisplay) {
          const VstInt32 controller = presetEffect()->getParameterController(parameter);
          entry = (controller >= 0 && controller < 128) ? controller : kControllerNotAssigned;
        }
      }
    }
  }
  controllerDisplay->setValue(stepCenter(entry, kNumControllerNames));

  const uint32_t now = tickNow();
  EngineStatus status = vek()->readStatus();
  if (status.processCalls != lastProcessCalls) {
    lastProcessCalls = status.processCalls;
    lastProcessTick = now;
  } else if (now - lastProcessTick > kStatusStaleMs) {
    // The last block's level and cycle are no reading of now: meter and cycle
    // lamp fall to rest.
    status.peak = 0.f;
    status.indicator = false;
  }
  const float tempo = vek()->getTempo();
  const float numerator = kNumerators[quantizeSteps(param(kNum), kNumNumerators)];
  const float denominator = kDenominators[quantizeSteps(param(kDen), kNumDenominators)];

  if (tempoEditActive) {
    if (now - tempoEditTick > kEditShowMs) tempoEditActive = false;
    displayNumber(tempo);
  } else if (clockMode()) {
    const int d = static_cast<int>(denominator);
    if (digits[0] && digits[1] && digits[2] && digits[3]) {
      digits[0]->setValue(numerator / 11.f);
      digits[1]->setValue(kDigitBlank);
      digits[2]->setValue(d >= 10 ? static_cast<float>(d / 10) / 11.f : kDigitBlank);
      digits[3]->setValue(static_cast<float>(d - 10 * (d / 10)) / 11.f);
    }
    if (static_cast<int>(numerator * 240000.f / (denominator * tempo)) > 3200) {
      if (now - blinkTick >= kBlinkMs) {
        blinkTick = now;
        blinkOn = !blinkOn;
      }
      if (blinkOn) blankDisplay();
    }
  } else if (delayEditActive) {
    displayNumber(static_cast<float>(status.nominalDelayMs));
    if (now - delayEditTick >= kEditShowMs) delayEditActive = false;
  } else {
    displayNumber(static_cast<float>(status.effectiveDelayMs));
  }

  if (lfoLamp) lfoLamp->setValue(std::sin(status.phase) * 0.5f + 0.5f);

  if (statusLamps) {
    const int h = quantizeSteps(param(kHiCut), 2);
    const int r = quantizeSteps(param(kRptInf), 2);
    const int c = status.indicator ? 1 : 0;
    statusLamps->setValue(static_cast<float>(h + 2 * r + 4 * c) / 7.f);
  }

  if (levelMeter) {
    const float dB =
        status.peak <= meterFloor ? -24.f : std::min(0.f, 20.f * std::log10(status.peak));
    const float target = dB / 24.f + 1.f;
    const float fallen = std::max(
        0.f, levelMeter->getValue() - static_cast<float>(now - lastIdleTick) / meterFallMs);
    levelMeter->setValue(std::max(target, fallen));
  }

  if (bypassLamp) bypassLamp->setValue(quantizeSteps(param(kPower), 2) == 1 ? 0.f : 0.5f);
  lastIdleTick = now;
}
