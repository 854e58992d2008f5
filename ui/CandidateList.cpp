// CandidateList: the list model of the candidate paths.
#include "ui/CandidateList.h"

#include "ui/Desktop.h"

#include <stdexcept>

namespace {

// Above this many ranges one reset is cheaper than separate row removals, each of
// which moves the tail of the list and notifies the views.
constexpr std::size_t kMaxSeparateRemovals = 32;

int Row(std::size_t index) { return static_cast<int>(index); }

} // namespace

CandidateList::CandidateList(QObject* parent)
    : QAbstractListModel(parent)
{
}

int CandidateList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Row(m_entries.size());
}

QVariant CandidateList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= m_entries.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return PathToDisplay(m_entries[static_cast<std::size_t>(index.row())]);
    return {};
}

void CandidateList::Append(std::string path)
{
    beginInsertRows(QModelIndex(), Row(m_entries.size()), Row(m_entries.size()));
    m_entries.push_back(std::move(path));
    endInsertRows();
}

void CandidateList::Append(std::vector<std::string>&& paths)
{
    if (paths.empty())
        return;
    beginInsertRows(QModelIndex(), Row(m_entries.size()), Row(m_entries.size() + paths.size() - 1));
    if (m_entries.empty()) {
        m_entries = std::move(paths);
    } else {
        m_entries.insert(
            m_entries.end(), std::make_move_iterator(paths.begin()), std::make_move_iterator(paths.end()));
    }
    paths.clear();
    endInsertRows();
}

void CandidateList::Replace(std::size_t index, std::string path)
{
    m_entries.at(index) = std::move(path);
    const QModelIndex changed = this->index(Row(index));
    emit dataChanged(changed, changed);
}

void CandidateList::RemoveAt(std::size_t index)
{
    if (index >= m_entries.size())
        throw std::out_of_range("CandidateList::RemoveAt");
    beginRemoveRows(QModelIndex(), Row(index), Row(index));
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
    endRemoveRows();
}

void CandidateList::RemoveRanges(const std::vector<RowRange>& ranges)
{
    if (ranges.empty())
        return;
    if (ranges.size() <= kMaxSeparateRemovals) {
        // From the last range down, so that the earlier ranges keep their rows.
        for (auto range = ranges.rbegin(); range != ranges.rend(); ++range) {
            beginRemoveRows(QModelIndex(), Row(range->first), Row(range->second));
            m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(range->first),
                m_entries.begin() + static_cast<std::ptrdiff_t>(range->second + 1));
            endRemoveRows();
        }
        return;
    }
    beginResetModel();
    std::size_t kept = 0;
    std::size_t next = 0;
    for (std::size_t k = 0; k < m_entries.size(); ++k) {
        if (next < ranges.size() && k > ranges[next].second)
            ++next;
        if (next < ranges.size() && k >= ranges[next].first && k <= ranges[next].second)
            continue;
        if (kept != k)
            m_entries[kept] = std::move(m_entries[k]);
        ++kept;
    }
    m_entries.resize(kept);
    endResetModel();
}

void CandidateList::Clear()
{
    if (m_entries.empty())
        return;
    beginResetModel();
    m_entries.clear();
    m_entries.shrink_to_fit();
    endResetModel();
}
