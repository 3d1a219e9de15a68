#include "tools/validate/results.h"

#include <sys/mman.h>

#include <cstring>
#include <sstream>

#include "tools/base/cli.h"

namespace validate {

namespace {

std::string clean(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  return out;
}

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(
        line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return fields;
}

}  // namespace

const char* statusName(Status s) {
  switch (s) {
    case Status::Pass:
      return "ok";
    case Status::Fail:
      return "FAIL";
    case Status::Warn:
      return "warn";
    case Status::Skip:
      return "skip";
  }
  return "?";
}

std::string encodeResult(const CheckResult& r) {
  std::string line = "R\t" + clean(r.check) + "\t" + std::to_string(static_cast<int>(r.status)) +
                     "\t" + std::to_string(r.cases) + "\t" + std::to_string(r.failures) + "\t" +
                     clean(r.detail);
  for (const Figure& f : r.figures)
    line += "\t" + clean(f.name) + "\t" + khost::formatGeneral(f.value) + "\t" + clean(f.unit);
  return line + "\n";
}

bool decodeResult(const std::string& line, CheckResult& r) {
  const std::vector<std::string> f = split(line);
  if (f.size() < 6 || f[0] != "R" || (f.size() - 6) % 3 != 0) return false;
  long long status = 0, cases = 0, failures = 0;
  if (!khost::parseInt(f[2], status) || status < 0 || status > 3 || !khost::parseInt(f[3], cases) ||
      !khost::parseInt(f[4], failures))
    return false;
  r.check = f[1];
  r.status = static_cast<Status>(status);
  r.cases = static_cast<long>(cases);
  r.failures = static_cast<long>(failures);
  r.detail = f[5];
  for (size_t i = 6; i + 2 < f.size(); i += 3) {
    double v = 0;
    if (!khost::parseDouble(f[i + 1], v)) v = 0;
    r.figures.push_back(Figure{f[i], v, f[i + 2]});
  }
  return true;
}

SharedSlot* createSharedSlot() {
  void* p =
      mmap(nullptr, sizeof(SharedSlot), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  std::memset(p, 0, sizeof(SharedSlot));
  static_cast<SharedSlot*>(p)->checkIndex = -1;
  return static_cast<SharedSlot*>(p);
}

void copyInto(char* dst, size_t size, const std::string& text) {
  const size_t n = std::min(size - 1, text.size());
  std::memcpy(dst, text.data(), n);
  dst[n] = '\0';
}

}  // namespace validate
