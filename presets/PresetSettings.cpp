// Per-user settings of the preset system: default bank, preset and MIDI
// settings, the A/B memories and the remembered folder and file names. The
// records are those of the files; each value is written whole and atomically
// by the settings store. Every failure is silent and leaves the state alone.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/SettingsStore.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/PresetFileFormat.h"
#include "presets/PresetFiles.h"
#include "presets/PresetRecords.h"

namespace {

constexpr uint32_t kPathValueLimit = 514;  // 256 characters and a terminator as UTF-16 units

const char* const kDefaultBankValue = "DefaultBank";
const char* const kDefaultPresetValue = "DefaultPreset";
const char* const kDefaultMidiValue = "DefaultMidi";
const char* const kMemoAValue = "MemoA";
const char* const kMemoBValue = "MemoB";
const char* const kDirectoryValue = "CurrDir";
const char* const kBankNameValue = "CurrBank";
const char* const kPresetNameValue = "CurrPreset";
const char* const kMidiNameValue = "CurrMidi";

uint32_t recordSize(PresetFiles::RecordKind kind) {
  switch (kind) {
    case PresetFiles::kBankRecord:
      return kBankFileSize;
    case PresetFiles::kPresetRecord:
      return kPresetFileSize;
    default:
      return kMidiFileSize;
  }
}

// A stored text is taken only when it is terminated within the limit of the
// remembered texts and has the expected form; anything else reads as empty.
void textFromValue(const unsigned char* value, bool isDirectory, char* text) {
  text[0] = 0;
  const void* end = std::memchr(value, 0, kPathTextLength + 1);
  if (!end) return;
  const char* s = reinterpret_cast<const char*>(value);
  const size_t length = static_cast<size_t>(static_cast<const unsigned char*>(end) - value);
  if (isDirectory) {
    if (length > 0 && (s[0] != '/' || s[length - 1] != '/')) return;
  } else if (std::memchr(s, '/', length)) {
    return;
  }
  std::memcpy(text, s, length + 1);
}

}  // namespace

unsigned char PresetFiles::recordType(RecordKind kind) {
  switch (kind) {
    case kBankRecord:
      return kBankFileType;
    case kPresetRecord:
      return kPresetFileType;
    default:
      return kMidiFileType;
  }
}

PresetFiles::PresetFiles(AudioEffect* effect, PresetEditorInterface* editor)
    : effect(effect), editor(editor) {
  // The folder the dialogs start in until one is chosen: the host's working
  // directory, if it fits the remembered text with its separator.
  char cwd[kPathTextLength + 1];
  if (getcwd(cwd, sizeof(cwd)) && cwd[0] == '/') {
    size_t length = std::strlen(cwd);
    if (cwd[length - 1] == '/') {
      std::memcpy(currentDirectory, cwd, length + 1);
    } else if (length < static_cast<size_t>(kPathTextLength)) {
      std::memcpy(currentDirectory, cwd, length);
      currentDirectory[length] = '/';
      currentDirectory[length + 1] = 0;
    }
  }
  bankFileName[0] = 0;
  presetFileName[0] = 0;
  midiFileName[0] = 0;
}

void PresetFiles::loadStoredDefaults() {
  readRecordValue(kDefaultBankValue, kBankRecord);
  readRecordValue(kDefaultPresetValue, kPresetRecord);
  readRecordValue(kDefaultMidiValue, kMidiRecord);
  readRememberedPaths();
}

void PresetFiles::storeRecordValue(const char* valueName, RecordKind kind) {
  unsigned char buffer[kBankFileSize] = {0};
  if (!fillRecord(kind, buffer)) return;
  platform::SettingsKey key = nullptr;
  if (platform::settingsCreateKey(kSettingsKeyPath, platform::kSettingsWriteAccess, &key) !=
      platform::kSettingsOk)
    return;
  platform::settingsSetValue(key, valueName, platform::kSettingsBinary, buffer, recordSize(kind));
  platform::settingsCloseKey(key);
}

void PresetFiles::readRecordValue(const char* valueName, RecordKind kind) {
  const uint32_t size = recordSize(kind);
  unsigned char buffer[kBankFileSize] = {0};
  platform::SettingsKey key = nullptr;
  if (platform::settingsOpenKey(kSettingsKeyPath, platform::kSettingsQueryAccess, &key) ==
      platform::kSettingsOk) {
    uint32_t type = 0;
    uint32_t got = size;
    long rc = platform::settingsQueryValue(key, valueName, &type, buffer, &got);
    platform::settingsCloseKey(key);
    // Only a whole record of the right type counts; a damaged or foreign
    // value is read as none.
    if (rc != platform::kSettingsOk || type != platform::kSettingsBinary || got != size)
      std::memset(buffer, 0, sizeof(buffer));
  }
  if (presetrecords::holdsUnusableValue(effect, buffer, recordType(kind), false))
    std::fprintf(
        stderr,
        "korva: stored %s refused, nothing changed: it holds a value outside 0..1 or no number\n",
        valueName);
  // Read also when nothing was found: the zero record is refused by its
  // identifier (and the bank reader has selected preset 0 by then).
  applyRecord(kind, buffer, false);
}

