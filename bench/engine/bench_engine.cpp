// Cost of the engine per stereo frame, today's engine against the frozen copy
// of the per-sample engine it replaced (bench/engine/baseline), and the
// denormal check: a long silent tail after a loud burst must cost no more
// than the burst itself.
//
//   bench_engine                      Google Benchmark cases, then the
//                                     same-run comparison table
//   bench_engine --compare-only [--x86-64|--avx2]
//                                     the comparison table alone (--x86-64:
//                                     the loop's build for any x86-64;
//                                     --avx2: its AVX2 build, not AVX-512)
//   bench_engine --count SETTING WHICH BLOCKS
//                                     processes BLOCKS blocks in countedRun()
//                                     for callgrind's --toggle-collect
//                                     (SETTING: defaults, wow, feedback, busy;
//                                     WHICH: new, new-avx2, new-x86-64 (the
//                                     loop's builds without AVX-512, without
//                                     AVX2), baseline, or a loadable
//                                     build's .so, then optionally
//                                     --x86-64 or --avx2 as below)
//   bench_engine --compare-builds OLD.so NEW.so [--x86-64|--avx2] [--rounds N]
//                                     two loadable builds of the engine
//                                     (compare-builds.sh makes them) in one
//                                     run, alternating; checks first that
//                                     both give the same bits
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/engine/EngineBuildApi.h"
#include "bench/engine/baseline/DelayEngine.h"
#include "engine/dsp/DelayEngine.h"
#include "tests/reference/ReferenceComparison.h"

namespace {

constexpr int kBlock = 512;

// One engine of a loadable build, with the operations configure() uses.
class LoadedEngine {
 public:
  explicit LoadedEngine(const KorvaEngineBuild* b) : build(b), engine(b->create()) {}
  ~LoadedEngine() { build->destroy(engine); }
  LoadedEngine(const LoadedEngine&) = delete;
  LoadedEngine& operator=(const LoadedEngine&) = delete;
  void setParameter(int index, float value) { build->setParameter(engine, index, value); }
  void suspend() { build->suspend(engine); }
  void resume(float rate) { build->resume(engine, rate); }
  void process(const float* inL, const float* inR, float* outL, float* outR, int frames) {
    build->process(engine, inL, inR, outL, outR, frames);
  }

 private:
  const KorvaEngineBuild* build;
  void* engine;
};

struct Buffers {
  std::vector<float> inL, inR, outL, outR;
  explicit Buffers(float amp) : inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock) {
    unsigned x = 12345;
    for (int i = 0; i < kBlock; ++i) {
      x = x * 1664525u + 1013904223u;
      inL[i] = amp * (static_cast<float>(x >> 8) / 8388608.0f - 1.0f);
      x = x * 1664525u + 1013904223u;
      inR[i] = amp * (static_cast<float>(x >> 8) / 8388608.0f - 1.0f);
    }
  }
  void run(DelayEngine& e) {
    e.process(inL.data(), inR.data(), outL.data(), outR.data(), kBlock, BlockTiming{});
  }
  void run(baseline::DelayEngine& e) {
    e.process(inL.data(), inR.data(), outL.data(), outR.data(), kBlock, baseline::BlockTiming{});
  }
  void run(LoadedEngine& e) { e.process(inL.data(), inR.data(), outL.data(), outR.data(), kBlock); }
};

// The settings compared. "wow tape" is the factory preset of that name.
enum class Setting { Defaults, WowTape, Feedback, Busy };

template <class Engine>
void configure(Engine& e, Setting s) {
  e.setParameter(kDlyx2, 0.0f);  // as the first preset does
  switch (s) {
    case Setting::Defaults:
      break;
    case Setting::WowTape: {
      const float wow[kNumParams] = {0.622706f, 0.479528f, 0.459736f, 0.053856f, 0.25f, 0.25f,
                                     0.53191f,  0.75f,     0.25f,     0.5f,      0.1f,  0.31f,
                                     0.5f,      0.25f,     0.75f,     0.25f,     0.1f,  0.038462f};
      for (int i = 0; i < kNumParams; ++i) e.setParameter(i, wow[i]);
      break;
    }
    case Setting::Feedback:
      e.setParameter(kDlyTime, 0.125f);  // 400 ms
      e.setParameter(kFbck, 1.0f);
      e.setParameter(kMix, 0.5f);
      break;
    case Setting::Busy:
      e.setParameter(kDepth, 0.6f);
      e.setParameter(kWaveform, 0.2f);  // sine with some envelope
      e.setParameter(kRate, 0.6f);
      e.setParameter(kFbck, 0.85f);
      e.setParameter(kDlyx2, 0.75f);
      e.setParameter(kHiCut, 0.75f);
      e.setParameter(kMix, 0.5f);
      break;
  }
  e.suspend();
  e.resume(44100.0f);
}

