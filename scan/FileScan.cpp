// FileScan: extension filter, folder scan, pairwise content comparison and path routines.
#include "scan/FileScan.h"

#include "scan/CandidatePaths.h"
#include "scan/ContentCompare.h"
#include "scan/FileProbe.h"
#include "scan/Platform.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <iterator>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>

namespace FileScan {

std::string ExtractFileExt(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    const std::size_t sep = path.rfind(Platform::kSeparator);
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep))
        return {};
    return path.substr(dot);
}

std::string ExtractFileName(const std::string& path)
{
    const std::size_t sep = path.rfind(Platform::kSeparator);
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string ExtractFileDir(const std::string& path)
{
    const std::size_t sep = path.rfind(Platform::kSeparator);
    return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == Platform::kSeparator)
        return folder + name;
    return folder + Platform::kSeparator + name;
}

std::string UpperAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

namespace {

    bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

    bool AcceptedToken(const std::string& token)
    {
        if (token.size() < 2 || token[0] != '*' || token[1] != '.')
            return false;
        return std::all_of(token.begin() + 2, token.end(), [](char c) { return IsAsciiAlnum(c) || c == ';'; });
    }

    bool MeansEveryFile(std::string_view text) { return text.empty() || text == "*.*"; }

    // U+3000 and U+FF1B in UTF-8: what a Japanese input method types for " " and ";".
    constexpr std::string_view kFullWidthSpace = "\xE3\x80\x80";
    constexpr std::string_view kFullWidthSemicolon = "\xEF\xBC\x9B";

    // Returns the length of the separator (";" or the full-width "；") at text[k], or 0.
    std::size_t SeparatorAt(std::string_view text, std::size_t k)
    {
        if (text[k] == ';')
            return 1;
        return text.substr(k).starts_with(kFullWidthSemicolon) ? kFullWidthSemicolon.size() : 0;
    }

    // Drops the ASCII and full-width spaces around text: typed around a separator, they
    // belong to no pattern.
    std::string_view TrimSpaces(std::string_view text)
    {
        for (;;) {
            if (text.starts_with(' '))
                text.remove_prefix(1);
            else if (text.starts_with(kFullWidthSpace))
                text.remove_prefix(kFullWidthSpace.size());
            else if (text.ends_with(' '))
                text.remove_suffix(1);
            else if (text.ends_with(kFullWidthSpace))
                text.remove_suffix(kFullWidthSpace.size());
            else
                return text;
        }
    }

    struct Piece {
        std::string_view text; // trimmed
        bool separated = false; // ended by a separator rather than by the end of the text
    };

    // Splits the trimmed field at its separators into trimmed pieces; the text after a
    // final separator is no piece.
    std::vector<Piece> SplitField(std::string_view text)
    {
        std::vector<Piece> pieces;
        std::size_t start = 0;
        for (std::size_t k = 0; k < text.size();) {
            const std::size_t separator = SeparatorAt(text, k);
            if (separator == 0) {
                ++k;
                continue;
            }
            pieces.push_back({ TrimSpaces(text.substr(start, k - start)), true });
            k += separator;
            start = k;
        }
        if (start < text.size())
            pieces.push_back({ TrimSpaces(text.substr(start)), false });
        return pieces;
    }

} // namespace

std::string NormalizeExtFilter(const std::string& text)
{
    std::string everyFile = "*.*";
    const std::string_view field = TrimSpaces(text);
    if (MeansEveryFile(field))
        return everyFile;
    std::string result;
    for (const Piece& piece : SplitField(field)) {
        std::string token(piece.text);
        if (piece.separated)
            token += ';';
        if (AcceptedToken(token))
            result += token;
    }
    return result.empty() ? everyFile : result;
}

void ParseExtList(const std::string& text, ExtList& list)
{
    const std::string_view field = TrimSpaces(text);
    if (MeansEveryFile(field))
        return;
    for (const Piece& piece : SplitField(field)) {
        // A field ending in "*" leaves its last piece open: it is never added.
        if (!piece.separated && field.ends_with('*'))
            continue;
        std::string entry;
        for (const char c : piece.text) {
            if (c != '*')
                entry += c;
        }
        list.push_back(UpperAscii(std::move(entry)));
    }
}

