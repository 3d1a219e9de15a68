#include "tools/commands/render_options.h"

#include <algorithm>
#include <cmath>

#include "tools/base/cli.h"

namespace khost {

CcRequest parseCc(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t colon = text.find(':', start);
    parts.push_back(
        text.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  if (parts.size() != 4)
    usageError("--cc wants TIME:CHANNEL:CONTROLLER:VALUE, got \"" + text + "\"");
  CcRequest cc;
  cc.text = text;
  cc.time = doubleOption("--cc time", parts[0], 0.0, 1e6);
  cc.channel = static_cast<int>(intOption("--cc channel", parts[1], 1, 16));
  cc.controller = static_cast<int>(intOption("--cc controller", parts[2], 0, 127));
  cc.value = static_cast<int>(intOption("--cc value", parts[3], 0, 127));
  return cc;
}

std::vector<MidiControlChange> ccEvents(const std::vector<CcRequest>& requests, double rate,
                                        int64_t total) {
  std::vector<MidiControlChange> events;
  for (const CcRequest& cc : requests) {
    const int64_t frame = std::llround(cc.time * rate);
    if (frame >= total)
      usageError("--cc " + cc.text + " lies past the end of the render (" +
                 formatDouble(static_cast<double>(total) / rate, 6) + " s)");
    events.push_back(MidiControlChange{frame, static_cast<uint8_t>(cc.channel - 1),
                                       static_cast<uint8_t>(cc.controller),
                                       static_cast<uint8_t>(cc.value)});
  }
  std::stable_sort(
      events.begin(), events.end(),
      [](const MidiControlChange& a, const MidiControlChange& b) { return a.frame < b.frame; });
  return events;
}

SampleFormat parseFormat(const std::string& text) {
  if (text == "float") return SampleFormat::Float32;
  if (text == "pcm24") return SampleFormat::Pcm24;
  usageError("--format is 'float' or 'pcm24', not \"" + text + "\"");
}

}  // namespace khost
