// fuzz_check: the check run on small file sets built from the input in a temporary
// folder (a few short files, duplicates among them, second names by hard and symbolic
// links, a folder, a FIFO and a missing path, listed in any order and repeated), with
// small engine blocks, against the literal pairwise run. SameFileContent is held to the
// contents the input wrote.
#include "check/CheckRun.h"
#include "support/CheckOracle.h"
#include "support/TempDir.h"
#include "scan/FileScan.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "%s\n", what.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The folder every input is built in; emptied before each input, removed at exit.
    static TempDir scratch;
    scratch.Clear();
    FuzzedDataProvider in(data, size);

    // Regular files f0..f4 over a two-letter alphabet, so that equal contents are common.
    // An occasional long file spans several of the engine's small blocks.
    const int fileCount = in.ConsumeIntegralInRange(1, 5);
    std::vector<std::string> paths;
    std::vector<std::string> contents;
    for (int k = 0; k < fileCount; ++k) {
        const bool longFile = in.ConsumeIntegralInRange(0, 7) == 0;
        const int length = in.ConsumeIntegralInRange(0, 4) * (longFile ? 13 : 1);
        std::string content;
        for (int b = 0; b < length; ++b)
            content += in.ConsumeBool() ? 'a' : 'b';
        paths.push_back(scratch.Path() + "/f" + std::to_string(k));
        contents.push_back(content);
        scratch.Write("f" + std::to_string(k), content);
    }

    // Second names of some files, and paths that never open as a file.
    const std::string hard = scratch.Path() + "/hard";
    const std::string soft = scratch.Path() + "/soft";
    const int hardOf = in.ConsumeIntegralInRange(0, fileCount - 1);
    const int softOf = in.ConsumeIntegralInRange(0, fileCount - 1);
    if (link(paths[static_cast<std::size_t>(hardOf)].c_str(), hard.c_str()) != 0
        || symlink(paths[static_cast<std::size_t>(softOf)].c_str(), soft.c_str()) != 0)
        Fail("cannot link");
    const std::string folder = scratch.Path() + "/folder";
    const std::string fifo = scratch.Path() + "/fifo";
    if (mkdir(folder.c_str(), 0755) != 0 || mkfifo(fifo.c_str(), 0644) != 0)
        Fail("cannot make the folder or the FIFO");
    std::vector<std::string> pool = paths;
    for (const std::string& extra : { hard, soft, folder, fifo, scratch.Path() + "/missing",
             scratch.Path() + "/./f0", scratch.Path() + "//f0" })
        pool.push_back(extra);

    std::vector<std::string> entries;
    const int entryCount = in.ConsumeIntegralInRange(0, 8);
    for (int k = 0; k < entryCount; ++k) {
        // Mostly regular files, so that the run gets past the first error now and then.
        const bool special = in.ConsumeIntegralInRange(0, 5) == 0;
        const std::size_t pick = special ? in.ConsumeIntegralInRange<std::size_t>(0, pool.size() - 1)
                                         : in.ConsumeIntegralInRange<std::size_t>(0, paths.size() - 1);
        entries.push_back(pool[pick]);
    }

    Check::EngineOptions options;
    options.headBytes = in.ConsumeIntegralInRange<std::size_t>(1, 8);
    options.chunkBytes = in.ConsumeIntegralInRange<std::size_t>(1, 16);
    options.maxOpenFiles = in.ConsumeIntegralInRange<std::size_t>(1, 4);
    options.splitBytes = in.ConsumeIntegralInRange<std::uint64_t>(1, 64);
    options.threads = in.ConsumeIntegralInRange(1U, 3U);

    // SameFileContent on two regular files of different identity tells their contents.
    for (std::size_t x = 0; x < paths.size(); ++x) {
        for (std::size_t y = 0; y < paths.size(); ++y) {
            const bool same = FileScan::SameFileContent(paths[x], paths[y]);
            if (same != (x != y && contents[x] == contents[y]))
                Fail("SameFileContent wrong for f" + std::to_string(x) + " and f" + std::to_string(y));
        }
    }

    const CheckOracle::Outcome engine = CheckOracle::EngineCheck(entries, options);
    const CheckOracle::Outcome oracle = CheckOracle::PairwiseCheck(entries);
    if (!(engine == oracle))
        Fail((std::ostringstream() << "engine: " << engine << "\noracle: " << oracle).str());
    const std::string ending = oracle.log.empty() ? "" : oracle.log.back();
    if (entries.size() < 2 ? ending.rfind("info:", 0) != 0 : (ending == "page1") != oracle.error.empty())
        Fail("wrong ending: " + ending);
    for (std::size_t k = 0; k < paths.size(); ++k) {
        std::string back(contents[k].size() + 1, '\0');
        const int fd = open(paths[k].c_str(), O_RDONLY | O_CLOEXEC);
        const ssize_t got = fd < 0 ? -1 : read(fd, back.data(), back.size());
        if (fd >= 0)
            close(fd);
        if (got != static_cast<ssize_t>(contents[k].size())
            || back.compare(0, contents[k].size(), contents[k]) != 0)
            Fail("the check altered f" + std::to_string(k));
    }
    return 0;
}
