#include "toolkit/x11/PopupMenuX11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>

#include <algorithm>
#include <cmath>

#include "toolkit/CDrawContext.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/DeviceScale.h"

namespace toolkit {
namespace {

constexpr int kPadding = 6;     // left and right of a title
constexpr int kMarkSpace = 12;  // room for the current-entry mark
constexpr CColor kListBack(246, 246, 246, 255);
constexpr CColor kListBorder(120, 120, 120, 255);
constexpr CColor kListText(20, 20, 20, 255);
constexpr CColor kHighlightBack(51, 102, 204, 255);
constexpr CColor kHighlightText(255, 255, 255, 255);

}  // namespace

PopupMenuX11::PopupMenuX11(Display* display, COptionMenu* menu, double scale)
    : display(display), owner(menu), font(*menu->getFont()), scale(scale > 0 ? scale : 1.0) {}

PopupMenuX11* PopupMenuX11::open(Display* display, Window frameWindow, COptionMenu* menu,
                                 double scale) {
  const int32_t n = menu->getNbEntries();
  if (n <= 0) return nullptr;
  auto* list = new PopupMenuX11(display, menu, scale);
  for (int32_t i = 0; i < n; ++i) list->titles.emplace_back(menu->getEntry(i));
  list->current = menu->getCurrentIndex();
  list->highlighted = list->current;
  list->markCurrent = (menu->getStyle() & COptionMenu::kCheckStyle) != 0;
  list->perColumn = menu->getNbItemsPerColumn() > 0 ? std::min(menu->getNbItemsPerColumn(), n) : n;

  // Measure the titles in the menu's font, as they will be drawn.
  {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(s);
    {
      CDrawContext context(cr, CRect(0, 0, 1, 1), list->scale);
      context.setFont(&list->font);
      CCoord widest = 0;
      for (const std::string& t : list->titles)
        widest = std::max(widest, context.getStringWidth(t.c_str()));
      list->columnWidth = static_cast<int>(std::ceil(widest)) + 2 * kPadding + kMarkSpace;
    }
    cairo_destroy(cr);
    cairo_surface_destroy(s);
  }
  const CRect anchor = toolkit::deviceRect(menu->getViewSize(), list->scale);
  const int columns = (n + list->perColumn - 1) / list->perColumn;
  list->columnWidth =
      std::max(list->columnWidth, static_cast<int>(menu->getViewSize().getWidth()) / columns);
  list->rowHeight = static_cast<int>(std::ceil(list->font.getSize())) + 6;
  list->width = columns * list->columnWidth + 2;
  list->height = list->perColumn * list->rowHeight + 2;
  list->deviceWidth = toolkit::devicePixels(list->width, list->scale);
  list->deviceHeight = toolkit::devicePixels(list->height, list->scale);

  // Below the menu, in screen coordinates; above it if the screen ends first.
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  int originX = 0, originY = 0;
  Window child = 0;
  XTranslateCoordinates(display, frameWindow, root, 0, 0, &originX, &originY, &child);
  const int screenW = DisplayWidth(display, screen), screenH = DisplayHeight(display, screen);
  int x = originX + static_cast<int>(anchor.left);
  int y = originY + static_cast<int>(anchor.bottom);
  if (y + list->deviceHeight > screenH)
    y = originY + static_cast<int>(anchor.top) - list->deviceHeight;
  if (y < 0) y = std::max(0, screenH - list->deviceHeight);
  x = std::max(0, std::min(x, screenW - list->deviceWidth));

  XSetWindowAttributes attrs{};
  attrs.override_redirect = True;
  attrs.save_under = True;
  attrs.background_pixel = WhitePixel(display, screen);
  attrs.border_pixel = 0;
  attrs.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                     KeyPressMask | StructureNotifyMask;
  list->win = XCreateWindow(
      display, root, x, y, static_cast<unsigned>(list->deviceWidth),
      static_cast<unsigned>(list->deviceHeight), 0, CopyFromParent, InputOutput, CopyFromParent,
      CWOverrideRedirect | CWSaveUnder | CWBackPixel | CWBorderPixel | CWEventMask, &attrs);
  if (!list->win) {
    delete list;
    return nullptr;
  }
  // Tells compositors what this is.
  const Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
  const Atom popupMenu = XInternAtom(display, "_NET_WM_WINDOW_TYPE_POPUP_MENU", False);
  XChangeProperty(display, list->win, type, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&popupMenu), 1);
  XSetTransientForHint(display, list->win, frameWindow);
  list->windowSurface = cairo_xlib_surface_create(
      display, list->win, DefaultVisual(display, screen), list->deviceWidth, list->deviceHeight);
  XMapRaised(display, list->win);
  // An override-redirect window is viewable at once; the grab may still fail
  // (another client holds one), then it is tried again when the map arrives.
  list->grab();
  XFlush(display);
  return list;
}

PopupMenuX11::~PopupMenuX11() {
  if (windowSurface) {
    cairo_surface_finish(windowSurface);
    cairo_surface_destroy(windowSurface);
  }
  if (win) {
    if (grabbed) {
      XUngrabPointer(display, CurrentTime);
      XUngrabKeyboard(display, CurrentTime);
    }
    XDestroyWindow(display, win);
    XFlush(display);
  }
}

