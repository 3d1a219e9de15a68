#include "toolkit/CTextEdit.h"

#include <cairo.h>

#include <cmath>

#include "toolkit/CFrame.h"

namespace {

std::string cut(const char* txt) {
  std::string s(txt ? txt : "");
  if (s.size() > CTextEdit::kMaxTextLength) s.resize(CTextEdit::kMaxTextLength);
  return s;
}

// A context on a one-pixel image, for text measurements outside drawing.
class ScratchContext {
 public:
  ScratchContext()
      : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1)),
        cr(cairo_create(surface)),
        context(cr, CRect(0, 0, 1, 1)) {}
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
    : CParamDisplay(size, background, style), text(cut(txt)) {
  setListener(listener);
  setTag(tag);
  setWantsFocus(true);
}

CTextEdit::CTextEdit(const CTextEdit& other) : CParamDisplay(other), text(other.text) {}

CTextEdit::~CTextEdit() {}

void CTextEdit::setText(const char* txt) {
  text = cut(txt);
  // The program's word wins over an edit in progress.
  if (editing) {
    editText = text;
    caret = editText.size();
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
    ScratchContext scratch;
    const CCoord x = textOrigin(scratch.get(), editText.c_str());
    size_t best = 0;
    CCoord bestDistance = std::fabs(where.x - x);
    for (size_t i = 1; i <= editText.size(); ++i) {
      const CCoord d =
          std::fabs(where.x - (x + scratch.get()->getStringWidth(editText.substr(0, i).c_str())));
      if (d < bestDistance) {
        bestDistance = d;
        best = i;
      }
    }
    caret = best;
    setDirty(true);
  }
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

int32_t CTextEdit::onKeyDown(VstKeyCode& keyCode) {
  if (!editing) return -1;
  switch (keyCode.virt) {
    case VKEY_RETURN:
    case VKEY_ENTER:
      endEditing(true);
      return 1;
    case VKEY_ESCAPE:
      endEditing(false);
      return 1;
    case VKEY_BACK:
      if (caret > 0) editText.erase(--caret, 1);
      break;
    case VKEY_DELETE:
      if (caret < editText.size()) editText.erase(caret, 1);
      break;
    case VKEY_LEFT:
      if (caret > 0) --caret;
      break;
    case VKEY_RIGHT:
      if (caret < editText.size()) ++caret;
      break;
    case VKEY_HOME:
      caret = 0;
      break;
    case VKEY_END:
      caret = editText.size();
      break;
    case VKEY_SPACE:
    case 0: {
      const VstInt32 c = keyCode.virt == VKEY_SPACE ? ' ' : keyCode.character;
      if (c < 0x20 || c > 0x7E) return -1;  // not a printable character
      if (editText.size() < kMaxTextLength) editText.insert(caret++, 1, static_cast<char>(c));
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
  caret = editText.size();
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
  caret = 0;
  scroll = 0;
  setDirty(true);
  if (pParentFrame && pParentFrame->getFocusView() == this) pParentFrame->setFocusView(nullptr);
  if (commit) valueChanged();
}
