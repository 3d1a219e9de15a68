#include "tools/lv2/lv2_host.h"

#include <lilv/lilv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "lv2/atom/atom.h"
#include "lv2/atom/forge.h"
#include "lv2/buf-size/buf-size.h"
#include "lv2/core/lv2.h"
#include "lv2/log/log.h"
#include "lv2/midi/midi.h"
#include "lv2/options/options.h"
#include "lv2/parameters/parameters.h"
#include "lv2/presets/presets.h"
#include "lv2/state/state.h"
#include "lv2/time/time.h"
#include "lv2/urid/urid.h"
#include "tools/base/cli.h"
#include "tools/lv2/lilv_text.h"

namespace khost {

bool isLv2Uri(const std::string& arg) {
  const size_t colon = arg.find(':');
  if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(arg[0])))
    return false;
  for (size_t i = 0; i < colon; ++i) {
    const char c = arg[i];
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
      return false;
  }
  struct stat st;
  return ::stat(arg.c_str(), &st) != 0;
}

namespace {

constexpr uint32_t kSequenceBytes = 65536;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// LV2_PATH with each folder absolute: lilv makes a file URI of each entry
// and crashes on a relative one. "~" and "$NAME" are expanded first, as
// lilv would, so that what they stand for is made absolute too.
std::string absoluteSearchPath(const std::string& path) {
  std::string cwd;
  if (char* here = getcwd(nullptr, 0)) {
    cwd = here;
    std::free(here);
  }
  std::string out;
  size_t start = 0;
  for (;;) {
    const size_t colon = path.find(':', start);
    std::string dir = path.substr(start, colon == std::string::npos ? colon : colon - start);
    if (dir == "~" || dir.rfind("~/", 0) == 0) {
      const char* home = std::getenv("HOME");
      dir = std::string(home ? home : "") + dir.substr(1);
    } else if (!dir.empty() && dir[0] == '$') {
      const size_t end = std::min(dir.find('/'), dir.size());
      const char* value = std::getenv(dir.substr(1, end - 1).c_str());
      dir = std::string(value ? value : "") + dir.substr(end);
    }
    if (!dir.empty() && dir[0] != '/' && !cwd.empty()) dir = cwd + "/" + dir;
    if (!dir.empty() && dir[0] == '/') out += (out.empty() ? "" : ":") + dir;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return out;
}

// lilv_state_restore() drops the status the plug-in's restore returns. The
// instance it is handed is a copy whose descriptor answers the state
// interface with this wrapper, which keeps the status and whether the
// plug-in found any property it asked for (korva-host restores on one
// thread).
const LV2_Descriptor* restoring = nullptr;
const LV2_State_Interface* restoringInterface = nullptr;
LV2_State_Retrieve_Function realRetrieve = nullptr;
LV2_State_Status restoreStatus = LV2_STATE_SUCCESS;
bool propertyFound = false;

const void* noteRetrieve(LV2_State_Handle state, uint32_t key, size_t* size, uint32_t* type,
                         uint32_t* flags) {
  const void* value = realRetrieve(state, key, size, type, flags);
  if (value != nullptr) propertyFound = true;
  return value;
}

LV2_State_Status keepStatus(LV2_Handle instance, LV2_State_Retrieve_Function retrieve,
                            LV2_State_Handle state, uint32_t flags,
                            const LV2_Feature* const* features) {
  realRetrieve = retrieve;
  restoreStatus = restoringInterface->restore(instance, noteRetrieve, state, flags, features);
  return restoreStatus;
}

// A refusal, unless the plug-in only missed its properties in a state of
// port values alone, as most presets are.
bool refused() {
  return restoreStatus != LV2_STATE_SUCCESS &&
         (restoreStatus != LV2_STATE_ERR_NO_PROPERTY || propertyFound);
}

const void* statusKeepingExtensionData(const char* uri) {
  const void* data = restoring->extension_data ? restoring->extension_data(uri) : nullptr;
  if (data == nullptr || std::strcmp(uri, LV2_STATE__interface) != 0) return data;
  restoringInterface = static_cast<const LV2_State_Interface*>(data);
  static LV2_State_Interface wrapper;
  wrapper = *restoringInterface;
  if (wrapper.restore != nullptr) wrapper.restore = keepStatus;
  return &wrapper;
}

std::string statusText(LV2_State_Status status) {
  switch (status) {
    case LV2_STATE_ERR_BAD_TYPE:
      return "a value of the wrong type";
    case LV2_STATE_ERR_BAD_FLAGS:
      return "unsupported flags";
    case LV2_STATE_ERR_NO_FEATURE:
      return "a missing feature";
    case LV2_STATE_ERR_NO_PROPERTY:
      return "a missing property";
    case LV2_STATE_ERR_UNKNOWN:
      return "no reason given";
    default:
      return "status " + std::to_string(static_cast<int>(status));
  }
}

}  // namespace

std::string absoluteLv2Path() {
  const char* searchPath = std::getenv("LV2_PATH");
  // lilv's own default, with this user's home: a child with a HOME of its
  // own must still search the user's folder.
  return absoluteSearchPath(
      searchPath != nullptr
          ? searchPath
          : "~/.lv2:/usr/local/lib/lv2:/usr/lib/x86_64-linux-gnu/lv2:/usr/lib/lv2");
}

// Loads every bundle on LV2_PATH, each folder made absolute, or on lilv's
// default path; the path searched, for messages.
std::string loadLv2Bundles(LilvWorld* world) {
  const char* searchPath = std::getenv("LV2_PATH");
  if (searchPath == nullptr) {
    lilv_world_load_all(world);
    return "default path";
  }
  const std::string path = absoluteSearchPath(searchPath);
  LilvNode* node = lilv_new_string(world, path.c_str());
  lilv_world_set_option(world, LILV_OPTION_LV2_PATH, node);
  lilv_node_free(node);
  lilv_world_load_all(world);
  return path;
}

struct Lv2Host::Impl {
  LilvWorld* world = nullptr;
  const LilvPlugin* plugin = nullptr;
  LilvInstance* instance = nullptr;
  bool active = false;

