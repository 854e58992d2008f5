// CandidateList: the list model of the candidate paths.
#include "ui/CandidateList.h"

#include "ui/PathDisplay.h"

#include <stdexcept>

namespace {

// Above this many ranges one reset is cheaper than separate row removals, each of
// which moves the tail of the list and notifies the views.
constexpr std::size_t kMaxSeparateRemovals = 32;

int rowOf(std::size_t index) { return static_cast<int>(index); }

} // namespace

CandidateList::CandidateList(QObject* parent, FileScan::IdentifyFn identify)
    : QAbstractListModel(parent)
    , m_entries(std::move(identify))
{
}

int CandidateList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rowOf(m_entries.Count());
}

QVariant CandidateList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= m_entries.Count())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return PathToDisplay(m_entries.At(static_cast<std::size_t>(index.row())));
    return {};
}

std::size_t CandidateList::Append(std::string path)
{
    std::vector<std::string> paths;
    paths.push_back(std::move(path));
    return Append(std::move(paths));
}

std::size_t CandidateList::Append(
    std::vector<std::string>&& paths, const std::vector<FileScan::ListedFile>* listed)
{
    const auto beforeAppend = [this](std::size_t first, std::size_t count) {
        beginInsertRows(QModelIndex(), rowOf(first), rowOf(first + count - 1));
    };
    const std::size_t added = listed ? m_entries.Append(std::move(paths), *listed, beforeAppend)
                                  : m_entries.Append(std::move(paths), beforeAppend);
    if (added > 0)
        endInsertRows();
    paths.clear();
    return added;
}

FileScan::CandidatePaths CandidateList::Extended(
    const FileScan::PathStore& paths, std::vector<FileScan::FileId>&& ids) const
{
    FileScan::CandidatePaths extended = m_entries.Copy();
    extended.Append(paths, std::move(ids));
    return extended;
}

std::size_t CandidateList::Adopt(FileScan::CandidatePaths&& extended)
{
    const std::size_t first = m_entries.Count();
    if (extended.Count() <= first)
        return 0;
    const std::size_t added = extended.Count() - first;
    beginInsertRows(QModelIndex(), rowOf(first), rowOf(extended.Count() - 1));
    std::swap(m_entries, extended);
    endInsertRows();
    return added;
}

void CandidateList::Replace(std::size_t index, std::string path)
{
    m_entries.Replace(index, std::move(path));
    const QModelIndex changed = this->index(rowOf(index));
    emit dataChanged(changed, changed);
}

void CandidateList::RemoveAt(std::size_t index)
{
    if (index >= m_entries.Count())
        throw std::out_of_range("CandidateList::RemoveAt");
    beginRemoveRows(QModelIndex(), rowOf(index), rowOf(index));
    m_entries.RemoveAt(index);
    endRemoveRows();
}

void CandidateList::RemoveRanges(const std::vector<RowRange>& ranges)
{
    if (ranges.empty())
        return;
    if (ranges.back().second >= m_entries.Count())
        throw std::out_of_range("CandidateList::RemoveRanges");
    if (ranges.size() <= kMaxSeparateRemovals) {
        // From the last range down, so that the earlier ranges keep their rows.
        for (auto range = ranges.rbegin(); range != ranges.rend(); ++range) {
            beginRemoveRows(QModelIndex(), rowOf(range->first), rowOf(range->second));
            m_entries.RemoveRanges({ *range });
            endRemoveRows();
        }
        return;
    }
    beginResetModel();
    m_entries.RemoveRanges(ranges);
    endResetModel();
}

void CandidateList::Clear()
{
    if (m_entries.Empty())
        return;
    beginResetModel();
    m_entries.Clear();
    endResetModel();
}
