// The toolkit's file selector: an open or save dialog with a title, a start
// folder, file types and, for saving, a default name and extension. On Linux
// the dialog is kdialog or zenity (platform/FileDialog.h); runModal blocks the
// UI thread until the user answers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/CBaseObject.h"

class CFrame;

class CFileExtension {
 public:
  CFileExtension(const char* description, const char* extension, const char* mimeType = nullptr)
      : description(description ? description : ""),
        extension(extension ? extension : ""),
        mimeType(mimeType ? mimeType : "") {}

  const char* getDescription() const { return description.c_str(); }
  const char* getExtension() const { return extension.c_str(); }
  const char* getMimeType() const { return mimeType.c_str(); }

  bool operator==(const CFileExtension& other) const {
    return description == other.description && extension == other.extension;
  }

 private:
  std::string description;
  std::string extension;
  std::string mimeType;
};

class CNewFileSelector : public CBaseObject {
 public:
  enum Style {
    kSelectFile,       // open an existing file
    kSelectSaveFile,   // choose a file name to save to
    kSelectDirectory,  // not offered by the Linux dialogs used here; answers cancelled
  };

  CNewFileSelector(CFrame* parent, Style style);
  ~CNewFileSelector() override = default;

  // Allocated selector with one reference, released with forget(); null when
  // out of memory.
  static CNewFileSelector* create(CFrame* parent = nullptr, Style style = kSelectFile);

  void setTitle(const char* title);
  void setInitialDirectory(const char* path);
  void setDefaultSaveName(const char* name);
  void setDefaultExtension(const CFileExtension& extension);
  void setAllowMultiFileSelection(bool state);
  void addFileExtension(const CFileExtension& extension);

  // Shows the dialog; true when at least one file was chosen.
  bool runModal();

  uint32_t getNumSelectedFiles() const { return static_cast<uint32_t>(result.size()); }
  const char* getSelectedFile(uint32_t index) const;  // null past the end

 private:
  CFrame* frame;
  Style style;
  std::string title;
  std::string initialDirectory;
  std::string defaultSaveName;
  std::string defaultExtension;
  std::string defaultDescription;
  bool allowMultiFileSelection = false;
  std::vector<CFileExtension> extensions;
  std::vector<std::string> result;
};
