#include "engine/dsp/ClockedDelayLine.h"

#include <cstring>
#include <new>

namespace dsp {

bool ClockedDelayLine::allocate(int length) {
  release();
  if (length <= 0) return false;
  // Both channels interleaved in one block: either both exist or neither.
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
  h0 = h1 = h2 = h3 = r0 = r1 = r2 = r3 = Pair{};
  tickPhase = 0.0f;
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
  if (bufferLength <= 0) return;
  readPos = readPositionFor(writePos, bufferLength, delayTicks);
}

}  // namespace dsp
