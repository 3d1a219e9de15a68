#include "tools/base/cli.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <new>
#include <system_error>

namespace khost {

void usageError(const std::string& message) {
  throw HostError(kExitUsage, message);
}

bool parseDouble(const std::string& text, double& out) {
  if (text.empty()) return false;
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (*begin == '+') ++begin;  // from_chars refuses a leading plus; users type it
  double v = 0;
  auto res = std::from_chars(begin, end, v, std::chars_format::general);
  if (res.ec != std::errc() || res.ptr != end || !std::isfinite(v)) return false;
  out = v;
  return true;
}

bool parseInt(const std::string& text, long long& out) {
  if (text.empty()) return false;
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (*begin == '+') ++begin;
  long long v = 0;
  auto res = std::from_chars(begin, end, v, 10);
  if (res.ec != std::errc() || res.ptr != end) return false;
  out = v;
  return true;
}

long long intOption(const std::string& option, const std::string& text, long long lo,
                    long long hi) {
  long long v = 0;
  if (!parseInt(text, v)) usageError("bad number \"" + text + "\" for " + option);
  if (v < lo || v > hi)
    usageError(option + " " + text + " is outside " + std::to_string(lo) + ".." +
               std::to_string(hi));
  return v;
}

double doubleOption(const std::string& option, const std::string& text, double lo, double hi) {
  double v = 0;
  if (!parseDouble(text, v)) usageError("bad number \"" + text + "\" for " + option);
  if (v < lo || v > hi)
    usageError(option + " " + text + " is outside " + formatGeneral(lo) + ".." + formatGeneral(hi));
  return v;
}

std::string formatDouble(double v, int decimals) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  if (res.ec != std::errc()) return "?";
  return std::string(buf, res.ptr);
}

std::string formatGeneral(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  if (res.ec != std::errc()) return "?";
  return std::string(buf, res.ptr);
}

std::string hex32(uint32_t v) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) s += digits[(v >> shift) & 0xF];
  return s;
}

std::string ArgList::value(const std::string& option) {
  if (empty()) usageError(option + " needs a value");
  return next();
}

bool isHelp(const std::string& arg) {
  return arg == "--help" || arg == "-h";
}

namespace {

// Messages may quote a library's own text; errors stay on one line.
std::string oneLine(std::string s) {
  for (char& c : s)
    if (c == '\n' || c == '\r') c = ' ';
  return s;
}

}  // namespace

int runCommand(const char* name, int (*run)(ArgList&), ArgList& args) {
  try {
    const int code = run(args);
    std::fflush(stdout);
    return code;
  } catch (const HostError& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "korva-host %s: %s\n", name, oneLine(e.what()).c_str());
    return e.code();
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "korva-host %s: out of memory\n", name);
    return kExitIo;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "korva-host %s: %s\n", name, oneLine(e.what()).c_str());
    return kExitIo;
  }
}

}  // namespace khost
