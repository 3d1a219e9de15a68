// The effect record, the two-level dispatcher and the host-callback wrappers,
// against a small effect whose operations record how they were reached.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "host/AEffEditor.h"
#include "host/AudioEffectX.h"
#include "tests/support/FakeHost.h"

namespace {

struct Log {
  int suspends = 0, resumes = 0, setPrograms = 0, lastProgram = -99;
  bool destroyed = false, editorDestroyed = false;
  int chunkIsPreset = -1;
  VstInt32 chunkSize = -1;
  VstKeyCode lastKey{};
  int keyDowns = 0, keyUps = 0;
  VstInt32 lastParamIndex = -1;
  float lastParamValue = -1;
};

struct RecordingEditor : AEffEditor {
  RecordingEditor(AudioEffect* e, Log* log) : AEffEditor(e), log(log) {}
  ~RecordingEditor() override { log->editorDestroyed = true; }
  bool onKeyDown(VstKeyCode& k) override {
    log->lastKey = k;
    ++log->keyDowns;
    return true;
  }
  bool onKeyUp(VstKeyCode& k) override {
    log->lastKey = k;
    ++log->keyUps;
    return false;
  }
  Log* log;
};

struct TestEffect : AudioEffectX {
  TestEffect(audioMasterCallback host, Log* log) : AudioEffectX(host, 1, 36), log(log) {}
  ~TestEffect() override { log->destroyed = true; }
  void processReplacing(float**, float**, VstInt32) override {}
  void suspend() override { ++log->suspends; }
  void resume() override { ++log->resumes; }
  void setProgram(VstInt32 p) override {
    ++log->setPrograms;
    log->lastProgram = p;
  }
  void setParameter(VstInt32 i, float v) override {
    log->lastParamIndex = i;
    log->lastParamValue = v;
  }
  VstInt32 getChunk(void** data, bool isPreset) override {
    static char block[8];
    *data = block;
    log->chunkIsPreset = isPreset;
    return 8;
  }
  VstInt32 setChunk(void*, VstInt32 byteSize, bool isPreset) override {
    log->chunkSize = byteSize;
    log->chunkIsPreset = isPreset;
    return -1;
  }
  Log* log;
};

VstIntPtr dispatch(AEffect* e, VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0) {
  return e->dispatcher(e, op, index, value, ptr, opt);
}

class Dispatcher : public ::testing::Test {
 protected:
  void SetUp() override {
    effect = new TestEffect(FakeHost::callback(), &log);
    rec = effect->getAeffect();
  }
  void TearDown() override {
    if (!log.destroyed) dispatch(rec, effClose);
  }
  FakeHost host;
  Log log;
  TestEffect* effect;
  AEffect* rec;
};

}  // namespace

TEST_F(Dispatcher, BaseRecordFields) {
  EXPECT_EQ(rec->magic, 0x56737450);
  EXPECT_EQ(rec->numPrograms, 1);
  EXPECT_EQ(rec->numParams, 36);
  EXPECT_EQ(rec->numInputs, 1);  // the plug-in class raises it to 2
  EXPECT_EQ(rec->numOutputs, 2);
  EXPECT_EQ(rec->flags, effFlagsCanReplacing);
  EXPECT_EQ(rec->uniqueID, 0x4E6F4566);
  EXPECT_EQ(rec->version, 1);
  EXPECT_EQ(rec->ioRatio, 1.0f);
  EXPECT_EQ(rec->initialDelay, 0);
  EXPECT_EQ(rec->object, static_cast<void*>(effect));
  EXPECT_EQ(rec->user, nullptr);
  for (char c : rec->future) EXPECT_EQ(c, 0);
}

TEST_F(Dispatcher, FixedAnswers) {
  EXPECT_EQ(dispatch(rec, effGetVstVersion), 2400);
  EXPECT_EQ(dispatch(rec, effGetPlugCategory), 0);
  EXPECT_EQ(dispatch(rec, effGetTailSize), 0);
  EXPECT_EQ(dispatch(rec, effGetVendorVersion), 0);
  EXPECT_EQ(dispatch(rec, effIdentify), 0x4E764566);
  EXPECT_EQ(dispatch(rec, effGetCurrentMidiProgram), -1);
  EXPECT_EQ(dispatch(rec, effSetTotalSampleToProcess, 0, 12345), 12345);
  EXPECT_EQ(dispatch(rec, effSetTotalSampleToProcess, 0, -7), -7);
  // Only the low 32 bits travel, sign-extended.
  EXPECT_EQ(dispatch(rec, effSetTotalSampleToProcess, 0, VstIntPtr(0x1FFFFFFFF)), -1);
  EXPECT_EQ(dispatch(rec, effSetBypass, 0, 1), 0);
  for (VstInt32 i : {0, 35, 1000, -1}) EXPECT_EQ(dispatch(rec, effCanBeAutomated, i), 1);
}

