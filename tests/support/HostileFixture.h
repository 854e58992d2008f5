// HostileFixture: the temporary folder of the hostile-input tests, which can hold paths
// past PATH_MAX, with a manifest of every entry to prove that nothing was lost or altered,
// and the helpers that build deep folders, special files and changing sets.
#pragma once

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace Hostile {

// A temporary folder that can hold paths longer than PATH_MAX: everything below it is
// listed and removed relative to directory descriptors.
class Fixture : public TempDir {
public:
    explicit Fixture(const std::string& base = "")
        : TempDir(base)
    {
        m_fd = open(Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0)
            std::abort();
    }
    // Empties the folder before TempDir removes it: remove_all cannot reach past PATH_MAX.
    ~Fixture()
    {
        RemoveTree(m_fd);
        close(m_fd);
    }
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;

    int Fd() const { return m_fd; }

    // Returns one line per entry below the folder: its kind, size, mode and a hash of
    // its bytes (holes skipped, so a 5 GiB sparse file costs nothing), or a link's target.
    std::map<std::string, std::string> Manifest() const
    {
        std::map<std::string, std::string> out;
        Walk(m_fd, "", out);
        return out;
    }

private:
    static std::uint64_t HashData(int fd, std::uint64_t size)
    {
        std::uint64_t h = 1469598103934665603ULL;
        auto mix = [&h](const void* p, std::size_t n) {
            for (std::size_t k = 0; k < n; ++k) {
                h ^= static_cast<const unsigned char*>(p)[k];
                h *= 1099511628211ULL;
            }
        };
        std::vector<char> buffer(1 << 16);
        off_t offset = 0;
        while (static_cast<std::uint64_t>(offset) < size) {
            off_t data = lseek(fd, offset, SEEK_DATA);
            if (data < 0)
                break;
            off_t hole = lseek(fd, data, SEEK_HOLE);
            if (hole < 0)
                hole = static_cast<off_t>(size);
            mix(&data, sizeof data);
            for (off_t at = data; at < hole;) {
                const ssize_t got = pread(fd, buffer.data(), std::min<off_t>(hole - at, 1 << 16), at);
                if (got <= 0)
                    return 0;
                mix(buffer.data(), static_cast<std::size_t>(got));
                at += got;
            }
            offset = hole;
        }
        return h;
    }

    // The entries of the folder dirFd (without "." and ".."), each with whether its
    // directory entry says folder.
    static std::vector<std::pair<std::string, bool>> EntryNames(int dirFd)
    {
        std::vector<std::pair<std::string, bool>> names;
        const int fd = dup(dirFd);
        DIR* d = fdopendir(fd);
        if (!d) {
            close(fd);
            return names;
        }
        // The duplicate shares its read position with dirFd, which an earlier listing
        // may have left at the end.
        rewinddir(d);
        while (const dirent* e = readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.emplace_back(e->d_name, e->d_type == DT_DIR);
        }
        closedir(d);
        return names;
    }

    static void Walk(int dirFd, const std::string& prefix, std::map<std::string, std::string>& out)
    {
        for (const auto& entry : EntryNames(dirFd)) {
            const std::string& name = entry.first;
            struct stat st { };
            if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            std::ostringstream line;
            line << std::oct << (st.st_mode & 07777) << std::dec << " ";
            const std::string rel = prefix + name;
            if (S_ISDIR(st.st_mode)) {
                line << "dir";
                out[rel] = line.str();
                const int sub = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub >= 0) {
                    Walk(sub, rel + "/", out);
                    close(sub);
                }
            } else if (S_ISLNK(st.st_mode)) {
                char target[4096];
                const ssize_t n = readlinkat(dirFd, name.c_str(), target, sizeof target);
                line << "link " << std::string(target, n > 0 ? static_cast<std::size_t>(n) : 0);
                out[rel] = line.str();
            } else if (S_ISREG(st.st_mode)) {
                // Opened without the permission check's help: the fixture may hold
                // unreadable files, and the test process keeps root's capabilities.
                const int f
                    = st.st_size == 0 ? -1 : openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
                line << "file " << st.st_size << " "
                     << (f >= 0 ? HashData(f, static_cast<std::uint64_t>(st.st_size)) : 0);
                if (f >= 0)
                    close(f);
                out[rel] = line.str();
            } else {
                line << (S_ISFIFO(st.st_mode) ? "fifo" : S_ISSOCK(st.st_mode) ? "socket" : "other");
                out[rel] = line.str();
            }
        }
    }

    static void RemoveTree(int dirFd)
    {
        fchmod(dirFd, 0700);
        for (const auto& [name, isDir] : EntryNames(dirFd)) {
            if (isDir) {
                const int sub = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub >= 0) {
                    RemoveTree(sub);
                    close(sub);
                }
                unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
            } else {
                unlinkat(dirFd, name.c_str(), 0);
            }
        }
    }

    int m_fd = -1;
};

