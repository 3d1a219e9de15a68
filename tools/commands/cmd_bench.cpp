#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/commands/commands.h"
#include "tools/lv2/lv2_host.h"
#include "tools/vst/plugin.h"
#include "tools/vst/plugin_state.h"
#include "tools/vst/process.h"

namespace khost {

const char* const kBenchHelp =
    "usage: korva-host bench [options] PLUGIN.so [PLUGIN OPTIONS]\n"
    "                        [PLUGIN2.so [PLUGIN OPTIONS]]...\n"
    "\n"
    "Processes the same deterministic test signal (decaying sine bursts\n"
    "alternating with silence, stereo) through each plug-in, all loaded in the\n"
    "same process, and prints per plug-in the median over the runs of the\n"
    "real-time factor (audio seconds per second of processing time) and of the\n"
    "nanoseconds per stereo frame, plus the ratio of its ns/frame to that of the\n"
    "first plug-in listed (the baseline; above 1 means slower). Runs alternate\n"
    "between the plug-ins; each run resumes the plug-in (effMainsChanged 1),\n"
    "times only the processReplacing calls and suspends it again.\n"
    "\n"
    "options (anywhere):\n"
    "  --seconds N     seconds of signal per run (default 10)\n"
    "  --runs R        runs per plug-in (default 5)\n"
    "  --block N       block size in frames (default 512)\n"
    "  --rate HZ       sample rate (default 48000)\n"
    "\n"
    "plug-in options apply to the plug-in named just before them:\n"
    "  --param NAME_OR_INDEX=VALUE   set a parameter (0..1); repeatable\n"
    "  --load FILE                   restore state (.fxp, .fxb or raw chunk)\n"
    "\n"
    "The same .so may be listed twice with different settings, e.g.\n"
    "  korva-host bench fx.so --param Mix=0 fx.so --param Mix=1\n"
    "Exit codes: 0 ok, 1 usage, 2 plug-in load error, 3 I/O error.\n";

namespace {

struct Entry {
  std::string path;
  std::vector<ParamSetting> params;
  std::string loadPath;
  std::string label;
  std::unique_ptr<HostContext> host;
  std::unique_ptr<Plugin> plugin;
  // An LV2 plug-in named by URI: its --param values are in port units.
  std::unique_ptr<Lv2Host> lv2;
  std::vector<std::string> lv2Settings;
  std::vector<double> nsPerFrame;
};

// Plucked-string-like bursts: a new decaying sine every 0.5 s for 0.25 s, then
// silence for 0.25 s, so plug-ins meet both signal and denormal-prone decay.
void testSignal(double rate, int64_t frames, std::vector<float>& left, std::vector<float>& right) {
  left.assign(static_cast<size_t>(frames), 0.0f);
  right.assign(static_cast<size_t>(frames), 0.0f);
  const double pi = 3.14159265358979323846;
  const int64_t period = static_cast<int64_t>(rate * 0.5);
  const int64_t burst = period / 2;
  for (int64_t i = 0; i < frames; ++i) {
    const int64_t k = i / std::max<int64_t>(period, 1);
    const int64_t t = i - k * period;
    if (t >= burst) continue;
    const double f = 110.0 * static_cast<double>(1 + k % 7);
    const double s = static_cast<double>(t) / rate;
    const double env = 0.8 * std::exp(-s * 12.0);
    left[static_cast<size_t>(i)] = static_cast<float>(env * std::sin(2 * pi * f * s));
    right[static_cast<size_t>(i)] = static_cast<float>(env * std::sin(2 * pi * f * 1.01 * s + 0.5));
  }
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// Loads one plug-in with its state and settings; its label names them.
void prepare(Entry& e, size_t i, double rate, int32_t block) {
  e.label = std::to_string(i + 1) + ". " + e.path;
  if (isLv2Uri(e.path)) {
    e.lv2 = std::make_unique<Lv2Host>(e.path, rate, block);
    if (!e.loadPath.empty()) e.lv2->loadState(e.loadPath);
    for (const std::string& s : e.lv2Settings) {
      applyControlSetting(*e.lv2, s);
      e.label += " " + s;
    }
    return;
  }
  e.host = std::make_unique<HostContext>();
  e.host->sampleRate = rate;
  e.host->blockSize = block;
  e.plugin = std::make_unique<Plugin>(e.path, *e.host);
  if (!e.loadPath.empty()) loadState(*e.plugin, e.loadPath);
  applyParams(*e.plugin, e.params);
  e.plugin->dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
  e.plugin->dispatch(effSetBlockSize, 0, block);
  for (const ParamSetting& p : e.params) e.label += " " + p.name + "=" + formatGeneral(p.value);
  if (!e.loadPath.empty()) e.label += " load=" + e.loadPath;
}

// One run of the whole signal: resumed (activated) first, only the processing
// timed; nanoseconds per frame.
double timeOneRun(Entry& e, const std::vector<float>& inL, const std::vector<float>& inR,
                  std::vector<float>& outL, std::vector<float>& outR, int32_t block) {
  const std::vector<MidiControlChange> noEvents;
  const int64_t frames = static_cast<int64_t>(inL.size());
  std::chrono::steady_clock::time_point start, stop;
  if (e.lv2) {
    const Lv2Transport transport;
    e.lv2->activate();
    start = std::chrono::steady_clock::now();
    e.lv2->run(inL.data(), inR.data(), frames, frames, outL.data(), outR.data(), noEvents,
               transport);
    stop = std::chrono::steady_clock::now();
    e.lv2->deactivate();
  } else {
    BlockProcessor processor(*e.plugin, block);
    e.plugin->resume();
    start = std::chrono::steady_clock::now();
    processor.run(inL.data(), inR.data(), frames, frames, outL.data(), outR.data(), noEvents);
    stop = std::chrono::steady_clock::now();
    e.plugin->suspend();
  }
  const double ns = std::chrono::duration<double, std::nano>(stop - start).count();
  return ns / static_cast<double>(std::max<int64_t>(frames, 1));
}

}  // namespace

int runBench(ArgList& args) {
  double seconds = 10, rate = 48000;
  long long runs = 5, block = 512;
  std::vector<Entry> entries;
  while (!args.empty()) {
    const std::string a = args.next();
    auto number = [&](double lo, double hi) {
      const std::string t = args.value(a);
      double v = 0;
      if (!parseDouble(t, v)) usageError("bad number \"" + t + "\" for " + a);
      if (v < lo || v > hi)
        usageError(a + " " + t + " is outside " + formatGeneral(lo) + ".." + formatGeneral(hi));
      return v;
    };
    if (a == "--seconds")
      seconds = number(0.01, 3600);
    else if (a == "--rate")
      rate = number(1000, 1536000);
    else if (a == "--runs") {
      const double v = number(1, 1000);
      if (v != std::floor(v)) usageError("--runs wants a whole number");
      runs = static_cast<long long>(v);
    } else if (a == "--block") {
      const double v = number(1, 65536);
      if (v != std::floor(v)) usageError("--block wants a whole number");
      block = static_cast<long long>(v);
    } else if (a == "--param" || a == "--load") {
      if (entries.empty()) usageError(a + " must follow the plug-in it applies to");
      if (a == "--param" && isLv2Uri(entries.back().path))
        entries.back().lv2Settings.push_back(args.value(a));
      else if (a == "--param")
        entries.back().params.push_back(parseParamSetting(args.value(a)));
      else
        entries.back().loadPath = args.value(a);
    } else if (a.size() > 1 && a[0] == '-')
      usageError("unknown option " + a);
    else {
      Entry e;
      e.path = a;
      entries.push_back(std::move(e));
    }
  }
  if (entries.empty()) usageError("no plug-in given (korva-host bench PLUGIN.so ...)");

  const int64_t frames = static_cast<int64_t>(std::llround(seconds * rate));
  std::vector<float> inL, inR;
  testSignal(rate, frames, inL, inR);
  std::vector<float> outL(static_cast<size_t>(frames)), outR(static_cast<size_t>(frames));

  for (size_t i = 0; i < entries.size(); ++i)
    prepare(entries[i], i, rate, static_cast<int32_t>(block));
  for (long long r = 0; r < runs; ++r)
    for (Entry& e : entries)
      e.nsPerFrame.push_back(timeOneRun(e, inL, inR, outL, outR, static_cast<int32_t>(block)));

  std::printf("signal: %s s at %s Hz, block %lld, %lld runs (median)\n",
              formatGeneral(seconds).c_str(), formatGeneral(rate).c_str(), block, runs);
  const double baseline = median(entries.front().nsPerFrame);
  for (Entry& e : entries) {
    const double ns = median(e.nsPerFrame);
    const double rtf = ns > 0 ? 1e9 / (ns * rate) : 0.0;
    std::printf("%s\n    real-time factor %sx   %s ns/frame   ratio %s\n", e.label.c_str(),
                formatDouble(rtf, 1).c_str(), formatDouble(ns, 2).c_str(),
                formatDouble(baseline > 0 ? ns / baseline : 0.0, 3).c_str());
  }
  for (Entry& e : entries)
    if (e.plugin) e.plugin->close();
  return kExitOk;
}

}  // namespace khost
