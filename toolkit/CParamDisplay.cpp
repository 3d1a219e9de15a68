#include "toolkit/CParamDisplay.h"

#include <charconv>
#include <cstring>

#include "toolkit/CBitmap.h"

CParamDisplay::CParamDisplay(const CRect& size, CBitmap* background, int32_t style)
    : CControl(size, nullptr, -1, background), font(kNormalFont), style(style) {
  font->remember();
}

CParamDisplay::CParamDisplay(const CParamDisplay& other)
    : CControl(other),
      font(other.font),
      fontColor(other.fontColor),
      backColor(other.backColor),
      frameColor(other.frameColor),
      shadowColor(other.shadowColor),
      horiTxtAlign(other.horiTxtAlign),
      style(other.style),
      textTransparent(other.textTransparent),
      antialias(other.antialias),
      valueToStringProc(other.valueToStringProc),
      valueToStringUserData(other.valueToStringUserData),
      valueToStringFunction(other.valueToStringFunction) {
  font->remember();
}

CParamDisplay::~CParamDisplay() {
  font->forget();
}

void CParamDisplay::setFont(CFontRef newFont) {
  if (!newFont) return;
  newFont->remember();
  font->forget();
  font = newFont;
  setDirty(true);
}

void CParamDisplay::setValueToStringProc(CParamDisplayValueToStringProc proc, void* userData) {
  valueToStringProc = proc;
  valueToStringUserData = userData;
  setDirty(true);
}

void CParamDisplay::setValueToStringFunction(std::function<bool(float, char[256])> function) {
  valueToStringFunction = std::move(function);
  setDirty(true);
}

void CParamDisplay::getDisplayString(float value, char utf8String[256]) const {
  utf8String[0] = 0;
  if (valueToStringFunction && valueToStringFunction(value, utf8String)) return;
  if (valueToStringProc && valueToStringProc(value, utf8String, valueToStringUserData)) return;
  // Locale-independent: always '.' as the decimal point.
  auto result = std::to_chars(utf8String, utf8String + 255, value, std::chars_format::fixed, 2);
  *(result.ec == std::errc() ? result.ptr : utf8String) = 0;
}

void CParamDisplay::draw(CDrawContext* context) {
  if (!(style & kNoDrawStyle)) {
    drawBack(context);
    if (!(style & kNoTextStyle)) {
      char text[256];
      getDisplayString(getValue(), text);
      text[255] = 0;
      drawText(context, text);
    }
  }
  setDirty(false);
}

void CParamDisplay::drawBack(CDrawContext* context) {
  if (pBackground)
    pBackground->draw(context, size, backOffset);
  else if (!transparent) {
    context->setFillColor(backColor);
    context->drawRect(size, kDrawFilled);
  }
  if (!(style & (kNoFrame | k3DIn | k3DOut)) && !transparent) {
    context->setFrameColor(frameColor);
    context->setLineWidth(1);
    context->drawRect(size, kDrawStroked);
  }
}

void CParamDisplay::drawText(CDrawContext* context, const char* utf8String) {
  if (!utf8String || !*utf8String) return;
  context->setFont(font);
  CRect textRect(size);
  textRect.inset(1, 0);
  if (style & kShadowText) {
    CRect shadowRect(textRect);
    shadowRect.offset(1, 1);
    context->setFontColor(shadowColor);
    context->drawString(utf8String, shadowRect, horiTxtAlign, antialias);
  }
  context->setFontColor(fontColor);
  context->drawString(utf8String, textRect, horiTxtAlign, antialias);
}
