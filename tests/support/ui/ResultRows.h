// ResultRows: the main window's result tree as the window tests meet it: its rows by
// place, as a user sees them, over the view and the model the window shows.
#pragma once

#include "check/Results.h"
#include "ui/ResultModel.h"

#include <QHeaderView>
#include <QPersistentModelIndex>
#include <QSortFilterProxyModel>
#include <QRect>
#include <QString>
#include <QTreeView>
#include <QWidget>

#include <cstddef>
#include <optional>
#include <string>

// One row of the tree, a group or a file. It follows its row while rows before it come
// and go, and stands for no row once its own is gone. Written node->child(0), as the
// tests read best.
class ResultRow {
public:
    ResultRow() = default;
    // No row.
    ResultRow(std::nullptr_t) { }
    ResultRow(QTreeView* view, const QModelIndex& index)
        : m_view(view)
        , m_index(index)
    {
    }

    const ResultRow* operator->() const { return this; }
    explicit operator bool() const { return m_index.isValid(); }
    bool operator==(const ResultRow& other) const { return m_index == other.m_index; }

    QModelIndex Index() const { return m_index; }
    ResultRow child(int row) const { return { m_view, m_view->model()->index(row, 0, m_index) }; }
    int childCount() const { return m_index.isValid() ? m_view->model()->rowCount(m_index) : 0; }
    QString text(int column) const { return m_index.sibling(m_index.row(), column).data().toString(); }
    bool isExpanded() const { return m_view->isExpanded(m_index); }
    void setExpanded(bool expanded) const { m_view->setExpanded(m_index, expanded); }
    bool isSelected() const { return m_view->selectionModel()->isSelected(m_index); }
    void setSelected(bool selected) const
    {
        m_view->selectionModel()->select(
            m_index, selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
    }
    // The path of a file row as the results hold it (empty for a group or no row).
    std::string Path() const
    {
        const auto* proxy = qobject_cast<const QSortFilterProxyModel*>(m_view->model());
        const auto* model = qobject_cast<const ResultModel*>(proxy ? proxy->sourceModel() : m_view->model());
        const QModelIndex index = proxy ? proxy->mapToSource(m_index) : QModelIndex(m_index);
        const std::optional<Check::FilePlace> place = model ? model->FileOf(index) : std::nullopt;
        return place ? model->Results().File(*place).path : std::string();
    }

private:

    QTreeView* m_view = nullptr;
    QPersistentModelIndex m_index;
};

inline std::string NodePath(const ResultRow& row) { return row.Path(); }

// The tree FileTree, by rows.
class ResultRows {
public:
    explicit ResultRows(QTreeView* view)
        : m_view(view)
    {
    }

    const ResultRows* operator->() const { return this; }

    QTreeView* View() const { return m_view; }
    // The results the tree shows (sorted and filtered by the view's own model).
    ResultModel* Model() const
    {
        auto* proxy = qobject_cast<QSortFilterProxyModel*>(m_view->model());
        return qobject_cast<ResultModel*>(proxy ? proxy->sourceModel() : m_view->model());
    }
    int topLevelItemCount() const { return m_view->model()->rowCount(); }
    ResultRow topLevelItem(int row) const { return { m_view, m_view->model()->index(row, 0) }; }
    ResultRow currentItem() const { return { m_view, m_view->currentIndex() }; }
    void setCurrentItem(const ResultRow& row) const { m_view->setCurrentIndex(row.Index()); }
    ResultRow itemAt(const QPoint& point) const { return { m_view, m_view->indexAt(point) }; }
    QList<ResultRow> selectedItems() const
    {
        QList<ResultRow> rows;
        for (const QModelIndex& index : m_view->selectionModel()->selectedIndexes())
            if (index.column() == 0)
                rows << ResultRow(m_view, index);
        return rows;
    }
    void clearSelection() const { m_view->clearSelection(); }
    // Empties the results, as a new window has them.
    void clear() const { Model()->Results().Clear(); }
    QRect visualItemRect(const ResultRow& row) const { return m_view->visualRect(row.Index()); }
    void scrollToItem(const ResultRow& row) const { m_view->scrollTo(row.Index()); }
    QWidget* viewport() const { return m_view->viewport(); }
    QHeaderView* header() const { return m_view->header(); }
    QFontMetrics fontMetrics() const { return m_view->fontMetrics(); }
    void setFocus(Qt::FocusReason reason) const { m_view->setFocus(reason); }

private:
    QTreeView* m_view;
};
