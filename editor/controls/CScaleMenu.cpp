#include "editor/controls/CScaleMenu.h"

#include <cmath>
#include <cstdio>
#include <cstring>

CScaleMenu::CScaleMenu(const CRect& size, CControlListener* listener, int32_t tag)
    : COptionMenu(size, listener, tag, nullptr, nullptr, kNoDrawStyle | kCheckStyle) {
  for (int32_t i = 0; i < kEntries; ++i) {
    char title[32];
    if (i == 0)
      std::snprintf(title, sizeof(title), "Automatic");
    else
      std::snprintf(title, sizeof(title), "%d %%", static_cast<int>(scaleOfEntry(i) * 100));
    addEntry(title);
  }
  setNbItemsPerColumn(kEntries);
}

double CScaleMenu::scaleOfEntry(int32_t index) {
  return index <= 0 || index >= kEntries ? 0.0 : 1.0 + 0.25 * (index - 1);
}

int32_t CScaleMenu::entryOfScale(double scale) {
  if (!(scale >= 1.0)) return 0;
  const auto index = static_cast<int32_t>(std::lround((scale - 1.0) * 4.0)) + 1;
  return index < kEntries ? index : kEntries - 1;
}

void CScaleMenu::showChoice(double chosen, double automatic) {
  char title[32];
  std::snprintf(title, sizeof(title), "Automatic (%d %%)", static_cast<int>(automatic * 100 + 0.5));
  if (std::strcmp(getEntry(0), title) != 0) setEntry(0, title);
  if (getCurrentIndex() != entryOfScale(chosen)) setCurrent(entryOfScale(chosen));
}

CMouseEventResult CScaleMenu::onMouseDown(CPoint& /*where*/, const CButtonState& buttons) {
  // The left button belongs to the about button under the menu.
  if (!(buttons & kRButton) || (buttons & kLButton)) return kMouseEventNotHandled;
  if (isPopupOpen())
    closePopup();
  else if (!popup())
    return kMouseEventNotHandled;
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}
