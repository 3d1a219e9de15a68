// The loop built three times: for any x86-64, with AVX2 encodings (three
// operands, fewer register moves), and with AVX-512 encodings, whose 32
// vector registers save spills (the loop stays on 128-bit vectors). Each pays
// about 8 % at the defaults. Contraction is off for all, so they produce the
// same bits. The AVX2 and x86-64 builds have a second version for blocks of
// 1-frame chunks (runWideOneFrame).
#include "engine/dsp/LoopBuilds.h"

#include <algorithm>
#include <atomic>

#include "engine/dsp/DelayLoop.h"

namespace dsp {

namespace {

// The limiter's ring entries in use, copied in and out of the loop out of
// line, so that the AVX-512 build does not copy them with 512-bit moves,
// which can lower the clock of some processors for a while.
__attribute__((noinline)) StereoLevelLimiter copyOf(const StereoLevelLimiter& from) {
  StereoLevelLimiter to;
  to.length = from.length;
  to.position = from.position;
  to.sum = from.sum;
  for (int i = 0; i < from.length; ++i) to.ring[i] = from.ring[i];
  return to;
}

__attribute__((noinline)) void copyTo(StereoLevelLimiter& to, const StereoLevelLimiter& from) {
  to.position = from.position;
  to.sum = from.sum;
  for (int i = 0; i < from.length; ++i) to.ring[i] = from.ring[i];
}

// Settings, state and buffers copied into locals, which the compiler can keep
// in registers (it cannot keep members there across the stores to the output
// buffers), and the state written back after the block.
KORVA_STAGE void runOnLocals(const LoopSettings& settings, LoopState& state,
                             StereoLevelLimiter& limiter, const LoopBuffers& buffers) {
  const LoopSettings s = settings;
  const LoopBuffers io = buffers;
  LoopState st = state;
  StereoLevelLimiter lim = copyOf(limiter);
  runBlock(s, st, lim, io);
  copyTo(limiter, lim);
  state = st;
}

void runBaseline(const LoopSettings& s, LoopState& st, StereoLevelLimiter& lim,
                 const LoopBuffers& io) {
  runOnLocals(s, st, lim, io);
}

__attribute__((target("avx2,fma,bmi,bmi2"))) void runWide(const LoopSettings& s, LoopState& st,
                                                          StereoLevelLimiter& lim,
                                                          const LoopBuffers& io) {
  runOnLocals(s, st, lim, io);
}

__attribute__((
    target("avx512f,avx512vl,avx512bw,avx512dq,avx2,fma,bmi,bmi2,prefer-vector-width=128"))) void
runWidest(const LoopSettings& s, LoopState& st, StereoLevelLimiter& lim, const LoopBuffers& io) {
  runOnLocals(s, st, lim, io);
}

// The AVX2 and x86-64 builds once more, for blocks of 1-frame chunks
// (loopWaitsOnItself), without GCC's partial redundancy elimination: these
// blocks, which call libm (powf, sinf) every frame, then run about 3 % faster
// with as many instructions (the register allocation around the calls
// differs). Same operations, same bits. The AVX-512 build and the 64-frame
// blocks do not gain from it.
#if defined(__GNUC__) && !defined(__clang__)
#define KORVA_ONE_FRAME_BUILD noinline, optimize("no-tree-pre")
#else
#define KORVA_ONE_FRAME_BUILD noinline
#endif

__attribute__((KORVA_ONE_FRAME_BUILD)) void runBaselineOneFrame(const LoopSettings& s,
                                                                LoopState& st,
                                                                StereoLevelLimiter& lim,
                                                                const LoopBuffers& io) {
  runOnLocals(s, st, lim, io);
}

__attribute__((KORVA_ONE_FRAME_BUILD, target("avx2,fma,bmi,bmi2"))) void runWideOneFrame(
    const LoopSettings& s, LoopState& st, StereoLevelLimiter& lim, const LoopBuffers& io) {
  runOnLocals(s, st, lim, io);
}

// Whether runBlock will take 1-frame chunks (it works feedbackLive out again
// on its copy).
bool runsOneFrameChunks(const LoopSettings& s, LoopState& st) {
  st.feedbackLive = !feedbackIsSilent(s, st);
  return loopWaitsOnItself(s, st);
}

std::atomic<int> loopBuildCap{static_cast<int>(LoopBuild::Avx512)};

LoopBuild processorLoopBuild() {
  __builtin_cpu_init();
  if (!(__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") &&
        __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2")))
    return LoopBuild::X86_64;
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
      __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq"))
    return LoopBuild::Avx512;
  return LoopBuild::Avx2;
}

}  // namespace

void capLoopBuild(LoopBuild cap) {
  loopBuildCap.store(static_cast<int>(cap), std::memory_order_relaxed);
}

LoopBuild loopBuild() {
  static const LoopBuild available = processorLoopBuild();
  return static_cast<LoopBuild>(
      std::min(static_cast<int>(available), loopBuildCap.load(std::memory_order_relaxed)));
}

const char* loopBuildName(LoopBuild build) {
  switch (build) {
    case LoopBuild::X86_64:
      return "x86-64";
    case LoopBuild::Avx2:
      return "AVX2";
    case LoopBuild::Avx512:
      return "AVX-512";
  }
  return "";
}

void runLoop(const LoopSettings& settings, LoopState& state, StereoLevelLimiter& limiter,
             const LoopBuffers& buffers) {
  switch (loopBuild()) {
    case LoopBuild::Avx512:
      runWidest(settings, state, limiter, buffers);
      break;
    case LoopBuild::Avx2:
      if (runsOneFrameChunks(settings, state))
        runWideOneFrame(settings, state, limiter, buffers);
      else
        runWide(settings, state, limiter, buffers);
      break;
    case LoopBuild::X86_64:
      if (runsOneFrameChunks(settings, state))
        runBaselineOneFrame(settings, state, limiter, buffers);
      else
        runBaseline(settings, state, limiter, buffers);
      break;
  }
}

}  // namespace dsp
