// CheckRun: the duplicate check command, driven through CheckHost.
//
// The result is that of the plain pairwise run: pivot i from the top of the list, j
// from the bottom up to 0, every pair of different path strings compared, a match
// grouped and removed. With files that do not change, that run only ever removes
// entries above its pivot, so it can be replayed in the list's original positions: a
// pivot meets only the entries whose files hold its bytes (matches, or a second name
// of its own file, which fails to open) and the entries that do not open at all. The
// engine sorts the files into content classes first; the replay then costs one step
// per entry instead of one comparison per pair.
#include "check/CheckRun.h"

#include "check/ContentEngine.h"
#include "scan/FileScan.h"
#include "scan/PathStore.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Check {

namespace {

    // Leaves the last steps of the bar to the replay.
    constexpr int kClassifiedProgress = 980;
    // Opening a file counts like reading this many bytes on the progress bar.
    constexpr double kOpenWeight = 32 * 1024;
    constexpr auto kStepInterval = std::chrono::milliseconds(25);
    constexpr std::size_t kNone = SIZE_MAX;

    // The distinct path strings of the list, each stored once, and numbered in the order
    // they were met.
    class PathTable {
    public:
        explicit PathTable(std::size_t expected)
        {
            std::size_t capacity = 16;
            while (capacity < 2 * expected)
                capacity *= 2;
            m_slots.assign(capacity, Slot {});
            m_paths.Reserve(expected);
        }

        // Returns the number of text, adding it when new (fresh tells which).
        std::uint32_t Add(const std::string& text, bool& fresh)
        {
            const std::size_t hash = std::hash<std::string_view> {}(text);
            const auto tag = static_cast<std::uint32_t>(hash >> 32);
            const std::size_t mask = m_slots.size() - 1;
            for (std::size_t s = hash & mask;; s = (s + 1) & mask) {
                Slot& slot = m_slots[s];
                if (slot.id == kEmpty) {
                    slot = { static_cast<std::uint32_t>(m_paths.Add(text)), tag };
                    fresh = true;
                    return slot.id;
                }
                if (slot.tag == tag && m_paths.Equals(slot.id, text)) {
                    fresh = false;
                    return slot.id;
                }
            }
        }

        // Gives the room of the look-up back once every path is in.
        void Done() { m_slots = std::vector<Slot>(); }
        const FileScan::PathStore& Paths() const { return m_paths; }

    private:
        static constexpr std::uint32_t kEmpty = UINT32_MAX;
        struct Slot {
            std::uint32_t id = kEmpty;
            std::uint32_t tag = 0;
        };
        std::vector<Slot> m_slots;
        FileScan::PathStore m_paths;
    };

    // Counts the entries still in the list before an original position.
    class AliveCount {
    public:
        explicit AliveCount(std::size_t n)
            : m_tree(n + 1, 0)
        {
            // Positions fit in 32 bits, as the run's path numbers do.
            for (std::size_t i = 1; i <= n; ++i) {
                ++m_tree[i];
                const std::size_t up = i + (i & (~i + 1));
                if (up <= n)
                    m_tree[up] += m_tree[i];
            }
        }
        void Remove(std::size_t position)
        {
            for (std::size_t i = position + 1; i < m_tree.size(); i += i & (~i + 1))
                --m_tree[i];
        }
        std::size_t Before(std::size_t position) const
        {
            std::size_t sum = 0;
            for (std::size_t i = position; i > 0; i -= i & (~i + 1))
                sum += m_tree[i];
            return sum;
        }

    private:
        std::vector<std::uint32_t> m_tree;
    };

    class Run {
    public:
        Run(CheckHost& host, const EngineOptions& options)
            : m_host(host)
            , m_options(options)
            , m_count(host.EntryCount())
            , m_lastStep(std::chrono::steady_clock::now())
        {
        }

