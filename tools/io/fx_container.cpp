#include "tools/io/fx_container.h"

#include <algorithm>
#include <cstring>

#include "host/vst_abi.h"

namespace fx {

namespace {

void putI32(std::vector<uint8_t>& out, int32_t v) {
  putU32(out, static_cast<uint32_t>(v));
}
int32_t getI32(const uint8_t* p) {
  return static_cast<int32_t>(getU32(p));
}

void putName(std::vector<uint8_t>& out, const std::string& name) {
  uint8_t field[kProgramNameBytes] = {};
  std::memcpy(field, name.data(), std::min(name.size(), kProgramNameBytes - 1));
  out.insert(out.end(), field, field + kProgramNameBytes);
}

std::string getName(const uint8_t* p) {
  size_t n = 0;
  while (n < kProgramNameBytes && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

// Patches the byteSize field once the record is complete.
void finish(std::vector<uint8_t>& out, size_t start) {
  const uint32_t size = static_cast<uint32_t>(out.size() - start - 8);
  for (int i = 0; i < 4; ++i) out[start + 4 + i] = static_cast<uint8_t>(size >> (24 - 8 * i));
}

void header(std::vector<uint8_t>& out, int32_t magic, int32_t fxID, int32_t fxVersion,
            int32_t count) {
  putI32(out, cMagic);
  putI32(out, 0);  // byteSize, patched by finish()
  putI32(out, magic);
  putI32(out, 1);
  putI32(out, fxID);
  putI32(out, fxVersion);
  putI32(out, count);
}

// Parses one program record occupying exactly [p, p + size).
bool readProgram(const uint8_t* p, size_t size, Container& out, std::string& error) {
  if (size < kProgramHeaderBytes) {
    error = "truncated program header";
    return false;
  }
  const int32_t magic = getI32(p + 8);
  out.kind = Container::Kind::Program;
  out.opaque = magic == chunkPresetMagic;
  out.version = getI32(p + 12);
  out.fxID = getI32(p + 16);
  out.fxVersion = getI32(p + 20);
  out.numParams = getI32(p + 24);
  out.programName = getName(p + 28);
  if (out.numParams < 0) {
    error = "negative parameter count";
    return false;
  }
  const size_t rest = size - kProgramHeaderBytes;
  const uint8_t* body = p + kProgramHeaderBytes;
  if (!out.opaque) {
    const size_t need = static_cast<size_t>(out.numParams) * 4;
    if (rest != need) {
      error = rest < need ? "truncated parameter list" : "parameter list longer than its count";
      return false;
    }
    out.params.resize(static_cast<size_t>(out.numParams));
    for (size_t i = 0; i < out.params.size(); ++i) out.params[i] = getFloat(body + 4 * i);
    return true;
  }
  if (rest < 4) {
    error = "truncated chunk size";
    return false;
  }
  const uint32_t chunkSize = getU32(body);
  if (chunkSize != rest - 4) {
    error = chunkSize > rest - 4 ? "chunk size exceeds the file" : "chunk shorter than the file";
    return false;
  }
  out.chunk.assign(body + 4, body + 4 + chunkSize);
  return true;
}

bool readBank(const uint8_t* p, size_t size, Container& out, std::string& error) {
  if (size < kBankHeaderBytes) {
    error = "truncated bank header";
    return false;
  }
  const int32_t magic = getI32(p + 8);
  out.kind = Container::Kind::Bank;
  out.opaque = magic == chunkBankMagic;
  out.version = getI32(p + 12);
  out.fxID = getI32(p + 16);
  out.fxVersion = getI32(p + 20);
  out.numPrograms = getI32(p + 24);
  if (out.numPrograms < 0) {
    error = "negative program count";
    return false;
  }
  if (out.version >= 2) out.currentProgram = getI32(p + 28);
  const uint8_t* body = p + kBankHeaderBytes;
  size_t rest = size - kBankHeaderBytes;
  if (out.opaque) {
    if (rest < 4) {
      error = "truncated chunk size";
      return false;
    }
    const uint32_t chunkSize = getU32(body);
    if (chunkSize != rest - 4) {
      error = chunkSize > rest - 4 ? "chunk size exceeds the file" : "chunk shorter than the file";
      return false;
    }
    out.chunk.assign(body + 4, body + 4 + chunkSize);
    return true;
  }
  for (int32_t i = 0; i < out.numPrograms; ++i) {
    // The whole program header before any of it is read.
    if (rest < kProgramHeaderBytes) {
      error = "truncated program " + std::to_string(i) + " in bank";
      return false;
    }
    const size_t programSize = static_cast<size_t>(getU32(body + 4)) + 8;
    if (getI32(body) != cMagic || getI32(body + 8) != fMagic) {
      error = "program " + std::to_string(i) + " in bank is not a parameter list";
      return false;
    }
    if (programSize > rest) {
      error = "program " + std::to_string(i) + " in bank exceeds the file";
      return false;
    }
    Container one;
    if (!readProgram(body, programSize, one, error)) {
      error = "program " + std::to_string(i) + " in bank: " + error;
      return false;
    }
    if (one.fxID != out.fxID) {
      error = "program " + std::to_string(i) + " in bank has another plug-in id";
      return false;
    }
    out.programs.push_back(Program{one.programName, one.params});
    body += programSize;
    rest -= programSize;
  }
  if (rest != 0) {
    error = "bank longer than its programs";
    return false;
  }
  return true;
}

}  // namespace

void putU32(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 24));
  out.push_back(static_cast<uint8_t>(v >> 16));
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

uint32_t getU32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

void putFloat(std::vector<uint8_t>& out, float v) {
  uint32_t bits = 0;
  std::memcpy(&bits, &v, 4);
  putU32(out, bits);
}

float getFloat(const uint8_t* p) {
  const uint32_t bits = getU32(p);
  float v = 0;
  std::memcpy(&v, &bits, 4);
  return v;
}

std::vector<uint8_t> writeProgram(int32_t fxID, int32_t fxVersion, const Program& program) {
  std::vector<uint8_t> out;
  header(out, fMagic, fxID, fxVersion, static_cast<int32_t>(program.params.size()));
  putName(out, program.name);
  for (float v : program.params) putFloat(out, v);
  finish(out, 0);
  return out;
}

std::vector<uint8_t> writeProgramChunk(int32_t fxID, int32_t fxVersion, int32_t numParams,
                                       const std::string& name, const std::vector<uint8_t>& chunk) {
  std::vector<uint8_t> out;
  header(out, chunkPresetMagic, fxID, fxVersion, numParams);
  putName(out, name);
  putU32(out, static_cast<uint32_t>(chunk.size()));
  out.insert(out.end(), chunk.begin(), chunk.end());
  finish(out, 0);
  return out;
}

std::vector<uint8_t> writeBank(int32_t fxID, int32_t fxVersion,
                               const std::vector<Program>& programs) {
  std::vector<uint8_t> out;
  header(out, bankMagic, fxID, fxVersion, static_cast<int32_t>(programs.size()));
  out.insert(out.end(), kBankFutureBytes, 0);
  for (const Program& p : programs) {
    const std::vector<uint8_t> one = writeProgram(fxID, fxVersion, p);
    out.insert(out.end(), one.begin(), one.end());
  }
  finish(out, 0);
  return out;
}

std::vector<uint8_t> writeBankChunk(int32_t fxID, int32_t fxVersion, int32_t numPrograms,
                                    const std::vector<uint8_t>& chunk) {
  std::vector<uint8_t> out;
  header(out, chunkBankMagic, fxID, fxVersion, numPrograms);
  out.insert(out.end(), kBankFutureBytes, 0);
  putU32(out, static_cast<uint32_t>(chunk.size()));
  out.insert(out.end(), chunk.begin(), chunk.end());
  finish(out, 0);
  return out;
}

bool read(const uint8_t* data, size_t size, Container& out, std::string& error) {
  out = Container{};
  if (size < 28) {
    error = "file too short for a preset header";
    return false;
  }
  if (getI32(data) != cMagic) {
    error = "not a VST preset file (no 'CcnK' magic)";
    return false;
  }
  const size_t declared = static_cast<size_t>(getU32(data + 4)) + 8;
  if (declared > size) {
    error = "file shorter than its declared size";
    return false;
  }
  if (declared < size) {
    error = "file longer than its declared size";
    return false;
  }
  const int32_t magic = getI32(data + 8);
  if (magic == fMagic || magic == chunkPresetMagic) return readProgram(data, size, out, error);
  if (magic == bankMagic || magic == chunkBankMagic) return readBank(data, size, out, error);
  error = "unknown preset kind (neither 'FxCk', 'FPCh', 'FxBk' nor 'FBCh')";
  return false;
}

}  // namespace fx