TEST_F(Dispatcher, UnknownNegativeAndDeprecatedOpcodesAnswerZero) {
  char buf[256] = {0};
  for (VstInt32 op : {80, -1, 1000, -100000, 28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55,
                      57, 9,  16,   17,      18, 20, 21, 27, 33, 34, 38, 39, 40, 41, 42,
                      62, 64, 65,   66,      67, 68, 70, 71, 72, 74, 75, 76, 77, 78, 79}) {
    EXPECT_EQ(dispatch(rec, op, 0, 0, buf, 0), 0) << "opcode " << op;
  }
  EXPECT_EQ(log.suspends + log.resumes + log.setPrograms, 0);
}

TEST_F(Dispatcher, SpeakerArrangementClearsBothHostPointers) {
  void* in = reinterpret_cast<void*>(0x1234);
  void* out = reinterpret_cast<void*>(0x5678);
  EXPECT_EQ(dispatch(rec, effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 0);
  EXPECT_EQ(in, nullptr);
  EXPECT_EQ(out, nullptr);
  // Null addresses are not written through.
  EXPECT_EQ(dispatch(rec, effGetSpeakerArrangement, 0, 0, nullptr), 0);
}

TEST_F(Dispatcher, SetProgramOnlyBelowProgramCount) {
  dispatch(rec, effSetProgram, 0, 1);
  dispatch(rec, effSetProgram, 0, 5);
  dispatch(rec, effSetProgram, 0, VstIntPtr(1) << 40);  // compared at full width
  EXPECT_EQ(log.setPrograms, 0);
  dispatch(rec, effSetProgram, 0, 0);
  EXPECT_EQ(log.setPrograms, 1);
  EXPECT_EQ(log.lastProgram, 0);
  dispatch(rec, effSetProgram, 0, -3);
  EXPECT_EQ(log.lastProgram, -3);
}

TEST_F(Dispatcher, MainsChangedRunsSuspendAndResumeEveryTime) {
  dispatch(rec, effMainsChanged, 0, 1);
  dispatch(rec, effMainsChanged, 0, 1);
  dispatch(rec, effMainsChanged, 0, 0);
  dispatch(rec, effMainsChanged, 0, 0);
  dispatch(rec, effMainsChanged, 0, VstIntPtr(1) << 33);  // non-zero at full width
  EXPECT_EQ(log.resumes, 3);
  EXPECT_EQ(log.suspends, 2);
}

TEST_F(Dispatcher, SampleRateAndBlockSizeAreStored) {
  dispatch(rec, effSetSampleRate, 0, 0, nullptr, 96000.0f);
  dispatch(rec, effSetBlockSize, 0, 64);
  EXPECT_EQ(effect->getSampleRate(), 96000.0f);
}

TEST_F(Dispatcher, ChunkRequestsPassIndexAsPresetFlag) {
  void* data = nullptr;
  EXPECT_EQ(dispatch(rec, effGetChunk, 0, 0, &data), 8);
  EXPECT_EQ(log.chunkIsPreset, 0);
  EXPECT_NE(data, nullptr);
  EXPECT_EQ(dispatch(rec, effGetChunk, 1, 0, &data), 8);
  EXPECT_EQ(log.chunkIsPreset, 1);
  char block[4];
  EXPECT_EQ(dispatch(rec, effSetChunk, 1, 1736, block), -1);
  EXPECT_EQ(log.chunkSize, 1736);
  EXPECT_EQ(log.chunkIsPreset, 1);
}

TEST_F(Dispatcher, EditorRequestsWithoutEditorAnswerZero) {
  ERect* r = reinterpret_cast<ERect*>(0x1);
  EXPECT_EQ(dispatch(rec, effEditGetRect, 0, 0, &r), 0);
  EXPECT_EQ(dispatch(rec, effEditOpen, 0, 0, reinterpret_cast<void*>(0x42)), 0);
  EXPECT_EQ(dispatch(rec, effEditClose), 0);
  EXPECT_EQ(dispatch(rec, effEditIdle), 0);
  EXPECT_EQ(dispatch(rec, effEditKeyDown, 'a', 0, nullptr, 0), 0);
  EXPECT_EQ(dispatch(rec, effEditKeyUp, 'a', 0, nullptr, 0), 0);
  EXPECT_EQ(dispatch(rec, effSetEditKnobMode, 0, 2), 0);
}

TEST_F(Dispatcher, KeyRequestsBuildTheKeyRecord) {
  effect->setEditor(new RecordingEditor(effect, &log));
  EXPECT_EQ(rec->flags & effFlagsHasEditor, effFlagsHasEditor);
  EXPECT_EQ(dispatch(rec, effEditKeyDown, 'q', 0x1234, nullptr, 9.9f), 1);
  EXPECT_EQ(log.lastKey.character, 'q');
  EXPECT_EQ(log.lastKey.virt, 0x34);
  EXPECT_EQ(log.lastKey.modifier, 9);
  EXPECT_EQ(dispatch(rec, effEditKeyUp, 'r', 0, nullptr, 257.0f), 0);
  EXPECT_EQ(log.lastKey.modifier, 1);
  // A modifier that is not a number must not reach an integer conversion.
  EXPECT_EQ(dispatch(rec, effEditKeyDown, 'z', 0, nullptr, std::nanf("")), 1);
  EXPECT_EQ(log.lastKey.modifier, 0);
  EXPECT_EQ(dispatch(rec, effEditKeyDown, 'z', 0, nullptr, 1e30f), 1);
  EXPECT_EQ(log.lastKey.modifier, 0);
}

TEST_F(Dispatcher, SetEditorKeepsTheFlagInStep) {
  effect->setEditor(nullptr);
  EXPECT_EQ(rec->flags & effFlagsHasEditor, 0);
  effect->setEditor(new RecordingEditor(effect, &log));
  EXPECT_NE(rec->flags & effFlagsHasEditor, 0);
}

TEST_F(Dispatcher, CloseDeletesTheObjectAndItsEditor) {
  effect->setEditor(new RecordingEditor(effect, &log));
  EXPECT_EQ(dispatch(rec, effClose), 1);
  EXPECT_TRUE(log.destroyed);
  EXPECT_TRUE(log.editorDestroyed);
}

TEST_F(Dispatcher, DeprecatedProcessAndDoubleProcessLeaveOutputs) {
  float in[4] = {1, 2, 3, 4}, out[4] = {9, 9, 9, 9};
  float* ins[2] = {in, in};
  float* outs[2] = {out, out};
  rec->process(rec, ins, outs, 4);
  double din[4] = {1, 2, 3, 4}, dout[4] = {7, 7, 7, 7};
  double* dins[2] = {din, din};
  double* douts[2] = {dout, dout};
  rec->processDoubleReplacing(rec, dins, douts, 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(out[i], 9.0f);
    EXPECT_EQ(dout[i], 7.0);
  }
}

TEST_F(Dispatcher, SetParameterAutomatedAppliesThenReports) {
  effect->setParameterAutomated(6, 0.25f);
  EXPECT_EQ(log.lastParamIndex, 6);
  EXPECT_EQ(log.lastParamValue, 0.25f);
  auto calls = host.callsOf(audioMasterAutomate);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].index, 6);
  EXPECT_EQ(calls[0].opt, 0.25f);
  EXPECT_EQ(calls[0].effect, rec);
}

