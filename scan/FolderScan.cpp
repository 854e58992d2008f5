// FolderScan: the folder scan, a tree listed on several threads in one-thread order.
#include "scan/FolderScan.h"

#include "scan/CandidatePaths.h"
#include "scan/Exclusions.h"
#include "scan/ExtFilter.h"
#include "scan/FileProbe.h"
#include "scan/PathRoutines.h"
#include "scan/PathStore.h"
#include "scan/Platform.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <iterator>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

namespace FileScan {

namespace {

    using Platform::EntryKind;

    // What one folder adds to a scan: its candidate files and the subfolders to descend
    // into, both in the order the folder yields them.
    struct FolderListing {
        // The names of the files, each followed by a NUL, in one block: a folder's files
        // cost a few allocations rather than one each, for which many listing threads
        // would queue up at the process's one heap (Platform::UseOneHeap).
        std::string names;
        std::size_t fileCount = 0;
        // The files as looked up, when the scan takes them.
        std::vector<ListedFile> listed;
        std::vector<std::string> children;

        // Empties the listing, keeping its room.
        void Clear()
        {
            names.clear();
            fileCount = 0;
            listed.clear();
            children.clear();
        }
    };

    struct TreeFilter {
        bool descend;
        // False when only the subfolders are wanted.
        bool files;
        bool everyFile;
        const ExtList& list;
        bool identify;
        // The user's exclusions, nullptr when none; root is where the part of a path
        // below the folder being added starts (BelowStart).
        const Exclusions* exclusions = nullptr;
        std::size_t root = 0;
        // How the scan reports and is stopped, nullptr when not watched.
        const ScanWatch* watch = nullptr;
        // Whether one folder's listing reports its count as it goes (a scan of one
        // folder, on the caller's thread): a tree's walk reports between folders.
        bool reportWithin = false;
    };

    // Puts folder's path with its closing separator into room: what JoinPath puts
    // before a name, in room that serves many folders.
    void SetFolderPrefix(std::string& room, const std::string& folder)
    {
        room.assign(folder);
        if (room.empty() || room.back() != Platform::kSeparator)
            room += Platform::kSeparator;
    }

    // Entries of one folder between two looks at the watch.
    constexpr std::size_t kEntriesPerLook = 4096;

    // Thrown out of a folder's listing to end it once the watch says stop.
    struct Stopped { };

    bool StopAsked(const ScanWatch* watch) { return watch && watch->stop && watch->stop(); }

    // The exclusions when they leave anything out, else nullptr: the scan need not ask.
    const Exclusions* InForce(const Exclusions* exclusions)
    {
        return exclusions && exclusions->Any() ? exclusions : nullptr;
    }

    bool Excluded(const TreeFilter& filter, const std::string& path, bool folder)
    {
        return filter.exclusions
            && filter.exclusions->Excludes(std::string_view(path).substr(filter.root), folder);
    }

    // Lists the open folder (at path) into out. Entries are looked up through the open
    // folder, without following links: the disk reads the inode beside the folder, the
    // path is not walked again, and an entry replaced by a link since the folder was
    // read is passed over like any link.
    // A stopped listing ends early and says nothing of it: the whole scan is discarded.
    // Each file's path is built in file, whose room may serve many folders.
    Platform::Status ListFolder(Platform::ScanFolder& folder, const std::string& path, const TreeFilter& filter,
        FolderListing& out, std::string& file)
    {
        std::size_t entries = 0;
        SetFolderPrefix(file, path);
        const std::size_t folderSize = file.size();
        const auto visit = [&](const char* name, EntryKind kind, const Platform::EntryLookUp& lookUp) {
            if (filter.watch && ++entries % kEntriesPerLook == 0) {
                if (StopAsked(filter.watch))
                    throw Stopped {};
                if (filter.reportWithin && filter.watch->found)
                    filter.watch->found(out.fileCount);
            }
            Platform::FileInfo info;
            Platform::Status found;
            const bool lookedUp = kind == EntryKind::Unknown;
            if (lookedUp) {
                found = lookUp(name, info);
                kind = found.Ok() ? info.kind : EntryKind::Other;
            }
            if (kind == EntryKind::Directory) {
                if (!filter.descend || Platform::IsHiddenName(name))
                    return;
                std::string child = JoinPath(path, name);
                if (!Excluded(filter, child, true))
                    out.children.push_back(std::move(child));
                return;
            }
            // Only regular files are candidates. A symbolic link is a second name of a file
            // or folder, mostly of one the same scan meets anyway, so it is passed over
            // like FIFOs, sockets and devices.
            if (kind != EntryKind::Regular || !filter.files)
                return;
            file.resize(folderSize);
            file += name;
            if (!filter.everyFile && !MatchesExtList(file, filter.list))
                return;
            if (Excluded(filter, file, false))
                return;
            const bool bySize = filter.exclusions && filter.exclusions->BySize();
            if (filter.identify || bySize) {
                if (!lookedUp)
                    found = lookUp(name, info);
                if (found.Ok() && info.kind != EntryKind::Regular)
                    return;
                // A file that could not be looked up stays: its size is unknown.
                if (bySize && found.Ok() && filter.exclusions->ExcludesSize(info.size))
                    return;
            }
            if (filter.identify) {
                if (!found.Ok()) {
                    // Gone since: listed as named, for the check to report.
                    out.listed.emplace_back();
                } else {
                    out.listed.push_back(
                        { FileId { info.device, info.inode }, true, info.size, info.allocated, info.mtime });
                }
            }
            out.names.append(file, folderSize);
            out.names.push_back('\0');
            ++out.fileCount;
        };
        try {
            return folder.ForEachEntry(visit);
        } catch (const Stopped&) {
            return {};
        }
    }