        // Returns true when the run completed and false when it was cancelled; throws
        // FileError where the pairwise run would have failed to open a file.
        bool Execute()
        {
            const std::size_t n = m_count;
            const FileScan::PathStore* distinct = m_host.DistinctPaths();
            if (distinct && distinct->Size() != n)
                distinct = nullptr;
            PathTable table(distinct ? 0 : n);
            const FileScan::PathStore& paths = distinct ? *distinct : table.Paths();
            m_entryPath.resize(n);
            ContentEngine engine(paths, m_options);
            engine.Reserve(n);
            for (std::size_t i = 0; i < n; ++i) {
                bool fresh = true;
                const auto path
                    = distinct ? static_cast<std::uint32_t>(i) : table.Add(m_host.EntryText(i), fresh);
                m_entryPath[i] = path;
                // The host's look-up of the first entry of a path stands for the path.
                const FileScan::ListedFile* file = fresh ? m_host.EntryLookedUp(i) : nullptr;
                if (file && file->regular)
                    engine.TakeLookedUp(path,
                        { file->id.device, file->id.inode, file->size, file->mtime,
                            file->allocated < file->size, true });
                if ((i & 4095) == 4095 && Due() && !Step())
                    return false;
            }
            table.Done();
            m_host.LookUpsTaken();
            m_paths = &paths;
            m_engine = &engine;
            // The engine ends with this call, however it ends; the last step comes after.
            struct Forget {
                ContentEngine*& engine;
                ~Forget() { engine = nullptr; }
            } forget { m_engine };
            if (!engine.Probe([this] { return Step(); }) || !Step())
                return false;

            // Unless a path is already known not to open, everything is compared,
            // which also opens the files that share their size for the first time.
            const bool classified = !engine.AnyUnopenable();
            if (classified && !Classify(std::vector<std::uint8_t>(engine.FileCount(), 1)))
                return false;

            // A pivot that does not open fails at its first comparison: with the
            // bottom-most entry of another path.
            const std::uint32_t first = m_entryPath[0];
            if (!engine.Openable(first)) {
                for (std::size_t j = n - 1; j > 0; --j) {
                    if (m_entryPath[j] != first)
                        throw Files::FileError(Files::OpenErrorText(m_paths->At(first)));
                }
                return true;
            }
            // Otherwise the first pivot reaches every entry that does not open; the
            // bottom-most one ends the run, and only the first pivot's matches below it
            // need their bytes compared.
            std::size_t unopenable = kNone;
            for (std::size_t j = n - 1; j > 0 && unopenable == kNone; --j) {
                if (!engine.Openable(m_entryPath[j]))
                    unopenable = j;
            }
            if (!classified) {
                std::vector<std::uint8_t> needed(engine.FileCount(), unopenable == kNone ? 1 : 0);
                if (unopenable != kNone) {
                    const std::uint32_t firstFile = engine.FileOf(first);
                    needed[firstFile] = 1;
                    for (std::size_t j = unopenable + 1; j < n; ++j) {
                        const std::uint32_t file = engine.FileOf(m_entryPath[j]);
                        if (engine.FileSize(file) == engine.FileSize(firstFile))
                            needed[file] = 1;
                    }
                }
                if (!Classify(needed))
                    return false;
            }
            return Replay(unopenable);
        }

        // Hands over what the run holds back until its end: the group it was filling with
        // the entries that group took, and, when it completed, the count and the full bar.
        void LastStep(bool completed)
        {
            Flush(true);
            if (completed) {
                m_step.entriesLeft = m_count;
                SetProgress(kProgressMax);
                ShowComparedFiles();
            }
            const CheckStep& s = m_step;
            if (!s.groups.empty() || !s.removed.empty() || s.entriesLeft || s.progress || s.comparedFiles)
                m_host.TakeStep(std::exchange(m_step, {}));
        }

    private:
        bool Classify(const std::vector<std::uint8_t>& needed)
        {
            m_classifying = true;
            const bool done = m_engine->Classify(needed, [this] { return Step(); });
            m_classifying = false;
            return done;
        }

        bool Due() const { return std::chrono::steady_clock::now() - m_lastStep >= kStepInterval; }

        // Hands the host what the run found since the last step, the group it is filling
        // aside; false when the host wants the run to stop.
        bool Step()
        {
            Flush(false);
            ShowProgress();
            m_host.TakeStep(std::exchange(m_step, {}));
            m_lastStep = std::chrono::steady_clock::now();
            return !m_host.Cancelled();
        }

        void ShowProgress()
        {
            int position = m_shown;
            if (m_engine && m_classifying) {
                const double total = static_cast<double>(m_engine->BytesToSettle())
                    + static_cast<double>(m_engine->FilesToCompare()) * kOpenWeight;
                const double done = static_cast<double>(m_engine->BytesSettled())
                    + static_cast<double>(m_engine->FilesCompared()) * kOpenWeight;
                const double fraction = total > 0 ? std::min(1.0, done / total) : 1.0;
                position
                    = m_classifyBase + static_cast<int>((kClassifiedProgress - m_classifyBase) * fraction);
            } else if (m_engine && !m_replaying) {
                // What comparing will cost is not known before every file is probed:
                // guess it from the sizes seen so far, as if every file were compared.
                const double probed = static_cast<double>(m_engine->PathsProbed());
                const double paths = static_cast<double>(m_paths->Size());
                if (probed > 0) {
                    const double bytes = static_cast<double>(m_engine->BytesProbed()) / probed * paths;
                    const double work = 2 * paths * kOpenWeight + bytes;
                    position = static_cast<int>(kProgressMax * probed * kOpenWeight / work);
                }
                m_classifyBase = std::max(m_classifyBase, std::min(position, kClassifiedProgress));
            } else if (m_replaying && m_count > 0) {
                const double fraction
                    = static_cast<double>(m_replayed) / static_cast<double>(m_entryPath.size());
                position
                    = kClassifiedProgress + static_cast<int>((kProgressMax - kClassifiedProgress) * fraction);
            }
            SetProgress(position);
            ShowComparedFiles();
        }