const char* settingName(Setting s) {
  switch (s) {
    case Setting::Defaults:
      return "defaults";
    case Setting::WowTape:
      return "wow tape";
    case Setting::Feedback:
      return "feedback 1, 400 ms";
    case Setting::Busy:
      return "modulation, feedback, Dlyx2";
  }
  return "";
}

template <class Engine>
void measure(benchmark::State& state, Setting s) {
  Engine e;
  configure(e, s);
  Buffers b(0.5f);
  for (int i = 0; i < 200; ++i) b.run(e);  // settle
  for (auto _ : state) {
    b.run(e);
    benchmark::DoNotOptimize(b.outL.data());
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
  state.counters["ns/frame"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kBlock),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Defaults(benchmark::State& st) {
  measure<DelayEngine>(st, Setting::Defaults);
}
void BM_Defaults_Baseline(benchmark::State& st) {
  measure<baseline::DelayEngine>(st, Setting::Defaults);
}
void BM_WowTape(benchmark::State& st) {
  measure<DelayEngine>(st, Setting::WowTape);
}
void BM_WowTape_Baseline(benchmark::State& st) {
  measure<baseline::DelayEngine>(st, Setting::WowTape);
}
void BM_Feedback1(benchmark::State& st) {
  measure<DelayEngine>(st, Setting::Feedback);
}
void BM_Feedback1_Baseline(benchmark::State& st) {
  measure<baseline::DelayEngine>(st, Setting::Feedback);
}
void BM_ModulationFeedbackDlyx2(benchmark::State& st) {
  measure<DelayEngine>(st, Setting::Busy);
}
void BM_ModulationFeedbackDlyx2_Baseline(benchmark::State& st) {
  measure<baseline::DelayEngine>(st, Setting::Busy);
}
BENCHMARK(BM_Defaults);
BENCHMARK(BM_Defaults_Baseline);
BENCHMARK(BM_WowTape);
BENCHMARK(BM_WowTape_Baseline);
BENCHMARK(BM_Feedback1);
BENCHMARK(BM_Feedback1_Baseline);
BENCHMARK(BM_ModulationFeedbackDlyx2);
BENCHMARK(BM_ModulationFeedbackDlyx2_Baseline);

double nsPerFrame(std::chrono::steady_clock::duration d, int blocks) {
  return std::chrono::duration<double, std::nano>(d).count() /
         (static_cast<double>(blocks) * kBlock);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The parameter values configure() sets, as steps for the reference model.
struct StepRecorder {
  std::vector<reference::Step> steps;
  void setParameter(int index, float value) { steps.push_back({-1, index, value}); }
  void suspend() {}
  void resume(float) {}
};

// Today's engine against the per-sample model at a setting, before it is
// timed: a fast loop that no longer gives the model's bits is no gain.
std::string referenceCheck(Setting s) {
  StepRecorder r;
  configure(r, s);
  reference::Setting setting;
  setting.name = settingName(s);
  setting.steps = r.steps;
  setting.blocks = 200;
  setting.block = kBlock;
  const reference::Difference d = reference::compare(setting);
  return d.found ? d.describe() : "matches the reference";
}

// Both engines in one run: short rounds alternate between them, and so does
// their order within a round, so a machine shared with other work loads both
// alike and neither always runs on the caches and clocks the other left. The
// best round of each is the figure least disturbed by other work; the median
// is printed beside it.
struct Timing {
  double bestNew, bestOld, medianNew, medianOld;
};

template <class New, class Old>
Timing timeAlternately(New& now, Old& old, Setting s, int rounds) {
  constexpr int kBlocks = 8;
  configure(now, s);
  configure(old, s);
  Buffers b(0.5f);
  for (int i = 0; i < 100; ++i) {
    b.run(now);
    b.run(old);
  }
  std::vector<double> tNew, tOld;
  auto time = [&](auto& e, std::vector<double>& into) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kBlocks; ++i) b.run(e);
    into.push_back(nsPerFrame(std::chrono::steady_clock::now() - t0, kBlocks));
  };
  for (int round = 0; round < rounds; ++round) {
    if (round % 2) {
      time(now, tNew);
      time(old, tOld);
    } else {
      time(old, tOld);
      time(now, tNew);
    }
  }
  return {*std::min_element(tNew.begin(), tNew.end()), *std::min_element(tOld.begin(), tOld.end()),
          median(tNew), median(tOld)};
}

void printHeader(int rounds, const char* what) {
  std::printf("same-run comparison%s, 44.1 kHz, block %d, %d rounds of 8 blocks\n", what, kBlock,
              rounds);
  std::printf("%-30s %10s %10s %8s   %10s %10s %8s\n", "ns per stereo frame", "new best",
              "old best", "old/new", "new median", "old median", "old/new");
}

void printRow(Setting s, const Timing& t, const std::string& note) {
  std::printf("%-30s %10.2f %10.2f %7.3fx   %10.2f %10.2f %7.3fx  %s\n", settingName(s), t.bestNew,
              t.bestOld, t.bestOld / t.bestNew, t.medianNew, t.medianOld, t.medianOld / t.medianNew,
              note.c_str());
}

void compare() {
  constexpr int kRounds = 301;
  std::printf("\n");
  printHeader(kRounds, " with the frozen per-sample engine");
  for (Setting s : {Setting::Defaults, Setting::WowTape, Setting::Feedback, Setting::Busy}) {
    DelayEngine now;
    baseline::DelayEngine old;
    const Timing t = timeAlternately(now, old, s, kRounds);
    printRow(s, t, referenceCheck(s));
  }
}

const KorvaEngineBuild* loadBuild(const char* path) {
  // RTLD_LOCAL: each build keeps its own engine symbols.
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::fprintf(stderr, "bench_engine: %s\n", dlerror());
    return nullptr;
  }
  auto entry = reinterpret_cast<KorvaEngineBuildEntry>(dlsym(handle, KORVA_ENGINE_BUILD_ENTRY));
  if (!entry) {
    std::fprintf(stderr, "bench_engine: %s has no %s\n", path, KORVA_ENGINE_BUILD_ENTRY);
    return nullptr;
  }
  return entry();
}