    void AddPath(std::vector<std::string>& out, const std::string& prefix, std::string_view name)
    {
        // Sized once: a scan holds a million of these at a time.
        std::string path;
        path.reserve(prefix.size() + name.size());
        path += prefix;
        path += name;
        out.push_back(std::move(path));
    }
    void AddPath(PathStore& out, const std::string& prefix, std::string_view name) { out.Add(prefix, name); }

    std::size_t PathCount(const std::vector<std::string>& out) { return out.size(); }
    std::size_t PathCount(const PathStore& out) { return out.Size(); }

    // Notes that path could not be listed, unless it is gone or no folder any more
    // (NotFound), which a scan passes over like a link; the folder given (named) is
    // noted whatever the reason.
    void NoteUnread(const std::string& path, const Platform::Status& error, bool named,
        std::vector<UnreadFolder>* unread)
    {
        if (unread && !error.Ok() && (named || error != Platform::Error::NotFound))
            unread->push_back({ path, error });
    }

    // Appends the files of folder's listing (and their look-ups, when wanted) to a
    // scan's result; prefix is room for the folder's path.
    template <typename Out>
    void TakeListing(const std::string& folder, const FolderListing& listing, Out& out,
        std::vector<ListedFile>* listed, std::string& prefix)
    {
        SetFolderPrefix(prefix, folder);
        const char* name = listing.names.data();
        for (std::size_t k = 0; k < listing.fileCount; ++k) {
            const std::string_view view(name);
            AddPath(out, prefix, view);
            name += view.size() + 1;
        }
        if (listed)
            listed->insert(listed->end(), listing.listed.begin(), listing.listed.end());
    }

    // The offset of the part of a path below folder that JoinPath(folder, ...) gives.
    std::size_t BelowStart(const std::string& folder) { return JoinPath(folder, "").size(); }

} // namespace

void ListSubFolders(const std::string& folder, std::vector<std::string>& list, std::vector<UnreadFolder>* unread)
{
    Platform::ScanFolder top;
    if (const Platform::Status opened = top.Open(folder); !opened.Ok()) {
        NoteUnread(folder, opened, true, unread);
        return;
    }
    const std::size_t start = BelowStart(folder);
    const ExtList none;
    const TreeFilter filter { true, false, false, none, false };
    // An explicit stack instead of recursion: deep trees cannot overflow the call stack,
    // and only the top folder stays open while the others are walked.
    std::vector<std::string> pending { folder };
    FolderListing listing;
    std::string file;
    bool first = true;
    while (!pending.empty()) {
        std::string current = std::move(pending.back());
        pending.pop_back();
        if (!first)
            list.push_back(current);
        listing.children.clear();
        Platform::ScanFolder at;
        Platform::Status error = at.OpenBelow(top, current, first ? current.size() : start);
        if (error.Ok())
            error = ListFolder(at, current, filter, listing, file);
        NoteUnread(current, error, first, unread);
        first = false;
        // Reversed so that the first child is walked first (pre-order).
        std::move(listing.children.rbegin(), listing.children.rend(), std::back_inserter(pending));
    }
}

namespace {

