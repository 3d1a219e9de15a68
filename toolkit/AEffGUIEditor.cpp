#include "toolkit/AEffGUIEditor.h"

#include <atomic>
#include <chrono>

#include "host/AudioEffectX.h"
#include "toolkit/CFrame.h"

namespace {
// Knob mode is a process-wide setting of the host, not of one editor.
std::atomic<VstInt32> knobMode{kCircularMode};
}  // namespace

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect) : AEffEditor(effect) {
  rect.top = rect.left = rect.bottom = rect.right = 0;
  if (effect) effect->setEditor(this);
}

AEffGUIEditor::~AEffGUIEditor() {
  if (frame) {
    frame->close();
    frame = nullptr;
  }
}

bool AEffGUIEditor::getRect(ERect** ppRect) {
  if (!ppRect) return false;
  *ppRect = &rect;
  return true;
}

bool AEffGUIEditor::open(void* ptr) {
  AEffEditor::open(ptr);
  return true;
}

void AEffGUIEditor::close() {
  if (frame) {
    frame->close();
    frame = nullptr;
  }
  AEffEditor::close();
}

void AEffGUIEditor::idle() {
  if (inIdleStuff) return;
  if (frame) frame->idle();
}

void AEffGUIEditor::doIdleStuff() {
  if (inIdleStuff) return;
  inIdleStuff = true;
  if (frame) frame->idle();
  if (effect) effect->masterIdle();
  inIdleStuff = false;
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& keyCode) {
  return frame && frame->onKeyDown(keyCode) == 1;
}

bool AEffGUIEditor::onKeyUp(VstKeyCode& keyCode) {
  return frame && frame->onKeyUp(keyCode) == 1;
}

bool AEffGUIEditor::onWheel(float distance) {
  if (!frame) return false;
  CPoint where;
  if (!frame->getCurrentMouseLocation(where)) return false;
  return frame->onWheel(where, distance, frame->getCurrentMouseButtons());
}

bool AEffGUIEditor::setKnobMode(VstInt32 val) {
  knobMode.store(val, std::memory_order_relaxed);
  return true;
}

VstInt32 AEffGUIEditor::getKnobMode() {
  return knobMode.load(std::memory_order_relaxed);
}

uint32_t AEffGUIEditor::getTicks() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void AEffGUIEditor::beginEdit(VstInt32 index) {
  if (auto* fx = dynamic_cast<AudioEffectX*>(effect)) fx->beginEdit(index);
}

void AEffGUIEditor::endEdit(VstInt32 index) {
  if (auto* fx = dynamic_cast<AudioEffectX*>(effect)) fx->endEdit(index);
}