  // urid:map and unmap over one table; the host is single-threaded.
  std::unordered_map<std::string, LV2_URID> ids;
  std::vector<std::string> uris{""};
  LV2_URID_Map map{this, &Impl::mapUri};
  LV2_URID_Unmap unmap{this, &Impl::unmapUri};

  int32_t minBlock = 1, maxBlock = 512, sequenceSize = kSequenceBytes;
  float rate = 44100.0f;
  std::vector<LV2_Options_Option> options;
  LV2_Feature mapFeature{LV2_URID__map, &map};
  LV2_Feature unmapFeature{LV2_URID__unmap, &unmap};
  LV2_Feature logFeature{LV2_LOG__log, stderrLog()};
  LV2_Feature optionsFeature{LV2_OPTIONS__options, nullptr};
  LV2_Feature boundedFeature{LV2_BUF_SIZE__boundedBlockLength, nullptr};
  std::vector<const LV2_Feature*> features;

  // Buffers: audio per port, atom sequences, anything else a scratch block.
  std::vector<std::vector<float>> audio;  // by port index
  struct AtomPort {
    uint32_t index;
    bool input;
    bool takesTime, takesMidi;
    std::vector<uint64_t> buffer;
  };
  std::vector<AtomPort> atoms;
  std::vector<std::vector<float>> scratch;
  LV2_Atom_Forge forge;

