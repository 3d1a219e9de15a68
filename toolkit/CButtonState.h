// Mouse buttons, modifier keys and mouse-event answers.
#pragma once

#include <cstdint>

enum CButton : int32_t {
  kLButton = 1 << 1,
  kMButton = 1 << 2,
  kRButton = 1 << 3,
  kShift = 1 << 4,
  kControl = 1 << 5,  // Ctrl on Linux; the "command" modifier of the toolkit
  kAlt = 1 << 6,
  kApple = 1 << 7,  // never set on Linux
  kButton4 = 1 << 8,
  kButton5 = 1 << 9,
  kDoubleClick = 1 << 10,
};

// Modifier that switches knobs and sliders to fine adjustment while dragging.
constexpr int32_t kZoomModifier = kShift;
// Modifier that, with a left click, resets a control to its default value.
constexpr int32_t kDefaultValueModifier = kControl;

class CButtonState {
 public:
  CButtonState(int32_t state = 0) : state(state) {}  // NOLINT: used as a plain int

  int32_t getButtonState() const { return state; }
  int32_t getModifierState() const { return state & (kShift | kControl | kAlt | kApple); }
  bool isLeftButton() const { return (state & kLButton) != 0; }
  bool isRightButton() const { return (state & kRButton) != 0; }
  bool isDoubleClick() const { return (state & kDoubleClick) != 0; }

  operator int32_t() const { return state; }  // NOLINT: comparisons with bit masks
  int32_t operator&(int32_t mask) const { return state & mask; }
  int32_t operator|(int32_t mask) const { return state | mask; }
  CButtonState& operator|=(int32_t mask) {
    state |= mask;
    return *this;
  }
  CButtonState& operator&=(int32_t mask) {
    state &= mask;
    return *this;
  }
  bool operator==(int32_t other) const { return state == other; }
  bool operator!=(int32_t other) const { return state != other; }

 private:
  int32_t state;
};

enum CMouseEventResult {
  kMouseEventNotImplemented = 0,
  kMouseEventHandled,
  kMouseEventNotHandled,
  // Handled; the view wants no move or up events for this press (no capture).
  kMouseDownEventHandledButDontNeedMovedOrUpEvents,
  // Handled; the view wants no more move events for this press.
  kMouseMoveEventHandledButDontNeedMoreEvents,
};

// Virtual key codes of VstKeyCode::virt (VST 2.4 numbering).
enum VirtualKeyCode : unsigned char {
  VKEY_BACK = 1,
  VKEY_TAB,
  VKEY_CLEAR,
  VKEY_RETURN,
  VKEY_PAUSE,
  VKEY_ESCAPE,
  VKEY_SPACE,
  VKEY_NEXT,
  VKEY_END,
  VKEY_HOME,
  VKEY_LEFT,
  VKEY_UP,
  VKEY_RIGHT,
  VKEY_DOWN,
  VKEY_PAGEUP,
  VKEY_PAGEDOWN,
  VKEY_SELECT,
  VKEY_PRINT,
  VKEY_ENTER,
  VKEY_SNAPSHOT,
  VKEY_INSERT,
  VKEY_DELETE,
  VKEY_HELP,
  VKEY_NUMPAD0,
  VKEY_NUMPAD1,
  VKEY_NUMPAD2,
  VKEY_NUMPAD3,
  VKEY_NUMPAD4,
  VKEY_NUMPAD5,
  VKEY_NUMPAD6,
  VKEY_NUMPAD7,
  VKEY_NUMPAD8,
  VKEY_NUMPAD9,
  VKEY_MULTIPLY,
  VKEY_ADD,
  VKEY_SEPARATOR,
  VKEY_SUBTRACT,
  VKEY_DECIMAL,
  VKEY_DIVIDE,
  VKEY_F1,
  VKEY_F2,
  VKEY_F3,
  VKEY_F4,
  VKEY_F5,
  VKEY_F6,
  VKEY_F7,
  VKEY_F8,
  VKEY_F9,
  VKEY_F10,
  VKEY_F11,
  VKEY_F12,
  VKEY_NUMLOCK,
  VKEY_SCROLL,
  VKEY_SHIFT,
  VKEY_CONTROL,
  VKEY_ALT,
  VKEY_EQUALS,
};
