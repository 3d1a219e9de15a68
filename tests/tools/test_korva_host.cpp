// korva-host driven as a user would: a child process with arguments, its exit
// code, its stdout and stderr, and the files it leaves behind.
#include <cairo.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/XvfbServer.h"
#include "tests/tools/interposer_names.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Result {
  int code = -1;
  bool exited = false;  // false: killed by a signal (a crash)
  std::string out, err;
};

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/kh-test-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    DIR* d = opendir(path_.c_str());
    while (dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
        names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

Bytes readBytes(const std::string& path) {
  const std::string s = slurp(path);
  return Bytes(s.begin(), s.end());
}

void writeBytes(const std::string& path, const Bytes& b) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// env: extra "NAME=value" words put before the command (or "-u NAME").
Result run(const std::vector<std::string>& args, const std::string& env = "") {
  static TempDir scratch;
  std::string cmd = "env " + env + " " + quote(KH_HOST);
  for (const std::string& a : args) cmd += " " + quote(a);
  cmd += " >" + quote(scratch / "out") + " 2>" + quote(scratch / "err");
  const int status = std::system(cmd.c_str());
  Result r;
  r.exited = WIFEXITED(status);
  r.code = r.exited ? WEXITSTATUS(status) : -1;
  r.out = slurp(scratch / "out");
  r.err = slurp(scratch / "err");
  return r;
}

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string t; in >> t;) w.push_back(t);
  return w;
}

// True when some output line consists of exactly these words.
bool hasRow(const std::string& text, const std::vector<std::string>& row) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (words(line) == row) return true;
  return false;
}

int lineCount(const std::string& s) {
  return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
}

