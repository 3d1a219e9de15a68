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

std::string reproduce(const Run& run, const std::string& group, const std::string& check) {
  return "--seed " + std::to_string(run.options.seed) + " --level " +
         std::to_string(run.options.level) + " --only '" + group + "/" + check + "'";
}

const Finding* headline(const CheckResult& r) {
  for (const Finding& f : r.findings)
    if (f.kind == Kind::Crash || f.kind == Kind::Hang || f.kind == Kind::Exception ||
        (f.kind == Kind::Memory && r.status == Status::Fail))
      return &f;
  return r.first();
}

std::string summary(const CheckResult& r, Severity severity) {
  long cases = 0;
  std::vector<std::string> keys;
  std::vector<std::vector<std::string>> values;
  for (const Finding& f : r.findings) {
    if (f.severity() != severity) continue;
    cases += f.count;
    for (const Where& w : f.where) {
      size_t k = 0;
      while (k < keys.size() && keys[k] != w.key) ++k;
      if (k == keys.size()) {
        keys.push_back(w.key);
        values.emplace_back();
      }
      if (std::find(values[k].begin(), values[k].end(), w.value) == values[k].end())
        values[k].push_back(w.value);
    }
  }
  if (cases == 0) return "";
  std::string out =
      severity == Severity::Fail
          ? "in " + std::to_string(r.failures) + " failed case" + (r.failures == 1 ? "" : "s")
          : std::to_string(cases) + " warning" + (cases == 1 ? "" : "s");
  for (size_t k = 0; k < keys.size(); ++k) {
    out += k == 0 ? ": " : "; ";
    out += keys[k];
    const size_t shown = std::min<size_t>(values[k].size(), 6);
    for (size_t i = 0; i < shown; ++i) out += (i == 0 ? " " : ", ") + values[k][i];
    if (values[k].size() > shown)
      out += " (+" + std::to_string(values[k].size() - shown) + " more)";
  }
  if (r.dropped > 0) out += "; " + std::to_string(r.dropped) + " findings counted, not kept";
  return out;
}

