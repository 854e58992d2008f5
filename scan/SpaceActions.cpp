// SpaceActions: block sharing, hard links, moving aside and their undo step, each
// confirming the file before it acts.
#include "scan/SpaceActions.h"

#include "scan/EnumTexts.h"

#include "scan/ContentCompare.h"
#include "scan/FileError.h"
#include "scan/FileOps.h"
#include "scan/PathRoutines.h"

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

namespace Files {
namespace {

    constexpr EnumText<ActionOutcome> kOutcomeTexts[] = {
        { ActionOutcome::Done, "done", "" },
        { ActionOutcome::Changed, "changed", "確認の後に変更されました" },
        { ActionOutcome::KeptChanged, "kept file changed", "残すファイルが確認の後に変更されました" },
        { ActionOutcome::Differs, "differs", "残すファイルと内容が違います" },
        { ActionOutcome::SameFile, "same file", "残すファイルと同じファイルです" },
        { ActionOutcome::AttributesDiffer, "attributes differ", "属性が異なる" },
        { ActionOutcome::NotSupported, "not supported", "共有できないファイルシステム" },
        { ActionOutcome::OtherFileSystem, "other file system", "残すファイルと別のファイルシステム" },
        { ActionOutcome::TargetTaken, "target taken", "移動先に同じ名前のファイルがあります" },
        { ActionOutcome::NoTrash, "no trash", "ゴミ箱がありません" },
        { ActionOutcome::Failed, "failed", "処理できませんでした" },
    };

    ActionResult Outcome(ActionOutcome outcome, Platform::Status error = {})
    {
        ActionResult result;
        result.outcome = outcome;
        result.error = error;
        return result;
    }

    // A file's folder held open, with its name in it.
    struct Place {
        std::string folderPath; // "" or ending in "/"
        std::string name;
        Platform::Folder folder;
    };

    Platform::Status OpenPlace(const std::string& path, Place& place)
    {
        place.folderPath = FileScan::ExtractFileDir(path);
        place.name = FileScan::ExtractFileName(path);
        if (place.name.empty())
            return Platform::Error::InvalidName;
        return place.folder.Open(place.folderPath);
    }

    // A name in the folder that nobody holds yet, as SaveFile names its temporary files.
    std::string TemporaryName()
    {
        static const char kHex[] = "0123456789abcdef";
        std::random_device seed;
        std::mt19937_64 random(seed());
        std::string name = ".tessarin-";
        std::uint64_t bits = random();
        for (int k = 0; k < 12; ++k, bits >>= 4)
            name += kHex[bits & 0x0F];
        return name + ".tmp";
    }

