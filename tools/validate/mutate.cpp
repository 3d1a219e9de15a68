#include "tools/validate/mutate.h"

#include <cstring>
#include <iterator>
#include <limits>

#include "tools/validate/signals.h"

namespace validate {

std::string byteDifference(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size())
    return std::to_string(b.size()) + " bytes instead of " + std::to_string(a.size());
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) return "byte " + std::to_string(i) + " differs";
  return "";
}

Bytes mutateBytes(Check& c, const Bytes& base, std::string& how) {
  Bytes m = base;
  switch (c.between(0, 7)) {
    case 0: {
      const size_t n = static_cast<size_t>(c.between(0, static_cast<long>(base.size()) - 1));
      m.resize(n);
      how = "truncated to " + std::to_string(n) + " bytes";
      break;
    }
    case 1: {
      const long extra = c.between(1, 4096);
      for (long i = 0; i < extra; ++i) m.push_back(static_cast<uint8_t>(c.between(0, 255)));
      how = "with " + std::to_string(extra) + " random bytes appended";
      break;
    }
    case 2:
    case 3: {
      const long flips = c.between(1, 8);
      how = "with bits flipped at";
      for (long i = 0; i < flips && !m.empty(); ++i) {
        const size_t bit = static_cast<size_t>(c.between(0, static_cast<long>(m.size() * 8) - 1));
        m[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        how += " " + std::to_string(bit);
      }
      break;
    }
    case 4: {
      for (auto& x : m) x = static_cast<uint8_t>(c.between(0, 255));
      how = "random bytes of the same length";
      break;
    }
    case 5: {
      const size_t at = static_cast<size_t>(c.between(0, static_cast<long>(m.size()) - 1));
      const long count = std::min<long>(c.between(1, 16), static_cast<long>(m.size() - at));
      for (long i = 0; i < count; ++i)
        m[at + static_cast<size_t>(i)] = c.between(0, 1) ? 0xFF : 0x00;
      how = std::to_string(count) + " bytes at " + std::to_string(at) + " set to 0x00/0xFF";
      break;
    }
    case 6: {
      // A value a parameter never takes, where a stored float may be: makes
      // a plug-in that trusts its chunk's numbers play far too loud.
      static const float odd[] = {
          1e6f, -1e6f, 2.0f, -1.0f, 1e30f, 100.0f, std::numeric_limits<float>::quiet_NaN()};
      const float v = odd[c.between(0, std::size(odd) - 1)];
      if (m.size() < 4) {
        how = "too short for a value";
        break;
      }
      const size_t at = 4 * static_cast<size_t>(c.between(0, static_cast<long>(m.size() / 4) - 1));
      std::memcpy(&m[at], &v, 4);
      how = "with the float " + describeFloat(v) + " written at byte " + std::to_string(at);
      break;
    }
    default: {
      m.assign(static_cast<size_t>(c.between(0, 64)), 0);
      for (auto& x : m) x = static_cast<uint8_t>(c.between(0, 255));
      how = std::to_string(m.size()) + " random bytes";
      break;
    }
  }
  return m;
}

}  // namespace validate
