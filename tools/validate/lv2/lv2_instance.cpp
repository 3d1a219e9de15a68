#include "tools/validate/lv2/lv2_instance.h"

#include <dlfcn.h>
#include <lilv/lilv.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "lv2/atom/atom.h"
#include "lv2/atom/forge.h"
#include "lv2/buf-size/buf-size.h"
#include "lv2/log/log.h"
#include "lv2/midi/midi.h"
#include "lv2/options/options.h"
#include "lv2/parameters/parameters.h"
#include "lv2/port-props/port-props.h"
#include "lv2/presets/presets.h"
#include "lv2/time/time.h"
#include "lv2/ui/ui.h"
#include "lv2/units/units.h"
#include "lv2/worker/worker.h"
#include "tools/lv2/lilv_text.h"
#include "tools/lv2/lv2_host.h"
#include "tools/validate/check.h"
#include "tools/validate/rt_monitor.h"

namespace validate::lv2 {

namespace {

// The instance whose audio calls this thread is in, and whether it is in a
// work call: schedule_work queues only from the audio context.
thread_local const void* audioContext = nullptr;
thread_local bool inWork = false;

// urid:map and unmap; a plug-in may map from any thread but the audio one.
std::mutex mapMutex;
std::unordered_map<std::string, LV2_URID>& ids() {
  static std::unordered_map<std::string, LV2_URID> table;
  return table;
}
std::vector<std::string>& names() {
  static std::vector<std::string> table{""};
  return table;
}

LV2_URID mapCallback(LV2_URID_Map_Handle, const char* uri) {
  return mapUri(uri);
}
const char* unmapCallback(LV2_URID_Unmap_Handle, LV2_URID id) {
  return unmapUri(id);
}

std::string path(const LilvNode* uri) {
  if (uri == nullptr) return "";
  char* p = lilv_file_uri_parse(lilv_node_as_uri(uri), nullptr);
  std::string out = p != nullptr ? p : "";
  lilv_free(p);
  return out;
}

// Ports are 0..1 where the Turtle gives no range, and start at the minimum
// where it gives no default.
void readPort(LilvWorld* world, const LilvPlugin* plugin, uint32_t index, Port& p) {
  const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
  auto is = [&](const char* cls) {
    LilvNode* n = lilv_new_uri(world, cls);
    const bool r = lilv_port_is_a(plugin, port, n);
    lilv_node_free(n);
    return r;
  };
  auto has = [&](const char* prop) {
    LilvNode* n = lilv_new_uri(world, prop);
    const bool r = lilv_port_has_property(plugin, port, n);
    lilv_node_free(n);
    return r;
  };
  auto supports = [&](const char* event) {
    LilvNode* n = lilv_new_uri(world, event);
    const bool r = lilv_port_supports_event(plugin, port, n);
    lilv_node_free(n);
    return r;
  };
  p.index = index;
  p.symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
  p.name = khost::takeText(lilv_port_get_name(plugin, port));
  p.input = is(LV2_CORE__InputPort);
  p.type = is(LV2_CORE__AudioPort)     ? Port::Type::Audio
           : is(LV2_CORE__ControlPort) ? Port::Type::Control
           : is(LV2_ATOM__AtomPort)    ? Port::Type::Atom
           : is(LV2_CORE__CVPort)      ? Port::Type::Cv
                                       : Port::Type::Other;
  LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
  lilv_port_get_range(plugin, port, &def, &min, &max);
  auto value = [](LilvNode* n, bool& have, float& out) {
    have = n != nullptr && (lilv_node_is_float(n) || lilv_node_is_int(n));
    if (have) out = lilv_node_as_float(n);
    lilv_node_free(n);
  };
  value(min, p.hasMinimum, p.minimum);
  value(max, p.hasMaximum, p.maximum);
  value(def, p.hasDefault, p.defaultValue);
  if (!p.hasMinimum) p.minimum = 0;
  if (!p.hasMaximum) p.maximum = std::max(1.0f, p.minimum);
  if (!p.hasDefault) p.defaultValue = p.minimum;
  p.integer = has(LV2_CORE__integer);
  p.toggled = has(LV2_CORE__toggled);
  p.enumeration = has(LV2_CORE__enumeration);
  p.logarithmic = has(LV2_PORT_PROPS__logarithmic);
  p.optional = has(LV2_CORE__connectionOptional);
  p.midi = supports(LV2_MIDI__MidiEvent);
  p.time = supports(LV2_TIME__Position);
  LilvNode* unitKey = lilv_new_uri(world, LV2_UNITS__unit);
  p.unit = khost::takeText(lilv_port_get(plugin, port, unitKey));
  lilv_node_free(unitKey);
  LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
  LILV_FOREACH(scale_points, i, points)
  p.scalePoints.push_back(
      lilv_node_as_float(lilv_scale_point_get_value(lilv_scale_points_get(points, i))));
  lilv_scale_points_free(points);
}

}  // namespace

LV2_URID mapUri(const char* uri) {
  if (uri == nullptr) return 0;
  std::lock_guard<std::mutex> lock(mapMutex);
  auto it = ids().find(uri);
  if (it != ids().end()) return it->second;
  names().push_back(uri);
  const LV2_URID id = static_cast<LV2_URID>(names().size() - 1);
  ids().emplace(uri, id);
  return id;
}

const char* unmapUri(LV2_URID id) {
  std::lock_guard<std::mutex> lock(mapMutex);
  return id > 0 && id < names().size() ? names()[id].c_str() : nullptr;
}

std::string Port::describe() const {
  const char* kind = type == Type::Audio     ? "audio"
                     : type == Type::Control ? "control"
                     : type == Type::Atom    ? "atom"
                     : type == Type::Cv      ? "CV"
                                             : "other";
  return std::string(kind) + (input ? " input " : " output ") + std::to_string(index) + " (" +
         symbol + ")";
}

bool Plugin::gives(const std::string& feature) {
  static const char* const given[] = {LV2_URID__map,
                                      LV2_URID__unmap,
                                      LV2_LOG__log,
                                      LV2_OPTIONS__options,
                                      LV2_BUF_SIZE__boundedBlockLength,
                                      LV2_CORE__hardRTCapable,
                                      LV2_CORE__inPlaceBroken,
                                      LV2_CORE__isLive,
                                      LV2_STATE__threadSafeRestore,
                                      LV2_WORKER__schedule};
  for (const char* g : given)
    if (feature == g) return true;
  return false;
}

const Plugin& Plugin::find(const std::string& uri) {
  static std::unique_ptr<Plugin> found;
  if (found && found->uri == uri) return *found;
  auto p = std::make_unique<Plugin>();
  p->uri = uri;
  p->world = lilv_world_new();
  if (p->world == nullptr) throw khost::HostError(khost::kExitPlugin, "cannot create an LV2 world");
  p->searchPath = khost::loadLv2Bundles(p->world);
  LilvNode* uriNode = lilv_new_uri(p->world, uri.c_str());
  p->lilv = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(p->world), uriNode);
  lilv_node_free(uriNode);
  if (p->lilv == nullptr)
    throw khost::HostError(khost::kExitPlugin,
                           "no LV2 plug-in <" + uri + "> on LV2_PATH (" + p->searchPath + ")");
  p->name = khost::takeText(lilv_plugin_get_name(p->lilv));
  p->bundlePath = path(lilv_plugin_get_bundle_uri(p->lilv));
  p->libraryPath = path(lilv_plugin_get_library_uri(p->lilv));
  p->required = khost::takeTexts(lilv_plugin_get_required_features(p->lilv));
  p->optional = khost::takeTexts(lilv_plugin_get_optional_features(p->lilv));
  p->extensions = khost::takeTexts(lilv_plugin_get_extension_data(p->lilv));
  const uint32_t n = lilv_plugin_get_num_ports(p->lilv);
  p->ports.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    Port& port = p->ports[i];
    readPort(p->world, p->lilv, i, port);
    const bool in = port.input;
    if (port.type == Port::Type::Audio) (in ? p->audioIns : p->audioOuts).push_back(i);
    if (port.type == Port::Type::Control) (in ? p->controlIns : p->controlOuts).push_back(i);
    if (port.type == Port::Type::Atom) (in ? p->atomIns : p->atomOuts).push_back(i);
  }
  p->inPlaceBroken = p->declares(LV2_CORE__inPlaceBroken);
  p->hardRTCapable = p->declares(LV2_CORE__hardRTCapable);
  p->threadSafeRestore = p->declares(LV2_STATE__threadSafeRestore);
  LilvUIs* list = lilv_plugin_get_uis(p->lilv);
  LILV_FOREACH(uis, i, list) {
    const LilvUI* ui = lilv_uis_get(list, i);
    Ui u;
    u.uri = lilv_node_as_uri(lilv_ui_get_uri(ui));
    const LilvNodes* classes = lilv_ui_get_classes(ui);
    if (lilv_nodes_size(classes) > 0)
      u.type = lilv_node_as_uri(lilv_nodes_get(classes, lilv_nodes_begin(classes)));
    u.binary = path(lilv_ui_get_binary_uri(ui));
    u.bundle = path(lilv_ui_get_bundle_uri(ui));
    p->uis.push_back(u);
  }
  lilv_uis_free(list);
  for (const std::string& f : p->required)
    if (!gives(f))
      throw khost::HostError(khost::kExitPlugin, "<" + uri + "> requires the feature <" + f +
                                                     "> that this host does not give");
  found = std::move(p);
  return *found;
}

