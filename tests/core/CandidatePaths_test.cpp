#include "scan/CandidatePaths.h"

#include "scan/FileScan.h"

#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>
#include <map>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace FileScan;
using Paths = std::vector<std::string>;

namespace {

// A tree with every kind of second name: hard links, links to files (also in a chain),
// a link to a folder, dangling links and a loop.
class LinkedTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        a = dir.Write("t/a.jpg", "same");
        c = dir.Write("t/sub/c.jpg", "same");
        other = dir.Write("t/other.jpg", "other");
        folder = dir.MakeDir("t/sub");
        hard = dir / "t/hard.jpg";
        ASSERT_EQ(link(a.c_str(), hard.c_str()), 0);
        hardInSub = dir / "t/sub/hard2.jpg";
        ASSERT_EQ(link(a.c_str(), hardInSub.c_str()), 0);
        soft = dir / "t/soft.jpg";
        ASSERT_EQ(symlink(a.c_str(), soft.c_str()), 0);
        chain = dir / "t/chain.jpg";
        ASSERT_EQ(symlink("soft.jpg", chain.c_str()), 0);
        folderLink = dir / "t/folder.jpg";
        ASSERT_EQ(symlink("sub", folderLink.c_str()), 0);
        dangling = dir / "t/dangling.jpg";
        ASSERT_EQ(symlink("nowhere.jpg", dangling.c_str()), 0);
        loop = dir / "t/loop.jpg";
        ASSERT_EQ(symlink("loop.jpg", loop.c_str()), 0);
    }

    // The names of a's file in the order the tree scan meets them.
    Paths NamesOfA(const Paths& scanned) const
    {
        Paths names;
        std::copy_if(scanned.begin(), scanned.end(), std::back_inserter(names),
            [&](const std::string& p) { return p == a || p == hard || p == hardInSub; });
        return names;
    }

    TempDir dir;
    std::string a, c, other, folder, hard, hardInSub, soft, chain, folderLink, dangling, loop;
};

TEST_F(LinkedTree, FolderScanListsEachFileOnceUnderTheFirstNameMet)
{
    Paths scanned;
    AddFolderTreeFiles(dir / "t", "*.*", scanned);
    EXPECT_EQ(scanned.size(), 5U);
    const std::string first = NamesOfA(scanned).front();

    CandidatePaths list;
    EXPECT_EQ(list.Append(scanned), 3U);
    Paths expected;
    std::copy_if(scanned.begin(), scanned.end(), std::back_inserter(expected),
        [&](const std::string& p) { return p == first || p == c || p == other; });
    EXPECT_EQ(list.Entries(), expected);

    // The identities the scan takes while listing (one per path, and the links left out)
    // make the same list as looking the paths up afterwards.
    Paths again;
    std::vector<ListedFile> listed;
    AddFolderTreeFiles(dir / "t", "*.*", again, &listed);
    ASSERT_EQ(again, scanned);
    CandidatePaths identified;
    EXPECT_EQ(identified.Append(again, listed), 3U);
    EXPECT_EQ(identified.Entries(), expected);
    std::vector<FileId> ids;
    for (const ListedFile& file : listed)
        ids.push_back(file.id);
    CandidatePaths byId;
    std::vector<std::size_t> passedOver;
    EXPECT_EQ(byId.Append(again, ids, &passedOver), 3U);
    EXPECT_EQ(byId.Entries(), expected);
    for (std::size_t k = 0; k < expected.size(); ++k)
        EXPECT_EQ(byId.IdAt(k), IdentifyFile(expected[k]));
    ASSERT_EQ(passedOver.size(), 2U);
    for (const std::size_t k : passedOver)
        EXPECT_TRUE(again[k] != first && NamesOfA({ again[k] }).size() == 1) << again[k];
    // The same from the scan's PathStore; the same paths once more are appended again,
    // their second names passed over again.
    PathStore stored;
    AddFolderTreeFiles(dir / "t", "*.*", stored);
    CandidatePaths byStore;
    std::vector<std::size_t> storePassedOver;
    EXPECT_EQ(byStore.Append(stored, ids, &storePassedOver), 3U);
    EXPECT_EQ(byStore.Entries(), expected);
    EXPECT_EQ(storePassedOver, passedOver);
    EXPECT_EQ(byStore.Append(stored, ids, &storePassedOver), 3U);
    EXPECT_EQ(byStore.Count(), 6U);
    EXPECT_EQ(storePassedOver.size(), 4U);
    listed.pop_back();
    ids.pop_back();
    EXPECT_THROW(byStore.Append(stored, ids), std::invalid_argument);
    EXPECT_THROW(identified.Append(again, listed), std::invalid_argument);
    EXPECT_THROW(identified.Append(again, ids), std::invalid_argument);
    EXPECT_EQ(identified.Count(), 3U);
}

