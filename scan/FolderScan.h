// FolderScan: the files of a folder, or of a whole tree, that pass the extension field,
// in a fixed order.
#pragma once

#include "scan/ExtFilter.h"

#include <string>
#include <vector>

namespace FileScan {

// What the folder scan learns of a file while listing it (scan/CandidatePaths.h).
struct ListedFile;
// What the user leaves out (scan/Exclusions.h).
class Exclusions;

// Appends every subfolder below folder, depth first in pre-order. Hidden folders
// (name starting with ".") and symbolic links are not descended into.
void ListSubFolders(const std::string& folder, std::vector<std::string>& list);
// Appends the regular files directly in folder whose extension passes filterText;
// hidden files included, symbolic links (to files or folders) left out. With listed,
// also appends each file appended as it was looked up while its folder was read (for
// CandidatePaths::Append, which then need not look the paths up again). With
// exclusions, leaves out what they exclude, their paths taken below folder.
void AddFolderFiles(const std::string& folder, const std::string& filterText, std::vector<std::string>& out,
    std::vector<ListedFile>* listed = nullptr, const Exclusions* exclusions = nullptr);
// Same as AddFolderFiles with an ExtList parsed once by the caller.
void AddFolderFilesWithList(const std::string& folder, const std::string& filterText, const ExtList& extList,
    std::vector<std::string>& out, std::vector<ListedFile>* listed = nullptr,
    const Exclusions* exclusions = nullptr);
// Appends the files of folder, then those of each subfolder in ListSubFolders order;
// a subfolder that exclusions exclude is not entered.
void AddFolderTreeFiles(const std::string& folder, const std::string& filterText, std::vector<std::string>& out,
    std::vector<ListedFile>* listed = nullptr, const Exclusions* exclusions = nullptr);

} // namespace FileScan
