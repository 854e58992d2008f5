// CleanPlan: the keep rules applied to whole results, and their execution through the
// one removal.
#include "check/CleanPlan.h"

#include "scan/FileError.h"
#include "scan/PathRoutines.h"
#include "scan/Platform.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <string_view>
#include <utility>

namespace Check {
namespace {

    // Every rule once: its word on the command line and in the settings, its text in the
    // window, and whether it is on at first; in the order the window first lists them.
    struct RuleTexts {
        KeepRule rule;
        const char* name;
        const char* text;
        bool onAtFirst;
    };
    constexpr RuleTexts kRuleTexts[] = {
        { KeepRule::Protected, "protected", "保護フォルダのファイルを残す", true },
        { KeepRule::NotCopyName, "not-copy-name", "コピーらしい名前のものを削除", true },
        { KeepRule::Newest, "newest", "更新日時が新しいものを残す", false },
        { KeepRule::Oldest, "oldest", "更新日時が古いものを残す", false },
        { KeepRule::Shortest, "shortest", "パスが短いものを残す", false },
        { KeepRule::First, "first", "リストの最初のファイルを残す", false },
    };

    const RuleTexts& TextsOf(KeepRule rule)
    {
        for (const RuleTexts& texts : kRuleTexts) {
            if (texts.rule == rule)
                return texts;
        }
        return kRuleTexts[std::size(kRuleTexts) - 1];
    }

    char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

    bool EndsWithNoCase(std::string_view text, std::string_view tail)
    {
        if (text.size() < tail.size())
            return false;
        return std::equal(tail.begin(), tail.end(), text.end() - static_cast<std::ptrdiff_t>(tail.size()),
            [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
    }

    bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    bool IsAsciiAlnum(char c) { return IsDigit(c) || (LowerAscii(c) >= 'a' && LowerAscii(c) <= 'z'); }

    // " (1)", "(2)" ... "(999)" closing stem after some name. A leading zero or four digits
    // make a number of the name ("Track (01)", "Trip (2019)"), not a counter.
    bool EndsWithCounter(std::string_view stem)
    {
        if (stem.empty() || stem.back() != ')')
            return false;
        const std::size_t open = stem.rfind('(');
        if (open == std::string_view::npos)
            return false;
        const std::string_view digits = stem.substr(open + 1, stem.size() - open - 2);
        if (digits.empty() || digits.size() > 3 || digits[0] == '0'
            || !std::all_of(digits.begin(), digits.end(), IsDigit))
            return false;
        std::string_view before = stem.substr(0, open);
        if (!before.empty() && before.back() == ' ')
            before.remove_suffix(1);
        return !before.empty();
    }

    // "copy" as the last word of stem after some name: " copy", " - Copy", "_copy", also
    // in parentheses (" (copy)", " (another copy)") or numbered (" copy 2").
    bool EndsWithCopyWord(std::string_view stem)
    {
        if (!stem.empty() && stem.back() == ')') {
            stem.remove_suffix(1);
        } else {
            std::size_t end = stem.size();
            while (end > 0 && IsDigit(stem[end - 1]))
                --end;
            if (end < stem.size() && end > 0 && stem[end - 1] == ' ')
                stem = stem.substr(0, end - 1);
        }
        constexpr std::string_view kCopy = "copy";
        if (!EndsWithNoCase(stem, kCopy) || stem.size() == kCopy.size())
            return false;
        const char before = stem[stem.size() - kCopy.size() - 1];
        // A byte of a multi-byte character is a letter: "…copy" glued to a word is no copy.
        return static_cast<unsigned char>(before) < 0x80 && !IsAsciiAlnum(before);
    }

    // What the plan knows about one file. Looking a file up is the plan's whole cost, so
    // it happens only where a rule or the size needs it.
    struct Facts {
        enum class Lookup { NotYet, Found, Missing } lookup = Lookup::NotYet;
        bool isProtected = false;
        std::uint64_t size = 0;
        Platform::FileTime mtime;
    };

    // Looks path up once; returns true when it was found.
    bool LookUp(const std::string& path, Facts& facts)
    {
        if (facts.lookup == Facts::Lookup::NotYet) {
            Platform::FileInfo info;
            facts.lookup = Platform::Stat(path, info).Ok() ? Facts::Lookup::Found : Facts::Lookup::Missing;
            facts.size = info.size;
            facts.mtime = info.mtime;
        }
        return facts.lookup == Facts::Lookup::Found;
    }

    // Narrows candidates (indices in list order) to the rule's favourites when they
    // tell the candidates apart.
    void ApplyRule(KeepRule rule, const std::vector<std::string>& paths, const std::vector<Facts>& facts,
        std::vector<std::size_t>& candidates, std::vector<std::size_t>& favourites)
    {
        favourites.clear();
        const auto keepBest = [&](auto key, auto better) {
            auto best = key(candidates[0]);
            for (std::size_t c : candidates) {
                if (better(key(c), best))
                    best = key(c);
            }
            for (std::size_t c : candidates) {
                if (key(c) == best)
                    favourites.push_back(c);
            }
        };
        const auto mtime = [&](std::size_t c) { return facts[c].mtime; };
        switch (rule) {
        case KeepRule::Protected:
            std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(favourites),
                [&](std::size_t c) { return facts[c].isProtected; });
            break;
        case KeepRule::Newest:
            keepBest(mtime, std::greater<>());
            break;
        case KeepRule::Oldest:
            keepBest(mtime, std::less<>());
            break;
        case KeepRule::Shortest:
            keepBest([&](std::size_t c) { return paths[c].size(); }, std::less<>());
            break;
        case KeepRule::NotCopyName:
            std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(favourites),
                [&](std::size_t c) { return !LooksLikeCopyName(paths[c]); });
            break;
        case KeepRule::First:
            favourites.push_back(candidates[0]);
            break;
        }
        if (!favourites.empty() && favourites.size() < candidates.size())
            candidates.swap(favourites);
    }

