// The size menu behind the logo: a right click opens a list of the editor's
// sizes ("Automatic" first, then 100 % to 300 %); it draws nothing, so the
// logo shows, and leaves every other click to the about button under it.
#pragma once

#include "toolkit/COptionMenu.h"

class CScaleMenu : public COptionMenu {
 public:
  CScaleMenu(const CRect& size, CControlListener* listener, int32_t tag);
  CScaleMenu(const CScaleMenu& other) = default;

  // The entries' scales: 0 for automatic.
  static constexpr int kEntries = 10;
  static double scaleOfEntry(int32_t index);
  static int32_t entryOfScale(double scale);
  // Marks the user's choice (0: automatic) and names the automatic size.
  void showChoice(double chosen, double automatic);

  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

  const char* getClassName() const override { return "CScaleMenu"; }
  CView* newCopy() const override { return new CScaleMenu(*this); }
};
