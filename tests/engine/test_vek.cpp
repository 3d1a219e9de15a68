// The plug-in class through its host interface, with a scripted host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "EngineRig.h"
#include "engine/VEK.h"
#include "tests/support/FakeHost.h"
#include "tests/support/TempConfigHome.h"

namespace {

struct Plugin {
  TempConfigHome config;
  FakeHost host;
  AEffect* fx = nullptr;
  VEK* vek = nullptr;

  Plugin() {
    fx = pluginEntry(FakeHost::callback());
    if (fx) vek = static_cast<VEK*>(static_cast<AudioEffect*>(fx->object));
  }
  ~Plugin() {
    if (fx) fx->dispatcher(fx, effClose, 0, 0, nullptr, 0.0f);
  }
  void set(int index, float v) { fx->setParameter(fx, index, v); }
  float get(int index) { return fx->getParameter(fx, index); }
  VstIntPtr dispatch(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f) {
    return fx->dispatcher(fx, op, index, value, ptr, opt);
  }
  std::string display(int index) {
    char text[64];
    std::strcpy(text, "untouched");
    dispatch(effGetParamDisplay, index, 0, text);
    return text;
  }
  std::string label(int index) {
    char text[64];
    std::strcpy(text, "untouched");
    dispatch(effGetParamLabel, index, 0, text);
    return text;
  }
  std::string name(int index) {
    char text[64];
    std::strcpy(text, "untouched");
    dispatch(effGetParamName, index, 0, text);
    return text;
  }
  // Wet only at unity gain, no modulation or feedback, delay in ms; settled.
  void plainDelay(float ms) {
    const float values[kNumParams] = {0.5f, 0.5f, 1.0f, dlyTimeFor(ms), kOff, kOff,
                                      0.0f, kOff, kOff, 0.5f,           0.0f, 0.5f,
                                      0.0f, kOff, kOn,  kOff,           0.0f, 0.0f};
    for (int i = 0; i < kNumParams; ++i) set(i, values[i]);
    dispatch(effMainsChanged, 0, 0);
    dispatch(effMainsChanged, 0, 1);
  }
  void process(Signal& in, Signal& out) {
    FakeHost::current() = &host;  // callbacks reach this plug-in's host
    float* ins[2] = {in.left.data(), in.right.data()};
    float* outs[2] = {out.left.data(), out.right.data()};
    for (std::size_t pos = 0; pos < in.size(); pos += 512) {
      const int n = static_cast<int>(std::min<std::size_t>(512, in.size() - pos));
      float* i2[2] = {ins[0] + pos, ins[1] + pos};
      float* o2[2] = {outs[0] + pos, outs[1] + pos};
      fx->processReplacing(fx, i2, o2, n);
    }
  }
};

}  // namespace

TEST(VekIdentity, RecordAndTexts) {
  Plugin p;
  ASSERT_NE(p.fx, nullptr);
  EXPECT_EQ(p.fx->numInputs, 2);
  EXPECT_EQ(p.fx->numOutputs, 2);
  EXPECT_EQ(p.fx->numParams, 36);
  EXPECT_EQ(p.fx->uniqueID, ('K' << 24) | ('V' << 16) | ('R' << 8) | 'A');
  EXPECT_EQ(p.fx->flags & 0x30, 0x30);
  char buf[80];
  std::memset(buf, 'x', sizeof(buf));
  EXPECT_EQ(p.dispatch(effGetProductString, 0, 0, buf), 1);
  EXPECT_EQ(std::strlen(buf), 64u);
  EXPECT_STREQ(buf, "Vantrel Korva - clocked stereo repeats, with bends, holds, sync!");
  EXPECT_EQ(p.dispatch(effGetEffectName, 0, 0, buf), 1);
  EXPECT_STREQ(buf, "Vantrel Korva");
  EXPECT_EQ(p.dispatch(effGetVendorString, 0, 0, buf), 1);
  EXPECT_EQ(std::strlen(buf), 16u);
  // Both version queries, and at least two display updates, during the entry call.
  EXPECT_EQ(p.host.count(audioMasterVersion), 2);
  EXPECT_GE(p.host.count(audioMasterUpdateDisplay), 2);
}