    // True when a and b hold the same bytes, read side by side to the end of each.
    bool SameBytes(const Platform::ReadFile& a, const Platform::ReadFile& b, std::uint64_t size, Platform::Status& error)
    {
        constexpr std::size_t kBlock = 256 * 1024;
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, std::max<std::uint64_t>(size, 1)));
        auto first = std::make_unique_for_overwrite<std::byte[]>(n);
        auto other = std::make_unique_for_overwrite<std::byte[]>(n);
        FileScan::BlockCompare compare(first.get(), other.get(), n);
        std::uint64_t offset = 0;
        for (;;) {
            offset = FileScan::SharedHoleEnd({ &a, &b }, offset, size);
            const std::int64_t got = compare.ReadFirst(a, offset, n, &error);
            if (got < 0)
                return false;
            std::int64_t otherGot = 0;
            const FileScan::BlockMatch match = compare.ReadOther(b, otherGot, &error);
            if (match != FileScan::BlockMatch::Same)
                return false;
            // Both ended here.
            if (static_cast<std::size_t>(got) < n)
                return true;
            offset += static_cast<std::uint64_t>(got);
        }
    }

    // Opens path and confirms that the open file is the one recorded.
    bool OpenConfirmed(const std::string& path, const FileIdentity& identity, Platform::ReadFile& file,
        Platform::FileStatus& status)
    {
        return file.Open(path).Ok() && Platform::StatOpen(file, status).Ok() && identity.Matches(status);
    }

    // Puts the file named temp in place of place.name, which must still be file: the
    // two are swapped in one step, and the file the swap took away, now under temp, is
    // confirmed to be file before it is removed; any other is swapped back. On every
    // outcome but Done the name holds what it held and temp is removed (else named in
    // leftover).
    ActionResult SwapIn(const Place& place, const std::string& temp, const FileIdentity& file,
        const StepHook& beforeSwap, ActionResult result)
    {
        const auto giveUp = [&](ActionOutcome outcome, Platform::Status error) {
            result.outcome = outcome;
            result.error = error;
            if (!place.folder.Remove(temp).Ok())
                result.leftover = place.folderPath + temp;
            return result;
        };
        if (beforeSwap)
            beforeSwap();
        Platform::FileStatus now;
        if (!place.folder.Stat(place.name, now).Ok() || !file.Matches(now))
            return giveUp(ActionOutcome::Changed, {});
        Platform::Status swapped = place.folder.Exchange(temp, place.name);
        if (swapped == Platform::Error::NotSupported) {
            // A file system that cannot swap: the rename replaces, and the look-up right
            // before it is the last check.
            swapped = place.folder.RenameReplacing(temp, place.name);
            if (!swapped.Ok())
                return giveUp(ActionOutcome::Failed, swapped);
            result.outcome = ActionOutcome::Done;
            return result;
        }
        if (!swapped.Ok())
            return giveUp(ActionOutcome::Failed, swapped);
        Platform::FileStatus old;
        if (!place.folder.Stat(temp, old).Ok() || !file.Matches(old)) {
            // Replaced between the look-up and the swap: give the newcomer its name back.
            if (place.folder.Exchange(temp, place.name).Ok())
                return giveUp(ActionOutcome::Changed, {});
            result.outcome = ActionOutcome::Failed;
            result.leftover = place.folderPath + temp;
            return result;
        }
        const Platform::Status removed = place.folder.Remove(temp);
        if (!removed.Ok()) {
            // The old file cannot leave: put it back under its name.
            if (place.folder.Exchange(temp, place.name).Ok())
                return giveUp(ActionOutcome::Failed, removed);
            result.outcome = ActionOutcome::Failed;
            result.error = removed;
            result.leftover = place.folderPath + temp;
            return result;
        }
        result.outcome = ActionOutcome::Done;
        return result;
    }

    // Creates the link or file of make under a fresh temporary name in place's folder;
    // returns the name, or "" with the failure in error.
    std::string MakeTemporary(const std::function<Platform::Status(const std::string&)>& make, Platform::Status& error)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = TemporaryName();
            error = make(name);
            if (error.Ok())
                return name;
            if (error != Platform::Error::Exists)
                return {};
        }
        return {};
    }

    // Resolves "." and ".." of an absolute path by name and drops repeated "/".
    std::string Normalized(const std::string& absolute)
    {
        std::vector<std::string> parts;
        std::size_t start = 0;
        while (start <= absolute.size()) {
            std::size_t end = absolute.find(Platform::kSeparator, start);
            if (end == std::string::npos)
                end = absolute.size();
            const std::string part = absolute.substr(start, end - start);
            if (part == "..") {
                if (!parts.empty())
                    parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            start = end + 1;
        }
        std::string joined;
        for (const std::string& part : parts)
            joined += Platform::kSeparator + part;
        return joined;
    }

} // namespace

const char* ActionOutcomeWord(ActionOutcome outcome)
{
    const auto* entry = FindEnumText(kOutcomeTexts, outcome);
    return entry ? entry->word : "";
}

const char* ActionOutcomeText(ActionOutcome outcome)
{
    const auto* entry = FindEnumText(kOutcomeTexts, outcome);
    return entry ? entry->text : "";
}

