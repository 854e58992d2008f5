// TempDir: a real temporary folder for the core, window and fuzz tests, removed with
// everything in it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

class TempDir {
public:
    // Creates the folder under base (the system's temporary folder when empty).
    explicit TempDir(const std::string& base = "")
    {
        const std::filesystem::path under = base.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(base);
        std::string pattern = (under / "tessarin-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_path = pattern;
    }
    // Gives the owner back every right first: tests lock files and folders away.
    ~TempDir()
    {
        std::error_code ec;
        namespace fs = std::filesystem;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        for (const auto& entry : fs::recursive_directory_iterator(m_path, ec)) {
            if (!entry.is_symlink(ec))
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Removes everything in the folder, keeping the folder.
    void Clear() const
    {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(m_path, ec))
            std::filesystem::remove_all(entry.path(), ec);
    }

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

    // Writes content to name (creating parent folders) and returns the full path.
    std::string Write(const std::string& name, const std::string& content) const
    {
        std::string path = *this / name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::string MakeDir(const std::string& name) const
    {
        std::string path = *this / name;
        std::filesystem::create_directories(path);
        return path;
    }

private:
    std::string m_path;
};

// True when anything, even a dangling link, exists at path.
inline bool Exists(const std::string& path)
{
    struct stat st { };
    return lstat(path.c_str(), &st) == 0;
}

// Sets the modification time of path to seconds since 1970, or aborts.
inline void SetFileMtime(const std::string& path, std::int64_t seconds)
{
    const struct timespec times[2] = { { 0, UTIME_OMIT }, { seconds, 0 } };
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        std::abort();
}

// Returns size bytes drawn from a generator seeded with seed.
inline std::string RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(rng());
    return bytes;
}

// Returns the bytes of the file at path ("" when it cannot be read).
inline std::string Content(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// True when a and b both exist and lie on different file systems.
inline bool OnDifferentFileSystems(const std::string& a, const std::string& b)
{
    struct stat sa { }, sb { };
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev != sb.st_dev;
}

// Writes a file of size bytes below dir that is all hole but for its last byte.
inline std::string MakeSparse(const TempDir& dir, const std::string& name, std::uint64_t size, char last)
{
    std::string path = dir / name;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0
        || pwrite(fd, &last, 1, static_cast<off_t>(size - 1)) != 1)
        std::abort();
    close(fd);
    return path;
}
