#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/commands/commands.h"
#include "tools/io/files.h"
#include "tools/io/plot.h"
#include "tools/io/wav_io.h"
#include "tools/vst/plugin.h"
#include "tools/vst/plugin_state.h"
#include "tools/vst/process.h"

namespace khost {

const char* const kRenderHelp =
    "usage: korva-host render PLUGIN.so IN.wav OUT.wav [options]\n"
    "\n"
    "Processes IN (any file libsndfile reads, mono or stereo) through the plug-in\n"
    "and writes OUT as a WAV file. The plug-in gets effSetSampleRate,\n"
    "effSetBlockSize, effMainsChanged 1, then processReplacing block by block\n"
    "(the last block may be shorter), then effMainsChanged 0 and effClose.\n"
    "A mono file is fed to both inputs.\n"
    "\n"
    "  --block N          block size in frames, 1..65536 (default 512)\n"
    "  --rate HZ          sample rate; must equal the file's rate (the host does\n"
    "                     not resample, so a different rate is refused)\n"
    "  --tempo BPM        tempo reported by audioMasterGetTime (default 120)\n"
    "  --ppq POS          musical position of the first frame in quarter notes\n"
    "                     (default 0); it advances with the tempo\n"
    "  --no-transport     audioMasterGetTime answers null\n"
    "  --param NAME_OR_INDEX=VALUE\n"
    "                     set a parameter (0..1) before processing; NAME matches\n"
    "                     the parameter name exactly, then ignoring case, else it\n"
    "                     is read as an index; repeatable, applied in order\n"
    "  --load FILE        restore state (.fxp, .fxb, or a raw bank chunk) first;\n"
    "                     --param settings are applied after it\n"
    "  --cc TIME:CHANNEL:CONTROLLER:VALUE\n"
    "                     MIDI control change at TIME seconds (rounded to the\n"
    "                     nearest frame), CHANNEL 1..16, CONTROLLER and VALUE\n"
    "                     0..127; sent by effProcessEvents before the block that\n"
    "                     contains it, deltaFrames = offset in that block\n"
    "  --tail SECONDS     append SECONDS of silence to the input (default 0)\n"
    "  --mono-in          input pin 1 is reported unconnected and gets silence;\n"
    "                     input 0 gets the file's first channel\n"
    "  --mono-out         output pin 1 is reported unconnected; OUT is mono\n"
    "                     (output 0)\n"
    "  --format F         'float' (32-bit float, default) or 'pcm24'\n"
    "  --plot OUT.png     draw input and output waveforms (left, right, seconds)\n"
    "\n"
    "OUT (and the plot) are written to a temporary file in the same directory\n"
    "and renamed at the end: after an error an existing OUT is left untouched.\n"
    "Exit codes: 0 ok, 1 usage, 2 plug-in load error, 3 I/O error.\n";

namespace {

long long intOption(const std::string& option, const std::string& text, long long lo,
                    long long hi) {
  long long v = 0;
  if (!parseInt(text, v)) usageError("bad number \"" + text + "\" for " + option);
  if (v < lo || v > hi)
    usageError(option + " " + text + " is outside " + std::to_string(lo) + ".." +
               std::to_string(hi));
  return v;
}

double doubleOption(const std::string& option, const std::string& text, double lo, double hi) {
  double v = 0;
  if (!parseDouble(text, v)) usageError("bad number \"" + text + "\" for " + option);
  if (v < lo || v > hi)
    usageError(option + " " + text + " is outside " + formatGeneral(lo) + ".." + formatGeneral(hi));
  return v;
}

struct CcRequest {
  double time;
  int channel, controller, value;
  std::string text;
};

CcRequest parseCc(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t colon = text.find(':', start);
    parts.push_back(
        text.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  if (parts.size() != 4)
    usageError("--cc wants TIME:CHANNEL:CONTROLLER:VALUE, got \"" + text + "\"");
  CcRequest cc;
  cc.text = text;
  cc.time = doubleOption("--cc time", parts[0], 0.0, 1e6);
  cc.channel = static_cast<int>(intOption("--cc channel", parts[1], 1, 16));
  cc.controller = static_cast<int>(intOption("--cc controller", parts[2], 0, 127));
  cc.value = static_cast<int>(intOption("--cc value", parts[3], 0, 127));
  return cc;
}

}  // namespace

int runRender(ArgList& args) {
  std::vector<std::string> positional;
  int32_t block = 512;
  double rate = 0, tempo = 120, ppq = 0, tail = 0;
  bool transport = true, monoIn = false, monoOut = false;
  std::vector<ParamSetting> params;
  std::vector<CcRequest> ccs;
  std::string loadPath, plotPath;
  SampleFormat format = SampleFormat::Float32;
  while (!args.empty()) {
    const std::string a = args.next();
    if (a == "--block")
      block = static_cast<int32_t>(intOption(a, args.value(a), 1, 65536));
    else if (a == "--rate")
      rate = doubleOption(a, args.value(a), 1000, 1536000);
    else if (a == "--tempo")
      tempo = doubleOption(a, args.value(a), 1, 999);
    else if (a == "--ppq")
      ppq = doubleOption(a, args.value(a), -1e9, 1e9);
    else if (a == "--no-transport")
      transport = false;
    else if (a == "--param")
      params.push_back(parseParamSetting(args.value(a)));
    else if (a == "--tail")
      tail = doubleOption(a, args.value(a), 0, 3600);
    else if (a == "--load")
      loadPath = args.value(a);
    else if (a == "--cc")
      ccs.push_back(parseCc(args.value(a)));
    else if (a == "--plot")
      plotPath = args.value(a);
    else if (a == "--mono-in")
      monoIn = true;
    else if (a == "--mono-out")
      monoOut = true;
    else if (a == "--format") {
      const std::string f = args.value(a);
      if (f == "float")
        format = SampleFormat::Float32;
      else if (f == "pcm24")
        format = SampleFormat::Pcm24;
      else
        usageError("--format is 'float' or 'pcm24', not \"" + f + "\"");
    } else if (a.size() > 1 && a[0] == '-')
      usageError("unknown option " + a);
    else
      positional.push_back(a);
  }
  if (positional.size() != 3)
    usageError("want PLUGIN.so IN.wav OUT.wav (korva-host render --help)");
  const std::string& pluginPath = positional[0];
  const std::string& inPath = positional[1];
  const std::string& outPath = positional[2];

  Audio input = readAudio(inPath);
  if (rate != 0 && std::fabs(rate - input.sampleRate) > 1e-9)
    usageError("--rate " + formatGeneral(rate) + " differs from the rate of " + inPath + " (" +
               std::to_string(input.sampleRate) + " Hz); this host does not resample");
  const double sampleRate = input.sampleRate;
  const int64_t tailFrames = static_cast<int64_t>(std::llround(tail * sampleRate));
  const int64_t total = static_cast<int64_t>(input.frames()) + tailFrames;

  std::vector<MidiControlChange> events;
  for (const CcRequest& cc : ccs) {
    const int64_t frame = std::llround(cc.time * sampleRate);
    if (frame >= total)
      usageError("--cc " + cc.text + " lies past the end of the render (" +
                 formatDouble(static_cast<double>(total) / sampleRate, 6) + " s)");
    events.push_back(MidiControlChange{frame, static_cast<uint8_t>(cc.channel - 1),
                                       static_cast<uint8_t>(cc.controller),
                                       static_cast<uint8_t>(cc.value)});
  }
  std::stable_sort(
      events.begin(), events.end(),
      [](const MidiControlChange& a, const MidiControlChange& b) { return a.frame < b.frame; });

  // A bad output path fails before any work.
  checkWritable(outPath);

  HostContext host;
  host.sampleRate = sampleRate;
  host.blockSize = block;
  host.transport = transport;
  host.tempo = tempo;
  host.ppqStart = ppq;
  host.inputRightConnected = !monoIn;
  host.outputRightConnected = !monoOut;
  Plugin plugin(pluginPath, host);
  if (!loadPath.empty()) loadState(plugin, loadPath);
  applyParams(plugin, params);

  plugin.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
  plugin.dispatch(effSetBlockSize, 0, block);
  plugin.resume();
  Audio output;
  output.sampleRate = input.sampleRate;
  output.channels = monoOut ? 1 : 2;
  output.left.assign(static_cast<size_t>(total), 0.0f);
  output.right.assign(static_cast<size_t>(total), 0.0f);
  {
    BlockProcessor processor(plugin, block);
    processor.run(input.left.data(), input.right.data(), static_cast<int64_t>(input.frames()),
                  total, output.left.data(), output.right.data(), events);
  }
  plugin.suspend();
  plugin.close();
  if (monoOut) output.right = output.left;

  const std::vector<uint8_t> wav = encodeWav(output, monoOut ? 1 : 2, format);
  if (!plotPath.empty()) {
    Audio shownInput = input;
    if (monoIn) std::fill(shownInput.right.begin(), shownInput.right.end(), 0.0f);
    writeWholeFile(plotPath, plotWaveforms(shownInput, output));
  }
  writeWholeFile(outPath, wav);
  return kExitOk;
}

}  // namespace khost
