// Journal: writing, reading and listing the JSON lines of a clean's record.
#include "check/Journal.h"

#include "check/JsonText.h"

#include "scan/PathText.h"
#include "scan/SpaceActions.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string_view>
#include <type_traits>

namespace Check {
namespace {

    struct ActionName {
        JournalAction action;
        const char* name;
    };
    constexpr ActionName kActionNames[] = {
        { JournalAction::Trash, "trash" },
        { JournalAction::Delete, "delete" },
        { JournalAction::HardLink, "hardlink" },
        { JournalAction::Reflink, "reflink" },
        { JournalAction::Move, "move" },
    };

    void AppendPath(std::string& out, const char* key, const std::string& path)
    {
        out += ",\"";
        out += key;
        out += "\":";
        const bool exact = FileScan::IsValidUtf8(path);
        AppendJsonString(out, exact ? path : FileScan::DisplayPath(path));
        if (!exact)
            out += ",\"" + std::string(key) + "_base64\":\"" + Base64(path) + '"';
    }

    void AppendNumber(std::string& out, const char* key, long long value)
    {
        out += ",\"";
        out += key;
        out += "\":" + std::to_string(value);
    }
    void AppendUnsigned(std::string& out, const char* key, unsigned long long value)
    {
        out += ",\"";
        out += key;
        out += "\":" + std::to_string(value);
    }

    void AppendUtf8(std::string& out, std::uint32_t code)
    {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    // A flat JSON object's members: strings as their text, numbers and literals as
    // written.
    class FlatObject {
    public:
        bool Parse(std::string_view text)
        {
            m_text = text;
            m_at = 0;
            Skip();
            if (!Take('{'))
                return false;
            Skip();
            if (Take('}'))
                return AtEnd();
            for (;;) {
                std::string key;
                std::string value;
                Skip();
                if (!String(key))
                    return false;
                Skip();
                if (!Take(':'))
                    return false;
                Skip();
                if (Peek() == '"') {
                    if (!String(value))
                        return false;
                } else {
                    const std::size_t start = m_at;
                    while (m_at < m_text.size() && m_text[m_at] != ',' && m_text[m_at] != '}' && m_text[m_at] != ' ')
                        ++m_at;
                    value = std::string(m_text.substr(start, m_at - start));
                    if (value.empty())
                        return false;
                }
                m_members[key] = value;
                Skip();
                if (Take('}'))
                    return AtEnd();
                if (!Take(','))
                    return false;
            }
        }
        const std::string* Get(const std::string& key) const
        {
            const auto at = m_members.find(key);
            return at == m_members.end() ? nullptr : &at->second;
        }

    private:
        char Peek() const { return m_at < m_text.size() ? m_text[m_at] : '\0'; }
        bool Take(char c)
        {
            if (Peek() != c)
                return false;
            ++m_at;
            return true;
        }
        void Skip()
        {
            while (Peek() == ' ' || Peek() == '\t' || Peek() == '\r')
                ++m_at;
        }
        bool AtEnd()
        {
            Skip();
            return m_at == m_text.size();
        }
        bool Hex4(std::uint32_t& code)
        {
            if (m_at + 4 > m_text.size())
                return false;
            code = 0;
            for (int k = 0; k < 4; ++k) {
                const char c = m_text[m_at++];
                const int digit = c >= '0' && c <= '9' ? c - '0'
                    : c >= 'a' && c <= 'f'             ? c - 'a' + 10
                    : c >= 'A' && c <= 'F'             ? c - 'A' + 10
                                                       : -1;
                if (digit < 0)
                    return false;
                code = code * 16 + static_cast<std::uint32_t>(digit);
            }
            return true;
        }
        bool String(std::string& out)
        {
            if (!Take('"'))
                return false;
            while (m_at < m_text.size()) {
                const char c = m_text[m_at++];
                if (c == '"')
                    return true;
                if (c != '\\') {
                    out += c;
                    continue;
                }
                const char e = Peek();
                ++m_at;
                switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    std::uint32_t code = 0;
                    if (!Hex4(code))
                        return false;
                    if (code >= 0xD800 && code < 0xDC00) {
                        std::uint32_t low = 0;
                        if (!Take('\\') || !Take('u') || !Hex4(low) || low < 0xDC00 || low >= 0xE000)
                            return false;
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    }
                    AppendUtf8(out, code);
                    break;
                }
                default:
                    return false;
                }
            }
            return false;
        }

        std::string_view m_text;
        std::size_t m_at = 0;
        std::map<std::string, std::string> m_members;
    };

    template <class Number>
    bool ReadNumber(const FlatObject& object, const char* key, Number& value)
    {
        const std::string* text = object.Get(key);
        if (!text)
            return false;
        const char* begin = text->c_str();
        char* end = nullptr;
        if constexpr (std::is_signed_v<Number>) {
            const long long parsed = std::strtoll(begin, &end, 10);
            value = static_cast<Number>(parsed);
        } else {
            if (text->empty() || (*text)[0] == '-')
                return false;
            const unsigned long long parsed = std::strtoull(begin, &end, 10);
            value = static_cast<Number>(parsed);
        }
        return end != begin && *end == '\0';
    }

