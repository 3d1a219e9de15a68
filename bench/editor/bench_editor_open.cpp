// Time to open the editor and draw it whole, at each scale: the first open of
// a scale in the process (which draws that scale's skin images) and the mean
// of later opens (which reuse them). Wall-clock time, offscreen. Given a
// scale in percent, only that one: its first open is then the first of the
// process, as in a host that has just loaded the plug-in.
//
//   bench_editor_open [opens] [percent]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "editor/Editor.h"
#include "host/AudioEffect.h"

namespace {

VstIntPtr silentHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// Milliseconds from effEditOpen to the end of the first idle, which draws the
// whole window.
double openAndDraw(AEffect* e) {
  const auto t0 = std::chrono::steady_clock::now();
  e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0.f);
  e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.f);
  const auto t1 = std::chrono::steady_clock::now();
  e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.f);
  return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int opens = argc > 1 ? std::atoi(argv[1]) : 20;
  const int only = argc > 2 ? std::atoi(argv[2]) : 0;
  if (opens <= 0 || (argc > 2 && (only < 100 || only > 300 || only % 25 != 0))) {
    std::fprintf(stderr, "usage: bench_editor_open [opens] [percent: 100..300 in steps of 25]\n");
    return 1;
  }
  const std::string config =
      (std::filesystem::temp_directory_path() / "korva-bench-open-config").string();
  std::filesystem::create_directories(config);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  AudioEffect* effect = createEffectInstance(silentHost);
  if (!effect) return 2;
  AEffect* e = effect->getAeffect();
  for (int quarter = 4; quarter <= 12; ++quarter) {
    if (only && quarter * 25 != only) continue;
    const float scale = quarter / 4.f;
    e->dispatcher(e, effVendorSpecific, vstFourCC('P', 'r', 'e', 'S'),
                  vstFourCC('A', 'e', 'C', 's'), nullptr, scale);
    const double first = openAndDraw(e);
    double later = 0;
    for (int i = 0; i < opens; ++i) later += openAndDraw(e);
    std::printf("%3d %%: first open %7.1f ms, later opens %6.1f ms (mean of %d)\n", quarter * 25,
                first, later / opens, opens);
  }
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.f);
  std::filesystem::remove_all(config);
  return 0;
}
