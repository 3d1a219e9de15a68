// Drives a frame without a window: synthetic mouse and key events with
// modifiers, a controllable clock for double clicks, and access to the
// rendered image. Points are device pixels, as a window would report them
// (the frame's logical coordinates at scale 1). Works on any frame (also a windowed one: its back
// buffer is the same image), but is meant for frames created with a null parent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/vst_abi.h"
#include "toolkit/CButtonState.h"
#include "toolkit/CRect.h"

class CFrame;

namespace toolkit {

class OffscreenFrame {
 public:
  // Not owning; the frame must outlive this driver.
  explicit OffscreenFrame(CFrame* frame);

  // Event clock in milliseconds (starts at 100000); events carry its time.
  void advanceTime(uint32_t ms) { now += ms; }
  uint32_t getTime() const { return now; }

  CMouseEventResult mouseDown(CPoint where, CButtonState buttons = kLButton);
  CMouseEventResult mouseMoved(CPoint where, CButtonState buttons = 0);
  CMouseEventResult mouseUp(CPoint where, CButtonState buttons = kLButton);
  // Down, then up at the same point.
  void click(CPoint where, CButtonState buttons = kLButton);
  // The pointer leaves the frame.
  void mouseLeave();
  bool wheel(CPoint where, float distance, CButtonState buttons = 0);
  int32_t keyDown(VstKeyCode key);
  int32_t keyUp(VstKeyCode key);

  // Runs the frame's idle (event processing and redraw of dirty views).
  void idle();
  // Redraws what is dirty and writes the back buffer as PNG; false on error.
  bool renderToPng(const std::string& path);
  // Redraws what is dirty and returns the back buffer as 0xAARRGGBB
  // (premultiplied) pixels, row by row, width × height (device pixels).
  std::vector<uint32_t> surfacePixels();
  int32_t width() const;
  int32_t height() const;

 private:
  CFrame* frame;
  uint32_t now = 100000;
};

}  // namespace toolkit