// An error is one line on stderr with the documented code, and no crash.
void expectOneLineError(const Result& r, int code, const std::string& fragment) {
  EXPECT_TRUE(r.exited) << "korva-host crashed";
  EXPECT_EQ(r.code, code) << r.err;
  EXPECT_EQ(lineCount(r.err), 1) << r.err;
  EXPECT_EQ(r.err.rfind("korva-host", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
}

struct Wav {
  int rate = 0, channels = 0, format = 0;
  std::vector<float> left, right;
};

void writeWav(const std::string& path, int rate, const std::vector<float>& left,
              const std::vector<float>* right) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = right != nullptr ? 2 : 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  std::vector<float> inter;
  for (size_t i = 0; i < left.size(); ++i) {
    inter.push_back(left[i]);
    if (right != nullptr) inter.push_back((*right)[i]);
  }
  sf_writef_float(f, inter.data(), static_cast<sf_count_t>(left.size()));
  sf_close(f);
}

Wav readWav(const std::string& path) {
  Wav w;
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (f == nullptr) return w;
  w.rate = info.samplerate;
  w.channels = info.channels;
  w.format = info.format;
  std::vector<float> inter(static_cast<size_t>(info.frames * info.channels));
  sf_readf_float(f, inter.data(), info.frames);
  sf_close(f);
  for (sf_count_t i = 0; i < info.frames; ++i) {
    w.left.push_back(inter[static_cast<size_t>(i * info.channels)]);
    w.right.push_back(inter[static_cast<size_t>(i * info.channels + info.channels - 1)]);
  }
  return w;
}

// A stereo test signal of exactly representable values, different per side.
void testSignal(size_t n, std::vector<float>& l, std::vector<float>& r) {
  l.resize(n);
  r.resize(n);
  for (size_t i = 0; i < n; ++i) {
    l[i] = static_cast<float>(static_cast<int>(i % 97) - 48) / 64.0f;
    r[i] = static_cast<float>(static_cast<int>(i % 31) - 15) / -128.0f;
  }
}

// ---------------------------------------------------------------- info

TEST(Info, DescribesTheTestPlugin) {
  const Result r = run({"info", KH_PLUGIN});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("name:             KH Test Gain\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("vendor:           korva-host tests\n"), std::string::npos);
  EXPECT_NE(r.out.find("product:          KH Test Gain Product\n"), std::string::npos);
  // 'K' 0x4B, 'h' 0x68, 'T' 0x54, '1' 0x31.
  EXPECT_NE(r.out.find("unique id:        'KhT1' (0x4B685431)\n"), std::string::npos);
  EXPECT_NE(r.out.find("plug-in version:  7\n"), std::string::npos);
  EXPECT_NE(r.out.find("VST version:      2400\n"), std::string::npos);
  EXPECT_NE(r.out.find("category:         1 (Effect)\n"), std::string::npos);
  // HasEditor 1 | CanReplacing 16.
  EXPECT_NE(r.out.find("flags:            0x00000011 HasEditor CanReplacing\n"), std::string::npos);
  EXPECT_NE(r.out.find("programs:         2\n"), std::string::npos);
  EXPECT_NE(r.out.find("parameters:       3\n"), std::string::npos);
  EXPECT_TRUE(hasRow(r.out, {"receiveVstMidiEvent:", "yes", "(1)"})) << r.out;
  EXPECT_TRUE(hasRow(r.out, {"bypass:", "no", "(-1)"}));
  EXPECT_NE(r.out.find("program:          0 \"Prog A\"\n"), std::string::npos);
  // The table: index, name, display (value * 200), label, value.
  EXPECT_TRUE(hasRow(r.out, {"index", "name", "display", "label", "value"}));
  EXPECT_TRUE(hasRow(r.out, {"0", "Gain", "100", "%", "0.500000"}));
  EXPECT_TRUE(hasRow(r.out, {"1", "Delay", "0", "0.000000"}));
  EXPECT_TRUE(hasRow(r.out, {"2", "Probe", "0", "0.000000"}));
}

TEST(Info, FallsBackToTheMainEntryPoint) {
  const Result r = run({"info", KH_PLUGIN_CHUNKS});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("'KhT2'"), std::string::npos);
  EXPECT_NE(r.out.find("CanReplacing ProgramChunks"), std::string::npos);
}

TEST(Info, NumbersUseDotsUnderAnyLocale) {
  const Result r = run({"info", KH_PLUGIN}, "LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("0.500000"), std::string::npos);
  EXPECT_EQ(r.out.find("0,5"), std::string::npos);
}

TEST(Info, DebianLinuxVstPlugin) {
  const char* const candidates[] = {"/usr/lib/vst/MVerb-vst.so", "/usr/lib/vst/3BandEQ-vst.so",
                                    "/usr/lib/vst/lsp-plugins/comp-delay-stereo.so",
                                    "/usr/lib/vst/lsp-plugins/art-delay-stereo.so"};
  std::string found;
  for (const char* c : candidates)
    if (access(c, R_OK) == 0) {
      found = c;
      break;
    }
  if (found.empty()) GTEST_SKIP() << "neither dpf-plugins-vst nor lsp-plugins-vst is installed";
  const Result r = run({"info", found});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("VST version:      2400"), std::string::npos) << r.out;
  ASSERT_NE(r.out.find("parameter table:"), std::string::npos) << r.out;
  // The first parameter row: index 0 first, a value in 0..1 with six decimals last.
  const std::string table = r.out.substr(r.out.find("parameter table:"));
  std::istringstream in(table);
  std::string line;
  std::getline(in, line);
  std::getline(in, line);
  EXPECT_EQ(words(line).front(), "index");
  std::getline(in, line);
  const std::vector<std::string> first = words(line);
  ASSERT_GE(first.size(), 3u) << line;
  EXPECT_EQ(first.front(), "0");
  const std::string value = first.back();
  ASSERT_EQ(value.size(), 8u) << line;
  EXPECT_TRUE(value[1] == '.' && (value[0] == '0' || value[0] == '1')) << line;
}

TEST(Info, LoadErrorsAreOneLineAndExitTwo) {
  TempDir dir;
  expectOneLineError(run({"info", dir / "missing.so"}), 2, "missing.so");
  writeBytes(dir / "text.so", Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
  expectOneLineError(run({"info", dir / "text.so"}), 2, "text.so");
  expectOneLineError(run({"info", KH_NO_ENTRY}), 2, "entry point");
  expectOneLineError(run({"info", KH_NULL_ENTRY}), 2, "no effect");
  expectOneLineError(run({"info", KH_BAD_MAGIC}), 2, "wrong magic");
}

TEST(Info, UsageErrorsExitOne) {
  expectOneLineError(run({"info"}), 1, "no plug-in");
  expectOneLineError(run({"info", KH_PLUGIN, "--bogus"}), 1, "--bogus");
  expectOneLineError(run({"frobnicate"}), 1, "unknown command");
  expectOneLineError(run({"info", KH_PLUGIN, "--load"}), 1, "--load");
  for (const char* cmd : {"info", "render", "bench", "gui", "screenshot"}) {
    const Result r = run({cmd, "--help"});
    EXPECT_EQ(r.code, 0) << cmd;
    EXPECT_NE(r.out.find("usage: korva-host"), std::string::npos) << cmd;
    EXPECT_NE(r.out.find("Exit codes"), std::string::npos) << cmd;
  }
}

// ---------------------------------------------------------------- render

class Render : public ::testing::Test {
 protected:
  void SetUp() override {
    testSignal(1000, left, right);
    writeWav(dir / "in.wav", 8000, left, &right);
  }
  TempDir dir;
  std::vector<float> left, right;
};

TEST_F(Render, GainIsExactPerSample) {
  const Result r =
      run({"render", KH_PLUGIN, dir / "in.wav", dir / "out.wav", "--param", "Gain=0.75"});
  ASSERT_EQ(r.code, 0) << r.err;
  const Wav w = readWav(dir / "out.wav");
  EXPECT_EQ(w.rate, 8000);
  EXPECT_EQ(w.channels, 2);
  EXPECT_EQ(w.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  ASSERT_EQ(w.left.size(), 1000u);
  for (size_t i = 0; i < 1000; ++i) {
    ASSERT_EQ(w.left[i], left[i] * 1.5f) << i;
    ASSERT_EQ(w.right[i], right[i] * 1.5f) << i;
  }
}

// The validator's monitors replace libc's allocation and blocking calls for
// their whole process; every other command must run plug-ins on the real ones.
TEST_F(Render, PluginsRunOnLibcNotOnTheValidatorsMonitors) {
  const Result r = run({"render", KH_PROBE, dir / "in.wav", dir / "out.wav"});
  ASSERT_EQ(r.code, 0) << r.err;
  const Wav w = readWav(dir / "out.wav");
  const auto& names = khtest::kInterposedNames;
  ASSERT_GE(w.left.size(), std::size(names));
  for (size_t i = 0; i < std::size(names); ++i)
    EXPECT_EQ(w.left[i], 0.0f) << names[i] << " is korva-host's own, not libc's";
}

TEST_F(Render, ParametersByCaseInsensitiveNameAndIndex) {
  ASSERT_EQ(run({"render", KH_PLUGIN, dir / "in.wav", dir / "a.wav", "--param", "gAIN=0.25",
                 "--param", "delay=1"})
                .code,
            0);
  ASSERT_EQ(run({"render", KH_PLUGIN, dir / "in.wav", dir / "b.wav", "--param", "0=0.25", "--param",
                 "1=0.5"})
                .code,
            0);
  const Wav a = readWav(dir / "a.wav"), b = readWav(dir / "b.wav");
  ASSERT_EQ(a.left.size(), 1000u);
  EXPECT_EQ(a.left, b.left);
  EXPECT_EQ(a.left[0], 0.0f);  // one sample of delay, gain 0.5
  for (size_t i = 1; i < 1000; ++i) ASSERT_EQ(a.left[i], left[i - 1] * 0.5f) << i;
}

TEST_F(Render, BlockSizesGiveTheSameSamplesAndEventsLandOnTheirFrames) {
  // 8000 Hz: 0.0125 s is frame 100 (CC 7 = 127: gain 2), 0.05 s is frame 400
  // (CC 8 on channel 3: gain 3).
  std::vector<float> expectL(1000), expectR(1000);
  for (size_t i = 0; i < 1000; ++i) {
    const float g = i < 100 ? 1.0f : i < 400 ? 2.0f : 3.0f;
    expectL[i] = left[i] * g;
    expectR[i] = right[i] * g;
  }
  for (const char* block : {"1", "7", "512"}) {
    const std::string out = dir / (std::string("cc") + block + ".wav");
    const Result r = run({"render", KH_PLUGIN, dir / "in.wav", out, "--block", block, "--cc",
                          "0.05:3:8:0", "--cc", "0.0125:1:7:127"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Wav w = readWav(out);
    EXPECT_EQ(w.left, expectL) << "block " << block;
    EXPECT_EQ(w.right, expectR) << "block " << block;
  }
}

TEST_F(Render, TailAppendsSilenceAfterTheInput) {
  const Result r = run({"render", KH_PLUGIN, dir / "in.wav", dir / "out.wav", "--tail", "0.05",
                        "--param", "Delay=1"});
  ASSERT_EQ(r.code, 0) << r.err;
  const Wav w = readWav(dir / "out.wav");
  ASSERT_EQ(w.left.size(), 1400u);     // 1000 + 0.05 s * 8000
  EXPECT_EQ(w.left[1000], left[999]);  // the delayed last input sample
  for (size_t i = 1001; i < 1400; ++i) ASSERT_EQ(w.left[i], 0.0f) << i;
}

TEST_F(Render, MonoInputFeedsBothSidesOrLeavesPinOneUnconnected) {
  writeWav(dir / "mono.wav", 8000, left, nullptr);
  ASSERT_EQ(run({"render", KH_PLUGIN, dir / "mono.wav", dir / "dup.wav"}).code, 0);
  Wav w = readWav(dir / "dup.wav");
  EXPECT_EQ(w.channels, 2);
  EXPECT_EQ(w.left, left);
  EXPECT_EQ(w.right, left);

  // With --mono-in the plug-in hears input 1 is unconnected and uses input 0:
  // the right output follows the stereo file's left side, not its right.
  ASSERT_EQ(run({"render", KH_PLUGIN, dir / "in.wav", dir / "monoin.wav", "--mono-in"}).code, 0);
  w = readWav(dir / "monoin.wav");
  EXPECT_EQ(w.right, left);

  // Pin probe: left = input pin 1 answer + 10 * output pin 1 answer (0 is
  // connected), right = the sample rate.
  struct {
    std::vector<std::string> flags;
    float pins;
    int channels;
  } const cases[] = {{{}, 0.0f, 2},
                     {{"--mono-in"}, 1.0f, 2},
                     {{"--mono-out"}, 10.0f, 1},
                     {{"--mono-in", "--mono-out"}, 11.0f, 1}};
  for (const auto& c : cases) {
    std::vector<std::string> args = {"render",         KH_PLUGIN, dir / "in.wav",
                                     dir / "pins.wav", "--param", "Probe=1"};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    ASSERT_EQ(run(args).code, 0);
    w = readWav(dir / "pins.wav");
    EXPECT_EQ(w.channels, c.channels);
    EXPECT_EQ(w.left.front(), c.pins);
    EXPECT_EQ(w.left.back(), c.pins);
    if (c.channels == 2) {
      EXPECT_EQ(w.right.front(), 8000.0f);
    }
  }
}

TEST_F(Render, TransportAdvancesWithTempoOrIsNull) {
  // Time probe: left = ppqPos, right = samplePos at the start of each block.
  ASSERT_EQ(run({"render", KH_PLUGIN, dir / "in.wav", dir / "t.wav", "--param", "Probe=0.5",
                 "--block", "100", "--tempo", "120", "--ppq", "2"})
                .code,
            0);
  Wav w = readWav(dir / "t.wav");
  ASSERT_EQ(w.left.size(), 1000u);
  for (size_t i = 0; i < 1000; ++i) {
    const size_t start = i / 100 * 100;
    // 120 bpm = 2 quarter notes per second; 100 frames at 8000 Hz = 1/80 s.
    ASSERT_FLOAT_EQ(w.left[i], 2.0f + static_cast<float>(start) / 4000.0f) << i;
    ASSERT_EQ(w.right[i], static_cast<float>(start)) << i;
  }
  ASSERT_EQ(run({"render", KH_PLUGIN, dir / "in.wav", dir / "n.wav", "--param", "Probe=0.5",
                 "--no-transport"})
                .code,
            0);
  w = readWav(dir / "n.wav");
  for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(w.left[i], -1.0f) << i;
}

TEST_F(Render, Pcm24AndPlot) {
  const Result r = run({"render", KH_PLUGIN, dir / "in.wav", dir / "o.wav", "--format", "pcm24",
                        "--plot", dir / "p.png"});
  ASSERT_EQ(r.code, 0) << r.err;
  const Wav w = readWav(dir / "o.wav");
  EXPECT_EQ(w.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
  for (size_t i = 0; i < 1000; ++i) ASSERT_NEAR(w.left[i], left[i], 1.0 / (1 << 23)) << i;
  const Bytes png = readBytes(dir / "p.png");
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
  EXPECT_EQ(std::memcmp(png.data() + 12, "IHDR", 4), 0);
}

TEST_F(Render, ErrorsLeaveAnExistingOutputUntouched) {
  const Bytes original = {'k', 'e', 'e', 'p', ' ', 'm', 'e'};
  writeBytes(dir / "out.wav", original);
  writeBytes(dir / "text.wav", Bytes{'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'});
  const std::string in = dir / "in.wav", out = dir / "out.wav";
  struct {
    std::vector<std::string> args;
    int code;
    const char* fragment;
  } const cases[] = {
      {{"render", KH_PLUGIN, dir / "missing.wav", out}, 3, "missing.wav"},
      {{"render", KH_PLUGIN, dir / "text.wav", out}, 3, "text.wav"},
      {{"render", dir / "missing.so", in, out}, 2, "missing.so"},
      {{"render", KH_NULL_ENTRY, in, out}, 2, "no effect"},
      {{"render", KH_PLUGIN, in, out, "--param", "Volume=0.5"}, 1, "Volume"},
      {{"render", KH_PLUGIN, in, out, "--param", "3=0.5"}, 1, "out of range"},
      {{"render", KH_PLUGIN, in, out, "--param", "-1=0.5"}, 1, "out of range"},
      {{"render", KH_PLUGIN, in, out, "--param", "Gain=1.5"}, 1, "outside 0..1"},
      {{"render", KH_PLUGIN, in, out, "--param", "Gain=abc"}, 1, "abc"},
      {{"render", KH_PLUGIN, in, out, "--param", "Gain=0,5"}, 1, "0,5"},
      {{"render", KH_PLUGIN, in, out, "--block", "0"}, 1, "--block"},
      {{"render", KH_PLUGIN, in, out, "--block", "12x"}, 1, "12x"},
      {{"render", KH_PLUGIN, in, out, "--rate", "44100"}, 1, "44100"},
      {{"render", KH_PLUGIN, in, out, "--cc", "0.1:17:7:1"}, 1, "channel"},
      {{"render", KH_PLUGIN, in, out, "--cc", "0.1:1:7"}, 1, "TIME:CHANNEL"},
      {{"render", KH_PLUGIN, in, out, "--cc", "5:1:7:1"}, 1, "past the end"},
      {{"render", KH_PLUGIN, in, out, "--load", dir / "missing.fxp"}, 3, "missing.fxp"},
      {{"render", KH_PLUGIN, in}, 1, "OUT.wav"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    expectOneLineError(run(c.args), c.code, c.fragment);
    EXPECT_EQ(readBytes(out), original);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.wav", "text.wav"}))
        << "temporary file left";
  }
  // The same output path succeeds and is replaced whole.
  ASSERT_EQ(run({"render", KH_PLUGIN, in, out}).code, 0);
  EXPECT_EQ(readWav(out).left, left);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.wav", "text.wav"}));
}

// ---------------------------------------------------------------- state files

void add32(Bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
}
void addFloat(Bytes& b, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  add32(b, v);
}
void addName(Bytes& b, const std::string& s, size_t field) {
  b.insert(b.end(), s.begin(), s.end());
  b.insert(b.end(), field - s.size(), 0);
}
void addText(Bytes& b, const char* s) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(s[i]));
}

// 'KhT1' program with three parameters, written out by hand.
Bytes handFxp(const char* id, const std::string& name, float gain, float delay, float probe) {
  Bytes b;
  addText(b, "CcnK");
  add32(b, 56 + 12 - 8);
  addText(b, "FxCk");
  add32(b, 1);
  addText(b, id);
  add32(b, 7);
  add32(b, 3);
  addName(b, name, 28);
  addFloat(b, gain);
  addFloat(b, delay);
  addFloat(b, probe);
  return b;
}

TEST(State, ProgramFileLoadsIntoParametersAndSavesBackTheSameBytes) {
  TempDir dir;
  const Bytes fxp = handFxp("KhT1", "Loud", 0.75f, 0.0f, 0.0f);
  writeBytes(dir / "p.fxp", fxp);
  const Result r = run({"info", KH_PLUGIN, "--load", dir / "p.fxp", "--save-chunk", dir / "q.fxp"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(hasRow(r.out, {"0", "Gain", "150", "%", "0.750000"})) << r.out;
  EXPECT_NE(r.out.find("\"Loud\""), std::string::npos);
  EXPECT_EQ(readBytes(dir / "q.fxp"), fxp);

  std::vector<float> l, rr;
  testSignal(300, l, rr);
  writeWav(dir / "in.wav", 8000, l, &rr);
  ASSERT_EQ(run({"render", KH_PLUGIN, dir / "in.wav", dir / "o.wav", "--load", dir / "p.fxp"}).code,
            0);
  const Wav w = readWav(dir / "o.wav");
  ASSERT_EQ(w.left.size(), 300u);
  for (size_t i = 0; i < 300; ++i) ASSERT_EQ(w.left[i], l[i] * 1.5f) << i;
}

TEST(State, BankFileRoundTripsThroughThePlugin) {
  TempDir dir;
  Bytes b;
  addText(b, "CcnK");
  add32(b, 156 + 2 * 68 - 8);
  addText(b, "FxBk");
  add32(b, 1);
  addText(b, "KhT1");
  add32(b, 7);
  add32(b, 2);
  b.insert(b.end(), 128, 0);
  const Bytes p0 = handFxp("KhT1", "First", 0.125f, 1.0f, 0.0f);
  const Bytes p1 = handFxp("KhT1", "Second", 0.875f, 0.0f, 0.25f);
  b.insert(b.end(), p0.begin(), p0.end());
  b.insert(b.end(), p1.begin(), p1.end());
  writeBytes(dir / "b.fxb", b);
  const Result r = run({"info", KH_PLUGIN, "--load", dir / "b.fxb", "--save-chunk", dir / "c.fxb"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(readBytes(dir / "c.fxb"), b);
  // The current program stays the first: its Gain 0.125 shows as 25.
  EXPECT_TRUE(hasRow(r.out, {"0", "Gain", "25", "%", "0.125000"})) << r.out;
}

TEST(State, RefusedFilesChangeNothing) {
  TempDir dir;
  const Bytes other = handFxp("KhT9", "Other", 0.75f, 0.0f, 0.0f);
  writeBytes(dir / "other.fxp", other);
  Bytes truncated = handFxp("KhT1", "Short", 0.75f, 0.0f, 0.0f);
  truncated.pop_back();
  writeBytes(dir / "short.fxp", truncated);
  Bytes oversized = handFxp("KhT1", "Long", 0.75f, 0.0f, 0.0f);
  oversized.push_back(0);
  writeBytes(dir / "long.fxp", oversized);
  Bytes magic = handFxp("KhT1", "Magic", 0.75f, 0.0f, 0.0f);
  magic[0] = 'X';
  writeBytes(dir / "magic.fxp", magic);
  writeBytes(dir / "raw.bin", Bytes{1, 2, 3});
  const Bytes program = handFxp("KhT1", "Prog", 0.75f, 0.0f, 0.0f);
  writeBytes(dir / "asbank.fxb", program);

  const Bytes keep = {'o', 'l', 'd'};
  writeBytes(dir / "saved.fxp", keep);
  struct {
    const char* file;
    const char* fragment;
  } const cases[] = {{"other.fxp", "KhT9"},     {"short.fxp", "shorter"},
                     {"long.fxp", "longer"},    {"magic.fxp", "CcnK"},
                     {"raw.bin", "chunk"},      {"asbank.fxb", "extension"},
                     {"nothere.fxp", "nothere"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const Result r =
        run({"info", KH_PLUGIN, "--load", dir / c.file, "--save-chunk", dir / "saved.fxp"});
    expectOneLineError(r, 3, c.fragment);
    EXPECT_EQ(r.out, "") << "nothing printed before the refusal";
    EXPECT_EQ(readBytes(dir / "saved.fxp"), keep);
  }
}

// The chunk plug-in's program chunk: "KHTP", a 24-byte name, three floats in
// the machine's order.
Bytes programChunk(const std::string& name, float gain, float delay, float probe) {
  Bytes c = {'K', 'H', 'T', 'P'};
  addName(c, name, 24);
  for (float f : {gain, delay, probe}) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&f);
    c.insert(c.end(), p, p + 4);
  }
  return c;
}

TEST(State, ChunkPluginUsesChunkFormsAndRawFiles) {
  TempDir dir;
  // Saving a program: 'FPCh', id 'KhT2', 3 parameters, chunk of 40 bytes.
  ASSERT_EQ(run({"info", KH_PLUGIN_CHUNKS, "--save-chunk", dir / "p.fxp"}).code, 0);
  Bytes expect;
  addText(expect, "CcnK");
  add32(expect, 56 + 4 + 40 - 8);
  addText(expect, "FPCh");
  add32(expect, 1);
  addText(expect, "KhT2");
  add32(expect, 7);
  add32(expect, 3);
  addName(expect, "Prog A", 28);
  add32(expect, 40);
  const Bytes chunk = programChunk("Prog A", 0.5f, 0.0f, 0.0f);
  expect.insert(expect.end(), chunk.begin(), chunk.end());
  EXPECT_EQ(readBytes(dir / "p.fxp"), expect);

  // A bank chunk selecting program 1 with Gain 0.125: audio at gain 0.25.
  Bytes bank = {'K', 'H', 'T', 'B', 1, 0, 0, 0};
  const Bytes a = programChunk("A", 0.5f, 0.0f, 0.0f), b = programChunk("B", 0.125f, 0.0f, 0.0f);
  bank.insert(bank.end(), a.begin() + 4, a.end());
  bank.insert(bank.end(), b.begin() + 4, b.end());
  writeBytes(dir / "state.bin", bank);
  Bytes fxb;
  addText(fxb, "CcnK");
  add32(fxb, static_cast<uint32_t>(156 + 4 + bank.size() - 8));
  addText(fxb, "FBCh");
  add32(fxb, 1);
  addText(fxb, "KhT2");
  add32(fxb, 7);
  add32(fxb, 2);
  fxb.insert(fxb.end(), 128, 0);
  add32(fxb, static_cast<uint32_t>(bank.size()));
  fxb.insert(fxb.end(), bank.begin(), bank.end());
  writeBytes(dir / "state.fxb", fxb);

  std::vector<float> l, r;
  testSignal(200, l, r);
  writeWav(dir / "in.wav", 8000, l, &r);
  for (const char* file : {"state.bin", "state.fxb"}) {
    SCOPED_TRACE(file);
    const Result res =
        run({"render", KH_PLUGIN_CHUNKS, dir / "in.wav", dir / "o.wav", "--load", dir / file});
    ASSERT_EQ(res.code, 0) << res.err;
    const Wav w = readWav(dir / "o.wav");
    ASSERT_EQ(w.left.size(), 200u);
    for (size_t i = 0; i < 200; ++i) ASSERT_EQ(w.left[i], l[i] * 0.25f) << i;
  }
  // Raw in, raw out: the same bytes.
  ASSERT_EQ(run({"info", KH_PLUGIN_CHUNKS, "--load", dir / "state.bin", "--save-chunk",
                 dir / "again.bin"})
                .code,
            0);
  EXPECT_EQ(readBytes(dir / "again.bin"), bank);
  ASSERT_EQ(run({"info", KH_PLUGIN_CHUNKS, "--load", dir / "state.fxb", "--save-chunk",
                 dir / "again.fxb"})
                .code,
            0);
  EXPECT_EQ(readBytes(dir / "again.fxb"), fxb);

  // A chunk the plug-in refuses (it answers -1) is reported.
  writeBytes(dir / "junk.bin", Bytes{'j', 'u', 'n', 'k'});
  expectOneLineError(run({"info", KH_PLUGIN_CHUNKS, "--load", dir / "junk.bin"}), 3, "refused");
}

// ---------------------------------------------------------------- bench

TEST(Bench, ReportsEachPluginAgainstTheFirst) {
  const Result r = run({"bench", "--seconds", "0.2", "--runs", "3", KH_PLUGIN, KH_PLUGIN, "--param",
                        "Delay=1", "--param", "gain=0.1", KH_PLUGIN_CHUNKS});
  ASSERT_EQ(r.code, 0) << r.err;
  // Each plug-in's figures: "real-time factor Xx   Y ns/frame   ratio Z".
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);)
    if (line.find("real-time factor") != std::string::npos) rows.push_back(words(line));
  ASSERT_EQ(rows.size(), 3u) << r.out;
  EXPECT_EQ(rows[0].back(), "1.000");
  for (const auto& w : rows) {
    ASSERT_EQ(w.size(), 7u);
    const double rtf = std::stod(w[2].substr(0, w[2].size() - 1)), ns = std::stod(w[3]);
    EXPECT_GT(ns, 0.0);
    // Real-time factor and ns per frame describe the same time at 48000 Hz.
    EXPECT_NEAR(rtf, 1e9 / (ns * 48000.0), std::max(0.1, rtf * 0.02));
  }
  EXPECT_NE(r.out.find("2. " KH_PLUGIN " Delay=1 gain=0.1"), std::string::npos) << r.out;
  expectOneLineError(run({"bench", "--param", "Gain=1", KH_PLUGIN}), 1, "must follow");
  expectOneLineError(
      run({"bench", KH_PLUGIN, "--param", "Nope=1", "--seconds", "0.1", "--runs", "1"}), 1, "Nope");
}

// ---------------------------------------------------------------- editor

// The program's private X server for the editor tests, if Xvfb is installed.
class XServer {
 public:
  const std::string& display() const { return XvfbServer::shared().display(); }
};

TEST(Editor, WithoutADisplayOrAnEditorTheCommandsRefuse) {
  TempDir dir;
  expectOneLineError(run({"screenshot", KH_PLUGIN, dir / "s.png"}, "-u DISPLAY"), 3, "display");
  expectOneLineError(run({"gui", KH_PLUGIN}, "-u DISPLAY"), 3, "display");
  expectOneLineError(run({"screenshot", KH_PLUGIN_CHUNKS, dir / "s.png"}), 2, "no editor");
  expectOneLineError(run({"gui", KH_NO_ENTRY}), 2, "entry point");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{});
}

TEST(Editor, ScreenshotHoldsTheEditorsPixels) {
  XServer x;
  if (x.display().empty()) GTEST_SKIP() << "no Xvfb to run an X server";
  TempDir dir;
  const Result r =
      run({"screenshot", KH_PLUGIN, dir / "s.png", "--idle-ms", "200"}, "DISPLAY=" + x.display());
  ASSERT_EQ(r.code, 0) << r.err;
  cairo_surface_t* s = cairo_image_surface_create_from_png((dir / "s.png").c_str());
  ASSERT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
  // The test editor is a 120 x 80 child window filled with 0x3366CC.
  EXPECT_EQ(cairo_image_surface_get_width(s), 120);
  EXPECT_EQ(cairo_image_surface_get_height(s), 80);
  const unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y : {0, 40, 79})
    for (int x : {0, 60, 119}) {
      uint32_t px;
      std::memcpy(&px, data + y * stride + x * 4, 4);
      EXPECT_EQ(px & 0xFFFFFF, 0x3366CCu) << x << "," << y;
    }
  cairo_surface_destroy(s);
}

TEST(Editor, GuiEndsOnSigint) {
  XServer x;
  if (x.display().empty()) GTEST_SKIP() << "no Xvfb to run an X server";
  TempDir dir;
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("DISPLAY", x.display().c_str(), 1);
    std::freopen((dir / "err").c_str(), "w", stderr);
    execl(KH_HOST, KH_HOST, "gui", KH_PLUGIN, static_cast<char*>(nullptr));
    _exit(127);
  }
  usleep(700000);
  kill(pid, SIGINT);
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) break;
    usleep(50000);
    if (i == 99) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      FAIL() << "gui did not end on SIGINT";
    }
  }
  ASSERT_TRUE(WIFEXITED(status)) << slurp(dir / "err");
  EXPECT_EQ(WEXITSTATUS(status), 0) << slurp(dir / "err");
}

