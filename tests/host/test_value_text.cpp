// Display texts: truncation (never rounding), the "Huge!" limits, "-oo" and the
// empty text for zero.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstring>
#include <limits>
#include <string>

#include "host/AudioEffect.h"

namespace {
struct TextEffect : AudioEffect {
  TextEffect() : AudioEffect(nullptr, 1, 1) {}
  void processReplacing(float**, float**, VstInt32) override {}
  std::string f(float v, int maxLen = 12) {
    char t[64];
    std::memset(t, 'x', sizeof t);
    float2string(v, t, maxLen);
    return t;
  }
  std::string i(VstInt32 v) {
    char t[64];
    int2string(v, t, 12);
    return t;
  }
  std::string db(float v) {
    char t[64];
    dB2string(v, t, 12);
    return t;
  }
};
}  // namespace

TEST(Float2String, EightCharactersWithTruncatedDigits) {
  TextEffect e;
  EXPECT_EQ(e.f(1.0f), "1.000000");
  EXPECT_EQ(e.f(12.5f), "12.50000");
  EXPECT_EQ(e.f(-12.5f), "-12.5000");
  EXPECT_EQ(e.f(0.1f), "0.100000");
  EXPECT_EQ(e.f(0.0f), "0.000000");
  // 0.99999f is 0.99998998...: truncated, a rounding formatter would say 1.000000.
  EXPECT_EQ(e.f(0.99999f), "0.999989");
  EXPECT_EQ(e.f(1.5f), "1.500000");
  EXPECT_EQ(e.f(1234.5f), "1234.500");
}

TEST(Float2String, HugeBeyondTheLimits) {
  TextEffect e;
  EXPECT_EQ(e.f(1.0e9f), "Huge!");
  EXPECT_EQ(e.f(-1.0e8f), "Huge!");
  EXPECT_EQ(e.f(-9999999.0f), "-9999999.");
  // 1e8 is above 99999999; 99999992 is the largest float below it.
  EXPECT_EQ(e.f(1.0e8f), "Huge!");
  EXPECT_EQ(e.f(99999992.0f), "99999992.");
  EXPECT_EQ(e.f(-10000000.0f), "Huge!");
  EXPECT_EQ(e.f(std::numeric_limits<float>::infinity()), "Huge!");
  EXPECT_EQ(e.f(std::numeric_limits<float>::quiet_NaN()), "Huge!");
}

TEST(Float2String, RespectsTheLengthLimit) {
  TextEffect e;
  EXPECT_EQ(e.f(1.0f, 3), "1.0");
}

TEST(Float2String, IgnoresTheHostLocale) {
  // A host may switch the process to a locale with a decimal comma.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale here";
  TextEffect e;
  EXPECT_EQ(e.f(12.5f), "12.50000");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(Int2String, DigitsWithoutLeadingZerosAndNothingForZero) {
  TextEffect e;
  EXPECT_EQ(e.i(0), "");
  EXPECT_EQ(e.i(5), "5");
  EXPECT_EQ(e.i(-5), "-5");
  EXPECT_EQ(e.i(3200), "3200");
  EXPECT_EQ(e.i(99999999), "99999999");
  EXPECT_EQ(e.i(100000000), "Huge!");
  EXPECT_EQ(e.i(INT_MIN), "-2147483648");
}

TEST(DB2String, MinusInfinityAtOrBelowZero) {
  TextEffect e;
  EXPECT_EQ(e.db(0.0f), "-oo");
  EXPECT_EQ(e.db(-1.0f), "-oo");
  EXPECT_EQ(e.db(1.0f), "0.000000");
  // 20·log10(4) is 12.0411998..., but in single precision log10f(4) rounds up
  // and the product is 12.0412004: the display shows the float the engine
  // computes, truncated.
  EXPECT_EQ(e.db(4.0f), "12.04120");
  EXPECT_EQ(e.db(0.25f), "-12.0412");
}
