// PathRoutines: the path routines every part shares. Paths are byte strings with "/" as
// separator, never re-encoded.
#pragma once

#include <string>

namespace FileScan {

// The extension runs from the last "." after the last "/" and keeps its dot ("" when
// none); the file name is what follows the last "/"; the directory part runs up to and
// including the last "/" ("" when none).
std::string ExtractFileExt(const std::string& path);
std::string ExtractFileName(const std::string& path);
std::string ExtractFileDir(const std::string& path);
// Joins folder and name with one "/" ("/" + "a" gives "/a", never "//a").
std::string JoinPath(const std::string& folder, const std::string& name);
// Upper-cases the ASCII letters a-z, byte by byte; every other byte stays.
std::string UpperAscii(std::string text);

} // namespace FileScan
