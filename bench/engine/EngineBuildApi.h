// A build of the engine behind a plain C table. bench_engine loads two such
// builds (this tree's and another revision's, made by the same compiler with
// the same flags) into one process and times them in alternation; each keeps
// its own copy of the engine's symbols, so the two never mix.
#pragma once

extern "C" {

struct KorvaEngineBuild {
  void* (*create)();
  void (*destroy)(void* engine);
  void (*setParameter)(void* engine, int index, float value);
  void (*suspend)(void* engine);
  void (*resume)(void* engine, float rate);
  void (*process)(void* engine, const float* inL, const float* inR, float* outL, float* outR,
                  int frames);
  // 0: x86-64 only, 1: up to AVX2, 2: up to AVX-512 (static, for the whole build)
  void (*capLoopBuild)(int cap);
};

typedef const KorvaEngineBuild* (*KorvaEngineBuildEntry)();
#define KORVA_ENGINE_BUILD_ENTRY "korvaEngineBuild"
}
