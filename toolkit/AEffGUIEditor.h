// The toolkit's binding of a frame to the VST 2.4 editor interface.
// Threads: everything here runs on the host's UI thread, except setParameter,
// which a host may call from its automation thread (it only moves values).
//
// Backend: a derived editor creates its CFrame with the pointer open() got.
// A host passes its X11 Window id, which gives a real child window; a null
// pointer gives an offscreen frame (tests, screenshots).
#pragma once

#include <cstdint>

#include "host/AEffEditor.h"
#include "toolkit/VSTGUIEditorInterface.h"

class AudioEffect;
class CFrame;

enum { kCircularMode = 0, kRelativCircularMode = 1, kLinearMode = 2 };

class AEffGUIEditor : public AEffEditor, public VSTGUIEditorInterface {
 public:
  explicit AEffGUIEditor(AudioEffect* effect);  // registers itself with effect->setEditor
  ~AEffGUIEditor() override;                    // closes a frame that is still open

  bool getRect(ERect** ppRect) override;  // points to `rect`
  bool open(void* ptr) override;          // records the parent; derived classes build the frame
  void close() override;                  // closes the frame if the derived class did not
  void idle() override;                   // frame events and redraw
  bool onKeyDown(VstKeyCode& keyCode) override;
  bool onKeyUp(VstKeyCode& keyCode) override;
  bool onWheel(float distance) override;    // at the current mouse position
  bool setKnobMode(VstInt32 val) override;  // process-wide; answers true

  // setParameter (AEffEditor): the effect's parameter changes; none here.
  // Edit brackets of a user gesture, passed on to the host.
  void beginEdit(VstInt32 index) override;
  void endEdit(VstInt32 index) override;

  static VstInt32 getKnobMode();  // kCircularMode until set
  uint32_t getTicks();            // milliseconds, monotonic
  // Frame events and redraw, then idle time for the host (audioMasterIdle).
  void doIdleStuff() override;
  CFrame* getFrame() const override { return frame; }

 protected:
  ERect rect;
  CFrame* frame = nullptr;

 private:
  bool inIdleStuff = false;
};
