#include "toolkit/CTextEdit.h"

#include <cairo.h>

#include <cmath>
#include <cstdint>

#include "toolkit/CFrame.h"

namespace {

bool isContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Bytes of the character a UTF-8 lead byte starts (1 for anything else).
size_t sequenceLength(char lead) {
  const auto u = static_cast<unsigned char>(lead);
  return u >= 0xF0 ? 4 : u >= 0xE0 ? 3 : u >= 0xC0 ? 2 : 1;
}

// The longest start of `txt` of at most `bytes` bytes that ends on a character
// boundary: no character is cut in two, nor left cut short by whoever cut the
// text before (a name store of fixed size).
std::string cut(const char* txt, size_t bytes) {
  std::string s(txt ? txt : "");
  if (s.size() > bytes) {
    size_t n = bytes;
    while (n > 0 && isContinuation(s[n])) --n;
    s.resize(n);
  }
  size_t last = s.size();
  while (last > 0 && isContinuation(s[last - 1])) --last;
  if (last > 0 && sequenceLength(s[last - 1]) > s.size() - (last - 1)) s.resize(last - 1);
  return s;
}

size_t nextBoundary(const std::string& s, size_t i) {
  if (i >= s.size()) return s.size();
  ++i;
  while (i < s.size() && isContinuation(s[i])) ++i;
  return i;
}

size_t previousBoundary(const std::string& s, size_t i) {
  if (i == 0) return 0;
  --i;
  while (i > 0 && isContinuation(s[i])) --i;
  return i;
}

// UTF-8 of a typed character; empty for controls, surrogates and non-characters.
std::string encode(VstInt32 c) {
  std::string out;
  if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF)
    return out;
  const auto u = static_cast<uint32_t>(c);
  if (u < 0x80) {
    out += static_cast<char>(u);
  } else if (u < 0x800) {
    out += static_cast<char>(0xC0 | (u >> 6));
    out += static_cast<char>(0x80 | (u & 0x3F));
  } else if (u < 0x10000) {
    out += static_cast<char>(0xE0 | (u >> 12));
    out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (u & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (u >> 18));
    out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (u & 0x3F));
  }
  return out;
}

bool isWordByte(char c) {
  // Letters of other scripts (every byte >= 0x80) count as word characters.
  const auto u = static_cast<unsigned char>(c);
  return u >= 0x80 || (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
         u == '_';
}

// A context on a one-pixel image, for text measurements outside drawing: at
// the frame's scale, so that text measures as it is drawn.
class ScratchContext {
 public:
  explicit ScratchContext(double scale)
      : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1)),
        cr(cairo_create(surface)),
        context(cr, CRect(0, 0, 1, 1), scale) {}
  ~ScratchContext() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  CDrawContext* get() { return &context; }

 private:
  cairo_surface_t* surface;
  cairo_t* cr;
  CDrawContext context;
};

}  // namespace

CTextEdit::CTextEdit(const CRect& size, CControlListener* listener, int32_t tag, const char* txt,
                     CBitmap* background, int32_t style)
    : CParamDisplay(size, background, style), text(cut(txt, kMaxTextLength)) {
  setListener(listener);
  setTag(tag);
  setWantsFocus(true);
}

CTextEdit::CTextEdit(const CTextEdit& other)
    : CParamDisplay(other), text(other.text), maxLength(other.maxLength) {}

CTextEdit::~CTextEdit() {}

void CTextEdit::setMaxLength(size_t bytes) {
  maxLength = std::min(bytes, kMaxTextLength);
  text = cut(text.c_str(), maxLength);
  if (editing && editText.size() > maxLength) {
    editText = cut(editText.c_str(), maxLength);
    caret = anchor = editText.size();
  }
  setDirty(true);
}

void CTextEdit::setText(const char* txt) {
  text = cut(txt, maxLength);
  // The program's word wins over an edit in progress.
  if (editing) {
    editText = text;
    caret = anchor = editText.size();
  }
  setDirty(true);
}

void CTextEdit::setValue(float val) {
  CParamDisplay::setValue(val);
  if (valueToStringProc || valueToStringFunction) {
    char s[256];
    getDisplayString(val, s);
    s[255] = 0;
    setText(s);
  }
}

