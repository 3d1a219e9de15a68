#include "editor/Editor.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "editor/CAbout.h"
#include "editor/controls/CInvisibleSlider.h"
#include "editor/controls/CScaleMenu.h"
#include "editor/controls/VEKKickButton.h"
#include "editor/controls/VEKOnOffButton.h"
#include "editor/controls/VEKSwitch.h"
#include "editor/resources/resource_ids.h"
#include "engine/EngineStatus.h"
#include "engine/ParameterIds.h"
#include "engine/VEK.h"
#include "host/AudioEffectX.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/ControllerNames.h"
#include "presets/ViewSettings.h"
#include "toolkit/CAnimKnob.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CFrame.h"
#include "toolkit/CMovieBitmap.h"
#include "toolkit/CParamDisplay.h"
#include "toolkit/CTextEdit.h"
#include "toolkit/DesktopScale.h"
#include "toolkit/DeviceScale.h"

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

// The value a knob returns to on its reset click: the parameter's default.
float knobDefault(int32_t parameter) {
  switch (parameter) {
    case kFbck:
    case kDepth:
    case kRate:
      return 0.f;
    default:
      return 0.5f;
  }
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
  chosenScale = viewsettings::readScalePercent() / 100.0;
}

double Editor::automaticScale() const {
  return hostScale > 0 ? hostScale : toolkit::desktopScale();
}

double Editor::wantedScale() const {
  return chosenScale > 0 ? chosenScale : automaticScale();
}

void Editor::setRectFor(double newScale) {
  rect.top = rect.left = 0;
  rect.right = static_cast<int16_t>(toolkit::devicePixels(kEditorWidth, newScale));
  rect.bottom = static_cast<int16_t>(toolkit::devicePixels(kEditorHeight, newScale));
}

bool Editor::getRect(ERect** r) {
  // Closed, the next open's size: hosts size their window from it first.
  if (!frame) {
    scale = wantedScale();
    setRectFor(scale);
  }
  return AEffGUIEditor::getRect(r);
}

bool Editor::setScaleFactor(float requested) {
  hostScale = toolkit::quarterScale(requested);
  if (!frame) {
    scale = wantedScale();
    setRectFor(scale);
  }
  return true;
}

void Editor::chooseScale(double chosen) {
  chosenScale = toolkit::quarterScale(chosen);
  viewsettings::storeScalePercent(static_cast<int>(std::lround(chosenScale * 100)));
  if (!frame) {
    scale = wantedScale();
    setRectFor(scale);
  }
}