bool MatchesExtList(const std::string& path, const ExtList& list)
{
    if (list.empty())
        return true;
    const std::string ext = UpperAscii(ExtractFileExt(path));
    return std::any_of(list.begin(), list.end(), [&](const std::string& entry) { return UpperAscii(entry) == ext; });
}

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
    };

    void ListFolder(const std::string& folder, const TreeFilter& filter, FolderListing& out)
    {
        Platform::ForEachEntry(folder, [&](const char* name, EntryKind kind, const Platform::EntryLookUp& lookUp) {
            std::string path = JoinPath(folder, name);
            kind = KindWithoutFollowing(path, kind);
            if (kind == EntryKind::Directory) {
                if (filter.descend && !Platform::IsHiddenName(name))
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
            out.files.push_back(std::move(path));
            if (filter.identify)
                out.listed.push_back(LookUpEntry(name, lookUp));
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
    std::vector<std::string>& out, std::vector<ListedFile>* listed)
{
    FolderListing listing;
    ListFolder(folder, TreeFilter { false, MeansEveryFile(filterText), extList, listed != nullptr }, listing);
    TakeListing(listing, out, listed);
}

void AddFolderFiles(const std::string& folder, const std::string& filterText, std::vector<std::string>& out,
    std::vector<ListedFile>* listed)
{
    ExtList list;
    ParseExtList(filterText, list);
    AddFolderFilesWithList(folder, filterText, list, out, listed);
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
    std::vector<ListedFile>* listed)
{
    ExtList list;
    ParseExtList(filterText, list);
    Platform::FileInfo info;
    const bool descend = Platform::Stat(folder, info).Ok() && info.kind == EntryKind::Directory;
    if (!descend) {
        AddFolderFilesWithList(folder, filterText, list, out, listed);
        return;
    }
    // Each folder is read once, taking its files and queueing its subfolders: the
    // result is that of AddFolderFilesWithList over the folder and ListSubFolders.
    const TreeFilter filter { true, MeansEveryFile(filterText), list, listed != nullptr };
    TreeLister lister(folder, filter,
        Platform::RotationalDisk(info.device) ? kRotationalListers : kSolidStateListers);
    lister.Walk(out, listed);
}

namespace {

    Platform::ReadFile OpenForCompare(const std::string& path)
    {
        Platform::ReadFile file;
        if (!file.Open(path).Ok())
            throw Files::FileError(Files::OpenErrorText(path));
        return file;
    }

} // namespace

bool SameFileContent(const std::string& a, const std::string& b)
{
    if (a == b)
        return false;
    Platform::ReadFile fa = OpenForCompare(a);
    Platform::ReadFile fb = OpenForCompare(b);
    // Without exclusive opens, a second name of the same file is refused here, so a
    // file is never reported as its own duplicate.
    if (fa.Info().device == fb.Info().device && fa.Info().inode == fb.Info().inode)
        throw Files::FileError(Files::OpenErrorText(b));
    const std::uint64_t size = fa.Info().size;
    if (size != fb.Info().size)
        return false;
    constexpr std::size_t kBlock = 128 * 1024;
    // Sized for small files and left uninitialised: every byte compared is read first.
    const auto bufferSize
        = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, std::max<std::uint64_t>(size, 1)));
    auto bufA = std::make_unique_for_overwrite<std::byte[]>(bufferSize);
    auto bufB = std::make_unique_for_overwrite<std::byte[]>(bufferSize);
    BlockCompare compare(bufA.get(), bufB.get(), bufferSize);
    fa.AdviseSequential();
    fb.AdviseSequential();
    for (std::uint64_t offset = 0; offset < size; offset += kBlock) {
        // Where both files have a hole, both read as zeros: skip it unread.
        offset = SharedHoleEnd({ &fa, &fb }, offset, size);
        if (offset >= size)
            break;
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, size - offset));
        // A file that shrank since it was opened no longer equals the other.
        if (compare.ReadFirst(fa, offset, n) != static_cast<std::int64_t>(n))
            return false;
        std::int64_t got = 0;
        if (compare.ReadOther(fb, got) != BlockMatch::Same)
            return false;
    }
    return true;
}

namespace {
    FolderBrowser& InstalledBrowser()
    {
        static FolderBrowser browser;
        return browser;
    }
} // namespace

void SetFolderBrowser(FolderBrowser browser) { InstalledBrowser() = std::move(browser); }

bool PickFolder(const std::string& title, std::string& folder)
{
    if (!Platform::IsDirectory(folder))
        folder.clear();
    const FolderBrowser& browser = InstalledBrowser();
    return browser ? browser(title, folder) : false;
}

} // namespace FileScan
