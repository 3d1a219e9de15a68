// The loop exists once per instruction set; the processor's widest build runs
// unless a cap (tests, benchmarks) says otherwise. All builds give the same
// bits.
#pragma once

namespace dsp {

struct LoopSettings;
struct LoopState;
struct LoopBuffers;
struct StereoLevelLimiter;

enum class LoopBuild { X86_64, Avx2, Avx512 };

void capLoopBuild(LoopBuild cap);
LoopBuild loopBuild();  // the build that runs now
const char* loopBuildName(LoopBuild build);

// One block of the loop (DelayLoop.h) in loopBuild(); state and limiter are
// read at the start and written back at the end.
void runLoop(const LoopSettings& settings, LoopState& state, StereoLevelLimiter& limiter,
             const LoopBuffers& buffers);

}  // namespace dsp
