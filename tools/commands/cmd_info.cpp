#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/commands/commands.h"
#include "tools/vst/plugin.h"
#include "tools/vst/plugin_state.h"

namespace khost {

const char* const kInfoHelp =
    "usage: korva-host info PLUGIN.so [--load FILE] [--save-chunk FILE]\n"
    "\n"
    "Loads the plug-in, opens it and prints its identity (name, vendor, product,\n"
    "unique id, versions, category, flags, pins, counts, initial delay), its\n"
    "answers to common can-do texts, the current program name and a table of\n"
    "all parameters: index, name, display, label and value (0..1).\n"
    "\n"
    "  --load FILE        restore state first from FILE (.fxp program, .fxb bank,\n"
    "                     any other extension: raw bank chunk for effSetChunk)\n"
    "  --save-chunk FILE  save the state afterwards in the same forms; plug-ins\n"
    "                     with program chunks get chunk forms, others parameter\n"
    "                     lists; a raw file is the bank chunk (effGetChunk 0)\n"
    "\n"
    "Numbers are printed with '.' decimals whatever the locale.\n"
    "Exit codes: 0 ok, 1 usage, 2 plug-in load error, 3 I/O error.\n";

namespace {

const char* categoryName(VstIntPtr c) {
  static const char* const names[] = {"Unknown",     "Effect",         "Synth",  "Analysis",
                                      "Mastering",   "Spacializer",    "RoomFx", "SurroundFx",
                                      "Restoration", "OfflineProcess", "Shell",  "Generator"};
  return c >= 0 && c < 12 ? names[c] : "?";
}

std::string decodeFlags(int32_t flags) {
  static const struct {
    int32_t bit;
    const char* name;
  } known[] = {
      {effFlagsHasEditor, "HasEditor"},         {effFlagsCanReplacing, "CanReplacing"},
      {effFlagsProgramChunks, "ProgramChunks"}, {effFlagsIsSynth, "IsSynth"},
      {effFlagsNoSoundInStop, "NoSoundInStop"}, {effFlagsCanDoubleReplacing, "CanDoubleReplacing"}};
  std::string s;
  int32_t rest = flags;
  for (const auto& k : known)
    if (flags & k.bit) {
      s += (s.empty() ? "" : " ") + std::string(k.name);
      rest &= ~k.bit;
    }
  if (rest != 0)
    s += (s.empty() ? "" : " ") + std::string("other:") + hex32(static_cast<uint32_t>(rest));
  return s.empty() ? "none" : s;
}

const char* canDoWord(VstIntPtr answer) {
  if (answer > 0) return "yes";
  if (answer < 0) return "no";
  return "don't know";
}

std::string pad(const std::string& s, size_t width) {
  // Width counts bytes; names are short ASCII in practice.
  return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

void line(const std::string& label, const std::string& value) {
  std::printf("%s%s\n", pad(label + ":", 18).c_str(), value.c_str());
}

}  // namespace

int runInfo(ArgList& args) {
  std::string pluginPath, loadPath, savePath;
  while (!args.empty()) {
    const std::string a = args.next();
    if (a == "--load")
      loadPath = args.value(a);
    else if (a == "--save-chunk")
      savePath = args.value(a);
    else if (!a.empty() && a[0] == '-')
      usageError("unknown option " + a);
    else if (pluginPath.empty())
      pluginPath = a;
    else
      usageError("unexpected argument " + a);
  }
  if (pluginPath.empty()) usageError("no plug-in given (korva-host info PLUGIN.so)");

  HostContext host;
  Plugin plugin(pluginPath, host);
  plugin.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(host.sampleRate));
  plugin.dispatch(effSetBlockSize, 0, host.blockSize);
  if (!loadPath.empty()) loadState(plugin, loadPath);

  const AEffect* e = plugin.effect();
  line("name", plugin.text(effGetEffectName));
  line("vendor", plugin.text(effGetVendorString));
  line("product", plugin.text(effGetProductString));
  line("unique id",
       "'" + fourChars(e->uniqueID) + "' (" + hex32(static_cast<uint32_t>(e->uniqueID)) + ")");
  line("plug-in version", std::to_string(e->version));
  line("vendor version", std::to_string(plugin.dispatch(effGetVendorVersion)));
  line("VST version", std::to_string(plugin.dispatch(effGetVstVersion)));
  const VstIntPtr category = plugin.dispatch(effGetPlugCategory);
  line("category", std::to_string(category) + " (" + categoryName(category) + ")");
  line("flags", hex32(static_cast<uint32_t>(e->flags)) + " " + decodeFlags(e->flags));
  line("inputs", std::to_string(e->numInputs));
  line("outputs", std::to_string(e->numOutputs));
  line("programs", std::to_string(e->numPrograms));
  line("parameters", std::to_string(e->numParams));
  line("initial delay", std::to_string(e->initialDelay));
  line("tail size", std::to_string(plugin.dispatch(effGetTailSize)));
  std::printf("can do:\n");
  for (const char* text :
       {"receiveVstMidiEvent", "receiveVstEvents", "sendVstMidiEvent", "sendVstEvents",
        "receiveVstTimeInfo", "bypass", "offline", "midiProgramNames"}) {
    char buffer[64] = {};
    std::snprintf(buffer, sizeof buffer, "%s", text);
    const VstIntPtr answer = plugin.dispatch(effCanDo, 0, 0, buffer);
    std::printf("  %s%s (%lld)\n", pad(std::string(text) + ":", 22).c_str(), canDoWord(answer),
                static_cast<long long>(answer));
  }
  line("program",
       std::to_string(plugin.dispatch(effGetProgram)) + " \"" + plugin.programName() + "\"");

  std::printf("parameter table:\n");
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"index", "name", "display", "label", "value"});
  for (int i = 0; i < plugin.numParams(); ++i)
    rows.push_back({std::to_string(i), plugin.paramName(i), plugin.paramDisplay(i),
                    plugin.paramLabel(i), formatDouble(plugin.getParameter(i), 6)});
  size_t widths[5] = {};
  for (const auto& r : rows)
    for (size_t c = 0; c < 5; ++c) widths[c] = std::max(widths[c], r[c].size());
  for (const auto& r : rows) {
    std::string text = "  ";
    for (size_t c = 0; c < 5; ++c) text += (c + 1 < 5 ? pad(r[c], widths[c] + 2) : r[c]);
    std::printf("%s\n", text.c_str());
  }

  if (!savePath.empty()) {
    saveState(plugin, savePath);
    std::printf("state saved to %s\n", savePath.c_str());
  }
  plugin.close();
  return kExitOk;
}

}  // namespace khost
