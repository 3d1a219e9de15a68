// state: save/restore round trip through the state interface, with the host
// owning store and retrieve (values handed back lie against guard pages);
// mutated, truncated, foreign-typed and out-of-range values, missing and
// unknown properties. A refused state answers an error status and changes
// nothing (the next save is the same); after any accepted one the output
// control ports stay in range and the output within the bound the good
// state sets: a state that makes the output hundreds of times louder fails,
// however finite.
#include <algorithm>
#include <cmath>

#include "lv2/atom/atom.h"
#include "tools/base/cli.h"
#include "tools/validate/cases.h"
#include "tools/validate/lv2/lv2_groups.h"
#include "tools/validate/mutate.h"
#include "tools/validate/signals.h"

namespace validate::lv2 {

namespace {

using State = Instance::State;

std::string statusText(LV2_State_Status s) {
  switch (s) {
    case LV2_STATE_SUCCESS:
      return "success";
    case LV2_STATE_ERR_UNKNOWN:
      return "ERR_UNKNOWN";
    case LV2_STATE_ERR_BAD_TYPE:
      return "ERR_BAD_TYPE";
    case LV2_STATE_ERR_BAD_FLAGS:
      return "ERR_BAD_FLAGS";
    case LV2_STATE_ERR_NO_FEATURE:
      return "ERR_NO_FEATURE";
    case LV2_STATE_ERR_NO_PROPERTY:
      return "ERR_NO_PROPERTY";
    default:
      return "status " + std::to_string(static_cast<int>(s));
  }
}

std::string keyName(uint32_t key) {
  const char* uri = unmapUri(key);
  return uri != nullptr ? std::string("<") + uri + ">" : "key " + std::to_string(key);
}

// "" when equal, else what differs first.
std::string stateDifference(const State& a, const State& b) {
  if (a.size() != b.size())
    return std::to_string(b.size()) + " properties instead of " + std::to_string(a.size());
  for (const Instance::Property& p : a) {
    const auto q = std::find_if(b.begin(), b.end(),
                                [&](const Instance::Property& x) { return x.key == p.key; });
    if (q == b.end()) return keyName(p.key) + " is missing";
    if (q->type != p.type) return keyName(p.key) + " has another type";
    const std::string d = byteDifference(p.value, q->value);
    if (!d.empty()) return keyName(p.key) + ": " + d;
  }
  return "";
}

// How `m` changes the properties of `before`: none, only their bytes, or
// the type or size of one (a value the plug-in cannot take as it is).
enum class Change { None, Bytes, Shape };
Change changeOf(const State& before, const State& m) {
  Change change = Change::None;
  for (const Instance::Property& p : before)
    for (const Instance::Property& q : m) {
      if (q.key != p.key) continue;
      if (q.type != p.type || q.value.size() != p.value.size()) return Change::Shape;
      if (q.value != p.value) change = Change::Bytes;
    }
  return change;
}

void randomPorts(Check& c, Instance& inst) {
  for (size_t k = 0; k < inst.controls(); ++k)
    inst.setNormalized(k, static_cast<float>(c.uniform(0, 1)));
}

// A few blocks with the ports as they are, so that a plug-in that takes its
// ports into its state (as most do) has done so before it saves.
void settle(Instance& inst) {
  for (int b = 0; b < 2; ++b) runChecked(inst, 256, b * 256, 1e30f);
}

void roundTrip(Check& c) {
  {
    Instance probe(c.pluginPath());
    if (!probe.hasState()) return c.skip("no state interface");
  }
  for (int round = 0; round < 5 * c.level(); ++round) {
    const std::string what = "round " + std::to_string(round);
    Instance a(c.pluginPath());
    a.activate();
    c.step(what + ": random ports, run, save");
    randomPorts(c, a);
    settle(a);
    State saved;
    const LV2_State_Status s1 = a.save(saved);
    c.tried();
    if (s1 != LV2_STATE_SUCCESS) {
      c.fail(what + ": save answers " + statusText(s1));
      continue;
    }
    Instance b(c.pluginPath());
    b.activate();
    c.step(what + ": restore into a new instance, with the ports, and save again");
    for (size_t k = 0; k < a.controls(); ++k) b.setControl(k, a.control(k));
    const LV2_State_Status s2 = b.restore(saved);
    if (s2 != LV2_STATE_SUCCESS) {
      c.fail(what + ": restoring what save gave answers " + statusText(s2));
      continue;
    }
    settle(b);
    State again;
    b.save(again);
    const std::string diff = stateDifference(saved, again);
    if (!diff.empty()) c.fail(what + ": saved again after restore: " + diff);
    // The same instance back to an earlier state.
    c.step(what + ": other ports, then the first state back into the same instance");
    State other;
    randomPorts(c, b);
    settle(b);
    for (size_t k = 0; k < a.controls(); ++k) b.setControl(k, a.control(k));
    b.restore(saved);
    settle(b);
    b.save(other);
    const std::string back = stateDifference(saved, other);
    if (!back.empty()) c.fail(what + ": restored over other settings: " + back);
  }
}

// One wrong state: `how` says what is wrong with it.
State wrongState(Check& c, const State& good, std::string& how) {
  State m = good;
  const long kind = c.between(0, 9);
  if (m.empty()) {
    how = "a made-up property";
    m.push_back({mapUri("urn:korva-host:made-up"), mapUri(LV2_ATOM__Int), 0, {1, 0, 0, 0}});
    return m;
  }
  Instance::Property& p = m[static_cast<size_t>(c.between(0, static_cast<long>(m.size()) - 1))];
  const std::string name = keyName(p.key);
  switch (kind) {
    case 0: {
      static const char* const types[] = {
          LV2_ATOM__Int,  LV2_ATOM__Float, LV2_ATOM__String, LV2_ATOM__Chunk,
          LV2_ATOM__Bool, LV2_ATOM__Path,  LV2_ATOM__Vector, "urn:korva-host:no-such-type"};
      const char* t = types[c.between(0, std::size(types) - 1)];
      if (mapUri(t) == p.type) t = "urn:korva-host:no-such-type";
      p.type = mapUri(t);
      how = name + " typed <" + t + ">";
      break;
    }
    case 1:
      m.erase(std::find_if(m.begin(), m.end(),
                           [&](const Instance::Property& x) { return x.key == p.key; }));
      how = "without " + name;
      break;
    case 2:
      p.value.clear();
      how = name + " empty";
      break;
    case 3:
      m.push_back({mapUri("urn:korva-host:unknown"), mapUri(LV2_ATOM__Float), 0, {0, 0, 128, 63}});
      how = "with an unknown property";
      break;
    case 4:
      p.flags = 0;
      how = name + " without flags";
      break;
    default: {
      std::string bytes;
      p.value = mutateBytes(c, p.value, bytes);
      how = name + " " + bytes;
      break;
    }
  }
  return m;
}

void wrongStates(Check& c) {
  Instance inst(c.pluginPath());
  if (!inst.hasState()) return c.skip("no state interface");
  inst.activate();
  randomPorts(c, inst);
  settle(inst);
  State good;
  if (inst.save(good) != LV2_STATE_SUCCESS) return c.fail("save fails");
  const std::vector<float> ports = inst.controlValues();
  // How loud the good state plays, once settled.
  std::vector<float> in(256);
  float peak = 0.0f;
  for (int k = 0; k < 64; ++k) {
    c.step("the good state: run " + std::to_string(k));
    musicalSignal(in, k * 256, 44100, 2);
    inst.run(in.data(), 256);
    peak = std::max(peak, peakOf(inst.outputs(), 256));
  }
  const float bound = std::max(kOutputBound, 4.0f * peak);
  const long cases = 300 * c.level();
  // Accepted states whose bytes differed from the plug-in's own: how many
  // changed what it saves next, and how many changed nothing.
  long changed = 0, unchanged = 0;
  for (long k = 0; k < cases; ++k) {
    std::string how;
    const State m = wrongState(c, good, how);
    const std::string what = "case " + std::to_string(k) + ": a state " + how;
    c.step(what + ": save before");
    State before;
    inst.save(before);
    c.step(what + ": restore");
    const LV2_State_Status status = inst.restore(m);
    c.step(what + ": save after");
    State after;
    inst.save(after);
    c.tried();
    const auto place = c.at({{"answer", status == LV2_STATE_SUCCESS ? "accepted" : "refused"}});
    if (status != LV2_STATE_SUCCESS) {
      const std::string diff = stateDifference(before, after);
      if (!diff.empty())
        c.report(Kind::State,
                 what + ": refused (" + statusText(status) + ") yet the state changed: " + diff);
    } else if (stateDifference(before, after).empty()) {
      // A host told "restored" shows and saves what it gave. A missing or
      // unknown property may be passed over, and so may bytes the plug-in
      // does not use (reserved words); a value of another type or size
      // may not, and bytes only if no such state ever changed anything.
      const Change change = changeOf(before, m);
      if (change == Change::Shape)
        c.report(Kind::State, what +
                                  ": answered success, yet nothing changed (a refusal "
                                  "reported as restored)");
      if (change == Change::Bytes) ++unchanged;
    } else if (changeOf(before, m) == Change::Bytes) {
      ++changed;
    }
    const std::vector<float> outs = inst.controlOutputs();
    for (size_t i = 0; i < outs.size(); ++i) {
      const Port& port = inst.plugin().port(inst.plugin().controlOuts[i]);
      if (port.hasMinimum && port.hasMaximum &&
          !(outs[i] >= port.minimum && outs[i] <= port.maximum))
        // Output ports are mostly meters, which read past their declared
        // range at high gains without harm: the letter of the Turtle only.
        c.reportAgain(Kind::Letter, what + ": " + port.describe() + " reads " +
                                        describeFloat(outs[i]) + ", outside its range");
    }
    c.step(what + ": run");
    for (int b = 0; b < 4; ++b) {
      musicalSignal(in, b * 256, 44100, 2);
      inst.run(in.data(), 256);
      long at = 0;
      float value = 0;
      if (badSamples(inst.outputs(), 256, bound, &at, &value) > 0) {
        c.report(Kind::Output, what + " (" + statusText(status) + "): output " +
                                   describeFloat(value) + " at frame " +
                                   std::to_string(b * 256 + at) + " (bound " +
                                   khost::formatGeneral(bound) + ")");
        break;
      }
    }
    c.step(what + ": restoring the good state");
    for (size_t i = 0; i < ports.size(); ++i) inst.setControl(i, ports[i]);
    inst.restore(good);
  }
  c.figure("accepted states with other bytes that changed the state", static_cast<double>(changed),
           "of " + std::to_string(changed + unchanged));
  if (changed == 0 && unchanged >= 10) {
    c.tried();
    c.report(Kind::State, std::to_string(unchanged) +
                              " states with other bytes answered success, yet none changed "
                              "anything the plug-in saves (the state ignored)");
  }
}

}  // namespace

std::vector<CheckDef> stateChecks() {
  return {{"round trip", roundTrip, Kind::State}, {"wrong states", wrongStates, Kind::State}};
}

}  // namespace validate::lv2
