// Shared pieces of the toolkit tests: an event log fed by a listener and an
// editor interface, and bitmaps of known solid colours.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/CBitmap.h"
#include "toolkit/CControl.h"
#include "toolkit/CControlListener.h"
#include "toolkit/VSTGUIEditorInterface.h"

// One entry per notification, in order: "begin 6", "value 6 0.5", "end 6".
struct EventLog : CControlListener, VSTGUIEditorInterface {
  std::vector<std::string> events;
  std::vector<float> values;  // every valueChanged value, in order

  void valueChanged(CControl* c) override {
    values.push_back(c->getValue());
    events.push_back("value " + std::to_string(c->getTag()));
  }
  void beginEdit(int32_t index) override { events.push_back("begin " + std::to_string(index)); }
  void endEdit(int32_t index) override { events.push_back("end " + std::to_string(index)); }
  CFrame* getFrame() const override { return nullptr; }
  void clear() {
    events.clear();
    values.clear();
  }
};

// Opaque ARGB colour of image i of a test strip: every image differs.
inline uint32_t stripColour(int i) {
  return 0xFF000000u | (static_cast<uint32_t>(20 + 19 * i) << 16) |
         (static_cast<uint32_t>(200 - 13 * i) << 8) | static_cast<uint32_t>((i * 37) & 0xFF);
}

// A strip of n solid images of w × h stacked vertically.
inline CBitmap* makeStrip(int w, int h, int n) {
  std::vector<uint32_t> px(static_cast<size_t>(w) * h * n);
  for (int i = 0; i < n; ++i)
    for (int p = 0; p < w * h; ++p) px[static_cast<size_t>(i) * w * h + p] = stripColour(i);
  return new CBitmap(w, h * n, px.data());
}

inline CBitmap* makeSolid(int w, int h, uint32_t argb) {
  std::vector<uint32_t> px(static_cast<size_t>(w) * h, argb);
  return new CBitmap(w, h, px.data());
}
