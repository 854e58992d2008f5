// ExtFilter: the extension field read two ways: cleaned into the open-file dialog's
// pattern list, and parsed into the list the folder scan matches names against.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace FileScan {

using ExtList = std::vector<std::string>;

// True for a field that asks for every file: empty, or exactly "*.*".
bool MeansEveryFile(std::string_view text);
// Cleans the extension field into the open-file dialog's pattern list: the accepted
// "*.ext;" tokens in input order, or "*.*".
std::string NormalizeExtFilter(const std::string& text);
// Appends the field's ";"-separated pieces, "*" removed and upper-cased, to list.
void ParseExtList(const std::string& text, ExtList& list);
// True when list is empty or holds the path's upper-cased extension.
bool MatchesExtList(const std::string& path, const ExtList& list);

} // namespace FileScan