Plugin::~Plugin() {
  if (world != nullptr) lilv_world_free(world);
}

bool Plugin::declares(const char* feature) const {
  for (const auto* list : {&required, &optional})
    for (const std::string& f : *list)
      if (f == feature) return true;
  return false;
}

const LV2_Descriptor* Plugin::descriptor() const {
  static const LV2_Descriptor* cached = nullptr;
  static std::string cachedUri;
  if (cached != nullptr && cachedUri == uri) return cached;
  void* lib = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr)
    throw khost::HostError(khost::kExitPlugin, std::string("dlopen: ") + dlerror());
  auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(lib, "lv2_descriptor"));
  if (entry == nullptr)
    throw khost::HostError(khost::kExitPlugin, libraryPath + " exports no lv2_descriptor");
  for (uint32_t i = 0; i < 1024; ++i) {
    const LV2_Descriptor* d = intoPlugin("lv2_descriptor", [&] { return entry(i); });
    if (d == nullptr) break;
    if (d->URI != nullptr && uri == d->URI) {
      cached = d;
      cachedUri = uri;
      return d;
    }
  }
  throw khost::HostError(khost::kExitPlugin,
                         libraryPath + ": lv2_descriptor gives no descriptor for <" + uri + ">");
}

std::vector<Preset> Plugin::presets() const {
  std::vector<Preset> out;
  for (const khost::Lv2PresetRef& p : khost::presetsOf(world, lilv))
    out.push_back({p.uri, p.label});
  return out;
}