TEST(VekIdentity, OldHostGetsNoInstance) {
  FakeHost host;
  host.version = 0;
  EXPECT_EQ(createEffectInstance(FakeHost::callback()), nullptr);
  EXPECT_EQ(createEffectInstance(nullptr), nullptr);
}

TEST(VekParameters, NamesAndLabels) {
  Plugin p;
  const char* names[kNumParams] = {"Input", "Output", "Mix",   "DlyTime",  "Dlyx2", "DlyInv",
                                   "Fbck",  "HiCut",  "FbInv", "ManVCO",   "Depth", "Waveform",
                                   "Rate",  "RptInf", "Power", "Dly<>Clk", "Num",   "Den"};
  for (int i = 0; i < kNumParams; ++i) {
    EXPECT_EQ(p.name(i), names[i]);
    EXPECT_EQ(p.name(i + 18), std::string("CC# ") + names[i]);
  }
  EXPECT_EQ(p.name(20), "CC# Mix");
  EXPECT_EQ(p.name(36), "untouched");
  EXPECT_EQ(p.name(-1), "untouched");
  const char* labels[kNumParams] = {"dB", "dB", "%", "ms", " ", " ", "dB", " ", " ",
                                    "X",  "%",  "",  "Hz", " ", " ", " ",  " ", " "};
  for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(p.label(i), labels[i]) << i;
  EXPECT_EQ(p.label(25), " ");
}

TEST(VekParameters, DisplayExamples) {
  Plugin p;
  struct Case {
    int index;
    float value;
    const char* text;
  } cases[] = {
      {kMix, 0.0f, "dry"},         {kMix, 1.0f, "wet"},         {kMix, 0.3f, "70-30"},
      {kWaveform, 0.25f, "50-50"}, {kWaveform, 0.75f, "50-50"}, {kWaveform, 0.5f, "env"},
      {kWaveform, 0.0f, "sin"},    {kWaveform, 1.0f, "sqr"},    {kWaveform, 0.1f, "80-20"},
      {kDepth, 0.0f, ""},          {kDepth, 0.57f, "57"},       {kInput, 0.0f, "-oo"},
      {kInput, 0.5f, "0.000000"},  {kOutput, 0.0f, "-oo"},      {kFbck, 0.0f, "-oo"},
      {kFbck, 1.0f, "0.000000"},   {kRate, 0.0f, "0.100000"},   {kManVCO, 0.5f, "1.000000"},
      {kManVCO, 0.0f, "0.500000"}, {kDlyx2, kOn, "on"},         {kDlyx2, kOff, "off"},
      {kPower, kOff, "off"},       {kRptInf, kOff, "off"},      {kNum, 1.0f, "9"},
      {kDen, 1.0f, "96"},          {kDen, 0.0f, "1"},           {kDlyTime, 0.0f, ""},
      {kDlyTime, 0.3125f, "1000"}, {kDlyTime, 1.0f, "3200"},    {kDlyClk, kOff, "dly"},
  };
  for (const Case& c : cases) {
    p.set(c.index, c.value);
    EXPECT_EQ(p.display(c.index), c.text) << c.index << " " << c.value;
  }
  p.set(kNum, 0.0f);
  p.set(kDen, 0.0f);
  p.set(kDlyClk, kOn);
  EXPECT_EQ(p.display(kDlyClk), "clk");
  EXPECT_EQ(p.display(kDlyTime), "2000");  // 1/1 at 120 BPM
  EXPECT_EQ(p.display(18), "untouched");
}