    // Returns the file the rules keep among the files not known to be missing, or
    // nothing when every file is missing. A file found missing on the way is dropped and
    // the rules start again without it: the result is the file the rules would pick
    // among the files that exist.
    std::optional<std::size_t> ChooseKept(const std::vector<std::string>& paths,
        const std::vector<KeepRule>& rules, std::vector<Facts>& facts, std::vector<std::size_t>& candidates,
        std::vector<std::size_t>& favourites)
    {
        for (;;) {
            candidates.clear();
            for (std::size_t i = 0; i < paths.size(); ++i) {
                if (facts[i].lookup != Facts::Lookup::Missing)
                    candidates.push_back(i);
            }
            if (candidates.empty())
                return std::nullopt;
            bool missing = false;
            for (KeepRule rule : rules) {
                if (candidates.size() == 1)
                    break;
                if (rule == KeepRule::Newest || rule == KeepRule::Oldest) {
                    for (std::size_t c : candidates)
                        missing = !LookUp(paths[c], facts[c]) || missing;
                    if (missing)
                        break;
                }
                ApplyRule(rule, paths, facts, candidates, favourites);
            }
            if (!missing && LookUp(paths[candidates[0]], facts[candidates[0]]))
                return candidates[0];
        }
    }

    PlannedGroup PlanGroup(const ResultGroup& found, const std::vector<KeepRule>& rules,
        ProtectedFolders& protectedFolders, std::vector<Facts>& facts,
        std::vector<std::size_t>& candidates, std::vector<std::size_t>& favourites)
    {
        PlannedGroup group;
        group.files = found.files;
        std::vector<std::string> paths;
        paths.reserve(found.files.size());
        for (const FoundFile& file : found.files)
            paths.push_back(file.path);
        group.remove.assign(paths.size(), false);
        facts.assign(paths.size(), Facts {});
        bool allProtected = !paths.empty();
        for (std::size_t i = 0; i < paths.size(); ++i) {
            facts[i].isProtected = protectedFolders.Holds(paths[i]);
            allProtected = allProtected && facts[i].isProtected;
        }
        group.allProtected = allProtected;
        const std::optional<std::size_t> kept = ChooseKept(paths, rules, facts, candidates, favourites);
        if (!kept)
            return group;
        group.kept = *kept;
        group.size = facts[group.kept].size;
        const std::string& keptPath = paths[group.kept];
        CountedFiles toGo;
        std::uint64_t count = 0;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            // The kept file listed twice stays under both lines.
            group.remove[i] = facts[i].lookup != Facts::Lookup::Missing && !facts[i].isProtected
                && i != group.kept && paths[i] != keptPath;
            count += group.remove[i] && toGo.Add(group.files[i]) ? 1 : 0;
        }
        group.bytesFreed = group.size * count;
        return group;
    }

} // namespace

