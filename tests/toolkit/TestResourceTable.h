// The resource table linked into the toolkit tests.
#pragma once

#include <cstdint>

constexpr int kTestResourceId = 7001;
extern const uint32_t kTestResourceColours[6];  // row by row, 3 × 2

// A strip of kTestStripImages images of 2 × 3, each of one colour
// (stripColour of ToolkitTestSupport.h).
constexpr int kTestStripId = 7002;
constexpr int kTestStripImages = 4;
