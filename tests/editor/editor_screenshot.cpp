// Renders the open editor of a fresh plug-in instance (factory preset 0) with
// the offscreen backend and writes it as PNG: editor_screenshot OUT.png
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "editor/Editor.h"
#include "host/AudioEffect.h"
#include "toolkit/CFrame.h"
#include "toolkit/OffscreenFrame.h"

namespace {
VstIntPtr silentHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: editor_screenshot OUT.png\n");
    return 1;
  }
  // Factory state, whatever the user's stored defaults are.
  const std::string config =
      (std::filesystem::temp_directory_path() / "korva-screenshot-config").string();
  std::filesystem::create_directories(config);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);

  AudioEffect* effect = createEffectInstance(silentHost);
  if (!effect) return 2;
  AEffect* e = effect->getAeffect();
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 44100.f);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.f);
  int rc = 2;
  if (e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0.f) == 1) {
    auto* editor = static_cast<Editor*>(effect->getEditor());
    for (int i = 0; i < 3; ++i) e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.f);
    toolkit::OffscreenFrame driver(editor->getFrame());
    rc = driver.renderToPng(argv[1]) ? 0 : 3;
    e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.f);
  }
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.f);
  std::filesystem::remove_all(config);
  return rc;
}
