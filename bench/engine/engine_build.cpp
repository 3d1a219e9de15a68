// The engine of whichever tree the include path names, as a loadable build
// (see EngineBuildApi.h). Uses only operations every revision of the engine
// has had since the loop was built three ways.
#include <new>

#include "EngineBuildApi.h"  // this folder's, whichever engine is built
#include "engine/dsp/DelayEngine.h"

namespace {

DelayEngine& engine(void* e) {
  return *static_cast<DelayEngine*>(e);
}

const KorvaEngineBuild kBuild = {
    []() -> void* { return new (std::nothrow) DelayEngine; },
    [](void* e) { delete static_cast<DelayEngine*>(e); },
    [](void* e, int index, float value) { engine(e).setParameter(index, value); },
    [](void* e) { engine(e).suspend(); },
    [](void* e, float rate) { engine(e).resume(rate); },
    [](void* e, const float* inL, const float* inR, float* outL, float* outR, int frames) {
      engine(e).process(inL, inR, outL, outR, frames, BlockTiming{});
    },
    [](int cap) {
      DelayEngine::capLoopBuild(cap <= 0   ? DelayEngine::LoopBuild::X86_64
                                : cap == 1 ? DelayEngine::LoopBuild::Avx2
                                           : DelayEngine::LoopBuild::Avx512);
    },
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const KorvaEngineBuild* korvaEngineBuild() {
  return &kBuild;
}