TEST_F(LinkedTree, AnAppendThatFailsLeavesNoTrace)
{
    CandidatePaths list;
    list.Append({ other });
    const auto refuse = [](std::size_t, std::size_t) { throw std::runtime_error("refused"); };
    EXPECT_THROW(list.Append({ a, c }, refuse), std::runtime_error);
    EXPECT_EQ(list.Entries(), Paths { other });
    // Told before anything changes, and only when something is appended.
    EXPECT_EQ(list.Append({ other, other },
                  [&](std::size_t first, std::size_t count) {
                      EXPECT_EQ(list.Count(), 1U);
                      EXPECT_EQ(first, 1U);
                      EXPECT_EQ(count, 2U);
                  }),
        2U);
    EXPECT_EQ(list.Append({ hard, c, a }), 2U);
    EXPECT_EQ(list.Append({ soft, a }, refuse), 0U);
    EXPECT_EQ(list.Entries(), (Paths { other, other, other, hard, c }));
}

// Second names, removing, replacing and clearing entries are held to the model below;
// only the index checks are not.
TEST_F(LinkedTree, IndexesPastTheEndAreRefused)
{
    CandidatePaths list;
    list.Append({ a, other });
    EXPECT_THROW(list.RemoveAt(2), std::out_of_range);
    EXPECT_THROW(list.RemoveRanges({ { 1, 2 } }), std::out_of_range);
    EXPECT_THROW(list.Replace(2, c), std::out_of_range);
    EXPECT_EQ(list.Entries(), (Paths { a, other }));
}

TEST(RangesOfDescending, MergesNeighboursAndDropsRepeats)
{
    EXPECT_EQ(RangesOfDescending({}), std::vector<RowRange> {});
    EXPECT_EQ(RangesOfDescending({ 9, 8, 7, 5, 5, 2, 0 }),
        (std::vector<RowRange> { { 0, 0 }, { 2, 2 }, { 5, 5 }, { 7, 9 } }));
}

// The rule by definition, over a plain vector: a path is passed over when an entry of
// the same file has another path string that still leads to that file, unless an entry
// of that file has the very same string.
class ListModel {
public:
    explicit ListModel(IdentifyFn identify)
        : m_identify(std::move(identify))
    {
    }

    std::size_t Append(const Paths& paths)
    {
        std::size_t added = 0;
        for (const std::string& path : paths) {
            const FileId id = m_identify(path);
            bool sameString = false;
            bool otherName = false;
            for (const auto& [listed, listedId] : m_entries) {
                if (!id.Known() || listedId != id)
                    continue;
                sameString = sameString || listed == path;
                otherName = otherName || (listed != path && m_identify(listed) == id);
            }
            if (id.Known() && otherName && !sameString)
                continue;
            m_entries.emplace_back(path, id);
            ++added;
        }
        return added;
    }
    void Replace(std::size_t index, const std::string& path)
    {
        m_entries.at(index) = { path, m_identify(path) };
    }
    void Remove(std::size_t first, std::size_t last)
    {
        m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(first),
            m_entries.begin() + static_cast<std::ptrdiff_t>(last + 1));
    }
    void Clear() { m_entries.clear(); }
    std::size_t Count() const { return m_entries.size(); }
    Paths Entries() const
    {
        Paths paths;
        for (const auto& entry : m_entries)
            paths.push_back(entry.first);
        return paths;
    }

private:
    IdentifyFn m_identify;
    std::vector<std::pair<std::string, FileId>> m_entries;
};

// Where the names of the pool lead, and how they change between list operations.
struct Names {
    Paths pool;
    IdentifyFn identify;
    // Gives a name another file, or none.
    std::function<void(const std::string& name)> remake;
    // Renames a file; false when it cannot.
    std::function<bool(const std::string& from, const std::string& to)> rename;
};