const char* KeepRuleName(KeepRule rule) { return TextsOf(rule).name; }

const char* KeepRuleText(KeepRule rule) { return TextsOf(rule).text; }

std::optional<KeepRule> KeepRuleFromName(const std::string& name)
{
    for (const RuleTexts& entry : kRuleTexts) {
        if (name == entry.name)
            return entry.rule;
    }
    return std::nullopt;
}

std::vector<RuleChoice> FirstRuleChoices()
{
    std::vector<RuleChoice> choices;
    for (const RuleTexts& entry : kRuleTexts) {
        if (entry.rule != KeepRule::First)
            choices.push_back({ entry.rule, entry.onAtFirst });
    }
    return choices;
}

bool LooksLikeCopyName(const std::string& path)
{
    const std::string_view whole(path);
    const std::size_t slash = whole.rfind(Platform::kSeparator);
    const std::string_view name = slash == std::string_view::npos ? whole : whole.substr(slash + 1);
    // A leading dot starts a hidden name, not an extension.
    const std::size_t dot = name.rfind('.');
    const std::string_view stem = dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);

    constexpr std::string_view kCopyOf = "copy of ";
    if (stem.size() > kCopyOf.size()
        && std::equal(
            kCopyOf.begin(), kCopyOf.end(), stem.begin(), [](char a, char b) { return a == LowerAscii(b); }))
        return true;
    constexpr std::string_view kKopii = "コピー";
    if (stem.size() > kKopii.size() && stem.ends_with(kKopii))
        return true;
    return EndsWithCounter(stem) || EndsWithCopyWord(stem);
}

bool InFolder(const std::string& path, const std::string& folder)
{
    if (folder.empty())
        return false;
    std::string_view base(folder);
    while (!base.empty() && base.back() == Platform::kSeparator)
        base.remove_suffix(1);
    // base is "" for the root folder: every absolute path lies inside it.
    const std::string_view p(path);
    if (p == base)
        return true;
    return p.size() > base.size() + 1 && p.starts_with(base) && p[base.size()] == Platform::kSeparator;
}

ProtectedFolders::ProtectedFolders(const std::vector<std::string>& folders)
    : m_spelled(folders)
{
    const auto add = [this](const std::string& folder) {
        Platform::FileInfo info;
        if (Platform::Stat(folder, info).Ok() && info.kind == Platform::EntryKind::Directory)
            m_identities.emplace_back(info.device, info.inode);
    };
    for (const std::string& folder : folders) {
        if (folder.empty())
            continue;
        add(folder);
        // A folder inside it mounted elsewhere shows its files with no protected folder
        // above them on the way.
        for (const std::string& place : Platform::MountsInside(folder))
            add(place);
    }
}

bool ProtectedFolders::FolderIsProtected(const std::string& path)
{
    const auto [it, fresh] = m_seen.try_emplace(path, false);
    if (fresh) {
        Platform::FileInfo info;
        it->second = Platform::Stat(path, info).Ok()
            && std::find(m_identities.begin(), m_identities.end(), Identity(info.device, info.inode))
                != m_identities.end();
    }
    return it->second;
}

