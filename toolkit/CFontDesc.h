// Font description used by the drawing context. "Arial" is drawn with a
// metric-compatible free face (Liberation Sans) where Arial is missing.
#pragma once

#include <string>

#include "toolkit/CBaseObject.h"
#include "toolkit/CPoint.h"

enum CTxtFace {
  kNormalFace = 0,
  kBoldFace = 1 << 0,
  kItalicFace = 1 << 1,
  kUnderlineFace = 1 << 2
};

class CFontDesc : public CBaseObject {
 public:
  CFontDesc(const char* name = "Arial", CCoord size = 12, int32_t style = kNormalFace)
      : name(name ? name : ""), size(size), style(style) {}
  CFontDesc(const CFontDesc& other) = default;

  const char* getName() const { return name.c_str(); }
  void setName(const char* newName) { name = newName ? newName : ""; }
  CCoord getSize() const { return size; }
  void setSize(CCoord newSize) { size = newSize; }
  int32_t getStyle() const { return style; }
  void setStyle(int32_t newStyle) { style = newStyle; }

 private:
  std::string name;
  CCoord size;
  int32_t style;
};

typedef CFontDesc* CFontRef;

// Process-wide stock fonts (never released).
extern const CFontRef kSystemFont;           // Arial 12
extern const CFontRef kNormalFontVeryBig;    // Arial 18
extern const CFontRef kNormalFontBig;        // Arial 14
extern const CFontRef kNormalFont;           // Arial 12
extern const CFontRef kNormalFontSmall;      // Arial 11
extern const CFontRef kNormalFontSmaller;    // Arial 10
extern const CFontRef kNormalFontVerySmall;  // Arial 9
extern const CFontRef kSymbolFont;           // Symbol 12
