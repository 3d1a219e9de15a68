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
  if (version < 2400 && version != 0)
    c.warn("effGetVstVersion answers " + std::to_string(version) + ", not 2400");
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
    judgeText(c, a, r.limit, r.name);
  }
  for (int i = 0; i < inst.plugin().numPrograms(); ++i) {
    const std::string call = "effGetProgramNameIndexed(" + std::to_string(i) + ")";
    c.step(call);
    const TextAnswer a = inst.text(effGetProgramNameIndexed, i, kVstMaxProgNameLen);
    c.tried();
    judgeText(c, a, kVstMaxProgNameLen, call);
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
    const VstIntPtr answer = inst.dispatchText(effCanDo, 0, t);
    c.tried();
    // Hosts read any positive answer as yes.
    if (answer < -1 || answer > 1)
      c.warn(std::string("effCanDo \"") + t + "\" answers " + std::to_string(answer) +
             " (want -1, 0 or 1)");
    else if (*t == 'k' && answer == 1)
      c.warn("effCanDo answers yes to an unknown text");
  }
  c.step("effGetPlugCategory");
  const VstIntPtr category = inst.dispatch(effGetPlugCategory);
  c.tried();
  if (category < 0 || category > 11)
    c.warn("effGetPlugCategory answers " + std::to_string(category) + " (want 0..11)");
  c.step("effGetTailSize");
  const VstIntPtr tail = inst.dispatch(effGetTailSize);
  c.tried();
  c.expect(tail >= 0, "effGetTailSize answers " + std::to_string(tail));
}

}  // namespace

std::vector<CheckDef> identityChecks() {
  return {{"entry point", entryPoint, Kind::Interface},
          {"record fields", record, Kind::Interface},
          {"process pointers", processPointers, Kind::Interface},
          {"name texts", texts, Kind::Text},
          {"can-do answers", canDo, Kind::Interface}};
}

}  // namespace validate
