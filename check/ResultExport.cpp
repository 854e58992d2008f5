// ResultExport: CSV and JSON writing of the result groups.
#include "check/ResultExport.h"

#include "check/JsonText.h"

#include "scan/FileScan.h"
#include "scan/PathText.h"
#include "scan/Platform.h"
#include "scan/SaveFile.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace Check {
namespace {

    struct FileRecord {
        std::string pathText; // UTF-8, as written
        bool pathIsExact = true; // pathText holds the path's own bytes
        std::optional<std::uint64_t> size;
        std::string modified;
    };

    FileRecord ReadRecord(const std::string& path)
    {
        FileRecord record;
        record.pathIsExact = FileScan::WritableAsIs(path);
        record.pathText = record.pathIsExact ? path : FileScan::DisplayPath(path);
        Platform::FileInfo info;
        if (Platform::Stat(path, info).Ok() && info.kind == Platform::EntryKind::Regular) {
            record.size = info.size;
            record.modified = ModifiedText(info.mtime);
        }
        return record;
    }

    void AppendCsvField(std::string& out, const std::string& field)
    {
        if (field.find_first_of(",\"\r\n") == std::string::npos) {
            out += field;
            return;
        }
        out += '"';
        for (const char c : field) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    }

    using Actions = std::vector<std::vector<FileAction>>;

    const FileAction* ActionOf(const Actions* actions, std::size_t g, std::size_t p)
    {
        return actions && g < actions->size() && p < (*actions)[g].size() ? &(*actions)[g][p] : nullptr;
    }

    std::string Csv(const ResultGroups& groups, const Actions* actions)
    {
        std::string out = "\xEF\xBB\xBFgroup,position,path,size,modified";
        out += actions ? ",action,reason\r\n" : "\r\n";
        for (std::size_t g = 0; g < groups.size(); ++g) {
            for (std::size_t p = 0; p < groups[g].size(); ++p) {
                const FileRecord record = ReadRecord(groups[g][p]);
                out += std::to_string(g + 1) + ',' + std::to_string(p + 1) + ',';
                AppendCsvField(out, record.pathText);
                out += ',';
                if (record.size)
                    out += std::to_string(*record.size);
                out += ',';
                out += record.modified;
                if (actions) {
                    const FileAction* action = ActionOf(actions, g, p);
                    out += ',';
                    AppendCsvField(out, action ? action->action : std::string());
                    out += ',';
                    AppendCsvField(out, action ? action->reason : std::string());
                }
                out += "\r\n";
            }
        }
        return out;
    }

    // The civil date and time in UTC (days to date as in H. Hinnant's civil_from_days).
    Platform::LocalTime UtcTime(std::int64_t seconds)
    {
        constexpr std::int64_t kDay = 86400;
        std::int64_t days = seconds / kDay;
        std::int64_t rest = seconds % kDay;
        if (rest < 0) {
            rest += kDay;
            --days;
        }
        days += 719468;
        const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
        const std::int64_t dayOfEra = days - era * 146097;
        const std::int64_t yearOfEra
            = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
        const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
        Platform::LocalTime utc;
        utc.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
        utc.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
        utc.year = static_cast<int>(yearOfEra + era * 400 + (utc.month <= 2 ? 1 : 0));
        utc.hour = static_cast<int>(rest / 3600);
        utc.minute = static_cast<int>(rest / 60 % 60);
        utc.second = static_cast<int>(rest % 60);
        utc.utcOffsetSeconds = 0;
        return utc;
    }

    std::string Json(const ResultGroups& groups, const Actions* actions)
    {
        std::string out = "{\n  \"groups\": [";
        for (std::size_t g = 0; g < groups.size(); ++g) {
            out += g == 0 ? "\n" : ",\n";
            out += "    {\n      \"group\": " + std::to_string(g + 1) + ",\n      \"files\": [";
            for (std::size_t p = 0; p < groups[g].size(); ++p) {
                const FileRecord record = ReadRecord(groups[g][p]);
                out += p == 0 ? "\n" : ",\n";
                out += "        {\"position\": " + std::to_string(p + 1) + ", \"path\": ";
                AppendJsonString(out, record.pathText);
                if (!record.pathIsExact)
                    out += ", \"path_base64\": \"" + Base64(groups[g][p]) + '"';
                out += ", \"size\": ";
                out += record.size ? std::to_string(*record.size) : "null";
                out += ", \"modified\": ";
                if (record.modified.empty())
                    out += "null";
                else
                    AppendJsonString(out, record.modified);
                if (const FileAction* action = ActionOf(actions, g, p)) {
                    out += ", \"action\": ";
                    AppendJsonString(out, action->action);
                    if (!action->reason.empty()) {
                        out += ", \"reason\": ";
                        AppendJsonString(out, action->reason);
                    }
                }
                out += '}';
            }
            out += groups[g].empty() ? "]\n    }" : "\n      ]\n    }";
        }
        out += groups.empty() ? "]\n}\n" : "\n  ]\n}\n";
        return out;
    }

} // namespace

std::string FormatResults(const ResultGroups& groups, ResultFormat format)
{
    return format == ResultFormat::Json ? Json(groups, nullptr) : Csv(groups, nullptr);
}

std::string FormatResults(
    const ResultGroups& groups, ResultFormat format, const std::vector<std::vector<FileAction>>& actions)
{
    return format == ResultFormat::Json ? Json(groups, &actions) : Csv(groups, &actions);
}

void SaveResults(const std::string& target, const ResultGroups& groups, ResultFormat format)
{
    Files::SaveFileReplacing(target, FormatResults(groups, format));
}

ResultFormat ResultFormatOf(const std::string& path, ResultFormat fallback)
{
    const std::string ext = FileScan::UpperAscii(FileScan::ExtractFileExt(path));
    if (ext == ".CSV")
        return ResultFormat::Csv;
    if (ext == ".JSON")
        return ResultFormat::Json;
    return fallback;
}

std::string ModifiedText(const Platform::FileTime& mtime)
{
    // Whole seconds: the fraction after them is dropped, also before 1970.
    const std::int64_t seconds = mtime.seconds;
    Platform::LocalTime local;
    if (!Platform::ToLocalTime(seconds, local))
        return {};
    if (local.utcOffsetSeconds % 60 != 0) {
        // ISO 8601 offsets stop at minutes; a zone's historic mean time does not.
        local = UtcTime(seconds);
    }
    const int offset = local.utcOffsetSeconds < 0 ? -local.utcOffsetSeconds : local.utcOffsetSeconds;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", local.year, local.month,
        local.day, local.hour, local.minute, local.second, local.utcOffsetSeconds < 0 ? '-' : '+',
        offset / 3600, offset / 60 % 60);
    return text;
}

} // namespace Check
