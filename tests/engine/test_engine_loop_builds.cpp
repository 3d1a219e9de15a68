// The loop exists once per instruction set (x86-64, AVX2, AVX-512) and the
// processor picks the widest it has. The recorded corpus pins the x86-64 build
// and the widest one; every build in between must give the same bits too.
#include <gtest/gtest.h>

#include <cstring>

#include "EngineRig.h"

namespace {

using Build = DelayEngine::LoopBuild;

struct Render {
  const char* name;
  void (*configure)(DelayEngine&);
};

// Modulation with the envelope on the feedback path, and the busiest setting:
// the paths where register allocation differs most between builds.
const Render kRenders[] = {
    {"wow tape",
     [](DelayEngine& e) {
       const float wow[kNumParams] = {0.622706f, 0.479528f, 0.459736f, 0.053856f, 0.25f, 0.25f,
                                      0.53191f,  0.75f,     0.25f,     0.5f,      0.1f,  0.31f,
                                      0.5f,      0.25f,     0.75f,     0.25f,     0.1f,  0.038462f};
       for (int i = 0; i < kNumParams; ++i) e.setParameter(i, wow[i]);
     }},
    {"square, envelope, Dlyx2, both inversions, hold",
     [](DelayEngine& e) {
       e.setParameter(kDlyTime, dlyTimeFor(37.0f));
       e.setParameter(kDepth, 0.8f);
       e.setParameter(kWaveform, 0.9f);
       e.setParameter(kRate, 0.7f);
       e.setParameter(kFbck, 0.97f);
       e.setParameter(kDlyx2, kOn);
       e.setParameter(kDlyInv, kOn);
       e.setParameter(kFbInv, kOn);
       e.setParameter(kHiCut, kOn);
       e.setParameter(kMix, 0.6f);
     }},
};

Signal render(const Render& r, Build build, int block, bool hold) {
  DelayEngine::capLoopBuild(build);
  DelayEngine e;
  r.configure(e);
  settle(e);
  const Signal in = noise(22050, 0.9f, 5);
  Signal out = run(e, in, block);
  if (hold) {
    e.setParameter(kRptInf, kOn);
    const Signal more = run(e, in, block);
    out.left.insert(out.left.end(), more.left.begin(), more.left.end());
    out.right.insert(out.right.end(), more.right.begin(), more.right.end());
  }
  return out;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b, std::size_t& first) {
  for (first = 0; first < a.size(); ++first)
    if (std::memcmp(&a[first], &b[first], sizeof(float)) != 0) return false;
  return a.size() == b.size();
}

}  // namespace

TEST(EngineLoopBuilds, EveryBuildTheProcessorHasGivesTheSameBits) {
  DelayEngine::capLoopBuild(Build::Avx512);
  const Build widest = DelayEngine::loopBuild();
  for (const Render& r : kRenders)
    for (int block : {37, 512})
      for (bool hold : {false, true}) {
        const Signal reference = render(r, Build::X86_64, block, hold);
        for (Build b : {Build::Avx2, Build::Avx512}) {
          if (static_cast<int>(b) > static_cast<int>(widest)) break;
          const Signal got = render(r, b, block, hold);
          std::size_t at = 0;
          EXPECT_TRUE(sameBits(got.left, reference.left, at))
              << r.name << ", " << DelayEngine::loopBuildName(b) << ", block " << block
              << ", left differs from sample " << at;
          EXPECT_TRUE(sameBits(got.right, reference.right, at))
              << r.name << ", " << DelayEngine::loopBuildName(b) << ", block " << block
              << ", right differs from sample " << at;
        }
      }
  DelayEngine::capLoopBuild(Build::Avx512);
}
