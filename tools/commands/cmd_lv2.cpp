// info and render for LV2 plug-ins named by URI: the same audio path, time
// and MIDI options as for VST plug-ins, with values in the ports' own units.
#include "tools/commands/cmd_lv2.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/commands/render_options.h"
#include "tools/io/files.h"
#include "tools/io/plot.h"
#include "tools/io/wav_io.h"
#include "tools/lv2/lv2_host.h"

namespace khost {

const char* const kLv2Help =
    "LV2 plug-ins: give the plug-in's URI instead of PLUGIN.so (found on LV2_PATH):\n"
    "  korva-host info URI [--preset P] [--load-state DIR] [--save-state DIR]\n"
    "  korva-host render URI IN.wav OUT.wav [options]\n"
    "  korva-host bench URI|PLUGIN.so [...]\n"
    "The host gives urid:map/unmap, options (block lengths, sequence size, sample\n"
    "rate), boundedBlockLength and log; every block's atom input carries a\n"
    "time:Position (unless --no-transport) and the --cc control changes.\n"
    "render options: --block, --tempo, --ppq, --no-transport, --cc, --tail,\n"
    "  --format, --plot as for VST, and\n"
    "  --param SYMBOL_OR_NAME_OR_PORT=VALUE  a control port value in its own units\n"
    "  --preset URI_OR_LABEL                 apply a preset first (before --param)\n"
    "  --load-state DIR                      restore a state saved by --save-state\n";

namespace {

// The shortest text that reads back as the same float.
std::string shortFloat(float v) {
  char text[32];
  const auto r = std::to_chars(text, text + sizeof(text), v);
  return std::string(text, r.ptr);
}

void printList(const char* label, const std::vector<std::string>& items) {
  std::printf("%-18s%s\n", (std::string(label) + ":").c_str(), items.empty() ? "none" : "");
  for (const std::string& s : items) std::printf("  %s\n", s.c_str());
}

}  // namespace

int runLv2Info(ArgList& args) {
  std::string uri, preset, loadDir, saveDir;
  while (!args.empty()) {
    const std::string a = args.next();
    if (a == "--preset")
      preset = args.value(a);
    else if (a == "--load-state")
      loadDir = args.value(a);
    else if (a == "--save-state")
      saveDir = args.value(a);
    else if (!a.empty() && a[0] == '-')
      usageError("unknown option " + a);
    else if (uri.empty())
      uri = a;
    else
      usageError("unexpected argument " + a);
  }
  Lv2Host host(uri, 48000.0, 512);
  if (!loadDir.empty()) host.loadState(loadDir);
  if (!preset.empty()) host.applyPreset(preset);
  std::printf("%-18s%s\n", "uri:", host.uri().c_str());
  std::printf("%-18s%s\n", "name:", host.name().c_str());
  std::printf("%-18s%s\n", "author:", host.author().c_str());
  std::printf("%-18s%s\n", "class:", host.className().c_str());
  std::printf("%-18s%d in, %d out\n", "audio ports:", host.audioInputs(), host.audioOutputs());
  printList("atom ports", host.atomPorts());
  printList("required features", host.requiredFeatures());
  printList("optional features", host.optionalFeatures());
  printList("extension data", host.extensionData());
  printList("UIs", host.uis());
  std::vector<std::string> presetLines;
  for (const Lv2Host::Preset& p : host.presets())
    presetLines.push_back(p.label + "  <" + p.uri + ">");
  printList("presets", presetLines);
  std::printf("control ports:\n  %-6s %-14s %-14s %-4s %-10s %-10s %-10s %s\n", "index", "symbol",
              "name", "dir", "minimum", "maximum", "default", "value");
  for (const Lv2Control& c : host.controls())
    std::printf("  %-6u %-14s %-14s %-4s %-10s %-10s %-10s %s\n", c.index, c.symbol.c_str(),
                c.name.c_str(), c.output ? "out" : "in", shortFloat(c.minimum).c_str(),
                shortFloat(c.maximum).c_str(), shortFloat(c.defaultValue).c_str(),
                shortFloat(c.value).c_str());
  if (!saveDir.empty()) {
    host.saveState(saveDir);
    std::printf("state saved to %s/state.ttl\n", saveDir.c_str());
  }
  return kExitOk;
}

int runLv2Render(ArgList& args) {
  std::vector<std::string> positional;
  int32_t block = 512;
  double tempo = 120, ppq = 0, tail = 0;
  bool transport = true;
  std::vector<std::string> settings;
  std::vector<CcRequest> ccs;
  std::string preset, loadDir, plotPath;
  SampleFormat format = SampleFormat::Float32;
  while (!args.empty()) {
    const std::string a = args.next();
    if (a == "--block")
      block = static_cast<int32_t>(intOption(a, args.value(a), 1, 65536));
    else if (a == "--tempo")
      tempo = doubleOption(a, args.value(a), 1, 999);
    else if (a == "--ppq")
      ppq = doubleOption(a, args.value(a), -1e9, 1e9);
    else if (a == "--no-transport")
      transport = false;
    else if (a == "--param")
      settings.push_back(args.value(a));
    else if (a == "--preset")
      preset = args.value(a);
    else if (a == "--load-state")
      loadDir = args.value(a);
    else if (a == "--tail")
      tail = doubleOption(a, args.value(a), 0, 3600);
    else if (a == "--cc")
      ccs.push_back(parseCc(args.value(a)));
    else if (a == "--plot")
      plotPath = args.value(a);
    else if (a == "--format")
      format = parseFormat(args.value(a));
    else if (a.size() > 1 && a[0] == '-')
      usageError("unknown option " + a);
    else
      positional.push_back(a);
  }
  if (positional.size() != 3) usageError("want URI IN.wav OUT.wav");
  Audio input = readAudio(positional[1]);
  const double rate = input.sampleRate;
  const int64_t total = static_cast<int64_t>(input.frames()) + std::llround(tail * rate);
  const std::vector<MidiControlChange> events = ccEvents(ccs, rate, total);
  checkWritable(positional[2]);

  Lv2Host host(positional[0], rate, block);
  if (!loadDir.empty()) host.loadState(loadDir);
  if (!preset.empty()) host.applyPreset(preset);
  for (const std::string& setting : settings) applyControlSetting(host, setting);
  Audio output;
  output.sampleRate = input.sampleRate;
  output.channels = 2;
  output.left.assign(static_cast<size_t>(total), 0.0f);
  output.right.assign(static_cast<size_t>(total), 0.0f);
  Lv2Transport t;
  t.rolling = transport;
  t.tempo = tempo;
  t.ppqStart = ppq;
  host.activate();
  host.run(input.left.data(), input.right.data(), static_cast<int64_t>(input.frames()), total,
           output.left.data(), output.right.data(), events, t);
  host.deactivate();
  const std::vector<uint8_t> wav = encodeWav(output, 2, format);
  if (!plotPath.empty()) writeWholeFile(plotPath, plotWaveforms(input, output));
  writeWholeFile(positional[2], wav);
  return kExitOk;
}

}  // namespace khost