    template <typename Out>
    void ListOneFolder(const std::string& folder, const std::string& filterText, const ExtList& extList,
        Out& out, std::vector<ListedFile>* listed, std::vector<UnreadFolder>* unread,
        const Exclusions* exclusions, const ScanWatch* watch)
    {
        FolderListing listing;
        std::string file;
        Platform::ScanFolder at;
        Platform::Status error = at.Open(folder);
        const TreeFilter filter { false, true, MeansEveryFile(filterText), extList, listed != nullptr,
            InForce(exclusions), BelowStart(folder), watch, true };
        if (error.Ok())
            error = ListFolder(at, folder, filter, listing, file);
        NoteUnread(folder, error, true, unread);
        TakeListing(folder, listing, out, listed, file);
        if (watch && watch->found)
            watch->found(listing.fileCount);
    }

} // namespace

void AddFolderFilesWithList(const std::string& folder, const std::string& filterText, const ExtList& extList,
    std::vector<std::string>& out, std::vector<ListedFile>* listed, std::vector<UnreadFolder>* unread,
    const Exclusions* exclusions, const ScanWatch* watch)
{
    ListOneFolder(folder, filterText, extList, out, listed, unread, exclusions, watch);
}

void AddFolderFiles(const std::string& folder, const std::string& filterText, std::vector<std::string>& out,
    std::vector<ListedFile>* listed, std::vector<UnreadFolder>* unread, const Exclusions* exclusions,
    const ScanWatch* watch)
{
    ExtList list;
    ParseExtList(filterText, list);
    ListOneFolder(folder, filterText, list, out, listed, unread, exclusions, watch);
}

void AddFolderFiles(const std::string& folder, const std::string& filterText, PathStore& out,
    std::vector<ListedFile>* listed, std::vector<UnreadFolder>* unread, const Exclusions* exclusions,
    const ScanWatch* watch)
{
    ExtList list;
    ParseExtList(filterText, list);
    ListOneFolder(folder, filterText, list, out, listed, unread, exclusions, watch);
}

namespace {

    // Folders listed at once: a solid-state or virtual disk serves many requests at a
    // time; a rotational one seeks between them.
    constexpr unsigned kSolidStateListers = 16;
    constexpr unsigned kRotationalListers = 4;

    // Lists the folders of a tree on helper threads ahead of the walk, which takes each
    // folder's listing in pre-order: the result is that of listing them one by one.
    // Every folder is opened through the open top folder (Platform::ScanFolder::OpenBelow).
    class TreeLister {
    public:
        TreeLister(const Platform::ScanFolder& top, const std::string& root, const TreeFilter& filter, unsigned helpers)
            : m_top(top)
            , m_start(BelowStart(root))
            , m_filter(filter)
        {
            m_nodes.push_back(Node { root, {}, {}, {}, false });
            m_ready.push_back(0);
            for (unsigned h = 0; h < helpers; ++h)
                m_helpers.emplace_back([this] { Serve(); });
        }
        ~TreeLister()
        {
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_quit = true;
            }
            m_wake.notify_all();
        }
        TreeLister(const TreeLister&) = delete;
        TreeLister& operator=(const TreeLister&) = delete;

        template <typename Out>
        void Walk(Out& out, std::vector<ListedFile>* listed, std::vector<UnreadFolder>* unread)
        {
            const ScanWatch* watch = m_filter.watch;
            const std::size_t before = PathCount(out);
            std::vector<std::size_t> pending { 0 };
            // The listing taken last, emptied, to go back to the listers.
            std::optional<FolderListing> spare;
            std::string prefix;
            while (!pending.empty()) {
                if (StopAsked(watch))
                    return;
                const std::size_t folder = pending.back();
                pending.pop_back();
                std::unique_lock<std::mutex> lock(m_mutex);
                if (spare) {
                    // Its room serves another folder: the listers need not go to the
                    // heap for each folder.
                    m_spare.push_back(std::move(*spare));
                    spare.reset();
                }
                m_done.wait(lock, [&] { return m_nodes[folder].listed || m_failure; });
                if (m_failure)
                    std::rethrow_exception(m_failure);
                // Taken out, so that the listers go on while the walk takes it.
                Node node = std::move(m_nodes[folder]);
                m_nodes[folder] = Node {};
                lock.unlock();
                TakeListing(node.path, node.listing, out, listed, prefix);
                NoteUnread(node.path, node.error, folder == 0, unread);
                // Reversed so that the first child is walked first (pre-order).
                pending.insert(pending.end(), node.childNodes.rbegin(), node.childNodes.rend());
                spare.emplace(std::move(node.listing));
                spare->Clear();
                if (watch && watch->found)
                    watch->found(PathCount(out) - before);
            }
        }

    private:
        struct Node {
            std::string path;
            FolderListing listing;
            std::vector<std::size_t> childNodes;
            // Why the folder could not be listed (to its end).
            Platform::Status error;
            bool listed = false;
        };

