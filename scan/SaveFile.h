// SaveFile: writing a whole file so that a reader never meets half of it.
#pragma once

#include "scan/FileError.h"

#include <string>

namespace Files {

// Writes contents to target through a new hidden file in target's folder that is
// flushed to disk and then renamed over target, replacing a file already there (the
// caller has asked the user). A file that replaces one takes its permission bits, and
// its owner and group where the process may set them (Platform::WriteFile::TakeAccessOf);
// a new file gets those of any new document (the file-creation mask applies). As with
// any editor's save, a hard link to the old file keeps the old contents. On failure the
// temporary file is removed, target is left as it was, and FileError says why:
// CreateErrorText(target) when the file cannot be created or put in place,
// kWriteStreamError when its bytes cannot be written.
void SaveFileReplacing(const std::string& target, const std::string& contents);

} // namespace Files
