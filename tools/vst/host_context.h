// What the host tells a plug-in through the audioMaster callback: version,
// time and transport, pin connections, capabilities, window resizes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "host/vst_abi.h"

namespace khost {

struct HostContext {
  double sampleRate = 44100.0;
  int32_t blockSize = 512;

  // Transport: with transport off, audioMasterGetTime answers null.
  bool transport = true;
  double tempo = 120.0;
  double ppqStart = 0.0;
  int64_t samplePos = 0;  // first frame of the block being processed
  VstTimeInfo timeInfo{};

  bool inputRightConnected = true;      // pin 1 of the inputs
  bool outputRightConnected = true;     // pin 1 of the outputs
  std::atomic<bool> processing{false};  // inside processReplacing (read from any thread)

  std::string pluginDirectory;
  // Set by the editor commands so that audioMasterSizeWindow can resize.
  std::function<bool(int width, int height)> sizeWindow;

  // What the plug-in asked for, for reporting.
  int automateCount = 0;
  int updateDisplayCount = 0;
  bool wantsMidi = false;

  // Fills timeInfo for the current samplePos.
  void updateTimeInfo();
};

// The callback handed to every plug-in's entry point. Finds its context
// through the record's host-reserved field, or the one being loaded.
VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                       float opt);

// The context the callback uses while an entry point runs (no record yet).
void setLoadingContext(HostContext* context);

}  // namespace khost
