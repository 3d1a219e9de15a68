// The block function: asks the host for pins and time, then runs the engine.
#include "engine/VEK.h"

void VEK::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  // One audio thread at a time: a plain increment, no read-modify-write.
  processCalls.store(processCalls.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  // Pins: an unconnected second input repeats the first, an unconnected
  // second output makes the block mono.
  const bool rightIn = isInputConnected(1);
  const bool rightOut = isOutputConnected(1);
  BlockTiming timing;
  if (const VstTimeInfo* t = getTimeInfo(kVstTempoValid)) {
    timing.hasTempo = true;
    timing.tempo = t->tempo;
  }
  if (const VstTimeInfo* t = getTimeInfo(kVstPpqPosValid)) {
    timing.hasPosition = true;
    timing.ppqPos = t->ppqPos;
  }
  int frames = sampleFrames > 0 ? sampleFrames : 0;
  const float* inL = inputs ? inputs[0] : nullptr;
  float* outL = outputs ? outputs[0] : nullptr;
  if (!inL || !outL) frames = 0;  // nothing to read or write: timing only
  const float* inR = (rightIn && inputs && inputs[1]) ? inputs[1] : inL;
  float* outR = (rightOut && outputs) ? outputs[1] : nullptr;
  dsp.process(inL, inR, outL, outR, frames, timing);
}

void VEK::processDoubleReplacing(double** /*inputs*/, double** /*outputs*/,
                                 VstInt32 /*sampleFrames*/) {}
