// One loaded plug-in instance: the library, its effect record and the
// dispatcher calls a host makes, with text answers read into safe buffers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/vst_abi.h"
#include "tools/vst/host_context.h"

namespace khost {

class Plugin {
 public:
  // Loads the library, calls its entry point and effOpen. Throws HostError
  // (kExitPlugin) when the library, the entry point or the record is unusable.
  Plugin(const std::string& path, HostContext& host);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  AEffect* effect() const { return effect_; }
  HostContext& host() const { return host_; }
  const std::string& path() const { return path_; }

  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f) const;

  int numParams() const { return effect_->numParams; }
  int numPrograms() const { return effect_->numPrograms; }
  int numInputs() const { return effect_->numInputs; }
  int numOutputs() const { return effect_->numOutputs; }
  int32_t flags() const { return effect_->flags; }
  int32_t uniqueID() const { return effect_->uniqueID; }
  int32_t version() const { return effect_->version; }

  // Text requests: the plug-in writes into a generous zeroed buffer, so an
  // answer longer than the interface's limit cannot overrun our memory.
  std::string text(VstInt32 opcode, VstInt32 index = 0) const;
  std::string paramName(int index) const { return text(effGetParamName, index); }
  std::string paramDisplay(int index) const { return text(effGetParamDisplay, index); }
  std::string paramLabel(int index) const { return text(effGetParamLabel, index); }
  std::string programName() const { return text(effGetProgramName); }

  float getParameter(int index) const;
  void setParameter(int index, float value) const;

  // The parameter a user means by NAME (exact, then case-insensitive) or by
  // an index. Throws a usage error when there is no such parameter.
  int findParameter(const std::string& nameOrIndex) const;

  // effMainsChanged plus effStartProcess/effStopProcess, in a host's order.
  void resume() const;
  void suspend() const;

  // effClose once; the record is gone afterwards. A resumed plug-in is
  // suspended first unless suspendFirst is false (allowed, and some hosts do it).
  void close(bool suspendFirst = true);

 private:
  std::string path_;
  HostContext& host_;
  void* library_ = nullptr;
  AEffect* effect_ = nullptr;
  bool resumed_ = false;
};

// "name=value" assignments given with --param, applied in order.
struct ParamSetting {
  std::string name;
  double value = 0.0;
};
ParamSetting parseParamSetting(const std::string& text);
void applyParams(const Plugin& plugin, const std::vector<ParamSetting>& settings);

std::string fourChars(int32_t id);

}  // namespace khost
