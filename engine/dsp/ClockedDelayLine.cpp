#include "engine/dsp/ClockedDelayLine.h"

#include <cstring>
#include <new>

namespace dsp {

bool ClockedDelayLine::allocate(int length) {
  release();
  if (length <= 0) return false;
  // Both channels interleaved in one block: either both exist or neither.
  state.memory = new (std::nothrow) float[2 * static_cast<std::size_t>(length)];
  if (!state.memory) return false;
  state.length = length;
  std::memset(state.memory, 0, 2 * static_cast<std::size_t>(length) * sizeof(float));
  return true;
}

void ClockedDelayLine::release() {
  delete[] state.memory;
  state.memory = nullptr;
  state.length = 0;
  state.writePos = 0;
  state.readPos = 0;
}

void ClockedDelayLine::clear() {
  if (state.memory)
    std::memset(state.memory, 0, 2 * static_cast<std::size_t>(state.length) * sizeof(float));
  state.h0 = state.h1 = state.h2 = state.h3 = state.r0 = state.r1 = state.r2 = state.r3 = Pair{};
  state.tickPhase = 0.0f;
}

int ClockedDelayLine::readPositionFor(int writePos, int length, float delayTicks) {
  int distance = 0;
  if (delayTicks > 0.0f)
    distance =
        delayTicks < static_cast<float>(length - 1) ? static_cast<int>(delayTicks) : length - 1;
  int r = writePos - distance;
  if (r < 0) r += length;
  return r;
}

void ClockedDelayLine::placeRead(float delayTicks) {
  if (state.length <= 0) return;
  state.readPos = readPositionFor(state.writePos, state.length, delayTicks);
}

}  // namespace dsp
