#include "check/ContentEngine.h"
#include "check/Refiner.h"
#include "scan/PathStore.h"

#include "support/BytesRead.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <random>

using Check::ContentEngine;
using Check::EngineOptions;

namespace {

const Check::Pump kKeepGoing = [] { return true; };

FileScan::PathStore Store(const std::vector<std::string>& paths)
{
    FileScan::PathStore store;
    for (const std::string& path : paths)
        store.Add(path);
    return store;
}

std::vector<std::uint8_t> All(const ContentEngine& engine)
{
    return std::vector<std::uint8_t>(engine.FileCount(), 1);
}

EngineOptions Tiny(unsigned threads)
{
    EngineOptions o;
    o.headBytes = 4;
    o.wholeFileBytes = threads == 2 ? 16 : 0;
    o.chunkBytes = 16;
    o.maxOpenFiles = 3;
    o.splitBytes = 48;
    o.threads = threads;
    return o;
}

// Random same-size families: copies, one-byte variants anywhere, and lone sizes. The
// classes must be exactly the sets of equal contents, whatever the block sizes, the
// thread count and the split into ranges.
TEST(Engine, ClassesAreExactlyTheSetsOfEqualBytes)
{
    TempDir dir;
    std::mt19937 rng(7);
    std::vector<std::string> paths;
    std::vector<std::string> contents;
    for (int family = 0; family < 40; ++family) {
        const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 300)(rng);
        // The base and two one-byte variants, each possibly in several copies.
        std::vector<std::string> kinds { RandomBytes(size, rng()) };
        for (int v = 0; v < 2 && size > 0; ++v) {
            std::string variant = kinds[0];
            const std::size_t at = v == 0 ? size - 1 : rng() % size;
            variant[at] = static_cast<char>(variant[at] ^ (1 + rng() % 255));
            kinds.push_back(variant);
        }
        const int members = std::uniform_int_distribution<int>(1, 7)(rng);
        for (int m = 0; m < members; ++m) {
            const std::string& content = kinds[rng() % kinds.size()];
            contents.push_back(content);
            paths.push_back(
                dir.Write("d" + std::to_string(paths.size() % 4) + "/f" + std::to_string(paths.size()), content));
        }
    }
    // Files open through their folders' handles, through their whole paths, and partly
    // so when only two of the four folders may be held open.
    std::vector<EngineOptions> variants { EngineOptions {}, Tiny(1), Tiny(2), Tiny(3) };
    variants[1].openFileLimit = 1024;
    variants[2].openFileLimit = 1026;
    variants[3].openFileLimit = 4096;
    variants.back().maxOpenFiles = 1;
    const FileScan::PathStore store = Store(paths);
    for (const EngineOptions& options : variants) {
        ContentEngine engine(store, options);
        ASSERT_TRUE(engine.Probe(kKeepGoing));
        ASSERT_TRUE(engine.Classify(All(engine), kKeepGoing));
        EXPECT_EQ(engine.BytesSettled(), engine.BytesToSettle()) << "threads " << options.threads;
        // Each file counts once, also those whose set was compared in ranges.
        EXPECT_EQ(engine.FilesCompared(), engine.FilesToCompare()) << "threads " << options.threads;
        for (std::size_t p = 0; p < paths.size(); ++p) {
            for (std::size_t q = p + 1; q < paths.size(); ++q) {
                const bool same = engine.ClassOf(engine.FileOf(static_cast<std::uint32_t>(p)))
                    == engine.ClassOf(engine.FileOf(static_cast<std::uint32_t>(q)));
                ASSERT_EQ(same, contents[p] == contents[q])
                    << paths[p] << " " << paths[q] << " chunk " << options.chunkBytes << " threads "
                    << options.threads;
            }
        }
    }
}

TEST(Engine, DescriptorsGoToSetsFirstAndFoldersWithWhatIsLeft)
{
    struct Row {
        std::size_t limit, sets, folders;
    };
    for (const Row& row : { Row { 256, 768, 0 }, Row { 1024, 768, 0 }, Row { 1026, 768, 2 }, Row { 4096, 1920, 1920 },
             Row { 20000, 4096, 15648 }, Row { 1 << 20, 4096, 16384 } }) {
        const Check::DescriptorPlan plan = Check::PlanDescriptors(row.limit);
        EXPECT_EQ(plan.sets, row.sets) << row.limit;
        EXPECT_EQ(plan.folders, row.folders) << row.limit;
    }
}

TEST(Engine, OnlyFilesNeededAreCompared)
{
    TempDir dir;
    const std::vector<std::string> paths { dir.Write("a", "same"), dir.Write("b", "same"),
        dir.Write("c", "same") };
    const FileScan::PathStore store = Store(paths);
    ContentEngine engine(store, {});
    ASSERT_TRUE(engine.Probe(kKeepGoing));
    std::vector<std::uint8_t> needed(engine.FileCount(), 0);
    needed[engine.FileOf(0)] = needed[engine.FileOf(2)] = 1;
    ASSERT_TRUE(engine.Classify(needed, kKeepGoing));
    EXPECT_EQ(engine.ClassOf(engine.FileOf(0)), engine.ClassOf(engine.FileOf(2)));
    EXPECT_EQ(engine.ClassOf(engine.FileOf(1)), engine.FileOf(1));
}

TEST(Engine, ReadsNothingOfUniqueSizesAndOnlyTheHeadOfFilesThatDifferThere)
{
    TempDir dir;
    std::mt19937 rng(8);
    std::vector<std::string> paths;
    paths.reserve(20);
    for (int k = 0; k < 20; ++k)
        paths.push_back(
            dir.Write("u" + std::to_string(k), RandomBytes(100000 + static_cast<std::size_t>(k), rng())));
    const std::string big = RandomBytes(1 << 20, rng());
    paths.push_back(dir.Write("x", big));
    std::string other = big;
    other[10] = static_cast<char>(other[10] ^ 1);
    paths.push_back(dir.Write("y", other));

    const FileScan::PathStore store = Store(paths);
    ContentEngine engine(store, {});
    ASSERT_TRUE(engine.Probe(kKeepGoing));
    const std::uint64_t before = BytesRead();
    ASSERT_TRUE(engine.Classify(All(engine), kKeepGoing));
    const std::uint64_t read = BytesRead() - before;
    EXPECT_LE(read, 2 * EngineOptions {}.headBytes + 4096) << "read " << read << " bytes";
    EXPECT_NE(engine.ClassOf(engine.FileOf(20)), engine.ClassOf(engine.FileOf(21)));
    EXPECT_EQ(engine.BytesSettled(), engine.BytesToSettle());
}

} // namespace
