// Cases the processing checks of both formats share: the rates hosts use,
// one no host uses, block sizes, and how long each run lasts.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace validate {

// Output above this, for input below 1, is a fault in any effect.
constexpr float kOutputBound = 100.0f;

// Rates hosts use, and one no host uses: what happens only there, even a
// crash, is a warning, in a check of its own that runs after the others.
inline const double kRates[] = {8000,  11025, 16000, 22050,  32000,  44100,
                                48000, 88200, 96000, 176400, 192000, 384000};
constexpr double kOddRate = 1234.5678;
// 0 stands for 0-frame calls between blocks, -1 for random sizes up to the maximum.
inline const int kBlocks[] = {1,   2,    3,    17,   32,   64,    100, 256,
                              512, 1024, 2027, 4096, 8192, 16384, 0,   -1};
constexpr int kLargestBlock = 16384;

inline std::string blockName(int block) {
  return block == 0  ? std::string("512 with 0-frame calls")
         : block < 0 ? std::string("random up to 4096")
                     : std::to_string(block);
}

inline int maxBlockOf(int block) {
  return block > 0 ? block : block == 0 ? 512 : 4096;
}

inline int64_t framesFor(double rate, int block, int level) {
  const int64_t seconds = static_cast<int64_t>(rate * 0.05 * level);
  return std::max<int64_t>(seconds, 3 * std::max(block, 64));
}

inline std::string firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
  size_t k = 0;
  while (k < a.size() && k < b.size() && a[k] == b[k]) ++k;
  return "sample " + std::to_string(k);
}

}  // namespace validate