    bool ReadPath(const FlatObject& object, const std::string& key, std::string& path)
    {
        if (const std::string* base64 = object.Get(key + "_base64")) {
            const std::optional<std::string> bytes = FromBase64(*base64);
            if (!bytes)
                return false;
            path = *bytes;
            return true;
        }
        const std::string* text = object.Get(key);
        if (!text)
            return false;
        path = *text;
        return true;
    }

    bool ReadIdentity(const FlatObject& object, const std::string& prefix, Files::FileIdentity& identity)
    {
        std::uint64_t nanoseconds = 0;
        const bool read = ReadNumber(object, (prefix + "device").c_str(), identity.device)
            && ReadNumber(object, (prefix + "inode").c_str(), identity.inode)
            && ReadNumber(object, (prefix + "size").c_str(), identity.size)
            && ReadNumber(object, (prefix + "mtime_s").c_str(), identity.modified.seconds)
            && ReadNumber(object, (prefix + "mtime_ns").c_str(), nanoseconds) && nanoseconds < 1000000000;
        identity.modified.nanoseconds = static_cast<std::uint32_t>(nanoseconds);
        return read;
    }

    std::string UtcNow(const char* format)
    {
        using namespace std::chrono;
        const auto now = floor<seconds>(system_clock::now());
        const auto day = floor<days>(now);
        const year_month_day date(day);
        const hh_mm_ss<seconds> clock(now - day);
        char text[64];
        std::snprintf(text, sizeof text, format, static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
            static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
            static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count()));
        return text;
    }

} // namespace

const char* JournalActionName(JournalAction action)
{
    for (const ActionName& entry : kActionNames) {
        if (entry.action == action)
            return entry.name;
    }
    return "";
}

std::optional<JournalAction> JournalActionFromName(const std::string& name)
{
    for (const ActionName& entry : kActionNames) {
        if (name == entry.name)
            return entry.action;
    }
    return std::nullopt;
}

JournalRecord MakeJournalRecord(JournalAction action, const std::string& path, const Platform::FileStatus& before,
    const std::string& went, const std::string& kept, const Files::FileIdentity& keptIdentity)
{
    JournalRecord record;
    record.action = action;
    record.path = path;
    record.identity = Files::IdentityOf(before);
    record.accessed = before.accessed;
    record.permissions = before.permissions;
    record.owner = before.owner;
    record.group = before.group;
    record.kept = kept;
    record.keptIdentity = keptIdentity;
    record.went = went;
    record.time = UtcNow("%04d-%02u-%02uT%02d:%02d:%02dZ");
    return record;
}

std::string JournalLine(const JournalRecord& record)
{
    std::string out = "{\"time\":";
    AppendJsonString(out, record.time);
    out += ",\"action\":\"";
    out += JournalActionName(record.action);
    out += '"';
    AppendPath(out, "path", record.path);
    AppendUnsigned(out, "device", record.identity.device);
    AppendUnsigned(out, "inode", record.identity.inode);
    AppendUnsigned(out, "size", record.identity.size);
    AppendNumber(out, "mtime_s", record.identity.modified.seconds);
    AppendUnsigned(out, "mtime_ns", record.identity.modified.nanoseconds);
    AppendNumber(out, "atime_s", record.accessed.seconds);
    AppendUnsigned(out, "atime_ns", record.accessed.nanoseconds);
    char mode[16];
    std::snprintf(mode, sizeof mode, "%04o", record.permissions);
    out += ",\"mode\":\"" + std::string(mode) + '"';
    AppendUnsigned(out, "owner", record.owner);
    AppendUnsigned(out, "group", record.group);
    AppendPath(out, "kept", record.kept);
    AppendUnsigned(out, "kept_device", record.keptIdentity.device);
    AppendUnsigned(out, "kept_inode", record.keptIdentity.inode);
    AppendUnsigned(out, "kept_size", record.keptIdentity.size);
    AppendNumber(out, "kept_mtime_s", record.keptIdentity.modified.seconds);
    AppendUnsigned(out, "kept_mtime_ns", record.keptIdentity.modified.nanoseconds);
    AppendPath(out, "went", record.went);
    out += '}';
    return out;
}

std::optional<JournalRecord> ParseJournalLine(const std::string& line)
{
    FlatObject object;
    if (!object.Parse(line))
        return std::nullopt;
    JournalRecord record;
    const std::string* action = object.Get("action");
    const std::string* time = object.Get("time");
    const std::string* mode = object.Get("mode");
    if (!action || !time || !mode)
        return std::nullopt;
    const std::optional<JournalAction> named = JournalActionFromName(*action);
    if (!named)
        return std::nullopt;
    record.action = *named;
    record.time = *time;
    char* end = nullptr;
    record.permissions = static_cast<std::uint32_t>(std::strtoul(mode->c_str(), &end, 8));
    std::uint64_t accessedNs = 0;
    const bool read = !mode->empty() && *end == '\0' && ReadPath(object, "path", record.path)
        && ReadPath(object, "kept", record.kept) && ReadPath(object, "went", record.went)
        && ReadIdentity(object, "", record.identity) && ReadIdentity(object, "kept_", record.keptIdentity)
        && ReadNumber(object, "atime_s", record.accessed.seconds) && ReadNumber(object, "atime_ns", accessedNs)
        && accessedNs < 1000000000 && ReadNumber(object, "owner", record.owner)
        && ReadNumber(object, "group", record.group);
    if (!read)
        return std::nullopt;
    record.accessed.nanoseconds = static_cast<std::uint32_t>(accessedNs);
    return record;
}

