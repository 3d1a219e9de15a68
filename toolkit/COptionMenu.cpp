#include "toolkit/COptionMenu.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "toolkit/CBitmap.h"
#include "toolkit/CFrame.h"
#include "toolkit/PlatformFrame.h"

namespace {
std::string titleOf(const char* title) {
  std::string s(title ? title : "");
  if (s.size() > 255) s.resize(255);
  return s;
}
}  // namespace

COptionMenu::COptionMenu(const CRect& size, CControlListener* listener, int32_t tag,
                         CBitmap* background, CBitmap* bgWhenClick, int32_t style)
    : CParamDisplay(size, background, style) {
  setListener(listener);
  setTag(tag);
  setBgWhenClick(bgWhenClick);
  updateRange();
}

COptionMenu::COptionMenu(const COptionMenu& other)
    : CParamDisplay(other), entries(other.entries), itemsPerColumn(other.itemsPerColumn) {
  setBgWhenClick(other.bgWhenClick);
}

COptionMenu::~COptionMenu() {
  if (bgWhenClick) bgWhenClick->forget();
}

void COptionMenu::setBgWhenClick(CBitmap* bitmap) {
  if (bitmap) bitmap->remember();
  if (bgWhenClick) bgWhenClick->forget();
  bgWhenClick = bitmap;
  setDirty(true);
}

void COptionMenu::updateRange() {
  setMin(0.f);
  setMax(entries.empty() ? 0.f : static_cast<float>(entries.size() - 1));
}

bool COptionMenu::addEntry(const char* title, int32_t index) {
  if (index < 0 || index > getNbEntries())
    entries.push_back(titleOf(title));
  else
    entries.insert(entries.begin() + index, titleOf(title));
  updateRange();
  setDirty(true);
  return true;
}

bool COptionMenu::setEntry(int32_t index, const char* title) {
  if (index < 0 || index >= getNbEntries()) return false;
  entries[static_cast<size_t>(index)] = titleOf(title);
  setDirty(true);
  return true;
}

const char* COptionMenu::getEntry(int32_t index) const {
  if (index < 0 || index >= getNbEntries()) return nullptr;
  return entries[static_cast<size_t>(index)].c_str();
}

bool COptionMenu::removeEntry(int32_t index) {
  if (index < 0 || index >= getNbEntries()) return false;
  entries.erase(entries.begin() + index);
  updateRange();
  bounceValue();
  setDirty(true);
  return true;
}

bool COptionMenu::removeAllEntry() {
  entries.clear();
  updateRange();
  setValue(0.f);
  setDirty(true);
  return true;
}

int32_t COptionMenu::getCurrentIndex() const {
  if (entries.empty()) return -1;
  const float v = getValue();
  if (!(v >= 0.f)) return 0;  // negative or NaN
  const auto i = static_cast<int64_t>(v + 0.5f);
  return static_cast<int32_t>(std::min<int64_t>(i, getNbEntries() - 1));
}

bool COptionMenu::setCurrent(int32_t index) {
  if (index < 0 || index >= getNbEntries()) return false;
  setValue(static_cast<float>(index));
  return true;
}

void COptionMenu::getDisplayString(float value, char utf8String[256]) const {
  if (valueToStringProc || valueToStringFunction) {
    CParamDisplay::getDisplayString(value, utf8String);
    return;
  }
  utf8String[0] = 0;
  if (entries.empty() || !(value >= 0.f)) return;
  const auto i = static_cast<size_t>(std::min<double>(value + 0.5, entries.size() - 1));
  std::snprintf(utf8String, 256, "%s", entries[i].c_str());
}

void COptionMenu::draw(CDrawContext* context) {
  if (popupOpen && bgWhenClick) {
    CBitmap* normal = pBackground;
    pBackground = bgWhenClick;
    CParamDisplay::draw(context);
    pBackground = normal;
  } else {
    CParamDisplay::draw(context);
  }
}

bool COptionMenu::popup() {
  if (popupOpen || entries.empty() || !pParentFrame) return false;
  highlighted = getCurrentIndex();
  toolkit::PlatformFrame* platform = pParentFrame->getPlatformFrame();
  popupOpen = true;
  simulated = !(platform && platform->openPopupList(this));
  // The simulated list takes the keys through the frame's focus; losing the
  // focus (a click elsewhere) closes it.
  if (simulated) pParentFrame->setFocusView(this);
  setDirty(true);
  return true;
}

void COptionMenu::listClosed() {
  popupOpen = false;
  const bool wasSimulated = simulated;
  simulated = false;
  highlighted = -1;
  if (wasSimulated && pParentFrame && pParentFrame->getFocusView() == this)
    pParentFrame->setFocusView(nullptr);
  setDirty(true);
}

void COptionMenu::closePopup() {
  if (!popupOpen) return;
  if (!simulated && pParentFrame)
    if (toolkit::PlatformFrame* platform = pParentFrame->getPlatformFrame())
      platform->closePopupList(this);
  listClosed();
}

bool COptionMenu::choosePopupEntry(int32_t index) {
  if (!popupOpen || !simulated || index < 0 || index >= getNbEntries()) return false;
  popupChosen(index);
  return true;
}

void COptionMenu::popupChosen(int32_t index) {
  if (!popupOpen) return;
  listClosed();
  if (index < 0 || index >= getNbEntries()) return;
  setValue(static_cast<float>(index));
  valueChanged();
}

void COptionMenu::popupCancelled() {
  if (popupOpen) listClosed();
}

CMouseEventResult COptionMenu::onMouseDown(CPoint& /*where*/, const CButtonState& buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  if (popupOpen)
    closePopup();  // a second click on the menu closes its list
  else if (!popup())
    return kMouseEventNotHandled;
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

int32_t COptionMenu::onKeyDown(VstKeyCode& keyCode) {
  if (!popupOpen || !simulated) return -1;
  const int32_t last = getNbEntries() - 1;
  switch (keyCode.virt) {
    case VKEY_UP:
      highlighted = highlighted < 0 ? last : std::max(0, highlighted - 1);
      break;
    case VKEY_DOWN:
      highlighted = std::min(last, highlighted + 1);
      break;
    case VKEY_HOME:
      highlighted = 0;
      break;
    case VKEY_END:
      highlighted = last;
      break;
    case VKEY_RETURN:
    case VKEY_ENTER:
    case VKEY_SPACE:
      if (highlighted >= 0) popupChosen(highlighted);
      break;
    case VKEY_ESCAPE:
      closePopup();
      break;
    default:
      return -1;
  }
  return 1;
}

int32_t COptionMenu::onKeyUp(VstKeyCode& /*keyCode*/) {
  return popupOpen && simulated ? 1 : -1;
}

void COptionMenu::looseFocus() {
  if (popupOpen && simulated) listClosed();
}

bool COptionMenu::removed(CView* parent) {
  closePopup();
  return CParamDisplay::removed(parent);
}
