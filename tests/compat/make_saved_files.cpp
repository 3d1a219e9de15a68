// Writes, with this build, the files a user or a host keeps from it: the VST
// state chunk of the factory state and of an edited state, the preset, bank
// and MIDI-settings files of the edited state, and the edited state as an LV2
// host saves it (lilv's state.ttl). expected.txt records what the saving
// instance held, so a later build can be held to restoring exactly that.
// Run once per release whose files must stay readable (tests/compat/README.md);
// never to refresh files an older release wrote.
// Usage: make_saved_files <output folder> <LV2 bundle folder> <factory .fxp folder>
#include <lilv/lilv.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "editor/CPresetSystemEditor.h"
#include "lv2/Lv2Korva.h"
#include "lv2/Lv2Ports.h"
#include "lv2/Lv2Uris.h"
#include "lv2/core/lv2.h"
#include "lv2/state/state.h"
#include "lv2/urid/urid.h"
#include "presets/CPresetSystemEffect.h"
#include "tests/presets_files/FilesTestSupport.h"
#include "tests/support/TempConfigHome.h"

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);

namespace {

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

bool fail(const std::string& why) {
  std::fprintf(stderr, "make_saved_files: %s\n", why.c_str());
  return false;
}

std::string hexBytes(const char* bytes, size_t n) {
  std::string out;
  char two[3];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(two, sizeof(two), "%02x", static_cast<unsigned char>(bytes[i]));
    out += two;
  }
  return out.empty() ? "-" : out;
}

std::string hexFloat(float v) {
  uint32_t w;
  std::memcpy(&w, &v, 4);
  char text[16];
  std::snprintf(text, sizeof(text), "%08" PRIx32, w);
  return text;
}

// One state as the tests read it back: names as bytes, values as bit
// patterns, so nothing is lost to printing.
std::string describe(const char* label, CPresetSystemEffect& fx) {
  std::string t =
      std::string("state ") + label + "\ncurrent " + std::to_string(fx.getCurrentPreset()) + "\n";
  for (int p = 0; p < kNumPresets; ++p) {
    const PresetRecord& r = fx.presetStore()[p];
    t += "preset " + std::to_string(p) + " " + hexBytes(r.name, strnlen(r.name, 24));
    for (int i = 0; i < kNumParams; ++i) t += " " + hexFloat(r.values[i]);
    t += "\n";
  }
  t += "controllers";
  for (int i = 0; i < kNumParams; ++i) {
    const VstInt32 c = fx.getParameterController(i);
    t += c >= 0 && c < 128 ? " " + std::to_string(c) : std::string(" none");
  }
  t += "\nparameters";
  for (int i = 0; i < kNumParams; ++i) t += " " + hexFloat(fx.getParameter(i));
  return t + "\n";
}

std::vector<unsigned char> chunkOf(AEffect* record) {
  void* data = nullptr;
  const VstIntPtr size = record->dispatcher(record, effGetChunk, 0, 0, &data, 0.0f);
  if (size <= 0 || !data) return {};
  const auto* b = static_cast<const unsigned char*>(data);
  return std::vector<unsigned char>(b, b + size);
}

