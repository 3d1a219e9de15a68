// state: chunk round trip byte-identical; random, truncated, oversized and
// bit-flipped chunks, and chunks with odd values written into them, refused
// or taken without harm: a refused one leaves getChunk byte-identical, and
// after any every parameter reads back within 0..1 and the output stays
// within the bound the good state sets; fxp/fxb round trip; parameters after
// a restore equal those before the save.
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

#include "tools/base/cli.h"
#include "tools/validate/check.h"
#include "tools/validate/instance.h"
#include "tools/validate/mutate.h"
#include "tools/validate/signals.h"
#include "tools/vst/plugin_state.h"

namespace validate {

namespace {

// Output above this, or above 4 times what the good state gives, after a
// chunk: the same bound as after bad input.
constexpr float kBound = 100.0f;

// After any chunk, accepted or not, every parameter reads back within 0..1:
// hosts show, automate and store what they read.
void parametersInRange(Check& c, Instance& inst, const std::string& after) {
  const std::vector<float> values = inst.parameters();
  for (size_t i = 0; i < values.size(); ++i)
    if (!(values[i] >= 0.0f && values[i] <= 1.0f))
      c.report(Kind::State,
               after + ": parameter " + std::to_string(i) + " reads back " +
                   describeFloat(values[i]) + ", outside 0..1",
               {{"parameter", std::to_string(i)}});
}

void randomSettings(Check& c, Instance& inst) {
  for (int i = 0; i < inst.plugin().numParams(); ++i)
    inst.setParameter(i, static_cast<float>(c.uniform(0, 1)));
}

// Index and values of the first parameter that differs by more than 1e-6.
std::string paramDifference(const std::vector<float>& want, const std::vector<float>& got) {
  for (size_t i = 0; i < want.size() && i < got.size(); ++i)
    if (!(std::fabs(static_cast<double>(want[i]) - got[i]) <= 1e-6))
      return "parameter " + std::to_string(i) + " is " + describeFloat(got[i]) + ", was " +
             describeFloat(want[i]);
  return "";
}

void chunkRoundTrip(Check& c) {
  {
    Instance probe(c.pluginPath());
    if (!probe.hasChunks()) return c.skip("no chunks (effFlagsProgramChunks not set)");
  }
  for (int round = 0; round < 3 * c.level(); ++round)
    for (bool program : {false, true}) {
      const std::string kind = program ? "program chunk" : "bank chunk";
      Instance a(c.pluginPath());
      c.step(kind + " " + std::to_string(round) + ": random settings, effGetChunk");
      randomSettings(c, a);
      const Bytes saved = a.chunk(program);
      const std::vector<float> params = a.parameters();
      c.tried();
      if (saved.empty()) {
        c.fail(kind + ": effGetChunk gives no chunk");
        continue;
      }
      Instance b(c.pluginPath());
      c.step(kind + " " + std::to_string(round) + ": effSetChunk into a new instance");
      b.setChunk(saved, program);
      parametersInRange(c, b, kind + " " + std::to_string(round) + " restored");
      const Bytes again = b.chunk(program);
      const std::string diff = byteDifference(saved, again);
      if (!diff.empty())
        c.fail(kind + " " + std::to_string(round) + ": effGetChunk after effSetChunk: " + diff);
      const std::string pdiff = paramDifference(params, b.parameters());
      if (diff.empty() && !pdiff.empty()) {
        // Some plug-ins apply a chunk on their next process call; hosts read
        // the parameters at once, so it still fails, but says so.
        b.start(44100, 512);
        std::vector<float> silence(512, 0.0f);
        for (int k = 0; k < 4; ++k) b.processSignal(silence.data(), 512);
        const bool later = paramDifference(params, b.parameters()).empty();
        c.fail(kind + " " + std::to_string(round) + " restored: " + pdiff +
               (later ? " right after effSetChunk (right only after processing)" : ""));
      }
    }
}

void mutatedChunks(Check& c) {
  Instance inst(c.pluginPath());
  if (!inst.hasChunks()) return c.skip("no chunks (effFlagsProgramChunks not set)");
  randomSettings(c, inst);
  const Bytes base = inst.chunk(false);
  if (base.empty()) return c.fail("effGetChunk gives no chunk");
  const int n = inst.plugin().numParams();
  // Only a plug-in that answers 1 to a good chunk says "refused" with 0.
  const bool answers = inst.setChunk(base, false) > 0;
  inst.start(44100, 256);
  std::vector<float> in(256);
  musicalSignal(in, 0, 44100, 2);
  // How loud the good state plays this block, once it has settled.
  float peak = 0.0f;
  for (int k = 0; k < 64; ++k) {
    c.step("the good chunk: processReplacing " + std::to_string(k));
    inst.processSignal(in.data(), 256);
    peak = std::max(peak, peakOf(inst.outputs(), 256));
  }
  const float bound = std::max(kBound, 4.0f * peak);
  const long cases = 500 * c.level();
  for (long k = 0; k < cases; ++k) {
    const bool program = k % 5 == 4;
    std::string how;
    const Bytes m = mutateBytes(c, program ? inst.chunk(true) : base, how);
    const std::string what =
        "case " + std::to_string(k) + ": " + (program ? "program" : "bank") + " chunk " + how;
    c.step(what + ": effGetChunk before");
    const Bytes before = inst.chunk(program);
    c.step(what + ": effSetChunk");
    const VstIntPtr answer = inst.setChunk(m, program);
    c.step(what + ": effGetChunk after");
    const Bytes after = inst.chunk(program);
    c.tried();
    if (answers && answer <= 0 && after != before)
      c.report(Kind::State, what + ": refused (answer " + std::to_string(answer) +
                                ") yet effGetChunk changed: " + byteDifference(before, after));
    c.step(what + ": getParameter");
    parametersInRange(c, inst, what);
    c.step(what + ": displays");
    for (int i = 0; i < n; ++i)
      if (!judgeText(c, inst.text(effGetParamDisplay, i, kVstMaxParamStrLen), kVstMaxParamStrLen,
                     what + ": effGetParamDisplay(" + std::to_string(i) + ")"))
        break;
    c.step(what + ": processReplacing");
    inst.processSignal(in.data(), 256);
    long at = 0;
    float value = 0;
    if (badSamples(inst.outputs(), 256, bound, &at, &value) > 0)
      c.report(Kind::Output, what + ": output " + describeFloat(value) + " at frame " +
                                 std::to_string(at) + " (bound " + khost::formatGeneral(bound) +
                                 ")");
    c.step(what + ": restoring the good chunk");
    inst.setChunk(base, false);
  }
}

Bytes readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void presetFiles(Check& c) {
  for (int round = 0; round < c.level(); ++round)
    for (const char* ext : {"fxb", "fxp"}) {
      const std::string first = std::string("a.") + ext, second = std::string("b.") + ext;
      Instance a(c.pluginPath());
      c.step(std::string("round ") + std::to_string(round) + ": save ." + ext);
      randomSettings(c, a);
      const std::vector<float> params = a.parameters();
      khost::saveState(a.plugin(), first);
      Instance b(c.pluginPath());
      c.step(std::string("round ") + std::to_string(round) + ": load ." + ext +
             " into a new instance and save again");
      c.tried();
      try {
        khost::loadState(b.plugin(), first);
      } catch (const khost::HostError& e) {
        c.fail(std::string(".") + ext + " written from the plug-in is refused: " + e.what());
        continue;
      }
      parametersInRange(c, b, std::string(".") + ext + " restored");
      const std::string pdiff = paramDifference(params, b.parameters());
      if (!pdiff.empty()) c.fail(std::string(".") + ext + " restored: " + pdiff);
      khost::saveState(b.plugin(), second);
      const std::string diff = byteDifference(readFile(first), readFile(second));
      if (!diff.empty()) c.fail(std::string(".") + ext + " saved again: " + diff);
    }
}

}  // namespace

std::vector<CheckDef> stateChecks() {
  return {{"chunk round trip", chunkRoundTrip, Kind::State},
          {"mutated chunks", mutatedChunks, Kind::State},
          {"fxp/fxb round trip", presetFiles, Kind::State}};
}

}  // namespace validate