// ---------------------------------------------------------------- LV2

const char kLv2Uri[] = "urn:korva-host-test:gain";

// The test bundle's folder on LV2_PATH, absolute.
std::string lv2Path() {
  return "LV2_PATH=" + quote(KH_LV2_DIR);
}

// lilv crashes on a relative folder in LV2_PATH; korva-host takes each from
// its working folder.
TEST(Lv2, RelativeSearchPathFoldersAreTakenFromTheWorkingFolder) {
  const std::string dir = KH_LV2_DIR;
  const std::string parent = dir.substr(0, dir.find_last_of('/'));
  const std::string folder = dir.substr(dir.find_last_of('/') + 1);
  const Result r = run({"info", kLv2Uri}, "-C " + quote(parent) + " LV2_PATH=nowhere::" + folder);
  ASSERT_TRUE(r.exited) << "korva-host crashed";
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(hasRow(r.out, {"name:", "korva-host", "test", "gain"})) << r.out;
}

// A state the plug-in refuses, or one made for another plug-in, ends the
// command with exit 3 and the reason, as a refused VST chunk does, and nothing
// is rendered; the state it takes is heard.
TEST_F(Render, Lv2StatesThePluginRefusesEndWithExitThree) {
  ASSERT_EQ(run({"info", kLv2Uri, "--save-state", dir / "saved"}, lv2Path()).code, 0);
  const std::string saved = slurp(dir / "saved/state.ttl");
  const auto variant = [&](const std::string& name, const std::string& from,
                           const std::string& to) {
    std::string ttl = saved;
    const size_t at = ttl.find(from);
    EXPECT_NE(at, std::string::npos) << from << " in\n" << saved;
    if (at != std::string::npos) ttl.replace(at, from.size(), to);
    mkdir((dir / name).c_str(), 0700);
    writeBytes(dir / name + "/state.ttl", Bytes(ttl.begin(), ttl.end()));
    return dir / name;
  };
  const std::string level = "\"0.5\"^^xsd:float";
  const Result quarter = run({"render", kLv2Uri, dir / "in.wav", dir / "out.wav", "--load-state",
                              variant("quarter", level, "\"0.25\"^^xsd:float")},
                             lv2Path());
  ASSERT_EQ(quarter.code, 0) << quarter.err;
  const Wav w = readWav(dir / "out.wav");
  ASSERT_EQ(w.left.size(), left.size());
  for (size_t i = 0; i < left.size(); ++i) ASSERT_EQ(w.left[i], left[i] * 0.5f) << i;
  std::remove((dir / "out.wav").c_str());

  const struct {
    const char* name;
    std::string from, to;
    const char* says;
  } refused[] = {{"loud", level, "\"5.0\"^^xsd:float", "refused the state (no reason given)"},
                 {"text", level, "\"loud\"", "refused the state (a value of the wrong type)"},
                 {"foreign", kLv2Uri, "urn:korva-host-test:other", "made for"}};
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    const std::string state = variant(c.name, c.from, c.to);
    expectOneLineError(
        run({"render", kLv2Uri, dir / "in.wav", dir / "out.wav", "--load-state", state}, lv2Path()),
        3, c.says);
    expectOneLineError(run({"info", kLv2Uri, "--load-state", state}, lv2Path()), 3, c.says);
    EXPECT_EQ(access((dir / "out.wav").c_str(), F_OK), -1) << "rendered anyway";
  }
}

