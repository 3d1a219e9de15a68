// threads: an audio thread processing with MIDI, an automation thread
// setting every parameter and a UI thread opening, idling and closing the
// editor, restoring chunks and reading displays, all at once for a while.
// The plug-in must not crash; under korva-host built with sanitizers, a
// sanitizer report fails the check too.
#include <atomic>
#include <chrono>
#include <thread>

#include "tools/base/cli.h"
#include "tools/validate/check.h"
#include "tools/validate/editor_host.h"
#include "tools/validate/instance.h"
#include "tools/validate/signals.h"

namespace validate {

namespace {

void threeThreads(Check& c) {
  Instance inst(c.pluginPath());
  const int n = inst.plugin().numParams();
  const bool withEditor = inst.hasEditor() && c.haveDisplay();
  std::vector<std::vector<uint8_t>> chunks;
  if (inst.hasChunks())
    for (int k = 0; k < 3; ++k) {
      for (int i = 0; i < n; ++i) inst.setParameter(i, static_cast<float>(c.uniform(0, 1)));
      chunks.push_back(inst.chunk(false));
    }
  inst.start(44100, 256);
  std::atomic<bool> stop{false};
  std::atomic<long> blocks{0}, automations{0}, uiRounds{0}, badBlocks{0};
  const uint64_t seed = c.rng()();
  c.step("audio, automation and UI threads running together");

  // An exception a plug-in throws on one of them ends the run, as a finding
  // (it would end the process otherwise).
  auto guarded = [&](auto body) {
    return [&c, &stop, body] {
      try {
        body();
      } catch (const std::exception& e) {
        c.report(Kind::Exception, e.what());
        stop = true;
      }
    };
  };
  std::thread audio(guarded([&] {
    std::mt19937_64 rng(seed);
    std::vector<float> in(256);
    for (int64_t at = 0; !stop; at += 256) {
      musicalSignal(in, at, 44100, 9);
      inst.sendMidi(midiBurst(256, rng));
      inst.processSignal(in.data(), 256);
      if (badSamples(inst.outputs(), 256, 1e30f) > 0) ++badBlocks;
      ++blocks;
    }
  }));
  std::thread automation(guarded([&] {
    std::mt19937_64 rng(seed + 1);
    std::uniform_real_distribution<float> d(0.0f, 1.0f);
    while (!stop && n > 0) {
      for (int i = 0; i < n && !stop; ++i) {
        inst.setParameter(i, d(rng));
        inst.getParameter(i);
      }
      ++automations;
    }
  }));
  std::thread ui(guarded([&] {
    std::unique_ptr<EditorHost> x;
    if (withEditor) x = std::make_unique<EditorHost>();
    // Quick cycles: an editor closing while the other threads set
    // parameters and send MIDI is where lifetimes go wrong.
    for (long round = 0; !stop; ++round) {
      if (x) x->open(inst);
      if (x) x->idle(inst);
      if (round % 4 == 0) {
        if (!chunks.empty())
          inst.setChunk(chunks[static_cast<size_t>(round / 4) % chunks.size()], false);
        for (int i = 0; i < n; ++i) inst.text(effGetParamDisplay, i, kVstMaxParamStrLen);
        if (x) x->idle(inst);
      }
      if (x) x->close(inst);
      if (!x) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      ++uiRounds;
    }
  }));
  std::this_thread::sleep_for(std::chrono::seconds(c.level()));
  stop = true;
  audio.join();
  automation.join();
  ui.join();
  inst.stop();
  c.tried(blocks + automations + uiRounds);
  c.figure("audio blocks", static_cast<double>(blocks), "");
  c.figure("editor rounds", static_cast<double>(uiRounds), withEditor ? "" : "(no editor)");
  if (badBlocks > 0)
    c.report(Kind::Output,
             std::to_string(badBlocks.load()) + " audio blocks with non-finite output");
  if (!withEditor)
    c.note(inst.hasEditor() ? "no DISPLAY: the UI thread ran without the editor"
                            : "no editor: the UI thread only restored chunks and read displays");
}

}  // namespace

std::vector<CheckDef> threadChecks() {
  return {{"audio, automation and UI", threeThreads, Kind::Crash}};
}

}  // namespace validate