ActionResult ShareBlocksWith(
    const std::string& path, const FileIdentity& file, const std::string& kept, const FileIdentity& keptFile)
{
    Platform::ReadFile keptIn;
    Platform::ReadFile in;
    Platform::FileStatus keptStatus;
    ActionResult result;
    if (!OpenConfirmed(kept, keptFile, keptIn, keptStatus))
        return Outcome(ActionOutcome::KeptChanged);
    if (!OpenConfirmed(path, file, in, result.before))
        return Outcome(ActionOutcome::Changed);
    if (file.SameFile(keptStatus))
        return Outcome(ActionOutcome::SameFile);
    if (file.device != keptFile.device)
        return Outcome(ActionOutcome::OtherFileSystem);
    if (file.size != keptFile.size)
        return Outcome(ActionOutcome::Differs);
    // The blocks the two files share already (a second run, a copy made by reflink) free
    // nothing when shared again; the kernel counts them all the same.
    std::uint64_t before = 0;
    const bool mapped = Platform::SharedBlockBytes(keptIn, in, file.size, before).Ok();
    const Platform::Status shared = Platform::ShareBlocks(keptIn, in, 0, file.size, result.bytesShared);
    std::uint64_t after = 0;
    if (mapped && Platform::SharedBlockBytes(keptIn, in, file.size, after).Ok())
        result.bytesFreed = after > before ? after - before : 0;
    else
        result.bytesFreed = result.bytesShared;
    result.error = shared;
    switch (shared.error) {
    case Platform::Error::None:
        result.outcome = ActionOutcome::Done;
        break;
    case Platform::Error::Differs:
        result.outcome = ActionOutcome::Differs;
        break;
    case Platform::Error::NotSupported:
        result.outcome = ActionOutcome::NotSupported;
        break;
    case Platform::Error::CrossDevice:
        result.outcome = ActionOutcome::OtherFileSystem;
        break;
    default:
        result.outcome = ActionOutcome::Failed;
        break;
    }
    return result;
}

ActionResult ReplaceWithHardLink(const std::string& path, const FileIdentity& file, const std::string& kept,
    const FileIdentity& keptFile, const StepHook& beforeSwap)
{
    Place place;
    if (const Platform::Status opened = OpenPlace(path, place); !opened.Ok())
        return Outcome(opened == Platform::Error::NotFound ? ActionOutcome::Changed : ActionOutcome::Failed, opened);
    ActionResult result;
    // The name itself, not what a symbolic link there leads to.
    if (!place.folder.Stat(place.name, result.before).Ok() || !file.Matches(result.before))
        return Outcome(ActionOutcome::Changed);
    Platform::FileStatus keptStatus;
    if (!Platform::StatFile(kept, keptStatus, true).Ok() || !keptFile.Matches(keptStatus))
        return Outcome(ActionOutcome::KeptChanged);
    if (file.SameFile(keptStatus))
        return Outcome(ActionOutcome::SameFile);
    if (file.device != keptFile.device)
        return Outcome(ActionOutcome::OtherFileSystem);
    if (result.before.owner != keptStatus.owner || result.before.group != keptStatus.group
        || result.before.permissions != keptStatus.permissions)
        return Outcome(ActionOutcome::AttributesDiffer);
    // Access control lists and other extended attributes would change with the file too.
    Platform::ExtendedAttributes own;
    Platform::ExtendedAttributes keptOwn;
    if (const Platform::Status read = Platform::ReadExtendedAttributes(path, own, false); !read.Ok())
        return Outcome(ActionOutcome::Failed, read);
    if (const Platform::Status read = Platform::ReadExtendedAttributes(kept, keptOwn, true); !read.Ok())
        return Outcome(ActionOutcome::Failed, read);
    if (own != keptOwn)
        return Outcome(ActionOutcome::AttributesDiffer);

    {
        Platform::ReadFile in;
        Platform::ReadFile keptIn;
        Platform::FileStatus opened;
        if (!OpenConfirmed(path, file, in, opened))
            return Outcome(ActionOutcome::Changed);
        if (!OpenConfirmed(kept, keptFile, keptIn, opened))
            return Outcome(ActionOutcome::KeptChanged);
        Platform::Status error;
        if (!SameBytes(keptIn, in, file.size, error))
            return Outcome(error.Ok() ? ActionOutcome::Differs : ActionOutcome::Failed, error);
        // Written to while it was compared.
        if (!Platform::StatOpen(in, opened).Ok() || !file.Matches(opened))
            return Outcome(ActionOutcome::Changed);
        if (!Platform::StatOpen(keptIn, opened).Ok() || !keptFile.Matches(opened))
            return Outcome(ActionOutcome::KeptChanged);
    }

    Platform::Status linked;
    const std::string temp
        = MakeTemporary([&](const std::string& name) { return place.folder.Link(kept, name); }, linked);
    if (temp.empty())
        return Outcome(linked == Platform::Error::CrossDevice ? ActionOutcome::OtherFileSystem : ActionOutcome::Failed,
            linked);
    // The link leads to whatever kept named when it was made.
    Platform::FileStatus link;
    if (!place.folder.Stat(temp, link).Ok() || !keptFile.Matches(link)) {
        ActionResult changed = Outcome(ActionOutcome::KeptChanged);
        if (!place.folder.Remove(temp).Ok())
            changed.leftover = place.folderPath + temp;
        return changed;
    }
    return SwapIn(place, temp, file, beforeSwap, result);
}

