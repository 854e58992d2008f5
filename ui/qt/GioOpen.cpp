// GioOpen: opening a file with its default program through GIO.
#include "ui/qt/GioOpen.h"

#include <gio/gio.h>

#include <memory>

namespace GioOpen {

namespace {

    struct ErrorFree {
        void operator()(GError* error) const { g_error_free(error); }
    };
    struct StringFree {
        void operator()(gchar* text) const { g_free(text); }
    };

} // namespace

Outcome OpenWithDefaultProgram(const std::string& path)
{
    GError* raw = nullptr;
    // The URI escapes every byte, so a name that is not UTF-8 reaches the program intact.
    const std::unique_ptr<gchar, StringFree> uri(g_filename_to_uri(path.c_str(), nullptr, &raw));
    std::unique_ptr<GError, ErrorFree> error(raw);
    if (!uri)
        return Outcome::NotFound;
    // The file's type decides the program; inside a sandbox the desktop portal does.
    if (g_app_info_launch_default_for_uri(uri.get(), nullptr, &raw))
        return Outcome::Opened;
    error.reset(raw);
    if (!error || error->domain != G_IO_ERROR)
        return Outcome::NotStarted;
    switch (error->code) {
    case G_IO_ERROR_NOT_FOUND:
    case G_IO_ERROR_PERMISSION_DENIED:
    case G_IO_ERROR_NOT_DIRECTORY:
    case G_IO_ERROR_FILENAME_TOO_LONG:
    case G_IO_ERROR_INVALID_FILENAME:
        return Outcome::NotFound;
    case G_IO_ERROR_NOT_SUPPORTED:
        return Outcome::NoProgram;
    default:
        return Outcome::NotStarted;
    }
}

} // namespace GioOpen
