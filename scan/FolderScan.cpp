// FolderScan: the folder scan, a tree listed on several threads in one-thread order.
#include "scan/FolderScan.h"

#include "scan/CandidatePaths.h"
#include "scan/Exclusions.h"
#include "scan/ExtFilter.h"
#include "scan/FileProbe.h"
#include "scan/PathRoutines.h"
#include "scan/Platform.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <iterator>
#include <mutex>
#include <thread>
#include <utility>

namespace FileScan {

namespace {

    using Platform::EntryKind;

    // Resolves an entry kind the directory did not report.
    EntryKind KindWithoutFollowing(const std::string& path, EntryKind kind)
    {
        if (kind != EntryKind::Unknown)
            return kind;
        Platform::FileInfo info;
        return Platform::Stat(path, info, false).Ok() ? info.kind : EntryKind::Other;
    }

    // Looks an entry up as CandidatePaths would, through the folder while it is open:
    // the disk reads the inode beside the folder, and the path is not walked again.
    ListedFile LookUpEntry(const char* name, const Platform::EntryLookUp& lookUp)
    {
        Platform::FileInfo info;
        if (!lookUp(name, info).Ok())
            return {};
        const FileId id { info.device, info.inode };
        if (info.kind != EntryKind::Regular)
            return { id, false, 0, 0 };
        return { id, true, info.size, info.allocated };
    }

    // What one folder adds to a scan: its candidate files and the subfolders to descend
    // into, both in the order the folder yields them.
    struct FolderListing {
        std::vector<std::string> files;
        // The files as looked up, when the scan takes them.
        std::vector<ListedFile> listed;
        std::vector<std::string> children;
    };

    struct TreeFilter {
        bool descend;
        bool everyFile;
        const ExtList& list;
        bool identify;
        // The user's exclusions, nullptr when none; root is the length of the folder
        // being added with its "/", which the paths below it start with.
        const Exclusions* exclusions = nullptr;
        std::size_t root = 0;
    };

    // Makes a filter with the exclusions in force, for the folder being added.
    TreeFilter Filter(bool descend, const std::string& filterText, const ExtList& list, bool identify,
        const std::string& folder, const Exclusions* exclusions)
    {
        const bool any = exclusions && exclusions->Any();
        return { descend, MeansEveryFile(filterText), list, identify, any ? exclusions : nullptr,
            JoinPath(folder, "").size() };
    }

    bool Excluded(const TreeFilter& filter, const std::string& path, bool folder)
    {
        return filter.exclusions
            && filter.exclusions->Excludes(std::string_view(path).substr(filter.root), folder);
    }

    void ListFolder(const std::string& folder, const TreeFilter& filter, FolderListing& out)
    {
        Platform::ForEachEntry(folder, [&](const char* name, EntryKind kind, const Platform::EntryLookUp& lookUp) {
            std::string path = JoinPath(folder, name);
            kind = KindWithoutFollowing(path, kind);
            if (kind == EntryKind::Directory) {
                if (filter.descend && !Platform::IsHiddenName(name) && !Excluded(filter, path, true))
                    out.children.push_back(std::move(path));
                return;
            }
            // Only regular files are candidates. A symbolic link is a second name of a file
            // or folder, mostly of one the same scan meets anyway, so it is passed over
            // like FIFOs, sockets and devices.
            if (kind != EntryKind::Regular)
                return;
            if (!filter.everyFile && !MatchesExtList(path, filter.list))
                return;
            if (Excluded(filter, path, false))
                return;
            const bool bySize = filter.exclusions && filter.exclusions->BySize();
            ListedFile file;
            if (filter.identify || bySize)
                file = LookUpEntry(name, lookUp);
            // A file that could not be looked up stays: its size is unknown.
            if (bySize && file.regular && filter.exclusions->ExcludesSize(file.size))
                return;
            out.files.push_back(std::move(path));
            if (filter.identify)
                out.listed.push_back(file);
        });
    }

    // Appends a listing's files (and their look-ups, when wanted) to a scan's result.
    void TakeListing(FolderListing& listing, std::vector<std::string>& out, std::vector<ListedFile>* listed)
    {
        std::move(listing.files.begin(), listing.files.end(), std::back_inserter(out));
        if (listed)
            listed->insert(listed->end(), listing.listed.begin(), listing.listed.end());
    }

} // namespace

void ListSubFolders(const std::string& folder, std::vector<std::string>& list)
{
    if (!Platform::IsDirectory(folder))
        return;
    // An explicit stack instead of recursion: deep trees cannot overflow the call
    // stack and no folder handle stays open while its children are walked.
    std::vector<std::string> pending { folder };
    std::vector<std::string> children;
    bool first = true;
    while (!pending.empty()) {
        std::string current = std::move(pending.back());
        pending.pop_back();
        if (!first)
            list.push_back(current);
        first = false;
        children.clear();
        Platform::ForEachEntry(current, [&](const char* name, EntryKind kind) {
            if (Platform::IsHiddenName(name))
                return;
            std::string path = JoinPath(current, name);
            if (KindWithoutFollowing(path, kind) == EntryKind::Directory)
                children.push_back(std::move(path));
        });
        // Reversed so that the first child is walked first (pre-order).
        std::move(children.rbegin(), children.rend(), std::back_inserter(pending));
    }
}

void AddFolderFilesWithList(const std::string& folder, const std::string& filterText, const ExtList& extList,
    std::vector<std::string>& out, std::vector<ListedFile>* listed, const Exclusions* exclusions)
{
    FolderListing listing;
    ListFolder(folder, Filter(false, filterText, extList, listed != nullptr, folder, exclusions), listing);
    TakeListing(listing, out, listed);
}

void AddFolderFiles(const std::string& folder, const std::string& filterText, std::vector<std::string>& out,
    std::vector<ListedFile>* listed, const Exclusions* exclusions)
{
    ExtList list;
    ParseExtList(filterText, list);
    AddFolderFilesWithList(folder, filterText, list, out, listed, exclusions);
}

namespace {

