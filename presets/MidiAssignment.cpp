#include <cmath>

#include "presets/CPresetSystemEffect.h"

namespace {
constexpr float kNoAssignmentValue =
    (static_cast<float>(kNoAssignment) + 0.5f) / static_cast<float>(kAssignmentSteps);

bool validParameter(VstInt32 p) {
  return p >= 0 && p < kNumParams;
}
bool validController(VstInt32 c) {
  return c >= 0 && c < kNumControllers;
}
}  // namespace

VstInt32 assignmentController(float value) {
  int c = quantizeSteps(value, kAssignmentSteps);
  return c >= kNumControllers ? kNoAssignment : c;
}

float assignmentValue(VstInt32 controller) {
  if (!validController(controller)) return kNoAssignmentValue;
  return stepCenter(controller, kAssignmentSteps);
}

float assignmentHostValue(VstInt32 controller) {
  // 7.748 would be clamped or rounded by the host and the state would change
  // on its first reopen; 1 reads as none in every build.
  if (!validController(controller)) return 1.0f;
  return stepCenter(controller, kAssignmentSteps);
}

float CPresetSystemEffect::storedAssignmentValue(VstInt32 parameter) const {
  if (!validParameter(parameter)) return kNoAssignmentValue;
  return assignmentValues[parameter].load(std::memory_order_relaxed);
}

void CPresetSystemEffect::clearParameterEntry(VstInt32 parameter) {
  VstInt32 old = parameterController[parameter].load(std::memory_order_relaxed);
  // The old controller must stop driving the parameter.
  if (validController(old) && controllerParameter[old].load(std::memory_order_relaxed) == parameter)
    controllerParameter[old].store(kNoAssignment, std::memory_order_relaxed);
  parameterController[parameter].store(kNoAssignment, std::memory_order_relaxed);
  assignmentValues[parameter].store(kNoAssignmentValue, std::memory_order_relaxed);
}

void CPresetSystemEffect::clearControllerEntry(VstInt32 controller) {
  VstInt32 p = controllerParameter[controller].load(std::memory_order_relaxed);
  if (validParameter(p) && parameterController[p].load(std::memory_order_relaxed) == controller) {
    parameterController[p].store(kNoAssignment, std::memory_order_relaxed);
    assignmentValues[p].store(kNoAssignmentValue, std::memory_order_relaxed);
  }
  controllerParameter[controller].store(kNoAssignment, std::memory_order_relaxed);
}

void CPresetSystemEffect::linkControllerToParameter(VstInt32 parameter, VstInt32 controller) {
  clearParameterEntry(parameter);
  clearControllerEntry(controller);
  // One controller drives one parameter: nobody else may still show it.
  for (VstInt32 j = 0; j < kNumParams; ++j) {
    if (parameterController[j].load(std::memory_order_relaxed) == controller) {
      parameterController[j].store(kNoAssignment, std::memory_order_relaxed);
      assignmentValues[j].store(kNoAssignmentValue, std::memory_order_relaxed);
    }
  }
  parameterController[parameter].store(controller, std::memory_order_relaxed);
  assignmentValues[parameter].store(assignmentValue(controller), std::memory_order_relaxed);
  controllerParameter[controller].store(parameter, std::memory_order_release);
}

void CPresetSystemEffect::applyAssignmentValue(VstInt32 parameter, float value) {
  if (!hasTables() || !validParameter(parameter) || std::isnan(value)) return;
  VstInt32 c = assignmentController(value);
  // The controller the parameter already has: nothing changes, and the value
  // stored with the state stays, so a host that sets back what it read
  // leaves the state byte for byte as it was.
  if (c == parameterController[parameter].load(std::memory_order_relaxed)) return;
  if (c == kNoAssignment)
    clearParameterEntry(parameter);
  else
    linkControllerToParameter(parameter, c);
  assignmentValues[parameter].store(value, std::memory_order_relaxed);
}

