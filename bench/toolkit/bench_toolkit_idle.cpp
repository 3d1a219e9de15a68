// CPU cost of a frame's idle at 30 Hz while nothing changes (and, second, while
// one meter changes every idle, as an editor's does). Prints CPU time per idle
// and the share of one core. Usage: bench_toolkit_idle [seconds] (default 10).
// Uses an X11 window when DISPLAY is set (child of a window of its own),
// otherwise the offscreen backend.
#include <X11/Xlib.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "toolkit/Toolkit.h"

// The bench embeds no skin (no resource provider is registered).
namespace {

double threadCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

CBitmap* solidStrip(int w, int h, int n) {
  std::vector<uint32_t> px(static_cast<size_t>(w) * h * n);
  for (size_t i = 0; i < px.size(); ++i)
    px[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u);
  return new CBitmap(w, h * n, px.data());
}

// About the editor's population: 8 filmstrip knobs, 8 buttons, 8 displays.
CMovieBitmap* populate(CFrame* frame) {
  CBitmap* bg = solidStrip(870, 101, 1);
  frame->setBackground(bg);
  bg->forget();
  CBitmap* knobs = solidStrip(35, 35, 101);
  for (int i = 0; i < 8; ++i) {
    auto* k = new CAnimKnob(CRect(100 + 50 * i, 25, 135 + 50 * i, 60), nullptr, i, 101, 35, knobs);
    k->setValue(0.1f * i);
    frame->addView(k);
  }
  knobs->forget();
  CBitmap* buttons = solidStrip(21, 26, 2);
  for (int i = 0; i < 8; ++i)
    frame->addView(
        new COnOffButton(CRect(500 + 30 * i, 44, 521 + 30 * i, 70), nullptr, 20 + i, buttons));
  buttons->forget();
  CBitmap* digits = solidStrip(14, 20, 12);
  CMovieBitmap* meter = nullptr;
  for (int i = 0; i < 8; ++i) {
    meter =
        new CMovieBitmap(CRect(20 + 16 * i, 70, 34 + 16 * i, 90), nullptr, 40 + i, 12, 20, digits);
    frame->addView(meter);
  }
  digits->forget();
  return meter;
}

void run(const char* label, CFrame* frame, CMovieBitmap* meter, double seconds, bool changing) {
  const int idles = static_cast<int>(seconds * 30);
  for (int i = 0; i < 5; ++i) frame->idle();  // first full draw and exposures
  const uint64_t drawsBefore = frame->getDrawCount();
  double cpu = 0;
  auto next = std::chrono::steady_clock::now();
  for (int i = 0; i < idles; ++i) {
    if (changing) meter->setValue((i % 12) / 11.f);
    const double t0 = threadCpuSeconds();
    frame->idle();
    cpu += threadCpuSeconds() - t0;
    next += std::chrono::microseconds(33333);
    std::this_thread::sleep_until(next);
  }
  std::printf("%-28s %5d idles  %8.2f us CPU/idle  %6.3f %% of one core  %llu view draws\n", label,
              idles, cpu / idles * 1e6, cpu / seconds * 100.0,
              static_cast<unsigned long long>(frame->getDrawCount() - drawsBefore));
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  Display* dpy = XOpenDisplay(nullptr);
  Window parent = 0;
  if (dpy) {
    parent = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 870, 101, 0, 0, 0);
    XMapWindow(dpy, parent);
    XSync(dpy, False);
  }
  for (int changing = 0; changing < 2; ++changing) {
    CFrame* frame = new CFrame(CRect(0, 0, 870, 101), reinterpret_cast<void*>(parent), nullptr);
    CMovieBitmap* meter = populate(frame);
    char label[64];
    std::snprintf(label, sizeof label, "%s, %s", frame->isWindowed() ? "X11" : "offscreen",
                  changing ? "one meter moving" : "idle, no change");
    run(label, frame, meter, seconds, changing != 0);
    frame->close();
  }
  if (dpy) {
    XDestroyWindow(dpy, parent);
    XCloseDisplay(dpy);
  }
  return 0;
}
