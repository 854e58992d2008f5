// Settings: QSettings under the program's own name.
#include "ui/Settings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace Settings {
namespace {

    QSettings Store() { return QSettings(u"Tessarin"_s, u"Tessarin"_s); }

    struct FolderKey {
        FolderDialog dialog;
        const char16_t* key;
    };
    constexpr FolderKey kFolderKeys[] = {
        { FolderDialog::AddFolder, u"lastFolder/addFolder" },
        { FolderDialog::MoveFile, u"lastFolder/moveFile" },
        { FolderDialog::ProtectFolder, u"lastFolder/protectFolder" },
        { FolderDialog::SaveResults, u"lastFolder/saveResults" },
    };

    QString folderKey(FolderDialog dialog)
    {
        for (const FolderKey& entry : kFolderKeys)
            if (entry.dialog == dialog)
                return QString::fromUtf16(entry.key);
        return {};
    }

} // namespace

// Kept as bytes, as the protected folders are.
std::string LastFolder(FolderDialog dialog) { return Store().value(folderKey(dialog)).toByteArray().toStdString(); }

void SetLastFolder(FolderDialog dialog, const std::string& folder)
{
    Store().setValue(folderKey(dialog), QByteArray::fromStdString(folder));
}

QByteArray WindowGeometry() { return Store().value(u"window/geometry"_s).toByteArray(); }

void SetWindowGeometry(const QByteArray& geometry) { Store().setValue(u"window/geometry"_s, geometry); }

QByteArray ResultSplit() { return Store().value(u"window/resultSplit"_s).toByteArray(); }

void SetResultSplit(const QByteArray& state) { Store().setValue(u"window/resultSplit"_s, state); }

bool UseTrash() { return Store().value(u"trash"_s, true).toBool(); }

void SetUseTrash(bool on) { Store().setValue(u"trash"_s, on); }

std::vector<std::string> ProtectedFolders()
{
    // Kept as bytes: a folder name need not be valid UTF-8.
    std::vector<std::string> folders;
    for (const QVariant& folder : Store().value(u"protectedFolders"_s).toList())
        folders.push_back(folder.toByteArray().toStdString());
    return folders;
}

void SetProtectedFolders(const std::vector<std::string>& folders)
{
    QVariantList list;
    for (const std::string& folder : folders)
        list.append(QByteArray::fromStdString(folder));
    Store().setValue(u"protectedFolders"_s, list);
}

std::vector<RuleChoice> KeepRules()
{
    // Stored as "name" or "-name" (off), in order; rules missing from it (an older
    // list, or one edited by hand) follow in their default order.
    std::vector<RuleChoice> rules;
    for (const QString& word : Store().value(u"keepRules"_s).toStringList()) {
        const bool on = !word.startsWith(u'-');
        const auto rule = Check::KeepRuleFromName((on ? word : word.mid(1)).toStdString());
        const auto known = [&](const RuleChoice& c) { return rule && c.rule == *rule; };
        if (rule && *rule != Check::KeepRule::First && std::none_of(rules.begin(), rules.end(), known))
            rules.push_back({ *rule, on });
    }
    for (const RuleChoice& choice : Check::FirstRuleChoices()) {
        if (std::none_of(rules.begin(), rules.end(), [&](const RuleChoice& c) { return c.rule == choice.rule; }))
            rules.push_back(choice);
    }
    return rules;
}

void SetKeepRules(const std::vector<RuleChoice>& rules)
{
    QStringList words;
    for (const RuleChoice& choice : rules)
        words << (choice.on ? u""_s : u"-"_s) + QString::fromUtf8(Check::KeepRuleName(choice.rule));
    Store().setValue(u"keepRules"_s, words);
}

FileScan::ExclusionRules Exclusions()
{
    QSettings store = Store();
    FileScan::ExclusionRules rules;
    for (const QString& pattern : store.value(u"exclusions/patterns"_s).toStringList())
        rules.patterns.push_back(pattern.toStdString());
    rules.minSize = store.value(u"exclusions/minSize"_s, 0).toULongLong();
    rules.maxSize = store.value(u"exclusions/maxSize"_s, static_cast<qulonglong>(UINT64_MAX)).toULongLong();
    rules.skipEmpty = store.value(u"exclusions/skipEmpty"_s, false).toBool();
    return rules;
}

void SetExclusions(const FileScan::ExclusionRules& rules)
{
    QSettings store = Store();
    QStringList patterns;
    for (const std::string& pattern : rules.patterns)
        patterns << QString::fromStdString(pattern);
    store.setValue(u"exclusions/patterns"_s, patterns);
    store.setValue(u"exclusions/minSize"_s, static_cast<qulonglong>(rules.minSize));
    store.setValue(u"exclusions/maxSize"_s, static_cast<qulonglong>(rules.maxSize));
    store.setValue(u"exclusions/skipEmpty"_s, rules.skipEmpty);
}

std::string NotDuplicatesFile()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    // The XDG rule: a relative path there is ignored.
    if (data.isEmpty() || QDir::isRelativePath(data))
        data = QDir::homePath() + u"/.local/share"_s;
    return QFile::encodeName(data + u"/tessarin/not-duplicates"_s).toStdString();
}

} // namespace Settings
