// A scriptable VST 2.4 host for tests: records every callback and answers as
// the test chooses. One host per test; the callback finds it through a
// thread-local pointer because the interface passes no user data.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "host/vst_abi.h"

struct HostCall {
  AEffect* effect;
  VstInt32 opcode;
  VstInt32 index;
  VstIntPtr value;
  std::string text;  // ptr as text for audioMasterCanDo
  float opt;
};

class FakeHost {
 public:
  FakeHost() { current() = this; }
  ~FakeHost() {
    if (current() == this) current() = nullptr;
  }

  // Answers.
  VstIntPtr version = 2400;
  bool provideTime = true;  // false: audioMasterGetTime answers null
  VstTimeInfo timeInfo{};
  VstIntPtr inputPinAnswer = 0;   // 0 means connected
  VstIntPtr outputPinAnswer = 0;  // 0 means connected
  VstIntPtr canDoAnswer = 0;      // answer to every audioMasterCanDo
  std::vector<HostCall> calls;

  static audioMasterCallback callback() { return &FakeHost::dispatch; }

  int count(VstInt32 opcode) const {
    int n = 0;
    for (const HostCall& c : calls) n += c.opcode == opcode;
    return n;
  }
  std::vector<HostCall> callsOf(VstInt32 opcode) const {
    std::vector<HostCall> out;
    for (const HostCall& c : calls)
      if (c.opcode == opcode) out.push_back(c);
    return out;
  }

  static FakeHost*& current() {
    static thread_local FakeHost* host = nullptr;
    return host;
  }

 private:
  static VstIntPtr dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt) {
    FakeHost* h = current();
    if (!h) return 0;
    HostCall call{effect, opcode, index, value, std::string(), opt};
    if (opcode == audioMasterCanDo && ptr) call.text = static_cast<const char*>(ptr);
    h->calls.push_back(call);
    switch (opcode) {
      case audioMasterVersion:
        return h->version;
      case audioMasterGetTime:
        return h->provideTime ? reinterpret_cast<VstIntPtr>(&h->timeInfo) : 0;
      case audioMasterPinConnected:
        return value == 0 ? h->inputPinAnswer : h->outputPinAnswer;
      case audioMasterCanDo:
        return h->canDoAnswer;
      default:
        return 0;
    }
  }
};
