// Parameter value texts. Built digit by digit so that the host's locale never
// turns the decimal point into a comma, and so that digits are truncated, not
// rounded, as the displays have always shown them.
#include <cmath>
#include <cstring>

#include "host/AudioEffect.h"

namespace {
void copyText(const char* src, char* text, VstInt32 maxLen) {
  if (!text) return;
  if (maxLen < 0) maxLen = 0;
  std::size_t n = std::strlen(src);
  if (n > static_cast<std::size_t>(maxLen)) n = static_cast<std::size_t>(maxLen);
  std::memcpy(text, src, n);
  text[n] = 0;
}

// Writes the decimal digits of v (v >= 0) at out; returns the count.
int writeDigits(unsigned long long v, char* out) {
  char rev[24];
  int n = 0;
  do {
    rev[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  for (int i = 0; i < n; ++i) out[i] = rev[n - 1 - i];
  return n;
}
}  // namespace

void AudioEffect::float2string(float value, char* text, VstInt32 maxLen) {
  // The limits are compared in double: as a float, 99999999 rounds to 1e8,
  // which would let 1e8 itself through as a nine-digit text.
  const double limitCheck = value;
  if (!std::isfinite(value) || limitCheck > 99999999.0 || limitCheck < -9999999.0) {
    copyText("Huge!", text, maxLen);
    return;
  }
  char buf[32];
  int pos = 0;
  double v = value;
  if (v < 0) {
    buf[pos++] = '-';
    v = -v;
  }
  unsigned long long whole = static_cast<unsigned long long>(v);
  double frac = v - static_cast<double>(whole);
  pos += writeDigits(whole, buf + pos);
  buf[pos++] = '.';
  while (pos < 8) {
    frac *= 10.0;
    int d = static_cast<int>(frac);
    if (d > 9) d = 9;
    buf[pos++] = static_cast<char>('0' + d);
    frac -= d;
  }
  buf[pos] = 0;
  copyText(buf, text, maxLen);
}

void AudioEffect::int2string(VstInt32 value, char* text, VstInt32 maxLen) {
  if (value >= 100000000) {
    copyText("Huge!", text, maxLen);
    return;
  }
  char buf[24];
  int pos = 0;
  long long v = value;
  if (v < 0) {
    buf[pos++] = '-';
    v = -v;
  }
  // Zero has no digit at all: an empty display reads as "nothing set".
  if (v > 0) pos += writeDigits(static_cast<unsigned long long>(v), buf + pos);
  buf[pos] = 0;
  copyText(buf, text, maxLen);
}

void AudioEffect::dB2string(float value, char* text, VstInt32 maxLen) {
  if (value <= 0.0f || std::isnan(value)) {
    copyText("-oo", text, maxLen);
    return;
  }
  float2string(20.0f * log10f(value), text, maxLen);
}
