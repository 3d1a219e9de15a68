// X11 backend: a child window of the host's window on a display connection of
// our own. Every X call happens inside the frame's idle, open or close, on the
// user-interface thread. X errors on our connection (a parent the host already
// destroyed, focus refused) are caught while we talk to the server, so Xlib's
// default handler, which exits the process, never sees them.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <xkbcommon/xkbcommon.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "toolkit/CFrame.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/PlatformFrame.h"
#include "toolkit/x11/PopupMenuX11.h"

namespace toolkit {
namespace {

// ---------------------------------------------------------------- error trap

// Connections of our own frames; the handler recognises them by these slots.
constexpr int kMaxDisplays = 64;
std::atomic<Display*> ourDisplays[kMaxDisplays];
std::atomic<bool> displayHit[kMaxDisplays];

std::recursive_mutex trapMutex;
int trapDepth = 0;
XErrorHandler savedHandler = nullptr;

int slotOf(Display* display) {
  for (int i = 0; i < kMaxDisplays; ++i)
    if (ourDisplays[i].load() == display) return i;
  return -1;
}

bool registerDisplay(Display* display) {
  for (int i = 0; i < kMaxDisplays; ++i) {
    Display* expected = nullptr;
    if (ourDisplays[i].compare_exchange_strong(expected, display)) return true;
  }
  return false;
}

void unregisterDisplay(Display* display) {
  const int i = slotOf(display);
  if (i >= 0) ourDisplays[i].store(nullptr);
}

int trapHandler(Display* display, XErrorEvent* event) {
  const int i = slotOf(display);
  if (i >= 0) {
    displayHit[i].store(true);
    return 0;
  }
  // Errors of other connections (the host's) go where they went before.
  return savedHandler ? savedHandler(display, event) : 0;
}

// While it lives, X errors on registered connections are recorded instead of
// reaching the process's handler. Nests.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display) : lock(trapMutex), slot(slotOf(display)) {
    if (slot >= 0) displayHit[slot].store(false);
    if (trapDepth++ == 0) savedHandler = XSetErrorHandler(trapHandler);
  }
  ~ErrorTrap() {
    if (--trapDepth == 0) XSetErrorHandler(savedHandler);
  }
  bool hit() const { return slot >= 0 && displayHit[slot].load(); }

 private:
  std::lock_guard<std::recursive_mutex> lock;
  int slot;
};

CButtonState modifiersOf(unsigned int state) {
  int32_t b = 0;
  if (state & ShiftMask) b |= kShift;
  if (state & ControlMask) b |= kControl;
  if (state & Mod1Mask) b |= kAlt;
  return b;
}

CButtonState buttonsHeld(unsigned int state) {
  int32_t b = modifiersOf(state);
  if (state & Button1Mask) b |= kLButton;
  if (state & Button2Mask) b |= kMButton;
  if (state & Button3Mask) b |= kRButton;
  return b;
}

int32_t buttonBit(unsigned int button) {
  switch (button) {
    case Button1:
      return kLButton;
    case Button2:
      return kMButton;
    case Button3:
      return kRButton;
    default:
      return 0;
  }
}

