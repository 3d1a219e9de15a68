#include "tools/validate/tail_cost.h"

#include <time.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tools/base/cli.h"

namespace validate {

namespace {

double threadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::nth_element(v.begin(), v.begin() + static_cast<ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

// Denormals cost tens of nanoseconds per operation; a few nanoseconds per
// frame more in a plug-in that costs next to nothing is timer noise.
constexpr double kLimit = 1.2;
constexpr double kNoiseNs = 5.0;

}  // namespace

// The tail's cost is compared with a second instance that keeps playing the
// loud signal, block for block in turn, so that a busy machine slows both
// alike and only the tail's own extra cost shows.
void tailCost(Check& c, const Block& tail, const Block& loud) {
  const double rate = 44100;
  const int block = 256;
  const int blocksPerSecond = static_cast<int>(rate / block);
  double ratio = 0.0;
  double worstAt = 0.0;
  double extraNs = 0.0;  // the worst second's extra cost per frame
  int costly = 0;        // seconds over the limit
  {
    std::vector<float> in(block), silence(block, 0.0f);
    std::mt19937 noise(5);
    std::uniform_real_distribution<float> d(-0.9f, 0.9f);
    c.step("loud burst");
    for (int b = 0; b < 2 * blocksPerSecond; ++b) {
      for (float& x : in) x = d(noise);
      tail(in.data());
      loud(in.data());
    }
    const int seconds = 10 * c.level();
    for (int s = 0; s < seconds; ++s) {
      c.step("silent tail, second " + std::to_string(s));
      std::vector<double> tailTimes, burst;
      for (int b = 0; b < blocksPerSecond; ++b) {
        for (float& x : in) x = d(noise);
        double t0 = threadSeconds();
        tail(silence.data());
        tailTimes.push_back(threadSeconds() - t0);
        t0 = threadSeconds();
        loud(in.data());
        burst.push_back(threadSeconds() - t0);
      }
      c.tried();
      const double burstCost = median(burst);
      const double r = burstCost > 0 ? median(tailTimes) / burstCost : 0.0;
      if (r > kLimit && (median(tailTimes) - burstCost) * 1e9 / block > kNoiseNs) ++costly;
      if (r > ratio) {
        ratio = r;
        worstAt = s;
        extraNs = (median(tailTimes) - burstCost) * 1e9 / block;
      }
    }
  }
  c.figure("silent tail / burst cost", ratio, "ratio (worst second)");
  // A denormal tail lasts for seconds; one costly second alone is a busy
  // machine (seen at 1.28x under a parallel test run), so two are needed.
  if (costly >= 2)
    c.report(Kind::RealTime, "silent tail second " + khost::formatGeneral(worstAt) + " costs " +
                                 khost::formatDouble(ratio, 2) + "x the burst (limit 1.2), " +
                                 khost::formatDouble(extraNs, 1) + " ns more per frame; " +
                                 std::to_string(costly) + " seconds over the limit");
}

}  // namespace validate
