// GioOpen: opening a file with the program the desktop associates with its type, through
// GIO, which tells why it could not. Kept free of Qt: GIO's headers clash with Qt's
// keyword macros.
#pragma once

#include <string>

namespace GioOpen {

enum class Outcome { Opened, NotFound, NoProgram, NotStarted };

// Starts the default program for the file at path (bytes, any encoding) and returns once
// it has been started, or why it was not.
Outcome OpenWithDefaultProgram(const std::string& path);

} // namespace GioOpen