void CPresetSystemEffect::assignController(VstInt32 parameter, VstInt32 controller) {
  if (!hasTables() || !validParameter(parameter) || !validController(controller)) return;
  linkControllerToParameter(parameter, controller);
}

void CPresetSystemEffect::unassignParameter(VstInt32 parameter) {
  if (!hasTables() || !validParameter(parameter)) return;
  clearParameterEntry(parameter);
}

void CPresetSystemEffect::unassignController(VstInt32 controller) {
  if (!hasTables() || !validController(controller)) return;
  clearControllerEntry(controller);
}

VstInt32 CPresetSystemEffect::getParameterController(VstInt32 parameter) {
  if (!hasTables() || !validParameter(parameter)) return kNoAssignment;
  return parameterController[parameter].load(std::memory_order_relaxed);
}

VstInt32 CPresetSystemEffect::getControllerParameter(VstInt32 controller) {
  if (!hasTables() || !validController(controller)) return kNoAssignment;
  VstInt32 p = controllerParameter[controller].load(std::memory_order_relaxed);
  if (!validParameter(p)) return kNoAssignment;
  if (parameterController[p].load(std::memory_order_relaxed) == kNoAssignment) return kNoAssignment;
  return p;
}

void CPresetSystemEffect::startLearn() {
  learnTarget.store(-1, std::memory_order_relaxed);
  learnActive.store(true, std::memory_order_release);
}

void CPresetSystemEffect::stopLearn() {
  learnActive.store(false, std::memory_order_release);
  learnTarget.store(-1, std::memory_order_relaxed);
  if (PresetEditorInterface* e = presetEditor()) e->learnButtonOff();
}

void CPresetSystemEffect::setLearnTarget(VstInt32 parameter) {
  learnTarget.store(parameter, std::memory_order_relaxed);
}

void CPresetSystemEffect::startForget() {
  forgetActive.store(true, std::memory_order_release);
}

void CPresetSystemEffect::stopForget() {
  forgetActive.store(false, std::memory_order_release);
  if (PresetEditorInterface* e = presetEditor()) e->forgetButtonOff();
}

void CPresetSystemEffect::resetControllerMap() {
  if (!hasTables()) return;
  for (VstInt32 c = 0; c < kNumControllers; ++c)
    controllerParameter[c].store(kNoAssignment, std::memory_order_relaxed);
  for (VstInt32 p = 0; p < kNumParams; ++p) {
    parameterController[p].store(kNoAssignment, std::memory_order_relaxed);
    assignmentValues[p].store(assignmentValue(kNoAssignment), std::memory_order_relaxed);
  }
}

VstInt32 CPresetSystemEffect::processEvents(VstEvents* events) {
  if (!hasTables() || !events) return 0;
  // The list is longer than its declared two slots.
  VstEvent* const* list = events->events;
  for (VstInt32 k = 0; k < events->numEvents; ++k) {
    const VstEvent* event = list[k];
    if (!event || event->type != kVstMidiType) continue;
    const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
    const auto status = static_cast<unsigned char>(midi->midiData[0]);
    if ((status & 0xF0) != 0xB0) continue;  // control change, any channel
    const VstInt32 c = static_cast<unsigned char>(midi->midiData[1]);
    const VstInt32 d = static_cast<unsigned char>(midi->midiData[2]);
    // Data bytes are 7-bit; a set top bit is no controller message at all.
    if (c > 127 || d > 127) continue;

    const VstInt32 target = learnTarget.load(std::memory_order_relaxed);
    // Controllers 120..127 are channel-mode messages, never learned.
    if (learnActive.load(std::memory_order_acquire) && validParameter(target) && c < 120) {
      linkControllerToParameter(target, c);
      stopLearn();
    }

    const VstInt32 p = controllerParameter[c].load(std::memory_order_acquire);
    if (validParameter(p)) setParameter(p, static_cast<float>(d) / 127.0f);
  }
  return 1;
}
