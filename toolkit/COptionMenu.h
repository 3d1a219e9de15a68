// A control that picks one of a list of titled entries. Its value is the index
// of the current entry; closed, it draws like a CParamDisplay showing the
// current entry's title. A left click opens the pop-up list: in a window of its
// own when the frame has a real window (the list is not clipped by the editor's
// small window; it grabs the pointer and the keyboard, Up/Down/Home/End move,
// Return or a click chooses, Escape or a click outside closes it), else a
// simulated list driven by keys through the frame's focus and by
// choosePopupEntry. Choosing an entry sets the value and tells the listener,
// also when it is the current one.
#pragma once

#include <string>
#include <vector>

#include "toolkit/CParamDisplay.h"

class COptionMenu : public CParamDisplay {
 public:
  // Style bit of the menu itself: the list marks the current entry.
  static constexpr int32_t kCheckStyle = 1 << 12;

  // bgWhenClick, if any, replaces the background while the list is open.
  COptionMenu(const CRect& size, CControlListener* listener, int32_t tag,
              CBitmap* background = nullptr, CBitmap* bgWhenClick = nullptr, int32_t style = 0);
  COptionMenu(const COptionMenu& other);  // same entries, list closed
  ~COptionMenu() override;

  // Entries. Titles are 8-bit texts of at most 255 bytes. index -1 appends.
  bool addEntry(const char* title, int32_t index = -1);
  bool setEntry(int32_t index, const char* title);
  // The title, or null for an index out of range.
  const char* getEntry(int32_t index) const;
  bool removeEntry(int32_t index);
  bool removeAllEntry();
  int32_t getNbEntries() const { return static_cast<int32_t>(entries.size()); }

  // The value as an entry index (nearest whole number), -1 without entries.
  int32_t getCurrentIndex() const;
  bool setCurrent(int32_t index);
  // Entries per column of the list; 0 or less: one column.
  void setNbItemsPerColumn(int32_t value) { itemsPerColumn = value; }
  int32_t getNbItemsPerColumn() const { return itemsPerColumn; }
  void setBgWhenClick(CBitmap* bitmap);
  CBitmap* getBgWhenClick() const { return bgWhenClick; }

  // The list. popup is what a left click does; false without entries.
  bool popup();
  // Closes the list without choosing anything.
  void closePopup();
  bool isPopupOpen() const { return popupOpen; }
  // Simulated list only: the entry the keys point at, and a click on an entry.
  int32_t getHighlightedIndex() const { return highlighted; }
  bool choosePopupEntry(int32_t index);

  // From the list's window.
  void popupChosen(int32_t index);
  void popupCancelled();

  void getDisplayString(float value, char utf8String[256]) const override;
  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  int32_t onKeyDown(VstKeyCode& keyCode) override;
  int32_t onKeyUp(VstKeyCode& keyCode) override;
  void looseFocus() override;
  bool removed(CView* parent) override;

  const char* getClassName() const override { return "COptionMenu"; }
  CView* newCopy() const override { return new COptionMenu(*this); }

 protected:
  void updateRange();
  void listClosed();

  std::vector<std::string> entries;
  CBitmap* bgWhenClick = nullptr;
  int32_t itemsPerColumn = 0;
  int32_t highlighted = -1;
  bool popupOpen = false;
  bool simulated = false;
};
