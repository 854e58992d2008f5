// CandidateList: the ordered candidate paths behind FileList, kept as bytes.
#pragma once

#include "scan/CandidatePaths.h"

#include <QAbstractListModel>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

using FileScan::RowRange;

// The list model of the candidate paths: appended at the end, removed by index or
// replaced in place, never sorted. Shows each path readably; the bytes stay as given.
// Every file is listed under one name (FileScan::CandidatePaths).
//
// Rows are the rows shown. A removal takes its rows off at once but leaves their
// storage in place, marked, until the list next changes otherwise (or, unless held, the
// marked rows outnumber the rows shown): a check that removes thousands of entries at a
// time from a million does not move the whole list each time.
class CandidateList final : public QAbstractListModel {
    Q_OBJECT

public:
    explicit CandidateList(QObject* parent = nullptr, FileScan::IdentifyFn identify = FileScan::IdentifyFile);

    // Without the base's two virtual calls per index: a view's layout asks for every row.
    QModelIndex index(int row, int column = 0, const QModelIndex& parent = QModelIndex()) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    std::size_t Count() const { return m_entries.Count() - m_gone.size(); }
    bool Empty() const { return Count() == 0; }
    // Returns entry index; throws std::out_of_range past the end.
    std::string At(std::size_t index) const;
    // A copy of every entry.
    std::vector<std::string> Entries() const;

    // Appends path unless its file is listed under another name; returns the number appended.
    std::size_t Append(std::string path);
    // Appends the paths as FileScan::CandidatePaths::Append does, in one model insertion,
    // so that large scans stay quick; with listed, the folder scan's look-ups of them.
    // Returns the number appended.
    std::size_t Append(
        std::vector<std::string>&& paths, const std::vector<FileScan::ListedFile>* listed = nullptr);
    // The list with paths (as the folder scan stores them) appended as Append appends
    // them, ids[k] the identity of path k's file as the caller looked it up, built apart
    // from this list, which it only reads: a folder's listing builds it on its own
    // thread while the list does not change, and the window takes it with Adopt.
    // With passedOver, appends to it each k whose path was passed over, ascending.
    FileScan::CandidatePaths Extended(const FileScan::PathStore& paths, std::vector<FileScan::FileId>&& ids,
        std::vector<std::size_t>* passedOver = nullptr) const;
    // Puts extended, a list that Extended built from this one as it still is, in its
    // place, as one insertion of the rows it added, lookUps[k] the folder scan's look-up
    // of added row k's file (or none). Returns the number of rows added.
    std::size_t Adopt(FileScan::CandidatePaths&& extended, FileScan::LookUps&& lookUps = {});

    // The look-ups the last Adopt brought, of rows first on, while the list has not
    // changed since in any other way.
    struct AddedLookUps {
        std::size_t first = 0;
        FileScan::LookUps files;
    };
    AddedLookUps TakeLookUps() { return std::exchange(m_lookUps, {}); }
    void DropLookUps() { m_lookUps = {}; }
    // While held, the identity of row index as the hold began. Reads only the storage,
    // as DistinctPaths does.
    FileScan::FileId HeldId(std::size_t index) const { return m_entries.IdAt(index); }
    // Throws std::out_of_range past the end.
    void Replace(std::size_t index, std::string path);
    // Throws std::out_of_range past the end.
    void RemoveAt(std::size_t index);
    // Removes the rows of ranges, which must be sorted, disjoint and in range. Few
    // ranges go out as row removals (views keep their state); many as one reset.
    void RemoveRanges(const std::vector<RowRange>& ranges);
    void Clear();

    // While held, the list's storage stays where it is: removals only mark their rows,
    // and nothing else may change the list (a check runs meanwhile and reads the paths
    // in place). Holding compacts first, so that stored row k shows as row k.
    void Hold(bool held);
    // While held, the paths as stored, row k entry k's when the hold began, if no two
    // are the same string; else nullptr. Reads only the storage: safe on another thread
    // while the list is held.
    const FileScan::PathStore* DistinctPaths() const;

private:
    // The row of m_entries that shows as row.
    std::size_t Stored(std::size_t row) const;
    // Marks the stored rows of ranges (rows as shown: sorted, disjoint, in range) gone.
    void MarkGone(const std::vector<RowRange>& ranges);
    // The stored rows marked gone, as ranges.
    std::vector<RowRange> GoneRanges() const;
    // Takes the rows marked gone out of m_entries; the rows shown stay as they are.
    void Compact();

    FileScan::CandidatePaths m_entries;
    // The rows of m_entries no longer in the list, ascending. They count in m_entries'
    // table of listed files until Compact, so every change but a removal compacts first.
    std::vector<std::size_t> m_gone;
    bool m_held = false;
    AddedLookUps m_lookUps;
};
