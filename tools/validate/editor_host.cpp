#include "tools/validate/editor_host.h"

#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "tools/base/cli.h"

namespace validate {

namespace {

std::atomic<long> errors{0};
char firstError[160];

int countError(Display* d, XErrorEvent* e) {
  if (errors.fetch_add(1) == 0) {
    char text[96] = {};
    XGetErrorText(d, e->error_code, text, sizeof text - 1);
    std::snprintf(firstError, sizeof firstError, "%s (request %d.%d)", text, e->request_code,
                  e->minor_code);
  }
  return 0;
}

void installHandler() {
  static std::once_flag once;
  std::call_once(once, [] { XSetErrorHandler(countError); });
}

}  // namespace

long EditorHost::xErrors() {
  return errors.load();
}

std::string EditorHost::firstXError() {
  return firstError;
}

EditorHost::EditorHost() {
  installHandler();
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') throw khost::HostError(khost::kExitIo, "no DISPLAY");
  // A busy server may refuse a connection for a moment.
  for (int attempt = 0; attempt < 40 && display_ == nullptr; ++attempt) {
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) usleep(50000);
  }
  if (display_ == nullptr)
    throw khost::HostError(khost::kExitIo, std::string("cannot open X display ") + name);
}

EditorHost::~EditorHost() {
  if (parent_ != 0) XDestroyWindow(display_, parent_);
  if (display_ != nullptr) XCloseDisplay(display_);
}

bool EditorHost::open(Instance& inst) {
  int width = 400, height = 300;
  ERect* rect = nullptr;
  inst.dispatch(effEditGetRect, 0, 0, &rect);
  if (rect != nullptr && rect->right > rect->left && rect->bottom > rect->top &&
      rect->right - rect->left <= 8192 && rect->bottom - rect->top <= 8192) {
    width = rect->right - rect->left;
    height = rect->bottom - rect->top;
  }
  if (parent_ != 0) XDestroyWindow(display_, parent_);
  const int screen = DefaultScreen(display_);
  parent_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0,
                                static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                BlackPixel(display_, screen), BlackPixel(display_, screen));
  XSelectInput(display_, parent_, StructureNotifyMask | SubstructureNotifyMask);
  XMapWindow(display_, parent_);
  XSync(display_, False);
  inst.host().sizeWindow = [this](int w, int h) {
    if (w <= 0 || h <= 0 || parent_ == 0) return false;
    XResizeWindow(display_, parent_, static_cast<unsigned>(w), static_cast<unsigned>(h));
    XFlush(display_);
    return true;
  };
  const VstIntPtr ok = inst.dispatch(effEditOpen, 0, reinterpret_cast<VstIntPtr>(display_),
                                     reinterpret_cast<void*>(static_cast<uintptr_t>(parent_)));
  open_ = true;
  XSync(display_, False);
  return ok != 0;
}

void EditorHost::idle(Instance& inst) {
  while (XPending(display_) > 0) {
    XEvent ev;
    XNextEvent(display_, &ev);
  }
  if (open_) inst.dispatch(effEditIdle);
}

void EditorHost::close(Instance& inst) {
  if (open_) inst.dispatch(effEditClose);
  open_ = false;
  inst.host().sizeWindow = nullptr;
  XSync(display_, False);
}

int EditorHost::childWindows() const {
  if (parent_ == 0) return 0;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display_, parent_, &root, &parent, &children, &count)) return -1;
  if (children != nullptr) XFree(children);
  return static_cast<int>(count);
}

int openDescriptors() {
  DIR* d = opendir("/proc/self/fd");
  if (d == nullptr) return -1;
  int n = 0;
  while (readdir(d) != nullptr) ++n;
  closedir(d);
  return n - 3;  // ".", ".." and the directory's own descriptor
}

}  // namespace validate
