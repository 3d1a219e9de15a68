// Private: the backend behind a CFrame. Holds the back buffer (an image surface
// every backend draws into) and, for the X11 backend, the window.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "toolkit/CRect.h"

class CFrame;
class COptionMenu;

namespace toolkit {

class PlatformFrame {
 public:
  // The X11 backend when `parent` is an X11 Window id and the display opens;
  // the offscreen backend otherwise. Never null.
  static PlatformFrame* create(CFrame* frame, void* parent, int width, int height);

  PlatformFrame(CFrame* frame, int width, int height);
  virtual ~PlatformFrame();
  PlatformFrame(const PlatformFrame&) = delete;
  PlatformFrame& operator=(const PlatformFrame&) = delete;

  cairo_surface_t* backBuffer() const { return buffer; }
  int width() const { return w; }
  int height() const { return h; }

  virtual bool isWindowed() const { return false; }
  // A new size in device pixels: a new, empty back buffer (and window size).
  virtual void resize(int width, int height);
  // The native window (an X11 Window id); 0 for the offscreen backend.
  virtual unsigned long nativeWindow() const { return 0; }
  // The top-level window holding ours (the host's), for dialogs to stay above
  // it; 0 when there is none.
  virtual unsigned long topLevelWindow() const { return 0; }
  // Dispatches pending window events into the frame; never blocks.
  virtual void processEvents() {}
  // Copies `area` of the back buffer to the screen.
  virtual void present(const CRect& /*area*/) {}
  // Called on a click: the window asks for keyboard focus.
  virtual void takeKeyboardFocus() {}
  // Shows the pop-up list of `menu` in a window of its own, drawn at the
  // frame's scale, and later tells the menu popupChosen or popupCancelled,
  // after the window is gone. false when the backend has no such window (the
  // menu then simulates its list). One list at a time: a new one cancels the
  // old.
  virtual bool openPopupList(COptionMenu* /*menu*/) { return false; }
  // Closes the list of `menu`, if shown, without telling the menu.
  virtual void closePopupList(COptionMenu* /*menu*/) {}

 protected:
  CFrame* frame;
  int w;
  int h;
  cairo_surface_t* buffer;
};

// The X11 backend, or null when the display or the window cannot be made.
PlatformFrame* createX11Frame(CFrame* frame, void* parent, int width, int height);

}  // namespace toolkit
