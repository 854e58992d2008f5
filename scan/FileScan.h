// FileScan: the extension filter, the folder scan, the content comparison and the
// shared path routines. Paths are byte strings with "/" as separator, never re-encoded.
#pragma once

#include "scan/FileError.h"

#include <functional>
#include <string>
#include <vector>

namespace FileScan {

using ExtList = std::vector<std::string>;
// What the folder scan learns of a file while listing it (scan/CandidatePaths.h).
struct ListedFile;

// Path routines. The extension runs from the last "." after the last "/" and keeps
// its dot ("" when none); the file name is what follows the last "/"; the directory
// part runs up to and including the last "/" ("" when none).
std::string ExtractFileExt(const std::string& path);
std::string ExtractFileName(const std::string& path);
std::string ExtractFileDir(const std::string& path);
// Joins folder and name with one "/" ("/" + "a" gives "/a", never "//a").
std::string JoinPath(const std::string& folder, const std::string& name);
// Upper-cases the ASCII letters a-z, byte by byte; every other byte stays.
std::string UpperAscii(std::string text);

// Cleans the extension field into the open-file dialog's pattern list: the accepted
// "*.ext;" tokens in input order, or "*.*".
std::string NormalizeExtFilter(const std::string& text);
// Appends the field's ";"-separated pieces, "*" removed and upper-cased, to list.
void ParseExtList(const std::string& text, ExtList& list);
// True when list is empty or holds the path's upper-cased extension.
bool MatchesExtList(const std::string& path, const ExtList& list);

// Appends every subfolder below folder, depth first in pre-order. Hidden folders
// (name starting with ".") and symbolic links are not descended into.
void ListSubFolders(const std::string& folder, std::vector<std::string>& list);
// Appends the regular files directly in folder whose extension passes filterText;
// hidden files included, symbolic links (to files or folders) left out. With listed,
// also appends each file appended as it was looked up while its folder was read (for
// CandidatePaths::Append, which then need not look the paths up again).
void AddFolderFiles(const std::string& folder, const std::string& filterText, std::vector<std::string>& out,
    std::vector<ListedFile>* listed = nullptr);
// Same as AddFolderFiles with an ExtList parsed once by the caller.
void AddFolderFilesWithList(const std::string& folder, const std::string& filterText, const ExtList& extList,
    std::vector<std::string>& out, std::vector<ListedFile>* listed = nullptr);
// Appends the files of folder, then those of each subfolder in ListSubFolders order.
void AddFolderTreeFiles(const std::string& folder, const std::string& filterText, std::vector<std::string>& out,
    std::vector<ListedFile>* listed = nullptr);

// True when a and b are different paths of different files with identical bytes.
// Throws FileError(OpenErrorText(path)) when either cannot be opened as a regular
// file, and for b when it is the same file as a (a link or a second name of it).
// The check run does not call this: it sorts whole lists with the engine
// (check/ContentEngine.h). This is the pairwise reference the tests and the fuzzer
// hold the engine's results against; both compare through scan/ContentCompare.h.
bool SameFileContent(const std::string& a, const std::string& b);

// The folder chooser behind PickFolder; the window layer installs it.
using FolderBrowser = std::function<bool(const std::string& title, std::string& folder)>;
void SetFolderBrowser(FolderBrowser browser);
// Shows the folder chooser with title; on success sets folder and returns true.
// A folder passed in that is not an existing directory is emptied first.
bool PickFolder(const std::string& title, std::string& folder);

} // namespace FileScan
