#include "toolkit/CNewFileSelector.h"

#include <new>

#include "platform/FileDialog.h"
#include "toolkit/CFrame.h"
#include "toolkit/PlatformFrame.h"

CNewFileSelector::CNewFileSelector(CFrame* parent, Style style) : frame(parent), style(style) {}

CNewFileSelector* CNewFileSelector::create(CFrame* parent, Style style) {
  return new (std::nothrow) CNewFileSelector(parent, style);
}

void CNewFileSelector::setTitle(const char* text) {
  title = text ? text : "";
}

void CNewFileSelector::setInitialDirectory(const char* path) {
  initialDirectory = path ? path : "";
}

void CNewFileSelector::setDefaultSaveName(const char* name) {
  defaultSaveName = name ? name : "";
}

void CNewFileSelector::setDefaultExtension(const CFileExtension& extension) {
  defaultExtension = extension.getExtension();
  defaultDescription = extension.getDescription();
}

void CNewFileSelector::setAllowMultiFileSelection(bool state) {
  // The Linux dialogs are run for one file; several are never returned.
  allowMultiFileSelection = state;
}

void CNewFileSelector::addFileExtension(const CFileExtension& extension) {
  extensions.push_back(extension);
}

const char* CNewFileSelector::getSelectedFile(uint32_t index) const {
  return index < result.size() ? result[index].c_str() : nullptr;
}

bool CNewFileSelector::runModal() {
  result.clear();
  if (style == kSelectDirectory) return false;
  try {
    platform::FileDialogRequest request;
    request.save = style == kSelectSaveFile;
    request.title = title;
    // Over the host's window at any editor size, not wherever the desktop puts it.
    if (frame && frame->getPlatformFrame())
      request.parentWindow = frame->getPlatformFrame()->topLevelWindow();
    // Only an absolute folder is a start folder; a relative one would be read
    // against whatever directory the host happens to be in.
    if (!initialDirectory.empty() && initialDirectory[0] == '/') {
      request.initialDirectory = initialDirectory;
      if (request.initialDirectory.back() != '/') request.initialDirectory += '/';
    }
    if (request.save) request.defaultName = defaultSaveName;
    bool defaultListed = defaultExtension.empty();
    for (const CFileExtension& e : extensions) {
      request.filters.push_back({e.getDescription(), e.getExtension()});
      if (defaultExtension == e.getExtension()) defaultListed = true;
    }
    if (!defaultListed)
      request.filters.insert(request.filters.begin(), {defaultDescription, defaultExtension});

    std::optional<std::string> answer = platform::runFileDialog(request);
    if (!answer || answer->empty() || (*answer)[0] != '/') return false;
    std::string path = *answer;
    // A save name typed without extension gets the default one, as the
    // platform dialogs elsewhere do.
    if (request.save && !defaultExtension.empty()) {
      std::string::size_type slash = path.rfind('/');
      std::string name = path.substr(slash + 1);
      if (!name.empty() && name.find('.') == std::string::npos) path += "." + defaultExtension;
    }
    result.push_back(path);
    return true;
  } catch (...) {
    result.clear();
    return false;
  }
}