TEST(HostQueries, AnswersWithoutACallback) {
  Log log;
  TestEffect e(nullptr, &log);
  e.setParameterAutomated(3, 0.5f);  // still applied
  EXPECT_EQ(log.lastParamIndex, 3);
  EXPECT_TRUE(e.isInputConnected(1));
  EXPECT_TRUE(e.isOutputConnected(1));
  EXPECT_EQ(e.getTimeInfo(kVstTempoValid), nullptr);
  EXPECT_FALSE(e.updateDisplay());
  EXPECT_FALSE(e.beginEdit(3));
  EXPECT_FALSE(e.endEdit(3));
  char text[] = "sendVstMidiEvent";
  EXPECT_EQ(e.canHostDo(text), 0);
  e.wantEvents(1);
  e.masterIdle();
}

TEST(HostQueries, PinAnswersAndArguments) {
  FakeHost host;
  Log log;
  TestEffect e(FakeHost::callback(), &log);
  host.inputPinAnswer = 1;  // any non-zero answer: not connected
  host.outputPinAnswer = 0;
  EXPECT_FALSE(e.isInputConnected(1));
  EXPECT_TRUE(e.isOutputConnected(1));
  auto pins = host.callsOf(audioMasterPinConnected);
  ASSERT_EQ(pins.size(), 2u);
  EXPECT_EQ(pins[0].index, 1);
  EXPECT_EQ(pins[0].value, 0);
  EXPECT_EQ(pins[1].index, 1);
  EXPECT_EQ(pins[1].value, 1);
}