// Hosts size their text buffers by the interface's limits: displays and
// labels 8 characters, names the 12 of "CC# Waveform". Any value a host sends
// must fit: beyond the range it reads as the nearest end (the engine takes it
// so); NaN, refused, leaves the last text.
TEST(VekParameters, TextsFitTheHostBufferForAnyValue) {
  Plugin p;
  constexpr size_t kGuard = 48;
  constexpr unsigned char kFill = 0xA5;
  auto text = [&](VstInt32 op, int index, size_t limit) {
    unsigned char buffer[kGuard];
    std::memset(buffer, kFill, sizeof(buffer));
    buffer[0] = 0;  // displays of 18..35 leave the text as it was
    p.dispatch(op, index, 0, buffer);
    for (size_t i = limit + 1; i < kGuard; ++i)
      EXPECT_EQ(buffer[i], kFill) << "op " << op << " index " << index << " byte " << i;
    buffer[kGuard - 1] = 0;
    const std::string s(reinterpret_cast<const char*>(buffer));
    EXPECT_LE(s.size(), limit) << "op " << op << " index " << index << " \"" << s << "\"";
    return s;
  };
  const float odd[] = {NAN, INFINITY, -INFINITY, 1e6f, -1e6f, -1.0f, 2.0f, 1e-45f, 0.999999f};
  for (int index = 0; index < 36; ++index) {
    for (float v : odd) {
      p.set(index, v);
      text(effGetParamDisplay, index, kVstMaxParamStrLen);
      text(effGetParamLabel, index, kVstMaxParamStrLen);
      text(effGetParamName, index, 12);
    }
  }
  // Out of range: the text of the nearest end. Hold and sync off, so that
  // DlyTime takes every value; the hold goes off again after its own turn.
  p.set(kRptInf, kOff);
  p.set(kDlyClk, kOff);
  for (int index = 0; index < kNumParams; ++index) {
    p.set(index, 0.0f);
    const std::string low = text(effGetParamDisplay, index, kVstMaxParamStrLen);
    for (float v : {-1e6f, -1.0f, -1e-30f}) {
      p.set(index, v);
      EXPECT_EQ(text(effGetParamDisplay, index, kVstMaxParamStrLen), low) << index << " " << v;
    }
    p.set(index, 1.0f);
    const std::string high = text(effGetParamDisplay, index, kVstMaxParamStrLen);
    for (float v : {1e6f, 2.0f, 1.0000001f}) {
      p.set(index, v);
      EXPECT_EQ(text(effGetParamDisplay, index, kVstMaxParamStrLen), high) << index << " " << v;
    }
    if (index == kRptInf) p.set(kRptInf, kOff);
  }
}

TEST(VekParameters, Properties) {
  Plugin p;
  VstParameterProperties props;
  std::memset(&props, 0, sizeof(props));
  EXPECT_EQ(p.dispatch(effGetParameterProperties, kDlyTime, 0, &props), 1);
  std::uint32_t bits;
  std::memcpy(&bits, &props.stepFloat, 4);
  EXPECT_EQ(bits, 0x3923D07Du);
  std::memcpy(&bits, &props.smallStepFloat, 4);
  EXPECT_EQ(bits, 0x3923D07Du);
  EXPECT_EQ(props.flags, kVstParameterUsesFloatStep);
  for (int i : {kDlyx2, kDlyInv, kHiCut, kFbInv, kRptInf, kPower, kDlyClk}) {
    std::memset(&props, 0, sizeof(props));
    props.flags = 0xFF;
    EXPECT_EQ(p.dispatch(effGetParameterProperties, i, 0, &props), 1);
    EXPECT_EQ(props.flags, 0xB) << i;
    EXPECT_EQ(props.minInteger, 0);
    EXPECT_EQ(props.maxInteger, 1);
    EXPECT_EQ(props.stepInteger, 1);
    EXPECT_EQ(props.largeStepInteger, 1);
  }
  props.flags = 0x7;
  EXPECT_EQ(p.dispatch(effGetParameterProperties, kNum, 0, &props), 1);
  EXPECT_EQ(props.minInteger, 1);
  EXPECT_EQ(props.maxInteger, 5);
  EXPECT_EQ(props.stepInteger, 1);
  EXPECT_EQ(props.flags, 0);
  EXPECT_EQ(p.dispatch(effGetParameterProperties, kDen, 0, &props), 1);
  EXPECT_EQ(props.maxInteger, 13);
  for (int i : {0, 2, 6, 12, 20, 40, -1})
    EXPECT_EQ(p.dispatch(effGetParameterProperties, i, 0, &props), 0) << i;
  EXPECT_EQ(p.dispatch(effGetParameterProperties, kDlyTime, 0, nullptr), 0);
}

