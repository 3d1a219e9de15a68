// The engine against the per-sample model, side by side on the same input:
// every output sample and, every few blocks, the editor's status. A
// difference names the setting, the block and the sample where the two first
// part.
#pragma once

#include <string>
#include <vector>

#include "engine/dsp/DelayEngine.h"

namespace reference {

struct Step {
  int at;  // block before which the value is set; < 0: before suspend and resume
  int index;
  float value;
};

using TimingFor = BlockTiming (*)(int block);

struct Setting {
  std::string name;
  std::vector<Step> steps;
  int blocks = 100, block = 128;
  bool monoOut = false;
  unsigned seed = 1;  // of the noise both engines process
  float rate = 44100.0f;
  TimingFor timing = nullptr;  // null: the host gives no time information
};

struct Difference {
  bool found = false;
  std::string setting, what;
  int block = 0, sample = 0;
  float engine = 0.0f, model = 0.0f;
  std::string describe() const;
};

// Both engines start as the first preset starts them (Dlyx2 designs the input
// filter), take the steps at < 0, are suspended and resumed at the rate, and
// then process `blocks` blocks of `block` frames.
Difference compare(const Setting& setting);

}  // namespace reference