// The edits a user makes over a session: presets renamed (one to the full 24
// characters, one in UTF-8), odd but valid values, controllers assigned by a
// host, by a settings value and by MIDI learn, and a current preset other
// than the first.
void edit(AEffect* record, CPresetSystemEffect& fx) {
  auto rename = [&](const char* name) {
    char text[kPresetNameLength + 1] = {0};
    std::strncpy(text, name, kPresetNameLength);
    record->dispatcher(record, effSetProgramName, 0, 0, text, 0.0f);
  };
  fx.selectPreset(16);
  rename("twenty-four characters!!");
  record->setParameter(record, kFbck, 1e-7f);
  fx.selectPreset(9);
  rename("na\xc3\xafve \xc3\x98 d\xc3\xa9lai");
  record->setParameter(record, kRate, 1e-40f);  // subnormal
  fx.selectPreset(3);
  rename("odd values");
  // Learned: Rate to controller 1, from a message on channel 3.
  fx.startLearn();
  fx.setLearnTarget(kRate);
  VstMidiEvent cc{};
  cc.type = kVstMidiType;
  cc.byteSize = sizeof(cc);
  cc.midiData[0] = static_cast<char>(0xB2);
  cc.midiData[1] = 1;
  cc.midiData[2] = 64;
  struct {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[2];
  } list{1, 0, {reinterpret_cast<VstEvent*>(&cc), nullptr}};
  record->dispatcher(record, effProcessEvents, 0, 0, &list, 0.0f);
  fx.stopLearn();
  // Assigned as a host restores them: controllers 0, 7 and 127.
  record->setParameter(record, kNumParams + kInput, 0.5f / 129.0f);
  record->setParameter(record, kNumParams + kFbck, 7.5f / 129.0f);
  record->setParameter(record, kNumParams + kDlyTime, 127.5f / 129.0f);
  const float odd[kNumParams] = {
      0.0f,                               // Input: off
      1.0f,                               // Output: top
      0.5f,                               // Mix
      std::nextafter(1.0f, 0.0f),         // DlyTime: just below the top
      0.5f,                               // Dlyx2: on at exactly 0.5
      std::nextafter(0.5f, 0.0f),         // DlyInv: just off
      1.0f / 3.0f,                        // Fbck
      0.75f,                              // HiCut
      0.25f,                              // FbInv
      std::nextafter(0.0f, 1.0f) * 1e3f,  // ManVCO: subnormal
      0.0078125f,                         // Depth
      0.5f,                               // Waveform: envelope
      0.999f,                             // Rate
      0.25f,                              // RptInf
      0.75f,                              // Power: on
      0.25f,                              // Dly<>Clk: off
      std::nextafter(1.0f, 0.0f),         // Num: last step
      0.0f,                               // Den: first step
  };
  for (int i = 0; i < kNumParams; ++i) record->setParameter(record, i, odd[i]);
}

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  if (bytes.empty()) return fail("nothing to write to " + path);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return fail("cannot write " + path);
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok ? true : fail("cannot write " + path);
}

// Both directions of the URID map, as lilv needs to write a state.
struct Urids {
  std::vector<std::string> uris;
  LV2_URID id(const char* uri) {
    for (size_t i = 0; i < uris.size(); ++i)
      if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
    uris.emplace_back(uri);
    return static_cast<LV2_URID>(uris.size());
  }
  LV2_URID_Map map{
      this, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<Urids*>(h)->id(uri); }};
  LV2_URID_Unmap unmap{this, [](LV2_URID_Unmap_Handle h, LV2_URID u) -> const char* {
                         auto* t = static_cast<Urids*>(h);
                         return u >= 1 && u <= t->uris.size() ? t->uris[u - 1].c_str() : nullptr;
                       }};
};

struct Lv2Ports {
  std::map<std::string, uint32_t> index;
  float controls[kNumParams] = {};
  LV2_URID floatType = 0;
};

const void* portValueOf(const char* symbol, void* user, uint32_t* size, uint32_t* type) {
  auto* p = static_cast<Lv2Ports*>(user);
  auto it = p->index.find(symbol);
  if (it == p->index.end() || it->second < korvalv2::kPortFirstControl ||
      it->second >= korvalv2::kPortFirstControl + kNumParams)
    return nullptr;
  *size = sizeof(float);
  *type = p->floatType;
  return &p->controls[it->second - korvalv2::kPortFirstControl];
}

