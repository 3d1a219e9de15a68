// Files an earlier release saved restore exactly what its instance held:
// preset names as bytes, every stored value to the bit, the current preset,
// the controller assignments and the values the sound runs on. The files and
// expected.txt under files/<version>/ were written by that release
// (make_saved_files) and are never rewritten.
#include <gtest/gtest.h>
#include <lilv/lilv.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "editor/CPresetSystemEditor.h"
#include "lv2/Lv2Korva.h"
#include "lv2/Lv2Ports.h"
#include "presets/CPresetSystemEffect.h"
#include "tests/lv2/Lv2TestHost.h"
#include "tests/presets_files/FilesTestSupport.h"
#include "tests/presets_files/PluginInstance.h"
#include "tests/support/FakeHost.h"
#include "tests/support/TempConfigHome.h"
#include "tools/io/fx_container.h"

namespace {

const std::string kFiles = KORVA_SAVED_FILES;

struct SavedState {
  int current = -1;
  std::array<std::string, kNumPresets> names;
  std::array<std::array<uint32_t, kNumParams>, kNumPresets> values{};
  std::array<int, kNumParams> controllers{};  // -1: none
  std::array<uint32_t, kNumParams> parameters{};
};

std::string unhex(const std::string& hex) {
  std::string bytes;
  if (hex == "-") return bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

// expected.txt: "state LABEL", "current N", 17 "preset P NAMEHEX V0..V17",
// "controllers C0..C17" (number or none), "parameters V0..V17"; values are
// float bit patterns in hex.
std::map<std::string, SavedState> readExpected(const std::string& path) {
  std::map<std::string, SavedState> states;
  std::ifstream in(path);
  std::string line;
  SavedState* s = nullptr;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string key, word;
    words >> key;
    if (key == "state") {
      words >> word;
      s = &states[word];
    } else if (!s) {
      continue;
    } else if (key == "current") {
      words >> s->current;
    } else if (key == "preset") {
      int p = -1;
      words >> p >> word;
      if (p < 0 || p >= kNumPresets) continue;
      s->names[p] = unhex(word);
      for (auto& v : s->values[p]) words >> std::hex >> v >> std::dec;
    } else if (key == "controllers") {
      for (int& c : s->controllers) {
        words >> word;
        c = word == "none" ? -1 : std::stoi(word);
      }
    } else if (key == "parameters") {
      for (auto& v : s->parameters) words >> std::hex >> v >> std::dec;
    }
  }
  return states;
}

uint32_t bits(float f) {
  uint32_t w;
  std::memcpy(&w, &f, 4);
  return w;
}

// The instance holds exactly the saved state; every difference is named.
void expectHolds(CPresetSystemEffect& fx, const SavedState& want, const std::string& what) {
  SCOPED_TRACE(what);
  ASSERT_NE(want.current, -1) << "no such state in expected.txt";
  ASSERT_NE(fx.presetStore(), nullptr);
  EXPECT_EQ(fx.getCurrentPreset(), want.current);
  for (int p = 0; p < kNumPresets; ++p) {
    const PresetRecord& r = fx.presetStore()[p];
    EXPECT_EQ(std::string(r.name, strnlen(r.name, kPresetNameLength)), want.names[p])
        << "name of preset " << p;
    for (int i = 0; i < kNumParams; ++i)
      EXPECT_EQ(bits(r.values[i]), want.values[p][i]) << "preset " << p << ", parameter " << i;
  }
  for (int i = 0; i < kNumParams; ++i) {
    const VstInt32 c = fx.getParameterController(i);
    EXPECT_EQ(c >= 0 && c < kNumControllers ? c : -1, want.controllers[i])
        << "controller of parameter " << i;
    if (want.controllers[i] >= 0) {
      EXPECT_EQ(fx.getControllerParameter(want.controllers[i]), i);
    }
    EXPECT_EQ(bits(fx.getParameter(i)), want.parameters[i]) << "sound parameter " << i;
  }
}

VstIntPtr setChunk(Plugin& p, Bytes bytes) {
  return p.record->dispatcher(p.record, effSetChunk, 0, static_cast<VstIntPtr>(bytes.size()),
                              bytes.data(), 0.0f);
}

class SavedFiles : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    dir = kFiles + "/" + GetParam() + "/";
    states = readExpected(dir + "expected.txt");
    ASSERT_EQ(states.count("factory") + states.count("edited"), 2u) << dir << "expected.txt";
    ASSERT_TRUE(plugin.fx && plugin.editor);
  }
  Bytes file(const char* name) {
    Bytes b = readBytes(dir + name);
    EXPECT_FALSE(b.empty()) << dir << name;
    return b;
  }

  TempConfigHome config;  // before the plug-in: no stored defaults take part
  FakeHost host;
  ScriptedDialogs dialogs;
  Plugin plugin;
  std::string dir;
  std::map<std::string, SavedState> states;
};

