#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/commands/commands.h"
#include "tools/commands/render_options.h"
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

struct RenderOptions {
  std::string pluginPath, inPath, outPath, loadPath, plotPath;
  int32_t block = 512;
  double rate = 0, tempo = 120, ppq = 0, tail = 0;
  bool transport = true, monoIn = false, monoOut = false;
  std::vector<ParamSetting> params;
  std::vector<CcRequest> ccs;
  SampleFormat format = SampleFormat::Float32;
};

RenderOptions parseRenderOptions(ArgList& args) {
  RenderOptions o;
  std::vector<std::string> positional;
  while (!args.empty()) {
    const std::string a = args.next();
    if (a == "--block")
      o.block = static_cast<int32_t>(intOption(a, args.value(a), 1, 65536));
    else if (a == "--rate")
      o.rate = doubleOption(a, args.value(a), 1000, 1536000);
    else if (a == "--tempo")
      o.tempo = doubleOption(a, args.value(a), 1, 999);
    else if (a == "--ppq")
      o.ppq = doubleOption(a, args.value(a), -1e9, 1e9);
    else if (a == "--no-transport")
      o.transport = false;
    else if (a == "--param")
      o.params.push_back(parseParamSetting(args.value(a)));
    else if (a == "--tail")
      o.tail = doubleOption(a, args.value(a), 0, 3600);
    else if (a == "--load")
      o.loadPath = args.value(a);
    else if (a == "--cc")
      o.ccs.push_back(parseCc(args.value(a)));
    else if (a == "--plot")
      o.plotPath = args.value(a);
    else if (a == "--mono-in")
      o.monoIn = true;
    else if (a == "--mono-out")
      o.monoOut = true;
    else if (a == "--format")
      o.format = parseFormat(args.value(a));
    else if (a.size() > 1 && a[0] == '-')
      usageError("unknown option " + a);
    else
      positional.push_back(a);
  }
  if (positional.size() != 3)
    usageError("want PLUGIN.so IN.wav OUT.wav (korva-host render --help)");
  o.pluginPath = positional[0];
  o.inPath = positional[1];
  o.outPath = positional[2];
  return o;
}

}  // namespace

int runRender(ArgList& args) {
  const RenderOptions o = parseRenderOptions(args);
  const std::string& pluginPath = o.pluginPath;
  const std::string& inPath = o.inPath;
  const std::string& outPath = o.outPath;
  const int32_t block = o.block;

  Audio input = readAudio(inPath);
  if (o.rate != 0 && std::fabs(o.rate - input.sampleRate) > 1e-9)
    usageError("--rate " + formatGeneral(o.rate) + " differs from the rate of " + inPath + " (" +
               std::to_string(input.sampleRate) + " Hz); this host does not resample");
  const double sampleRate = input.sampleRate;
  const int64_t tailFrames = static_cast<int64_t>(std::llround(o.tail * sampleRate));
  const int64_t total = static_cast<int64_t>(input.frames()) + tailFrames;

  const std::vector<MidiControlChange> events = ccEvents(o.ccs, sampleRate, total);

  // A bad output path fails before any work.
  checkWritable(outPath);

  HostContext host;
  host.sampleRate = sampleRate;
  host.blockSize = block;
  host.transport = o.transport;
  host.tempo = o.tempo;
  host.ppqStart = o.ppq;
  host.inputRightConnected = !o.monoIn;
  host.outputRightConnected = !o.monoOut;
  Plugin plugin(pluginPath, host);
  if (!o.loadPath.empty()) loadState(plugin, o.loadPath);
  applyParams(plugin, o.params);

  plugin.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
  plugin.dispatch(effSetBlockSize, 0, block);
  plugin.resume();
  Audio output;
  output.sampleRate = input.sampleRate;
  output.channels = o.monoOut ? 1 : 2;
  output.left.assign(static_cast<size_t>(total), 0.0f);
  output.right.assign(static_cast<size_t>(total), 0.0f);
  {
    BlockProcessor processor(plugin, block);
    processor.run(input.left.data(), input.right.data(), static_cast<int64_t>(input.frames()),
                  total, output.left.data(), output.right.data(), events);
  }
  plugin.suspend();
  plugin.close();
  if (o.monoOut) output.right = output.left;

  const std::vector<uint8_t> wav = encodeWav(output, o.monoOut ? 1 : 2, o.format);
  if (!o.plotPath.empty()) {
    Audio shownInput = input;
    if (o.monoIn) std::fill(shownInput.right.begin(), shownInput.right.end(), 0.0f);
    writeWholeFile(o.plotPath, plotWaveforms(shownInput, output));
  }
  writeWholeFile(outPath, wav);
  return kExitOk;
}

}  // namespace khost
