#include "tools/validate/results.h"

#include <sys/mman.h>

#include <cstring>

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

bool toLong(const std::string& text, long& out) {
  long long v = 0;
  if (!khost::parseInt(text, v)) return false;
  out = static_cast<long>(v);
  return true;
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

const std::vector<KindInfo>& allKinds() {
  using S = Severity;
  static const std::vector<KindInfo> kinds = {
      {Kind::Crash, "crash", S::Fail,
       "the plug-in crashed or aborted: in a host it takes the session and unsaved work with it"},
      {Kind::Hang, "hang", S::Fail, "no progress for --timeout seconds: the host freezes"},
      {Kind::Memory, "memory", S::Fail,
       "read or wrote past a buffer the host gave (or a sanitizer's memory error): crashes or "
       "corrupts the host, now or later"},
      {Kind::Exception, "exception", S::Fail,
       "a C++ exception left the plug-in: hosts call it through C and cannot catch it; most "
       "abort"},
      {Kind::Output, "output", S::Fail,
       "output wrong for its input, not finite, or unbounded: garbled sound, harm to ears and "
       "speakers, NaN spreading through the whole mix"},
      {Kind::State, "state", S::Fail,
       "state lost or wrong: a saved session, preset or automation does not come back as it was"},
      {Kind::RealTime, "real-time", S::Fail,
       "allocation, lock, blocking call or CPU spike on the audio thread: dropouts under load"},
      {Kind::Text, "text", S::Fail, "a text longer than its limit: writes over the host's memory"},
      {Kind::Environment, "environment", S::Fail,
       "the host's locale, working folder, signal handlers, environment, FPU mode or files "
       "changed: the host and other plug-ins misbehave"},
      {Kind::Resources, "resources", S::Fail,
       "memory, descriptors or windows that grow with use: long sessions run out"},
      {Kind::Race, "race", S::Fail, "a data race: wrong values or crashes now and then"},
      {Kind::Interface, "interface", S::Fail,
       "a required part missing or answering against the format: hosts misuse or refuse the "
       "plug-in"},
      {Kind::Padding, "padding", S::Warn,
       "zeros written past a text's end within 64 bytes: against the limit's letter, but hosts "
       "give buffers of at least 64"},
      {Kind::OddRate, "odd rate", S::Warn, "only at a sample rate no host uses (1234.5678 Hz)"},
      {Kind::OddValue, "odd value", S::Warn,
       "a value no host sends (NaN, outside 0..1) read back as it was set"},
      {Kind::Letter, "letter", S::Warn,
       "against the letter of the format, but no known host minds"},
      {Kind::Random, "random", S::Warn,
       "output differs between runs fed alike (random by design, or uninitialised state): "
       "renders and freezes do not repeat"},
      {Kind::OddInput, "odd input", S::Warn,
       "only on input no host sends (a malformed LV2 atom sequence, a parent window that does "
       "not exist): a host's fault, though a sturdier plug-in survives it"},
  };
  return kinds;
}

const KindInfo& kindInfo(Kind kind) {
  return allKinds()[static_cast<size_t>(kind)];
}

bool kindByName(const std::string& name, Kind& kind) {
  for (const KindInfo& k : allKinds())
    if (name == k.name) {
      kind = k.kind;
      return true;
    }
  return false;
}

const Finding* CheckResult::first() const {
  for (const Finding& f : findings)
    if (f.severity() == Severity::Fail) return &f;
  return findings.empty() ? nullptr : &findings.front();
}

std::string encodeFinding(const Finding& f) {
  std::string line = std::string("F\t") + kindInfo(f.kind).name + "\t" + std::to_string(f.count) +
                     "\t" + clean(f.text);
  for (const Where& w : f.where) line += "\t" + clean(w.key) + "\t" + clean(w.value);
  return line + "\n";
}

std::string encodeCount(long count) {
  return "C\t" + std::to_string(count) + "\n";
}

std::string encodeResult(const CheckResult& r) {
  std::string line = "R\t" + clean(r.check) + "\t" + std::to_string(static_cast<int>(r.status)) +
                     "\t" + std::to_string(r.cases) + "\t" + std::to_string(r.failures) + "\t" +
                     std::to_string(r.warnings) + "\t" + std::to_string(r.dropped) + "\t" +
                     clean(r.detail);
  for (const Figure& f : r.figures)
    line += "\t" + clean(f.name) + "\t" + khost::formatGeneral(f.value) + "\t" + clean(f.unit);
  return line + "\n";
}

bool decodeLine(const std::string& line, CheckResult& r, bool& ok) {
  const std::vector<std::string> f = split(line);
  ok = false;
  if (f[0] == "F") {
    Finding n;
    if (f.size() < 4 || f.size() % 2 != 0 || !kindByName(f[1], n.kind) || !toLong(f[2], n.count))
      return false;
    n.text = f[3];
    for (size_t i = 4; i + 1 < f.size(); i += 2) n.where.push_back(Where{f[i], f[i + 1]});
    r.findings.push_back(n);
    ok = true;
    return false;
  }
  if (f[0] == "C") {
    long count = 0;
    if (f.size() != 2 || !toLong(f[1], count) || r.findings.empty()) return false;
    r.findings.back().count = count;
    ok = true;
    return false;
  }
  long status = 0;
  if (f.size() < 8 || f[0] != "R" || (f.size() - 8) % 3 != 0 || !toLong(f[2], status) ||
      status < 0 || status > 3 || !toLong(f[3], r.cases) || !toLong(f[4], r.failures) ||
      !toLong(f[5], r.warnings) || !toLong(f[6], r.dropped))
    return false;
  r.check = f[1];
  r.status = static_cast<Status>(status);
  r.detail = f[7];
  for (size_t i = 8; i + 2 < f.size(); i += 3) {
    double v = 0;
    if (!khost::parseDouble(f[i + 1], v)) v = 0;
    r.figures.push_back(Figure{f[i], v, f[i + 2]});
  }
  ok = true;
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
