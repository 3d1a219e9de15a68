// Reading the files a user names (state, presets, audio) without blocking on
// a FIFO or a device, and writing output files whole or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace khost {

// Plug-in states and preset files are a few kilobytes; anything this large is
// not one.
constexpr size_t kMaxStateFileBytes = 8u << 20;

// Opens a regular file for reading without blocking on a FIFO or a device;
// throws HostError(kExitIo) for anything else. Returns the descriptor.
int openRegularFile(const std::string& path);

// Reads a whole regular file of at most maxBytes; throws HostError(kExitIo).
std::vector<uint8_t> readWholeFile(const std::string& path, size_t maxBytes = kMaxStateFileBytes);

// Refuses, before any long work, an output path that cannot be written: a
// folder, or a file in a folder we cannot create files in. Throws
// HostError(kExitIo).
void checkWritable(const std::string& path);

// Replaces the file whole through platform/AtomicFile (relative paths are
// taken from the working folder); an existing file stays as it was on any
// failure. Throws HostError(kExitIo).
void writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace khost
