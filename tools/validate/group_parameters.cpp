// parameters: every index's name, label and display for values across 0..1
// and odd values, never longer than the VST 2.4 limit of 8 characters (guard
// bytes checked after each call); set/get round trip within the parameter's
// own step; indices out of range harmless.
#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>

#include "tools/base/cli.h"
#include "tools/validate/check.h"
#include "tools/validate/instance.h"
#include "tools/validate/signals.h"

namespace validate {

namespace {

// Labels and displays: the VST 2.4 limit of 8 characters. Names: hosts give
// at least 32 bytes (later SDKs made it the limit), so beyond 8 is a warning
// and beyond 32 a failure.
constexpr size_t kLimit = kVstMaxParamStrLen;
constexpr size_t kNameLimit = 32;

std::string num(double v) {
  return describeFloat(v);
}

// Name, label and display of one index, each within the limit.
void texts(Check& c, Instance& inst, int index, const std::string& context) {
  static const struct {
    VstInt32 opcode;
    const char* name;
  } calls[] = {{effGetParamName, "effGetParamName"},
               {effGetParamLabel, "effGetParamLabel"},
               {effGetParamDisplay, "effGetParamDisplay"}};
  for (const auto& call : calls) {
    c.step(context + ", " + call.name + "(" + std::to_string(index) + ")");
    const size_t limit = call.opcode == effGetParamName ? kNameLimit : kLimit;
    const TextAnswer a = inst.text(call.opcode, index, limit);
    c.tried();
    const auto place = c.at({{"parameter", std::to_string(index)}});
    if (judgeText(c, a, limit, context + ": " + call.name + "(" + std::to_string(index) + ")") &&
        a.length > kLimit)
      c.warn(std::string(call.name) + "(" + std::to_string(index) +
             ") is longer than the VST 2.4 "
             "limit of 8 (\"" +
             a.text + "\"); hosts usually allow 32");
  }
}

void textsAcrossRange(Check& c) {
  Instance inst(c.pluginPath());
  const int n = inst.plugin().numParams();
  if (n == 0) return c.skip("no parameters");
  const int steps = 8 * c.level();
  for (int i = 0; i < n; ++i) {
    std::vector<float> values;
    for (int k = 0; k <= steps; ++k) values.push_back(static_cast<float>(k) / steps);
    for (int k = 0; k < 4 * c.level(); ++k) values.push_back(static_cast<float>(c.uniform(0, 1)));
    for (float v : values) {
      c.step("setParameter(" + std::to_string(i) + ", " + num(v) + ")");
      inst.setParameter(i, v);
      texts(c, inst, i, "setParameter(" + std::to_string(i) + ", " + num(v) + ")");
    }
  }
}

void oddValues(Check& c) {
  Instance inst(c.pluginPath());
  const int n = inst.plugin().numParams();
  if (n == 0) return c.skip("no parameters");
  const float odd[] = {std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity(),
                       -std::numeric_limits<float>::infinity(),
                       -1.0f,
                       2.0f,
                       -100.0f,
                       1000.0f,
                       1e6f,
                       -1e6f,
                       1e30f,
                       -1e30f,
                       FLT_MAX,
                       -0.0f,
                       1e-42f,
                       1.0000001f};
  inst.start(44100, 64);
  std::vector<float> in(64);
  musicalSignal(in, 0, 44100, 8);
  for (int i = 0; i < n; ++i) {
    const float before = inst.getParameter(i);
    for (float v : odd) {
      const std::string what = "setParameter(" + std::to_string(i) + ", " + num(v) + ")";
      c.step(what);
      inst.setParameter(i, v);
      texts(c, inst, i, what);
      c.step(what + ", getParameter");
      const float got = inst.getParameter(i);
      c.step(what + ", processReplacing");
      inst.processSignal(in.data(), 64);
      c.tried();
      const auto place = c.at({{"parameter", std::to_string(i)}, {"value", num(v)}});
      // Garbage in, garbage out: no host sends these values.
      if (!(got >= 0.0f && got <= 1.0f))
        c.report(Kind::OddValue, what + ": getParameter answers " + num(got) + ", outside 0..1");
      float value = 0;
      if (badSamples(inst.outputs(), 64, 1e30f, nullptr, &value) > 0)
        c.report(Kind::Output, what + ": output " + num(value) + " after it");
      // A value the plug-in took back to normal before the next one.
      inst.setParameter(i, before);
      inst.processSignal(in.data(), 64);
    }
  }
}

void roundTrip(Check& c) {
  int n = 0;
  {
    Instance probe(c.pluginPath());
    n = probe.plugin().numParams();
  }
  if (n == 0) return c.skip("no parameters");
  const int points = 64 * c.level();
  int readOnly = 0;
  for (int i = 0; i < n; ++i) {
    // From the defaults each time: parameters may lock one another.
    Instance inst(c.pluginPath());
    std::vector<float> set, got;
    for (int k = 0; k <= points; ++k) {
      const float v = static_cast<float>(k) / points;
      c.step("setParameter(" + std::to_string(i) + ", " + num(v) + ") then getParameter");
      inst.setParameter(i, v);
      set.push_back(v);
      got.push_back(inst.getParameter(i));
    }
    // The parameter's step: the widest gap between neighbouring answers.
    double step = 0.0;
    int distinct = 1;
    for (size_t k = 1; k < got.size(); ++k)
      if (got[k] != got[k - 1]) {
        step = std::max(step, std::fabs(static_cast<double>(got[k]) - got[k - 1]));
        ++distinct;
      }
    const std::string idx = std::to_string(i);
    const auto place = c.at({{"parameter", idx}});
    if (distinct == 1) {
      c.tried();
      if (inst.dispatch(effCanBeAutomated, i) == 0) {
        ++readOnly;  // an output or read-only parameter the plug-in declares as such
        continue;
      }
      c.fail("parameter " + idx + " reads back " + num(got[0]) + " whatever is set");
      continue;
    }
    for (size_t k = 0; k < got.size(); ++k) {
      c.tried();
      const double error = std::fabs(static_cast<double>(got[k]) - set[k]);
      if (!(error <= step + 1e-6))
        c.reportAgain(Kind::State, "setParameter(" + idx + ", " + num(set[k]) + ") reads back " +
                                       num(got[k]) + ", farther than the parameter's step " +
                                       num(step));
    }
    // Setting what was read back reads back the same value.
    for (size_t k = 0; k < got.size(); k += std::max<size_t>(1, got.size() / 16)) {
      c.step("setParameter(" + idx + ", " + num(got[k]) + ") twice");
      inst.setParameter(i, got[k]);
      const float again = inst.getParameter(i);
      c.tried();
      if (!(std::fabs(static_cast<double>(again) - got[k]) <= 1e-6))
        c.reportAgain(Kind::State, "setParameter(" + idx + ", " + num(got[k]) + ") reads back " +
                                       num(again) + " (not stable)");
    }
  }
  if (readOnly > 0 && c.failures() == 0)
    c.warn(std::to_string(readOnly) +
           " parameter(s) ignore setParameter and say they cannot be "
           "automated (read-only outputs?)");
}

void outOfRange(Check& c) {
  Instance inst(c.pluginPath());
  const int n = inst.plugin().numParams();
  const std::vector<float> before = inst.parameters();
  const int indices[] = {-1, n, n + 1, n + 1000, 1 << 20, INT_MAX, INT_MIN};
  for (int i : indices) {
    const std::string idx = std::to_string(i);
    c.step("getParameter(" + idx + ")");
    inst.getParameter(i);
    c.step("setParameter(" + idx + ", 0.5)");
    inst.setParameter(i, 0.5f);
    texts(c, inst, i, "index " + idx);
    c.step("effCanBeAutomated(" + idx + ")");
    inst.dispatch(effCanBeAutomated, i);
    c.step("effGetParameterProperties(" + idx + ")");
    VstParameterProperties props{};
    inst.dispatch(effGetParameterProperties, i, 0, &props);
    c.tried();
  }
  c.step("getParameter for every index after the out-of-range calls");
  const std::vector<float> after = inst.parameters();
  for (int i = 0; i < n; ++i) {
    c.tried();
    const auto place = c.at({{"parameter", std::to_string(i)}});
    if (!(after[static_cast<size_t>(i)] == before[static_cast<size_t>(i)] ||
          (std::isnan(after[static_cast<size_t>(i)]) &&
           std::isnan(before[static_cast<size_t>(i)]))))
      c.fail("parameter " + std::to_string(i) + " changed from " +
             num(before[static_cast<size_t>(i)]) + " to " + num(after[static_cast<size_t>(i)]) +
             " by calls with indices out of range");
  }
}

}  // namespace

std::vector<CheckDef> parameterChecks() {
  return {{"texts across 0..1", textsAcrossRange, Kind::Text},
          {"odd values", oddValues, Kind::Output},
          {"set/get round trip", roundTrip, Kind::State},
          {"out-of-range indices", outOfRange, Kind::State}};
}

}  // namespace validate
