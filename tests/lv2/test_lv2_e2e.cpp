// The LV2 bundle through korva-host, as a user runs it: the two builds give
// the same samples for the same settings, the bundle's Turtle (read by
// lilv) says what the port table says, its state survives a lilv state
// folder, and korva-host's time:Position drives a third-party LV2 delay.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "engine/VEK.h"
#include "lv2/Lv2Ports.h"
#include "presets/FactoryPresets.h"
#include "tests/support/ScratchDir.h"

namespace {

constexpr int kFileRate = 44100;
const char kUri[] = "http://vek-sonimark.com/plugins/korva";

struct Result {
  int code = -1;  // -1: killed by a signal
  std::string out, err;
};

// korva-host with an empty settings folder of its own and LV2_PATH holding
// the build's bundle and the system's.
Result host(const std::vector<std::string>& args) {
  TempDir config, scratch;
  std::string cmd = "env XDG_CONFIG_HOME=" + quote(config.path()) +
                    " HOME=" + quote(config.path()) +
                    " LV2_PATH=" + quote(KORVA_LV2_PATH ":/usr/lib/lv2") +
                    " LSAN_OPTIONS=" + quote(std::string("suppressions=") + KORVA_LSAN_SUPP) + " " +
                    quote(KORVA_HOST);
  for (const std::string& a : args) cmd += " " + quote(a);
  cmd += " >" + quote(scratch / "out") + " 2>" + quote(scratch / "err");
  const int status = std::system(cmd.c_str());
  Result r;
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = slurp(scratch / "out");
  r.err = slurp(scratch / "err");
  return r;
}

#define ASSERT_RUNS(result)                    \
  do {                                         \
    const Result& r_ = (result);               \
    ASSERT_EQ(r_.code, 0) << r_.err << r_.out; \
  } while (0)

void writeWav(const std::string& path, const std::vector<float>& interleaved, int channels,
              int rate) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  sf_writef_float(f, interleaved.data(), static_cast<sf_count_t>(interleaved.size() / channels));
  sf_close(f);
}

std::vector<float> readWav(const std::string& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(f, nullptr) << path;
  if (!f) return {};
  std::vector<float> v(static_cast<size_t>(info.frames * info.channels));
  sf_readf_float(f, v.data(), info.frames);
  sf_close(f);
  return v;
}

// Plucks that differ on the two channels, with silence between them, so
// echoes, modulation and the tails all show.
std::vector<float> music(double seconds) {
  std::vector<float> s;
  const size_t n = static_cast<size_t>(seconds * kFileRate);
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / kFileRate;
    const double local = std::fmod(t, 0.75);
    const double env = local < 0.3 ? std::exp(-9.0 * local) : 0.0;
    s.push_back(static_cast<float>(0.6 * env * std::sin(2 * M_PI * 220.0 * t)));
    s.push_back(static_cast<float>(0.5 * env * std::sin(2 * M_PI * 331.0 * t + 1.0)));
  }
  return s;
}

std::string shortest(float v) {
  char text[32];
  const auto r = std::to_chars(text, text + sizeof text, v);
  return std::string(text, r.ptr);
}

struct Comparison {
  double peak = 0, maxDiff = 0;
  size_t differing = 0, samples = 0;
};

Comparison compare(const std::vector<float>& a, const std::vector<float>& b) {
  Comparison c;
  c.samples = a.size();
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    c.peak = std::max(c.peak, static_cast<double>(std::fabs(a[i])));
    const double d = std::fabs(static_cast<double>(a[i]) - b[i]);
    c.maxDiff = std::max(c.maxDiff, d);
    if (a[i] != b[i]) ++c.differing;
  }
  return c;
}

