// Frozen copy of the engine as it was before the block-wise rewrite, in its
// own namespace: the benchmarks run it beside the current engine so the
// speed ratio comes from one run on one machine. Never built into korva.so.
// The sound engine: 18 parameters, the clocked stereo delay and everything
// around it. Free of host and GUI code; the plug-in class queries the host at
// block start and hands the answers in.
//
// Threads: setParameter, setTempoFromControl, readStatus and the getters may
// run on any thread while process runs on the audio thread. Every value they
// share is an atomic; requests to the audio thread (delay jump, write-fade
// restart, filter redesign, peak and indicator resets) are flags the loop
// consumes. Construction, resume and suspend run while nothing processes and
// are the only places that allocate or free.
#pragma once

#include <atomic>

#include "bench/engine/baseline/AntiAliasFilter.h"
#include "bench/engine/baseline/ClockedDelayLine.h"
#include "bench/engine/baseline/CycleCounter.h"
#include "bench/engine/baseline/LevelLimiter.h"
#include "bench/engine/baseline/ModulationOscillator.h"
#include "engine/EngineStatus.h"
#include "engine/ParameterIds.h"

namespace baseline {

// What the host told us at the start of a block.
struct BlockTiming {
  bool hasTempo = false;  // the host returned time information for the tempo query
  double tempo = 0.0;
  bool hasPosition = false;  // ... and for the position query
  double ppqPos = 0.0;
};

class DelayEngine {
 public:
  DelayEngine();
  ~DelayEngine() = default;
  DelayEngine(const DelayEngine&) = delete;
  DelayEngine& operator=(const DelayEngine&) = delete;

  // Parameters 0..17; other indices are ignored.
  void setParameter(int index, float value);
  float getParameter(int index) const;
  // DlyTime as the engine accepts it: clamped to 0..1, NaN as 0.
  static float clampDelayTime(float value);

  void applySyncedDelay();
  // Before a preset is applied: sync off, so its DlyTime is not frozen.
  void clearSyncForPreset();
  void setTempoFromControl(float value);
  float getTempo() const { return tempoBpm.load(std::memory_order_relaxed); }

  void resume(float hostSampleRate);
  void suspend();
  void resetEngine();

  // Snapshot for the editor; asks the loop to restart the peak and indicator.
  EngineStatus readStatus();

  // One block. outR null: mono output (the average of both channels in outL).
  // Any output may be the same buffer as its input.
  void process(const float* inL, const float* inR, float* outL, float* outR, int frames,
               const BlockTiming& timing);

  // Derived values for displays, the editor and tests.
  bool hasMemory() const { return line.ready(); }
  float inputGain() const { return inputGainTarget.load(std::memory_order_relaxed); }
  float outputGain() const { return outputGainTarget.load(std::memory_order_relaxed); }
  float delayMs() const { return delayMsValue.load(std::memory_order_relaxed); }
  float clockPeriod() const { return clockPeriodValue.load(std::memory_order_relaxed); }
  float manualFactor() const { return manualFactorValue.load(std::memory_order_relaxed); }
  float clockMultiplier() const { return clockMultiplierValue.load(std::memory_order_relaxed); }
  float lfoAmount() const { return lfoAmountValue.load(std::memory_order_relaxed); }
  float envAmount() const { return envAmountValue.load(std::memory_order_relaxed); }
  float lfoRateHz() const { return lfoRateValue.load(std::memory_order_relaxed); }
  float lfoPeriod() const { return lfoPeriodValue.load(std::memory_order_relaxed); }
  float lfoPhaseIncrement() const { return lfoIncrement.load(std::memory_order_relaxed); }
  bool dlyx2On() const { return dlyx2.load(std::memory_order_relaxed) != 0; }
  bool dlyInvOn() const { return dlyInv.load(std::memory_order_relaxed) != 0; }
  bool hiCutOn() const { return hiCut.load(std::memory_order_relaxed) != 0; }
  bool fbInvOn() const { return fbInv.load(std::memory_order_relaxed) != 0; }
  bool powerOn() const { return power.load(std::memory_order_relaxed) != 0; }
  bool squareWave() const { return square.load(std::memory_order_relaxed) != 0; }
  bool holdRequested() const {
    return (holdState.load(std::memory_order_relaxed) & kHoldRequested) != 0;
  }
  bool holding() const { return (holdState.load(std::memory_order_relaxed) & kHolding) != 0; }
  bool syncOn() const { return sync.load(std::memory_order_relaxed) != 0; }
  int numIndex() const { return numIdx.load(std::memory_order_relaxed); }
  int denIndex() const { return denIdx.load(std::memory_order_relaxed); }
  bool delayJumpPending() const { return jumpPending.load(std::memory_order_acquire); }

