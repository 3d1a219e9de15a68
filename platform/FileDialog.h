// Native file dialogs for the Linux build: kdialog or zenity, whichever is
// installed (kdialog first), run as a child process whose standard output
// carries the chosen path back. Without either program every dialog answers
// as if cancelled. Threads: the UI thread; a dialog blocks it until closed.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct FileDialogFilter {
  std::string description;  // "VEK Preset"
  std::string extension;    // "vek", without the dot
};

struct FileDialogRequest {
  bool save = false;
  std::string title;
  std::string initialDirectory;  // absolute, ends with '/'; empty for the dialog's default
  std::string defaultName;       // save dialogs only
  std::vector<FileDialogFilter> filters;
  // The X11 window the dialog belongs to, kept above it and placed over it by
  // the window manager (kdialog; zenity 3.44 takes it for its message boxes
  // only, not for file selection); 0: none.
  unsigned long parentWindow = 0;
};

// Shows one dialog; the chosen absolute path, or nothing when cancelled.
class FileDialogRunner {
 public:
  virtual ~FileDialogRunner() = default;
  virtual std::optional<std::string> run(const FileDialogRequest& request) = 0;
  // False when no dialog can be shown at all, so that a caller can say why
  // instead of taking it for a cancel.
  virtual bool available() { return true; }
};

// The real dialogs. Programs are looked up in searchPath (':'-separated); an
// empty searchPath means $PATH, or /usr/local/bin:/usr/bin:/bin without it.
class SystemFileDialogRunner : public FileDialogRunner {
 public:
  explicit SystemFileDialogRunner(std::string searchPath = std::string());
  std::optional<std::string> run(const FileDialogRequest& request) override;
  bool available() override;  // kdialog or zenity is installed

  // The command line for the given program ("kdialog" or "zenity"), with the
  // program's path as argv[0]; zenityVersion is "major.minor" or empty.
  static std::vector<std::string> buildCommand(const std::string& program,
                                               const std::string& programPath,
                                               const FileDialogRequest& request,
                                               const std::string& zenityVersion);

 private:
  std::string findProgram(const char* name) const;
  std::string zenityVersionOf(const std::string& path);

  std::string searchPath;
  std::string cachedZenityPath;
  std::string cachedZenityVersion;
};

// Shows a dialog through the runner set for tests, else the system runner.
std::optional<std::string> runFileDialog(const FileDialogRequest& request);
// Whether that runner can show a dialog at all.
bool fileDialogAvailable();

// Replaces the dialogs by a scripted runner (tests only); null restores the
// system dialogs. The runner stays owned by the caller.
void setFileDialogRunnerForTesting(FileDialogRunner* runner);

// Runs argv (argv[0] a full path) with LD_LIBRARY_PATH removed from its
// environment; returns its standard output and sets *exitStatus (-1 when it
// could not be started or its status is unknown). Exposed for tests.
std::string runChildForOutput(const std::vector<std::string>& argv, int* exitStatus);

}  // namespace platform