TEST(HostQueries, TimeInfoEditsAndDisplay) {
  FakeHost host;
  Log log;
  TestEffect e(FakeHost::callback(), &log);
  host.timeInfo.tempo = 133.0;
  VstTimeInfo* t = e.getTimeInfo(kVstTempoValid);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->tempo, 133.0);
  EXPECT_EQ(host.callsOf(audioMasterGetTime)[0].value, 0x400);
  host.provideTime = false;
  EXPECT_EQ(e.getTimeInfo(kVstPpqPosValid), nullptr);
  e.beginEdit(6);
  e.endEdit(6);
  e.wantEvents(1);
  EXPECT_EQ(host.callsOf(audioMasterBeginEdit)[0].index, 6);
  EXPECT_EQ(host.callsOf(audioMasterEndEdit)[0].index, 6);
  EXPECT_EQ(host.callsOf(audioMasterWantMidi)[0].value, 1);
  host.canDoAnswer = -1;
  char text[] = "sendVstMidiEvent";
  EXPECT_EQ(e.canHostDo(text), -1);
  EXPECT_EQ(host.callsOf(audioMasterCanDo)[0].text, "sendVstMidiEvent");
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
namespace {
// Under the Itanium C++ ABI a pointer to a virtual member function holds
// 1 + the byte offset of its slot in the virtual table.
template <typename M>
std::ptrdiff_t slotOf(M member) {
  static_assert(sizeof(M) == 2 * sizeof(std::ptrdiff_t), "Itanium member pointer");
  std::ptrdiff_t raw[2];
  std::memcpy(raw, &member, sizeof raw);
  return (raw[0] & 1) ? raw[0] - 1 : -1;
}
}  // namespace

TEST(SlotOrder, BaseOperationsKeepTheirVirtualTableOrder) {
  const std::ptrdiff_t slots[] = {
      slotOf(&AudioEffect::dispatcher),
      slotOf(&AudioEffect::open),
      slotOf(&AudioEffect::close),
      slotOf(&AudioEffect::suspend),
      slotOf(&AudioEffect::resume),
      slotOf(&AudioEffect::setSampleRate),
      slotOf(&AudioEffect::setBlockSize),
      slotOf(&AudioEffect::processReplacing),
      slotOf(&AudioEffect::processDoubleReplacing),
      slotOf(&AudioEffect::setParameter),
      slotOf(&AudioEffect::getParameter),
      slotOf(&AudioEffect::setParameterAutomated),
      slotOf(&AudioEffect::getProgram),
      slotOf(&AudioEffect::setProgram),
      slotOf(&AudioEffect::setProgramName),
      slotOf(&AudioEffect::getProgramName),
      slotOf(&AudioEffect::getParameterLabel),
      slotOf(&AudioEffect::getParameterDisplay),
      slotOf(&AudioEffect::getParameterName),
      slotOf(&AudioEffect::getChunk),
      slotOf(&AudioEffect::setChunk),
      slotOf(&AudioEffect::setUniqueID),
      slotOf(&AudioEffect::setNumInputs),
      slotOf(&AudioEffect::setNumOutputs),
      slotOf(&AudioEffect::canProcessReplacing),
      slotOf(&AudioEffect::programsAreChunks),
      slotOf(&AudioEffect::getAeffect),
      slotOf(&AudioEffect::getSampleRate),
      slotOf(&AudioEffect::getMasterVersion),
      slotOf(&AudioEffect::getCurrentUniqueId),
      slotOf(&AudioEffect::masterIdle),
      slotOf(&AudioEffect::isInputConnected),
      slotOf(&AudioEffect::isOutputConnected),
      slotOf(&AudioEffect::dB2string),
      slotOf(&AudioEffect::float2string),
      slotOf(&AudioEffect::int2string),
      slotOf(&AudioEffect::process),
  };
  for (std::size_t i = 0; i < sizeof slots / sizeof slots[0]; ++i) {
    ASSERT_GE(slots[i], 0) << "operation " << i << " is not virtual";
    if (i > 0) {
      EXPECT_GT(slots[i], slots[i - 1]) << "operation " << i << " is out of order";
    }
  }
}

TEST(SlotOrder, EditorOperationsKeepTheirVirtualTableOrder) {
  const std::ptrdiff_t slots[] = {
      slotOf(&AEffEditor::getEffect),   slotOf(&AEffEditor::getRect), slotOf(&AEffEditor::open),
      slotOf(&AEffEditor::close),       slotOf(&AEffEditor::isOpen),  slotOf(&AEffEditor::idle),
      slotOf(&AEffEditor::onKeyDown),   slotOf(&AEffEditor::onKeyUp), slotOf(&AEffEditor::onWheel),
      slotOf(&AEffEditor::setKnobMode),
  };
  // The destructor's two entries come first.
  EXPECT_EQ(slots[0], 2 * static_cast<std::ptrdiff_t>(sizeof(void*)));
  for (std::size_t i = 1; i < sizeof slots / sizeof slots[0]; ++i) {
    EXPECT_EQ(slots[i], slots[i - 1] + static_cast<std::ptrdiff_t>(sizeof(void*)))
        << "operation " << i;
  }
}
#endif
