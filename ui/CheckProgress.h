// CheckProgress: the text on the progress bar of a check run.
#pragma once

#include <QString>

#include <chrono>
#include <cstddef>
#include <functional>

// A run shows its time left once it has taken this long: earlier the pace says little.
inline constexpr std::chrono::milliseconds kTimeLeftAfter { 2000 };

// Returns the time left as the bar shows it, "残り約…", rounded up to whole seconds.
QString TimeLeftText(std::chrono::milliseconds left);

// Returns the bar's text for position of maximum after elapsed: the percentage, then the
// time left at the pace so far (from kTimeLeftAfter on, once there is progress), then the
// count of compared files when the whole text passes fits.
QString CheckProgressText(int position, int maximum, std::chrono::milliseconds elapsed,
    std::size_t comparedFiles, const std::function<bool(const QString&)>& fits);