unsigned char virtualKeyOf(KeySym sym) {
  if (sym >= XK_F1 && sym <= XK_F12) return static_cast<unsigned char>(VKEY_F1 + (sym - XK_F1));
  if (sym >= XK_KP_0 && sym <= XK_KP_9)
    return static_cast<unsigned char>(VKEY_NUMPAD0 + (sym - XK_KP_0));
  switch (sym) {
    case XK_BackSpace:
      return VKEY_BACK;
    case XK_Tab:
    case XK_ISO_Left_Tab:
      return VKEY_TAB;
    case XK_Clear:
      return VKEY_CLEAR;
    case XK_Return:
      return VKEY_RETURN;
    case XK_Pause:
      return VKEY_PAUSE;
    case XK_Escape:
      return VKEY_ESCAPE;
    case XK_space:
      return VKEY_SPACE;
    case XK_End:
      return VKEY_END;
    case XK_Home:
      return VKEY_HOME;
    case XK_Left:
      return VKEY_LEFT;
    case XK_Up:
      return VKEY_UP;
    case XK_Right:
      return VKEY_RIGHT;
    case XK_Down:
      return VKEY_DOWN;
    case XK_Page_Up:
      return VKEY_PAGEUP;
    case XK_Page_Down:
      return VKEY_PAGEDOWN;
    case XK_KP_Enter:
      return VKEY_ENTER;
    case XK_Insert:
      return VKEY_INSERT;
    case XK_Delete:
      return VKEY_DELETE;
    case XK_Help:
      return VKEY_HELP;
    case XK_KP_Multiply:
      return VKEY_MULTIPLY;
    case XK_KP_Add:
      return VKEY_ADD;
    case XK_KP_Subtract:
      return VKEY_SUBTRACT;
    case XK_KP_Decimal:
      return VKEY_DECIMAL;
    case XK_KP_Divide:
      return VKEY_DIVIDE;
    case XK_Num_Lock:
      return VKEY_NUMLOCK;
    case XK_Scroll_Lock:
      return VKEY_SCROLL;
    case XK_Shift_L:
    case XK_Shift_R:
      return VKEY_SHIFT;
    case XK_Control_L:
    case XK_Control_R:
      return VKEY_CONTROL;
    case XK_Alt_L:
    case XK_Alt_R:
      return VKEY_ALT;
    case XK_KP_Equal:
      return VKEY_EQUALS;
    default:
      return 0;
  }
}

VstKeyCode keyCodeOf(XKeyEvent* event) {
  char text[8] = {0};
  KeySym sym = NoSymbol;
  XLookupString(event, text, sizeof(text) - 1, &sym, nullptr);
  VstKeyCode key{};
  key.virt = virtualKeyOf(sym);
  // The character as Unicode, whatever the layout (Latin-1 text would lose
  // every other script); with Ctrl held it is still the key's letter.
  if (key.virt == 0) key.character = static_cast<VstInt32>(xkb_keysym_to_utf32(sym));
  if (key.virt == VKEY_SPACE) key.character = ' ';
  unsigned char mods = 0;
  if (event->state & ShiftMask) mods |= MODIFIER_SHIFT;
  if (event->state & Mod1Mask) mods |= MODIFIER_ALTERNATE;
  if (event->state & ControlMask) mods |= MODIFIER_CONTROL;
  key.modifier = mods;
  return key;
}

// ---------------------------------------------------------------- window

class X11Frame : public PlatformFrame {
 public:
  X11Frame(CFrame* frame, Display* display, Window window, int width, int height)
      : PlatformFrame(frame, width, height), display(display), window(window) {
    XWindowAttributes attrs;
    XGetWindowAttributes(display, window, &attrs);
    windowSurface = cairo_xlib_surface_create(display, window, attrs.visual, width, height);
  }

  ~X11Frame() override {
    {
      ErrorTrap trap(display);
      dropPopup();
      // Finished before the window goes: cairo must not touch a dead drawable.
      cairo_surface_finish(windowSurface);
      cairo_surface_destroy(windowSurface);
      // A DestroyNotify still queued means the host already took the window.
      XSync(display, False);
      XEvent event;
      while (alive && XCheckTypedWindowEvent(display, window, DestroyNotify, &event)) alive = false;
      if (alive) XDestroyWindow(display, window);
      XSync(display, False);
    }
    XCloseDisplay(display);
    unregisterDisplay(display);
  }

  bool isWindowed() const override { return true; }
  unsigned long nativeWindow() const override { return window; }

  unsigned long topLevelWindow() const override {
    if (!alive) return 0;
    ErrorTrap trap(display);
    // Up the tree to the child of the root: the window a window manager manages.
    Window current = window;
    for (int depth = 0; depth < 64; ++depth) {
      Window root = 0, parent = 0, *children = nullptr;
      unsigned count = 0;
      if (!XQueryTree(display, current, &root, &parent, &children, &count)) return 0;
      if (children) XFree(children);
      if (parent == 0 || parent == root) return trap.hit() ? 0 : current;
      current = parent;
    }
    return 0;
  }

