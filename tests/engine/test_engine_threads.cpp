// Parameters, tempo and status from one thread while another processes:
// the sanitizer build (KORVA_SANITIZE=thread) reports any unguarded sharing.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "EngineRig.h"

TEST(EngineThreads, EditsWhileProcessing) {
  DelayEngine e;
  settle(e);
  std::atomic<bool> stop{false};
  std::atomic<long> blocks{0};
  bool finite = true;
  std::thread audio([&] {
    Signal in = noise(256, 0.8f);
    Signal out(256);
    BlockTiming t;
    t.hasTempo = true;
    while (!stop.load()) {
      t.tempo = 100.0 + (blocks.load() % 50);
      e.process(in.left.data(), in.right.data(), out.left.data(), out.right.data(), 256, t);
      for (float v : out.left) finite = finite && std::isfinite(v);
      blocks.fetch_add(1);
    }
  });
  unsigned x = 7;
  for (int i = 0; i < 20000 || blocks.load() < 200; ++i) {
    x = x * 1664525u + 1013904223u;
    const int index = static_cast<int>(x >> 16) % kNumParams;
    e.setParameter(index, static_cast<float>(x & 0xffff) / 65535.0f);
    if (i % 64 == 0) {
      EngineStatus s = e.readStatus();
      EXPECT_GE(s.peak, 0.0f);
      e.setTempoFromControl(static_cast<float>(i % 100) / 100.0f);
    }
  }
  stop = true;
  audio.join();
  EXPECT_TRUE(finite);
}
