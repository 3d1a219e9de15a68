// Shows a control value as text. Draws its background bitmap (from the back
// offset) or fills with the back colour, then the text from the value-to-string
// conversion (default: the value with two decimals, '.' as decimal point).
#pragma once

#include <functional>

#include "toolkit/CColor.h"
#include "toolkit/CControl.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFontDesc.h"

// Display style bits (shared with the text field and the option menu).
enum CParamDisplayStyle {
  k3DIn = 1 << 0,
  k3DOut = 1 << 1,
  kShadowText = 1 << 8,
  kNoFrame = 1 << 9,
  kRoundRectStyle = 1 << 10,
  kNoTextStyle = 1 << 11,
  kNoDrawStyle = 1 << 13,
};

// Writes the text for `value` (UTF-8, at most 255 bytes and a terminating zero);
// false keeps the default text.
typedef bool (*CParamDisplayValueToStringProc)(float value, char utf8String[256], void* userData);

class CParamDisplay : public CControl {
 public:
  CParamDisplay(const CRect& size, CBitmap* background = nullptr, int32_t style = 0);
  CParamDisplay(const CParamDisplay& other);
  ~CParamDisplay() override;

  void draw(CDrawContext* context) override;

  void setFont(CFontRef font);
  CFontRef getFont() const { return font; }
  void setFontColor(const CColor& color) { fontColor = color; }
  const CColor& getFontColor() const { return fontColor; }
  void setBackColor(const CColor& color) { backColor = color; }
  const CColor& getBackColor() const { return backColor; }
  void setFrameColor(const CColor& color) { frameColor = color; }
  const CColor& getFrameColor() const { return frameColor; }
  void setShadowColor(const CColor& color) { shadowColor = color; }
  const CColor& getShadowColor() const { return shadowColor; }
  void setHoriAlign(CHoriTxtAlign align) { horiTxtAlign = align; }
  CHoriTxtAlign getHoriAlign() const { return horiTxtAlign; }
  void setStyle(int32_t val) { style = val; }
  int32_t getStyle() const { return style; }
  void setTextTransparency(bool state) { textTransparent = state; }
  bool getTextTransparency() const { return textTransparent; }
  void setAntialias(bool state) { antialias = state; }

  void setValueToStringProc(CParamDisplayValueToStringProc proc, void* userData = nullptr);
  void setValueToStringFunction(std::function<bool(float, char[256])> function);
  // The text shown for `value` (conversion, or the default text).
  virtual void getDisplayString(float value, char utf8String[256]) const;

  const char* getClassName() const override { return "CParamDisplay"; }
  CView* newCopy() const override { return new CParamDisplay(*this); }

 protected:
  virtual void drawBack(CDrawContext* context);
  virtual void drawText(CDrawContext* context, const char* utf8String);

  CFontRef font;
  CColor fontColor = kWhiteCColor;
  CColor backColor = kBlackCColor;
  CColor frameColor = kBlackCColor;
  CColor shadowColor = kRedCColor;
  CHoriTxtAlign horiTxtAlign = kCenterText;
  int32_t style;
  bool textTransparent = false;
  bool antialias = true;
  CParamDisplayValueToStringProc valueToStringProc = nullptr;
  void* valueToStringUserData = nullptr;
  std::function<bool(float, char[256])> valueToStringFunction;
};
