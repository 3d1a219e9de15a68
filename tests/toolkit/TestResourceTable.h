// The resource table linked into the toolkit tests.
#pragma once

#include <cstdint>

constexpr int kTestResourceId = 7001;
extern const uint32_t kTestResourceColours[6];  // row by row, 3 × 2