void printTable(std::FILE* out, const Run& run) {
  size_t wGroup = 5, wCheck = 5;
  for (const CheckResult& r : run.results) {
    wGroup = std::max(wGroup, r.group.size());
    wCheck = std::max(wCheck, r.check.size());
  }
  const std::string indent(wGroup + wCheck + 6 + 8 + 6 + 10, ' ');
  std::fprintf(out, "\n%s  %s  %s  %s  %s  %s\n", pad("group", wGroup).c_str(),
               pad("check", wCheck).c_str(), pad("result", 6).c_str(), padLeft("cases", 8).c_str(),
               padLeft("fails", 6).c_str(), "[kind] finding");
  long fails = 0, warned = 0, checks = 0;
  std::vector<bool> seen(allKinds().size(), false);
  for (const CheckResult& r : run.results) {
    ++checks;
    if (r.status == Status::Fail) ++fails;
    if (r.warnings > 0) ++warned;
    const Finding* h = headline(r);
    std::string detail = r.detail;
    if (h != nullptr) detail = "[" + std::string(kindInfo(h->kind).name) + "] " + h->text;
    for (const Finding& f : r.findings) seen[static_cast<size_t>(f.kind)] = true;
    std::fprintf(out, "%s  %s  %s  %s  %s  %s\n", pad(r.group, wGroup).c_str(),
                 pad(r.check, wCheck).c_str(), pad(statusName(r.status), 6).c_str(),
                 padLeft(std::to_string(r.cases), 8).c_str(),
                 padLeft(std::to_string(r.failures), 6).c_str(), detail.c_str());
    if (r.findings.empty()) continue;
    for (Severity s : {Severity::Fail, Severity::Warn}) {
      const std::string line = summary(r, s);
      if (line.empty()) continue;
      // Kinds other than the headline's are named with their summary.
      std::string kinds;
      for (const KindInfo& k : allKinds()) {
        if (k.severity != s) continue;
        for (const Finding& f : r.findings)
          if (f.kind == k.kind) {
            kinds += std::string(kinds.empty() ? "" : ", ") + k.name;
            break;
          }
      }
      std::fprintf(out, "%s%s [%s]\n", indent.c_str(), line.c_str(), kinds.c_str());
    }
    std::fprintf(out, "%srepeat with %s\n", indent.c_str(),
                 reproduce(run, r.group, r.check).c_str());
  }
  bool anyKind = false;
  for (const KindInfo& k : allKinds()) {
    if (!seen[static_cast<size_t>(k.kind)]) continue;
    if (!anyKind) std::fprintf(out, "\nwhy it matters\n");
    anyKind = true;
    std::fprintf(out, "  %s  %s  %s\n", pad(k.name, 11).c_str(),
                 k.severity == Severity::Fail ? "FAIL" : "warn", k.why);
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
  std::fprintf(out, "\n%ld checks, %ld failed, %ld with warnings; level %d, seed %llu, %.1f s\n",
               checks, fails, warned, run.options.level,
               static_cast<unsigned long long>(run.options.seed), run.seconds);
}

std::string toJson(const Run& run) {
  std::string j = "{\n";
  j += "  \"plugin\": " + jsonString(run.options.pluginPath) + ",\n";
  j += "  \"level\": " + std::to_string(run.options.level) + ",\n";
  j += "  \"seed\": " + std::to_string(run.options.seed) + ",\n";
  j += "  \"display\": " + std::string(run.options.display ? "true" : "false") + ",\n";
  j += "  \"seconds\": " + jsonNumber(run.seconds) + ",\n";
  j += "  \"exit_code\": " + std::to_string(run.exitCode()) + ",\n";
  j += "  \"kinds\": [";
  for (size_t i = 0; i < allKinds().size(); ++i) {
    const KindInfo& k = allKinds()[i];
    j += (i == 0 ? "\n    " : ",\n    ") + std::string("{\"kind\": ") + jsonString(k.name) +
         ", \"severity\": " + jsonString(k.severity == Severity::Fail ? "FAIL" : "warn") +
         ", \"why\": " + jsonString(k.why) + "}";
  }
  j += "\n  ],\n";
  j += "  \"checks\": [";
  for (size_t i = 0; i < run.results.size(); ++i) {
    const CheckResult& r = run.results[i];
    const Finding* h = headline(r);
    const std::string repeat = reproduce(run, r.group, r.check);
    j += i == 0 ? "\n" : ",\n";
    j += "    {\"group\": " + jsonString(r.group) + ", \"check\": " + jsonString(r.check) +
         ", \"status\": " + jsonString(statusName(r.status)) +
         ", \"cases\": " + std::to_string(r.cases) +
         ", \"failures\": " + std::to_string(r.failures) +
         ", \"warnings\": " + std::to_string(r.warnings) +
         ", \"kind\": " + (h != nullptr ? jsonString(kindInfo(h->kind).name) : "null") +
         ", \"detail\": " + jsonString(h != nullptr ? h->text : r.detail) +
         ", \"reproduce\": " + jsonString(r.findings.empty() ? "" : repeat) +
         ", \"dropped\": " + std::to_string(r.dropped) + ", \"findings\": [";
    for (size_t k = 0; k < r.findings.size(); ++k) {
      const Finding& f = r.findings[k];
      j += (k == 0 ? "\n      " : ",\n      ") + std::string("{\"severity\": ") +
           jsonString(f.severity() == Severity::Fail ? "FAIL" : "warn") +
           ", \"kind\": " + jsonString(kindInfo(f.kind).name) +
           ", \"cases\": " + std::to_string(f.count) + ", \"text\": " + jsonString(f.text) +
           ", \"where\": {";
      for (size_t w = 0; w < f.where.size(); ++w)
        j +=
            (w == 0 ? "" : ", ") + jsonString(f.where[w].key) + ": " + jsonString(f.where[w].value);
      j += "}, \"repeat\": " + jsonString(repeat) + "}";
    }
    j += r.findings.empty() ? "]" : "\n    ]";
    j += ", \"figures\": [";
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
