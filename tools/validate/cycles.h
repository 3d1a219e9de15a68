// Many lives of an instance, for the lifecycle groups of both formats: heap
// and RSS growth and the time per life as figures; a steady heap growth per
// instance fails (resources).
#pragma once

#include <functional>

#include "tools/validate/check.h"

namespace validate {

struct CycleWords {
  const char* cycles;  // "create/destroy": the RSS figure's name
  const char* life;    // "create-to-close": the time figure's name
  const char* done;    // "created and closed": the finding's
};

// Runs life(k) for 10 warm-up lives, then 100 x level measured ones.
void lifeCycles(Check& c, const std::function<void(long)>& life, const CycleWords& words);

}  // namespace validate