std::string AsidePath(const std::string& path, const std::string& folder)
{
    const std::string absolute
        = !path.empty() && path[0] == Platform::kSeparator ? path : Platform::CurrentFolder() + Platform::kSeparator + path;
    std::string base = folder;
    while (base.size() > 1 && base.back() == Platform::kSeparator)
        base.pop_back();
    if (base == "/")
        base.clear();
    return base + Normalized(absolute);
}

Platform::Status MakeFolders(const std::string& folder)
{
    if (folder.empty() || Platform::IsDirectory(folder))
        return {};
    std::string parent = folder;
    while (!parent.empty() && parent.back() == Platform::kSeparator)
        parent.pop_back();
    const std::size_t slash = parent.rfind(Platform::kSeparator);
    if (slash != std::string::npos && slash > 0) {
        if (const Platform::Status made = MakeFolders(parent.substr(0, slash)); !made.Ok())
            return made;
    }
    const Platform::Status made = Platform::MakeFolder(parent);
    // Made by another meanwhile.
    if (made == Platform::Error::Exists && Platform::IsDirectory(parent))
        return {};
    return made;
}

ActionResult MoveAside(const std::string& path, const FileIdentity& file, const std::string& folder)
{
    ActionResult result;
    if (!Platform::StatFile(path, result.before, false).Ok() || !file.Matches(result.before))
        return Outcome(ActionOutcome::Changed);
    const std::string target = AsidePath(path, folder);
    if (const Platform::Status made = MakeFolders(FileScan::ExtractFileDir(target)); !made.Ok())
        return Outcome(ActionOutcome::Failed, made);
    try {
        const FileOpResult moved = MoveFileTo(path, target, &file);
        if (moved == FileOpResult::TargetExists)
            return Outcome(ActionOutcome::TargetTaken);
        if (moved == FileOpResult::Changed)
            return Outcome(ActionOutcome::Changed);
    } catch (const FileError& e) {
        ActionResult failed = Outcome(ActionOutcome::Failed);
        failed.message = e.what();
        return failed;
    }
    // A rename moves whatever the name held at that instant: a file put there after the
    // look-up goes back.
    Platform::FileStatus moved;
    if (Platform::StatFile(target, moved, false).Ok() && moved.device == file.device && !file.Matches(moved)) {
        Platform::RenameNoReplace(target, path);
        return Outcome(ActionOutcome::Changed);
    }
    result.outcome = ActionOutcome::Done;
    result.went = target;
    return result;
}

