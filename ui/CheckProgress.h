// CheckProgress: the progress bar of a check run and its text.
#pragma once

#include <QString>

#include <chrono>
#include <cstddef>
#include <functional>

class QProgressBar;

// A run shows its time left once it has taken this long: earlier the pace says little.
inline constexpr std::chrono::milliseconds kTimeLeftAfter { 2000 };

// Returns the time left as the bar shows it, "残り約…", rounded up to whole seconds.
QString TimeLeftText(std::chrono::milliseconds left);

// Returns the bar's text while a folder is listed: the files found so far.
QString FoundFilesText(std::size_t files);

// Returns the bar's text for position of maximum after elapsed: the percentage, then the
// time left at the pace so far (from kTimeLeftAfter on, once there is progress), then the
// count of compared files when the whole text passes fits.
QString CheckProgressText(int position, int maximum, std::chrono::milliseconds elapsed,
    std::size_t comparedFiles, const std::function<bool(const QString&)>& fits);

// The progress bar of a check run: the position, and its text with the time left at the
// run's pace and the files compared.
class CheckProgressBar {
public:
    explicit CheckProgressBar(QProgressBar* bar);

    // Replaces the clock that times the run (tests move one of their own).
    void SetClock(std::function<std::chrono::steady_clock::time_point()> clock);
    // Starts a run: its clock and its count afresh, the bar at 0 of Check::kProgressMax.
    void Start();
    void SetPosition(int position);
    void SetComparedFiles(std::size_t files);
    // While a folder is listed: the bar empty, its text the count of files found so far.
    void ShowFoundFiles(std::size_t files);

private:
    // Puts the percentage, the time left and the compared files on the bar.
    void refreshText();

    QProgressBar* m_bar;
    std::function<std::chrono::steady_clock::time_point()> m_clock
        = [] { return std::chrono::steady_clock::now(); };
    std::chrono::steady_clock::time_point m_start;
    std::size_t m_compared = 0;
};