void Editor::applyScale() {
  if (!frame) return;
  const double wanted = wantedScale();
  if (scaleMenu) scaleMenu->showChoice(chosenScale, automaticScale());
  if (wanted == frame->getScale()) return;
  frame->setScale(wanted);
  scale = frame->getScale();
  setRectFor(scale);
  // Hosts that cannot resize keep their window; the next open has the size.
  if (auto* fx = dynamic_cast<AudioEffectX*>(effect)) fx->sizeWindow(rect.right, rect.bottom);
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

  // Another instance may have stored a new choice meanwhile.
  chosenScale = viewsettings::readScalePercent() / 100.0;
  scale = wantedScale();
  setRectFor(scale);
  CBitmap* background = new CBitmap(kBmpBackground);
  CBitmap* aboutImage = new CBitmap(kBmpAbout);
  frame = new CFrame(CRect(0, 0, kEditorWidth, kEditorHeight), ptr, this, scale);
  frame->setBackground(background);
  for (const ControlPlace& place : kPanelControls)
    if (CControl* control = makeControl(place, aboutImage)) frame->addView(control);

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

CControl* Editor::makeControl(const ControlPlace& p, CBitmap* aboutImage) {
  const CRect size(p.left, p.top, p.right(), p.bottom());
  CBitmap* bitmap = p.bitmap && p.kind != ControlKind::kAbout ? new CBitmap(p.bitmap) : nullptr;
  CControl* made = nullptr;
  switch (p.kind) {
    case ControlKind::kDisplay: {
      auto* display = new CMovieBitmap(size, this, p.tag, p.images, p.height, bitmap);
      if (p.tag >= kTagDigit1 && p.tag <= kTagDigit4) digits[p.tag - kTagDigit1] = display;
      if (p.tag == kTagStatusLamps) statusLamps = display;
      if (p.tag == kTagBypassLamp) bypassLamp = display;
      if (p.tag == kTagLfoLamp) lfoLamp = display;
      if (p.tag == kTagLevelMeter) levelMeter = display;
      display->setValue(0.f);
      made = display;
      break;
    }
    case ControlKind::kKnob: {
      auto* knob = new CAnimKnob(size, this, p.tag, p.images, p.height, bitmap);
      knob->setDefaultValue(knobDefault(p.parameter));
      knob->setWheelInc(kKnobWheelInc);
      knob->setZoomFactor(kKnobZoomFactor);
      made = knob;
      break;
    }
    case ControlKind::kLitButton:
      made = new VEKOnOffButton(size, this, p.tag, bitmap);
      break;
    case ControlKind::kSwitch:
      made = new VEKSwitch(size, this, p.tag, p.images, p.height, 2, bitmap);
      break;
    case ControlKind::kStepButton: {
      auto* button = new VEKKickButton(size, this, p.tag, p.height, bitmap);
      button->setValue(0.f);
      (p.tag == kTagDelayDown ? delayDown : delayUp) = button;
      made = button;
      break;
    }
    case ControlKind::kSlider: {
      auto* slider = new CInvisibleSlider(size, this, p.tag);
      slider->setValue(std::sqrt(std::max(0.f, param(kDlyTime))));
      (p.tag == kTagDelayStrip ? delayStrip : delayDrag) = slider;
      made = slider;
      break;
    }
    case ControlKind::kScaleMenu:
      scaleMenu = new CScaleMenu(size, this, p.tag);
      scaleMenu->showChoice(chosenScale, automaticScale());
      made = scaleMenu;
      break;
    case ControlKind::kAbout:
      aboutButton =
          new CAbout(size, this, p.tag, aboutImage, CRect(0, 0, kEditorWidth, kEditorHeight),
                     CPoint(0, 0), CPoint(520, 57));
      made = aboutButton;
      break;
    default:
      break;
  }
  if (bitmap) bitmap->forget();
  if (made && editsItsParameter(p)) {
    made->setValue(param(p.parameter));
    parameterControls[p.parameter] = made;
  }
  return made;
}

void Editor::clearControlPointers() {
  for (CControl*& c : parameterControls) c = nullptr;
  delayDown = delayUp = nullptr;
  delayStrip = delayDrag = nullptr;
  for (CMovieBitmap*& d : digits) d = nullptr;
  statusLamps = bypassLamp = lfoLamp = levelMeter = nullptr;
  aboutButton = nullptr;
  scaleMenu = nullptr;
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
  return index >= 0 && index < kNumParams ? parameterControls[index] : nullptr;
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
  openEdit(kDlyTime);
  effect->setParameterAutomated(kDlyTime, v);
  closeEdit(kDlyTime);
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
  openEdit(index);
  effect->setParameterAutomated(index, v);
  closeEdit(index);
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
    openEdit(kDlyTime);
    effect->setParameterAutomated(kDlyTime, v);
    closeEdit(kDlyTime);
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
    case kTagScaleMenu:
      if (auto* menu = dynamic_cast<CScaleMenu*>(control))
        chooseScale(CScaleMenu::scaleOfEntry(menu->getCurrentIndex()));
      return;
    default:
      break;
  }
  // A knob, button or switch edits its parameter; displays, the strip and
  // controls the table does not know edit nothing.
  const ControlPlace* place = findControl(tag);
  if (place && editsItsParameter(*place)) effect->setParameterAutomated(place->parameter, value);
}

VstInt32 Editor::editedParameter(VstInt32 tag) const {
  const bool fixed = repeatHeld();  // the hold refuses every delay edit
  switch (tag) {
    case kTagDelayDown:
      return fixed ? -1 : clockMode() ? kNum : kDlyTime;
    case kTagDelayUp:
      return fixed ? -1 : clockMode() ? kDen : kDlyTime;
    case kTagDelayStrip:
    case kTagDelayDrag:
      return fixed || clockMode() ? -1 : kDlyTime;
    default: {
      const ControlPlace* place = findControl(tag);
      return place && editsItsParameter(*place) ? place->parameter : -1;
    }
  }
}

namespace {
bool isEditorTag(VstInt32 tag) {
  return tag >= kEditorTagFirst && tag < kEditorTagEnd;
}
}  // namespace

void Editor::beginEdit(VstInt32 tag) {
  const VstInt32 p = editedParameter(tag);
  if (isEditorTag(tag)) gestureParameter[tag - kEditorTagFirst] = p;
  openEdit(p);
}

void Editor::endEdit(VstInt32 tag) {
  VstInt32 p = editedParameter(tag);
  if (isEditorTag(tag)) {
    // The gesture ends on the parameter it began on, whatever the mode now.
    p = gestureParameter[tag - kEditorTagFirst];
    gestureParameter[tag - kEditorTagFirst] = -1;
  }
  closeEdit(p);
}

void Editor::openEdit(VstInt32 parameter) {
  if (parameter >= 0 && parameter < kNumParams && hostEditDepth[parameter]++ == 0)
    AEffGUIEditor::beginEdit(parameter);
}

void Editor::closeEdit(VstInt32 parameter) {
  if (parameter >= 0 && parameter < kNumParams && hostEditDepth[parameter] > 0 &&
      --hostEditDepth[parameter] == 0)
    AEffGUIEditor::endEdit(parameter);
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
  applyScale();
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
        const ControlPlace* place = findControl(control->getTag());
        const int32_t parameter = place ? place->parameter : -1;
        if (parameter >= 0 && parameter < kNumParams) {
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
