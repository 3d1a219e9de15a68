#include "tools/validate/bad_input.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <random>

#include "tools/base/cli.h"
#include "tools/validate/signals.h"

namespace validate::bad_input {

namespace {

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

const Burst kAll[kBursts] = {{"NaN", nanValue, 2048},
                             {"one NaN sample", nanValue, 1},
                             {"+Inf", infValue, 2048},
                             {"-Inf", negInfValue, 2048},
                             {"denormals", denormalValue, 44100},
                             {"huge +-1e30", hugeValue, 2048, 1e30},
                             {"+-FLT_MAX", maxValue, 2048, FLT_MAX},
                             {"1e20 DC", hugeDc, 4410, 1e20},
                             {"-1e20 x256", hugeNegative, 256, 1e20}};

// The longest burst: the run without a burst lasts as long as the longest
// run with one, so that all bursts share it.
constexpr int kLongestBurst = 44100;

// The settings of one variant, the same for every burst: defaults first;
// then every parameter at 0 or 1, at 0/0.05/0.5/0.95/1, or anywhere.
std::vector<float> settingsOf(Check& c, int variant, int parameters, std::string& name) {
  std::vector<float> values;
  name = "defaults";
  if (variant == 0) return values;
  static const float marks[] = {0.0f, 0.05f, 0.5f, 0.95f, 1.0f};
  const int kind = variant % 3;
  name = kind == 1   ? "parameters at 0 or 1"
         : kind == 2 ? "parameters at 0, 0.05, 0.5, 0.95 or 1"
                     : "random parameters";
  std::mt19937_64 rng(c.seed() * 1000003 + static_cast<uint64_t>(variant));
  for (int i = 0; i < parameters; ++i) {
    const float v = kind == 1   ? static_cast<float>(rng() % 2)
                    : kind == 2 ? marks[rng() % 5]
                                : static_cast<float>(static_cast<double>(rng() >> 11) * 0x1p-53);
    values.push_back(v);
  }
  return values;
}

// How loud the plug-in is anyway with these settings and this signal, run
// once per variant for all bursts of the group (the checks share a process).
const Played& reference(const Play& play, const std::vector<float>& settings, int variant,
                        const std::string& what) {
  static std::map<std::pair<int, std::vector<float>>, Played> cache;
  const auto key = std::make_pair(variant, settings);
  auto it = cache.find(key);
  if (it == cache.end())
    it = cache.emplace(key, play(nullptr, settings, variant, kBound, what)).first;
  return it->second;
}

std::string roughly(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", v);
  return text;
}

// After a huge finite burst, a linear plug-in with a long decay (feedback at
// 100 %, a long reverb) still holds the burst times its decay at the
// deadline, as it does after a burst of peak 1. The same burst scaled to
// peak 1, in silence so that the signal hides none of its decay, sets how
// much is in proportion (4 times the burst's magnitude times what it leaves,
// never less than the bound). `why` says how it compares.
bool inProportion(const Burst& b, const Played& p, const std::vector<float>& values, int variant,
                  float bound, const std::string& what, const Play& play, std::string& why) {
  why.clear();
  if (b.magnitude <= 0.0 || !std::isfinite(p.late)) return false;
  Burst unit = b;
  unit.gain = 1.0 / b.magnitude;
  unit.alone = true;
  const Played u = play(&unit, values, variant, kBound, what + ", scaled to peak 1, in silence");
  const double allowed =
      std::isfinite(u.late) ? std::max<double>(bound, 4.0 * b.magnitude * u.late) : bound;
  why =
      "the burst scaled to peak 1 leaves " + roughly(u.late) + ", which allows " + roughly(allowed);
  return p.late <= allowed;
}

}  // namespace

const Burst& burst(int k) {
  return kAll[k];
}

int64_t burstStart(int variant) {
  // Later variants put the burst at another offset within a block.
  return static_cast<int64_t>(0.2 * kRate) + variant * 37;
}

int64_t beginRun(Played& p, const Burst* b, int variant, int64_t tail) {
  p.limit = tail > 1 ? std::min<int64_t>(tail, static_cast<int64_t>(60 * kRate))
                     : static_cast<int64_t>(10 * kRate);
  p.burstEnd = burstStart(variant) + (b != nullptr ? b->frames : kLongestBurst);
  return p.burstEnd + p.limit + static_cast<int64_t>(kRate);
}

void blockInput(std::vector<float>& in, int64_t done, const Burst* b, int variant,
                const Played& p) {
  if (b != nullptr && b->alone)
    std::fill(in.begin(), in.end(), 0.0f);
  else
    musicalSignal(in, done, kRate, 13);
  if (b == nullptr) return;
  const int64_t start = burstStart(variant);
  for (size_t i = 0; i < in.size(); ++i) {
    const int64_t at = done + static_cast<int64_t>(i);
    if (at >= start && at < p.burstEnd)
      in[i] = b->gain == 1.0 ? b->value(at) : static_cast<float>(b->value(at) * b->gain);
  }
}

void account(Played& p, const std::vector<std::vector<float>>& outs, int64_t done, float bound) {
  for (const auto& ch : outs)
    for (size_t i = 0; i < ch.size() && i < static_cast<size_t>(kBlock); ++i) {
      const float x = ch[i];
      const int64_t at = done + static_cast<int64_t>(i);
      if (std::isfinite(x)) p.peak = std::max(p.peak, std::fabs(x));
      if (at >= p.burstEnd + p.limit)
        p.late = std::isfinite(x) ? std::max(p.late, std::fabs(x))
                                  : std::numeric_limits<float>::infinity();
      if (!(std::isfinite(x) && std::fabs(x) <= bound) && at > p.lastBad) {
        p.lastBad = at;
        p.lastValue = x;
      }
    }
}

void recovery(Check& c, const Burst& b, int parameters, const Play& play) {
  double worstMs = 0.0;
  for (int variant = 0; variant < 1 + 2 * c.level(); ++variant) {
    std::string name;
    const std::vector<float> values = settingsOf(c, variant, parameters, name);
    std::string settings = name + (values.empty() ? "" : ":");
    for (size_t i = 0; i < values.size() && i < 48; ++i)
      settings += " " + khost::formatDouble(values[i], 3);
    const auto place = c.at({{"settings", name}, {"variant", std::to_string(variant)}});
    const std::string what = std::string(b.name) + " burst of " + std::to_string(b.frames) +
                             " frames at frame " + std::to_string(burstStart(variant)) + ", " +
                             settings;
    // Only what the burst did counts: the same settings and signal without
    // it set the bound.
    const Played& without = reference(play, values, variant, what);
    if (without.lastBad >= 0 && !std::isfinite(without.lastValue)) {
      c.tried();
      c.report(Kind::Output, what + ": output " + describeFloat(without.lastValue) + " at frame " +
                                 std::to_string(without.lastBad) + " even without the burst");
      continue;
    }
    const float bound = std::max(kBound, 4.0f * without.peak);
    const Played p = play(&b, values, variant, bound, what);
    c.tried();
    if (p.lastBad >= p.burstEnd) {
      const double ms = 1000.0 * static_cast<double>(p.lastBad - p.burstEnd) / kRate;
      worstMs = std::max(worstMs, ms);
      if (p.lastBad >= p.burstEnd + p.limit) {
        const std::string still = "output still " + describeFloat(p.lastValue) + " at " +
                                  khost::formatDouble(ms / 1000.0, 2) + " s after the burst";
        std::string why;
        if (inProportion(b, p, values, variant, bound, what, play, why))
          c.note(what + ": " + still + ", in proportion to the burst (linear decay: " + why + ")");
        else
          c.report(Kind::Output, what + ": " + still + " (limit " +
                                     khost::formatDouble(static_cast<double>(p.limit) / kRate, 2) +
                                     " s, bound " + khost::formatGeneral(bound) + ")" +
                                     (why.empty() ? "" : "; out of proportion: " + why));
      }
    }
  }
  c.figure(std::string(b.name) + ": recovery", worstMs, "ms");
}

}  // namespace validate::bad_input
