// bad-input: NaN, Inf, denormals and huge finite bursts on the input, then
// normal signal. The output must be finite and bounded again within the
// plug-in's declared tail (10 s when it declares none).
#include <cfloat>
#include <cmath>
#include <limits>

#include "tools/cli.h"
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

void recovery(Check& c, const Burst& b) {
  double worstMs = 0.0;
  for (int variant = 0; variant < 1 + 2 * c.level(); ++variant) {
    Instance inst(c.pluginPath());
    // Defaults first; then every parameter at 0 or 1, then anywhere.
    std::string settings = "defaults";
    if (variant > 0) {
      static const float marks[] = {0.0f, 0.05f, 0.5f, 0.95f, 1.0f};
      const int kind = variant % 3;
      settings = kind == 1   ? "parameters at 0 or 1:"
                 : kind == 2 ? "parameters at 0, 0.05, 0.5, 0.95 or 1:"
                             : "random parameters:";
      for (int i = 0; i < inst.plugin().numParams(); ++i) {
        const float v = kind == 1   ? static_cast<float>(c.between(0, 1))
                        : kind == 2 ? marks[c.between(0, 4)]
                                    : static_cast<float>(c.uniform(0, 1));
        inst.plugin().setParameter(i, v);
        if (i < 48) settings += " " + khost::formatDouble(v, 3);
      }
    }
    const VstIntPtr tail = inst.dispatch(effGetTailSize);
    const int64_t limit = tail > 1 ? std::min<int64_t>(tail, static_cast<int64_t>(60 * kRate))
                                   : static_cast<int64_t>(10 * kRate);
    inst.start(kRate, kBlock);
    // Later variants put the burst at another offset within a block.
    const int64_t burstStart = static_cast<int64_t>(0.2 * kRate) + variant * 37;
    const int64_t burstEnd = burstStart + b.frames;
    const int64_t total = burstEnd + limit + static_cast<int64_t>(kRate);
    int64_t lastBad = -1;
    float lastValue = 0;
    std::vector<float> in(kBlock);
    const std::string what = std::string(b.name) + " burst of " + std::to_string(b.frames) +
                             " frames at frame " + std::to_string(burstStart) + ", " + settings;
    for (int64_t done = 0; done < total; done += kBlock) {
      musicalSignal(in, done, kRate, 13);
      for (int i = 0; i < kBlock; ++i)
        if (done + i >= burstStart && done + i < burstEnd)
          in[static_cast<size_t>(i)] = b.value(done + i);
      c.step(what + ", frames " + std::to_string(done) + ".." + std::to_string(done + kBlock));
      inst.processSignal(in.data(), kBlock);
      for (const auto& ch : inst.outputs())
        for (int i = 0; i < kBlock; ++i) {
          const float x = ch[static_cast<size_t>(i)];
          if (!(std::isfinite(x) && std::fabs(x) <= kBound) && done + i > lastBad) {
            lastBad = done + i;
            lastValue = x;
          }
        }
    }
    c.tried();
    if (lastBad >= burstEnd) {
      const double ms = 1000.0 * static_cast<double>(lastBad - burstEnd) / kRate;
      worstMs = std::max(worstMs, ms);
      if (lastBad >= burstEnd + limit)
        c.fail(what + ": output still " + describeFloat(lastValue) + " at " +
               khost::formatDouble(ms / 1000.0, 2) + " s after the burst (limit " +
               khost::formatDouble(static_cast<double>(limit) / kRate, 2) + " s)");
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
  return {{"NaN", burst<0>},       {"one NaN sample", burst<1>}, {"+Inf", burst<2>},
          {"-Inf", burst<3>},      {"denormals", burst<4>},      {"huge +-1e30", burst<5>},
          {"+-FLT_MAX", burst<6>}, {"1e20 DC", burst<7>},        {"-1e20 x256", burst<8>}};
}

}  // namespace validate