TEST(VekParameters, HostValuesReachEngineAndPreset) {
  Plugin p;
  p.set(kFbck, 0.6f);
  EXPECT_EQ(p.get(kFbck), 0.6f);
  EXPECT_EQ(p.vek->presetStore()[p.vek->getCurrentPreset()].values[kFbck], 0.6f);
  p.set(kDlyTime, 1.7f);  // clamped for the engine
  EXPECT_EQ(p.get(kDlyTime), 1.0f);
  p.set(kRptInf, kOn);
  p.set(kDlyTime, 0.2f);
  EXPECT_EQ(p.get(kDlyTime), 1.0f);
  p.set(kRptInf, kOff);
  p.set(kDlyTime, std::nanf(""));
  EXPECT_EQ(p.get(kDlyTime), 0.0f);
}

TEST(VekPresets, SelectingAPresetLiftsSyncFirst) {
  Plugin p;
  p.set(kDlyClk, kOn);
  ASSERT_TRUE(p.vek->engine().syncOn());
  const PresetRecord& stored = p.vek->presetStore()[1];
  ASSERT_LT(stored.values[kDlyClk], 0.5f);
  ASSERT_LT(stored.values[kRptInf], 0.5f);
  p.vek->selectPreset(1);
  EXPECT_FALSE(p.vek->engine().syncOn());
  EXPECT_FLOAT_EQ(p.vek->engine().delayMs(), 3200.0f * stored.values[kDlyTime]);
  // A refused index changes nothing.
  p.set(kDlyClk, kOn);
  p.vek->selectPreset(99);
  EXPECT_TRUE(p.vek->engine().syncOn());
}

// A saved hold comes back with the delay and sync it was saved with, whether
// the instance restoring it holds already or not; a preset without hold ends
// a running one before its delay is applied.
TEST(VekPresets, HoldRestoresWithTheDelayAndSyncItWasSavedWith) {
  Plugin a;
  a.set(kDlyTime, 0.3f);
  a.set(kDlyClk, kOn);
  a.set(kRptInf, kOn);
  a.set(kDlyClk, kOff);  // refused by the hold: sync stays on, and is saved so
  void* data = nullptr;
  const VstIntPtr size = a.dispatch(effGetChunk, 0, 0, &data);
  ASSERT_GT(size, 0);
  const std::string chunk(static_cast<const char*>(data), static_cast<std::size_t>(size));
  float saved[kNumParams];
  for (int i = 0; i < kNumParams; ++i) saved[i] = a.get(i);

  Plugin fresh;
  for (Plugin* b : {&fresh, &a}) {
    std::string copy = chunk;
    ASSERT_EQ(b->dispatch(effSetChunk, 0, size, copy.data()), 0);
    for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(b->get(i), saved[i]) << "parameter " << i;
    EXPECT_TRUE(b->vek->engine().syncOn());
    EXPECT_TRUE(b->vek->engine().holdRequested());
  }

  const PresetRecord& unheld = a.vek->presetStore()[1];
  ASSERT_LT(unheld.values[kRptInf], 0.5f);
  a.vek->selectPreset(1);
  EXPECT_FALSE(a.vek->engine().holdRequested());
  EXPECT_FLOAT_EQ(a.vek->engine().delayMs(), 3200.0f * unheld.values[kDlyTime]);
}

