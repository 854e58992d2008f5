// CandidateList: the ordered candidate paths behind FileList, kept as bytes.
#pragma once

#include <QAbstractListModel>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// A row range [first, last], both inclusive.
using RowRange = std::pair<std::size_t, std::size_t>;

// The list model of the candidate paths: appended at the end, removed by index or
// replaced in place, never sorted. Shows each path readably; the bytes stay as given.
class CandidateList final : public QAbstractListModel {
    Q_OBJECT

public:
    explicit CandidateList(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    std::size_t Count() const { return m_entries.size(); }
    bool Empty() const { return m_entries.empty(); }
    // Returns entry index; throws std::out_of_range past the end.
    const std::string& At(std::size_t index) const { return m_entries.at(index); }
    const std::vector<std::string>& Entries() const { return m_entries; }

    void Append(std::string path);
    // Appends all paths in one model insertion, so that large scans stay quick.
    void Append(std::vector<std::string>&& paths);
    // Throws std::out_of_range past the end.
    void Replace(std::size_t index, std::string path);
    // Throws std::out_of_range past the end.
    void RemoveAt(std::size_t index);
    // Removes the rows of ranges, which must be sorted, disjoint and in range. Few
    // ranges go out as row removals (views keep their state); many as one reset.
    void RemoveRanges(const std::vector<RowRange>& ranges);
    void Clear();

private:
    std::vector<std::string> m_entries;
};
