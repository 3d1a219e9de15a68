#include "tools/vst/plugin.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "tools/base/cli.h"

namespace khost {

namespace {

// Big enough for any text a plug-in writes past the interface's limits.
constexpr size_t kTextBuffer = 1024;

std::string directoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// dlsym on a handle may also answer from the library's dependencies; an entry
// point must come from the library itself.
void* ownSymbol(void* library, const char* name) {
  void* sym = dlsym(library, name);
  if (sym == nullptr) return nullptr;
  struct link_map* map = nullptr;
  Dl_info info{};
  if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return sym;
  if (dladdr(sym, &info) == 0) return nullptr;
  if (reinterpret_cast<uintptr_t>(info.dli_fbase) != static_cast<uintptr_t>(map->l_addr))
    return nullptr;
  return sym;
}

}  // namespace

Plugin::Plugin(const std::string& path, HostContext& host) : path_(path), host_(host) {
  host_.pluginDirectory = directoryOf(path);
  // A path without a slash would make dlopen search the library path.
  const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
  library_ = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library_ == nullptr) {
    const char* why = dlerror();
    throw HostError(kExitPlugin,
                    "cannot load " + path + ": " + (why != nullptr ? why : "unknown error"));
  }
  void* entry = ownSymbol(library_, "VSTPluginMain");
  if (entry == nullptr) entry = ownSymbol(library_, "main");
  if (entry == nullptr)
    throw HostError(kExitPlugin, path + " has no VST entry point (VSTPluginMain or main)");

  VstPluginMainProc main = nullptr;
  static_assert(sizeof main == sizeof entry, "function and object pointers differ");
  std::memcpy(&main, &entry, sizeof main);
  setLoadingContext(&host_);
  AEffect* effect = main(hostCallback);
  setLoadingContext(nullptr);
  if (effect == nullptr)
    throw HostError(kExitPlugin, path + ": the entry point returned no effect");
  if (effect->magic != kEffectMagic)
    throw HostError(kExitPlugin, path + ": the effect record has a wrong magic (" +
                                     hex32(static_cast<uint32_t>(effect->magic)) + ")");
  if (effect->dispatcher == nullptr)
    throw HostError(kExitPlugin, path + ": the effect record has no dispatcher");
  if (effect->numParams < 0 || effect->numPrograms < 0 || effect->numInputs < 0 ||
      effect->numOutputs < 0)
    throw HostError(kExitPlugin, path + ": the effect record has negative counts");
  effect_ = effect;
  effect_->resvd1 = reinterpret_cast<VstIntPtr>(&host_);
  dispatch(effOpen);
}

Plugin::~Plugin() {
  close();
}

void Plugin::close(bool suspendFirst) {
  if (effect_ == nullptr) return;
  if (resumed_ && suspendFirst) suspend();
  dispatch(effClose);
  effect_ = nullptr;
  // The library stays loaded: plug-ins may leave threads or atexit handlers
  // behind, and unloading under them crashes more hosts than it helps.
}

VstIntPtr Plugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                           float opt) const {
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string Plugin::text(VstInt32 opcode, VstInt32 index) const {
  char buffer[kTextBuffer] = {};
  dispatch(opcode, index, 0, buffer, 0.0f);
  buffer[kTextBuffer - 1] = '\0';
  return std::string(buffer);
}

float Plugin::getParameter(int index) const {
  return effect_->getParameter != nullptr ? effect_->getParameter(effect_, index) : 0.0f;
}

void Plugin::setParameter(int index, float value) const {
  if (effect_->setParameter != nullptr) effect_->setParameter(effect_, index, value);
}

int Plugin::findParameter(const std::string& nameOrIndex) const {
  for (int i = 0; i < numParams(); ++i)
    if (paramName(i) == nameOrIndex) return i;
  const std::string wanted = lower(nameOrIndex);
  for (int i = 0; i < numParams(); ++i)
    if (lower(paramName(i)) == wanted) return i;
  long long index = 0;
  if (parseInt(nameOrIndex, index)) {
    if (index < 0 || index >= numParams())
      usageError("parameter index " + nameOrIndex + " out of range 0.." +
                 std::to_string(numParams() - 1));
    return static_cast<int>(index);
  }
  usageError("no parameter named \"" + nameOrIndex + "\"");
}

void Plugin::resume() const {
  dispatch(effMainsChanged, 0, 1);
  dispatch(effStartProcess);
  const_cast<Plugin*>(this)->resumed_ = true;
}

void Plugin::suspend() const {
  dispatch(effStopProcess);
  dispatch(effMainsChanged, 0, 0);
  const_cast<Plugin*>(this)->resumed_ = false;
}

ParamSetting parseParamSetting(const std::string& text) {
  const size_t eq = text.rfind('=');
  if (eq == std::string::npos || eq == 0)
    usageError("--param wants NAME_OR_INDEX=VALUE, got \"" + text + "\"");
  ParamSetting s;
  s.name = text.substr(0, eq);
  const std::string value = text.substr(eq + 1);
  if (!parseDouble(value, s.value)) usageError("bad parameter value \"" + value + "\"");
  if (s.value < 0.0 || s.value > 1.0) usageError("parameter value " + value + " is outside 0..1");
  return s;
}

void applyParams(const Plugin& plugin, const std::vector<ParamSetting>& settings) {
  for (const ParamSetting& s : settings)
    plugin.setParameter(plugin.findParameter(s.name), static_cast<float>(s.value));
}

std::string fourChars(int32_t id) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const unsigned char c = static_cast<unsigned char>((static_cast<uint32_t>(id) >> shift) & 0xFF);
    s += (c >= 32 && c < 127) ? static_cast<char>(c) : '?';
  }
  return s;
}

}  // namespace khost