// The first sample where two builds' outputs differ over `blocks` blocks, or -1.
long firstDifference(const KorvaEngineBuild* a, const KorvaEngineBuild* b, Setting s, int blocks) {
  LoadedEngine ea(a), eb(b);
  configure(ea, s);
  configure(eb, s);
  Buffers ba(0.5f), bb(0.5f);
  for (int n = 0; n < blocks; ++n) {
    ba.run(ea);
    bb.run(eb);
    for (int k = 0; k < kBlock; ++k)
      if (std::memcmp(&ba.outL[k], &bb.outL[k], sizeof(float)) != 0 ||
          std::memcmp(&ba.outR[k], &bb.outR[k], sizeof(float)) != 0)
        return static_cast<long>(n) * kBlock + k;
  }
  return -1;
}

// Two builds of the engine in one run, as compare() does for the baseline:
// rounds alternate, and the order within a round alternates too, so neither
// build always runs on caches and clocks the other left behind.
int compareBuilds(const char* oldPath, const char* newPath, int cap, int rounds) {
  const KorvaEngineBuild* older = loadBuild(oldPath);
  const KorvaEngineBuild* newer = loadBuild(newPath);
  if (!older || !newer) return 1;
  older->capLoopBuild(cap);
  newer->capLoopBuild(cap);
  std::printf("old: %s\nnew: %s\nloop builds up to %s\n", oldPath, newPath,
              cap == 0   ? "x86-64"
              : cap == 1 ? "AVX2"
                         : "AVX-512");
  printHeader(rounds, " of two builds");
  for (Setting s : {Setting::Defaults, Setting::WowTape, Setting::Feedback, Setting::Busy}) {
    const long differs = firstDifference(older, newer, s, 200);
    LoadedEngine now(newer), old(older);
    const Timing t = timeAlternately(now, old, s, rounds);
    printRow(s, t, differs < 0 ? "same bits" : "DIFFERS at frame " + std::to_string(differs));
  }
  return 0;
}

