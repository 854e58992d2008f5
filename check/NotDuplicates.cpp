// NotDuplicates: the marked groups, their text, and the groups of a result they hide.
#include "check/NotDuplicates.h"

#include "scan/FileError.h"
#include "scan/PathText.h"
#include "scan/SaveFile.h"

#include <algorithm>
#include <charconv>
#include <tuple>
#include <unordered_map>

namespace Check {

namespace {

    constexpr std::int64_t kNanosPerSecond = 1000000000;

    struct FileKey {
        std::uint64_t device;
        std::uint64_t inode;
        bool operator==(const FileKey&) const = default;
    };
    struct FileKeyHash {
        std::size_t operator()(const FileKey& key) const
        {
            return std::hash<std::uint64_t> {}(key.inode ^ (key.device << 32));
        }
    };

    bool StampLess(const Platform::FileStamp& a, const Platform::FileStamp& b)
    {
        return std::tie(a.device, a.inode, a.size, a.modified)
            < std::tie(b.device, b.inode, b.size, b.modified);
    }

    // True while every file of marked that is not among shown (sorted) is unchanged.
    bool RestUnchanged(const MarkedGroup& marked, const std::vector<Platform::FileStamp>& shown)
    {
        return std::all_of(marked.begin(), marked.end(), [&](const MarkedFile& file) {
            return std::binary_search(shown.begin(), shown.end(), file.stamp, StampLess)
                || LookUpNow(file.path).stamp == file.stamp;
        });
    }

    const char kHex[] = "0123456789ABCDEF";

    void AppendEscapedPath(std::string& out, const std::string& path)
    {
        for (std::size_t k = 0; k < path.size();) {
            const auto byte = static_cast<unsigned char>(path[k]);
            const std::size_t length = FileScan::Utf8CharLength(path, k);
            const bool lastSpace = byte == ' ' && k + 1 == path.size();
            if (byte == '\\') {
                out += "\\\\";
            } else if (length == 0 || byte < 0x20 || byte == 0x7F || lastSpace) {
                out += "\\x";
                out += kHex[byte >> 4];
                out += kHex[byte & 0x0F];
            } else {
                out.append(path, k, length);
                k += length;
                continue;
            }
            ++k;
        }
    }

    bool UnescapePath(std::string_view text, std::string& path)
    {
        path.clear();
        for (std::size_t k = 0; k < text.size(); ++k) {
            if (text[k] != '\\') {
                path += text[k];
                continue;
            }
            if (k + 1 < text.size() && text[k + 1] == '\\') {
                path += '\\';
                ++k;
                continue;
            }
            if (k + 3 >= text.size() || text[k + 1] != 'x' || FileScan::HexValue(text[k + 2]) < 0
                || FileScan::HexValue(text[k + 3]) < 0)
                return false;
            path += static_cast<char>(FileScan::HexValue(text[k + 2]) * 16 + FileScan::HexValue(text[k + 3]));
            k += 3;
        }
        return true;
    }

    // Reads the number that runs up to the next space of line, and steps past both.
    template <typename Number> bool TakeNumber(std::string_view& line, Number& number)
    {
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos)
            return false;
        const char* const end = line.data() + space;
        const auto [stop, error] = std::from_chars(line.data(), end, number);
        if (error != std::errc() || stop != end)
            return false;
        line.remove_prefix(space + 1);
        return true;
    }

    bool ParseFileLine(std::string_view line, MarkedFile& file)
    {
        Platform::FileStamp& id = file.stamp;
        return TakeNumber(line, id.device) && TakeNumber(line, id.inode) && TakeNumber(line, id.size)
            && TakeNumber(line, id.modified.seconds) && TakeNumber(line, id.modified.nanoseconds)
            && id.modified.nanoseconds < kNanosPerSecond && !line.empty() && UnescapePath(line, file.path);
    }

    std::string LineErrorText(const std::string& file, std::size_t line)
    {
        return "ファイル " + file + " の " + std::to_string(line) + " 行目が正しくありません";
    }

} // namespace