// The chunk inside a state.ttl that lilv wrote: the base64 text of the
// korva#state property.
std::vector<uint8_t> savedChunk(const std::string& ttl) {
  std::vector<uint8_t> bytes;
  const size_t key = ttl.find("korva#state>");
  if (key == std::string::npos) return bytes;
  const size_t open = ttl.find('"', key);
  const size_t start = ttl.find_first_not_of('"', open);
  const size_t end = ttl.find('"', start);
  if (open == std::string::npos || end == std::string::npos) return bytes;
  const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  uint32_t bits = 0;
  int count = 0;
  for (size_t i = start; i < end; ++i) {
    const size_t d = digits.find(ttl[i]);
    if (d == std::string::npos) continue;  // line breaks, padding
    bits = (bits << 6) | static_cast<uint32_t>(d);
    if ((count += 6) >= 8) {
      count -= 8;
      bytes.push_back(static_cast<uint8_t>(bits >> count));
    }
  }
  return bytes;
}

}  // namespace

// The same input and settings through korva.so and korva.lv2: at the
// defaults, with three factory presets (an .fxp for the VST build, the
// bundle's pset:Preset for the LV2 build) and with hand-set values given to
// the VST build in 0..1 and to the LV2 build in the ports' units.
TEST(KorvaLv2, RendersTheSameSamplesAsTheVstBuild) {
  TempDir dir;
  writeWav(dir / "dry.wav", music(2.5), 2, kFileRate);
  struct Case {
    std::string name;
    std::vector<std::string> vst, lv2;
  };
  std::vector<Case> cases = {{"defaults", {}, {}}};
  for (const char* p : {"wow tape", "deep flanger", "16th slapback"}) {
    std::string file = p;
    for (char& c : file)
      if (c == ' ') c = '-';
    cases.push_back(
        {p, {"--load", std::string(KORVA_PRESET_DIR "/") + file + ".fxp"}, {"--preset", p}});
  }
  Case hand{"hand-set", {}, {}};
  const std::pair<int, float> values[] = {{kDlyTime, 0.125f}, {kFbck, 0.55f}, {kMix, 0.45f},
                                          {kHiCut, 0.75f},    {kDepth, 0.3f}, {kRate, 0.4f},
                                          {kWaveform, 0.2f}};
  for (const auto& [index, v] : values) {
    hand.vst.insert(hand.vst.end(),
                    {"--param", std::string(params::kParameters[index].name) + "=" + shortest(v)});
    hand.lv2.insert(hand.lv2.end(),
                    {"--param", std::string(korvalv2::controlPort(index).symbol) + "=" +
                                    shortest(korvalv2::exactPortValue(index, v))});
  }
  cases.push_back(hand);

  for (const Case& c : cases) {
    std::vector<std::string> vst = {"render", KORVA_PLUGIN, dir / "dry.wav", dir / "vst.wav",
                                    "--tail", "1.5",        "--tempo",       "90"};
    std::vector<std::string> lv2 = {"render", kUri,  dir / "dry.wav", dir / "lv2.wav",
                                    "--tail", "1.5", "--tempo",       "90"};
    vst.insert(vst.end(), c.vst.begin(), c.vst.end());
    lv2.insert(lv2.end(), c.lv2.begin(), c.lv2.end());
    ASSERT_RUNS(host(vst));
    ASSERT_RUNS(host(lv2));
    const std::vector<float> a = readWav(dir / "vst.wav"), b = readWav(dir / "lv2.wav");
    ASSERT_EQ(a.size(), b.size());
    const Comparison r = compare(a, b);
    EXPECT_GT(r.peak, 0.05) << c.name;
    EXPECT_LE(r.maxDiff, 1e-6 * r.peak) << c.name;
    std::printf("%-14s peak %.4f  max difference %.3g  samples differing %zu of %zu%s\n",
                c.name.c_str(), r.peak, r.maxDiff, r.differing, r.samples,
                r.differing == 0 ? " (bit-identical)" : "");
  }
}

