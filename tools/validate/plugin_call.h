// Calls into a plug-in of either format: a C++ exception leaving it becomes
// PluginThrew naming the call, since hosts call through C and cannot catch.
#pragma once

#include <cxxabi.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <typeinfo>

#include "tools/base/cli.h"

namespace validate {

// A C++ exception that left the plug-in: what it was and the call it left.
class PluginThrew : public std::runtime_error {
 public:
  explicit PluginThrew(const std::string& message) : std::runtime_error(message) {}
};

inline std::string currentExceptionType() {
  const std::type_info* type = abi::__cxa_current_exception_type();
  if (type == nullptr) return "an exception";
  int status = 0;
  char* name = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
  std::string out = status == 0 && name != nullptr ? name : type->name();
  std::free(name);
  return out;
}

// Runs one call into the plug-in. Our own errors (HostError) pass unchanged.
// `call` is a static text: nothing here may allocate on the audio thread.
template <typename F>
auto intoPlugin(const char* call, F&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const khost::HostError&) {
    throw;
  } catch (const PluginThrew&) {
    throw;
  } catch (const std::exception& e) {
    throw PluginThrew(std::string(call) + " threw " + currentExceptionType() + " (\"" + e.what() +
                      "\")");
  } catch (...) {
    throw PluginThrew(std::string(call) + " threw " + currentExceptionType());
  }
}

}  // namespace validate