ActionResult TrashFile(const std::string& path, const FileIdentity& file)
{
    ActionResult result;
    if (!Platform::StatFile(path, result.before, false).Ok() || !file.Matches(result.before))
        return Outcome(ActionOutcome::Changed);
    const Platform::Status trashed = Platform::MoveToTrash(path);
    if (trashed == Platform::Error::NoTrash)
        return Outcome(ActionOutcome::NoTrash, trashed);
    if (!trashed.Ok())
        return Outcome(ActionOutcome::Failed, trashed);
    result.outcome = ActionOutcome::Done;
    Platform::FindTrashEntry(path, file.device, file.inode, result.went);
    return result;
}

ActionResult MakeIndependent(const std::string& path, const FileIdentity& linked,
    const Platform::FileStatus& attributes, const StepHook& beforeSwap)
{
    Place place;
    if (const Platform::Status opened = OpenPlace(path, place); !opened.Ok())
        return Outcome(opened == Platform::Error::NotFound ? ActionOutcome::Changed : ActionOutcome::Failed, opened);
    ActionResult result;
    if (!place.folder.Stat(place.name, result.before).Ok() || !linked.Matches(result.before))
        return Outcome(ActionOutcome::Changed);
    Platform::ReadFile in;
    Platform::FileStatus opened;
    if (!OpenConfirmed(path, linked, in, opened))
        return Outcome(ActionOutcome::Changed);

    Platform::WriteFile out;
    Platform::Status created;
    const std::string temp = MakeTemporary(
        [&](const std::string& name) { return out.Create(place.folderPath + name); }, created);
    if (temp.empty())
        return Outcome(ActionOutcome::Failed, created);
    UnfinishedFile partial(place.folderPath + temp);
    constexpr std::size_t kBlock = std::size_t { 1 } << 20;
    std::vector<char> buffer(kBlock);
    std::uint64_t offset = 0;
    for (;;) {
        offset = FileScan::SharedHoleEnd({ &in }, offset, linked.size);
        Platform::Status error;
        const std::int64_t got = in.ReadFull(offset, buffer.data(), buffer.size(), &error);
        if (got < 0)
            return Outcome(ActionOutcome::Failed, error);
        if (got == 0)
            break;
        if (const Platform::Status put = out.WriteAllAt(offset, buffer.data(), static_cast<std::size_t>(got));
            !put.Ok())
            return Outcome(ActionOutcome::Failed, put);
        offset += static_cast<std::uint64_t>(got);
    }
    if (const Platform::Status sized = out.SetSize(linked.size); !sized.Ok())
        return Outcome(ActionOutcome::Failed, sized);
    if (const Platform::Status closed = out.Close(); !closed.Ok())
        return Outcome(ActionOutcome::Failed, closed);
    if (!Platform::StatOpen(in, opened).Ok() || !linked.Matches(opened) || offset < linked.size)
        return Outcome(ActionOutcome::Changed);
    // The extended attributes are those the file had: a link was only made where they
    // were the kept file's.
    Platform::ExtendedAttributes extended;
    if (const Platform::Status read = Platform::ReadExtendedAttributes(path, extended, false); !read.Ok())
        return Outcome(ActionOutcome::Failed, read);
    if (const Platform::Status written = Platform::WriteExtendedAttributes(place.folderPath + temp, extended);
        !written.Ok())
        return Outcome(ActionOutcome::Failed, written);
    if (const Platform::Status set = place.folder.SetAttributes(temp, attributes); !set.Ok())
        return Outcome(ActionOutcome::Failed, set);
    partial.Keep();
    return SwapIn(place, temp, linked, beforeSwap, result);
}

} // namespace Files
