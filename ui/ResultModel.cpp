// ResultModel: Check::Results as a two-level Qt model.
#include "ui/ResultModel.h"

#include "ui/PathDisplay.h"
#include "ui/SizeText.h"

#include <QDateTime>

using namespace Qt::Literals::StringLiterals;

namespace {

// A group row carries no id; a file row carries its group's id (never 0), which stays
// the same while groups before it are removed.
constexpr quintptr kGroupRow = 0;

int RowOf(std::size_t index) { return static_cast<int>(index); }

} // namespace

ResultModel::ResultModel(QObject* parent)
    : QAbstractItemModel(parent)
{
    m_results.SetObserver(this);
}

ResultModel::~ResultModel() { m_results.SetObserver(nullptr); }

QModelIndex ResultModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= kColumnCount)
        return {};
    if (!parent.isValid()) {
        if (static_cast<std::size_t>(row) >= m_results.GroupCount())
            return {};
        return createIndex(row, column, kGroupRow);
    }
    if (parent.internalId() != kGroupRow || static_cast<std::size_t>(parent.row()) >= m_results.GroupCount())
        return {};
    const auto group = static_cast<std::size_t>(parent.row());
    if (static_cast<std::size_t>(row) >= m_results.Group(group).files.size())
        return {};
    return createIndex(row, column, static_cast<quintptr>(m_results.IdOf(group)));
}

QModelIndex ResultModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || child.internalId() == kGroupRow)
        return {};
    const std::optional<std::size_t> group = m_results.IndexOf(child.internalId());
    return group ? createIndex(RowOf(*group), 0, kGroupRow) : QModelIndex();
}

int ResultModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return RowOf(m_results.GroupCount());
    if (parent.internalId() != kGroupRow || parent.column() != 0)
        return 0;
    return RowOf(m_results.Group(static_cast<std::size_t>(parent.row())).files.size());
}

int ResultModel::columnCount(const QModelIndex&) const { return kColumnCount; }

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QString kHeaders[kColumnCount] = { QString(), u"サイズ"_s, u"更新日時"_s, u"ファイル数"_s, u"削減可能"_s };
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount)
        return {};
    return kHeaders[section];
}

QVariant ResultModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != SortRole))
        return {};
    const auto column = static_cast<Column>(index.column());
    if (const std::optional<Check::FilePlace> place = FileOf(index)) {
        const Check::FoundFile& file = m_results.File(*place);
        switch (column) {
        case Column::Caption:
            return role == Qt::DisplayRole ? PathToDisplay(file.path) : QVariant();
        case Column::Size:
            return sizeData(file.stamp.size, role);
        case Column::Modified:
            if (role == SortRole)
                return QVariant::fromValue(file.stamp.modified.seconds);
            return role == Qt::DisplayRole
                ? QDateTime::fromSecsSinceEpoch(file.stamp.modified.seconds).toString(u"yyyy/MM/dd HH:mm"_s)
                : QVariant();
        default:
            return {};
        }
    }
    const std::optional<std::size_t> group = GroupOf(index);
    if (!group)
        return {};
    const Check::ResultGroup& found = m_results.Group(*group);
    const std::uint64_t size = found.files.empty() ? 0 : found.files.front().stamp.size;
    const std::size_t copies = found.files.empty() ? 0 : found.files.size() - 1;
    switch (column) {
    case Column::Caption:
        if (role == SortRole)
            return found.number;
        return role == Qt::DisplayRole ? QString::fromStdString(found.Caption()) : QVariant();
    case Column::Size:
        return sizeData(size, role);
    case Column::Files:
        return role == Qt::ToolTipRole ? QVariant() : QVariant::fromValue(static_cast<qulonglong>(found.files.size()));
    case Column::Gain:
        return sizeData(size * copies, role);
    case Column::Modified:
        return {};
    }
    return {};
}

QVariant ResultModel::sizeData(std::uint64_t bytes, int role)
{
    if (role == SortRole)
        return QVariant::fromValue(static_cast<qulonglong>(bytes));
    return role == Qt::ToolTipRole ? ExactSizeText(bytes) : SizeText(bytes);
}

std::optional<std::size_t> ResultModel::GroupOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return std::nullopt;
    if (index.internalId() == kGroupRow)
        return static_cast<std::size_t>(index.row());
    return m_results.IndexOf(index.internalId());
}

std::optional<Check::FilePlace> ResultModel::FileOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this || index.internalId() == kGroupRow)
        return std::nullopt;
    const std::optional<std::size_t> group = m_results.IndexOf(index.internalId());
    if (!group || static_cast<std::size_t>(index.row()) >= m_results.Group(*group).files.size())
        return std::nullopt;
    return Check::FilePlace { *group, static_cast<std::size_t>(index.row()) };
}

QModelIndex ResultModel::GroupIndex(std::size_t group, int column) const { return index(RowOf(group), column); }

QModelIndex ResultModel::FileIndex(const Check::FilePlace& place) const
{
    return index(RowOf(place.file), 0, GroupIndex(place.group));
}

QModelIndex ResultModel::pend(Pending what, std::optional<std::size_t> group)
{
    m_pending = what;
    if (!group)
        return {};
    m_pendingGroup = group;
    return GroupIndex(*group);
}

void ResultModel::GroupsAppending(std::size_t first, std::size_t last)
{
    beginInsertRows(pend(Pending::Insert), RowOf(first), RowOf(last));
}

void ResultModel::FilesAppending(std::size_t group, std::size_t first, std::size_t last)
{
    beginInsertRows(pend(Pending::Insert, group), RowOf(first), RowOf(last));
}

void ResultModel::GroupsRemoving(std::size_t first, std::size_t last)
{
    beginRemoveRows(pend(Pending::Remove), RowOf(first), RowOf(last));
}

void ResultModel::FilesRemoving(std::size_t group, std::size_t first, std::size_t last)
{
    beginRemoveRows(pend(Pending::Remove, group), RowOf(first), RowOf(last));
}

void ResultModel::Resetting()
{
    m_pending = Pending::Reset;
    beginResetModel();
}

void ResultModel::Done()
{
    switch (std::exchange(m_pending, Pending::None)) {
    case Pending::Insert:
        endInsertRows();
        break;
    case Pending::Remove:
        endRemoveRows();
        break;
    case Pending::Reset:
        endResetModel();
        break;
    case Pending::None:
        break;
    }
    if (const std::optional<std::size_t> group = std::exchange(m_pendingGroup, std::nullopt))
        GroupChanged(*group);
}

void ResultModel::FileChanged(std::size_t group, std::size_t file)
{
    const QModelIndex changed = FileIndex({ group, file });
    emit dataChanged(changed, changed.siblingAtColumn(kColumnCount - 1));
}

void ResultModel::GroupChanged(std::size_t group)
{
    // A group's size, count and gain follow its files.
    const QModelIndex changed = GroupIndex(group);
    emit dataChanged(changed, changed.siblingAtColumn(kColumnCount - 1));
}