std::string DefaultJournalFolder() { return Platform::StateFolder(); }

Platform::Status Journal::Create(const std::string& path)
{
    const Platform::Status created = m_file.Create(path, Platform::WriteFile::Access::OwnerOnly);
    if (created.Ok()) {
        m_path = path;
        m_end = 0;
    }
    return created;
}

Platform::Status Journal::CreateIn(const std::string& folder)
{
    if (const Platform::Status made = Files::MakeFolders(folder); !made.Ok())
        return made;
    std::string base = folder;
    if (!base.empty() && base.back() != Platform::kSeparator)
        base += Platform::kSeparator;
    base += UtcNow("clean-%04d%02u%02u-%02d%02d%02d");
    Platform::Status created;
    for (int n = 1; n < 1000; ++n) {
        // Appended piece by piece: GCC 12 warns (-Wrestrict) on "-" + a temporary.
        std::string name = base;
        if (n > 1)
            name += '-' + std::to_string(n);
        name += ".jsonl";
        created = Create(name);
        if (created != Platform::Error::Exists)
            return created;
    }
    return created;
}

Platform::Status Journal::Append(const JournalRecord& record)
{
    const std::string line = JournalLine(record) + '\n';
    const Platform::Status written = m_file.WriteAllAt(m_end, line.data(), line.size());
    if (written.Ok())
        m_end += line.size();
    return written;
}

Platform::Status Journal::Close() { return m_file.Close(); }

Platform::Status ReadJournal(const std::string& path, JournalContents& contents)
{
    Platform::ReadFile file;
    if (const Platform::Status opened = file.Open(path); !opened.Ok())
        return opened;
    std::string text;
    char buffer[65536];
    for (;;) {
        Platform::Status error;
        const std::int64_t got = file.ReadFull(text.size(), buffer, sizeof buffer, &error);
        if (got < 0)
            return error;
        text.append(buffer, static_cast<std::size_t>(got));
        if (static_cast<std::size_t>(got) < sizeof buffer)
            break;
    }
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        if (!line.empty()) {
            if (std::optional<JournalRecord> record = ParseJournalLine(line))
                contents.records.push_back(std::move(*record));
            else
                ++contents.badLines;
        }
        start = end + 1;
    }
    return {};
}

std::vector<JournalSummary> ListJournals(const std::string& folder)
{
    std::vector<std::string> names;
    Platform::ForEachEntry(folder, [&](const char* name, Platform::EntryKind kind) {
        const std::string_view n(name);
        if (kind != Platform::EntryKind::Directory && n.ends_with(".jsonl"))
            names.emplace_back(n);
    });
    std::vector<JournalSummary> journals;
    for (const std::string& name : names) {
        JournalSummary summary;
        summary.path = folder;
        if (!folder.empty() && folder.back() != Platform::kSeparator)
            summary.path += Platform::kSeparator;
        summary.path += name;
        JournalContents contents;
        if (!ReadJournal(summary.path, contents).Ok() || contents.records.empty())
            continue;
        summary.time = contents.records.front().time;
        summary.count = contents.records.size();
        for (const JournalRecord& record : contents.records) {
            const std::string action = JournalActionName(record.action);
            if (("," + summary.actions + ",").find("," + action + ",") == std::string::npos)
                summary.actions += (summary.actions.empty() ? "" : ",") + action;
        }
        journals.push_back(std::move(summary));
    }
    // Journals whose first records share a second are told apart by the names CreateIn
    // gave them: "clean-T", "clean-T-2", ... "clean-T-10", in the order they were made.
    const auto made = [](const JournalSummary& summary) {
        std::string_view name(summary.path);
        name.remove_prefix(std::min(name.size(), name.rfind(Platform::kSeparator) + 1));
        constexpr std::string_view kStart = "clean-";
        constexpr std::size_t kStamp = 15; // "20240501-003000"
        std::pair<std::string, unsigned long> key;
        if (!name.starts_with(kStart) || name.size() < kStart.size() + kStamp)
            return key;
        name.remove_prefix(kStart.size());
        key.first = std::string(name.substr(0, kStamp));
        key.second = name.substr(kStamp, 1) == "-" ? std::strtoul(std::string(name.substr(kStamp + 1)).c_str(), nullptr, 10) : 1;
        return key;
    };
    std::sort(journals.begin(), journals.end(), [&](const JournalSummary& a, const JournalSummary& b) {
        if (a.time != b.time)
            return a.time > b.time;
        const auto madeA = made(a);
        const auto madeB = made(b);
        return madeA != madeB ? madeA > madeB : a.path > b.path;
    });
    return journals;
}

} // namespace Check
