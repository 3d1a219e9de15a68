// bad-input for both formats: NaN, Inf, denormals and huge finite bursts on
// the input, then normal signal. The output must be finite and bounded again
// within the plug-in's declared tail (10 s when it declares none); only what
// the burst did counts, measured against the same run without it. A huge
// finite burst may leave more if a unit burst leaves as much in proportion:
// that is a linear plug-in's long decay, not a fault.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/validate/check.h"

namespace validate::bad_input {

constexpr float kBound = 100.0f;
constexpr double kRate = 44100.0;
constexpr int kBlock = 512;

struct Burst {
  const char* name;
  float (*value)(int64_t frame);
  int frames;
  // The largest |value| of a finite burst; 0 for NaN, Inf and denormals.
  double magnitude = 0.0;
  // The unit run: the burst times `gain`, in silence.
  double gain = 1.0;
  bool alone = false;
};

constexpr int kBursts = 9;
const Burst& burst(int k);

// What one run showed: the last frame whose output is not finite or above
// the bound, the peak of the finite output and the peak from the deadline on
// (infinite if not finite).
struct Played {
  int64_t lastBad = -1;
  float lastValue = 0.0f;
  float peak = 0.0f;
  float late = 0.0f;
  int64_t burstEnd = 0;
  int64_t limit = 0;
};

int64_t burstStart(int variant);

// Sets up `p` for a run of `b` (null: the run without a burst) with the
// plug-in's tail (frames, <= 1 when it declares none); returns its length.
int64_t beginRun(Played& p, const Burst* b, int variant, int64_t tail);
// The block's input at `done`: signal, with the burst where it falls.
void blockInput(std::vector<float>& in, int64_t done, const Burst* b, int variant, const Played& p);
// Takes one block's output into `p`.
void account(Played& p, const std::vector<std::vector<float>>& outs, int64_t done, float bound);

// One run with the burst (or none) and `settings`, one value in 0..1 per
// parameter (empty: the defaults).
using Play = std::function<Played(const Burst* b, const std::vector<float>& settings, int variant,
                                  float bound, const std::string& what)>;

void recovery(Check& c, const Burst& b, int parameters, const Play& play);

// The group's checks, one per burst; Run(c, burst) is the format's.
template <void (*Run)(Check&, const Burst&)>
std::vector<CheckDef> checks() {
  return {{"NaN", [](Check& c) { Run(c, burst(0)); }, Kind::Output},
          {"one NaN sample", [](Check& c) { Run(c, burst(1)); }, Kind::Output},
          {"+Inf", [](Check& c) { Run(c, burst(2)); }, Kind::Output},
          {"-Inf", [](Check& c) { Run(c, burst(3)); }, Kind::Output},
          {"denormals", [](Check& c) { Run(c, burst(4)); }, Kind::Output},
          {"huge +-1e30", [](Check& c) { Run(c, burst(5)); }, Kind::Output},
          {"+-FLT_MAX", [](Check& c) { Run(c, burst(6)); }, Kind::Output},
          {"1e20 DC", [](Check& c) { Run(c, burst(7)); }, Kind::Output},
          {"-1e20 x256", [](Check& c) { Run(c, burst(8)); }, Kind::Output}};
}

}  // namespace validate::bad_input