void PresetFiles::deleteStoredValue(const char* valueName) {
  platform::SettingsKey key = nullptr;
  if (platform::settingsOpenKey(kSettingsKeyPath, platform::kSettingsSetAccess, &key) !=
      platform::kSettingsOk)
    return;
  platform::settingsDeleteValue(key, valueName);
  platform::settingsCloseKey(key);
}

void PresetFiles::readRememberedPaths() {
  unsigned char values[4][kPathValueLimit];
  std::memset(values, 0, sizeof(values));
  const char* const names[4] = {kDirectoryValue, kBankNameValue, kPresetNameValue, kMidiNameValue};
  platform::SettingsKey key = nullptr;
  if (platform::settingsOpenKey(kSettingsKeyPath, platform::kSettingsQueryAccess, &key) ==
      platform::kSettingsOk) {
    for (int i = 0; i < 4; ++i) {
      uint32_t type = 0;
      uint32_t size = kPathValueLimit;
      if (platform::settingsQueryValue(key, names[i], &type, values[i], &size) !=
              platform::kSettingsOk ||
          type != platform::kSettingsText)
        std::memset(values[i], 0, kPathValueLimit);
    }
    platform::settingsCloseKey(key);
  }
  // Also when the key did not open: then every text becomes empty.
  textFromValue(values[0], true, currentDirectory);
  textFromValue(values[1], false, bankFileName);
  textFromValue(values[2], false, presetFileName);
  textFromValue(values[3], false, midiFileName);
}

void PresetFiles::storeRememberedPaths() {
  platform::SettingsKey key = nullptr;
  if (platform::settingsCreateKey(kSettingsKeyPath, platform::kSettingsWriteAccess, &key) !=
      platform::kSettingsOk)
    return;
  const char* const names[4] = {kDirectoryValue, kBankNameValue, kPresetNameValue, kMidiNameValue};
  const char* const texts[4] = {currentDirectory, bankFileName, presetFileName, midiFileName};
  for (int i = 0; i < 4; ++i) {
    // With the terminator, as the texts were always stored.
    const size_t length = strnlen(texts[i], kPathTextLength);
    char text[kPathTextLength + 1];
    std::memcpy(text, texts[i], length);
    text[length] = 0;
    platform::settingsSetValue(key, names[i], platform::kSettingsText,
                               reinterpret_cast<const unsigned char*>(text),
                               static_cast<uint32_t>(length + 1));
  }
  platform::settingsCloseKey(key);
}

void PresetFiles::storeOrDeleteDefaultBank(float value) {
  if (value >= 0.75f)
    storeDefaultBank();
  else
    deleteDefaultBank();
}

void PresetFiles::storeOrDeleteDefaultPreset(float value) {
  if (value >= 0.75f)
    storeDefaultPreset();
  else
    deleteDefaultPreset();
}

void PresetFiles::storeOrDeleteDefaultMidi(float value) {
  if (value >= 0.75f)
    storeDefaultMidi();
  else
    deleteDefaultMidi();
}

void PresetFiles::storeDefaultBank() {
  storeRecordValue(kDefaultBankValue, kBankRecord);
}

void PresetFiles::deleteDefaultBank() {
  deleteStoredValue(kDefaultBankValue);
}

void PresetFiles::storeDefaultPreset() {
  storeRecordValue(kDefaultPresetValue, kPresetRecord);
}

void PresetFiles::deleteDefaultPreset() {
  deleteStoredValue(kDefaultPresetValue);
}

void PresetFiles::storeDefaultMidi() {
  storeRecordValue(kDefaultMidiValue, kMidiRecord);
}

void PresetFiles::deleteDefaultMidi() {
  deleteStoredValue(kDefaultMidiValue);
}

void PresetFiles::storeMemoA() {
  storeRecordValue(kMemoAValue, kPresetRecord);
}

void PresetFiles::storeMemoB() {
  storeRecordValue(kMemoBValue, kPresetRecord);
}

void PresetFiles::recallMemoA() {
  if (!editor) return;
  const PresetEditorInterface::HostValues before = editor->readHostValues();
  readRecordValue(kMemoAValue, kPresetRecord);
  editor->reportChangedValues(before);
}

void PresetFiles::recallMemoB() {
  if (!editor) return;
  const PresetEditorInterface::HostValues before = editor->readHostValues();
  readRecordValue(kMemoBValue, kPresetRecord);
  editor->reportChangedValues(before);
}
