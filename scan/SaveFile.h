// SaveFile: writing a whole file so that a reader never meets half of it.
#pragma once

#include "scan/FileError.h"

#include <string>

namespace Files {

// Writes contents to target through a new hidden file in target's folder that is
// flushed to disk and then renamed over target, replacing a file already there (the
// caller has asked the user). The file gets the permissions of any new document (the
// file-creation mask applies), also where it replaces one. On failure the temporary file is removed, target is left
// as it was, and FileError says why: CreateErrorText(target) when the file cannot be
// created or put in place, kWriteStreamError when its bytes cannot be written.
void SaveFileReplacing(const std::string& target, const std::string& contents);

} // namespace Files
