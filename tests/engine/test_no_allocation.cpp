// The audio thread never allocates: every global allocation is counted while
// blocks are processed. Also: a delay memory that cannot be had leaves an
// engine that passes its input on and never crashes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "EngineRig.h"
#include "tests/support/AllocationCounter.h"

TEST(EngineAllocation, ProcessingAndStatusNeverAllocate) {
  DelayEngine e;
  e.setParameter(kDepth, 0.7f);
  e.setParameter(kWaveform, 0.2f);
  e.setParameter(kFbck, 0.8f);
  e.setParameter(kDlyx2, kOn);
  e.setParameter(kHiCut, kOn);
  e.setParameter(kDlyClk, kOn);
  settle(e);
  Signal in = noise(4096, 0.8f);
  Signal out(in.size());
  BlockTiming t;
  t.hasTempo = true;
  t.tempo = 133.0;
  const long before = allocationCount();
  for (int round = 0; round < 20; ++round) {
    if (round == 5) e.setParameter(kRptInf, kOn);
    if (round == 10) e.setParameter(kRptInf, kOff);
    if (round == 12) t.tempo = 97.0;
    e.process(in.left.data(), in.right.data(), out.left.data(),
              round % 2 ? nullptr : out.right.data(), 4096, t);
    e.readStatus();
    e.setParameter(kDlyx2, round % 2 ? kOn : kOff);
  }
  e.resume(44100.0f);  // same rate: a reset, no new memory
  e.suspend();
  EXPECT_EQ(allocationCount() - before, 0);
  e.resume(48000.0f);  // the counter does count
  EXPECT_GT(allocationCount() - before, 0);
}

TEST(EngineAllocation, MissingDelayMemoryPassesTheInput) {
  refuseLargeAllocations(true);
  DelayEngine e;
  refuseLargeAllocations(false);
  ASSERT_FALSE(e.hasMemory());
  Signal in = noise(1000, 0.5f);
  Signal out = run(e, in);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(out.left[i], in.left[i]);
  Signal mono = run(e, in, 100, true);
  EXPECT_EQ(mono.left[3], 0.5f * in.left[3] + 0.5f * in.right[3]);
  e.readStatus();
  // A sample-rate change that fails keeps it that way; a later resume retries.
  refuseLargeAllocations(true);
  e.resume(96000.0f);
  refuseLargeAllocations(false);
  EXPECT_FALSE(e.hasMemory());
  run(e, in);
  e.resume(96000.0f);
  EXPECT_TRUE(e.hasMemory());
  EXPECT_EQ(e.bufferLength(), 307201);
}
