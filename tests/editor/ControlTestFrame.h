// A bare offscreen frame for testing single controls: records the edit
// brackets that reach the editor side and every listener call.
#pragma once

#include <utility>
#include <vector>

#include "toolkit/CControl.h"
#include "toolkit/CControlListener.h"
#include "toolkit/CFrame.h"
#include "toolkit/OffscreenFrame.h"
#include "toolkit/VSTGUIEditorInterface.h"

struct ListenerCall {
  int32_t tag;
  float value;
};

class RecordingEditor : public VSTGUIEditorInterface, public CControlListener {
 public:
  void beginEdit(int32_t index) override { edits.push_back({'b', index}); }
  void endEdit(int32_t index) override { edits.push_back({'e', index}); }
  CFrame* getFrame() const override { return frame; }
  void valueChanged(CControl* control) override {
    calls.push_back({control->getTag(), control->getValue()});
    // The edit must be open while the listener hears the value.
    openWhileNotified.push_back(openEdits() > 0);
  }
  int openEdits() const {
    int n = 0;
    for (const auto& e : edits) n += e.first == 'b' ? 1 : -1;
    return n;
  }

  CFrame* frame = nullptr;
  std::vector<std::pair<char, int32_t>> edits;
  std::vector<ListenerCall> calls;
  std::vector<bool> openWhileNotified;
};

class ControlTestFrame {
 public:
  explicit ControlTestFrame(const CRect& size = CRect(0, 0, 400, 1200)) {
    editor.frame = new CFrame(size, nullptr, &editor);
    driver = new toolkit::OffscreenFrame(editor.frame);
  }
  ~ControlTestFrame() {
    delete driver;
    editor.frame->close();
  }
  template <class T>
  T* add(T* control) {
    editor.frame->addView(control);
    return control;
  }

  RecordingEditor editor;
  toolkit::OffscreenFrame* driver;
};