TEST(VekProcess, ImpulseAndStatusThroughTheHostInterface) {
  Plugin p;
  p.host.provideTime = false;
  p.plainDelay(1000.0f);
  Signal in(3000 + 44200), out(in.size());
  in.left[3000] = in.right[3000] = 1.0f;
  p.process(in, out);
  int first = -1;
  for (std::size_t i = 0; i < out.size(); ++i)
    if (std::fabs(out.left[i]) > 1e-4f) {
      first = static_cast<int>(i);
      break;
    }
  EXPECT_EQ(first, 3000 + 44103);
  EngineStatus s = p.vek->readStatus();
  EXPECT_EQ(s.effectiveDelayMs, 1000);
  EXPECT_EQ(s.nominalDelayMs, 1000);
}

TEST(VekProcess, HostQueriesOfEveryBlockInOrder) {
  Plugin p;
  p.host.timeInfo.tempo = 30.0;
  p.host.timeInfo.ppqPos = 2.0;
  Signal in(64), out(64);
  p.host.calls.clear();
  p.process(in, out);
  ASSERT_EQ(p.host.calls.size(), 4u);
  EXPECT_EQ(p.host.calls[0].opcode, audioMasterPinConnected);
  EXPECT_EQ(p.host.calls[0].index, 1);
  EXPECT_EQ(p.host.calls[0].value, 0);
  EXPECT_EQ(p.host.calls[1].opcode, audioMasterPinConnected);
  EXPECT_EQ(p.host.calls[1].index, 1);
  EXPECT_EQ(p.host.calls[1].value, 1);
  EXPECT_EQ(p.host.calls[2].opcode, audioMasterGetTime);
  EXPECT_EQ(p.host.calls[2].value, 0x400);
  EXPECT_EQ(p.host.calls[3].opcode, audioMasterGetTime);
  EXPECT_EQ(p.host.calls[3].value, 0x200);
  EXPECT_EQ(p.vek->getTempo(), 40.0f);
  p.host.timeInfo.tempo = 500.0;
  p.process(in, out);
  EXPECT_EQ(p.vek->getTempo(), 400.0f);
  EXPECT_EQ(p.vek->engine().songPosition(), 2.0f);
}

TEST(VekProcess, SongPositionAdvancesWithoutTimeInfo) {
  Plugin p;
  p.host.provideTime = false;
  p.dispatch(effMainsChanged, 0, 1);
  Signal in(44100), out(44100);
  float* ins[2] = {in.left.data(), in.right.data()};
  float* outs[2] = {out.left.data(), out.right.data()};
  p.fx->processReplacing(p.fx, ins, outs, 44100);
  EXPECT_EQ(p.vek->engine().songPosition(), 2.0f);
}

TEST(VekProcess, MonoSourceAndMonoOutput) {
  Plugin p, ref;
  p.plainDelay(20.0f);
  ref.plainDelay(20.0f);
  for (Plugin* x : {&p, &ref}) {
    x->set(kMix, 0.5f);
    x->set(kFbck, 0.5f);
  }
  p.host.inputPinAnswer = 1;  // second input not connected
  Signal in = noise(4000, 0.5f), out(4000);
  p.process(in, out);
  Signal leftTwice = in;
  leftTwice.right = in.left;
  Signal expected(4000);
  ref.process(leftTwice, expected);
  for (int i = 0; i < 4000; ++i) {
    ASSERT_EQ(out.left[i], expected.left[i]) << i;
    ASSERT_EQ(out.right[i], expected.left[i]) << i;
  }
  // Mono output: the second output buffer is not touched.
  Plugin m, s;
  m.plainDelay(20.0f);
  s.plainDelay(20.0f);
  m.host.outputPinAnswer = 1;
  Signal st = noise(4000, 0.5f, 2), mo(4000), so(4000);
  for (float& v : mo.right) v = 7.0f;
  m.process(st, mo);
  s.process(st, so);
  for (int i = 0; i < 4000; ++i) {
    ASSERT_EQ(mo.right[i], 7.0f);
    ASSERT_NEAR(mo.left[i], 0.5f * (so.left[i] + so.right[i]), 1e-6f);
  }
}