// Returns paths sorted, one a line: a listing to compare whatever order it came in.
inline std::string Sorted(std::vector<std::string> paths)
{
    std::sort(paths.begin(), paths.end());
    std::string out;
    for (const std::string& path : paths)
        out += path + "\n";
    return out;
}

// Describes the first differences between two manifests ("" when equal).
inline std::string ManifestDiff(
    const std::map<std::string, std::string>& before, const std::map<std::string, std::string>& after)
{
    std::ostringstream out;
    int shown = 0;
    for (const auto& [path, line] : before) {
        const auto it = after.find(path);
        if (it == after.end())
            out << "lost: " << path << "\n";
        else if (it->second != line)
            out << "altered: " << path << " (" << line << " -> " << it->second << ")\n";
        else
            continue;
        if (++shown == 5)
            return out.str();
    }
    for (const auto& [path, line] : after) {
        if (!before.count(path) && ++shown <= 5)
            out << "appeared: " << path << "\n";
    }
    return out.str();
}

// Writes 24 files f0.jpg ... f23.jpg of three sizes and four contents, for runs that
// change the first six of them meanwhile; returns their paths in order.
inline std::vector<std::string> WriteChangingSet(const Fixture& fx)
{
    std::vector<std::string> entries;
    entries.reserve(24);
    for (int k = 0; k < 24; ++k)
        entries.push_back(
            fx.Write("f" + std::to_string(k) + ".jpg", std::string(4096 * (k % 3 + 1), char('a' + k % 4))));
    return entries;
}

// Returns the manifest of fx without the six files of WriteChangingSet that may change.
inline std::map<std::string, std::string> UntouchedPartOfChangingSet(const Fixture& fx)
{
    auto manifest = fx.Manifest();
    for (int k = 0; k < 6; ++k)
        manifest.erase("f" + std::to_string(k) + ".jpg");
    return manifest;
}

// Creates folders below fx so that folder + "/" + leaf is exactly length bytes long, and
// returns that folder's full path. Works past PATH_MAX through directory descriptors.
inline std::string DeepFolder(
    const Fixture& fx, const std::string& stem, std::size_t length, std::size_t leaf)
{
    std::string path = fx.Path();
    int fd = dup(fx.Fd());
    std::size_t remaining = length - path.size() - 1 - leaf;
    char fill = 'a';
    bool first = true;
    while (remaining > 0) {
        std::size_t seg = std::min<std::size_t>(200, remaining - 1);
        if (remaining - (seg + 1) == 1)
            --seg;
        std::string name = first ? stem + std::string(seg - stem.size(), fill) : std::string(seg, fill);
        first = false;
        fill = fill == 'z' ? 'a' : static_cast<char>(fill + 1);
        mkdirat(fd, name.c_str(), 0755);
        const int sub = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        if (sub < 0)
            std::abort();
        fd = sub;
        path += "/" + name;
        remaining -= seg + 1;
    }
    close(fd);
    return path;
}

// Writes content into folder/leaf relative to descriptors (folder may pass PATH_MAX).
inline void WriteDeep(
    const Fixture& fx, const std::string& folder, const std::string& leaf, const std::string& content)
{
    int fd = dup(fx.Fd());
    std::string rest = folder.substr(fx.Path().size() + 1);
    for (std::size_t at = 0; at <= rest.size();) {
        const std::size_t slash = std::min(rest.find('/', at), rest.size());
        const int sub = openat(fd, rest.substr(at, slash - at).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        if (sub < 0)
            std::abort();
        fd = sub;
        at = slash + 1;
    }
    const int f = openat(fd, leaf.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    close(fd);
    if (f < 0 || write(f, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
        std::abort();
    close(f);
}

// Binds a listening UNIX socket at path and returns its descriptor, or -1 when it cannot.
inline int BoundSocket(const std::string& path)
{
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return -1;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s >= 0
        && (bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || listen(s, 1) != 0)) {
        close(s);
        return -1;
    }
    return s;
}

} // namespace Hostile
