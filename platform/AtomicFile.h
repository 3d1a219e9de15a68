// Whole-file replacement that never leaves a half-written file: the data go to
// a uniquely named temporary file in the target's folder, are flushed to disk
// and renamed over the target. Readers and a crash see the old file or the new
// one; a failure leaves the old file as it was and no temporary behind.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Writes data to path. A new file gets newFileMode (less the umask), an
// existing regular file keeps its permissions; a symbolic link is replaced by
// a new file (its target is left alone). Refused (false) when the target exists
// but is no regular file or is not writable for us, as opening it for writing
// would be.
bool writeFileAtomically(const std::string& path, const void* data, std::size_t size,
                         unsigned newFileMode = 0666);

// ".<name>.tmp-<pid>-<counter>-<random>": unique among processes and threads.
std::string temporaryNameFor(const std::string& name);

}  // namespace platform
