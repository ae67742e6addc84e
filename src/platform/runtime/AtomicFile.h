#pragma once
// Whole-file reads and all-or-nothing replacement of a file's contents.

#include <string>

namespace beamlink {

// Returns false when there is no such file; throws std::system_error when it exists but cannot
// be read.
bool readFileIfExists(const std::string& path, std::string& contents);

// Writes a temporary file beside `path`, syncs it, renames it over `path` and syncs the
// directory. A symbolic link at `path` is written through. Throws std::system_error; the old
// file then stays as it was and the temporary file is gone.
void replaceFile(const std::string& path, const std::string& contents);

}  // namespace beamlink
