// PosixError: errno onto Platform::Status, the one place the POSIX back end names
// error numbers for the core.
#pragma once

#include "scan/PlatformError.h"

#include <sys/types.h>

namespace Platform::Posix {

// Maps errnum onto the condition the core knows it by, keeping the number itself.
Status StatusOf(int errnum);
// StatusOf(errno) as the failed call left it.
Status LastError();
// What a file of mode means to a caller that wants a regular file: Ok for one,
// IsFolder for a folder, NotRegularFile for any other kind.
Status KindStatus(mode_t mode);

} // namespace Platform::Posix
