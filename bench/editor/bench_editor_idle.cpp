// CPU cost of an open editor that nothing changes: effEditIdle called as a
// host does at 30 Hz, reported as CPU time per call and per 60 s (1800 calls).
// The calls are made back to back; the process CPU clock measures only the
// work they do. Runs offscreen, and in a real X11 window when DISPLAY is set.
//
//   bench_editor_idle [calls]
#include <X11/Xlib.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "editor/Editor.h"
#include "host/AudioEffect.h"
#include "toolkit/CFrame.h"

namespace {

VstIntPtr silentHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void measure(const char* label, void* parentWindow, VstIntPtr display, int calls) {
  AudioEffect* effect = createEffectInstance(silentHost);
  if (!effect) return;
  AEffect* e = effect->getAeffect();
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 44100.f);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.f);
  if (e->dispatcher(e, effEditOpen, 0, display, parentWindow, 0.f) != 1) {
    std::printf("%s: editor did not open\n", label);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.f);
    return;
  }
  CFrame* frame = static_cast<Editor*>(effect->getEditor())->getFrame();
  // Let the first full draw happen outside the measurement.
  for (int i = 0; i < 30; ++i) e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.f);
  const uint64_t drawsBefore = frame->getDrawCount();
  const double t0 = cpuSeconds();
  for (int i = 0; i < calls; ++i) e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.f);
  const double cpu = cpuSeconds() - t0;
  const uint64_t draws = frame->getDrawCount() - drawsBefore;
  const double perCall = cpu / calls;
  std::printf(
      "%-9s %d idle calls: %.2f us CPU per call, %.3f ms CPU per 60 s at 30 Hz "
      "(%.4f %% of one core); views drawn: %llu\n",
      label, calls, perCall * 1e6, perCall * 1800 * 1e3, perCall * 30 * 100,
      static_cast<unsigned long long>(draws));
  e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.f);
  e->dispatcher(e, effClose, 0, 0, nullptr, 0.f);
}

}  // namespace

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::atoi(argv[1]) : 18000;
  if (calls <= 0) {
    std::fprintf(stderr, "usage: bench_editor_idle [calls]\n");
    return 1;
  }
  const std::string config =
      (std::filesystem::temp_directory_path() / "korva-bench-config").string();
  std::filesystem::create_directories(config);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);

  measure("offscreen", nullptr, 0, calls);

  if (const char* name = std::getenv("DISPLAY"); name && *name) {
    if (Display* d = XOpenDisplay(nullptr)) {
      const int screen = DefaultScreen(d);
      Window parent = XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0, 870, 101, 0,
                                          BlackPixel(d, screen), BlackPixel(d, screen));
      XMapRaised(d, parent);
      XSync(d, False);
      measure("x11", reinterpret_cast<void*>(static_cast<uintptr_t>(parent)),
              reinterpret_cast<VstIntPtr>(d), calls);
      XDestroyWindow(d, parent);
      XCloseDisplay(d);
    }
  }
  std::filesystem::remove_all(config);
  return 0;
}
