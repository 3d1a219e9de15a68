// bad-input: NaN, Inf, denormals and huge finite bursts on the input, then
// normal signal. The output must be finite and bounded again within the
// plug-in's declared tail (10 s when it declares none).
#include <cfloat>
#include <cmath>
#include <limits>
#include <map>

#include "tools/base/cli.h"
#include "tools/validate/check.h"
#include "tools/validate/instance.h"
#include "tools/validate/signals.h"

namespace validate {

namespace {

constexpr float kBound = 100.0f;
constexpr double kRate = 44100.0;
constexpr int kBlock = 512;

struct Burst {
  const char* name;
  float (*value)(int64_t frame);
  int frames;
};

float nanValue(int64_t) {
  return std::numeric_limits<float>::quiet_NaN();
}
float infValue(int64_t) {
  return std::numeric_limits<float>::infinity();
}
float negInfValue(int64_t) {
  return -std::numeric_limits<float>::infinity();
}
float denormalValue(int64_t i) {
  return (i % 2 ? 1.0f : -1.0f) * 1e-41f * static_cast<float>(1 + i % 50);
}
float hugeValue(int64_t i) {
  return i % 2 ? 1e30f : -1e30f;
}
float maxValue(int64_t i) {
  return i % 3 == 0 ? FLT_MAX : i % 3 == 1 ? -FLT_MAX : 3e38f;
}
float hugeDc(int64_t) {
  return 1e20f;
}
float hugeNegative(int64_t) {
  return -1e20f;
}

const Burst kBursts[] = {{"NaN", nanValue, 2048},
                         {"one NaN sample", nanValue, 1},
                         {"+Inf", infValue, 2048},
                         {"-Inf", negInfValue, 2048},
                         {"denormals", denormalValue, 44100},
                         {"huge +-1e30", hugeValue, 2048},
                         {"+-FLT_MAX", maxValue, 2048},
                         {"1e20 DC", hugeDc, 4410},
                         {"-1e20 x256", hugeNegative, 256}};

}  // namespace

namespace {

// The longest burst: the run without a burst lasts as long as the longest
// run with one, so that all bursts share it.
constexpr int kLongestBurst = 44100;

// One run of the signal with or without the burst, for `settings` (none:
// the defaults). Returns the last frame whose output is not finite or above
// `bound`, and the peak of the finite output.
struct Played {
  int64_t lastBad = -1;
  float lastValue = 0.0f;
  float peak = 0.0f;
  int64_t burstEnd = 0;
  int64_t limit = 0;
};

int64_t burstStart(int variant) {
  // Later variants put the burst at another offset within a block.
  return static_cast<int64_t>(0.2 * kRate) + variant * 37;
}

Played play(Check& c, const Burst* b, const std::vector<float>& settings, int variant, float bound,
            const std::string& what) {
  Instance inst(c.pluginPath());
  for (size_t i = 0; i < settings.size(); ++i) inst.setParameter(static_cast<int>(i), settings[i]);
  Played p;
  const VstIntPtr tail = inst.dispatch(effGetTailSize);
  p.limit = tail > 1 ? std::min<int64_t>(tail, static_cast<int64_t>(60 * kRate))
                     : static_cast<int64_t>(10 * kRate);
  inst.start(kRate, kBlock);
  const int64_t start = burstStart(variant);
  p.burstEnd = start + (b != nullptr ? b->frames : kLongestBurst);
  const int64_t total = p.burstEnd + p.limit + static_cast<int64_t>(kRate);
  std::vector<float> in(kBlock);
  for (int64_t done = 0; done < total; done += kBlock) {
    musicalSignal(in, done, kRate, 13);
    if (b != nullptr)
      for (int i = 0; i < kBlock; ++i)
        if (done + i >= start && done + i < p.burstEnd)
          in[static_cast<size_t>(i)] = b->value(done + i);
    c.step(what + (b != nullptr ? "" : ", without the burst") + ", frames " + std::to_string(done) +
           ".." + std::to_string(done + kBlock));
    inst.processSignal(in.data(), kBlock);
    for (const auto& ch : inst.outputs())
      for (int i = 0; i < kBlock; ++i) {
        const float x = ch[static_cast<size_t>(i)];
        if (std::isfinite(x)) p.peak = std::max(p.peak, std::fabs(x));
        if (!(std::isfinite(x) && std::fabs(x) <= bound) && done + i > p.lastBad) {
          p.lastBad = done + i;
          p.lastValue = x;
        }
      }
  }
  return p;
}

// The settings of one variant, the same for every burst: defaults first;
// then every parameter at 0 or 1, at 0/0.05/0.5/0.95/1, or anywhere.
std::vector<float> settingsOf(Check& c, int variant, std::string& name) {
  std::vector<float> values;
  name = "defaults";
  if (variant == 0) return values;
  static const float marks[] = {0.0f, 0.05f, 0.5f, 0.95f, 1.0f};
  const int kind = variant % 3;
  name = kind == 1   ? "parameters at 0 or 1"
         : kind == 2 ? "parameters at 0, 0.05, 0.5, 0.95 or 1"
                     : "random parameters";
  std::mt19937_64 rng(c.seed() * 1000003 + static_cast<uint64_t>(variant));
  Instance probe(c.pluginPath());
  for (int i = 0; i < probe.plugin().numParams(); ++i) {
    const float v = kind == 1   ? static_cast<float>(rng() % 2)
                    : kind == 2 ? marks[rng() % 5]
                                : static_cast<float>(static_cast<double>(rng() >> 11) * 0x1p-53);
    values.push_back(v);
  }
  return values;
}

// How loud the plug-in is anyway with these settings and this signal, run
// once per variant for all bursts of the group (the checks share a process).
const Played& reference(Check& c, const std::vector<float>& settings, int variant,
                        const std::string& what) {
  static std::map<std::pair<int, std::vector<float>>, Played> cache;
  const auto key = std::make_pair(variant, settings);
  auto it = cache.find(key);
  if (it == cache.end())
    it = cache.emplace(key, play(c, nullptr, settings, variant, kBound, what)).first;
  return it->second;
}

void recovery(Check& c, const Burst& b) {
  double worstMs = 0.0;
  for (int variant = 0; variant < 1 + 2 * c.level(); ++variant) {
    std::string name;
    const std::vector<float> values = settingsOf(c, variant, name);
    std::string settings = name + (values.empty() ? "" : ":");
    for (size_t i = 0; i < values.size() && i < 48; ++i)
      settings += " " + khost::formatDouble(values[i], 3);
    const auto place = c.at({{"settings", name}, {"variant", std::to_string(variant)}});
    const std::string what = std::string(b.name) + " burst of " + std::to_string(b.frames) +
                             " frames at frame " + std::to_string(burstStart(variant)) + ", " +
                             settings;
    // Only what the burst did counts: the same settings and signal without
    // it set the bound.
    const Played& without = reference(c, values, variant, what);
    if (without.lastBad >= 0 && !std::isfinite(without.lastValue)) {
      c.tried();
      c.report(Kind::Output, what + ": output " + describeFloat(without.lastValue) + " at frame " +
                                 std::to_string(without.lastBad) + " even without the burst");
      continue;
    }
    const float bound = std::max(kBound, 4.0f * without.peak);
    const Played p = play(c, &b, values, variant, bound, what);
    c.tried();
    if (p.lastBad >= p.burstEnd) {
      const double ms = 1000.0 * static_cast<double>(p.lastBad - p.burstEnd) / kRate;
      worstMs = std::max(worstMs, ms);
      if (p.lastBad >= p.burstEnd + p.limit)
        c.report(Kind::Output, what + ": output still " + describeFloat(p.lastValue) + " at " +
                                   khost::formatDouble(ms / 1000.0, 2) +
                                   " s after the burst (limit " +
                                   khost::formatDouble(static_cast<double>(p.limit) / kRate, 2) +
                                   " s, bound " + khost::formatGeneral(bound) + ")");
    }
  }
  c.figure(std::string(b.name) + ": recovery", worstMs, "ms");
}

template <int K>
void burst(Check& c) {
  recovery(c, kBursts[K]);
}

}  // namespace

std::vector<CheckDef> badInputChecks() {
  return {{"NaN", burst<0>, Kind::Output},       {"one NaN sample", burst<1>, Kind::Output},
          {"+Inf", burst<2>, Kind::Output},      {"-Inf", burst<3>, Kind::Output},
          {"denormals", burst<4>, Kind::Output}, {"huge +-1e30", burst<5>, Kind::Output},
          {"+-FLT_MAX", burst<6>, Kind::Output}, {"1e20 DC", burst<7>, Kind::Output},
          {"-1e20 x256", burst<8>, Kind::Output}};
}

}  // namespace validate