TEST_P(SavedFiles, StateChunksAsTheHostStoredThem) {
  for (const char* label : {"factory", "edited"}) {
    Plugin fresh;
    ASSERT_TRUE(fresh.fx);
    EXPECT_EQ(setChunk(fresh, file((std::string(label) + ".chunk").c_str())), 0) << label;
    expectHolds(*fresh.fx, states[label], std::string(label) + ".chunk");
  }
}

TEST_P(SavedFiles, BankAndMidiSettingsFilesRebuildTheEditedState) {
  dialogs.answer(dir + "edited.vkb");
  plugin.editor->loadBank(1.0f);
  dialogs.answer(dir + "edited.vkm");
  plugin.editor->loadMidiSettings(1.0f);
  plugin.fx->selectPreset(states["edited"].current);
  expectHolds(*plugin.fx, states["edited"], "edited.vkb, edited.vkm");
}

TEST_P(SavedFiles, PresetFileReplacesTheCurrentPresetOnly) {
  const SavedState& edited = states["edited"];
  SavedState want = states["factory"];
  want.names[want.current] = edited.names[edited.current];
  want.values[want.current] = edited.values[edited.current];
  want.parameters = edited.parameters;
  dialogs.answer(dir + "edited.vek");
  plugin.editor->loadPreset(1.0f);
  expectHolds(*plugin.fx, want, "edited.vek");
}

TEST_P(SavedFiles, FactoryProgramFiles) {
  int seen = 0;
  for (const auto& [label, want] : states) {
    if (label.rfind("fxp-", 0) != 0) continue;
    ++seen;
    const std::string name = label.substr(4) + ".fxp";
    const Bytes bytes = file(name.c_str());
    fx::Container c;
    std::string error;
    ASSERT_TRUE(fx::read(bytes.data(), bytes.size(), c, error)) << name << ": " << error;
    EXPECT_TRUE(c.kind == fx::Container::Kind::Program && c.opaque) << name;
    EXPECT_EQ(c.fxID, plugin.record->uniqueID) << name;
    ASSERT_GE(want.current, 0);
    EXPECT_EQ(c.programName, want.names[want.current]) << name;
    Plugin fresh;
    ASSERT_TRUE(fresh.fx);
    EXPECT_EQ(setChunk(fresh, c.chunk), 0) << name;
    expectHolds(*fresh.fx, want, name);
  }
  EXPECT_GT(seen, 0);
}

// As a host reloads a session: lilv reads state.ttl, restores the plug-in's
// state and hands the saved port values back; the next block runs on them.
TEST_P(SavedFiles, Lv2StateAsLilvSavedIt) {
  Lv2TestHost lv2;
  ASSERT_NE(lv2.handle, nullptr);
  LilvWorld* world = lilv_world_new();
  LilvState* state = lilv_state_new_from_file(world, &lv2.urids.map, nullptr,
                                              (dir + "lv2-state/state.ttl").c_str());
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(lilv_state_get_num_properties(state), 1u);
  struct Ports {
    Lv2TestHost* host;
    int set = 0;
  } ports{&lv2};
  LilvInstance instance{lv2.descriptor, lv2.handle, nullptr};
  lilv_state_restore(
      state, &instance,
      [](const char* symbol, void* user, const void* value, uint32_t size, uint32_t) {
        auto* p = static_cast<Ports*>(user);
        for (int i = 0; i < kNumParams; ++i)
          if (size == sizeof(float) && std::strcmp(korvalv2::controlPort(i).symbol, symbol) == 0) {
            std::memcpy(&p->host->controls[i], value, sizeof(float));
            ++p->set;
          }
      },
      &ports, 0, lv2.features);
  lilv_state_free(state);
  lilv_world_free(world);
  EXPECT_EQ(ports.set, kNumParams);
  CPresetSystemEffect& fx = static_cast<korvalv2::Lv2Korva*>(lv2.handle)->effect();
  expectHolds(fx, states["edited"], "lv2-state, restored");
  lv2.activate();
  lv2.run();
  expectHolds(fx, states["edited"], "lv2-state, after a block on the saved port values");
}

INSTANTIATE_TEST_SUITE_P(Releases, SavedFiles, ::testing::Values("1.6.1"), [](const auto& info) {
  std::string name = std::string("v") + info.param;
  for (char& c : name)
    if (c == '.') c = '_';
  return name;
});

}  // namespace