// The edited chunk given to an LV2 instance as a host restores a state; the
// ports then hold what the instance-access editor writes to them, and lilv
// saves the whole as Ardour and jalv do.
bool saveLv2State(const std::vector<unsigned char>& chunk, const std::string& bundleFolder,
                  const std::string& out) {
  Urids urids;
  LV2_Feature mapFeature{LV2_URID__map, &urids.map};
  LV2_Feature unmapFeature{LV2_URID__unmap, &urids.unmap};
  const LV2_Feature* features[] = {&mapFeature, &unmapFeature, nullptr};
  const LV2_Descriptor* descriptor = lv2_descriptor(0);
  LV2_Handle handle = descriptor->instantiate(descriptor, 48000.0, bundleFolder.c_str(), features);
  if (!handle) return fail("no LV2 instance");
  const auto* iface =
      static_cast<const LV2_State_Interface*>(descriptor->extension_data(LV2_STATE__interface));
  struct Given {
    const std::vector<unsigned char>* bytes;
    LV2_URID key, type;
  } given{&chunk, urids.id(KORVA_LV2_STATE_KEY), urids.id(LV2_ATOM__Chunk)};
  const LV2_State_Status restored = iface->restore(
      handle,
      [](LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type,
         uint32_t* flags) -> const void* {
        auto* g = static_cast<Given*>(h);
        if (key != g->key) return nullptr;
        *size = g->bytes->size();
        *type = g->type;
        *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
        return g->bytes->data();
      },
      &given, 0, features);
  if (restored != LV2_STATE_SUCCESS) {
    descriptor->cleanup(handle);
    return fail("the LV2 instance refused the state");
  }
  VEK& fx = static_cast<korvalv2::Lv2Korva*>(handle)->effect();
  Lv2Ports ports;
  ports.floatType = urids.id(LV2_ATOM__Float);
  for (int i = 0; i < kNumParams; ++i)
    ports.controls[i] = korvalv2::portValue(i, fx.getParameter(i));

  LilvWorld* world = lilv_world_new();
  LilvNode* bundle = lilv_new_file_uri(world, nullptr, (bundleFolder + "/").c_str());
  lilv_world_load_bundle(world, bundle);
  LilvNode* uri = lilv_new_uri(world, KORVA_LV2_URI);
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
  bool ok = plugin != nullptr;
  if (ok) {
    for (uint32_t p = 0; p < lilv_plugin_get_num_ports(plugin); ++p) {
      const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
      ports.index[lilv_node_as_string(lilv_port_get_symbol(plugin, port))] = p;
    }
    LilvInstance instance{descriptor, handle, nullptr};
    LilvState* state = lilv_state_new_from_instance(
        plugin, &instance, &urids.map, nullptr, nullptr, nullptr, out.c_str(), portValueOf, &ports,
        LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features);
    ok = state && lilv_state_save(world, &urids.map, &urids.unmap, state, nullptr, out.c_str(),
                                  "state.ttl") == 0;
    if (state) lilv_state_free(state);
  }
  lilv_node_free(uri);
  lilv_node_free(bundle);
  lilv_world_free(world);
  descriptor->cleanup(handle);
  return ok ? true : fail("lilv could not save the LV2 state");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr,
                 "usage: make_saved_files <output folder> <LV2 bundle folder> <factory .fxp "
                 "folder>\n");
    return 2;
  }
  const std::string out = argv[1];
  TempConfigHome config;  // no stored defaults of the user's take part
  ScriptedDialogs dialogs;
  AEffect* record = pluginEntry(&quietHost);
  if (!record) return fail("the plug-in could not be created"), 1;
  auto* fx = dynamic_cast<CPresetSystemEffect*>(static_cast<AudioEffect*>(record->object));
  auto* editor = fx ? dynamic_cast<CPresetSystemEditor*>(fx->getEditor()) : nullptr;
  if (!fx || !editor || !fx->presetStore()) return fail("no preset system"), 1;

  std::string expected = describe("factory", *fx);
  bool ok = writeFile(out + "/factory.chunk", chunkOf(record));
  // Three of the factory program files the build wrote (the first, a
  // modulated one and the last, synced), and what selecting each gives.
  for (const auto& [file, preset] :
       {std::pair<const char*, int>{"default", 0}, {"wow-tape", 6}, {"16th-slapback", 16}}) {
    ok = writeFile(out + "/" + file + ".fxp",
                   readBytes(std::string(argv[3]) + "/" + file + ".fxp")) &&
         ok;
    fx->selectPreset(preset);
    expected += describe((std::string("fxp-") + file).c_str(), *fx);
  }
  fx->selectPreset(0);
  edit(record, *fx);
  expected += describe("edited", *fx);
  const std::vector<unsigned char> edited = chunkOf(record);
  ok = writeFile(out + "/edited.chunk", edited) && ok;
  dialogs.answer(out + "/edited.vek");
  editor->savePreset();
  dialogs.answer(out + "/edited.vkb");
  editor->saveBank();
  dialogs.answer(out + "/edited.vkm");
  editor->saveMidiSettings();
  ok = saveLv2State(edited, argv[2], out + "/lv2-state") && ok;
  record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);

  FILE* f = std::fopen((out + "/expected.txt").c_str(), "w");
  if (!f) return fail("cannot write expected.txt"), 1;
  std::fputs(expected.c_str(), f);
  ok = std::fclose(f) == 0 && ok;
  return ok ? 0 : 1;
}
