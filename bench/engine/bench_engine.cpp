// Cost of the engine per stereo frame, and the denormal check: a long silent
// tail after a loud burst must cost no more than the burst itself.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/dsp/DelayEngine.h"

namespace {

constexpr int kBlock = 512;

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
};

void busy(DelayEngine& e) {
  e.setParameter(kDepth, 0.6f);
  e.setParameter(kWaveform, 0.2f);  // sine with some envelope
  e.setParameter(kRate, 0.6f);
  e.setParameter(kFbck, 0.85f);
  e.setParameter(kDlyx2, 0.75f);
  e.setParameter(kHiCut, 0.75f);
  e.setParameter(kMix, 0.5f);
}

void measure(benchmark::State& state, DelayEngine& e, float amp) {
  Buffers b(amp);
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

void BM_Defaults(benchmark::State& state) {
  DelayEngine e;
  e.suspend();
  e.resume(44100.0f);
  measure(state, e, 0.5f);
}
BENCHMARK(BM_Defaults);

void BM_ModulationFeedbackDlyx2(benchmark::State& state) {
  DelayEngine e;
  busy(e);
  e.suspend();
  e.resume(44100.0f);
  measure(state, e, 0.5f);
}
BENCHMARK(BM_ModulationFeedbackDlyx2);

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
  busy(e);
  e.setParameter(kFbck, 0.95f);
  e.suspend();
  e.resume(44100.0f);
  Buffers loud(1.0f), silent(0.0f);
  const double burst = secondsPerBlock(e, loud, 860);  // 10 s of loud noise
  secondsPerBlock(e, silent, 2600);                    // 30 s for the echoes to die away
  const double tail = secondsPerBlock(e, silent, 860);
  std::printf("denormal check: burst %.1f ns/frame, silent tail %.1f ns/frame, ratio %.3f\n",
              burst * 1e9 / kBlock, tail * 1e9 / kBlock, tail / burst);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  denormalCheck();
  return 0;
}