  static LV2_URID mapUri(LV2_URID_Map_Handle h, const char* uri) {
    auto* self = static_cast<Impl*>(h);
    if (!uri) return 0;
    auto it = self->ids.find(uri);
    if (it != self->ids.end()) return it->second;
    self->uris.push_back(uri);
    const LV2_URID id = static_cast<LV2_URID>(self->uris.size() - 1);
    self->ids.emplace(uri, id);
    return id;
  }
  static const char* unmapUri(LV2_URID_Unmap_Handle h, LV2_URID id) {
    auto* self = static_cast<Impl*>(h);
    return (id > 0 && id < self->uris.size()) ? self->uris[id].c_str() : nullptr;
  }
  LV2_URID id(const char* uri) { return mapUri(this, uri); }

  LilvNode* node(const char* uri) { return lilv_new_uri(world, uri); }
  bool portIs(const LilvPort* port, const char* cls) {
    LilvNode* n = node(cls);
    const bool r = lilv_port_is_a(plugin, port, n);
    lilv_node_free(n);
    return r;
  }
  bool portSupports(const LilvPort* port, const char* event) {
    LilvNode* n = node(event);
    const bool r = lilv_port_supports_event(plugin, port, n);
    lilv_node_free(n);
    return r;
  }

  ~Impl() {
    if (instance) {
      if (active) lilv_instance_deactivate(instance);
      lilv_instance_free(instance);
    }
    if (world) lilv_world_free(world);
  }
};

Lv2Host::Lv2Host(const std::string& uri, double sampleRate, int32_t maxBlock)
    : impl_(std::make_unique<Impl>()), uri_(uri) {
  Impl& m = *impl_;
  m.world = lilv_world_new();
  if (!m.world) throw HostError(kExitPlugin, "cannot create the LV2 world");
  const std::string searched = loadLv2Bundles(m.world);
  LilvNode* uriNode = lilv_new_uri(m.world, uri.c_str());
  m.plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(m.world), uriNode);
  lilv_node_free(uriNode);
  if (!m.plugin)
    throw HostError(kExitPlugin, "no LV2 plug-in <" + uri + "> on LV2_PATH (" + searched + ")");

  const std::vector<std::string> supported = {LV2_URID__map,
                                              LV2_URID__unmap,
                                              LV2_LOG__log,
                                              LV2_OPTIONS__options,
                                              LV2_BUF_SIZE__boundedBlockLength,
                                              LV2_CORE__hardRTCapable,
                                              LV2_CORE__inPlaceBroken};
  for (const std::string& f : requiredFeatures())
    if (std::find(supported.begin(), supported.end(), f) == supported.end())
      throw HostError(kExitPlugin, "<" + uri + "> requires the feature <" + f +
                                       "> that korva-host does not provide");