        void ShowComparedFiles()
        {
            std::size_t files = 0;
            if (m_replaying && m_engine)
                files = m_engine->FileCount();
            else if (m_engine && m_classifying)
                files = m_engine->FileCount() - m_engine->FilesToCompare() + m_engine->FilesCompared();
            if (files > m_comparedShown) {
                m_comparedShown = files;
                m_step.comparedFiles = files;
            }
        }

        void SetProgress(int position)
        {
            position = std::min(position, kProgressMax);
            if (position > m_shown) {
                m_shown = position;
                m_step.progress = position;
            }
        }

        // Moves the groups found since the last step into the step, with the entries they
        // took as indices into the list as the host holds it; with all, also the group
        // being filled.
        void Flush(bool all)
        {
            if (all && m_open) {
                m_found.push_back(std::move(*m_open));
                m_open.reset();
                m_removed.insert(m_removed.end(), m_openRemoved.begin(), m_openRemoved.end());
                m_openRemoved.clear();
            }
            std::move(m_found.begin(), m_found.end(), std::back_inserter(m_step.groups));
            m_found.clear();
            if (m_removed.empty())
                return;
            std::vector<std::size_t>& indices = m_step.removed;
            for (std::size_t position : m_removed)
                indices.push_back(m_listed->Before(position));
            std::sort(indices.rbegin(), indices.rend());
            for (std::size_t position : m_removed)
                m_listed->Remove(position);
            m_count -= m_removed.size();
            m_removed.clear();
            m_step.entriesLeft = m_count;
        }

        // Replays the pivots in list order. Only the first entry of each content class
        // acts as a pivot that finds anything: it takes every other entry of its class
        // from the bottom up, skipping copies of its own path string and failing on a
        // second name of its own file. The first pivot also meets the bottom-most entry
        // that does not open (position unopenable), which ends the run.
        bool Replay(std::size_t unopenable)
        {
            const std::size_t n = m_entryPath.size();
            const ContentEngine& engine = *m_engine;
            m_listed.emplace(n);
            m_replaying = true;

            // The entries of each class of two or more, in ascending position: shared
            // class s's are members[start[s]] to members[start[s + 1] - 1]. Each entry's
            // class is looked up once; an entry alone in its class (most are) finds
            // nothing and takes no room here.
            constexpr std::uint32_t kNoClass = UINT32_MAX;
            std::vector<std::uint32_t> classOf(n);
            std::vector<std::uint32_t> start;
            {
                // Entries per class, then the class's shared number.
                std::vector<std::uint32_t> shared(engine.FileCount(), 0);
                for (std::size_t i = 0; i < n; ++i) {
                    classOf[i] = engine.Openable(m_entryPath[i]) ? ClassOfEntry(i) : kNoClass;
                    if (classOf[i] != kNoClass)
                        ++shared[classOf[i]];
                }
                std::uint32_t count = 0;
                for (std::uint32_t& s : shared)
                    s = s >= 2 ? count++ : kNoClass;
                // Counted at start[s + 2], summed so that start[s + 1] is where class s
                // begins, and moved along while filling until it is where it ends.
                start.assign(std::size_t { count } + 2, 0);
                for (std::uint32_t& c : classOf) {
                    if (c != kNoClass && (c = shared[c]) != kNoClass)
                        ++start[c + 2];
                }
            }
            for (std::size_t s = 2; s < start.size(); ++s)
                start[s] += start[s - 1];
            std::vector<std::uint32_t> members(start.back());
            for (std::size_t i = 0; i < n; ++i) {
                if (classOf[i] != kNoClass)
                    members[start[classOf[i] + 1]++] = static_cast<std::uint32_t>(i);
            }

            int groupCounter = 0;
            std::size_t removals = 0;
            for (std::size_t i = 0; i < n; ++i) {
                m_replayed = i;
                if ((i & 4095) == 4095 && Due() && !Step())
                    return false;
                const std::uint32_t c = classOf[i];
                // The first entry opens (the run ends before the replay otherwise):
                // alone in its class, it still meets the entry that does not open.
                if (c == kNoClass && i == 0 && unopenable != kNone)
                    throw Files::FileError(Files::OpenErrorText(m_paths->At(m_entryPath[unopenable])));
                if (c == kNoClass || members[start[c]] != i)
                    continue;
                const std::size_t bound = i == 0 && unopenable != kNone ? unopenable : i;
                const std::uint32_t pivotPath = m_entryPath[i];
                const std::uint32_t pivotFile = engine.FileOf(pivotPath);
                for (std::size_t k = start[c + 1]; k-- > start[c] + 1;) {
                    const std::size_t j = members[k];
                    if (j <= bound)
                        break;
                    const std::uint32_t path = m_entryPath[j];
                    if (path == pivotPath)
                        continue;
                    if (engine.FileOf(path) == pivotFile)
                        throw Files::FileError(Files::OpenErrorText(m_paths->At(path)));
                    if (!m_open) {
                        m_open.emplace();
                        m_open->number = ++groupCounter;
                        m_open->files.push_back({ m_paths->At(pivotPath), engine.Stamp(pivotFile) });
                    }
                    m_open->files.push_back({ m_paths->At(path), engine.Stamp(engine.FileOf(path)) });
                    m_openRemoved.push_back(j);
                    if ((++removals & 255) == 0 && Due() && !Step())
                        return false;
                }
                if (m_open) {
                    m_found.push_back(std::move(*m_open));
                    m_open.reset();
                    m_removed.insert(m_removed.end(), m_openRemoved.begin(), m_openRemoved.end());
                    m_openRemoved.clear();
                }
                if (i == 0 && unopenable != kNone)
                    throw Files::FileError(Files::OpenErrorText(m_paths->At(m_entryPath[unopenable])));
            }
            // Every file is compared: the count the last step brings, while the engine is there.
            ShowComparedFiles();
            return true;
        }

