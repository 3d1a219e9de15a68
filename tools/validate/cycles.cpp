#include "tools/validate/cycles.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tools/base/cli.h"
#include "tools/validate/rt_monitor.h"

namespace validate {

namespace {

long rssKb() {
  std::ifstream f("/proc/self/status");
  for (std::string line; std::getline(f, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

}  // namespace

void lifeCycles(Check& c, const std::function<void(long)>& life, const CycleWords& words) {
  const long warm = 10;
  const long n = 100 * c.level();
  for (long k = 0; k < warm; ++k) life(k);
  const long heap0 = rt::heapInUse();
  const long rss0 = rssKb();
  const auto t0 = std::chrono::steady_clock::now();
  // The heap is read at the middle too: a one-off cache fills the first half.
  long heapMid = heap0;
  for (long k = 0; k < n; ++k) {
    life(warm + k);
    c.tried();
    if (k == n / 2 - 1) heapMid = rt::heapInUse();
  }
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  const long heap1 = rt::heapInUse();
  const double perInstance = static_cast<double>(heap1 - heapMid) / static_cast<double>(n - n / 2);
  c.figure("heap growth per instance", perInstance, "bytes");
  c.figure(std::string("RSS growth over ") + words.cycles + " cycles",
           static_cast<double>(rssKb() - rss0), "KB in " + std::to_string(n) + " cycles");
  c.figure(words.life, ms / static_cast<double>(n), "ms per instance");
  if (perInstance > 64.0 && heap1 - heap0 > 16384)
    c.report(Kind::Resources, "the heap grows by " + khost::formatDouble(perInstance, 0) +
                                  " bytes per " + words.done + " instance (" +
                                  std::to_string(heap1 - heap0) + " bytes over " +
                                  std::to_string(n) + ")");
}

}  // namespace validate
