// PathRoutines: extension, file name and folder of a path, joining, ASCII upper-casing.
#include "scan/PathRoutines.h"

#include "scan/Platform.h"

namespace FileScan {

std::string ExtractFileExt(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    const std::size_t sep = path.rfind(Platform::kSeparator);
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep))
        return {};
    return path.substr(dot);
}

std::string ExtractFileName(const std::string& path)
{
    const std::size_t sep = path.rfind(Platform::kSeparator);
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string ExtractFileDir(const std::string& path)
{
    const std::size_t sep = path.rfind(Platform::kSeparator);
    return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    // Sized once: a scan holds a million of these at a time, and a string grown by
    // appending takes half again its length.
    const bool separated = !folder.empty() && folder.back() == Platform::kSeparator;
    std::string path;
    path.reserve(folder.size() + (separated ? 0 : 1) + name.size());
    path += folder;
    if (!separated)
        path += Platform::kSeparator;
    path += name;
    return path;
}

std::string UpperAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

} // namespace FileScan
