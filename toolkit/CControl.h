// A view with a value. The value may be set from any thread (host automation):
// setValue only stores it, and the control counts as dirty until it is drawn
// with that value, so the redraw happens at the next idle on the UI thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "toolkit/CView.h"

class CControlListener;

class CControl : public CView {
 public:
  CControl(const CRect& size, CControlListener* listener = nullptr, int32_t tag = 0,
           CBitmap* background = nullptr);
  CControl(const CControl& other);  // copies value, range, tag, listener, offset
  ~CControl() override;

  virtual void setValue(float val) { value.store(val, std::memory_order_relaxed); }
  virtual float getValue() const { return value.load(std::memory_order_relaxed); }
  // Value mapped to 0..1 over min..max (0 when the range is empty).
  float getValueNormalized() const;
  virtual void setMin(float val) { vmin = val; }
  virtual float getMin() const { return vmin; }
  virtual void setMax(float val) { vmax = val; }
  virtual float getMax() const { return vmax; }
  float getRange() const { return vmax - vmin; }
  virtual void setDefaultValue(float val) { defaultValue = val; }
  virtual float getDefaultValue() const { return defaultValue; }
  // Change of the value per wheel step.
  virtual void setWheelInc(float val) { wheelInc = val; }
  virtual float getWheelInc() const { return wheelInc; }
  // Clamps the value to min..max.
  virtual void bounceValue();

  virtual void setTag(int32_t val) { tag = val; }
  virtual int32_t getTag() const { return tag; }
  virtual void setListener(CControlListener* l) { listener = l; }
  CControlListener* getListener() const { return listener; }

  // Tells the listener (and nobody else) that the user changed the value.
  virtual void valueChanged();
  // Edit brackets of a user gesture: listener's controlBeginEdit/EndEdit, then
  // the frame's editor beginEdit(tag)/endEdit(tag). Nested brackets count once.
  virtual void beginEdit();
  virtual void endEdit();
  bool isEditing() const { return editDepth > 0; }

  // A left click with the default-value modifier (Ctrl) sets the default value
  // as one complete edit; true when that happened.
  virtual bool checkDefaultValue(const CButtonState& buttons);

  // Top-left corner of the part of the background bitmap this control shows.
  virtual void setBackOffset(const CPoint& offset) { backOffset = offset; }
  const CPoint& getBackOffset() const { return backOffset; }

  void setDirty(bool state = true) override;
  bool isDirty() const override;
  // Background bitmap from the back offset.
  void draw(CDrawContext* context) override;

  const char* getClassName() const override { return "CControl"; }
  CView* newCopy() const override { return new CControl(*this); }

 protected:
  CControlListener* listener;
  int32_t tag;
  float vmin = 0.f;
  float vmax = 1.f;
  float defaultValue = 0.5f;
  float wheelInc = 0.1f;
  CPoint backOffset;
  int32_t editDepth = 0;

 private:
  std::atomic<float> value{0.f};
  std::atomic<float> drawnValue{0.f};  // value at the last setDirty(false)
};
