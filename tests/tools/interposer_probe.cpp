// A VST 2.4 effect that shows through its audio output whether the host
// process has replaced libc's allocation and blocking calls: left output
// sample i is 1 when kNames[i] resolves to a definition in the host's
// executable, 0 when it resolves to a library (libc, or a sanitizer's
// runtime). Right output is 0.
#include <dlfcn.h>
#include <link.h>

#include <cstdint>
#include <iterator>

#include "host/vst_abi.h"
#include "tests/tools/interposer_names.h"

namespace {

using khtest::kInterposedNames;
const char* const* const kNames = kInterposedNames;
constexpr int kCount = static_cast<int>(std::size(kInterposedNames));

struct Range {
  uintptr_t address;
  bool inside = false;
};

// The first object dl_iterate_phdr reports is the executable.
int firstObjectHolds(dl_phdr_info* info, size_t, void* data) {
  Range& r = *static_cast<Range*>(data);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    const uintptr_t start = info->dlpi_addr + ph.p_vaddr;
    if (ph.p_type == PT_LOAD && r.address >= start && r.address < start + ph.p_memsz)
      r.inside = true;
  }
  return 1;
}

bool fromExecutable(const char* name) {
  void* symbol = dlsym(RTLD_DEFAULT, name);
  if (symbol == nullptr) return false;
  Range r{reinterpret_cast<uintptr_t>(symbol)};
  dl_iterate_phdr(firstObjectHolds, &r);
  return r.inside;
}

AEffect record;
float seen[kCount];

VstIntPtr dispatch(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) {
  return 0;
}

void processReplacing(AEffect*, float**, float** out, VstInt32 frames) {
  for (VstInt32 i = 0; i < frames; ++i) {
    out[0][i] = i < kCount ? seen[i] : 0.0f;
    out[1][i] = 0.0f;
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback) {
  for (int i = 0; i < kCount; ++i) seen[i] = fromExecutable(kNames[i]) ? 1.0f : 0.0f;
  record.magic = kEffectMagic;
  record.dispatcher = dispatch;
  record.processReplacing = processReplacing;
  record.numInputs = 2;
  record.numOutputs = 2;
  record.flags = effFlagsCanReplacing;
  record.uniqueID = vstFourCC('K', 'h', 'I', 'p');
  return &record;
}