TEST(VekProcess, PowerOffIsBitExactAndDoubleProcessingDoesNothing) {
  Plugin p;
  p.set(kPower, kOff);
  Signal in = noise(3000, 0.9f, 4), out(3000);
  p.process(in, out);
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(out.left[i], in.left[i]);
    ASSERT_EQ(out.right[i], in.right[i]);
  }
  double a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8};
  double* ins[2] = {a, a + 2};
  double* outs[2] = {b, b + 2};
  p.fx->processDoubleReplacing(p.fx, ins, outs, 2);
  EXPECT_EQ(b[0], 5.0);
  EXPECT_EQ(b[3], 8.0);
}

// The engine takes the host's rate at resume: a delay lasts its milliseconds
// at any rate the engine runs at. At any other rate the audio passes through
// dry, and the effect says so on stderr once per instance, not per resume or
// block.
TEST(VekLifecycle, ResumeAtHostSampleRates) {
  Plugin p;
  for (float rate : {48000.0f, 192000.0f, 768000.0f}) {
    p.dispatch(effMainsChanged, 0, 0);
    p.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    p.plainDelay(10.0f);
    const int n = static_cast<int>(0.06f * rate), echo = n + static_cast<int>(0.01f * rate) + 3;
    Signal in(static_cast<std::size_t>(echo + 100)), out(in.size());
    in.left[n] = in.right[n] = 1.0f;
    p.process(in, out);
    int first = -1;
    for (std::size_t i = 0; i < out.size() && first < 0; ++i)
      if (std::fabs(out.left[i]) > 1e-7f) first = static_cast<int>(i);
    EXPECT_EQ(first, echo) << rate;
  }
  testing::internal::CaptureStderr();
  for (float rate : {4000.0f, 4000.0f, 1.0e6f}) {
    p.dispatch(effMainsChanged, 0, 0);
    p.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    p.dispatch(effMainsChanged, 0, 1);
    Signal in = noise(2000, 0.9f, 5), out(2000);
    p.process(in, out);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(out.left[i], in.left[i]) << rate;
  }
  Plugin other;
  other.dispatch(effSetSampleRate, 0, 0, nullptr, 0.0f);
  other.dispatch(effMainsChanged, 0, 1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
  EXPECT_NE(err.find("sample rate of 4000 Hz is outside the 5000 to 768000 Hz"), std::string::npos)
      << err;
  EXPECT_NE(err.find("sample rate of 0 Hz"), std::string::npos) << err;
}

TEST(VekLifecycle, TwoInstancesAreIndependent) {
  Plugin a, b;
  a.set(kFbck, 0.9f);
  a.set(kDlyTime, 0.2f);
  EXPECT_NE(b.get(kFbck), 0.9f);
  EXPECT_NE(b.get(kDlyTime), 0.2f);
  a.plainDelay(10.0f);
  b.plainDelay(10.0f);
  Signal loud = noise(5000, 0.9f), quiet(5000), oa(5000), ob(5000);
  a.process(loud, oa);
  b.process(quiet, ob);
  for (float v : ob.left) ASSERT_LT(std::fabs(v), 1e-6f);
}

TEST(VekEditor, TempoAndStatusForTheEditor) {
  Plugin p;
  p.set(kDlyClk, kOn);
  p.vek->setTempoFromControl(0.5f);
  EXPECT_EQ(p.vek->getTempo(), 200.0f);
  p.vek->setTempoFromControl(0.0f);
  EXPECT_EQ(p.vek->getTempo(), 40.0f);
  EXPECT_EQ(p.vek->readStatus().nominalDelayMs, 3200);  // 1/1 at 40 BPM: 6000 ms, clamped
}
