// Frozen copy of the engine as it was before the block-wise rewrite, in its
// own namespace: the benchmarks run it beside the current engine so the
// speed ratio comes from one run on one machine. Never built into korva.so.
#include "bench/engine/baseline/ClockedDelayLine.h"

#include <cstring>
#include <new>

namespace baseline {
namespace dsp {

bool ClockedDelayLine::allocate(int length) {
  release();
  if (length <= 0) return false;
  // Both channels in one block: either both exist or neither.
  memory = new (std::nothrow) float[2 * static_cast<std::size_t>(length)];
  if (!memory) return false;
  bufferLength = length;
  std::memset(memory, 0, 2 * static_cast<std::size_t>(length) * sizeof(float));
  writePos = 0;
  readPos = 0;
  return true;
}

void ClockedDelayLine::release() {
  delete[] memory;
  memory = nullptr;
  bufferLength = 0;
  writePos = 0;
  readPos = 0;
}

void ClockedDelayLine::clear() {
  if (memory) std::memset(memory, 0, 2 * static_cast<std::size_t>(bufferLength) * sizeof(float));
  for (int i = 0; i < 4; ++i) hL[i] = hR[i] = rL[i] = rR[i] = 0.0f;
  tickPhase = 0.0f;
}

void ClockedDelayLine::placeRead(float delayTicks) {
  if (bufferLength <= 0) return;
  int distance = 0;
  if (delayTicks > 0.0f) {
    distance = delayTicks < static_cast<float>(bufferLength - 1) ? static_cast<int>(delayTicks)
                                                                 : bufferLength - 1;
  }
  int r = writePos - distance;
  if (r < 0) r += bufferLength;
  readPos = r;
}

}  // namespace dsp
}  // namespace baseline