// What hosts read from the bundle (through lilv) is the port table and the
// factory bank: ranges, defaults (the first preset), all 17 presets by name;
// a preset's values survive a lilv state folder together with the chunk.
TEST(KorvaLv2, BundleDescribesThePortTableAndItsStateSurvivesAStateFolder) {
  const Result info = host({"info", kUri});
  ASSERT_RUNS(info);
  for (const FactoryPreset& p : kFactoryPresets)
    EXPECT_NE(info.out.find(std::string("  ") + p.name + "  <" + kUri + "#preset-"),
              std::string::npos)
        << p.name;
  for (int i = 0; i < kNumParams; ++i) {
    const auto& port = korvalv2::controlPort(i);
    const std::string def = shortest(korvalv2::exactPortValue(i, kFactoryPresets[0].values[i]));
    std::ostringstream row;
    row << std::left << "  " << std::setw(6) << korvalv2::kPortFirstControl + i << " "
        << std::setw(14) << port.symbol << " " << std::setw(14) << params::kParameters[i].name
        << " in   " << std::setw(10) << shortest(port.hostMinimum()) << " " << std::setw(10)
        << shortest(port.hostMaximum()) << " " << std::setw(10) << def << " " << def << "\n";
    EXPECT_NE(info.out.find(row.str()), std::string::npos) << row.str() << info.out;
  }

  TempDir dir;
  ASSERT_RUNS(host({"info", kUri, "--preset", "wow tape", "--save-state", dir / "state"}));
  const std::string ttl = slurp(dir / "state/state.ttl");
  EXPECT_NE(ttl.find("korva#state"), std::string::npos) << ttl;
  // The preset's state (its number, read by lilv from the bundle) selected
  // the stored "wow tape"; the first stored preset is still "default".
  const std::vector<uint8_t> chunk = savedChunk(ttl);
  ASSERT_EQ(chunk.size(), 1736u) << ttl;
  EXPECT_EQ(chunk[12], 6);
  EXPECT_STREQ(reinterpret_cast<const char*>(&chunk[32]), "default");
  EXPECT_STREQ(reinterpret_cast<const char*>(&chunk[32 + 96 * 6]), "wow tape");
  const Result back = host({"info", kUri, "--load-state", dir / "state"});
  ASSERT_RUNS(back);
  const FactoryPreset& wow = kFactoryPresets[6];
  ASSERT_STREQ(wow.name, "wow tape");
  for (int i : {kInput, kDlyTime, kFbck, kWaveform}) {
    const std::string value = shortest(korvalv2::exactPortValue(i, wow.values[i]));
    EXPECT_NE(back.out.find(" " + value + "\n"), std::string::npos)
        << korvalv2::controlPort(i).symbol << " " << value << "\n"
        << back.out;
  }
}

// korva-host's time:Position reaches any LV2 delay, here Ardour's a-delay in
// tempo sync (a quarter note): its echo of an impulse comes 1000 ms after it
// at 60 BPM, 500 ms at 120 BPM, and at its own 160 ms with no transport.
TEST(Lv2Host, TransportDrivesAThirdPartyDelay) {
  TempDir dir;
  constexpr int rate = 48000;
  std::vector<float> impulse(2 * rate, 0.0f);
  impulse[rate / 10] = 1.0f;
  writeWav(dir / "impulse.wav", impulse, 1, rate);
  const struct {
    std::vector<std::string> args;
    double ms;
  } cases[] = {
      {{"--tempo", "60"}, 1000.0}, {{"--tempo", "120"}, 500.0}, {{"--no-transport"}, 160.0}};
  for (const auto& c : cases) {
    std::vector<std::string> args = {"render",
                                     "urn:ardour:a-delay",
                                     dir / "impulse.wav",
                                     dir / "out.wav",
                                     "--param",
                                     "drywet=100",
                                     "--param",
                                     "feedback=0",
                                     "--param",
                                     "sync=1"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result r = host(args);
    ASSERT_EQ(r.code, 0) << "Ardour's a-delay (package ardour-lv2-plugins): " << r.err;
    const std::vector<float> out = readWav(dir / "out.wav");
    size_t peak = 0;
    for (size_t i = 0; i < out.size(); i += 2)
      if (std::fabs(out[i]) > std::fabs(out[peak])) peak = i;
    const double ms = (static_cast<double>(peak / 2) - rate / 10) * 1000.0 / rate;
    EXPECT_NEAR(ms, c.ms, 1.0) << c.args.front();
  }
}