  // Audio-side state, meaningful between blocks (tests and diagnostics).
  int sampleRate() const { return rate; }
  int bufferLength() const { return line.length(); }
  int writePosition() const { return line.writePosition(); }
  int readPosition() const { return line.readPosition(); }
  float delayTicks() const { return delayTicksValue; }
  int levelRingLength() const { return limiterL.length; }
  float songPosition() const { return songPositionBeats; }
  float smoothingCoeff() const { return smoothA; }
  float highCutCoeff() const { return highCutC; }
  float envelopeCoeff() const { return osc.envelopeCoeff; }
  float envelopeState() const { return osc.envelopeState; }
  float antiAliasCutoff() const { return aaCutoff; }
  const dsp::BiquadCoefficients& antiAliasCoefficients() const { return aa; }
  int fadeTicks() const { return n50; }
  float writeFadeStep() const { return line.writeFadeStep; }
  float writeFade() const { return line.writeFade; }
  int cycleWindow() const { return cycle.window; }
  float smoothedFeedback() const { return smoothedFeedbackValue; }
  float feedbackValueL() const { return feedbackL; }
  float feedbackValueR() const { return feedbackR; }

  static constexpr int kHoldRequested = 1;
  static constexpr int kHolding = 2;

 private:
  // Values from outside 0..1 are taken as given, but not beyond this.
  static constexpr float kMaxParameterMagnitude = 1.0e6f;

  void setRate(int newRate);  // everything that depends on the rate; may allocate
  void designAntiAlias(float cutoff);
  void placeReadNow();  // delayTicks from delayMs, read positions, no pending jump
  void recomputeManualFactor();
  void startBlock(int frames, const BlockTiming& timing);
  void passThrough(const float* inL, const float* inR, float* outL, float* outR, int frames);

  // Parameter side, written by setParameter on any thread.
  std::atomic<float> raw[kNumParams];
  std::atomic<float> inputGainTarget{1.0f};
  std::atomic<float> outputGainTarget{1.0f};
  std::atomic<float> delayMsValue{2000.0f};
  std::atomic<bool> jumpPending{false};
  std::atomic<int> dlyx2{0};
  std::atomic<float> clockMultiplierValue{1.0f};
  std::atomic<float> wetSign{1.0f};
  std::atomic<int> dlyInv{0};
  std::atomic<int> hiCut{0};
  std::atomic<int> fbInv{0};
  std::atomic<float> feedbackSign{1.0f};
  std::atomic<int> power{1};
  std::atomic<float> manualFactorValue{1.0f};
  std::atomic<float> clockPeriodValue{1.0f};
  std::atomic<int> square{1};
  std::atomic<float> lfoAmountValue{0.0f};
  std::atomic<float> envAmountValue{1.0f};
  std::atomic<float> lfoRateValue{0.1f};
  std::atomic<float> lfoPeriodValue{441000.0f};
  std::atomic<float> lfoIncrement{0.0f};
  // Hold request and hold state in one word, so the loop's synchronised hold
  // start can never resurrect a hold that was switched off meanwhile.
  std::atomic<int> holdState{0};
  std::atomic<bool> fadeRestartPending{false};
  std::atomic<bool> antiAliasRedesignPending{false};
  std::atomic<int> sync{0};
  std::atomic<int> numIdx{0};
  std::atomic<int> denIdx{0};
  std::atomic<float> tempoBpm{120.0f};
  std::atomic<float> parameterRate{44100.0f};  // the rate as setParameter sees it

  // Status shared with readStatus.
  std::atomic<bool> peakResetRequest{false};
  std::atomic<bool> indicatorResetRequest{false};
  std::atomic<float> sharedPeak{0.0f};
  std::atomic<bool> sharedIndicator{false};
  std::atomic<float> sharedPhase{0.0f};

  // Audio side.
  int rate = 44100;
  float rateF = 44100.0f;
  float smoothA = 0.0f, smoothB = 0.0f;
  float ditherOffset = 1.0e-10f;
  float delayTicksValue = 0.0f;
  float smoothedInputGain = 0.0f;
  float smoothedOutputGain = 0.0f;
  float smoothedMix = 0.0f;
  float smoothedFeedbackValue = 0.0f;
  float smoothedDepth = 0.0f;
  dsp::ClockedDelayLine line;
  dsp::BiquadCoefficients aa;
  float aaCutoff = 0.0f;
  dsp::AntiAliasChannel aaL, aaR;
  dsp::LevelLimiter limiterL, limiterR;
  float peakLevel = 0.0f;
  bool indicatorLatch = false;
  float highCutC = 0.0f;
  float highCutL = 0.0f, highCutR = 0.0f;
  float feedbackL = 0.0f, feedbackR = 0.0f;
  dsp::ModulationOscillator osc;
  int n50 = 2205;
  float songPositionBeats = 0.0f;
  dsp::CycleCounter cycle;
};

}  // namespace baseline
