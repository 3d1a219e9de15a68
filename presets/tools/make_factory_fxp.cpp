// Writes the factory presets as standard program files (.fxp, chunk form), one
// per preset, named after the preset with blanks as dashes. The plug-in itself
// makes them: it is created through its entry point, each factory preset is
// selected and the state chunk taken, so the files always match the code.
// Usage: factory_fxp <output folder>
#include <cstdio>
#include <string>
#include <vector>

#include "host/AudioEffect.h"
#include "presets/CPresetSystemEffect.h"
#include "tools/io/fx_container.h"

namespace {

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

std::string fileNameFor(const char* presetName) {
  std::string name(presetName);
  for (char& c : name)
    if (c == ' ') c = '-';
  return name + ".fxp";
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: factory_fxp <output folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  AEffect* record = pluginEntry(&quietHost);
  if (!record) {
    std::fprintf(stderr, "factory_fxp: the plug-in could not be created\n");
    return 1;
  }
  auto* effect = dynamic_cast<CPresetSystemEffect*>(static_cast<AudioEffect*>(record->object));
  if (!effect || !effect->presetStore()) {
    std::fprintf(stderr, "factory_fxp: no preset system in the plug-in\n");
    record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
    return 1;
  }
  // Whatever stored defaults the construction loaded, the files carry the
  // factory bank and no controller assignment.
  effect->fillFactoryPresets();
  effect->resetControllerMap();

  int failures = 0;
  for (VstInt32 p = 0; p < kNumPresets; ++p) {
    effect->selectPreset(p);
    char name[kPresetNameLength + 1];
    effect->getProgramName(name);
    void* chunk = nullptr;
    const VstIntPtr size = record->dispatcher(record, effGetChunk, 1, 0, &chunk, 0.0f);
    if (size != kChunkSize || !chunk) {
      std::fprintf(stderr, "factory_fxp: no state chunk for preset %d\n", static_cast<int>(p));
      ++failures;
      continue;
    }
    const auto* bytes = static_cast<const uint8_t*>(chunk);
    const std::vector<uint8_t> file =
        fx::writeProgramChunk(record->uniqueID, record->version, record->numParams, name,
                              std::vector<uint8_t>(bytes, bytes + size));
    const std::string path = folder + "/" + fileNameFor(name);
    if (!writeFile(path, file)) {
      std::fprintf(stderr, "factory_fxp: cannot write %s\n", path.c_str());
      ++failures;
    }
  }
  record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
  return failures == 0 ? 0 : 1;
}
