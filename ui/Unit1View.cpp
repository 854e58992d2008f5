// Unit1View: the results page as the user reads it: the tree's columns and sorting, the
// filter, the summary line and the preview of the selected file; and the main window's
// size, which grows the pages.
#include "ui/Unit1.h"

#include "ui_Unit1.h"

#include "ui/Anchors.h"
#include "ui/ResultModel.h"
#include "ui/PreviewPane.h"
#include "ui/ResultView.h"
#include "ui/Settings.h"
#include "ui/SizeText.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QTimer>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;

namespace {

// The preview's width when the window first opens; the tree keeps the rest.
constexpr int kPreviewWidth = 200;

} // namespace

void TForm1::completeResultView()
{
    Ui::TForm1& ui = *m_ui;
    m_resultView = new ResultView(m_resultTree, this);
    QTreeView* tree = ui.FileTree;
    tree->setModel(m_resultView);
    // The caption column takes the room the numbers leave; a long path loses its middle,
    // never its file name, and its tooltip holds it whole.
    QHeaderView* header = tree->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Each sort and each batch of groups sizes the columns again: measured over every
    // row (up to Qt's 1,000) that took 0.1-0.25 s with 20,000 groups; the rows in sight
    // and a few hundred more keep it near 20 ms.
    header->setResizeContentsPrecision(200);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionsMovable(false);
    tree->setTextElideMode(Qt::ElideMiddle);
    // No sort until a header is clicked: the groups stay in check order.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    tree->setSortingEnabled(true);

    connect(ui.ResultFilter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_resultView->SetFilterText(text);
        scheduleSummary();
    });
    for (const auto signal : { &QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved })
        connect(m_resultView, signal, this, &TForm1::scheduleSummary);
    connect(m_resultView, &QAbstractItemModel::modelReset, this, &TForm1::scheduleSummary);
    connect(m_resultView, &QAbstractItemModel::dataChanged, this, &TForm1::scheduleSummary);
    connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, this, &TForm1::showPreview);
    connect(m_resultView, &QAbstractItemModel::modelReset, this, &TForm1::showPreview);
    updateSummary();

    ui.ResultSplitter->setStretchFactor(0, 1);
    ui.ResultSplitter->setStretchFactor(1, 0);
    // Before the first layout the splitter takes these as proportions of its width.
    ui.ResultSplitter->setSizes({ ui.PageControl1->minimumWidth() - kPreviewWidth, kPreviewWidth });

}

QModelIndex TForm1::viewIndex(const QModelIndex& resultIndex) const { return m_resultView->mapFromSource(resultIndex); }

QModelIndex TForm1::resultIndex(const QModelIndex& viewIndex) const
{
    return viewIndex.model() == m_resultView ? m_resultView->mapToSource(viewIndex) : viewIndex;
}

void TForm1::scheduleSummary()
{
    // Many rows come at once during a check: count them once they are in.
    if (std::exchange(m_summaryPending, true))
        return;
    QTimer::singleShot(0, this, &TForm1::updateSummary);
}

void TForm1::updateSummary()
{
    m_summaryPending = false;
    std::size_t groups = 0;
    std::size_t surplus = 0;
    std::uint64_t bytes = 0;
    for (int row = 0; row < m_resultView->rowCount(); ++row) {
        const std::optional<std::size_t> group = m_resultTree->GroupOf(resultIndex(m_resultView->index(row, 0)));
        if (!group)
            continue;
        const std::vector<Check::FoundFile>& files = Results().Group(*group).files;
        if (files.empty())
            continue;
        ++groups;
        surplus += files.size() - 1;
        bytes += files.front().stamp.size * (files.size() - 1);
    }
    QString text = u"%1 グループ・%2 ファイル・%3 削減可能"_s.arg(groups).arg(surplus).arg(SizeText(bytes));
    if (m_resultView->Filtering())
        text += u"（絞り込み中）"_s;
    m_ui->ResultSummary->setText(text);
    m_ui->ResultSummary->setToolTip(ExactSizeText(bytes));
}

void TForm1::showPreview()
{
    PreviewPane* preview = m_ui->ResultPreview;
    const std::optional<Check::FilePlace> place = m_resultTree->FileOf(resultIndex(m_ui->FileTree->currentIndex()));
    if (!place || preview->width() == 0) {
        preview->Clear();
        return;
    }
    const Check::FoundFile& file = Results().File(*place);
    preview->ShowFile(
        { file.path, file.stamp.size, file.stamp.modified.seconds, Results().Group(place->group).files.size() });
}

void TForm1::restoreWindowPlace()
{
    // The search page grows its list; the options keep to the bottom left, the check and
    // cancel buttons to the bottom right. Set up at the designed size, before the
    // remembered one.
    Ui::TForm1& ui = *m_ui;
    auto* anchors = new Anchors(this);
    const Qt::Edges all = Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge;
    anchors->Anchor(ui.FileList, all);
    anchors->Anchor(ui.CountLabel, Qt::RightEdge | Qt::TopEdge);
    anchors->Anchor(ui.GroupBox1, Qt::LeftEdge | Qt::BottomEdge);
    anchors->Anchor(ui.btnChecker, Qt::RightEdge | Qt::BottomEdge);
    anchors->Anchor(ui.Button1, Qt::RightEdge | Qt::BottomEdge);
    anchors->Anchor(ui.PBar, Qt::LeftEdge | Qt::RightEdge | Qt::BottomEdge);

    if (const QByteArray geometry = Settings::WindowGeometry(); !geometry.isEmpty())
        restoreGeometry(geometry);
    if (const QByteArray split = Settings::ResultSplit(); !split.isEmpty())
        m_ui->ResultSplitter->restoreState(split);
}

void TForm1::saveWindowPlace() const
{
    Settings::SetWindowGeometry(saveGeometry());
    Settings::SetResultSplit(m_ui->ResultSplitter->saveState());
}