  m.rate = static_cast<float>(sampleRate);
  m.maxBlock = maxBlock;
  const LV2_URID intType = m.id(LV2_ATOM__Int), floatType = m.id(LV2_ATOM__Float);
  m.options = {{LV2_OPTIONS_INSTANCE, 0, m.id(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t),
                intType, &m.minBlock},
               {LV2_OPTIONS_INSTANCE, 0, m.id(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
                intType, &m.maxBlock},
               {LV2_OPTIONS_INSTANCE, 0, m.id(LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t),
                intType, &m.maxBlock},
               {LV2_OPTIONS_INSTANCE, 0, m.id(LV2_BUF_SIZE__sequenceSize), sizeof(int32_t), intType,
                &m.sequenceSize},
               {LV2_OPTIONS_INSTANCE, 0, m.id(LV2_PARAMETERS__sampleRate), sizeof(float), floatType,
                &m.rate},
               {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
  m.optionsFeature.data = m.options.data();
  m.features = {&m.mapFeature,     &m.unmapFeature,   &m.logFeature,
                &m.optionsFeature, &m.boundedFeature, nullptr};
  lv2_atom_forge_init(&m.forge, &m.map);

  // Ports: every one gets a buffer before the instance may run.
  const uint32_t n = lilv_plugin_get_num_ports(m.plugin);
  std::vector<float> mins(n), maxs(n), defs(n);
  lilv_plugin_get_port_ranges_float(m.plugin, mins.data(), maxs.data(), defs.data());
  m.audio.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(m.plugin, i);
    const bool input = m.portIs(port, LV2_CORE__InputPort);
    if (m.portIs(port, LV2_CORE__AudioPort)) {
      m.audio[i].assign(static_cast<size_t>(maxBlock), 0.0f);
      (input ? audioIn_ : audioOut_).push_back(i);
    } else if (m.portIs(port, LV2_CORE__ControlPort)) {
      Lv2Control c;
      c.index = i;
      c.symbol = lilv_node_as_string(lilv_port_get_symbol(m.plugin, port));
      c.name = takeText(lilv_port_get_name(m.plugin, port));
      c.output = !input;
      c.minimum = std::isnan(mins[i]) ? 0.0f : mins[i];
      c.maximum = std::isnan(maxs[i]) ? 1.0f : maxs[i];
      c.defaultValue = std::isnan(defs[i]) ? c.minimum : defs[i];
      c.value = c.defaultValue;
      controls_.push_back(c);
    } else if (m.portIs(port, LV2_ATOM__AtomPort)) {
      Impl::AtomPort a;
      a.index = i;
      a.input = input;
      a.takesTime = m.portSupports(port, LV2_TIME__Position);
      a.takesMidi = m.portSupports(port, LV2_MIDI__MidiEvent);
      a.buffer.assign(kSequenceBytes / sizeof(uint64_t), 0);
      m.atoms.push_back(std::move(a));
    } else {
      m.audio[i].assign(static_cast<size_t>(maxBlock), 0.0f);  // CV and the like: silence
    }
  }

  m.instance = lilv_plugin_instantiate(m.plugin, sampleRate, m.features.data());
  if (!m.instance)
    throw HostError(kExitPlugin, "<" + uri + "> failed to instantiate (see its messages above)");
  for (uint32_t i = 0; i < n; ++i)
    if (!m.audio[i].empty()) lilv_instance_connect_port(m.instance, i, m.audio[i].data());
  for (Lv2Control& c : controls_) lilv_instance_connect_port(m.instance, c.index, &c.value);
  for (Impl::AtomPort& a : m.atoms) {
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(a.buffer.data());
    seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
    seq->atom.type = m.id(LV2_ATOM__Sequence);
    lilv_instance_connect_port(m.instance, a.index, a.buffer.data());
  }
}

Lv2Host::~Lv2Host() = default;

std::string Lv2Host::name() const {
  return takeText(lilv_plugin_get_name(impl_->plugin));
}

std::string Lv2Host::author() const {
  return takeText(lilv_plugin_get_author_name(impl_->plugin));
}

std::string Lv2Host::className() const {
  const LilvNode* label = lilv_plugin_class_get_label(lilv_plugin_get_class(impl_->plugin));
  return label ? lilv_node_as_string(label) : "";
}

std::vector<std::string> Lv2Host::requiredFeatures() const {
  return takeTexts(lilv_plugin_get_required_features(impl_->plugin));
}

std::vector<std::string> Lv2Host::optionalFeatures() const {
  return takeTexts(lilv_plugin_get_optional_features(impl_->plugin));
}

std::vector<std::string> Lv2Host::extensionData() const {
  return takeTexts(lilv_plugin_get_extension_data(impl_->plugin));
}

std::vector<std::string> Lv2Host::uis() const {
  std::vector<std::string> out;
  LilvUIs* list = lilv_plugin_get_uis(impl_->plugin);
  LILV_FOREACH(uis, i, list) {
    const LilvUI* ui = lilv_uis_get(list, i);
    std::string text = lilv_node_as_uri(lilv_ui_get_uri(ui));
    const LilvNodes* classes = lilv_ui_get_classes(ui);
    LILV_FOREACH(nodes, j, classes)
    text += std::string(" (") + lilv_node_as_uri(lilv_nodes_get(classes, j)) + ")";
    out.push_back(text);
  }
  lilv_uis_free(list);
  return out;
}

std::vector<std::string> Lv2Host::atomPorts() const {
  std::vector<std::string> out;
  for (const Impl::AtomPort& a : impl_->atoms) {
    const LilvPort* port = lilv_plugin_get_port_by_index(impl_->plugin, a.index);
    std::string text = lilv_node_as_string(lilv_port_get_symbol(impl_->plugin, port));
    text += a.input ? " (input" : " (output";
    if (a.takesMidi) text += ", MIDI";
    if (a.takesTime) text += ", time:Position";
    out.push_back(text + ")");
  }
  return out;
}

Lv2Control& Lv2Host::findControl(const std::string& what) {
  for (Lv2Control& c : controls_)
    if (!c.output && c.symbol == what) return c;
  for (Lv2Control& c : controls_)
    if (!c.output && c.name == what) return c;
  for (Lv2Control& c : controls_)
    if (!c.output && lower(c.name) == lower(what)) return c;
  long long index = 0;
  if (parseInt(what, index))
    for (Lv2Control& c : controls_)
      if (!c.output && static_cast<long long>(c.index) == index) return c;
  usageError("no input control port \"" + what + "\"");
}

std::vector<Lv2Host::Preset> Lv2Host::presets() {
  std::vector<Preset> out;
  for (const Lv2PresetRef& p : presetsOf(impl_->world, impl_->plugin))
    out.push_back({p.uri, p.label});
  return out;
}

void applyControlSetting(Lv2Host& host, const std::string& text) {
  const size_t eq = text.rfind('=');
  if (eq == std::string::npos || eq == 0)
    usageError("--param wants NAME=VALUE, got \"" + text + "\"");
  double value = 0;
  if (!parseDouble(text.substr(eq + 1), value))
    usageError("bad parameter value \"" + text.substr(eq + 1) + "\"");
  Lv2Control& c = host.findControl(text.substr(0, eq));
  if (value < c.minimum || value > c.maximum)
    usageError("value " + formatGeneral(value) + " for " + c.symbol + " is outside " +
               formatGeneral(c.minimum) + ".." + formatGeneral(c.maximum));
  c.value = static_cast<float>(value);
}

namespace {

void setPortValue(const char* symbol, void* user, const void* value, uint32_t size, uint32_t type) {
  auto* host = static_cast<Lv2Host*>(user);
  (void)type;
  float v = 0;
  if (size == sizeof(float))
    std::memcpy(&v, value, sizeof v);
  else if (size == sizeof(double)) {
    double d = 0;
    std::memcpy(&d, value, sizeof d);
    v = static_cast<float>(d);
  } else
    return;
  for (Lv2Control& c : host->controls())
    if (!c.output && c.symbol == symbol) c.value = v;
}

const void* getPortValue(const char* symbol, void* user, uint32_t* size, uint32_t* type) {
  auto* pair = static_cast<std::pair<Lv2Host*, LV2_URID>*>(user);
  for (Lv2Control& c : pair->first->controls())
    if (!c.output && c.symbol == symbol) {
      *size = sizeof(float);
      *type = pair->second;
      return &c.value;
    }
  *size = 0;
  *type = 0;
  return nullptr;
}

}  // namespace

void Lv2Host::applyPreset(const std::string& uriOrLabel) {
  Impl& m = *impl_;
  std::string uri;
  for (const Preset& p : presets())
    if (p.uri == uriOrLabel || p.label == uriOrLabel) uri = p.uri;
  if (uri.empty()) usageError("<" + uri_ + "> has no preset \"" + uriOrLabel + "\"");
  LilvNode* node = m.node(uri.c_str());
  LilvState* state = lilv_state_new_from_world(m.world, &m.map, node);
  lilv_node_free(node);
  if (!state) throw HostError(kExitIo, "cannot read preset <" + uri + ">");
  try {
    restore(state, "preset <" + uri + ">");
  } catch (...) {
    lilv_state_free(state);
    throw;
  }
  lilv_state_free(state);
}

void Lv2Host::saveState(const std::string& directory) {
  Impl& m = *impl_;
  std::pair<Lv2Host*, LV2_URID> user{this, m.id(LV2_ATOM__Float)};
  LilvState* state = lilv_state_new_from_instance(
      m.plugin, m.instance, &m.map, nullptr, nullptr, nullptr, directory.c_str(), getPortValue,
      &user, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, m.features.data());
  if (!state) throw HostError(kExitPlugin, "<" + uri_ + "> gave no state");
  const int r =
      lilv_state_save(m.world, &m.map, &m.unmap, state, nullptr, directory.c_str(), "state.ttl");
  lilv_state_free(state);
  if (r != 0) throw HostError(kExitIo, "cannot write the state to " + directory);
}

void Lv2Host::loadState(const std::string& directory) {
  Impl& m = *impl_;
  const std::string file = directory + "/state.ttl";
  LilvState* state = lilv_state_new_from_file(m.world, &m.map, nullptr, file.c_str());
  if (!state) throw HostError(kExitIo, "cannot read an LV2 state from " + file);
  try {
    const LilvNode* target = lilv_state_get_plugin_uri(state);
    const std::string made = target ? lilv_node_as_uri(target) : "";
    if (made != uri_)
      throw HostError(kExitIo, file + ": made for <" + made + ">, not <" + uri_ + ">");
    restore(state, file);
  } catch (...) {
    lilv_state_free(state);
    throw;
  }
  lilv_state_free(state);
}

void Lv2Host::restore(const LilvState* state, const std::string& source) {
  Impl& m = *impl_;
  LV2_Descriptor descriptor = *m.instance->lv2_descriptor;
  descriptor.extension_data = statusKeepingExtensionData;
  LilvInstance instance = *m.instance;
  instance.lv2_descriptor = &descriptor;
  restoring = m.instance->lv2_descriptor;
  restoringInterface = nullptr;
  restoreStatus = LV2_STATE_SUCCESS;
  propertyFound = false;
  lilv_state_restore(state, &instance, nullptr, nullptr, 0, m.features.data());
  restoring = nullptr;
  if (refused())
    throw HostError(kExitIo,
                    source + ": the plug-in refused the state (" + statusText(restoreStatus) + ")");
  // The port values only once the plug-in took its own state.
  lilv_state_emit_port_values(state, setPortValue, this);
}

void Lv2Host::activate() {
  if (impl_->active) return;
  lilv_instance_activate(impl_->instance);
  impl_->active = true;
}

void Lv2Host::deactivate() {
  if (!impl_->active) return;
  lilv_instance_deactivate(impl_->instance);
  impl_->active = false;
}

void Lv2Host::run(const float* inL, const float* inR, int64_t inFrames, int64_t frames, float* outL,
                  float* outR, const std::vector<MidiControlChange>& events,
                  const Lv2Transport& transport) {
  Impl& m = *impl_;
  const LV2_URID sequenceType = m.id(LV2_ATOM__Sequence), chunkType = m.id(LV2_ATOM__Chunk);
  const LV2_URID position = m.id(LV2_TIME__Position), midiType = m.id(LV2_MIDI__MidiEvent);
  size_t nextEvent = 0;
  for (int64_t done = 0; done < frames;) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(m.maxBlock, frames - done));
    const int64_t at = done;
    for (uint32_t p : audioIn_) std::fill(m.audio[p].begin(), m.audio[p].end(), 0.0f);
    const int64_t avail = std::clamp<int64_t>(inFrames - at, 0, n);
    if (avail > 0) {
      if (!audioIn_.empty())
        std::memcpy(m.audio[audioIn_[0]].data(), inL + at, static_cast<size_t>(avail) * 4);
      if (audioIn_.size() > 1)
        std::memcpy(m.audio[audioIn_[1]].data(), inR + at, static_cast<size_t>(avail) * 4);
    }
    // The block's sequence: where the music is, then the control changes.
    const size_t blockStart = nextEvent;
    for (Impl::AtomPort& a : m.atoms) {
      auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(a.buffer.data());
      if (!a.input) {
        seq->atom.size = kSequenceBytes - sizeof(LV2_Atom);
        seq->atom.type = chunkType;
        continue;
      }
      lv2_atom_forge_set_buffer(&m.forge, reinterpret_cast<uint8_t*>(a.buffer.data()),
                                kSequenceBytes);
      LV2_Atom_Forge_Frame seqFrame;
      lv2_atom_forge_sequence_head(&m.forge, &seqFrame, 0);
      if (a.takesTime && transport.rolling) {
        const double seconds = static_cast<double>(at) / static_cast<double>(m.rate);
        const double ppq = transport.ppqStart + seconds * transport.tempo / 60.0;
        const double bar = std::floor(ppq / 4.0);
        LV2_Atom_Forge_Frame obj;
        lv2_atom_forge_frame_time(&m.forge, 0);
        lv2_atom_forge_object(&m.forge, &obj, 0, position);
        lv2_atom_forge_key(&m.forge, m.id(LV2_TIME__frame));
        lv2_atom_forge_long(&m.forge, at);
        lv2_atom_forge_key(&m.forge, m.id(LV2_TIME__speed));
        lv2_atom_forge_float(&m.forge, 1.0f);
        lv2_atom_forge_key(&m.forge, m.id(LV2_TIME__beatsPerMinute));
        lv2_atom_forge_float(&m.forge, static_cast<float>(transport.tempo));
        lv2_atom_forge_key(&m.forge, m.id(LV2_TIME__beat));
        lv2_atom_forge_double(&m.forge, ppq);
        lv2_atom_forge_key(&m.forge, m.id(LV2_TIME__bar));
        lv2_atom_forge_long(&m.forge, static_cast<int64_t>(bar));
        lv2_atom_forge_key(&m.forge, m.id(LV2_TIME__barBeat));
        lv2_atom_forge_float(&m.forge, static_cast<float>(ppq - 4.0 * bar));
        lv2_atom_forge_key(&m.forge, m.id(LV2_TIME__beatUnit));
        lv2_atom_forge_int(&m.forge, 4);
        lv2_atom_forge_key(&m.forge, m.id(LV2_TIME__beatsPerBar));
        lv2_atom_forge_float(&m.forge, 4.0f);
        lv2_atom_forge_pop(&m.forge, &obj);
      }
      if (a.takesMidi) {
        for (size_t e = blockStart; e < events.size() && events[e].frame < at + n; ++e) {
          const MidiControlChange& cc = events[e];
          const uint8_t bytes[3] = {static_cast<uint8_t>(0xB0 | cc.channel), cc.controller,
                                    cc.value};
          lv2_atom_forge_frame_time(&m.forge, std::max<int64_t>(cc.frame - at, 0));
          lv2_atom_forge_atom(&m.forge, 3, midiType);
          lv2_atom_forge_write(&m.forge, bytes, 3);
        }
      }
      lv2_atom_forge_pop(&m.forge, &seqFrame);
      seq->atom.type = sequenceType;
    }
    while (nextEvent < events.size() && events[nextEvent].frame < at + n) ++nextEvent;

    lilv_instance_run(m.instance, static_cast<uint32_t>(n));

    const float* left = audioOut_.empty() ? nullptr : m.audio[audioOut_[0]].data();
    const float* right = audioOut_.size() > 1 ? m.audio[audioOut_[1]].data() : left;
    if (left) {
      std::memcpy(outL + done, left, static_cast<size_t>(n) * sizeof(float));
      std::memcpy(outR + done, right, static_cast<size_t>(n) * sizeof(float));
    }
    done += n;
  }
}

}  // namespace khost
