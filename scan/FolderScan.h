// FolderScan: the files of a folder, or of a whole tree, that pass the extension field,
// in a fixed order.
#pragma once

#include "scan/ExtFilter.h"
#include "scan/PlatformError.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace FileScan {

// What the folder scan learns of a file while listing it (scan/CandidatePaths.h).
struct ListedFile;
// What the user leaves out (scan/Exclusions.h).
class Exclusions;
// Paths kept folder by folder (scan/PathStore.h).
class PathStore;

// A folder a scan could not list (or not to its end), and why.
struct UnreadFolder {
    std::string path;
    Platform::Status error;
};

// How a long scan reports and is stopped, both optional.
struct ScanWatch {
    // Called on the thread that called the scan with the count of files found so far,
    // after each folder (and every few thousand entries of the one folder of
    // AddFolderFiles).
    std::function<void(std::size_t found)> found;
    // Asked between folders and every few thousand entries of a folder, also on the
    // tree scan's helper threads (so it reads an atomic flag or the like): once it says
    // true, the scan stops soon and returns; what it appended is then incomplete, for
    // the caller to discard.
    std::function<bool()> stop;
};

// The folder given is opened as named (links followed); every folder below it is opened
// through it, following no symbolic link, so that nothing outside it is listed even when
// a folder on the way is replaced by a link meanwhile. A subfolder that is gone, or is no
// longer a folder, when its turn comes is passed over like a link. With unread, every
// other folder that could not be listed (no permission, a path past the system's limit,
// a read error) is appended to it, in the scan's order; without, they pass silently.

// Appends every subfolder below folder, depth first in pre-order. Hidden folders
// (name starting with ".") and symbolic links are not descended into.
void ListSubFolders(
    const std::string& folder, std::vector<std::string>& list, std::vector<UnreadFolder>* unread = nullptr);
// Appends the regular files directly in folder whose extension passes filterText;
// hidden files included, symbolic links (to files or folders) left out. With listed,
// also appends each file appended as it was looked up while its folder was read (for
// CandidatePaths::Append, which then need not look the paths up again); a file that is
// no regular file any more by then (replaced by a link) is left out. With exclusions,
// leaves out what they exclude, their paths taken below folder.
void AddFolderFiles(const std::string& folder, const std::string& filterText, std::vector<std::string>& out,
    std::vector<ListedFile>* listed = nullptr, std::vector<UnreadFolder>* unread = nullptr,
    const Exclusions* exclusions = nullptr, const ScanWatch* watch = nullptr);
// Same, into a PathStore: no string per file (a million of them take a lot of room and
// time).
void AddFolderFiles(const std::string& folder, const std::string& filterText, PathStore& out,
    std::vector<ListedFile>* listed = nullptr, std::vector<UnreadFolder>* unread = nullptr,
    const Exclusions* exclusions = nullptr, const ScanWatch* watch = nullptr);
// Same as AddFolderFiles with an ExtList parsed once by the caller.
void AddFolderFilesWithList(const std::string& folder, const std::string& filterText, const ExtList& extList,
    std::vector<std::string>& out, std::vector<ListedFile>* listed = nullptr,
    std::vector<UnreadFolder>* unread = nullptr, const Exclusions* exclusions = nullptr,
    const ScanWatch* watch = nullptr);
// Appends the files of folder, then those of each subfolder in ListSubFolders order; a
// subfolder that exclusions exclude is not entered.
void AddFolderTreeFiles(const std::string& folder, const std::string& filterText, std::vector<std::string>& out,
    std::vector<ListedFile>* listed = nullptr, std::vector<UnreadFolder>* unread = nullptr,
    const Exclusions* exclusions = nullptr, const ScanWatch* watch = nullptr);
// Same, into a PathStore.
void AddFolderTreeFiles(const std::string& folder, const std::string& filterText, PathStore& out,
    std::vector<ListedFile>* listed = nullptr, std::vector<UnreadFolder>* unread = nullptr,
    const Exclusions* exclusions = nullptr, const ScanWatch* watch = nullptr);

} // namespace FileScan
