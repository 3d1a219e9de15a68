#include "tests/reference/ReferenceComparison.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>

#include "tests/reference/ReferenceEngine.h"

namespace reference {

namespace {

std::uint32_t bitsOf(float v) {
  std::uint32_t w;
  std::memcpy(&w, &v, sizeof w);
  return w;
}

bool same(float a, float b) {
  return bitsOf(a) == bitsOf(b);
}

void applySteps(const Setting& s, int at, DelayEngine& e, PerSampleEngine& m) {
  for (const Step& step : s.steps)
    if (step.at == at || (at < 0 && step.at < 0)) {
      e.setParameter(step.index, step.value);
      m.setParameter(step.index, step.value);
    }
}

// The first status field that differs, or null.
const char* statusDifference(const EngineStatus& e, const EngineStatus& m, float& ev, float& mv) {
  const struct {
    const char* name;
    float e, m;
  } fields[] = {{"status phase", e.phase, m.phase},
                {"status peak", e.peak, m.peak},
                {"status effective delay", static_cast<float>(e.effectiveDelayMs),
                 static_cast<float>(m.effectiveDelayMs)},
                {"status nominal delay", static_cast<float>(e.nominalDelayMs),
                 static_cast<float>(m.nominalDelayMs)},
                {"status indicator", e.indicator ? 1.0f : 0.0f, m.indicator ? 1.0f : 0.0f}};
  for (const auto& f : fields)
    if (!same(f.e, f.m)) {
      ev = f.e;
      mv = f.m;
      return f.name;
    }
  return nullptr;
}

}  // namespace

std::string Difference::describe() const {
  if (!found) return setting + ": the engine matches the reference";
  char text[320];
  std::snprintf(text, sizeof text,
                "%s: first difference in block %d, sample %d, %s: engine %.9g (0x%08x), "
                "reference %.9g (0x%08x)",
                setting.c_str(), block, sample, what.c_str(), engine, bitsOf(engine), model,
                bitsOf(model));
  return text;
}

Difference compare(const Setting& s) {
  DelayEngine e;
  PerSampleEngine m;
  e.setParameter(kDlyx2, 0.0f);
  m.setParameter(kDlyx2, 0.0f);
  applySteps(s, -1, e, m);
  e.suspend();
  m.suspend();
  e.resume(s.rate);
  m.resume(s.rate);

  std::mt19937 random(s.seed);
  std::uniform_real_distribution<float> noise(-0.8f, 0.8f);
  std::vector<float> inL(s.block), inR(s.block), eL(s.block), eR(s.block), mL(s.block), mR(s.block);
  Difference d;
  d.setting = s.name;
  for (int n = 0; n < s.blocks; ++n) {
    applySteps(s, n, e, m);
    for (int k = 0; k < s.block; ++k) {
      inL[k] = noise(random);
      inR[k] = noise(random);
    }
    const BlockTiming timing = s.timing ? s.timing(n) : BlockTiming{};
    e.process(inL.data(), inR.data(), eL.data(), s.monoOut ? nullptr : eR.data(), s.block, timing);
    m.process(inL.data(), inR.data(), mL.data(), s.monoOut ? nullptr : mR.data(), s.block, timing);
    d.block = n;
    for (int k = 0; k < s.block; ++k) {
      d.sample = k;
      d.engine = eL[k];
      d.model = mL[k];
      d.what = s.monoOut ? "mono output" : "left output";
      if ((d.found = !same(eL[k], mL[k]))) return d;
      if (s.monoOut) continue;
      d.engine = eR[k];
      d.model = mR[k];
      d.what = "right output";
      if ((d.found = !same(eR[k], mR[k]))) return d;
    }
    if (n % 7 == 3) {
      const char* field = statusDifference(e.readStatus(), m.readStatus(), d.engine, d.model);
      if ((d.found = field != nullptr)) {
        d.what = field;
        d.sample = s.block - 1;
        return d;
      }
    }
  }
  d = Difference{};
  d.setting = s.name;
  return d;
}

}  // namespace reference