// Seconds per block, median of a run of blocks.
double secondsPerBlock(DelayEngine& e, Buffers& b, int blocks) {
  std::vector<double> t;
  for (int i = 0; i < blocks; ++i) {
    auto start = std::chrono::steady_clock::now();
    b.run(e);
    t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
  return t[t.size() / 2];
}

void denormalCheck() {
  DelayEngine e;
  configure(e, Setting::Busy);
  e.setParameter(kFbck, 0.95f);
  Buffers loud(1.0f), silent(0.0f);
  const double burst = secondsPerBlock(e, loud, 860);  // 10 s of loud noise
  secondsPerBlock(e, silent, 2600);                    // 30 s for the echoes to die away
  const double tail = secondsPerBlock(e, silent, 860);
  std::printf("denormal check: burst %.1f ns/frame, silent tail %.1f ns/frame, ratio %.3f\n",
              burst * 1e9 / kBlock, tail * 1e9 / kBlock, tail / burst);
}

template <class Engine>
__attribute__((noinline, noclone)) void countedRun(Engine& e, Buffers& b, int blocks) {
  for (int i = 0; i < blocks; ++i) b.run(e);
}

template <class Engine>
int count(Setting s, int blocks) {
  Engine e;
  configure(e, s);
  Buffers b(0.5f);
  for (int i = 0; i < 20; ++i) {
    b.run(e);  // settle, outside the counted function
    benchmark::DoNotOptimize(b.outL.data());
  }
  countedRun(e, b, blocks);
  benchmark::DoNotOptimize(b.outL.data());
  std::printf("%d blocks of %d frames: divide callgrind's Ir by %d\n", blocks, kBlock,
              blocks * kBlock);
  return 0;
}

int countMode(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr,
                 "usage: bench_engine --count defaults|wow|feedback|busy "
                 "new|new-avx2|new-x86-64|baseline BLOCKS\n");
    return 1;
  }
  const std::string which = argv[2];
  const Setting s = which == "wow"        ? Setting::WowTape
                    : which == "feedback" ? Setting::Feedback
                    : which == "busy"     ? Setting::Busy
                                          : Setting::Defaults;
  const int blocks = std::max(1, std::atoi(argv[4]));
  if (std::strstr(argv[3], ".so")) {  // a loadable build (--compare-builds)
    const KorvaEngineBuild* build = loadBuild(argv[3]);
    if (!build) return 1;
    const bool x86 = argc > 5 && std::strcmp(argv[5], "--x86-64") == 0;
    const bool avx2 = argc > 5 && std::strcmp(argv[5], "--avx2") == 0;
    build->capLoopBuild(x86 ? 0 : avx2 ? 1 : 2);
    LoadedEngine e(build);
    configure(e, s);
    Buffers b(0.5f);
    for (int i = 0; i < 20; ++i) b.run(e);
    countedRun(e, b, blocks);
    benchmark::DoNotOptimize(b.outL.data());
    return 0;
  }
  if (std::strcmp(argv[3], "new-x86-64") == 0) DelayEngine::allowWideLoop(false);
  if (std::strcmp(argv[3], "new-avx2") == 0)
    DelayEngine::capLoopBuild(DelayEngine::LoopBuild::Avx2);
  return std::strcmp(argv[3], "baseline") == 0 ? count<baseline::DelayEngine>(s, blocks)
                                               : count<DelayEngine>(s, blocks);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--count") == 0) return countMode(argc, argv);
  if (argc > 3 && std::strcmp(argv[1], "--compare-builds") == 0) {
    int cap = 2, rounds = 2001;
    for (int i = 4; i < argc; ++i) {
      if (std::strcmp(argv[i], "--x86-64") == 0) cap = 0;
      if (std::strcmp(argv[i], "--avx2") == 0) cap = 1;
      if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) rounds = std::atoi(argv[++i]);
    }
    return compareBuilds(argv[2], argv[3], cap, std::max(1, rounds));
  }
  if (argc > 1 && std::strcmp(argv[1], "--compare-only") == 0) {
    if (argc > 2 && std::strcmp(argv[2], "--x86-64") == 0) DelayEngine::allowWideLoop(false);
    if (argc > 2 && std::strcmp(argv[2], "--avx2") == 0)
      DelayEngine::capLoopBuild(DelayEngine::LoopBuild::Avx2);
    std::printf("loop build: %s\n", DelayEngine::loopBuildName(DelayEngine::loopBuild()));
    compare();
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  compare();
  denormalCheck();
  return 0;
}
