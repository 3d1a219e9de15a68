#include "tools/vst/plugin_state.h"

#include <algorithm>

#include "tools/base/cli.h"
#include "tools/io/files.h"
#include "tools/io/fx_container.h"

namespace khost {

namespace {

enum class FileKind { Program, Bank, Raw };

FileKind kindOf(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return FileKind::Raw;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (ext == "fxp") return FileKind::Program;
  if (ext == "fxb") return FileKind::Bank;
  return FileKind::Raw;
}

bool usesChunks(const Plugin& plugin) {
  return (plugin.flags() & effFlagsProgramChunks) != 0;
}

std::vector<uint8_t> getChunk(const Plugin& plugin, bool program) {
  void* data = nullptr;
  const VstIntPtr size = plugin.dispatch(effGetChunk, program ? 1 : 0, 0, &data);
  if (size <= 0 || data == nullptr) throw HostError(kExitPlugin, "the plug-in gave no state chunk");
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

void setChunk(const Plugin& plugin, const std::vector<uint8_t>& chunk, bool program,
              const std::string& path) {
  std::vector<uint8_t> copy = chunk;  // the plug-in gets memory it may not keep, but may read late
  const VstIntPtr result = plugin.dispatch(effSetChunk, program ? 1 : 0,
                                           static_cast<VstIntPtr>(copy.size()), copy.data());
  // Hosts ignore the answer in general; a negative one is an explicit refusal.
  if (result < 0) throw HostError(kExitIo, path + ": the plug-in refused the state chunk");
}

fx::Program currentProgram(const Plugin& plugin) {
  fx::Program p;
  p.name = plugin.programName();
  for (int i = 0; i < plugin.numParams(); ++i) p.params.push_back(plugin.getParameter(i));
  return p;
}

void applyProgram(const Plugin& plugin, const fx::Program& p) {
  plugin.dispatch(effSetProgramName, 0, 0, const_cast<char*>(p.name.c_str()));
  for (size_t i = 0; i < p.params.size(); ++i)
    plugin.setParameter(static_cast<int>(i), p.params[i]);
}

}  // namespace

void loadState(const Plugin& plugin, const std::string& path) {
  const std::vector<uint8_t> bytes = readWholeFile(path);
  const FileKind kind = kindOf(path);
  if (kind == FileKind::Raw) {
    if (!usesChunks(plugin))
      throw HostError(kExitIo, path + ": the plug-in does not take state chunks, use .fxp or .fxb");
    setChunk(plugin, bytes, false, path);
    return;
  }
  fx::Container c;
  std::string error;
  if (!fx::read(bytes.data(), bytes.size(), c, error))
    throw HostError(kExitIo, path + ": " + error);
  if ((kind == FileKind::Program) != (c.kind == fx::Container::Kind::Program))
    throw HostError(kExitIo, path + ": the file extension does not match its contents");
  if (c.fxID != plugin.uniqueID())
    throw HostError(kExitIo, path + ": made for plug-in id '" + fourChars(c.fxID) + "', not '" +
                                 fourChars(plugin.uniqueID()) + "'");
  if (c.opaque) {
    if (!usesChunks(plugin))
      throw HostError(kExitIo, path + ": holds a chunk but the plug-in does not take chunks");
    setChunk(plugin, c.chunk, c.kind == fx::Container::Kind::Program, path);
    return;
  }
  if (c.kind == fx::Container::Kind::Program) {
    if (c.numParams != plugin.numParams())
      throw HostError(kExitIo, path + ": holds " + std::to_string(c.numParams) +
                                   " parameters, the plug-in has " +
                                   std::to_string(plugin.numParams()));
    applyProgram(plugin, fx::Program{c.programName, c.params});
    return;
  }
  if (c.numPrograms > plugin.numPrograms())
    throw HostError(kExitIo, path + ": holds " + std::to_string(c.numPrograms) +
                                 " programs, the plug-in has " +
                                 std::to_string(plugin.numPrograms()));
  for (const fx::Program& p : c.programs)
    if (p.params.size() != static_cast<size_t>(plugin.numParams()))
      throw HostError(kExitIo, path + ": a program's parameter count differs from the plug-in's");
  const VstIntPtr current = plugin.dispatch(effGetProgram);
  for (size_t i = 0; i < c.programs.size(); ++i) {
    plugin.dispatch(effSetProgram, 0, static_cast<VstIntPtr>(i));
    applyProgram(plugin, c.programs[i]);
  }
  plugin.dispatch(
      effSetProgram, 0,
      c.currentProgram >= 0 && c.currentProgram < c.numPrograms ? c.currentProgram : current);
}

void saveState(const Plugin& plugin, const std::string& path) {
  const FileKind kind = kindOf(path);
  std::vector<uint8_t> bytes;
  if (kind == FileKind::Raw) {
    if (!usesChunks(plugin))
      throw HostError(kExitPlugin, path + ": the plug-in has no state chunk, save as .fxp or .fxb");
    bytes = getChunk(plugin, false);
  } else if (kind == FileKind::Program) {
    if (usesChunks(plugin))
      bytes = fx::writeProgramChunk(plugin.uniqueID(), plugin.version(), plugin.numParams(),
                                    plugin.programName(), getChunk(plugin, true));
    else
      bytes = fx::writeProgram(plugin.uniqueID(), plugin.version(), currentProgram(plugin));
  } else if (usesChunks(plugin)) {
    bytes = fx::writeBankChunk(plugin.uniqueID(), plugin.version(), plugin.numPrograms(),
                               getChunk(plugin, false));
  } else {
    std::vector<fx::Program> programs;
    const VstIntPtr current = plugin.dispatch(effGetProgram);
    for (int i = 0; i < plugin.numPrograms(); ++i) {
      plugin.dispatch(effSetProgram, 0, i);
      programs.push_back(currentProgram(plugin));
    }
    plugin.dispatch(effSetProgram, 0, current);
    bytes = fx::writeBank(plugin.uniqueID(), plugin.version(), programs);
  }
  writeWholeFile(path, bytes);
}

}  // namespace khost
