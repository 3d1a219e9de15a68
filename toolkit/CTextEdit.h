// A text display the user can edit. A left click gives it the keyboard focus
// and starts editing; printable characters, Backspace, Delete, Left/Right and
// Home/End edit; Return commits and tells the listener, Escape throws the edit
// away, and losing the focus (a click elsewhere, the window losing focus)
// commits as Return does. With a value-to-string conversion set, setValue
// replaces the text by the value's text, as the display would show it.
// The text is owned by the user-interface thread: unlike the value, it may not
// be set from other threads.
#pragma once

#include <string>

#include "toolkit/CParamDisplay.h"

class CTextEdit : public CParamDisplay {
 public:
  CTextEdit(const CRect& size, CControlListener* listener, int32_t tag, const char* txt = nullptr,
            CBitmap* background = nullptr, int32_t style = 0);
  CTextEdit(const CTextEdit& other);  // a copy is not editing
  ~CTextEdit() override;

  // Texts are 8-bit; at most kMaxTextLength bytes are kept.
  static constexpr size_t kMaxTextLength = 255;
  virtual void setText(const char* txt);
  virtual const char* getText() const { return text.c_str(); }

  void setValue(float val) override;

  bool isEditing() const { return editing; }
  // While editing: the text being edited and the caret position in it.
  const std::string& getEditText() const { return editText; }
  size_t getCaretPosition() const { return caret; }

  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  int32_t onKeyDown(VstKeyCode& keyCode) override;
  int32_t onKeyUp(VstKeyCode& keyCode) override;
  void takeFocus() override;
  void looseFocus() override;
  bool removed(CView* parent) override;

  const char* getClassName() const override { return "CTextEdit"; }
  CView* newCopy() const override { return new CTextEdit(*this); }

 protected:
  // Ends editing. commit: the edited text becomes the text and the listener
  // hears of it; otherwise the text stays as it was.
  void endEditing(bool commit);
  // The text's left edge for `shown` in the current font and alignment.
  CCoord textOrigin(CDrawContext* context, const char* shown);

  std::string text;
  std::string editText;
  size_t caret = 0;
  CCoord scroll = 0;  // leftward shift that keeps the caret in view while editing
  bool editing = false;
};