    // Folders listed at once: a solid-state or virtual disk serves many requests at a
    // time; a rotational one seeks between them.
    constexpr unsigned kSolidStateListers = 16;
    constexpr unsigned kRotationalListers = 4;

    // Lists the folders of a tree on helper threads ahead of the walk, which takes each
    // folder's listing in pre-order: the result is that of listing them one by one.
    class TreeLister {
    public:
        TreeLister(const std::string& root, const TreeFilter& filter, unsigned helpers)
            : m_filter(filter)
        {
            m_nodes.push_back(Node { root, {}, {}, false });
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

        void Walk(std::vector<std::string>& out, std::vector<ListedFile>* listed)
        {
            std::vector<std::size_t> pending { 0 };
            while (!pending.empty()) {
                const std::size_t folder = pending.back();
                pending.pop_back();
                std::unique_lock<std::mutex> lock(m_mutex);
                m_done.wait(lock, [&] { return m_nodes[folder].listed || m_failure; });
                if (m_failure)
                    std::rethrow_exception(m_failure);
                Node& node = m_nodes[folder];
                TakeListing(node.listing, out, listed);
                // Reversed so that the first child is walked first (pre-order).
                pending.insert(pending.end(), node.childNodes.rbegin(), node.childNodes.rend());
                node = Node {};
            }
        }

    private:
        struct Node {
            std::string path;
            FolderListing listing;
            std::vector<std::size_t> childNodes;
            bool listed = false;
        };

        void Serve()
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            for (;;) {
                m_wake.wait(lock, [&] { return m_quit || !m_ready.empty(); });
                if (m_quit)
                    return;
                // The folder queued last is listed first: the walk's next folder is
                // the first child of the folder it just took.
                const std::size_t folder = m_ready.back();
                m_ready.pop_back();
                const std::string path = m_nodes[folder].path;
                lock.unlock();
                FolderListing listing;
                std::exception_ptr failure;
                try {
                    ListFolder(path, m_filter, listing);
                } catch (...) {
                    failure = std::current_exception();
                }
                lock.lock();
                try {
                    if (failure)
                        std::rethrow_exception(failure);
                    Node& node = m_nodes[folder];
                    for (std::string& child : listing.children) {
                        node.childNodes.push_back(m_nodes.size());
                        m_nodes.push_back(Node { std::move(child), {}, {}, false });
                    }
                    for (auto it = node.childNodes.rbegin(); it != node.childNodes.rend(); ++it)
                        m_ready.push_back(*it);
                    listing.children.clear();
                    m_nodes[folder].listing = std::move(listing);
                    m_nodes[folder].listed = true;
                } catch (...) {
                    if (!m_failure)
                        m_failure = std::current_exception();
                }
                m_done.notify_all();
                m_wake.notify_all();
            }
        }

        const TreeFilter& m_filter;
        std::mutex m_mutex;
        std::condition_variable m_wake;
        std::condition_variable m_done;
        // A deque keeps each node in place while others are added.
        std::deque<Node> m_nodes;
        std::vector<std::size_t> m_ready;
        std::exception_ptr m_failure;
        bool m_quit = false;
        // Last, so that the helpers stop and join before the rest goes.
        std::vector<std::jthread> m_helpers;
    };

} // namespace

void AddFolderTreeFiles(const std::string& folder, const std::string& filterText, std::vector<std::string>& out,
    std::vector<ListedFile>* listed, const Exclusions* exclusions)
{
    ExtList list;
    ParseExtList(filterText, list);
    Platform::FileInfo info;
    const bool descend = Platform::Stat(folder, info).Ok() && info.kind == EntryKind::Directory;
    if (!descend) {
        AddFolderFilesWithList(folder, filterText, list, out, listed, exclusions);
        return;
    }
    // Each folder is read once, taking its files and queueing its subfolders: the
    // result is that of AddFolderFilesWithList over the folder and ListSubFolders.
    const TreeFilter filter = Filter(true, filterText, list, listed != nullptr, folder, exclusions);
    TreeLister lister(folder, filter,
        Platform::RotationalDisk(info.device) ? kRotationalListers : kSolidStateListers);
    lister.Walk(out, listed);
}
} // namespace FileScan
