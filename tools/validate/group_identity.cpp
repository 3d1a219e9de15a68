// identity: what a host reads before anything else - the entry point, the
// effect record, the name texts and the can-do answers.
#include <dlfcn.h>

#include "tools/base/cli.h"
#include "tools/validate/check.h"
#include "tools/validate/instance.h"

namespace validate {

namespace {

void entryPoint(Check& c) {
  c.step("dlopen and dlsym");
  void* lib = dlopen(c.pluginPath().find('/') == std::string::npos ? ("./" + c.pluginPath()).c_str()
                                                                   : c.pluginPath().c_str(),
                     RTLD_NOW | RTLD_LOCAL);
  c.tried();
  if (lib == nullptr) {
    c.fail(std::string("dlopen: ") + dlerror());
    return;
  }
  const bool modern = dlsym(lib, "VSTPluginMain") != nullptr;
  const bool old = dlsym(lib, "main") != nullptr;
  if (!modern && old) c.warn("exports only the old entry point \"main\", not VSTPluginMain");
  if (!modern && !old) c.fail("exports neither VSTPluginMain nor main");
}

void record(Check& c) {
  c.step("entry point and effOpen");
  Instance inst(c.pluginPath());
  AEffect* e = inst.effect();
  c.tried(8);
  c.expect(e->numInputs <= 64 && e->numOutputs <= 64, "implausible pin counts " +
                                                          std::to_string(e->numInputs) + " in, " +
                                                          std::to_string(e->numOutputs) + " out");
  c.expect(e->numOutputs > 0, "no outputs");
  c.expect(e->numParams <= 100000, "implausible parameter count " + std::to_string(e->numParams));
  c.expect(e->numPrograms <= 100000, "implausible program count " + std::to_string(e->numPrograms));
  c.expect(e->initialDelay >= 0, "negative initialDelay " + std::to_string(e->initialDelay));
  c.expect(e->uniqueID != 0, "uniqueID is 0 (hosts tell plug-ins apart by it)");
  c.expect((e->flags & effFlagsCanReplacing) != 0,
           "effFlagsCanReplacing is not set (VST 2.4 requires processReplacing)");
  const VstIntPtr version = inst.dispatch(effGetVstVersion);
  c.expect(version >= 2400 || version == 0,
           "effGetVstVersion answers " + std::to_string(version) + ", not 2400");
}

void processPointers(Check& c) {
  c.step("entry point and effOpen");
  Instance inst(c.pluginPath());
  AEffect* e = inst.effect();
  c.tried(3);
  c.expect(e->processReplacing != nullptr, "processReplacing is null");
  c.expect(
      e->numParams == 0 || (e->setParameter != nullptr && e->getParameter != nullptr),
      "setParameter or getParameter is null with " + std::to_string(e->numParams) + " parameters");
  c.expect((e->flags & effFlagsCanDoubleReplacing) == 0 || e->processDoubleReplacing != nullptr,
           "effFlagsCanDoubleReplacing is set but processDoubleReplacing is null");
}

void texts(Check& c) {
  Instance inst(c.pluginPath());
  struct {
    VstInt32 opcode;
    const char* name;
    size_t limit;
  } const requests[] = {{effGetEffectName, "effGetEffectName", kVstMaxEffectNameLen},
                        {effGetVendorString, "effGetVendorString", kVstMaxVendorStrLen},
                        {effGetProductString, "effGetProductString", kVstMaxProductStrLen},
                        {effGetProgramName, "effGetProgramName", kVstMaxProgNameLen}};
  for (const auto& r : requests) {
    c.step(r.name);
    const TextAnswer a = inst.text(r.opcode, 0, r.limit);
    c.tried();
    if (!a.ok(r.limit)) c.fail(std::string(r.name) + " " + a.describe(r.limit));
  }
  for (int i = 0; i < inst.plugin().numPrograms(); ++i) {
    c.step("effGetProgramNameIndexed(" + std::to_string(i) + ")");
    const TextAnswer a = inst.text(effGetProgramNameIndexed, i, kVstMaxProgNameLen);
    c.tried();
    if (!a.ok(kVstMaxProgNameLen)) c.fail(a.describe(kVstMaxProgNameLen));
  }
  c.step("effGetEffectName");
  if (inst.text(effGetEffectName, 0, kVstMaxEffectNameLen).text.empty())
    c.warn("effGetEffectName answers an empty name");
}

void canDo(Check& c) {
  Instance inst(c.pluginPath());
  static const char* const texts[] = {"sendVstEvents",
                                      "sendVstMidiEvent",
                                      "receiveVstEvents",
                                      "receiveVstMidiEvent",
                                      "receiveVstTimeInfo",
                                      "offline",
                                      "midiProgramNames",
                                      "bypass",
                                      "korva-host: a text no plug-in knows",
                                      ""};
  for (const char* t : texts) {
    c.step(std::string("effCanDo \"") + t + "\"");
    const VstIntPtr answer = inst.dispatch(effCanDo, 0, 0, const_cast<char*>(t));
    c.tried();
    if (answer < -1 || answer > 1)
      c.fail(std::string("effCanDo \"") + t + "\" answers " + std::to_string(answer) +
             " (want -1, 0 or 1)");
    else if (*t == 'k' && answer == 1)
      c.fail("effCanDo answers yes to an unknown text");
  }
  c.step("effGetPlugCategory");
  const VstIntPtr category = inst.dispatch(effGetPlugCategory);
  c.tried();
  c.expect(category >= 0 && category <= 11,
           "effGetPlugCategory answers " + std::to_string(category) + " (want 0..11)");
  c.step("effGetTailSize");
  const VstIntPtr tail = inst.dispatch(effGetTailSize);
  c.tried();
  c.expect(tail >= 0, "effGetTailSize answers " + std::to_string(tail));
}

}  // namespace

std::vector<CheckDef> identityChecks() {
  return {{"entry point", entryPoint},
          {"record fields", record},
          {"process pointers", processPointers},
          {"name texts", texts},
          {"can-do answers", canDo}};
}

}  // namespace validate
