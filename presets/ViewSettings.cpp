#include "presets/ViewSettings.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/SettingsStore.h"
#include "presets/PresetFileFormat.h"

namespace viewsettings {
namespace {

const char* const kScaleValue = "EditorScale";

bool isStep(int percent) {
  return percent >= 100 && percent <= 300 && percent % 25 == 0;
}

}  // namespace

int readScalePercent() {
  platform::SettingsKey key = nullptr;
  if (platform::settingsOpenKey(kSettingsKeyPath, platform::kSettingsQueryAccess, &key) !=
      platform::kSettingsOk)
    return 0;
  unsigned char text[8] = {0};
  uint32_t type = 0;
  uint32_t size = sizeof(text) - 1;
  const long rc = platform::settingsQueryValue(key, kScaleValue, &type, text, &size);
  platform::settingsCloseKey(key);
  if (rc != platform::kSettingsOk || type != platform::kSettingsText) return 0;
  // Three digits, with or without the terminator: anything else is no size.
  int percent = 0;
  uint32_t digits = 0;
  for (; digits < size && text[digits] >= '0' && text[digits] <= '9'; ++digits)
    percent = percent * 10 + (text[digits] - '0');
  const bool terminated = digits == size || (digits + 1 == size && text[digits] == 0);
  return digits == 3 && terminated && isStep(percent) ? percent : 0;
}

bool storeScalePercent(int percent) {
  if (percent != 0 && !isStep(percent)) return false;
  platform::SettingsKey key = nullptr;
  if (percent == 0) {
    if (platform::settingsOpenKey(kSettingsKeyPath, platform::kSettingsSetAccess, &key) !=
        platform::kSettingsOk)
      return true;  // no key, no choice stored
    const long rc = platform::settingsDeleteValue(key, kScaleValue);
    platform::settingsCloseKey(key);
    return rc == platform::kSettingsOk || rc == platform::kSettingsNotFound;
  }
  if (platform::settingsCreateKey(kSettingsKeyPath, platform::kSettingsWriteAccess, &key) !=
      platform::kSettingsOk)
    return false;
  char text[8];
  std::snprintf(text, sizeof(text), "%d", percent);
  const long rc = platform::settingsSetValue(key, kScaleValue, platform::kSettingsText,
                                             reinterpret_cast<const unsigned char*>(text),
                                             static_cast<uint32_t>(std::strlen(text) + 1));
  platform::settingsCloseKey(key);
  return rc == platform::kSettingsOk;
}

}  // namespace viewsettings
