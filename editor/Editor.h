// The plug-in's window: the skinned front panel with one control per function
// of the delay, the readout, lamps and meter, and the preset strip of the base.
// Threads: everything runs on the host's UI thread except setParameter (the
// host's automation thread, or the audio thread when a controller drives a
// parameter) and learnButtonOff (the audio thread ending a MIDI learn). From
// any other thread those two only publish through atomics, which the UI
// thread's idle applies to the controls: no other thread ever touches a
// control, so opening and closing cannot race them, and none of them waits.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "editor/CPresetSystemEditor.h"
#include "editor/ControlLayout.h"

class CAnimKnob;
class CAbout;
class CBitmap;
class CControl;
class CInvisibleSlider;
class CMovieBitmap;
class CScaleMenu;
class VEK;
class VEKKickButton;

constexpr int kEditorWidth = kWindowWidth;
constexpr int kEditorHeight = kWindowHeight;

class Editor : public CPresetSystemEditor {
 public:
  explicit Editor(AudioEffect* effect);
  ~Editor() override;

  bool open(void* ptr) override;
  void close() override;
  void idle() override;
  // The window at the editor's scale (870 x 101 at 100 %).
  bool getRect(ERect** rect) override;
  // A host's scale; the user's own choice, if any, goes first.
  bool setScaleFactor(float scale) override;
  void setParameter(VstInt32 index, float value) override;
  void valueChanged(CControl* control) override;
  void learnButtonOff() override;
  void forgetButtonOff() override;
  // Edit brackets of a control's gesture, by its tag, reach the host for the
  // parameter the gesture changes: the step buttons and delay areas edit
  // DlyTime, in clock mode the buttons Num and Den (the tempo the areas set
  // there is no parameter). Nested brackets of one parameter reach the host
  // once; closing ends any still open.
  void beginEdit(VstInt32 tag) override;
  void endEdit(VstInt32 tag) override;

  virtual void displayNumber(float n);
  virtual void blankDisplay();

  // The control that shows parameter `index` (0..15), or null; for tests.
  CControl* getParameterControl(VstInt32 index) const;
  CInvisibleSlider* getDelaySlider(int which) const { return which == 0 ? delayStrip : delayDrag; }

  // Size. The editor draws at the user's choice from the logo's menu (stored
  // per user), else at the host's request, else at the desktop's scale; each
  // a quarter step from 1 to 3. A new scale while open resizes the window at
  // the next idle and asks the host to follow.
  double getScale() const { return scale; }
  // The user's choice; 0 returns to automatic. Stored for every instance.
  void chooseScale(double chosen);
  double getChosenScale() const { return chosenScale; }
  double getHostScale() const { return hostScale; }

  // Millisecond clock of the readout, blink and meter timing: the toolkit's
  // tick count unless replaced (tests step time without sleeping). Setting a
  // clock restarts every tick field from its current time.
  void setClock(std::function<uint32_t()> source);

 protected:
  VEK* vek() const;
  uint32_t tickNow();
  float param(VstInt32 index) const;
  bool repeatHeld() const;
  bool clockMode() const;
  void setSliders(float s);
  void stepDelay(int32_t tag, float fineStep);
  void stepFraction(int32_t tag, float fineStep);
  void moveSlider(CInvisibleSlider* moved, float s);
  // Makes the control of a row of the layout and keeps its pointer.
  CControl* makeControl(const ControlPlace& place, CBitmap* aboutImage);
  void clearControlPointers();
  // The scale the sources give now, and the window's rectangle for it.
  double automaticScale() const;
  double wantedScale() const;
  void setRectFor(double newScale);
  // Brings the open window to the wanted scale; UI thread, outside events.
  void applyScale();
  bool onUiThread() const;
  // The parameter a gesture of the control with `tag` changes now, or -1.
  VstInt32 editedParameter(VstInt32 tag) const;
  // Host edit brackets of a parameter; nested brackets reach the host once.
  void openEdit(VstInt32 parameter);
  void closeEdit(VstInt32 parameter);
  void endOpenEdits();
  // Moves the control(s) of parameter `index` to the effect's value; UI thread.
  void showParameter(VstInt32 index);
  // Shows what other threads published since the last idle.
  void applyPublishedValues();

  // The knob, button or switch of each parameter that has one.
  CControl* parameterControls[kNumParams] = {};
  VEKKickButton* delayDown = nullptr;
  VEKKickButton* delayUp = nullptr;
  CInvisibleSlider* delayStrip = nullptr;
  CInvisibleSlider* delayDrag = nullptr;
  CMovieBitmap* digits[4] = {nullptr, nullptr, nullptr, nullptr};
  CMovieBitmap* statusLamps = nullptr;
  CMovieBitmap* bypassLamp = nullptr;
  CMovieBitmap* lfoLamp = nullptr;
  CMovieBitmap* levelMeter = nullptr;
  CAbout* aboutButton = nullptr;
  CScaleMenu* scaleMenu = nullptr;

  double scale = 1.0;        // the window's, or the next open's
  double chosenScale = 0.0;  // the user's, 0 for none
  double hostScale = 0.0;    // the host's, 0 for none

  // Readout state: an edit shows the value being edited for 500 ms.
  bool tempoEditActive = false;
  uint32_t tempoEditTick = 0;
  bool delayEditActive = false;
  uint32_t delayEditTick = 0;
  bool blinkOn = false;
  uint32_t blinkTick = 0;
  uint32_t lastIdleTick = 0;
  // When the engine's process count last moved, to see its status go stale.
  uint32_t lastProcessCalls = 0;
  uint32_t lastProcessTick = 0;

  std::function<uint32_t()> clock;

  // Host edit brackets: depth per parameter, and the parameter each of the
  // panel's own controls began its gesture on.
  int hostEditDepth[kNumParams] = {};
  VstInt32 gestureParameter[kEditorTagEnd - kEditorTagFirst];

  // Set by setParameter on other threads: one bit per changed parameter, set
  // after the effect stored the value.
  std::atomic<uint32_t> changedParameters{0};
  std::atomic<bool> learnOffPending{false};
  std::atomic<bool> forgetOffPending{false};
  // The thread that opened the editor, the only one that touches controls.
  std::atomic<std::thread::id> uiThread{};
  static_assert(std::atomic<std::thread::id>::is_always_lock_free, "no lock on the audio thread");

  const float meterFloor = 0.0630957344f;  // 10^-1.2, the level of -24 dB
  const float meterFallMs = 500.0f;
};
