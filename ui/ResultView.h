// ResultView: the results as the tree shows them: sorted by a column the user clicked,
// narrowed to the groups with a file whose path holds the filter's text.
#pragma once

#include "check/PathFilter.h"

#include <QSortFilterProxyModel>

class ResultModel;

// Sorts the groups only: the files of a group keep their order (the first stays first,
// as the delete dialog expects), and without a sort column the groups stay in check
// order. A group is shown whole when any of its files matches the filter.
class ResultView final : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit ResultView(ResultModel* results, QObject* parent = nullptr);

    // Narrows the groups to those with a file whose path holds text; "" shows them all.
    void SetFilterText(const QString& text);
    bool Filtering() const { return !m_filter.Empty(); }

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    ResultModel* m_results;
    Check::PathFilter m_filter { "" };
};
