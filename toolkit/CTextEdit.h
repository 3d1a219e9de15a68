// A text display the user can edit. A left click gives it the keyboard focus
// and starts editing. Texts are UTF-8 and the caret moves by character: typed
// characters (any Unicode character a key gives) replace the selection or go
// in at the caret; Backspace/Delete remove a character or the selection (with
// Ctrl a word); Left/Right move by character (Ctrl: by word), Home/End to the
// ends, Shift with any of them extends the selection, Ctrl+A selects all.
// Return commits and tells the listener, Escape throws the edit away, and
// losing the focus (a click elsewhere, the window losing focus) commits as
// Return does. With a value-to-string conversion set, setValue
// replaces the text by the value's text, as the display would show it.
// The text is owned by the user-interface thread: unlike the value, it may not
// be set from other threads.
#pragma once

#include <algorithm>
#include <string>

#include "toolkit/CParamDisplay.h"

class CTextEdit : public CParamDisplay {
 public:
  CTextEdit(const CRect& size, CControlListener* listener, int32_t tag, const char* txt = nullptr,
            CBitmap* background = nullptr, int32_t style = 0);
  CTextEdit(const CTextEdit& other);  // a copy is not editing
  ~CTextEdit() override;

  // At most kMaxTextLength bytes are kept, or fewer by setMaxLength; a text is
  // cut on a character boundary, never inside a character.
  static constexpr size_t kMaxTextLength = 255;
  void setMaxLength(size_t bytes);
  size_t getMaxLength() const { return maxLength; }
  virtual void setText(const char* txt);
  virtual const char* getText() const { return text.c_str(); }

  void setValue(float val) override;

  bool isEditing() const { return editing; }
  // While editing: the text being edited and the caret position in it.
  const std::string& getEditText() const { return editText; }
  size_t getCaretPosition() const { return caret; }  // in bytes
  // The selected bytes [start, end) of the edit text; empty when none.
  size_t getSelectionStart() const { return std::min(anchor, caret); }
  size_t getSelectionEnd() const { return std::max(anchor, caret); }

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
  // Editing steps on editText; true when something changed.
  bool eraseSelection();
  void insertText(const std::string& utf8);
  void moveCaret(size_t to, bool extend);
  size_t wordStartBefore(size_t at) const;
  size_t wordEndAfter(size_t at) const;

  std::string text;
  std::string editText;
  size_t caret = 0;
  size_t anchor = 0;  // the other end of the selection; caret when none
  size_t maxLength = kMaxTextLength;
  CCoord scroll = 0;  // leftward shift that keeps the caret in view while editing
  bool editing = false;
};
