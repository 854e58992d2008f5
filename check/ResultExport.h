// ResultExport: the result groups as CSV or JSON text, for a spreadsheet or a script;
// the window's save command and tessarin-cli share it.
#pragma once

#include "scan/Platform.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Check {

enum class ResultFormat { Csv, Json };

// The groups of the result tree in tree order, each with its files' paths in order;
// group number n (from 1) is groups[n - 1].
using ResultGroups = std::vector<std::vector<std::string>>;

// Returns the groups as text, one record per file: the group number, the file's
// position in its group (from 1), its path, its size in bytes and its modification
// time (ModifiedText), the last two read from the disk now.
//
// CSV: UTF-8 with a byte-order mark, the header "group,position,path,size,modified",
// CRLF after every record, a field quoted (quotes doubled) when it holds a comma, a
// quote, CR or LF. JSON: {"groups": [{"group": 1, "files": [{"position": 1, "path":
// ..., "size": ..., "modified": ...}, ...]}, ...]}, a group without files included.
//
// A path that is valid UTF-8 is written as it is, unless it holds a backslash that reads
// as an escape ("\x" and two hex digits); any other as the window shows it
// (FileScan::DisplayPath), and the JSON then adds its bytes in base64 as "path_base64".
// So no two paths share a text (FileScan::WritableAsIs).
// A path that no longer names a regular file gets empty size and time fields (null in
// the JSON).
std::string FormatResults(const ResultGroups& groups, ResultFormat format);

// What a clean planned for a file or did to it: "keep", "remove", "trashed", "deleted"
// or "stayed", with the reason of a file that stayed.
struct FileAction {
    std::string action;
    std::string reason;
};
// FormatResults with the action of every file (actions[g][p] for groups[g][p]): the CSV
// gets the columns "action" and "reason" (empty but for a file that stayed), the JSON
// the members "action" and, for a file that stayed, "reason".
std::string FormatResults(
    const ResultGroups& groups, ResultFormat format, const std::vector<std::vector<FileAction>>& actions);

// Writes FormatResults to target through Files::SaveFileReplacing, whose FileError
// it passes on.
void SaveResults(const std::string& target, const ResultGroups& groups, ResultFormat format);

// Returns the format the extension of path asks for (".csv" or ".json", in any case),
// else fallback.
ResultFormat ResultFormatOf(const std::string& path, ResultFormat fallback);

// Returns a modification time in ISO 8601 as the local clock showed it, to the second, with its offset: "2024-05-01T09:30:00+09:00". Where
// the zone's offset is no whole number of minutes the time is given in UTC ("+00:00").
// Returns "" when the platform cannot convert it.
std::string ModifiedText(const Platform::FileTime& mtime);

} // namespace Check