CCoord CTextEdit::textOrigin(CDrawContext* context, const char* shown) {
  CRect textRect(size);
  textRect.inset(1, 0);
  context->setFont(font);
  const CCoord width = context->getStringWidth(shown);
  if (editing && width > textRect.getWidth() - 2) {
    // Too wide: scroll so that the caret stays inside.
    const CCoord prefix = context->getStringWidth(editText.substr(0, caret).c_str());
    const CCoord visible = textRect.getWidth() - 2;
    if (prefix - scroll > visible) scroll = prefix - visible;
    if (prefix - scroll < 0) scroll = prefix;
    scroll = std::max<CCoord>(0, std::min(scroll, width - visible));
    return std::round(textRect.left + 1 - scroll);
  }
  scroll = 0;
  if (horiTxtAlign == kCenterText)
    return std::round(textRect.left + (textRect.getWidth() - width) / 2);
  if (horiTxtAlign == kRightText) return std::round(textRect.right - width);
  return std::round(textRect.left);
}

void CTextEdit::draw(CDrawContext* context) {
  if (!(style & kNoDrawStyle)) {
    drawBack(context);
    if (!editing) {
      if (!(style & kNoTextStyle)) drawText(context, text.c_str());
    } else {
      CRect textRect(size);
      textRect.inset(1, 0);
      const CCoord x = textOrigin(context, editText.c_str());
      const CCoord width = context->getStringWidth(editText.c_str());
      const CCoord caretX = x + context->getStringWidth(editText.substr(0, caret).c_str());
      context->saveGlobalState();
      CRect clip;
      context->getClipRect(clip);
      clip.bound(textRect);
      context->setClipRect(clip);
      if (anchor != caret) {
        const CCoord from =
            x + context->getStringWidth(editText.substr(0, getSelectionStart()).c_str());
        const CCoord to =
            x + context->getStringWidth(editText.substr(0, getSelectionEnd()).c_str());
        context->setFillColor(CColor(fontColor.red, fontColor.green, fontColor.blue, 64));
        context->fillRect(CRect(std::floor(from), size.top + 2, std::ceil(to), size.bottom - 2));
      }
      context->setFontColor(fontColor);
      context->drawString(editText.c_str(), CRect(x, size.top, x + width + 1, size.bottom),
                          kLeftText, antialias);
      context->setFrameColor(fontColor);
      context->setLineWidth(1);
      context->drawLine(CPoint(std::floor(caretX), size.top + 2),
                        CPoint(std::floor(caretX), size.bottom - 3));
      context->restoreGlobalState();
    }
  }
  setDirty(false);
}

