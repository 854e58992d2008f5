// ToolTips: what the pointer shows over a file or a group, where the fixed-size window
// cuts long paths off.
#pragma once

#include "check/Results.h"

#include <QString>

#include <string>
#include <vector>

// Returns the tooltip of a file: its whole path (broken after a "/" where it runs long),
// its size and its modification time, or why they cannot be read.
QString FileToolTip(const std::string& path);
// Returns the tooltip of a group of identical files: their number, the size of one, and
// the bytes that all but one of them take.
QString GroupToolTip(const std::vector<Check::FoundFile>& files);