// Runs random appends (batches of up to batch names), renames, removals, clears and
// changes to the names, comparing the list with the model after each step.
void CompareWithModel(Names& names, std::mt19937& rng, int steps, std::size_t batch)
{
    const auto pick
        = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    CandidatePaths list(names.identify);
    ListModel model(names.identify);
    for (int step = 0; step < steps; ++step) {
        const std::size_t op = pick(10);
        if (op < 5) {
            Paths paths;
            for (std::size_t n = pick(batch) + 1; n > 0; --n)
                paths.push_back(names.pool[pick(names.pool.size())]);
            const std::size_t expected = model.Append(paths);
            // A folder's listing appends to a copy that takes the list's place.
            if (pick(4) == 0)
                list = list.Copy();
            ASSERT_EQ(list.Append(paths), expected) << "step " << step;
        } else if (op == 5) {
            names.remake(names.pool[pick(names.pool.size())]);
        } else if (op == 6 && model.Count() > 0) {
            // A rename as the rename command makes it: on disk, then in the list.
            const std::size_t index = pick(model.Count());
            const std::string to = names.pool[pick(names.pool.size())];
            if (!names.rename(list.At(index), to))
                continue;
            model.Replace(index, to);
            list.Replace(index, to);
        } else if ((op == 7 || op == 8) && model.Count() > 0) {
            const std::size_t first = pick(model.Count());
            const std::size_t last = std::min(model.Count() - 1, first + pick(batch));
            model.Remove(first, last);
            list.RemoveRanges({ { first, last } });
        } else if (op == 9 && pick(20) == 0) {
            model.Clear();
            list.Clear();
        }
        ASSERT_EQ(list.Entries(), model.Entries()) << "step " << step << " op " << op;
    }
}

TEST(CandidatePathsOracle, RealFilesLinksAndRenamesFollowTheRule)
{
    TempDir dir;
    std::mt19937 rng(20260214);
    const auto pick
        = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    // A small pool of names, so that they meet often: files, hard links, links (some
    // dangling, some to folders), folders and missing names come and go.
    Names names;
    for (int k = 0; k < 14; ++k)
        names.pool.push_back(dir / ("n" + std::to_string(k)));
    names.identify = IdentifyFile;
    names.remake = [&](const std::string& path) {
        std::filesystem::remove_all(path);
        const std::string target = names.pool[pick(names.pool.size())];
        switch (pick(6)) {
        case 0:
            dir.Write(path.substr(dir.Path().size() + 1), "x");
            break;
        case 1:
        case 2:
            (void)link(target.c_str(), path.c_str());
            break;
        case 3:
            (void)symlink(target.c_str(), path.c_str());
            break;
        case 4:
            std::filesystem::create_directory(path);
            break;
        default:
            break;
        }
    };
    names.rename = [](const std::string& from, const std::string& to) {
        return std::rename(from.c_str(), to.c_str()) == 0;
    };
    for (const std::string& path : names.pool)
        names.remake(path);
    CompareWithModel(names, rng, 3000, 5);
}

TEST(CandidatePathsOracle, ManyPathsLookedUpAtOnceFollowTheRule)
{
    // One batch large enough to be looked up on several threads: files, hard links,
    // links (some dangling), folders, pipes and missing names, each met more than once.
    TempDir dir;
    Paths pool;
    for (int k = 0; k < 400; ++k) {
        const std::string name = dir / ("n" + std::to_string(k));
        switch (k % 5) {
        case 0:
            dir.Write("n" + std::to_string(k), std::to_string(k));
            break;
        case 1:
            ASSERT_EQ(link(pool[k - 1].c_str(), name.c_str()), 0);
            break;
        case 2:
            ASSERT_EQ(symlink(pool[k - 2].c_str(), name.c_str()), 0);
            break;
        case 3:
            std::filesystem::create_directory(name);
            break;
        default:
            if (k % 20 == 4) {
                ASSERT_EQ(mkfifo(name.c_str(), 0600), 0);
            } else if (k % 20 == 9) {
                ASSERT_EQ(link(pool[k - 5].c_str(), name.c_str()), 0);
            } else if (k % 20 == 14) {
                ASSERT_EQ(symlink((name + "-gone").c_str(), name.c_str()), 0);
            }
            break;
        }
        pool.push_back(name);
    }
    Paths batch = pool;
    for (int k = 0; k < 400; k += 3)
        batch.push_back(pool[static_cast<std::size_t>(k)]);
    CandidatePaths list;
    ListModel model(IdentifyFile);
    ASSERT_EQ(list.Append(batch), model.Append(batch));
    EXPECT_EQ(list.Entries(), model.Entries());
}