Instance::Instance(const std::string& uri, double rate, int32_t maxBlock)
    : plugin_(Plugin::find(uri)),
      rate_(rate),
      maxBlock_(maxBlock),
      rateOption_(static_cast<float>(rate)) {
  descriptor_ = plugin_.descriptor();
  map_ = {nullptr, mapCallback};
  unmap_ = {nullptr, unmapCallback};
  const LV2_URID intType = mapUri(LV2_ATOM__Int), floatType = mapUri(LV2_ATOM__Float);
  const LV2_Options_Option options[] = {
      {LV2_OPTIONS_INSTANCE, 0, mapUri(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t), intType,
       &minBlock_},
      {LV2_OPTIONS_INSTANCE, 0, mapUri(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), intType,
       &maxBlock_},
      {LV2_OPTIONS_INSTANCE, 0, mapUri(LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t), intType,
       &maxBlock_},
      {LV2_OPTIONS_INSTANCE, 0, mapUri(LV2_BUF_SIZE__sequenceSize), sizeof(int32_t), intType,
       &sequenceSize_},
      {LV2_OPTIONS_INSTANCE, 0, mapUri(LV2_PARAMETERS__sampleRate), sizeof(float), floatType,
       &rateOption_},
      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
  options_.assign(reinterpret_cast<const uint8_t*>(options),
                  reinterpret_cast<const uint8_t*>(options) + sizeof options);
  schedule_ = {this, scheduleWork};
  featureStore_ = {{LV2_URID__map, &map_},
                   {LV2_URID__unmap, &unmap_},
                   {LV2_LOG__log, khost::stderrLog()},
                   {LV2_OPTIONS__options, options_.data()},
                   {LV2_BUF_SIZE__boundedBlockLength, nullptr},
                   {LV2_WORKER__schedule, &schedule_}};
  for (const LV2_Feature& f : featureStore_) features_.push_back(&f);
  features_.push_back(nullptr);

  const size_t n = plugin_.ports.size();
  areas_.resize(n);
  controlPtr_.assign(n, nullptr);
  for (size_t i = 0; i < n; ++i) areas_[i] = std::make_unique<GuardedArea>();

  // Known before instantiate, which may schedule work already.
  const auto* worker =
      static_cast<const LV2_Worker_Interface*>(extensionData(LV2_WORKER__interface));
  if (worker != nullptr && worker->work != nullptr && worker->work_response != nullptr)
    worker_ = worker;
  handle_ = intoPlugin("instantiate", [&] {
    return descriptor_->instantiate(descriptor_, rate, plugin_.bundlePath.c_str(),
                                    features_.data());
  });
  if (handle_ == nullptr)
    throw Refused("<" + uri + "> did not instantiate at " + khost::formatGeneral(rate) + " Hz");
  state_ = static_cast<const LV2_State_Interface*>(extensionData(LV2_STATE__interface));

  // Control ports: one value each, against its own guard page.
  for (const Port& p : plugin_.ports) {
    if (p.type != Port::Type::Control) continue;
    auto* v = reinterpret_cast<float*>(
        areas_[p.index]->place(sizeof(float), alignof(float), {"connect_port", "control value"}));
    *v = p.input ? p.defaultValue : 0.0f;
    controlPtr_[p.index] = v;
    intoPlugin("connect_port", [&] { descriptor_->connect_port(handle_, p.index, v); });
  }
  outs_.assign(std::max<size_t>(plugin_.audioOuts.size(), 1), std::vector<float>());
  // Everything else gets a buffer now, so that the plug-in never sees a port
  // unconnected; run() places audio and atoms anew.
  connectAudio(0, false);
  buildSequences();
  runScheduledWork();
}

Instance::~Instance() {
  try {
    cleanup();
  } catch (const std::exception&) {
    // Already reported by the call that threw first, or nothing to report to.
  }
}

const void* Instance::extensionData(const char* uri) {
  if (descriptor_->extension_data == nullptr) return nullptr;
  return intoPlugin("extension_data", [&] { return descriptor_->extension_data(uri); });
}

void Instance::cleanup() {
  if (handle_ == nullptr) return;
  if (!everActive_) activate();
  if (active_) deactivate();
  cleanupAtOnce();
}

void Instance::cleanupAtOnce() {
  if (handle_ == nullptr) return;
  LV2_Handle h = handle_;
  handle_ = nullptr;
  intoPlugin("cleanup", [&] { descriptor_->cleanup(h); });
}

void Instance::activate() {
  if (descriptor_->activate != nullptr)
    intoPlugin("activate", [&] { descriptor_->activate(handle_); });
  active_ = everActive_ = true;
}

void Instance::deactivate() {
  active_ = false;
  if (descriptor_->deactivate != nullptr)
    intoPlugin("deactivate", [&] { descriptor_->deactivate(handle_); });
}

float Instance::control(size_t k) const {
  return *controlPtr_[plugin_.controlIns[k]];
}

void Instance::setControl(size_t k, float value) {
  *controlPtr_[plugin_.controlIns[k]] = value;
}

void Instance::setNormalized(size_t k, float value) {
  const Port& p = plugin_.port(plugin_.controlIns[k]);
  double v = p.minimum + static_cast<double>(value) * (p.maximum - p.minimum);
  if (p.logarithmic && p.minimum > 0 && p.maximum > p.minimum)
    v = p.minimum * std::pow(static_cast<double>(p.maximum) / p.minimum, value);
  if (p.toggled) v = value >= 0.5f ? p.maximum : p.minimum;
  if (p.integer) v = std::round(v);
  if (p.enumeration && !p.scalePoints.empty()) {
    float best = p.scalePoints[0];
    for (float s : p.scalePoints)
      if (std::fabs(s - v) < std::fabs(best - v)) best = s;
    v = best;
  }
  setControl(k, static_cast<float>(std::clamp<double>(v, p.minimum, p.maximum)));
}

void Instance::setDefaults() {
  for (size_t k = 0; k < controls(); ++k)
    setControl(k, plugin_.port(plugin_.controlIns[k]).defaultValue);
}

std::vector<float> Instance::controlValues() const {
  std::vector<float> v;
  for (size_t k = 0; k < controls(); ++k) v.push_back(control(k));
  return v;
}

std::vector<float> Instance::controlOutputs() const {
  std::vector<float> v;
  for (uint32_t i : plugin_.controlOuts) v.push_back(*controlPtr_[i]);
  return v;
}

bool Instance::setBySymbol(const std::string& symbol, float value) {
  for (size_t k = 0; k < controls(); ++k)
    if (plugin_.port(plugin_.controlIns[k]).symbol == symbol) {
      setControl(k, value);
      return true;
    }
  return false;
}

namespace {

// Appends one event (frame time, atom header, body, padding to 8 bytes).
void appendEvent(std::vector<uint8_t>& out, int64_t frame, uint32_t type, const void* body,
                 uint32_t size) {
  LV2_Atom_Event ev{};
  ev.time.frames = frame;
  ev.body.size = size;
  ev.body.type = type;
  const size_t at = out.size();
  out.resize(at + sizeof ev + lv2_atom_pad_size(size), 0);
  std::memcpy(out.data() + at, &ev, sizeof ev);
  if (size > 0) std::memcpy(out.data() + at + sizeof ev, body, size);
}

}  // namespace

void Instance::midi(uint32_t frame, const std::vector<uint8_t>& bytes) {
  appendEvent(events_, frame, mapUri(LV2_MIDI__MidiEvent), bytes.data(),
              static_cast<uint32_t>(bytes.size()));
}

void Instance::position(uint32_t frame, const Position& t) {
  uint8_t buffer[512];
  LV2_Atom_Forge forge;
  lv2_atom_forge_init(&forge, &map_);
  lv2_atom_forge_set_buffer(&forge, buffer, sizeof buffer);
  LV2_Atom_Forge_Frame obj;
  lv2_atom_forge_object(&forge, &obj, 0, mapUri(LV2_TIME__Position));
  lv2_atom_forge_key(&forge, mapUri(LV2_TIME__frame));
  lv2_atom_forge_long(&forge, t.frame);
  lv2_atom_forge_key(&forge, mapUri(LV2_TIME__speed));
  lv2_atom_forge_float(&forge, static_cast<float>(t.speed));
  lv2_atom_forge_key(&forge, mapUri(LV2_TIME__beatsPerMinute));
  lv2_atom_forge_float(&forge, static_cast<float>(t.bpm));
  lv2_atom_forge_key(&forge, mapUri(LV2_TIME__beat));
  lv2_atom_forge_double(&forge, t.beat);
  lv2_atom_forge_key(&forge, mapUri(LV2_TIME__bar));
  lv2_atom_forge_long(&forge, t.bar);
  lv2_atom_forge_key(&forge, mapUri(LV2_TIME__barBeat));
  lv2_atom_forge_float(&forge, static_cast<float>(t.barBeat));
  lv2_atom_forge_key(&forge, mapUri(LV2_TIME__beatUnit));
  lv2_atom_forge_int(&forge, t.beatUnit);
  lv2_atom_forge_key(&forge, mapUri(LV2_TIME__beatsPerBar));
  lv2_atom_forge_float(&forge, static_cast<float>(t.beatsPerBar));
  lv2_atom_forge_pop(&forge, &obj);
  const auto* atom = reinterpret_cast<const LV2_Atom*>(buffer);
  appendEvent(events_, frame, atom->type, atom + 1, atom->size);
}

void Instance::rawSequence(const std::vector<uint8_t>& atom) {
  raw_ = atom;
  haveRaw_ = true;
}

void Instance::strays(const GuardedArea& area) {
  const std::string what = area.strayWrites();
  if (what.empty()) return;
  if (Check* c = Check::current()) c->report(Kind::Memory, what);
}

void Instance::connectAudio(uint32_t frames, bool inPlace) {
  // A 0-frame run still gets a few bytes, aligned as hosts' buffers are.
  const size_t bytes = frames > 0 ? frames * sizeof(float) : 16;
  const auto& ins = plugin_.audioIns;
  for (size_t k = 0; k < ins.size(); ++k)
    areas_[ins[k]]->place(bytes, 16,
                          {"run", inPlace ? "in-place port" : "audio input",
                           static_cast<int>(ins[k]), static_cast<long>(frames)});
  for (const Port& p : plugin_.ports) {
    if (p.type == Port::Type::Control || p.type == Port::Type::Atom) continue;
    if (p.type == Port::Type::Audio && p.input) continue;
    const auto out = std::find(plugin_.audioOuts.begin(), plugin_.audioOuts.end(), p.index);
    const size_t rank = static_cast<size_t>(out - plugin_.audioOuts.begin());
    if (inPlace && out != plugin_.audioOuts.end() && rank < ins.size()) continue;
    const char* what = p.type == Port::Type::Audio ? "audio output" : "CV port";
    auto* b = reinterpret_cast<float*>(areas_[p.index]->place(
        bytes, 16, {"run", what, static_cast<int>(p.index), static_cast<long>(frames)}));
    std::fill(b, b + frames, 0.0f);
  }
  for (const Port& p : plugin_.ports) {
    if (p.type == Port::Type::Control || p.type == Port::Type::Atom) continue;
    uint32_t source = p.index;
    const auto out = std::find(plugin_.audioOuts.begin(), plugin_.audioOuts.end(), p.index);
    const size_t rank = static_cast<size_t>(out - plugin_.audioOuts.begin());
    if (inPlace && out != plugin_.audioOuts.end() && rank < ins.size()) source = ins[rank];
    void* data = areas_[source]->data();
    intoPlugin("connect_port", [&] { descriptor_->connect_port(handle_, p.index, data); });
  }
}

void Instance::buildSequences() {
  const LV2_URID sequence = mapUri(LV2_ATOM__Sequence);
  for (uint32_t i : plugin_.atomIns) {
    const Port& p = plugin_.port(i);
    std::vector<uint8_t> atom;
    if (haveRaw_) {
      atom = raw_;
    } else {
      LV2_Atom_Sequence head{};
      head.atom.type = sequence;
      head.atom.size = sizeof(LV2_Atom_Sequence_Body);
      const bool takes = p.midi || p.time;
      if (takes) head.atom.size += static_cast<uint32_t>(events_.size());
      atom.assign(reinterpret_cast<uint8_t*>(&head), reinterpret_cast<uint8_t*>(&head + 1));
      if (takes) atom.insert(atom.end(), events_.begin(), events_.end());
    }
    // Exactly as long as the sequence says, ending at a guard page.
    uint8_t* b = areas_[i]->place(std::max<size_t>(atom.size(), 1), 8, {"run", "atom sequence"});
    std::memcpy(b, atom.data(), atom.size());
    // The padding after each event's body is no part of it: reading a
    // 1-byte MIDI event as 3 bytes is caught (under AddressSanitizer).
    if (!haveRaw_) {
      size_t at = sizeof(LV2_Atom_Sequence);
      while (at + sizeof(LV2_Atom_Event) <= atom.size()) {
        const auto* ev = reinterpret_cast<const LV2_Atom_Event*>(atom.data() + at);
        const size_t body = at + sizeof(LV2_Atom_Event);
        areas_[i]->forbid(body + ev->body.size, lv2_atom_pad_size(ev->body.size) - ev->body.size);
        at = body + lv2_atom_pad_size(ev->body.size);
      }
    }
    intoPlugin("connect_port", [&] { descriptor_->connect_port(handle_, i, b); });
  }
  for (uint32_t i : plugin_.atomOuts) {
    const size_t capacity = static_cast<size_t>(sequenceSize_);
    uint8_t* b = areas_[i]->place(capacity, 8, {"run", "output atom sequence"});
    auto* atom = reinterpret_cast<LV2_Atom*>(b);
    atom->size = static_cast<uint32_t>(capacity - sizeof(LV2_Atom));
    atom->type = mapUri(LV2_ATOM__Chunk);
    intoPlugin("connect_port", [&] { descriptor_->connect_port(handle_, i, b); });
  }
  events_.clear();
  haveRaw_ = false;
}

void Instance::run(const float* signal, uint32_t frames, bool inPlace) {
  connectAudio(frames, inPlace);
  for (uint32_t i : plugin_.audioIns) {
    auto* b = reinterpret_cast<float*>(areas_[i]->data());
    if (signal != nullptr)
      std::memcpy(b, signal, frames * sizeof(float));
    else
      std::fill(b, b + frames, 0.0f);
  }
  buildSequences();
  audio_ = {};
  audioContext = this;
  try {
    // Bounded: work beside run (from a restore) may keep responding.
    uint32_t size = 0;
    const void* data = nullptr;
    for (uint32_t k = 0;
         worker_ != nullptr && k < WorkRing::kSlots && responses_.front(&size, &data); ++k) {
      audioCall("work_response", [&] { worker_->work_response(handle_, size, data); });
      responses_.pop();
    }
    audioCall("run", [&] { descriptor_->run(handle_, frames); });
    if (worker_ != nullptr && worker_->end_run != nullptr)
      audioCall("end_run", [&] { worker_->end_run(handle_); });
  } catch (...) {
    audioContext = nullptr;
    throw;
  }
  audioContext = nullptr;
  runScheduledWork();
  for (const auto& area : areas_) strays(*area);
  const auto& ins = plugin_.audioIns;
  for (size_t k = 0; k < plugin_.audioOuts.size(); ++k) {
    const uint32_t port = plugin_.audioOuts[k];
    const uint32_t source = inPlace && k < ins.size() ? ins[k] : port;
    const auto* b = reinterpret_cast<const float*>(areas_[source]->data());
    outs_[k].assign(b, b + frames);
  }
}

template <typename F>
void Instance::audioCall(const char* name, F&& body) {
  intoPlugin(name, [&] {
    rt::Watch w;
    body();
  });
  const rt::Counts c = rt::lastCall();
  if (c.allocations > 0 && audio_.allocatedIn == nullptr) audio_.allocatedIn = name;
  if (c.blocking > 0 && audio_.blockedIn == nullptr) audio_.blockedIn = name;
  if (c.blocking > 0 && audio_.counts.firstBlocking == nullptr)
    audio_.counts.firstBlocking = c.firstBlocking;
  audio_.counts.allocations += c.allocations;
  audio_.counts.blocking += c.blocking;
}

bool WorkRing::push(uint32_t size, const void* data) {
  const uint32_t w = written_.load(std::memory_order_relaxed);
  if (size > kSlotBytes || w - read_.load(std::memory_order_acquire) >= kSlots) return false;
  const uint32_t slot = w % kSlots;
  if (size > 0) std::memcpy(data_.data() + size_t{slot} * kSlotBytes, data, size);
  sizes_[slot] = size;
  written_.store(w + 1, std::memory_order_release);
  return true;
}

bool WorkRing::front(uint32_t* size, const void** data) const {
  const uint32_t r = read_.load(std::memory_order_relaxed);
  if (r == written_.load(std::memory_order_acquire)) return false;
  const uint32_t slot = r % kSlots;
  *size = sizes_[slot];
  *data = data_.data() + size_t{slot} * kSlotBytes;
  return true;
}

void WorkRing::pop() {
  read_.store(read_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

LV2_Worker_Status Instance::scheduleWork(LV2_Worker_Schedule_Handle h, uint32_t size,
                                         const void* data) {
  auto* self = static_cast<Instance*>(h);
  if (self == nullptr || self->worker_ == nullptr || inWork || (size > 0 && data == nullptr))
    return LV2_WORKER_ERR_UNKNOWN;
  // From run (or instantiate, before there is a handle to work with): queued.
  if (audioContext == self || self->handle_ == nullptr)
    return self->requests_.push(size, data) ? LV2_WORKER_SUCCESS : LV2_WORKER_ERR_NO_SPACE;
  // From restore, activate and the like: a non-real-time context already.
  self->doWork(size, data);
  return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status Instance::respond(LV2_Worker_Respond_Handle h, uint32_t size, const void* data) {
  auto* self = static_cast<Instance*>(h);
  if (self == nullptr || !inWork || (size > 0 && data == nullptr)) return LV2_WORKER_ERR_UNKNOWN;
  return self->responses_.push(size, data) ? LV2_WORKER_SUCCESS : LV2_WORKER_ERR_NO_SPACE;
}

void Instance::doWork(uint32_t size, const void* data) {
  std::lock_guard<std::mutex> lock(workMutex_);
  struct InWork {
    InWork() { inWork = true; }
    ~InWork() { inWork = false; }
  } marked;
  intoPlugin("work", [&] { return worker_->work(handle_, respond, this, size, data); });
}

void Instance::runScheduledWork() {
  uint32_t size = 0;
  const void* data = nullptr;
  while (worker_ != nullptr && handle_ != nullptr && requests_.front(&size, &data)) {
    try {
      doWork(size, data);
    } catch (...) {
      requests_.pop();
      throw;
    }
    requests_.pop();
  }
}

LV2_State_Status Instance::store(LV2_State_Handle h, uint32_t key, const void* value, size_t size,
                                 uint32_t type, uint32_t flags) {
  auto* out = static_cast<State*>(h);
  if (key == 0 || value == nullptr || type == 0) return LV2_STATE_ERR_UNKNOWN;
  Property p;
  p.key = key;
  p.type = type;
  p.flags = flags;
  p.value.assign(static_cast<const uint8_t*>(value), static_cast<const uint8_t*>(value) + size);
  for (Property& q : *out)
    if (q.key == key) {
      q = p;
      return LV2_STATE_SUCCESS;
    }
  out->push_back(p);
  return LV2_STATE_SUCCESS;
}

const void* Instance::retrieve(LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type,
                               uint32_t* flags) {
  auto* self = static_cast<Instance*>(h);
  ++self->asked_;
  for (const Property& p : *self->restoring_) {
    if (p.key != key) continue;
    if (self->retrievedUsed_ == self->retrieved_.size())
      self->retrieved_.push_back(std::make_unique<GuardedArea>());
    GuardedArea& area = *self->retrieved_[self->retrievedUsed_++];
    uint8_t* b = area.place(std::max<size_t>(p.value.size(), 1), 1, {"restore", "state value"});
    std::memcpy(b, p.value.data(), p.value.size());
    if (size != nullptr) *size = p.value.size();
    if (type != nullptr) *type = p.type;
    if (flags != nullptr) *flags = p.flags;
    return b;
  }
  return nullptr;
}

LV2_State_Status Instance::save(State& out) {
  out.clear();
  if (state_ == nullptr || state_->save == nullptr) return LV2_STATE_ERR_NO_FEATURE;
  return intoPlugin("state save", [&] {
    return state_->save(handle_, store, &out, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE,
                        features_.data());
  });
}

LV2_State_Status Instance::restore(const State& in, int* asked) {
  if (state_ == nullptr || state_->restore == nullptr) return LV2_STATE_ERR_NO_FEATURE;
  restoring_ = &in;
  retrievedUsed_ = 0;
  asked_ = 0;
  const LV2_State_Status status = intoPlugin("state restore", [&] {
    return state_->restore(handle_, retrieve, this, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE,
                           features_.data());
  });
  for (size_t i = 0; i < retrievedUsed_; ++i) strays(*retrieved_[i]);
  restoring_ = nullptr;
  if (asked != nullptr) *asked = asked_;
  return status;
}

}  // namespace validate::lv2
