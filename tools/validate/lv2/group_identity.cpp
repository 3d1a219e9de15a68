// identity: what a host reads before anything else - the Turtle's ports
// (symbols, ranges, defaults within them, units), the features it requires,
// the descriptor in the library, and the presets, which must load and apply.
#include <lilv/lilv.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <set>

#include "lv2/atom/atom.h"
#include "lv2/units/units.h"
#include "lv2/worker/worker.h"
#include "tools/base/cli.h"
#include "tools/validate/cases.h"
#include "tools/validate/lv2/lv2_groups.h"
#include "tools/validate/signals.h"

namespace validate::lv2 {

namespace {

bool validSymbol(const std::string& s) {
  if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  for (char ch : s)
    if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_') return false;
  return true;
}

void ports(Check& c) {
  const Plugin& p = Plugin::find(c.pluginPath());
  std::set<std::string> symbols;
  c.tried();
  c.expect(!p.audioOuts.empty() || !p.atomOuts.empty() || !p.controlOuts.empty(),
           "no output port of any kind");
  for (const Port& port : p.ports) {
    c.tried();
    const auto place = c.at({{"port", std::to_string(port.index)}});
    const std::string what = port.describe();
    if (!validSymbol(port.symbol))
      c.fail(what + ": the symbol \"" + port.symbol + "\" is no C identifier");
    if (!symbols.insert(port.symbol).second)
      c.fail(what + ": the symbol \"" + port.symbol +
             "\" is used twice (presets and state name ports by it)");
    if (port.type == Port::Type::Other) c.fail(what + ": neither audio, control, atom nor CV");
    if (port.name.empty()) c.warn(what + ": no lv2:name");
    if (port.type != Port::Type::Control) continue;
    if (!port.hasMinimum || !port.hasMaximum) {
      c.warn(what + ": no lv2:minimum or lv2:maximum; hosts guess 0..1");
      continue;
    }
    if (!(std::isfinite(port.minimum) && std::isfinite(port.maximum) &&
          port.minimum <= port.maximum)) {
      c.fail(what + ": range " + describeFloat(port.minimum) + ".." + describeFloat(port.maximum) +
             " is not a range");
      continue;
    }
    if (port.input && !port.hasDefault)
      c.warn(what + ": no lv2:default; hosts start it at its minimum or anywhere");
    if (port.input && port.hasDefault &&
        !(port.defaultValue >= port.minimum && port.defaultValue <= port.maximum))
      c.report(Kind::State, what + ": default " + describeFloat(port.defaultValue) +
                                " lies outside " + describeFloat(port.minimum) + ".." +
                                describeFloat(port.maximum));
    if (port.logarithmic && !(port.minimum > 0))
      c.warn(what + ": logarithmic with a minimum of " + describeFloat(port.minimum) +
             " (hosts cannot map 0 or below)");
    if (port.toggled && (port.minimum != 0 || port.maximum != 1))
      c.warn(what + ": toggled with a range other than 0..1");
    if (!port.unit.empty() && port.unit.rfind(LV2_UNITS_PREFIX, 0) != 0)
      c.warn(what + ": unit <" + port.unit + "> is none of the LV2 units hosts show");
  }
}

void features(Check& c) {
  const Plugin& p = Plugin::find(c.pluginPath());
  for (const std::string& f : p.required) {
    c.tried();
    // Found before any check runs: a plug-in needing more is not validated.
    if (f == LV2_CORE__hardRTCapable)
      c.warn("requires lv2:hardRTCapable, which is a property, not a feature a host gives");
  }
  c.step("the library and lv2_descriptor");
  c.tried();
  const LV2_Descriptor* d = p.descriptor();
  c.expect(d->instantiate != nullptr && d->connect_port != nullptr && d->run != nullptr &&
               d->cleanup != nullptr,
           "the descriptor lacks instantiate, connect_port, run or cleanup");
  c.step("extension_data for a URI no one knows");
  Instance inst(c.pluginPath());
  c.tried();
  if (inst.extensionData("urn:korva-host:no-such-extension") != nullptr)
    c.fail("extension_data answers a URI no extension has");
  for (const std::string& e : p.extensions) {
    c.tried();
    c.step("extension_data <" + e + ">");
    // Hosts then go without it: against the letter only.
    if (inst.extensionData(e.c_str()) == nullptr)
      c.warn("the Turtle lists the extension <" + e + "> but extension_data answers null");
  }
  c.tried();
  if (std::find(p.required.begin(), p.required.end(), LV2_WORKER__schedule) != p.required.end() &&
      !inst.hasWorker())
    c.fail(
        "requires worker:schedule but extension_data gives no worker:interface with work and "
        "work_response: no host can run the work it schedules");
  c.tried();
  if (!p.declares(LV2_STATE__interface) && inst.hasState() &&
      std::find(p.extensions.begin(), p.extensions.end(), LV2_STATE__interface) ==
          p.extensions.end())
    c.warn(
        "has the state interface but the Turtle does not list it (lv2:extensionData "
        "state:interface): hosts that read the Turtle save nothing");
}

// A preset's port values go to the ports (each within its range); its state,
// if any, to restore; then the output must stay bounded.
struct PresetTarget {
  Check* check;
  Instance* inst;
  std::string preset;
};

void presetPortValue(const char* symbol, void* user, const void* value, uint32_t size,
                     uint32_t type) {
  auto* t = static_cast<PresetTarget*>(user);
  Check& c = *t->check;
  float v = 0;
  if (type == mapUri(LV2_ATOM__Float) && size == sizeof(float)) {
    std::memcpy(&v, value, sizeof v);
  } else if (type == mapUri(LV2_ATOM__Double) && size == sizeof(double)) {
    double d = 0;
    std::memcpy(&d, value, sizeof d);
    v = static_cast<float>(d);
  } else if (type == mapUri(LV2_ATOM__Int) && size == sizeof(int32_t)) {
    int32_t i = 0;
    std::memcpy(&i, value, sizeof i);
    v = static_cast<float>(i);
  } else {
    c.fail(t->preset + ": the value of port \"" + symbol + "\" is no number");
    return;
  }
  const Plugin& p = t->inst->plugin();
  for (uint32_t i : p.controlIns) {
    const Port& port = p.port(i);
    if (port.symbol != symbol) continue;
    if (!(v >= port.minimum && v <= port.maximum))
      c.report(Kind::State, t->preset + ": " + port.describe() + " = " + describeFloat(v) +
                                ", outside " + describeFloat(port.minimum) + ".." +
                                describeFloat(port.maximum));
    t->inst->setBySymbol(symbol, v);
    return;
  }
  // Hosts pass over values for other ports (some hosts save every port).
  c.warn(t->preset + ": a value for \"" + symbol + "\", which is no input control port");
}

void presets(Check& c) {
  const Plugin& p = Plugin::find(c.pluginPath());
  const std::vector<Preset> list = p.presets();
  if (list.empty()) return c.skip("no presets");
  Instance inst(c.pluginPath());
  inst.activate();
  for (const Preset& preset : list) {
    const std::string what =
        "preset <" + preset.uri + ">" + (preset.label.empty() ? "" : " (\"" + preset.label + "\")");
    const auto place = c.at({{"preset", preset.label.empty() ? preset.uri : preset.label}});
    c.step(what + ": read");
    c.tried();
    LilvNode* node = lilv_new_uri(p.world, preset.uri.c_str());
    LV2_URID_Map map{nullptr, [](LV2_URID_Map_Handle, const char* u) { return mapUri(u); }};
    LilvState* state = lilv_state_new_from_world(p.world, &map, node);
    lilv_node_free(node);
    if (state == nullptr) {
      c.fail(what + ": lilv cannot read it");
      continue;
    }
    if (preset.label.empty()) c.warn(what + ": no rdfs:label, so hosts list it by its URI");
    c.step(what + ": restore");
    LilvInstance handle{p.descriptor(), inst.handle(), nullptr};
    PresetTarget target{&c, &inst, what};
    lilv_state_restore(state, &handle, presetPortValue, &target, 0, inst.features());
    lilv_state_free(state);
    c.step(what + ": run");
    for (int b = 0; b < 8; ++b) {
      float value = 0;
      long at = 0;
      if (!runChecked(inst, 512, b * 512, kOutputBound, &value, &at)) {
        c.report(Kind::Output, what + ": output " + describeFloat(value) + " at frame " +
                                   std::to_string(b * 512 + at) + " after it");
        break;
      }
    }
  }
}

}  // namespace

std::vector<CheckDef> identityChecks() {
  return {{"ports", ports, Kind::Interface},
          {"features and descriptor", features, Kind::Interface},
          {"presets", presets, Kind::State}};
}

}  // namespace validate::lv2
