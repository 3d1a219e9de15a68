// atom-input: what arrives on the atom input ports. MIDI of every kind,
// short and malformed messages among it (a lone 0xB0 is ignored, never read
// as a controller set to 0); time:Position with odd values (tempo 0, NaN,
// negative, huge); and malformed sequences: an event whose size runs past
// the buffer, events out of order, past the block, of zero size or unknown
// type (no host sends these: warnings, even a crash). The sequence buffer
// ends at a guard page, so reading past it is a crash that names it. Output
// stays finite and bounded.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "lv2/atom/atom.h"
#include "lv2/midi/midi.h"
#include "tools/base/cli.h"
#include "tools/validate/cases.h"
#include "tools/validate/lv2/lv2_groups.h"
#include "tools/validate/signals.h"

namespace validate::lv2 {

namespace {

constexpr uint32_t kBlock = 256;

std::string hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  for (uint8_t b : bytes) {
    char h[4];
    std::snprintf(h, sizeof h, "%02X", b);
    text += (text.empty() ? "" : " ") + std::string(h);
  }
  return text;
}

bool takesEvents(Check& c, bool midi, bool time) {
  const Plugin& p = Plugin::find(c.pluginPath());
  for (uint32_t i : p.atomIns)
    if ((midi && p.port(i).midi) || (time && p.port(i).time) || (!midi && !time)) return true;
  return false;
}

// Runs one block and reports unbounded output (of `kind`).
void judge(Check& c, Instance& inst, int64_t& clock, const std::string& what,
           Kind kind = Kind::Output) {
  float value = 0;
  long at = 0;
  const bool ok = runChecked(inst, kBlock, clock, kOutputBound, &value, &at);
  clock += kBlock;
  c.tried();
  if (!ok)
    c.report(kind, what + ": output " + describeFloat(value) + " at frame " + std::to_string(at));
}

void midiMessages(Check& c) {
  if (!takesEvents(c, true, false)) return c.skip("no atom input takes MIDI");
  Instance inst(c.pluginPath());
  inst.activate();
  int64_t clock = 0;
  const std::vector<std::vector<uint8_t>> odd = {{0xB0},
                                                 {0xB0, 0x07},
                                                 {0x90},
                                                 {0x90, 60},
                                                 {0xE0, 0x00},
                                                 {0xC0},
                                                 {0x80, 60, 0, 0x90, 60, 100},
                                                 {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7},
                                                 {0xF0, 0x01, 0x02},
                                                 {0xF7},
                                                 {0xFF},
                                                 {0xF8},
                                                 {0x07, 0x7F},
                                                 {0x40},
                                                 {0xB0, 0xFF, 0xFF},
                                                 {0x90, 0x80, 0x80},
                                                 {0xB0, 0x79, 0x00},
                                                 {0xB0, 0x7B, 0x00}};
  for (int round = 0; round < 4 * c.level(); ++round) {
    for (const auto& bytes : odd) {
      const std::string what = "MIDI [" + hex(bytes) + "]";
      c.step(what);
      inst.midi(static_cast<uint32_t>(c.between(0, kBlock - 1)), bytes);
      judge(c, inst, clock, what);
    }
    // Every channel message with random data.
    for (int status = 0x80; status < 0xF0; status += 0x10) {
      const uint8_t channel = static_cast<uint8_t>(c.between(0, 15));
      const std::vector<uint8_t> bytes = {static_cast<uint8_t>(status | channel),
                                          static_cast<uint8_t>(c.between(0, 127)),
                                          static_cast<uint8_t>(c.between(0, 127))};
      c.step("MIDI status " + std::to_string(status));
      inst.midi(static_cast<uint32_t>(c.between(0, kBlock - 1)), bytes);
      judge(c, inst, clock, "MIDI status " + std::to_string(status));
    }
  }
}

// A message shorter than its status byte needs carries no value: two
// instances with the same random port values, one fed only such messages,
// must stay identical.
void shortMessages(Check& c) {
  if (!takesEvents(c, true, false)) return c.skip("no atom input takes MIDI");
  const Plugin& p = Plugin::find(c.pluginPath());
  (void)p;
  Instance quiet(c.pluginPath()), fed(c.pluginPath());
  quiet.activate();
  fed.activate();
  // Controllers 120 and 123 (all sound off, all notes off) cut short: many
  // plug-ins act on them, so reading them with a value of 0 shows.
  const std::vector<std::vector<uint8_t>> cut = {{0xB0}, {0xB0, 0x00}, {0xB0, 0x78}, {0xB0, 0x7B},
                                                 {0xE0}, {0xE0, 0x00}, {0x90},       {0x90, 0x3C},
                                                 {0xA0}, {0xD0}};
  std::vector<float> in(kBlock);
  for (int b = 0; b < 16 * c.level(); ++b) {
    const auto& bytes = cut[static_cast<size_t>(b) % cut.size()];
    const std::string text = hex(bytes);
    const uint8_t channel = static_cast<uint8_t>(c.between(0, 15));
    std::vector<uint8_t> sent = bytes;
    sent[0] = static_cast<uint8_t>(sent[0] | channel);
    // The same random ports on both: a message matters only where the
    // settings give it a meaning (a controller assigned to a parameter).
    for (size_t k = 0; k < quiet.controls(); ++k) {
      const float v = static_cast<float>(c.uniform(0, 1));
      quiet.setNormalized(k, v);
      fed.setNormalized(k, v);
    }
    c.step("a cut-short message [" + text + "] on channel " + std::to_string(channel));
    fed.midi(static_cast<uint32_t>(c.between(0, kBlock - 1)), sent);
    musicalSignal(in, b * kBlock, 44100, 3);
    quiet.run(in.data(), kBlock);
    fed.run(in.data(), kBlock);
    c.tried();
    Instance::State a, s;
    quiet.save(a);
    fed.save(s);
    bool same = quiet.outputs() == fed.outputs();
    if (a.size() == s.size())
      for (size_t i = 0; i < a.size(); ++i) same = same && a[i].value == s[i].value;
    else
      same = false;
    if (!same) {
      c.report(Kind::Interface, "MIDI [" + text +
                                    "], shorter than its status byte needs, changed the sound or "
                                    "the state (read as a message with a value of 0?)");
      return;
    }
  }
}

void timePositions(Check& c) {
  if (!takesEvents(c, false, true)) return c.skip("no atom input takes time:Position");
  Instance inst(c.pluginPath());
  inst.activate();
  int64_t clock = 0;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double odd[] = {0, -120, nan, inf, -inf, 1e9, 1e-9, 1e30, -0.0, 0.5, 999};
  for (int round = 0; round < 2 * c.level(); ++round)
    for (double v : odd)
      for (int field = 0; field < 6; ++field) {
        Position p;
        p.frame = clock;
        p.beat = static_cast<double>(clock) / 44100 * 2;
        const char* names[] = {"beatsPerMinute", "speed",       "beat",
                               "barBeat",        "beatsPerBar", "frame"};
        switch (field) {
          case 0:
            p.bpm = v;
            break;
          case 1:
            p.speed = v;
            break;
          case 2:
            p.beat = v;
            break;
          case 3:
            p.barBeat = v;
            break;
          case 4:
            p.beatsPerBar = v;
            break;
          default:
            p.frame = std::isfinite(v) ? static_cast<int64_t>(std::fmod(v, 9e18)) : -1;
            break;
        }
        const std::string what =
            std::string("time:Position with ") + names[field] + " " + describeFloat(v);
        const auto place = c.at({{"field", names[field]}});
        c.step(what);
        inst.position(static_cast<uint32_t>(c.between(0, kBlock - 1)), p);
        judge(c, inst, clock, what);
        // And a sane one after it: the plug-in must come back.
        Position sane;
        sane.frame = clock;
        inst.position(0, sane);
        judge(c, inst, clock, what + ", then a normal position");
      }
}

// A sequence's bytes: header, then events as given.
struct Raw {
  std::vector<uint8_t> bytes;
  Raw() {
    LV2_Atom_Sequence head{};
    head.atom.type = mapUri(LV2_ATOM__Sequence);
    head.atom.size = sizeof(LV2_Atom_Sequence_Body);
    bytes.assign(reinterpret_cast<uint8_t*>(&head), reinterpret_cast<uint8_t*>(&head + 1));
  }
  void event(int64_t frame, uint32_t type, uint32_t size, const std::vector<uint8_t>& body) {
    LV2_Atom_Event ev{};
    ev.time.frames = frame;
    ev.body.size = size;
    ev.body.type = type;
    bytes.insert(bytes.end(), reinterpret_cast<uint8_t*>(&ev), reinterpret_cast<uint8_t*>(&ev + 1));
    bytes.insert(bytes.end(), body.begin(), body.end());
    while (bytes.size() % 8 != 0) bytes.push_back(0);
  }
  // The header's size: as built, or as given.
  std::vector<uint8_t> done(int64_t headerSize = -1) {
    auto* atom = reinterpret_cast<LV2_Atom*>(bytes.data());
    atom->size = headerSize >= 0 ? static_cast<uint32_t>(headerSize)
                                 : static_cast<uint32_t>(bytes.size() - sizeof(LV2_Atom));
    return bytes;
  }
};

void malformedSequences(Check& c) {
  const Plugin& p = Plugin::find(c.pluginPath());
  if (p.atomIns.empty()) return c.skip("no atom input");
  Instance inst(c.pluginPath());
  inst.activate();
  int64_t clock = 0;
  const uint32_t midiType = mapUri(LV2_MIDI__MidiEvent);
  const std::vector<uint8_t> cc = {0xB0, 0x07, 0x40};
  for (int round = 0; round < 2 * c.level(); ++round)
    for (int order = 0; order < 9; ++order) {
      // What makes a plug-in read past the buffer comes last: a crash ends
      // the check.
      static const int kOrder[] = {2, 3, 4, 5, 7, 8, 9, 6, 0};
      const int kind = kOrder[order];
      Raw r;
      std::string what;
      std::vector<uint8_t> atom;
      switch (kind) {
        case 0:
          r.event(0, midiType, 3000, cc);
          atom = r.done();
          what = "an event of 3000 bytes in a buffer of 3";
          break;
        case 2:
          r.event(200, midiType, 3, cc);
          r.event(100, midiType, 3, cc);
          r.event(5, midiType, 3, cc);
          atom = r.done();
          what = "events out of order";
          break;
        case 3:
          r.event(kBlock + 1000, midiType, 3, cc);
          r.event(-5, midiType, 3, cc);
          atom = r.done();
          what = "events before and past the block";
          break;
        case 4:
          r.event(3, midiType, 0, {});
          atom = r.done();
          what = "a zero-size MIDI event";
          break;
        case 5:
          r.event(3, mapUri("urn:korva-host:no-such-type"), 5, {1, 2, 3, 4, 5});
          atom = r.done();
          what = "an event of an unknown type";
          break;
        case 6:
          r.event(3, midiType, 3, cc);
          atom = r.done(4);
          what = "a sequence whose header ends inside an event";
          break;
        case 7: {
          Raw beats;
          auto* body =
              reinterpret_cast<LV2_Atom_Sequence_Body*>(beats.bytes.data() + sizeof(LV2_Atom));
          body->unit = mapUri(LV2_ATOM__beatTime);
          beats.event(0, midiType, 3, cc);
          atom = beats.done();
          what = "a sequence timed in beats";
          break;
        }
        case 8:
          atom = r.done(0);
          what = "a sequence of size 0 (no body)";
          break;
        default:
          atom = r.done();
          reinterpret_cast<LV2_Atom*>(atom.data())->type = mapUri(LV2_ATOM__Chunk);
          what = "a chunk where a sequence belongs";
          break;
      }
      const auto place = c.at({{"sequence", what}});
      c.step(what);
      inst.rawSequence(atom);
      judge(c, inst, clock, what, Kind::OddInput);
    }
}

}  // namespace

std::vector<CheckDef> atomChecks() {
  return {{"MIDI messages", midiMessages, Kind::Output},
          {"cut-short MIDI", shortMessages, Kind::Interface},
          {"time:Position values", timePositions, Kind::Output},
          {"malformed sequences", malformedSequences, Kind::OddInput}};
}

}  // namespace validate::lv2
