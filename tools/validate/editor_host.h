// A parent window on its own X connection for a plug-in's editor, as a host
// gives it: effEditOpen with the window in ptr (and the Display* in value),
// idle calls, effEditClose; and the counts the editor checks compare.
#pragma once

#include <X11/Xlib.h>

#include <string>

#include "tools/validate/instance.h"

namespace validate {

class EditorHost {
 public:
  // Opens the display; throws HostError(kExitIo) without one.
  EditorHost();
  ~EditorHost();
  EditorHost(const EditorHost&) = delete;
  EditorHost& operator=(const EditorHost&) = delete;

  // effEditOpen into a fresh parent window of the rect's size (400x300 when
  // the plug-in gives none); false when the plug-in answers 0.
  bool open(Instance& inst);
  void idle(Instance& inst);   // effEditIdle and our own events
  void close(Instance& inst);  // effEditClose; the parent stays until the next open
  bool isOpen() const { return open_; }

  int childWindows() const;  // children of the parent window now
  Display* display() const { return display_; }

  // X protocol errors seen by the process-wide handler since start.
  static long xErrors();
  static std::string firstXError();

 private:
  Display* display_ = nullptr;
  Window parent_ = 0;
  bool open_ = false;
};

int openDescriptors();  // entries of /proc/self/fd

}  // namespace validate