// A URI where a command takes only a LinuxVST library is named as such, not
// reported as an unreadable shared object; validate takes it; render's help
// is the LV2 form.
TEST(Lv2, CommandsForLinuxVstOnlySayWhyAUriDoesNotDo) {
  expectOneLineError(run({"gui", kLv2Uri}, lv2Path()), 2, "LinuxVST plug-ins (PLUGIN.so) only");
  expectOneLineError(run({"screenshot", kLv2Uri, "/tmp/never.png"}, lv2Path()), 2,
                     "LinuxVST plug-ins (PLUGIN.so) only");
  // validate takes a URI as well (test_validate_lv2.cpp): it validates.
  const Result v =
      run({"validate", kLv2Uri, "--level", "1", "--only", "identity/ports"}, lv2Path());
  EXPECT_EQ(v.code, 0) << v.out << v.err;
  EXPECT_NE(v.out.find("identity  ports"), std::string::npos) << v.out;
  const Result help = run({"render", kLv2Uri, "--help"}, lv2Path());
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("--load-state DIR"), std::string::npos) << help.out;
  EXPECT_EQ(help.out.find("--load FILE"), std::string::npos) << help.out;
}

}  // namespace

// Files that never end or never open: a FIFO nobody writes to, /dev/zero, and
// a state file far larger than any plug-in state. Each is refused at once
// with one line (timeout would end a command that blocks, with status 124).
TEST(Readers, RefuseWhatIsNotARegularFileOrTooLarge) {
  TempDir dir;
  const std::string fifo = dir / "pipe.fxb";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  expectOneLineError(run({"info", KH_PLUGIN, "--load", fifo}, "timeout 10"), 3,
                     "not a regular file");
  expectOneLineError(run({"info", KH_PLUGIN, "--load", "/dev/zero"}, "timeout 10"), 3,
                     "not a regular file");
  const std::string wavFifo = dir / "pipe.wav";
  ASSERT_EQ(mkfifo(wavFifo.c_str(), 0600), 0);
  expectOneLineError(run({"render", KH_PLUGIN, wavFifo, dir / "out.wav"}, "timeout 10"), 3,
                     "not a regular file");
  expectOneLineError(run({"render", KH_PLUGIN, "/dev/zero", dir / "out.wav"}, "timeout 10"), 3,
                     "not a regular file");
  const std::string big = dir / "big.fxb";
  ASSERT_EQ(truncate((big).c_str(), 0), -1);  // not there yet
  { std::ofstream(big, std::ios::binary) << "CcnK"; }
  ASSERT_EQ(truncate(big.c_str(), 64 << 20), 0);
  expectOneLineError(run({"info", KH_PLUGIN, "--load", big}, "timeout 10"), 3, "larger than");
  EXPECT_TRUE(dir.entries() == std::vector<std::string>({"big.fxb", "pipe.fxb", "pipe.wav"}));
}
