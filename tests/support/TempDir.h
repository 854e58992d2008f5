// TempDir: a real temporary folder for the core, window and fuzz tests, removed with
// everything in it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/stat.h>

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
