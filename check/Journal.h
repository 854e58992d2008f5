// Journal: the record of a clean, one JSON line per file it changed, that tells undo
// where every file went and what it was.
#pragma once

#include "scan/FileIdentity.h"
#include "scan/PlatformActions.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Check {

enum class JournalAction {
    // Into the desktop trash; went is the trash entry.
    Trash,
    // Deleted for good: nothing can bring it back.
    Delete,
    // The name became a hard link of the kept file.
    HardLink,
    // Its blocks are shared with the kept file's; nothing else changed.
    Reflink,
    // Moved aside; went is its new path.
    Move,
};

// The words of the journal: "trash", "delete", "hardlink", "reflink", "move".
const char* JournalActionName(JournalAction action);
std::optional<JournalAction> JournalActionFromName(const std::string& name);

struct JournalRecord {
    JournalAction action = JournalAction::Delete;
    std::string path;
    // The file as it was right before the action.
    Files::FileIdentity identity;
    Platform::Timestamp accessed;
    std::uint32_t permissions = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    // The kept file whose bytes it held ("" for none), as it was then.
    std::string kept;
    Files::FileIdentity keptIdentity;
    // Its trash entry or its new path ("" for none).
    std::string went;
    // When, in UTC: "2024-05-01T00:30:00Z".
    std::string time;
};

// The record of action done to path, which was before (right before the action) and
// went to went, with the kept file kept (kept's identity keptIdentity); time is now.
JournalRecord MakeJournalRecord(JournalAction action, const std::string& path, const Platform::FileStatus& before,
    const std::string& went, const std::string& kept = {}, const Files::FileIdentity& keptIdentity = {});

// One record as a JSON object on one line (no line break): "time", "action", "path",
// "device", "inode", "size", "mtime_s", "mtime_ns", "atime_s", "atime_ns", "mode" (octal
// text), "owner", "group", "kept", "kept_device", "kept_inode", "kept_size",
// "kept_mtime_s", "kept_mtime_ns", "went". A path that is not valid UTF-8 is written as
// the window shows it, and its bytes follow in base64 as "path_base64" ("kept_base64",
// "went_base64"), which reading prefers.
std::string JournalLine(const JournalRecord& record);
// Reads a line JournalLine wrote; nothing when it is no such record.
std::optional<JournalRecord> ParseJournalLine(const std::string& line);

// Where journals go by default: the program's state folder ($XDG_STATE_HOME/tessarin,
// ~/.local/state/tessarin).
std::string DefaultJournalFolder();

// A journal being written: every record is in the file as soon as Append returns, so
// that a clean cut short (the program killed) leaves the record of what it did; Close
// flushes it to disk.
class Journal {
public:
    // Creates the file at path, never replacing one; readable by its owner only.
    Platform::Status Create(const std::string& path);
    // Creates folder as needed and a new file in it named after the time now:
    // "clean-20240501-003000.jsonl" ("clean-20240501-003000-2.jsonl" when taken).
    Platform::Status CreateIn(const std::string& folder);
    Platform::Status Append(const JournalRecord& record);
    // Flushes to disk and closes.
    Platform::Status Close();
    const std::string& Path() const { return m_path; }

private:
    Platform::WriteFile m_file;
    std::string m_path;
    std::uint64_t m_end = 0;
};

struct JournalContents {
    std::vector<JournalRecord> records;
    // Lines that are no record (a line cut short by a crash, say).
    std::size_t badLines = 0;
};
Platform::Status ReadJournal(const std::string& path, JournalContents& contents);

// One journal of a folder, for a list to choose from.
struct JournalSummary {
    std::string path;
    // The time of its first record.
    std::string time;
    // Its actions in the order they first appear, joined by ",".
    std::string actions;
    std::size_t count = 0;
};
// The journals (*.jsonl) of folder, newest first.
std::vector<JournalSummary> ListJournals(const std::string& folder);

} // namespace Check
