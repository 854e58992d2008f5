// ResultView: the results sorted and narrowed for the tree.
#include "ui/ResultView.h"

#include "ui/ResultModel.h"

ResultView::ResultView(ResultModel* results, QObject* parent)
    : QSortFilterProxyModel(parent)
    , m_results(results)
{
    setSourceModel(results);
    setSortRole(ResultModel::SortRole);
    // Rows that come in while sorted go to their place; no sort column means check order.
    setDynamicSortFilter(true);
}

void ResultView::SetFilterText(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    m_filter = Check::PathFilter(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    invalidateRowsFilter();
}

bool ResultView::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    if (left.parent().isValid()) {
        // Files keep their order whichever way the groups go.
        const bool before = left.row() < right.row();
        return sortOrder() == Qt::AscendingOrder ? before : !before;
    }
    const QVariant a = left.data(ResultModel::SortRole);
    const QVariant b = right.data(ResultModel::SortRole);
    if (a != b)
        return QVariant::compare(a, b) == QPartialOrdering::Less;
    // Equal keys: check order, whichever way the sort goes.
    const bool before = left.row() < right.row();
    return sortOrder() == Qt::AscendingOrder ? before : !before;
}

bool ResultView::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (m_filter.Empty() || sourceParent.isValid())
        return true;
    const std::optional<std::size_t> group = m_results->GroupOf(m_results->index(sourceRow, 0));
    if (!group)
        return false;
    for (const Check::FoundFile& file : m_results->Results().Group(*group).files)
        if (m_filter.Matches(file.path))
            return true;
    return false;
}