        std::uint32_t ClassOfEntry(std::size_t i) const
        {
            return m_engine->ClassOf(m_engine->FileOf(m_entryPath[i]));
        }

        CheckHost& m_host;
        const EngineOptions& m_options;
        std::size_t m_count;
        std::chrono::steady_clock::time_point m_lastStep;
        std::vector<std::uint32_t> m_entryPath;
        const FileScan::PathStore* m_paths = nullptr;
        ContentEngine* m_engine = nullptr;
        // The entries of the list, by position, that the host still holds.
        std::optional<AliveCount> m_listed;
        // What the next step hands over.
        CheckStep m_step;
        // Groups found, and the positions of the entries they took, not handed over yet.
        std::vector<ResultGroup> m_found;
        std::vector<std::size_t> m_removed;
        // The group being filled and its entries: handed over once it is whole, so that
        // the list never loses an entry that the tree does not show yet.
        std::optional<ResultGroup> m_open;
        std::vector<std::size_t> m_openRemoved;
        bool m_classifying = false;
        bool m_replaying = false;
        std::size_t m_replayed = 0;
        int m_classifyBase = 0;
        int m_shown = 0;
        std::size_t m_comparedShown = 0;
    };

} // namespace

void MergeSteps(CheckStep& step, CheckStep&& later)
{
    std::move(later.groups.begin(), later.groups.end(), std::back_inserter(step.groups));
    if (step.removed.empty()) {
        step.removed = std::move(later.removed);
    } else if (!later.removed.empty()) {
        // later's indices count the list without step's entries: each one moves past
        // every entry of step's at or before the place it lands on.
        const std::vector<std::size_t> earlier(step.removed.rbegin(), step.removed.rend());
        std::vector<std::size_t> mapped;
        mapped.reserve(later.removed.size());
        std::size_t passed = 0;
        for (auto index = later.removed.rbegin(); index != later.removed.rend(); ++index) {
            std::size_t place = *index + passed;
            while (passed < earlier.size() && earlier[passed] <= place) {
                ++passed;
                ++place;
            }
            mapped.push_back(place);
        }
        step.removed.clear();
        step.removed.reserve(earlier.size() + mapped.size());
        std::merge(earlier.rbegin(), earlier.rend(), mapped.rbegin(), mapped.rend(),
            std::back_inserter(step.removed), std::greater<>());
    }
    if (later.entriesLeft)
        step.entriesLeft = later.entriesLeft;
    if (later.progress)
        step.progress = later.progress;
    if (later.comparedFiles)
        step.comparedFiles = later.comparedFiles;
}

CheckEnd RunCheck(CheckHost& host, const EngineOptions& options)
{
    if (host.EntryCount() < 2)
        return CheckEnd::NothingToCompare;
    Run run(host, options);
    bool completed = false;
    try {
        completed = run.Execute();
    } catch (...) {
        // The partial results stay: the host gets them before the failure.
        run.LastStep(false);
        throw;
    }
    run.LastStep(completed);
    return completed ? CheckEnd::Completed : CheckEnd::Cancelled;
}

} // namespace Check
