// PairwiseCompare: whether two files hold the same bytes, one pair at a time.
#pragma once

#include <string>

namespace FileScan {

// True when a and b are different paths of different files with identical bytes.
// Throws FileError(OpenErrorText(path)) when either cannot be opened as a regular
// file, and for b when it is the same file as a (a link or a second name of it).
// The check run does not call this: it sorts whole lists with the engine
// (check/ContentEngine.h). This is the pairwise reference the tests and the fuzzer
// hold the engine's results against; both compare through scan/ContentCompare.h.
bool SameFileContent(const std::string& a, const std::string& b);

} // namespace FileScan