MarkedGroup MarkGroup(const std::vector<FoundFile>& files)
{
    MarkedGroup group;
    for (const FoundFile& file : files) {
        if (file.stamp.Known())
            group.push_back({ file.path, file.stamp });
    }
    return group;
}

std::vector<bool> HiddenGroups(const NotDuplicateList& list, const std::vector<ResultGroup>& result)
{
    std::vector<bool> hidden(result.size(), false);
    if (list.groups.empty())
        return hidden;
    std::unordered_map<FileKey, std::vector<std::size_t>, FileKeyHash> marksOf;
    for (std::size_t m = 0; m < list.groups.size(); ++m) {
        for (const MarkedFile& file : list.groups[m])
            marksOf[{ file.stamp.device, file.stamp.inode }].push_back(m);
    }
    for (std::size_t g = 0; g < result.size(); ++g) {
        const std::vector<FoundFile>& files = result[g].files;
        if (files.empty())
            continue;
        const auto marks = marksOf.find({ files.front().stamp.device, files.front().stamp.inode });
        if (marks == marksOf.end())
            continue;
        std::vector<Platform::FileStamp> shown;
        shown.reserve(files.size());
        for (const FoundFile& file : files)
            shown.push_back(file.stamp);
        std::sort(shown.begin(), shown.end(), StampLess);
        for (const std::size_t m : marks->second) {
            const MarkedGroup& marked = list.groups[m];
            std::vector<Platform::FileStamp> stamps;
            stamps.reserve(marked.size());
            for (const MarkedFile& file : marked)
                stamps.push_back(file.stamp);
            std::sort(stamps.begin(), stamps.end(), StampLess);
            const bool among = std::all_of(shown.begin(), shown.end(), [&](const Platform::FileStamp& stamp) {
                return stamp.Known() && std::binary_search(stamps.begin(), stamps.end(), stamp, StampLess);
            });
            if (among && RestUnchanged(marked, shown)) {
                hidden[g] = true;
                break;
            }
        }
    }
    return hidden;
}

std::string NotDuplicatesText(const NotDuplicateList& list)
{
    std::string out
        = "# Tessarin: groups of files marked as not duplicates.\n"
          "# One file a line: DEVICE INODE SIZE SECONDS NANOSECONDS PATH; an empty line ends a group.\n";
    for (const MarkedGroup& group : list.groups) {
        out += '\n';
        for (const MarkedFile& file : group) {
            const Platform::FileStamp& id = file.stamp;
            out += std::to_string(id.device) + ' ' + std::to_string(id.inode) + ' ' + std::to_string(id.size)
                + ' ' + std::to_string(id.modified.seconds) + ' ' + std::to_string(id.modified.nanoseconds)
                + ' ';
            AppendEscapedPath(out, file.path);
            out += '\n';
        }
    }
    return out;
}

NotDuplicateList ParseNotDuplicates(std::string_view text, const std::string& file)
{
    NotDuplicateList list;
    MarkedGroup group;
    const auto endGroup = [&] {
        if (!group.empty())
            list.groups.push_back(std::move(group));
        group.clear();
    };
    std::size_t number = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty()) {
            endGroup();
            continue;
        }
        if (line.front() == '#')
            continue;
        if (!ParseFileLine(line, group.emplace_back()))
            throw Files::FileError(LineErrorText(file, number));
    }
    endGroup();
    return list;
}

NotDuplicateList LoadNotDuplicates(const std::string& file)
{
    Platform::ReadFile input;
    const Platform::Status opened = input.Open(file);
    if (opened == Platform::Error::NotFound)
        return {};
    if (!opened.Ok())
        throw Files::FileError(Files::OpenErrorText(file));
    std::string text(input.Info().size, '\0');
    const std::int64_t got = input.ReadFull(0, text.data(), text.size());
    if (got < 0)
        throw Files::FileError(Files::kReadStreamError);
    text.resize(static_cast<std::size_t>(got));
    return ParseNotDuplicates(text, file);
}

void SaveNotDuplicates(const std::string& file, const NotDuplicateList& list)
{
    Files::SaveFileReplacing(file, NotDuplicatesText(list));
}

} // namespace Check
