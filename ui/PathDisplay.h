// PathDisplay: path bytes as the windows show them, and the bytes of what the user typed.
#pragma once

#include <QString>

#include <string>

// Returns readable text for path bytes, a different text for every path; bytes that are
// not valid UTF-8, control characters and a backslash that would read as an escape
// appear as "\xNN" escapes (FileScan::DisplayPath, which the saved results use too).
QString PathToDisplay(const std::string& path);
// Returns the bytes of a path the user typed or a Qt dialog returned.
std::string PathFromUser(const QString& text);
// Reverses PathToDisplay for a name the user edited (FileScan::PathFromDisplayText):
// each "\xNN" that PathToDisplay writes for a byte it escapes becomes that byte again;
// the rest is taken as typed.
std::string PathFromDisplay(const QString& text);
