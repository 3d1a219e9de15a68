// The standard VST 2.4 preset containers, always big-endian on disk:
//   .fxp  'CcnK' size 'FxCk'|'FPCh' version fxID fxVersion numParams name[28]
//         then numParams floats, or chunk size + chunk bytes
//   .fxb  'CcnK' size 'FxBk'|'FBCh' version fxID fxVersion numPrograms future[128]
//         then numPrograms complete .fxp records, or chunk size + chunk bytes
// "size" counts the bytes after itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fx {

constexpr size_t kProgramNameBytes = 28;
constexpr size_t kBankFutureBytes = 128;
constexpr size_t kProgramHeaderBytes = 56;  // up to and including the name
constexpr size_t kBankHeaderBytes = 156;    // up to and including future[128]

struct Program {
  std::string name;  // at most 27 characters are stored
  std::vector<float> params;
};

struct Container {
  enum class Kind { Program, Bank };
  Kind kind = Kind::Program;
  bool opaque = false;  // chunk form ('FPCh' / 'FBCh')
  int32_t version = 1;
  int32_t fxID = 0;
  int32_t fxVersion = 0;
  int32_t numPrograms = 0;        // banks: programs in the bank
  int32_t numParams = 0;          // programs: parameters per program
  std::string programName;        // programs
  std::vector<float> params;      // program, parameter-list form
  std::vector<Program> programs;  // bank, parameter-list form
  std::vector<uint8_t> chunk;     // chunk forms
  int32_t currentProgram = -1;    // banks of version 2 only
};

std::vector<uint8_t> writeProgram(int32_t fxID, int32_t fxVersion, const Program& program);
std::vector<uint8_t> writeProgramChunk(int32_t fxID, int32_t fxVersion, int32_t numParams,
                                       const std::string& name, const std::vector<uint8_t>& chunk);
std::vector<uint8_t> writeBank(int32_t fxID, int32_t fxVersion,
                               const std::vector<Program>& programs);
std::vector<uint8_t> writeBankChunk(int32_t fxID, int32_t fxVersion, int32_t numPrograms,
                                    const std::vector<uint8_t>& chunk);

// Reads a whole file's bytes. False with a one-line reason for a wrong magic,
// a truncated or oversized record, sizes that disagree with the data, or
// negative counts.
bool read(const uint8_t* data, size_t size, Container& out, std::string& error);

// Big-endian helpers, exposed for tests and for other readers.
void putU32(std::vector<uint8_t>& out, uint32_t v);
uint32_t getU32(const uint8_t* p);
void putFloat(std::vector<uint8_t>& out, float v);
float getFloat(const uint8_t* p);

}  // namespace fx
