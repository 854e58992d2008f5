// CheckProgress: percentage, time left and compared files on the progress bar.
#include "ui/CheckProgress.h"

#include "check/CheckRun.h"

#include <QFontMetrics>
#include <QLocale>
#include <QProgressBar>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

QString TimeLeftText(std::chrono::milliseconds left)
{
    const long long seconds = std::max<long long>(0, (left.count() + 999) / 1000);
    if (seconds < 60)
        return u"残り約%1秒"_s.arg(seconds);
    if (seconds < 3600) {
        const long long rest = seconds % 60;
        return rest == 0 ? u"残り約%1分"_s.arg(seconds / 60)
                         : u"残り約%1分%2秒"_s.arg(seconds / 60).arg(rest);
    }
    const long long minutes = (seconds + 59) / 60;
    return u"残り約%1時間%2分"_s.arg(minutes / 60).arg(minutes % 60);
}

QString CheckProgressText(int position, int maximum, std::chrono::milliseconds elapsed,
    std::size_t comparedFiles, const std::function<bool(const QString&)>& fits)
{
    const int done = maximum > 0 ? std::clamp(position, 0, maximum) : 0;
    const int percent = maximum > 0 ? static_cast<int>(static_cast<long long>(done) * 100 / maximum) : 0;
    // Full-width spaces part the pieces, as the Japanese texts around them expect.
    QString text = QString::number(percent) + u'%';
    if (elapsed >= kTimeLeftAfter && done > 0 && done < maximum) {
        const auto left = std::chrono::milliseconds(elapsed.count() * (maximum - done) / done);
        text += u"　"_s + TimeLeftText(left);
    }
    if (comparedFiles > 0) {
        QString withCount = text + u"　比較済み "_s
            + QLocale(QLocale::Japanese, QLocale::Japan).toString(static_cast<qulonglong>(comparedFiles))
            + u" ファイル"_s;
        if (fits(withCount))
            return withCount;
    }
    return text;
}

QString FoundFilesText(std::size_t files)
{
    return u"検索中　"_s + QLocale(QLocale::Japanese, QLocale::Japan).toString(static_cast<qulonglong>(files))
        + u" ファイル"_s;
}

namespace {

// Changes the progress bar and paints it once, with the next events: on its own the bar
// repaints at once on every new percentage, and then again for its new text.
template <typename Change> void ChangeProgressBar(QProgressBar* bar, Change change)
{
    bar->setUpdatesEnabled(false);
    change();
    bar->setUpdatesEnabled(true);
}

} // namespace

CheckProgressBar::CheckProgressBar(QProgressBar* bar)
    : m_bar(bar)
{
}

void CheckProgressBar::SetClock(std::function<std::chrono::steady_clock::time_point()> clock)
{
    m_clock = std::move(clock);
}

void CheckProgressBar::Start()
{
    m_start = m_clock();
    m_compared = 0;
    ChangeProgressBar(m_bar, [&] {
        m_bar->setMaximum(Check::kProgressMax);
        m_bar->setValue(0);
        refreshText();
    });
}

void CheckProgressBar::SetPosition(int position)
{
    ChangeProgressBar(m_bar, [&] {
        // Past the maximum the bar shows full rather than ignoring the value.
        m_bar->setValue(std::clamp(position, m_bar->minimum(), m_bar->maximum()));
        refreshText();
    });
}

void CheckProgressBar::SetComparedFiles(std::size_t files)
{
    m_compared = files;
    refreshText();
}

void CheckProgressBar::ShowFoundFiles(std::size_t files)
{
    ChangeProgressBar(m_bar, [&] {
        m_bar->setValue(m_bar->minimum());
        m_bar->setFormat(FoundFilesText(files));
    });
}

void CheckProgressBar::refreshText()
{
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(m_clock() - m_start);
    const QFontMetrics metrics(m_bar->font());
    // The style keeps a few pixels at either end of the bar.
    const int room = m_bar->width() - 8;
    m_bar->setFormat(CheckProgressText(m_bar->value() - m_bar->minimum(), m_bar->maximum() - m_bar->minimum(),
        elapsed, m_compared, [&](const QString& text) { return metrics.horizontalAdvance(text) <= room; }));
}
