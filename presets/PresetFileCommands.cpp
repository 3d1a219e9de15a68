// The six file commands of the preset strip: a dialog, then one record read
// from or written to the chosen file. Files are opened by their full path (the
// host's current directory is never touched); loads open read-only; saves
// replace the file atomically, so a failed save leaves the old file intact.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/AtomicFile.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/PresetFileFormat.h"
#include "presets/PresetFiles.h"
#include "presets/PresetRecords.h"

namespace {

struct FileType {
  const char* description;
  const char* extension;
  int size;
  const char* loadTitle;
  const char* reversedLoadTitle;
  const char* saveTitle;
};

const FileType& fileType(int kind) {
  static const FileType types[] = {
      {"VEK Bank", "vkb", kBankFileSize, "Load bank", "Load bank (endian-reversed)", "Save bank"},
      {"VEK Preset", "vek", kPresetFileSize, "Load preset", "Load preset (endian-reversed)",
       "Save preset"},
      {"VEK MIDI Settings", "vkm", kMidiFileSize, "Load MIDI settings",
       "Load MIDI settings (endian-reversed)", "Save midi settings as"},
  };
  return types[kind];
}

// Reads at most size bytes; a shorter file leaves the rest as it was (zero).
void readRecordFrom(const char* path, unsigned char* buffer, int size) {
  // Non-blocking open: a FIFO chosen by mistake must not hang the editor.
  int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    int got = 0;
    while (got < size) {
      ssize_t n = read(fd, buffer + got, static_cast<size_t>(size - got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<int>(n);
    }
  }
  close(fd);
}

// An absolute path that names a file, not a folder.
bool isFilePath(const std::string& path) {
  return !path.empty() && path[0] == '/' && path.back() != '/';
}

CPresetSystemEffect* presetSystemOf(AudioEffect* effect) {
  return dynamic_cast<CPresetSystemEffect*>(effect);
}

// The file commands need the whole preset system; without the store or the
// controller tables they do nothing at all, not even open a dialog.
bool presetSystemReady(AudioEffect* effect) {
  CPresetSystemEffect* fx = presetSystemOf(effect);
  return fx && fx->presetStore() && fx->hasControllerTables();
}

}  // namespace

void PresetFiles::loadBank(float value) {
  loadRecordFile(kBankRecord, value == 0.5f);
}

void PresetFiles::saveBank() {
  saveRecordFile(kBankRecord);
}

void PresetFiles::loadPreset(float value) {
  loadRecordFile(kPresetRecord, value == 0.5f);
}

void PresetFiles::savePreset() {
  saveRecordFile(kPresetRecord);
}

void PresetFiles::loadMidiSettings(float value) {
  loadRecordFile(kMidiRecord, value == 0.5f);
}

void PresetFiles::saveMidiSettings() {
  saveRecordFile(kMidiRecord);
}

char* PresetFiles::rememberedName(RecordKind kind) {
  switch (kind) {
    case kBankRecord:
      return bankFileName;
    case kPresetRecord:
      return presetFileName;
    default:
      return midiFileName;
  }
}

bool PresetFiles::rememberPath(const char* path, RecordKind kind) {
  if (!path || path[0] != '/') return false;
  const char* slash = std::strrchr(path, '/');
  const size_t folderLength = static_cast<size_t>(slash - path) + 1;
  const size_t nameLength = std::strlen(slash + 1);
  // A part that does not fit the remembered texts is not remembered at all
  // (cutting it would name another file); the file itself is used all the
  // same.
  if (nameLength == 0 || folderLength > static_cast<size_t>(kPathTextLength) ||
      nameLength > static_cast<size_t>(kPathTextLength))
    return false;
  std::memcpy(currentDirectory, path, folderLength);
  currentDirectory[folderLength] = 0;
  char* name = rememberedName(kind);
  std::memcpy(name, slash + 1, nameLength + 1);
  return true;
}

void PresetFiles::applyRecord(RecordKind kind, const unsigned char* data, bool reversed) {
  if (!editor) return;
  switch (kind) {
    case kBankRecord:
      editor->applyBankData(data, reversed);
      break;
    case kPresetRecord:
      editor->applyPresetData(data, reversed);
      break;
    default:
      editor->applyMidiData(data, reversed);
      break;
  }
}

bool PresetFiles::fillRecord(RecordKind kind, unsigned char* data) {
  if (!editor || !presetSystemReady(effect)) return false;
  switch (kind) {
    case kBankRecord:
      editor->fillBankData(data);
      break;
    case kPresetRecord:
      editor->fillPresetData(data);
      break;
    default:
      editor->fillMidiData(data);
      break;
  }
  return true;
}

void PresetFiles::loadRecordFile(RecordKind kind, bool reversed) {
  if (!presetSystemReady(effect)) return;
  const FileType& type = fileType(kind);
  std::string path;
  const PresetEditorInterface::FileChoice choice = {
      false,
      reversed ? type.reversedLoadTitle : type.loadTitle,
      currentDirectory,
      type.description,
      type.extension,
      ""};
  if (!editor || !editor->chooseFile(choice, &path)) return;
  if (!isFilePath(path)) return;
  rememberPath(path.c_str(), kind);

  unsigned char buffer[kBankFileSize] = {0};  // the largest record
  readRecordFrom(path.c_str(), buffer, type.size);
  if (presetrecords::holdsUnusableValue(effect, buffer, recordType(kind), reversed))
    std::fprintf(stderr,
                 "korva: %s refused, nothing changed: it holds a value outside 0..1 or no number\n",
                 path.c_str());
  // A file that did not open leaves the buffer zero; the record is refused
  // then (a bank load has selected preset 0 all the same).
  const PresetEditorInterface::HostValues before = editor->readHostValues();
  applyRecord(kind, buffer, reversed);
  editor->reportChangedValues(before);
  editor->redrawStrip();
}

void PresetFiles::saveRecordFile(RecordKind kind) {
  if (!presetSystemReady(effect)) return;
  const FileType& type = fileType(kind);
  std::string path;
  const PresetEditorInterface::FileChoice choice = {
      true,           type.saveTitle,      currentDirectory, type.description,
      type.extension, rememberedName(kind)};
  if (!editor || !editor->chooseFile(choice, &path)) return;
  if (!isFilePath(path)) return;
  rememberPath(path.c_str(), kind);

  unsigned char buffer[kBankFileSize] = {0};
  if (!fillRecord(kind, buffer)) return;
  platform::writeFileAtomically(path, buffer, static_cast<size_t>(type.size));
}
