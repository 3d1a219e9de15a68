// What a frame needs from the editor that owns it: the edit brackets of user
// gestures (passed on to the host) and the frame itself.
#pragma once

#include <cstdint>

class CFrame;

class VSTGUIEditorInterface {
 public:
  virtual ~VSTGUIEditorInterface() {}
  virtual void beginEdit(int32_t /*index*/) {}
  virtual void endEdit(int32_t /*index*/) {}
  virtual CFrame* getFrame() const = 0;
  virtual void doIdleStuff() {}
};
