#include "host/AudioEffect.h"

#include <cstring>

#include "host/AEffEditor.h"

namespace {
// Placeholder identity until the plug-in class sets its own.
constexpr VstInt32 kPlaceholderId = vstFourCC('N', 'o', 'E', 'f');
}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster),
      editor(nullptr),
      sampleRate(44100.0f),
      blockSize(1024),
      numPrograms(numPrograms),
      numParams(numParams),
      curProgram(0) {
  std::memset(&cEffect, 0, sizeof(cEffect));
  cEffect.magic = kEffectMagic;
  cEffect.dispatcher = dispatchTrampoline;
  cEffect.process = processTrampoline;
  cEffect.setParameter = setParameterTrampoline;
  cEffect.getParameter = getParameterTrampoline;
  cEffect.numPrograms = numPrograms;
  cEffect.numParams = numParams;
  cEffect.numInputs = 1;
  cEffect.numOutputs = 2;
  cEffect.ioRatio = 1.0f;
  cEffect.object = this;
  cEffect.uniqueID = kPlaceholderId;
  cEffect.version = 1;
  cEffect.processReplacing = processReplacingTrampoline;
  cEffect.processDoubleReplacing = processDoubleReplacingTrampoline;
  canProcessReplacing(true);
}

AudioEffect::~AudioEffect() {
  // The editor goes last: the derived destructors have already released the
  // engine and the preset store, and the editor's own teardown needs neither.
  delete editor;
  editor = nullptr;
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
  editor = newEditor;
  if (editor)
    cEffect.flags |= effFlagsHasEditor;
  else
    cEffect.flags &= ~effFlagsHasEditor;
}

void AudioEffect::canProcessReplacing(bool state) {
  if (state)
    cEffect.flags |= effFlagsCanReplacing;
  else
    cEffect.flags &= ~effFlagsCanReplacing;
}

void AudioEffect::programsAreChunks(bool state) {
  if (state)
    cEffect.flags |= effFlagsProgramChunks;
  else
    cEffect.flags &= ~effFlagsProgramChunks;
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
  if (!audioMaster) return 0;
  return audioMaster(&cEffect, opcode, index, value, ptr, opt);
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
  setParameter(index, value);
  reportParameterToHost(index, value);
}

void AudioEffect::reportParameterToHost(VstInt32 index, float value) {
  if (audioMaster) audioMaster(&cEffect, audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion() {
  if (!audioMaster) return 1;
  VstInt32 version = static_cast<VstInt32>(callHost(audioMasterVersion));
  return version ? version : 1;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
  return static_cast<VstInt32>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle() {
  if (audioMaster) callHost(audioMasterIdle);
}

// A host that does not know the request answers 0, which means connected.
bool AudioEffect::isInputConnected(VstInt32 input) {
  return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
  return callHost(audioMasterPinConnected, output, 1) == 0;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
  // Compared as unsigned so that negative opcodes fall through to 0.
  switch (static_cast<uint32_t>(opcode)) {
    case effOpen:
      open();
      return 0;
    case effClose:
      close();
      return 0;
    case effSetProgram:
      if (value < numPrograms) setProgram(static_cast<VstInt32>(value));
      return 0;
    case effGetProgram:
      return getProgram();
    case effSetProgramName:
      if (ptr) setProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetProgramName:
      if (ptr) getProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetParamLabel:
      if (ptr) getParameterLabel(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamDisplay:
      if (ptr) getParameterDisplay(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamName:
      if (ptr) getParameterName(index, static_cast<char*>(ptr));
      return 0;
    case effSetSampleRate:
      setSampleRate(opt);
      return 0;
    case effSetBlockSize:
      setBlockSize(static_cast<VstInt32>(value));
      return 0;
    case effMainsChanged:
      if (value == 0)
        suspend();
      else
        resume();
      return 0;
    case effEditGetRect:
      if (editor && ptr) return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
      return 0;
    case effEditOpen:
      if (editor) return editor->open(ptr) ? 1 : 0;
      return 0;
    case effEditClose:
      if (editor) editor->close();
      return 0;
    case effEditIdle:
      if (editor) editor->idle();
      return 0;
    case effIdentify:
      return vstFourCC('N', 'v', 'E', 'f');
    case effGetChunk:
      if (!ptr) return 0;
      return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
      return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default:
      return 0;
  }
}

// Nothing may escape into the host: an exception ends as a neutral answer.
VstIntPtr AudioEffect::dispatchTrampoline(AEffect* e, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt) {
  if (!e || !e->object) return 0;
  AudioEffect* ae = static_cast<AudioEffect*>(e->object);
  try {
    if (opcode == effClose) {
      ae->dispatcher(opcode, index, value, ptr, opt);
      delete ae;
      return 1;
    }
    return ae->dispatcher(opcode, index, value, ptr, opt);
  } catch (...) {
    return 0;
  }
}

void AudioEffect::processTrampoline(AEffect* e, float** inputs, float** outputs,
                                    VstInt32 sampleFrames) {
  if (!e || !e->object) return;
  try {
    static_cast<AudioEffect*>(e->object)->process(inputs, outputs, sampleFrames);
  } catch (...) {
  }
}

void AudioEffect::processReplacingTrampoline(AEffect* e, float** inputs, float** outputs,
                                             VstInt32 sampleFrames) {
  if (!e || !e->object || !inputs || !outputs || sampleFrames < 0) return;
  try {
    static_cast<AudioEffect*>(e->object)->processReplacing(inputs, outputs, sampleFrames);
  } catch (...) {
  }
}

void AudioEffect::processDoubleReplacingTrampoline(AEffect* e, double** inputs, double** outputs,
                                                   VstInt32 sampleFrames) {
  if (!e || !e->object) return;
  try {
    static_cast<AudioEffect*>(e->object)->processDoubleReplacing(inputs, outputs, sampleFrames);
  } catch (...) {
  }
}

void AudioEffect::setParameterTrampoline(AEffect* e, VstInt32 index, float value) {
  if (!e || !e->object) return;
  try {
    static_cast<AudioEffect*>(e->object)->setParameter(index, value);
  } catch (...) {
  }
}

float AudioEffect::getParameterTrampoline(AEffect* e, VstInt32 index) {
  if (!e || !e->object) return 0.0f;
  try {
    return static_cast<AudioEffect*>(e->object)->getParameter(index);
  } catch (...) {
    return 0.0f;
  }
}
