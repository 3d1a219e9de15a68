#include "tools/validate/report.h"

#include <algorithm>
#include <cmath>

#include "tools/base/cli.h"

namespace validate {

namespace {

std::string pad(const std::string& s, size_t width) {
  return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

std::string padLeft(const std::string& s, size_t width) {
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string jsonNumber(double v) {
  const std::string s = khost::formatGeneral(v);
  return s == "?" || s.find_first_of("ni") != std::string::npos ? "null" : s;
}

}  // namespace

int Run::exitCode() const {
  for (const CheckResult& r : results)
    if (r.status == Status::Fail) return 1;
  return 0;
}

std::string reproduce(const Run& run, const std::string& group) {
  return "--seed " + std::to_string(run.options.seed) + " --level " +
         std::to_string(run.options.level) + " --only " + group;
}

void printTable(std::FILE* out, const Run& run) {
  size_t wGroup = 5, wCheck = 5;
  for (const CheckResult& r : run.results) {
    wGroup = std::max(wGroup, r.group.size());
    wCheck = std::max(wCheck, r.check.size());
  }
  std::fprintf(out, "\n%s  %s  %s  %s  %s  %s\n", pad("group", wGroup).c_str(),
               pad("check", wCheck).c_str(), pad("result", 6).c_str(), padLeft("cases", 8).c_str(),
               padLeft("fails", 6).c_str(), "first failure (reproduce with)");
  long fails = 0, checks = 0;
  for (const CheckResult& r : run.results) {
    ++checks;
    std::string detail = r.detail;
    if (r.status == Status::Fail) {
      ++fails;
      detail = "[" + reproduce(run, r.group) + "] " + r.detail;
    }
    std::fprintf(out, "%s  %s  %s  %s  %s  %s\n", pad(r.group, wGroup).c_str(),
                 pad(r.check, wCheck).c_str(), pad(statusName(r.status), 6).c_str(),
                 padLeft(std::to_string(r.cases), 8).c_str(),
                 padLeft(std::to_string(r.failures), 6).c_str(), detail.c_str());
  }
  bool anyFigure = false;
  for (const CheckResult& r : run.results)
    for (const Figure& f : r.figures) {
      if (!anyFigure) std::fprintf(out, "\nfigures\n");
      anyFigure = true;
      std::fprintf(out, "%s  %s  %s %s\n", pad(r.group, wGroup).c_str(),
                   pad(f.name, wCheck + 18).c_str(),
                   khost::formatDouble(
                       f.value, std::fabs(f.value) >= 100 || f.value == std::floor(f.value) ? 0 : 3)
                       .c_str(),
                   f.unit.c_str());
    }
  std::fprintf(out, "\n%ld checks, %ld failed; level %d, seed %llu, %.1f s\n", checks, fails,
               run.options.level, static_cast<unsigned long long>(run.options.seed), run.seconds);
}

std::string toJson(const Run& run) {
  std::string j = "{\n";
  j += "  \"plugin\": " + jsonString(run.options.pluginPath) + ",\n";
  j += "  \"level\": " + std::to_string(run.options.level) + ",\n";
  j += "  \"seed\": " + std::to_string(run.options.seed) + ",\n";
  j += "  \"display\": " + std::string(run.options.display ? "true" : "false") + ",\n";
  j += "  \"seconds\": " + jsonNumber(run.seconds) + ",\n";
  j += "  \"exit_code\": " + std::to_string(run.exitCode()) + ",\n";
  j += "  \"checks\": [";
  for (size_t i = 0; i < run.results.size(); ++i) {
    const CheckResult& r = run.results[i];
    j += i == 0 ? "\n" : ",\n";
    j += "    {\"group\": " + jsonString(r.group) + ", \"check\": " + jsonString(r.check) +
         ", \"status\": " + jsonString(statusName(r.status)) +
         ", \"cases\": " + std::to_string(r.cases) +
         ", \"failures\": " + std::to_string(r.failures) + ", \"detail\": " + jsonString(r.detail) +
         ", \"reproduce\": " + jsonString(r.status == Status::Fail ? reproduce(run, r.group) : "") +
         ", \"figures\": [";
    for (size_t k = 0; k < r.figures.size(); ++k) {
      const Figure& f = r.figures[k];
      j += (k == 0 ? "" : ", ") + std::string("{\"name\": ") + jsonString(f.name) +
           ", \"value\": " + jsonNumber(f.value) + ", \"unit\": " + jsonString(f.unit) + "}";
    }
    j += "]}";
  }
  j += "\n  ]\n}\n";
  return j;
}

}  // namespace validate