TEST(CandidatePathsOracle, ThousandsOfFilesFollowTheRule)
{
    // Made-up identities, so that the table grows, wraps and shifts on removal; names in
    // several folders, without a folder, and one too long to share a block.
    std::mt19937 rng(77);
    const auto pick
        = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    std::map<std::string, FileId> files;
    std::uint64_t nextInode = 1;
    Names names;
    for (int k = 0; k < 3000; ++k) {
        const std::string name = std::to_string(k);
        const std::string folder = "/p/" + std::to_string(k % 7) + "/";
        names.pool.push_back(k % 20 == 1 ? name
                : k == 3                   ? folder + std::string(40000, 'y')
                : k % 3 == 0               ? "/p/" + name
                                           : folder + name);
    }
    names.identify = [&](const std::string& path) {
        const auto it = files.find(path);
        return it == files.end() ? FileId {} : it->second;
    };
    names.remake = [&](const std::string& path) {
        if (pick(4) == 0)
            files.erase(path);
        else if (pick(3) == 0)
            files[path] = names.identify(names.pool[pick(names.pool.size())]);
        else
            files[path] = FileId { pick(3), nextInode++ };
    };
    names.rename = [&](const std::string& from, const std::string& to) {
        if (from == to)
            return true;
        const auto it = files.find(from);
        if (it == files.end())
            return false;
        files[to] = it->second;
        files.erase(from);
        return true;
    };
    for (const std::string& path : names.pool)
        names.remake(path);
    CompareWithModel(names, rng, 1000, 100);
}

TEST(PathStore, KeepsEveryPathAsGivenThroughChangesAndReclaiming)
{
    // Paths with and without folders, one name too long to share a block, and enough of
    // them removed and replaced that the room of the dead names is taken back, held to
    // a plain vector.
    std::mt19937 rng(31);
    const auto pick
        = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    const auto make = [&](std::size_t k) {
        const std::string folder = "/d" + std::to_string(k % 5) + "/";
        if (k == 3)
            return folder + std::string(40000, 'y');
        switch (k % 4) {
        case 0:
            return folder + std::string(6000 + k % 7, 'n') + std::to_string(k);
        case 1:
            return "no-folder" + std::to_string(k);
        case 2:
            return folder;
        default:
            return folder + "sub/f" + std::to_string(k);
        }
    };
    PathStore store;
    Paths model;
    for (int step = 0; step < 5000; ++step) {
        const std::size_t op = pick(10);
        if (op < 4 || model.size() < 400) {
            const std::string path = make(pick(600));
            EXPECT_EQ(store.Add(path), model.size());
            model.push_back(path);
        } else if (op < 7) {
            const std::size_t index = pick(model.size());
            model[index] = make(pick(600));
            store.Set(index, model[index]);
        } else if (op < 9) {
            const std::size_t first = pick(model.size());
            const std::size_t last = std::min(model.size() - 1, first + pick(3));
            store.RemoveRanges({ { first, last } });
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(first),
                model.begin() + static_cast<std::ptrdiff_t>(last + 1));
        } else {
            const std::size_t keep = model.size() - pick(3);
            store.Truncate(keep);
            model.resize(keep);
        }
        ASSERT_EQ(store.Size(), model.size()) << "step " << step;
        for (std::size_t k = step % 10 == 0 ? 0 : model.size(); k < model.size(); ++k) {
            ASSERT_EQ(store.At(k), model[k]) << "step " << step;
            ASSERT_TRUE(store.Equals(k, model[k]));
            ASSERT_EQ(std::string(store.Folder(k)) + std::string(store.Name(k)), model[k]);
            ASSERT_EQ(store.Name(k).data()[store.Name(k).size()], '\0');
        }
    }
    store.Clear();
    EXPECT_TRUE(store.Empty());

    // A name in other folders, or in none, is another path; the same path twice is not.
    for (const char* path : { "/a/x", "/b/x", "x", "/a/", "/a/y" })
        store.Add(path);
    EXPECT_TRUE(store.AllDistinct());
    store.Add("/b/x");
    EXPECT_FALSE(store.AllDistinct());
    store.Set(5, "/b/y");
    EXPECT_TRUE(store.AllDistinct());
}

} // namespace
