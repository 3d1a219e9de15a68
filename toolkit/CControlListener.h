// Receives the value changes of controls.
#pragma once

#include <cstdint>

class CControl;

class CControlListener {
 public:
  virtual ~CControlListener() {}
  virtual void valueChanged(CControl* control) = 0;
  virtual int32_t controlModifierClicked(CControl* /*control*/, int32_t /*button*/) { return 0; }
  virtual void controlBeginEdit(CControl* /*control*/) {}
  virtual void controlEndEdit(CControl* /*control*/) {}
};