  void resize(int width, int height) override {
    PlatformFrame::resize(width, height);
    pendingExpose = CRect(0, 0, w, h);
    if (!alive) return;
    ErrorTrap trap(display);
    XResizeWindow(display, window, static_cast<unsigned>(w), static_cast<unsigned>(h));
    cairo_xlib_surface_set_size(windowSurface, w, h);
    XFlush(display);
  }

  void processEvents() override {
    ErrorTrap trap(display);
    while (alive && XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      handle(event);
    }
    if (alive && trap.hit()) checkAlive();
  }

  void present(const CRect& area) override {
    CRect dirty(pendingExpose);
    dirty.unite(area);
    pendingExpose = CRect();
    if (!alive || dirty.isEmpty()) return;
    ErrorTrap trap(display);
    cairo_t* cr = cairo_create(windowSurface);
    cairo_rectangle(cr, dirty.left, dirty.top, dirty.getWidth(), dirty.getHeight());
    cairo_clip(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, buffer, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(windowSurface);
    XFlush(display);
  }

  bool openPopupList(COptionMenu* menu) override {
    if (!alive || !menu) return false;
    ErrorTrap trap(display);
    if (popup) {
      COptionMenu* old = popup->menu();
      dropPopup(false);
      old->popupCancelled();
      old->forget();
    }
    popup = PopupMenuX11::open(display, window, menu, frame->getScale());
    if (!popup) return false;
    menu->remember();  // the list tells the menu when it closes
    return true;
  }

  void closePopupList(COptionMenu* menu) override {
    if (!popup || popup->menu() != menu) return;
    ErrorTrap trap(display);
    dropPopup();
  }

  void takeKeyboardFocus() override {
    if (!alive) return;
    XWindowAttributes attrs;
    if (XGetWindowAttributes(display, window, &attrs) && attrs.map_state == IsViewable)
      XSetInputFocus(display, window, RevertToParent, CurrentTime);
  }

 private:
  void checkAlive() {
    ErrorTrap trap(display);
    XWindowAttributes attrs;
    if (!XGetWindowAttributes(display, window, &attrs) || trap.hit()) alive = false;
  }

  // Destroys the list's window; forget: release the menu too.
  void dropPopup(bool forget = true) {
    if (!popup) return;
    COptionMenu* menu = popup->menu();
    delete popup;
    popup = nullptr;
    if (forget) menu->forget();
  }

  void handlePopup(XEvent& event) {
    int32_t chosen = -1;
    const PopupMenuX11::Outcome outcome = popup->handle(event, &chosen);
    if (outcome == PopupMenuX11::kStillOpen) return;
    // The window goes before the menu hears of it: its listener may do anything.
    COptionMenu* menu = popup->menu();
    dropPopup(false);
    if (outcome == PopupMenuX11::kChosen)
      menu->popupChosen(chosen);
    else
      menu->popupCancelled();
    menu->forget();
  }

  void handle(XEvent& event) {
    if (popup && event.xany.window == popup->window()) {
      handlePopup(event);
      return;
    }
    if (event.xany.window != window) return;  // a closed list's last events
    switch (event.type) {
      case Expose: {
        const XExposeEvent& e = event.xexpose;
        pendingExpose.unite(CRect(e.x, e.y, e.x + e.width, e.y + e.height));
        break;
      }
      case ButtonPress: {
        const XButtonEvent& e = event.xbutton;
        const CPoint where(e.x, e.y);
        if (e.button == Button4 || e.button == Button5) {
          frame->platformWheel(where, e.button == Button4 ? 1.f : -1.f, buttonsHeld(e.state));
        } else if (int32_t bit = buttonBit(e.button)) {
          frame->platformMouseDown(where, modifiersOf(e.state) | bit,
                                   static_cast<uint32_t>(e.time));
        }
        break;
      }
      case ButtonRelease: {
        const XButtonEvent& e = event.xbutton;
        if (int32_t bit = buttonBit(e.button))
          frame->platformMouseUp(CPoint(e.x, e.y), modifiersOf(e.state) | bit);
        break;
      }
      case MotionNotify: {
        // A run of motions counts as its latest one; a press or release after
        // it keeps its place, so a quick drag arriving in one idle is whole.
        XEvent next;
        while (XEventsQueued(display, QueuedAlready) > 0) {
          XPeekEvent(display, &next);
          if (next.type != MotionNotify || next.xany.window != window) break;
          XNextEvent(display, &event);
        }
        const XMotionEvent& e = event.xmotion;
        frame->platformMouseMoved(CPoint(e.x, e.y), buttonsHeld(e.state));
        break;
      }
      case EnterNotify: {
        const XCrossingEvent& e = event.xcrossing;
        frame->platformMouseMoved(CPoint(e.x, e.y), buttonsHeld(e.state));
        break;
      }
      case LeaveNotify: {
        const XCrossingEvent& e = event.xcrossing;
        if (e.detail != NotifyInferior)
          frame->platformMouseLeft(CPoint(e.x, e.y), buttonsHeld(e.state));
        break;
      }
      case KeyPress: {
        VstKeyCode key = keyCodeOf(&event.xkey);
        frame->platformKeyDown(key);
        break;
      }
      case KeyRelease: {
        VstKeyCode key = keyCodeOf(&event.xkey);
        frame->platformKeyUp(key);
        break;
      }
      case FocusOut: {
        // Not a loss: focus moving into a child, our own window taking the
        // focus from the pointer root (NotifyPointer), or a passing grab.
        const XFocusChangeEvent& e = event.xfocus;
        if (e.detail != NotifyInferior && e.detail != NotifyPointer && e.mode == NotifyNormal)
          frame->platformFocusLost();
        break;
      }
      case DestroyNotify:
        if (event.xdestroywindow.window == window) alive = false;
        break;
      default:
        break;
    }
  }

  Display* display;
  Window window;
  cairo_surface_t* windowSurface = nullptr;
  CRect pendingExpose;
  PopupMenuX11* popup = nullptr;  // the open list of an option menu
  bool alive = true;
};

}  // namespace

