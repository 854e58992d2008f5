// OverlayPosix: the overlay mounts of Linux's mount table (/proc/self/mountinfo).
#include "scan/Platform.h"

#include "scan/posix/PosixFile.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace Platform {
namespace {

    // Splits text at every sep that no backslash escapes; the pieces keep their escapes.
    std::vector<std::string> SplitUnescaped(const std::string& text, char sep)
    {
        std::vector<std::string> pieces(1);
        for (std::size_t k = 0; k < text.size(); ++k) {
            if (text[k] == '\\' && k + 1 < text.size()) {
                pieces.back() += text[k];
                pieces.back() += text[++k];
            } else if (text[k] == sep) {
                pieces.emplace_back();
            } else {
                pieces.back() += text[k];
            }
        }
        return pieces;
    }

    // Undoes the table's escapes: "\040" (three octal digits) for a byte, "\:" for ":".
    std::string Unescape(const std::string& text)
    {
        std::string out;
        for (std::size_t k = 0; k < text.size(); ++k) {
            const auto octal = [&](std::size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '7'; };
            if (text[k] == '\\' && octal(k + 1) && octal(k + 2) && octal(k + 3)) {
                out += static_cast<char>((text[k + 1] - '0') * 64 + (text[k + 2] - '0') * 8 + (text[k + 3] - '0'));
                k += 3;
            } else if (text[k] == '\\' && k + 1 < text.size()) {
                out += text[++k];
            } else {
                out += text[k];
            }
        }
        return out;
    }

    // The layers an overlay's super options name: upperdir first, then each lowerdir
    // (given as one list, or one by one as "lowerdir+" and "datadir+").
    std::vector<std::string> Layers(const std::string& options)
    {
        std::vector<std::string> upper;
        std::vector<std::string> lower;
        for (const std::string& option : SplitUnescaped(options, ',')) {
            const std::size_t equals = option.find('=');
            if (equals == std::string::npos)
                continue;
            const std::string key = option.substr(0, equals);
            const std::string value = option.substr(equals + 1);
            if (key == "upperdir") {
                upper.push_back(Unescape(value));
            } else if (key == "lowerdir") {
                for (const std::string& layer : SplitUnescaped(value, ':')) {
                    if (!layer.empty())
                        lower.push_back(Unescape(layer));
                }
            } else if (key == "lowerdir+" || key == "datadir+") {
                lower.push_back(Unescape(value));
            }
        }
        upper.insert(upper.end(), lower.begin(), lower.end());
        return upper;
    }

} // namespace

OverlayMounts::OverlayMounts()
{
    std::ifstream table("/proc/self/mountinfo");
    std::string line;
    while (std::getline(table, line)) {
        // "ID PARENT MAJOR:MINOR ROOT POINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER"
        std::istringstream fields(line);
        std::string id, parent, device, root, point, options, word;
        if (!(fields >> id >> parent >> device >> root >> point >> options))
            continue;
        while (fields >> word && word != "-") {
        }
        std::string type, source, super;
        fields >> type >> source >> super;
        Mount mount { Unescape(point), Unescape(root), {} };
        if (type == "overlay")
            mount.layers = Layers(super);
        m_anyOverlay = m_anyOverlay || !mount.layers.empty();
        m_mounts.push_back(std::move(mount));
    }
}

bool OverlayMounts::SameFile(
    const std::string& a, const FileInfo& infoA, const std::string& b, const FileInfo& infoB) const
{
    return m_anyOverlay && (Through(a, infoB) || Through(b, infoA));
}

bool OverlayMounts::Through(const std::string& path, const FileInfo& other) const
{
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved))
        return false;
    const std::string real = resolved;
    // The mount the file lies on: the last one listed at the longest point above it,
    // since a later mount hides an earlier one at the same point.
    const Mount* on = nullptr;
    for (const Mount& mount : m_mounts) {
        if (Posix::Within(real, mount.point) && (!on || mount.point.size() >= on->point.size()))
            on = &mount;
    }
    if (!on || on->layers.empty())
        return false;
    std::string rest = on->point == "/" ? real : real.substr(on->point.size());
    if (on->root != "/")
        rest = on->root + rest;
    for (const std::string& layer : on->layers) {
        struct stat st {};
        if (stat((layer + rest).c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_dev) == other.device
            && static_cast<std::uint64_t>(st.st_ino) == other.inode)
            return true;
    }
    return false;
}

} // namespace Platform
