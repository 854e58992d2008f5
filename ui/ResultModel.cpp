// ResultModel: Check::Results as a two-level Qt model.
#include "ui/ResultModel.h"

#include "ui/PathDisplay.h"

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
    if (row < 0 || column != 0)
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

int ResultModel::columnCount(const QModelIndex&) const { return 1; }

QVariant ResultModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    if (const std::optional<Check::FilePlace> file = FileOf(index))
        return PathToDisplay(m_results.File(*file).path);
    if (const std::optional<std::size_t> group = GroupOf(index))
        return QString::fromStdString(m_results.Group(*group).Caption());
    return {};
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

QModelIndex ResultModel::GroupIndex(std::size_t group) const { return index(RowOf(group), 0); }

QModelIndex ResultModel::FileIndex(const Check::FilePlace& place) const
{
    return index(RowOf(place.file), 0, GroupIndex(place.group));
}

void ResultModel::GroupsAppending(std::size_t first, std::size_t last)
{
    m_pending = Pending::Insert;
    beginInsertRows({}, RowOf(first), RowOf(last));
}

void ResultModel::FilesAppending(std::size_t group, std::size_t first, std::size_t last)
{
    m_pending = Pending::Insert;
    beginInsertRows(GroupIndex(group), RowOf(first), RowOf(last));
}

void ResultModel::GroupsRemoving(std::size_t first, std::size_t last)
{
    m_pending = Pending::Remove;
    beginRemoveRows({}, RowOf(first), RowOf(last));
}

void ResultModel::FilesRemoving(std::size_t group, std::size_t first, std::size_t last)
{
    m_pending = Pending::Remove;
    beginRemoveRows(GroupIndex(group), RowOf(first), RowOf(last));
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
}

void ResultModel::FileChanged(std::size_t group, std::size_t file)
{
    const QModelIndex changed = FileIndex({ group, file });
    emit dataChanged(changed, changed);
}

void ResultModel::GroupChanged(std::size_t group)
{
    const QModelIndex changed = GroupIndex(group);
    emit dataChanged(changed, changed);
}
