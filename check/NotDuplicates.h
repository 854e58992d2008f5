// NotDuplicates: the groups the user marked "not duplicates", kept by the identity of
// their files, and which groups of a check's result they hide. The window and
// tessarin-cli --ignore-list read the same list, so they hide the same groups.
#pragma once

#include "check/Results.h"
#include "scan/Platform.h"

#include <string>
#include <string_view>
#include <vector>

namespace Check {

// A file of a marked group: its path, and the file in the state it was marked in.
struct MarkedFile {
    std::string path;
    Platform::FileStamp stamp;

    bool operator==(const MarkedFile&) const = default;
};
using MarkedGroup = std::vector<MarkedFile>;

// The marked groups, in the order they were marked.
struct NotDuplicateList {
    std::vector<MarkedGroup> groups;

    bool operator==(const NotDuplicateList&) const = default;
};

// Returns the files of a group as the check found them, in order; a file the check
// could not look up is left out.
MarkedGroup MarkGroup(const std::vector<FoundFile>& files);

// Tells for each group of result whether list hides it: while every file of a marked
// group is unchanged (the same identity, size and modification time), a group whose
// files are all among them, as the check found them, is not shown. A group with a file
// more, or with a file that changed, is shown, and so is every group once one marked
// file changed or went. Looks up now only the marked files that are not in the group,
// and nothing at all when the list is empty.
std::vector<bool> HiddenGroups(const NotDuplicateList& list, const std::vector<ResultGroup>& result);

// The list as text, UTF-8 with LF: lines starting with "#" are comments; every other
// line is one file, "DEVICE INODE SIZE SECONDS NANOSECONDS PATH" (decimal numbers,
// SECONDS may be negative, one space between the fields), and an empty line ends a
// group. In PATH a "\" is written "\\", a line feed "\n", and every other control
// character, a byte that is not part of valid UTF-8 and a space at the end "\xNN"; a
// CR at the end of a line belongs to no path.
std::string NotDuplicatesText(const NotDuplicateList& list);
// Reads the text back; throws Files::FileError naming file and the line that is not
// in that form.
NotDuplicateList ParseNotDuplicates(std::string_view text, const std::string& file);

// Reads the list in file; a file that does not exist is an empty list. Throws
// Files::FileError when it cannot be read or is not in the form above.
NotDuplicateList LoadNotDuplicates(const std::string& file);
// Writes list to file (whose folder must exist) through Files::SaveFileReplacing.
void SaveNotDuplicates(const std::string& file, const NotDuplicateList& list);

} // namespace Check
