// Per-user settings store with the shape of a registry: keys hold named values
// of a type (binary or text). On Linux a key is a folder below the user's
// configuration directory and each value is one file in it:
//
//   key "SOFTWARE\VEK-sonimark\Korva"  ->  $XDG_CONFIG_HOME/VEK-sonimark/Korva/
//   ($XDG_CONFIG_HOME unset, empty or relative -> $HOME/.config)
//
// The leading "SOFTWARE" component names the hive's software branch and is
// dropped; the other components become folders (created 0700 on first write).
// A value is the file named exactly like the value ("DefaultBank", "CurrDir")
// holding a one-line type header, "REG_BINARY\n" or "REG_SZ\n", followed by
// the value's bytes as they were set. Text values are stored as the caller's
// 8-bit bytes (file names are bytes on Linux, so no locale conversion), with
// their terminating zero when the caller includes it.
//
// Every write goes to a uniquely named temporary file in the key's folder, is
// flushed with fsync and renamed over the value's file: a reader, another
// process writing at the same time or a crash sees either the old or the new
// value, never a mix. Failures report through the result code only.
// Threads: any; the store keeps no state between calls but the open handles.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Result codes, numbered like the registry's.
enum SettingsResult : long {
  kSettingsOk = 0,
  kSettingsNotFound = 2,
  kSettingsAccessDenied = 5,
  kSettingsInvalidHandle = 6,
  kSettingsInvalidParameter = 87,
  kSettingsMoreData = 234,
  kSettingsWriteFailed = 29,
};

// Value types, numbered like the registry's.
enum SettingsType : uint32_t {
  kSettingsText = 1,    // REG_SZ
  kSettingsBinary = 3,  // REG_BINARY
};

// Access rights of a handle.
enum SettingsAccess : uint32_t {
  kSettingsQueryAccess = 1,
  kSettingsSetAccess = 2,
  kSettingsWriteAccess = kSettingsQueryAccess | kSettingsSetAccess,
};

// The largest value the store accepts; settings are small records and texts.
constexpr uint32_t kSettingsMaxValueSize = 64 * 1024;

struct SettingsKeyHandle;
using SettingsKey = SettingsKeyHandle*;

// Opens the key, creating its folders when missing (RegCreateKeyEx).
long settingsCreateKey(const char* keyPath, uint32_t access, SettingsKey* key);

// Opens an existing key; kSettingsNotFound when its folder does not exist
// (RegOpenKeyEx).
long settingsOpenKey(const char* keyPath, uint32_t access, SettingsKey* key);

// Reads a value (RegQueryValueEx). *size is the buffer size on entry and the
// value's size on return. With data null only the size and type are reported.
// A value larger than the buffer gives kSettingsMoreData and leaves data alone.
long settingsQueryValue(SettingsKey key, const char* name, uint32_t* type, unsigned char* data,
                        uint32_t* size);

// Writes a value atomically (RegSetValueEx).
long settingsSetValue(SettingsKey key, const char* name, uint32_t type, const unsigned char* data,
                      uint32_t size);

// Removes a value; kSettingsNotFound when it did not exist (RegDeleteValue).
long settingsDeleteValue(SettingsKey key, const char* name);

// Releases a handle (RegCloseKey).
long settingsCloseKey(SettingsKey key);

// The folder a key maps to (without trailing '/'), for tests; empty when the
// key path or the configuration directory is unusable.
std::string settingsKeyFolder(const char* keyPath);

}  // namespace platform
