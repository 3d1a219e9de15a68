// Sizes and type bytes of the preset, bank and MIDI-settings records: the
// files the user saves and the binary values of the per-user settings. Each
// starts with the plug-in identifier (writer's byte order) and a type byte;
// everything after is packed, unaligned.
#pragma once

#include "presets/PresetRecord.h"

constexpr int kRecordHeaderSize = 5;  // identifier, type byte
constexpr int kPresetFileSize = kRecordHeaderSize + static_cast<int>(sizeof(PresetRecord));  // 101
constexpr int kBankFileSize =
    kRecordHeaderSize + kNumPresets * static_cast<int>(sizeof(PresetRecord));  // 1637
constexpr int kMidiFileSize = kRecordHeaderSize + kNumAssignmentParams * 4;    // 77
static_assert(kPresetFileSize == 101 && kBankFileSize == 1637 && kMidiFileSize == 77,
              "record sizes are fixed by the file format");

constexpr unsigned char kPresetFileType = 0x21;
constexpr unsigned char kBankFileType = 0x37;
constexpr unsigned char kMidiFileType = 0x0B;

// Settings key and value names.
constexpr const char* kSettingsKeyPath = "SOFTWARE\\VEK-sonimark\\Korva";
