// Stored states made wrong the ways files and sessions go wrong, for the
// state groups of both formats.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/validate/check.h"

namespace validate {

using Bytes = std::vector<uint8_t>;

// `base` truncated, extended, bit-flipped, randomised, with runs of 0x00 or
// 0xFF, with a float no parameter takes (1e6, NaN, ...) written where a
// stored value may be, or replaced by a few random bytes; `how` says which.
Bytes mutateBytes(Check& c, const Bytes& base, std::string& how);

// "" when equal, else the first difference ("byte 12 differs").
std::string byteDifference(const Bytes& a, const Bytes& b);

}  // namespace validate