CMouseEventResult CTextEdit::onMouseDown(CPoint& where, const CButtonState& buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  if (!editing) {
    if (!pParentFrame) return kMouseEventNotHandled;
    pParentFrame->setFocusView(this);  // starts editing, caret at the end
  } else {
    // Caret to the character boundary nearest the click.
    ScratchContext scratch(pParentFrame ? pParentFrame->getScale() : 1.0);
    const CCoord x = textOrigin(scratch.get(), editText.c_str());
    size_t best = 0;
    CCoord bestDistance = std::fabs(where.x - x);
    for (size_t i = 0; i < editText.size();) {
      i = nextBoundary(editText, i);
      const CCoord d =
          std::fabs(where.x - (x + scratch.get()->getStringWidth(editText.substr(0, i).c_str())));
      if (d < bestDistance) {
        bestDistance = d;
        best = i;
      }
    }
    moveCaret(best, (buttons & kShift) != 0);
  }
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

bool CTextEdit::eraseSelection() {
  if (anchor == caret) return false;
  const size_t start = getSelectionStart();
  editText.erase(start, getSelectionEnd() - start);
  caret = anchor = start;
  return true;
}

void CTextEdit::insertText(const std::string& utf8) {
  const size_t kept = editText.size() - (getSelectionEnd() - getSelectionStart());
  if (kept + utf8.size() > maxLength) return;  // full: the character is refused
  eraseSelection();
  editText.insert(caret, utf8);
  caret = anchor = caret + utf8.size();
}

void CTextEdit::moveCaret(size_t to, bool extend) {
  caret = std::min(to, editText.size());
  if (!extend) anchor = caret;
  setDirty(true);
}

size_t CTextEdit::wordStartBefore(size_t at) const {
  while (at > 0 && !isWordByte(editText[at - 1])) --at;
  while (at > 0 && isWordByte(editText[at - 1])) --at;
  return at;
}

size_t CTextEdit::wordEndAfter(size_t at) const {
  while (at < editText.size() && !isWordByte(editText[at])) ++at;
  while (at < editText.size() && isWordByte(editText[at])) ++at;
  return at;
}

int32_t CTextEdit::onKeyDown(VstKeyCode& keyCode) {
  if (!editing) return -1;
  // Hosts give Ctrl as MODIFIER_CONTROL; MODIFIER_COMMAND is its other name.
  const bool ctrl = (keyCode.modifier & (MODIFIER_CONTROL | MODIFIER_COMMAND)) != 0;
  const bool shift = (keyCode.modifier & MODIFIER_SHIFT) != 0;
  switch (keyCode.virt) {
    case VKEY_RETURN:
    case VKEY_ENTER:
      endEditing(true);
      return 1;
    case VKEY_ESCAPE:
      endEditing(false);
      return 1;
    case VKEY_BACK:
      if (!eraseSelection() && caret > 0) {
        const size_t from = ctrl ? wordStartBefore(caret) : previousBoundary(editText, caret);
        editText.erase(from, caret - from);
        caret = anchor = from;
      }
      break;
    case VKEY_DELETE:
      if (!eraseSelection() && caret < editText.size()) {
        const size_t to = ctrl ? wordEndAfter(caret) : nextBoundary(editText, caret);
        editText.erase(caret, to - caret);
      }
      break;
    case VKEY_LEFT:
      if (anchor != caret && !shift)
        moveCaret(getSelectionStart(), false);
      else
        moveCaret(ctrl ? wordStartBefore(caret) : previousBoundary(editText, caret), shift);
      break;
    case VKEY_RIGHT:
      if (anchor != caret && !shift)
        moveCaret(getSelectionEnd(), false);
      else
        moveCaret(ctrl ? wordEndAfter(caret) : nextBoundary(editText, caret), shift);
      break;
    case VKEY_HOME:
      moveCaret(0, shift);
      break;
    case VKEY_END:
      moveCaret(editText.size(), shift);
      break;
    case VKEY_SPACE:
    case 0: {
      const VstInt32 c = keyCode.virt == VKEY_SPACE ? ' ' : keyCode.character;
      if (ctrl) {
        // Ctrl+A, as a host gives it ('a') or as a terminal would (1).
        if (c != 'a' && c != 'A' && c != 1) return -1;
        anchor = 0;
        caret = editText.size();
        break;
      }
      const std::string utf8 = encode(c);
      if (utf8.empty()) return -1;  // not a character
      insertText(utf8);
      break;
    }
    default:
      return -1;
  }
  setDirty(true);
  return 1;
}

int32_t CTextEdit::onKeyUp(VstKeyCode& /*keyCode*/) {
  return editing ? 1 : -1;
}

void CTextEdit::takeFocus() {
  if (editing) return;
  editing = true;
  editText = text;
  caret = anchor = editText.size();
  scroll = 0;
  setDirty(true);
}

void CTextEdit::looseFocus() {
  // A view being taken out of its frame drops the edit: its listener may be
  // going away with the window.
  const bool leaving = pParentFrame && !pParentFrame->isChild(this);
  if (editing) endEditing(!leaving);
}

bool CTextEdit::removed(CView* parent) {
  if (editing) endEditing(false);
  return CParamDisplay::removed(parent);
}

void CTextEdit::endEditing(bool commit) {
  if (!editing) return;
  editing = false;
  if (commit) text = editText;
  editText.clear();
  caret = anchor = 0;
  scroll = 0;
  setDirty(true);
  if (pParentFrame && pParentFrame->getFocusView() == this) pParentFrame->setFocusView(nullptr);
  if (commit) valueChanged();
}