        void Serve()
        {
            // Each folder is listed here, and handed on in room of its size: a listing
            // grown entry by entry would go to the heap several times per folder.
            FolderListing scratch;
            std::string file;
            std::unique_lock<std::mutex> lock(m_mutex);
            for (;;) {
                m_wake.wait(lock, [&] { return m_quit || !m_ready.empty(); });
                if (m_quit)
                    return;
                // The folder queued last is listed first: the walk's next folder is
                // the first child of the folder it just took.
                const std::size_t folder = m_ready.back();
                m_ready.pop_back();
                // The node stays in place, and its path as it is, until the walk took
                // its listing.
                const std::string& path = m_nodes[folder].path;
                FolderListing listing;
                if (!m_spare.empty()) {
                    listing = std::move(m_spare.back());
                    m_spare.pop_back();
                }
                lock.unlock();
                Platform::Status error;
                std::exception_ptr failure;
                try {
                    scratch.Clear();
                    Platform::ScanFolder open;
                    error = open.OpenBelow(m_top, path, folder == 0 ? path.size() : m_start);
                    if (error.Ok())
                        error = ListFolder(open, path, m_filter, scratch, file);
                    listing.names.assign(scratch.names);
                    listing.fileCount = scratch.fileCount;
                    listing.listed.assign(scratch.listed.begin(), scratch.listed.end());
                } catch (...) {
                    failure = std::current_exception();
                }
                lock.lock();
                std::size_t queued = 0;
                try {
                    if (failure)
                        std::rethrow_exception(failure);
                    Node& node = m_nodes[folder];
                    node.childNodes.reserve(scratch.children.size());
                    for (std::string& child : scratch.children) {
                        node.childNodes.push_back(m_nodes.size());
                        m_nodes.push_back(Node { std::move(child), {}, {}, {}, false });
                    }
                    for (auto it = node.childNodes.rbegin(); it != node.childNodes.rend(); ++it)
                        m_ready.push_back(*it);
                    queued = node.childNodes.size();
                    scratch.children.clear();
                    m_nodes[folder].listing = std::move(listing);
                    m_nodes[folder].error = error;
                    m_nodes[folder].listed = true;
                } catch (...) {
                    if (!m_failure)
                        m_failure = std::current_exception();
                }
                m_done.notify_all();
                // This helper takes one of the folders it queued; one more helper wakes
                // for each of the others, rather than every idle helper for each folder.
                for (std::size_t k = 1; k < queued; ++k)
                    m_wake.notify_one();
            }
        }

        const Platform::ScanFolder& m_top;
        const std::size_t m_start;
        const TreeFilter& m_filter;
        std::mutex m_mutex;
        std::condition_variable m_wake;
        std::condition_variable m_done;
        // A deque keeps each node in place while others are added.
        std::deque<Node> m_nodes;
        std::vector<std::size_t> m_ready;
        // Listings the walk has taken, emptied, their room kept.
        std::vector<FolderListing> m_spare;
        std::exception_ptr m_failure;
        bool m_quit = false;
        // Last, so that the helpers stop and join before the rest goes.
        std::vector<std::jthread> m_helpers;
    };

} // namespace

namespace {

    template <typename Out>
    void ListTree(const std::string& folder, const std::string& filterText, Out& out,
        std::vector<ListedFile>* listed, std::vector<UnreadFolder>* unread, const Exclusions* exclusions,
        const ScanWatch* watch)
    {
        ExtList list;
        ParseExtList(filterText, list);
        Platform::ScanFolder top;
        if (const Platform::Status opened = top.Open(folder); !opened.Ok()) {
            NoteUnread(folder, opened, true, unread);
            return;
        }
        Platform::FileInfo info;
        const bool rotational = Platform::Stat(folder, info).Ok() && Platform::RotationalDisk(info.device);
        // Each folder is read once, taking its files and queueing its subfolders: the
        // result is that of AddFolderFilesWithList over the folder and ListSubFolders.
        // The helpers look at the watch's stop within large folders; only the walk reports.
        const TreeFilter filter { true, true, MeansEveryFile(filterText), list, listed != nullptr,
            InForce(exclusions), BelowStart(folder), watch, false };
        TreeLister lister(top, folder, filter, rotational ? kRotationalListers : kSolidStateListers);
        lister.Walk(out, listed, unread);
    }

} // namespace

void AddFolderTreeFiles(const std::string& folder, const std::string& filterText, std::vector<std::string>& out,
    std::vector<ListedFile>* listed, std::vector<UnreadFolder>* unread, const Exclusions* exclusions,
    const ScanWatch* watch)
{
    ListTree(folder, filterText, out, listed, unread, exclusions, watch);
}

void AddFolderTreeFiles(const std::string& folder, const std::string& filterText, PathStore& out,
    std::vector<ListedFile>* listed, std::vector<UnreadFolder>* unread, const Exclusions* exclusions,
    const ScanWatch* watch)
{
    ListTree(folder, filterText, out, listed, unread, exclusions, watch);
}
} // namespace FileScan
