#include "toolkit/DesktopScale.h"

#include <X11/Xlib.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "toolkit/DeviceScale.h"

namespace toolkit {
namespace {

// A whole text as a number, '.' as the decimal point whatever the locale.
bool parseNumber(const char* begin, const char* end, double* out) {
  while (begin < end && (*begin == ' ' || *begin == '\t')) ++begin;
  while (end > begin && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r')) --end;
  if (begin == end) return false;
  const auto result = std::from_chars(begin, end, *out);
  return result.ec == std::errc() && result.ptr == end;
}

// The value of the resource line "Xft.dpi:" in a resource string.
bool xftDpi(const char* resources, double* dpi) {
  static const char kName[] = "Xft.dpi:";
  for (const char* line = resources; line && *line;) {
    const char* end = std::strchr(line, '\n');
    if (!end) end = line + std::strlen(line);
    const char* p = line;
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    if (static_cast<size_t>(end - p) > sizeof(kName) - 1 &&
        std::strncmp(p, kName, sizeof(kName) - 1) == 0)
      return parseNumber(p + sizeof(kName) - 1, end, dpi);
    line = *end ? end + 1 : end;
  }
  return false;
}

}  // namespace

double desktopScaleFrom(const char* gdkScale, const char* xResources) {
  double value = 0;
  if (gdkScale && parseNumber(gdkScale, gdkScale + std::strlen(gdkScale), &value) &&
      quarterScale(value) > 0)
    return quarterScale(value);
  if (xResources && xftDpi(xResources, &value) && quarterScale(value / 96.0) > 0)
    return quarterScale(value / 96.0);
  return 1.0;
}

double desktopScale() {
  static std::once_flag once;
  static double scale = 1.0;
  std::call_once(once, [] {
    std::string resources;
    bool haveResources = false;
    const char* display = std::getenv("DISPLAY");
    if (display && *display) {
      if (Display* d = XOpenDisplay(nullptr)) {
        if (const char* r = XResourceManagerString(d)) {
          resources = r;
          haveResources = true;
        }
        XCloseDisplay(d);
      }
    }
    scale = desktopScaleFrom(std::getenv("GDK_SCALE"), haveResources ? resources.c_str() : nullptr);
  });
  return scale;
}

}  // namespace toolkit
