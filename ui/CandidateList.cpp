// CandidateList: the list model of the candidate paths.
#include "ui/CandidateList.h"

#include "ui/PathDisplay.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace {

// Above this many ranges one reset is cheaper than separate row removals, each of
// which notifies the views.
constexpr std::size_t kMaxSeparateRemovals = 32;

int rowOf(std::size_t index) { return static_cast<int>(index); }

} // namespace

CandidateList::CandidateList(QObject* parent, FileScan::IdentifyFn identify)
    : QAbstractListModel(parent)
    , m_entries(std::move(identify))
{
}

QModelIndex CandidateList::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || column != 0 || row < 0 || static_cast<std::size_t>(row) >= Count())
        return {};
    return createIndex(row, column);
}

int CandidateList::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rowOf(Count()); }

QVariant CandidateList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= Count())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return PathToDisplay(m_entries.At(Stored(static_cast<std::size_t>(index.row()))));
    return {};
}

std::string CandidateList::At(std::size_t index) const
{
    if (index >= Count())
        throw std::out_of_range("CandidateList::At");
    return m_entries.At(Stored(index));
}

std::vector<std::string> CandidateList::Entries() const
{
    if (m_gone.empty())
        return m_entries.Entries();
    std::vector<std::string> entries;
    entries.reserve(Count());
    auto gone = m_gone.begin();
    for (std::size_t stored = 0; stored < m_entries.Count(); ++stored) {
        if (gone != m_gone.end() && *gone == stored)
            ++gone;
        else
            entries.push_back(m_entries.At(stored));
    }
    return entries;
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
    DropLookUps();
    Compact();
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

FileScan::CandidatePaths CandidateList::Extended(const FileScan::PathStore& paths,
    std::vector<FileScan::FileId>&& ids, std::vector<std::size_t>* passedOver) const
{
    FileScan::CandidatePaths extended = m_entries.Copy();
    // The copy drops the rows marked gone here, on the caller's thread.
    extended.RemoveRanges(GoneRanges());
    extended.Append(paths, std::move(ids), passedOver);
    return extended;
}

std::size_t CandidateList::Adopt(FileScan::CandidatePaths&& extended, FileScan::LookUps&& lookUps)
{
    const std::size_t first = Count();
    DropLookUps();
    if (extended.Count() <= first)
        return 0;
    const std::size_t added = extended.Count() - first;
    beginInsertRows(QModelIndex(), rowOf(first), rowOf(extended.Count() - 1));
    std::swap(m_entries, extended);
    m_gone = std::vector<std::size_t>();
    endInsertRows();
    if (lookUps.Count() == added)
        m_lookUps = { first, std::move(lookUps) };
    return added;
}

void CandidateList::Replace(std::size_t index, std::string path)
{
    if (index >= Count())
        throw std::out_of_range("CandidateList::Replace");
    DropLookUps();
    Compact();
    m_entries.Replace(index, std::move(path));
    const QModelIndex changed = this->index(rowOf(index));
    emit dataChanged(changed, changed);
}

void CandidateList::RemoveAt(std::size_t index) { RemoveRanges({ { index, index } }); }

void CandidateList::RemoveRanges(const std::vector<RowRange>& ranges)
{
    if (ranges.empty())
        return;
    if (ranges.back().second >= Count())
        throw std::out_of_range("CandidateList::RemoveRanges");
    DropLookUps();
    if (ranges.size() <= kMaxSeparateRemovals) {
        // From the last range down, so that the earlier ranges keep their rows.
        for (auto range = ranges.rbegin(); range != ranges.rend(); ++range) {
            beginRemoveRows(QModelIndex(), rowOf(range->first), rowOf(range->second));
            MarkGone({ *range });
            endRemoveRows();
        }
    } else {
        beginResetModel();
        MarkGone(ranges);
        endResetModel();
    }
    // Past half the storage, the marks would cost more than one pass.
    if (!m_held && m_gone.size() > Count())
        Compact();
}

void CandidateList::Clear()
{
    DropLookUps();
    if (Empty())
        return;
    beginResetModel();
    m_entries.Clear();
    m_gone = std::vector<std::size_t>();
    endResetModel();
}

void CandidateList::Hold(bool held)
{
    m_held = held;
    if (held || m_gone.size() > Count())
        Compact();
}

const FileScan::PathStore* CandidateList::DistinctPaths() const
{
    if (!m_held || !m_entries.Paths().AllDistinct())
        return nullptr;
    return &m_entries.Paths();
}

std::size_t CandidateList::Stored(std::size_t row) const
{
    // m_gone[j] - j rows are shown before the j-th gone row, a count that never falls:
    // row comes after every gone row whose count is at most row.
    std::size_t before = 0;
    std::size_t after = m_gone.size();
    while (before < after) {
        const std::size_t middle = before + (after - before) / 2;
        if (m_gone[middle] - middle <= row)
            before = middle + 1;
        else
            after = middle;
    }
    return row + before;
}

void CandidateList::MarkGone(const std::vector<RowRange>& ranges)
{
    std::vector<std::size_t> marked;
    std::size_t passed = 0;
    for (const RowRange& range : ranges) {
        for (std::size_t row = range.first; row <= range.second; ++row) {
            while (passed < m_gone.size() && m_gone[passed] - passed <= row)
                ++passed;
            marked.push_back(row + passed);
        }
    }
    std::vector<std::size_t> gone;
    gone.reserve(m_gone.size() + marked.size());
    std::merge(m_gone.begin(), m_gone.end(), marked.begin(), marked.end(), std::back_inserter(gone));
    m_gone = std::move(gone);
}

std::vector<RowRange> CandidateList::GoneRanges() const
{
    std::vector<RowRange> ranges;
    for (const std::size_t stored : m_gone) {
        if (!ranges.empty() && ranges.back().second + 1 == stored)
            ranges.back().second = stored;
        else
            ranges.emplace_back(stored, stored);
    }
    return ranges;
}

void CandidateList::Compact()
{
    if (m_gone.empty())
        return;
    m_entries.RemoveRanges(GoneRanges());
    m_gone = std::vector<std::size_t>();
}