PlatformFrame* createX11Frame(CFrame* frame, void* parent, int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  // Never the host's connection: ours is used on our terms only.
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  if (!registerDisplay(display)) {
    XCloseDisplay(display);
    return nullptr;
  }
  const Window parentWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(parent));
  Window window = 0;
  bool ok = false;
  {
    ErrorTrap trap(display);
    XWindowAttributes parentAttrs;
    if (XGetWindowAttributes(display, parentWindow, &parentAttrs) && !trap.hit()) {
      XSetWindowAttributes attrs{};
      attrs.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                         EnterWindowMask | LeaveWindowMask | KeyPressMask | KeyReleaseMask |
                         FocusChangeMask | StructureNotifyMask;
      attrs.background_pixel = BlackPixel(display, DefaultScreen(display));
      attrs.border_pixel = 0;
      window = XCreateWindow(display, parentWindow, 0, 0, static_cast<unsigned>(width),
                             static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                             CopyFromParent, CWEventMask | CWBackPixel | CWBorderPixel, &attrs);
      // Some hosts (REAPER) map an embedded window only once they see this.
      const Atom xembedInfo = XInternAtom(display, "_XEMBED_INFO", False);
      const long info[2] = {0 /* version */, 1 /* XEMBED_MAPPED */};
      XChangeProperty(display, window, xembedInfo, xembedInfo, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(info), 2);
      XMapWindow(display, window);
      XSync(display, False);
      ok = !trap.hit();
      if (!ok && window) {
        XDestroyWindow(display, window);
        XSync(display, False);
      }
    }
  }
  if (!ok) {
    XCloseDisplay(display);
    unregisterDisplay(display);
    return nullptr;
  }
  return new X11Frame(frame, display, window, width, height);
}

}  // namespace toolkit