void PopupMenuX11::grab() {
  if (grabbed) return;
  const int pointer =
      XGrabPointer(display, win, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                   GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
  if (pointer != GrabSuccess) return;
  XGrabKeyboard(display, win, False, GrabModeAsync, GrabModeAsync, CurrentTime);
  grabbed = true;
}

CRect PopupMenuX11::entryRect(int32_t index) const {
  const int column = index / perColumn, row = index % perColumn;
  const CCoord left = 1 + column * columnWidth, top = 1 + row * rowHeight;
  return CRect(left, top, left + columnWidth, top + rowHeight);
}

bool PopupMenuX11::inside(int x, int y) const {
  return x >= 0 && y >= 0 && x < deviceWidth && y < deviceHeight;
}

int32_t PopupMenuX11::entryAt(int deviceX, int deviceY) const {
  const double x = deviceX / scale, y = deviceY / scale;
  if (x < 1 || y < 1 || x >= width - 1 || y >= height - 1) return -1;
  const auto column = static_cast<int32_t>((x - 1) / columnWidth);
  const auto row = static_cast<int32_t>((y - 1) / rowHeight);
  if (row >= perColumn) return -1;
  const int32_t index = column * perColumn + row;
  return index < static_cast<int32_t>(titles.size()) ? index : -1;
}

void PopupMenuX11::redraw() {
  if (!windowSurface) return;
  cairo_surface_t* image =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, deviceWidth, deviceHeight);
  cairo_t* cr = cairo_create(image);
  {
    CDrawContext context(cr, CRect(0, 0, width, height), scale);
    context.setFillColor(kListBack);
    context.drawRect(CRect(0, 0, width, height), kDrawFilled);
    context.setFrameColor(kListBorder);
    context.setLineWidth(1);
    context.drawRect(CRect(0.5, 0.5, width - 0.5, height - 0.5), kDrawStroked);
    context.setFont(&font);
    for (int32_t i = 0; i < static_cast<int32_t>(titles.size()); ++i) {
      const CRect r = entryRect(i);
      const bool lit = i == highlighted;
      if (lit) {
        context.setFillColor(kHighlightBack);
        context.drawRect(r, kDrawFilled);
      }
      const CColor ink = lit ? kHighlightText : kListText;
      if (markCurrent && i == current) {
        const CCoord d = 5, cx = r.left + kPadding, cy = r.top + (r.getHeight() - d) / 2;
        context.setFillColor(ink);
        context.drawEllipse(CRect(cx, cy, cx + d, cy + d), kDrawFilled);
      }
      context.setFontColor(ink);
      CRect textRect(r);
      textRect.left += kPadding + kMarkSpace;
      textRect.right -= kPadding;
      context.drawString(titles[static_cast<size_t>(i)].c_str(), textRect, kLeftText);
    }
  }
  cairo_destroy(cr);
  cairo_surface_flush(image);
  cairo_t* out = cairo_create(windowSurface);
  cairo_set_operator(out, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(out, image, 0, 0);
  cairo_paint(out);
  cairo_destroy(out);
  cairo_surface_destroy(image);
  cairo_surface_flush(windowSurface);
  XFlush(display);
}

PopupMenuX11::Outcome PopupMenuX11::handle(XEvent& event, int32_t* chosen) {
  const int32_t last = static_cast<int32_t>(titles.size()) - 1;
  switch (event.type) {
    case MapNotify:
      grab();
      break;
    case Expose:
      if (event.xexpose.count == 0) redraw();
      break;
    case MotionNotify: {
      XEvent next;
      while (XCheckTypedWindowEvent(display, win, MotionNotify, &next)) event = next;
      const XMotionEvent& e = event.xmotion;
      const int32_t at = entryAt(e.x, e.y);
      if (at >= 0 && (e.state & (Button1Mask | Button3Mask))) armed = true;
      if (at >= 0 && at != highlighted) {
        highlighted = at;
        redraw();
      }
      break;
    }
    case ButtonPress: {
      const XButtonEvent& e = event.xbutton;
      if (e.button != Button1 && e.button != Button2 && e.button != Button3) break;  // wheel
      if (!inside(e.x, e.y)) return kCancelled;
      armed = true;
      const int32_t at = entryAt(e.x, e.y);
      if (at >= 0 && at != highlighted) {
        highlighted = at;
        redraw();
      }
      break;
    }
    case ButtonRelease: {
      const XButtonEvent& e = event.xbutton;
      if (e.button != Button1 && e.button != Button2 && e.button != Button3) break;
      const int32_t at = entryAt(e.x, e.y);
      if (armed && at >= 0) {
        *chosen = at;
        return kChosen;
      }
      break;
    }
    case KeyPress: {
      char text[8];
      KeySym sym = NoSymbol;
      XLookupString(&event.xkey, text, sizeof(text), &sym, nullptr);
      int32_t next = highlighted;
      switch (sym) {
        case XK_Up:
        case XK_KP_Up:
          next = highlighted < 0 ? last : std::max(0, highlighted - 1);
          break;
        case XK_Down:
        case XK_KP_Down:
          next = std::min(last, highlighted + 1);
          break;
        case XK_Left:
        case XK_KP_Left:
          if (highlighted >= perColumn) next = highlighted - perColumn;
          break;
        case XK_Right:
        case XK_KP_Right:
          if (highlighted >= 0 && highlighted + perColumn <= last) next = highlighted + perColumn;
          break;
        case XK_Home:
        case XK_KP_Home:
          next = 0;
          break;
        case XK_End:
        case XK_KP_End:
          next = last;
          break;
        case XK_Return:
        case XK_KP_Enter:
        case XK_space:
          if (highlighted >= 0) {
            *chosen = highlighted;
            return kChosen;
          }
          break;
        case XK_Escape:
          return kCancelled;
        default:
          break;
      }
      if (next != highlighted) {
        highlighted = next;
        redraw();
      }
      break;
    }
    case UnmapNotify:
    case DestroyNotify:
      return kCancelled;
    default:
      break;
  }
  return kStillOpen;
}

}  // namespace toolkit
