// The cost of a silent tail after a loud burst (denormals), for the
// real-time groups of both formats: at most 1.2x the burst's, unless the
// difference is under 5 ns per frame, in at least two seconds of the tail.
#pragma once

#include <functional>

#include "tools/validate/check.h"

namespace validate {

// One block of 256 frames at 44.1 kHz through an instance, on the calling
// (audio) thread.
using Block = std::function<void(const float* in)>;

// `tail` plays a loud burst then silence; `loud`, another instance, keeps
// playing loud noise block for block in turn, so that a busy machine slows
// both alike and only the tail's own extra cost shows.
void tailCost(Check& c, const Block& tail, const Block& loud);

}  // namespace validate
