// ResultModel: the results as FileTree shows them: a Qt model over Check::Results.
#pragma once

#include "check/Results.h"

#include <QAbstractItemModel>

#include <cstddef>
#include <optional>

// Holds the window's results and shows them: a row per group, captioned "重複ファイルN",
// with a row per file under it showing its path readably. Every change goes through
// Results(), which tells the model, so that the views over it (and a proxy that would
// sort or filter it) keep their selection and open groups as rows come and go. A file
// row stays valid while groups before its own are removed.
class ResultModel final : public QAbstractItemModel, private Check::Results::Observer {
    Q_OBJECT

public:
    // The columns: the caption (a group's name, a file's path), then a file's size and
    // time, and a group's size of one file, its count and the bytes its copies take.
    enum class Column { Caption, Size, Modified, Files, Gain };
    static constexpr int kColumnCount = 5;
    // What the columns sort by: numbers, where the text would sort "9.9 KB" after "10 KB".
    static constexpr int SortRole = Qt::UserRole + 1;

    explicit ResultModel(QObject* parent = nullptr);
    ~ResultModel() override;

    // The results; change them here, and the rows follow.
    Check::Results& Results() { return m_results; }
    const Check::Results& Results() const { return m_results; }

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Returns the group of a group row or of a file row; nothing for no row.
    std::optional<std::size_t> GroupOf(const QModelIndex& index) const;
    // Returns the file of a file row; nothing for a group row or no row.
    std::optional<Check::FilePlace> FileOf(const QModelIndex& index) const;
    QModelIndex GroupIndex(std::size_t group, int column = 0) const;
    QModelIndex FileIndex(const Check::FilePlace& place) const;

private:
    static QVariant sizeData(std::uint64_t bytes, int role);

    enum class Pending { None, Insert, Remove, Reset };
    // Notes what Done is to end and, for a group's files, that group; returns the
    // parent of the rows that come or go.
    QModelIndex pend(Pending what, std::optional<std::size_t> group = std::nullopt);

    void GroupsAppending(std::size_t first, std::size_t last) override;
    void FilesAppending(std::size_t group, std::size_t first, std::size_t last) override;
    void GroupsRemoving(std::size_t first, std::size_t last) override;
    void FilesRemoving(std::size_t group, std::size_t first, std::size_t last) override;
    void Resetting() override;
    void Done() override;
    void FileChanged(std::size_t group, std::size_t file) override;
    void GroupChanged(std::size_t group) override;

    Check::Results m_results;
    Pending m_pending = Pending::None;
    // The group whose files come or go, whose count and gain change with them.
    std::optional<std::size_t> m_pendingGroup;
};
