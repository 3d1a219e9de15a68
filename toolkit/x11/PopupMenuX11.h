// Private to the X11 backend: the pop-up list of an option menu as an
// override-redirect top-level window on the frame's display connection. It
// grabs the pointer and the keyboard while shown, so that a click outside it
// (anywhere on the screen) closes it and keys reach it whoever has the focus.
// The frame's event loop hands it the events of its window.
#pragma once

#include <X11/Xlib.h>
#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/CFontDesc.h"
#include "toolkit/CRect.h"

class COptionMenu;

namespace toolkit {

class PopupMenuX11 {
 public:
  // Opens the list of `menu` below the menu's rectangle in `frameWindow`
  // (above it when the screen ends first), drawn at the frame's `scale`. Null
  // when the window cannot be made.
  static PopupMenuX11* open(Display* display, Window frameWindow, COptionMenu* menu,
                            double scale = 1.0);
  ~PopupMenuX11();  // ungrabs and destroys the window
  PopupMenuX11(const PopupMenuX11&) = delete;
  PopupMenuX11& operator=(const PopupMenuX11&) = delete;

  enum Outcome { kStillOpen, kChosen, kCancelled };
  // Handles one event of the list's window; on kChosen, *chosen is the entry.
  Outcome handle(XEvent& event, int32_t* chosen);

  Window window() const { return win; }
  COptionMenu* menu() const { return owner; }
  int32_t highlightedIndex() const { return highlighted; }

 private:
  PopupMenuX11(Display* display, COptionMenu* menu, double scale);
  void grab();
  void redraw();
  // The entry at a point of the window (device pixels), or -1.
  int32_t entryAt(int x, int y) const;
  bool inside(int x, int y) const;
  CRect entryRect(int32_t index) const;

  Display* display;
  COptionMenu* owner;
  Window win = 0;
  cairo_surface_t* windowSurface = nullptr;
  std::vector<std::string> titles;
  CFontDesc font;
  int32_t current = -1;
  int32_t highlighted = -1;
  int32_t perColumn = 1;
  bool markCurrent = false;
  double scale = 1.0;
  // The list's layout in logical pixels; its window has the device pixels.
  int width = 0;
  int height = 0;
  int rowHeight = 0;
  int columnWidth = 0;
  int deviceWidth = 0;
  int deviceHeight = 0;
  bool grabbed = false;
  // A release chooses only after a press inside the list or a drag over it,
  // so the release of the click that opened the list does not.
  bool armed = false;
};

}  // namespace toolkit