bool ProtectedFolders::Holds(const std::string& path)
{
    if (std::any_of(m_spelled.begin(), m_spelled.end(), [&](const std::string& f) { return InFolder(path, f); }))
        return true;
    if (m_identities.empty())
        return false;
    // Each folder above path as it is spelled, then as its folder really lies; a
    // relative path starts at the current folder.
    const auto anyAbove = [this](std::string at) {
        for (;;) {
            while (at.size() > 1 && at.back() == Platform::kSeparator)
                at.pop_back();
            const std::size_t slash = at.rfind(Platform::kSeparator);
            if (slash == std::string::npos)
                return FolderIsProtected(".");
            at.resize(slash == 0 ? 1 : slash);
            if (FolderIsProtected(at))
                return true;
            if (at.size() == 1 && at[0] == Platform::kSeparator)
                return false;
        }
    };
    const std::string folder = FileScan::ExtractFileDir(path);
    const auto [it, fresh] = m_folders.try_emplace(folder, false);
    if (fresh) {
        std::string real;
        it->second = anyAbove(path)
            || (Platform::RealPath(folder.empty() ? "." : folder, real).Ok()
                && (FolderIsProtected(real) || anyAbove(real)));
    }
    return it->second;
}

CleanPlan MakeCleanPlan(const std::vector<ResultGroup>& groups, const std::vector<KeepRule>& rules,
    const std::vector<std::string>& protectedFolders)
{
    static const std::vector<KeepRule> kFirstOnly { KeepRule::First };
    const std::vector<KeepRule>& used = rules.empty() ? kFirstOnly : rules;
    CleanPlan plan;
    plan.groups.reserve(groups.size());
    ProtectedFolders protection(protectedFolders);
    std::vector<Facts> facts;
    std::vector<std::size_t> candidates;
    std::vector<std::size_t> favourites;
    for (const ResultGroup& found : groups)
        plan.groups.emplace_back(PlanGroup(found, used, protection, facts, candidates, favourites));
    const PlanTotals totals = TotalsOf(plan);
    plan.filesToGo = totals.files;
    plan.bytesFreed = totals.bytes;
    return plan;
}

PlanTotals TotalsOf(const CleanPlan& plan, const std::vector<bool>& include)
{
    PlanTotals totals;
    CountedFiles counted;
    for (std::size_t g = 0; g < plan.groups.size(); ++g) {
        if (!include.empty() && (g >= include.size() || !include[g]))
            continue;
        const PlannedGroup& group = plan.groups[g];
        bool any = false;
        for (std::size_t i = 0; i < group.files.size(); ++i) {
            if (!group.remove[i])
                continue;
            any = true;
            if (counted.Add(group.files[i])) {
                ++totals.files;
                totals.bytes += group.size;
            }
        }
        totals.groups += any ? 1 : 0;
    }
    return totals;
}

std::vector<RemovalGroup> RemovalOf(const CleanPlan& plan, const std::vector<bool>& include)
{
    std::vector<RemovalGroup> groups;
    groups.reserve(plan.groups.size());
    for (std::size_t g = 0; g < plan.groups.size(); ++g) {
        const PlannedGroup& planned = plan.groups[g];
        RemovalGroup& group = groups.emplace_back();
        group.files = planned.files;
        const bool included = include.empty() || (g < include.size() && include[g]);
        group.remove = included ? planned.remove : std::vector<bool>(planned.files.size(), false);
        group.size = planned.size;
    }
    return groups;
}

RemovalReport CarryOutPlan(const CleanPlan& plan, const std::vector<bool>& include, Files::RemoveMode mode,
    const RemovalProgress& progress)
{
    return RemoveMarked(RemovalOf(plan, include), mode, progress);
}

void RetryPermanently(const CleanPlan& plan, RemovalReport& result) { DeleteWithoutTrash(RemovalOf(plan), result); }

} // namespace Check
