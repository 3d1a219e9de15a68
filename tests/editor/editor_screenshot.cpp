// Renders the open editor of a fresh plug-in instance (factory preset 0) with
// the offscreen backend and writes it as PNG: editor_screenshot OUT.png [SCALE]
// (the scale asked for as a host asks, 100 % when not given). The images of
// docs/ and the scaled editor's reference images are made with it.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/editor/ShownEditor.h"

namespace {
VstIntPtr silentHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: editor_screenshot OUT.png [SCALE]\n");
    return 1;
  }
  const float scale = argc == 3 ? std::strtof(argv[2], nullptr) : 1.f;
  // Factory state and no stored size, whatever the user's settings are.
  const std::string config =
      (std::filesystem::temp_directory_path() / "korva-screenshot-config").string();
  std::filesystem::create_directories(config);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  int rc = 2;
  {
    ShownEditor shown(silentHost, scale);
    if (shown.driver) rc = shown.driver->renderToPng(argv[1]) ? 0 : 3;
  }
  std::filesystem::remove_all(config);
  return rc;
}
