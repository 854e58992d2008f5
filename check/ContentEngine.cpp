// ContentEngine: probing the paths, grouping the files by size and comparing each same-size
// set block by block in one pass, on worker threads.
#include "check/ContentEngine.h"

#include "check/Refiner.h"
#include "check/WorkerPool.h"
#include "scan/FileProbe.h"
#include "scan/PathStore.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace Check {

namespace {

    constexpr std::size_t kProbeBatch = 64;
    // Paths looked up before those found join the engine's files.
    constexpr std::size_t kLookUpSlice = std::size_t { 1 } << 16;
    constexpr std::uint64_t kNoLabel = UINT64_MAX;

    // Requests in flight: a solid-state or virtual disk serves many at once and is
    // idle between them with few; a rotational disk seeks from one to the next.
    constexpr unsigned kSolidStateDepth = 16;
    constexpr unsigned kRotationalDepth = 4;
    // Ranges a long set is cut into: each costs a label per file.
    constexpr unsigned kMaxRangeParts = 8;

    unsigned CoreCount() { return std::clamp(std::thread::hardware_concurrency(), 1U, 4U); }

    // One seat per core: a comparing worker takes one, and gives it up only while a read
    // of it waits for the disk. With the files in memory as many workers run as there
    // are cores (more would only take turns, each evicting the others' buffers from the
    // caches); with the files on disk every worker keeps a request in flight. A waiting
    // worker sleeps at once: std::counting_semaphore spins through a dozen yields first,
    // which a dozen waiting workers turned into thousands per check.
    class CoreSeats final : public Platform::ReadGate {
    public:
        explicit CoreSeats(unsigned cores)
            : m_free(cores)
        {
        }
        void Enter() override
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_freed.wait(lock, [this] { return m_free > 0; });
            --m_free;
        }
        void Leave() override
        {
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                ++m_free;
            }
            m_freed.notify_one();
        }

    private:
        std::mutex m_mutex;
        std::condition_variable m_freed;
        unsigned m_free;
    };

    // A worker's seat for one phase, and the gate its reads go through meanwhile.
    class Seat {
    public:
        explicit Seat(Platform::ReadGate* gate)
            : m_gate(gate)
        {
            if (!m_gate)
                return;
            m_gate->Enter();
            Platform::SetReadGate(m_gate);
        }
        ~Seat()
        {
            if (!m_gate)
                return;
            Platform::SetReadGate(nullptr);
            m_gate->Leave();
        }
        Seat(const Seat&) = delete;
        Seat& operator=(const Seat&) = delete;

    private:
        Platform::ReadGate* m_gate;
    };

    // Sets of equal files in one flat list.
    struct SetList {
        std::vector<std::uint32_t> members;
        std::vector<std::size_t> starts;
        std::vector<std::uint64_t> offsets;

        void Add(const std::vector<std::uint32_t>& set, std::uint64_t offset = 0)
        {
            starts.push_back(members.size());
            offsets.push_back(offset);
            members.insert(members.end(), set.begin(), set.end());
        }
        std::size_t Count() const { return starts.size(); }
        std::size_t Begin(std::size_t s) const { return starts[s]; }
        std::size_t End(std::size_t s) const
        {
            return s + 1 < starts.size() ? starts[s + 1] : members.size();
        }
    };

    // Labels the files of each equal set of one range with a number unique to the worker.
    class LabelSink : public RefineSink {
    public:
        LabelSink(std::vector<std::uint64_t>& labels, unsigned worker)
            : m_labels(labels)
            , m_next(static_cast<std::uint64_t>(worker) << 40)
        {
        }
        void Equal(const std::vector<std::uint32_t>& members) override
        {
            for (std::uint32_t f : members)
                m_labels[f] = m_next;
            ++m_next;
        }
        void Deferred(const std::vector<std::uint32_t>&, std::uint64_t) override { }

    private:
        std::vector<std::uint64_t>& m_labels;
        std::uint64_t m_next;
    };

} // namespace

// A run of files of one size in the size-sorted list, and the bytes they hold.
struct ContentEngine::SizeSet {
    std::size_t begin, end;
    std::uint64_t bytes;
    // Where its first file on a rotational disk lies.
    std::uint64_t place = 0;
};

// Collects a head-phase worker's results: finished sets and sets to spread.
class ContentEngine::HeadSink : public RefineSink {
public:
    void Equal(const std::vector<std::uint32_t>& members) override { equal.Add(members); }
    void Deferred(const std::vector<std::uint32_t>& members, std::uint64_t offset) override
    {
        deferred.Add(members, offset);
    }
    SetList equal;
    SetList deferred;
};

bool ContentEngine::RunWorkers(
    std::atomic<bool>& stop, const std::function<void(unsigned)>& work, const Pump& pump)
{
    if (!m_pool)
        m_pool = std::make_unique<WorkerPool>(m_threads);
    return m_pool->Run(stop, work, pump);
}

ContentEngine::ContentEngine(const FileScan::PathStore& paths, const EngineOptions& options)
    : m_paths(paths)
    , m_options(options)
{
    m_options.headBytes = std::max<std::size_t>(1, m_options.headBytes);
    m_options.chunkBytes = std::max(m_options.chunkBytes, m_options.headBytes);
    m_options.maxOpenFiles = std::max<std::size_t>(1, m_options.maxOpenFiles);
    m_options.wholeFileBytes = std::min(m_options.wholeFileBytes, m_options.chunkBytes);
}

ContentEngine::~ContentEngine() = default;

void ContentEngine::ChooseWorkers()
{
    if (!m_fileOfPath.empty() && m_fileOfPath.front() != kNoFile) {
        m_rotational = Platform::RotationalDisk(m_devices[m_files[m_fileOfPath.front()].device]);
    } else {
        Platform::FileInfo first;
        m_rotational = !m_paths.Empty() && Platform::FolderProbe().Stat(m_paths.At(0), first).Ok()
            && Platform::RotationalDisk(first.device);
    }
    if (m_options.threads > 0) {
        m_threads = m_options.threads;
        return;
    }
    // The comparing takes the cores; the rest of the workers wait on the disk.
    const unsigned depth = m_options.ioDepth > 0 ? m_options.ioDepth
        : m_rotational                           ? kRotationalDepth
                                                 : kSolidStateDepth;
    m_threads = std::max(depth, CoreCount());
    m_gateReads = m_threads > CoreCount();
}

void ContentEngine::Reserve(std::size_t paths)
{
    m_fileOfPath.reserve(paths);
    m_files.reserve(paths);
    if (2 * paths > m_identities.size()) {
        std::size_t capacity = 16;
        while (capacity < 2 * paths)
            capacity *= 2;
        m_identities.assign(capacity, kNoFile);
        for (std::size_t f = 0; f < m_files.size(); ++f) {
            const std::uint64_t hash = IdentityHash(m_files[f].inode, m_files[f].device);
            *FindIdentity(m_files[f].inode, m_files[f].device, hash) = static_cast<std::uint32_t>(f);
        }
    }
}

void ContentEngine::TakeLookedUp(std::uint32_t path, const Looked& file)
{
    if (!file.regular)
        return;
    // The identity's slot is fetched now and filled a few look-ups later: a million
    // look-ups wait for their slots side by side instead of one after another.
    const std::uint32_t device = DeviceIndex(file.device);
    const std::uint64_t hash = IdentityHash(file.inode, device);
    if (!m_identities.empty())
        __builtin_prefetch(&m_identities[hash & (m_identities.size() - 1)]);
    Taken& next = m_taken[(m_takenFirst + m_takenCount) % kTakeAhead];
    if (m_takenCount == kTakeAhead) {
        JoinTaken(next);
        m_takenFirst = (m_takenFirst + 1) % kTakeAhead;
    } else {
        ++m_takenCount;
    }
    next = { path, device, hash, file };
}

void ContentEngine::JoinTaken(const Taken& taken)
{
    if (taken.path >= m_fileOfPath.size())
        m_fileOfPath.resize(taken.path + 1, kNoFile);
    m_fileOfPath[taken.path] = FileOfIdentity(taken.path, taken.device, taken.hash, taken.file);
}

void ContentEngine::JoinAllTaken()
{
    for (; m_takenCount > 0; --m_takenCount, m_takenFirst = (m_takenFirst + 1) % kTakeAhead)
        JoinTaken(m_taken[m_takenFirst]);
}

bool ContentEngine::Probe(const Pump& pump)
{
    JoinAllTaken();
    const std::size_t count = m_paths.Size();
    m_fileOfPath.resize(count, kNoFile);
    ChooseWorkers();
    if (!LookUp(pump))
        return false;
    m_identities = std::vector<std::uint32_t>();
    m_openable.assign(count, 0);
    std::size_t regular = 0;
    for (std::size_t p = 0; p < count; ++p) {
        if (m_fileOfPath[p] != kNoFile) {
            m_openable[p] = 1;
            ++regular;
        }
    }
    m_classOf.resize(m_files.size());
    for (std::size_t f = 0; f < m_files.size(); ++f)
        m_classOf[f] = static_cast<std::uint32_t>(f);
    HoldBackFirstNames();
    if (m_rotational)
        PlaceOnDisk();
    m_anyUnopenable = regular < count;
    if (!TryOpens(pump))
        return false;
    if (m_anyUnopenable)
        std::fill(m_pending.begin(), m_pending.end(), 0);
    return true;
}

bool ContentEngine::LookUp(const Pump& pump)
{
    // Every path the caller did not look up is looked up once, on the workers; what is
    // not a regular file never opens. The files found join in path order afterwards.
    std::vector<std::uint32_t> missing;
    std::uint64_t bytes = 0;
    for (std::size_t p = 0; p < m_fileOfPath.size(); ++p) {
        if (m_fileOfPath[p] == kNoFile)
            missing.push_back(static_cast<std::uint32_t>(p));
        else
            bytes += m_files[m_fileOfPath[p]].size;
    }
    m_pathsProbed.fetch_add(m_fileOfPath.size() - missing.size(), std::memory_order_relaxed);
    m_bytesProbed.fetch_add(bytes, std::memory_order_relaxed);
    if (missing.empty())
        return true;
    Reserve(m_files.size() + missing.size());
    // A slice at a time: the look-ups wait for their joining in a few MiB, where all at
    // once they took 40 bytes a path (a window that looks up a million files).
    std::vector<Looked> looked;
    for (std::size_t start = 0; start < missing.size(); start += kLookUpSlice) {
        const std::size_t count = std::min(kLookUpSlice, missing.size() - start);
        looked.assign(count, Looked {});
        if (!ProbeBatches(
                count,
                [&](Platform::FolderProbe& probe, std::string& path, std::size_t first, std::size_t last) {
                    Platform::FileInfo info;
                    std::uint64_t found = 0;
                    for (std::size_t k = first; k < last; ++k) {
                        m_paths.CopyTo(missing[start + k], path);
                        if (probe.Stat(path, info).Ok()) {
                            looked[k] = { info.device, info.inode, info.size, info.mtime,
                                info.allocated < info.size, true };
                            found += info.size;
                        }
                    }
                    m_pathsProbed.fetch_add(last - first, std::memory_order_relaxed);
                    m_bytesProbed.fetch_add(found, std::memory_order_relaxed);
                },
                pump))
            return false;
        for (std::size_t k = 0; k < count; ++k)
            TakeLookedUp(missing[start + k], looked[k]);
        JoinAllTaken();
    }
    return true;
}

bool ContentEngine::ProbeBatches(std::size_t count, const ProbeBatch& batch, const Pump& pump)
{
    std::atomic<std::size_t> next { 0 };
    std::atomic<bool> stop { false };
    return RunWorkers(
        stop,
        [&](unsigned) {
            Platform::FolderProbe probe;
            std::string path;
            for (;;) {
                const std::size_t first = next.fetch_add(kProbeBatch, std::memory_order_relaxed);
                if (first >= count || stop.load(std::memory_order_relaxed))
                    return;
                batch(probe, path, first, std::min(count, first + kProbeBatch));
            }
        },
        pump);
}

std::uint32_t ContentEngine::FileOfIdentity(
    std::uint32_t path, std::uint32_t device, std::uint64_t hash, const Looked& file)
{
    // One file per device and inode: links and second names of a file share it. A hash
    // table of file numbers finds the file of an identity met before; the first path
    // in list order names the file, and its look-up gives the file's size.
    if (2 * (m_files.size() + 1) > m_identities.size())
        Reserve(std::max(m_files.size() + 1, m_identities.size()));
    std::uint32_t* slot = FindIdentity(file.inode, device, hash);
    if (*slot == kNoFile) {
        *slot = static_cast<std::uint32_t>(m_files.size());
        m_files.emplace_back();
    } else if (path > m_files[*slot].path) {
        return *slot;
    }
    const std::uint32_t number = *slot;
    File& known = m_files[number];
    known.size = file.size;
    known.inode = file.inode;
    known.path = path;
    known.device = device;
    known.sparse = file.sparse ? 1 : 0;
    if (!Platform::PackTime(file.mtime, known.mtime)) {
        known.mtime = 0;
        m_farTimes[number] = file.mtime;
    } else if (!m_farTimes.empty()) {
        m_farTimes.erase(number);
    }
    return number;
}

std::uint64_t ContentEngine::IdentityHash(std::uint64_t inode, std::uint32_t device)
{
    std::uint64_t h = (inode ^ (static_cast<std::uint64_t>(device) << 56)) * 0x9e3779b97f4a7c15ULL;
    return h ^ (h >> 29);
}

std::uint32_t* ContentEngine::FindIdentity(std::uint64_t inode, std::uint32_t device, std::uint64_t hash)
{
    const std::size_t mask = m_identities.size() - 1;
    std::size_t k = static_cast<std::size_t>(hash) & mask;
    while (m_identities[k] != kNoFile
        && !(m_files[m_identities[k]].inode == inode && m_files[m_identities[k]].device == device))
        k = (k + 1) & mask;
    return &m_identities[k];
}

std::uint32_t ContentEngine::DeviceIndex(std::uint64_t device)
{
    // A check meets a few devices, mostly one.
    if (!m_devices.empty() && m_devices.back() == device)
        return static_cast<std::uint32_t>(m_devices.size() - 1);
    const auto known = std::find(m_devices.begin(), m_devices.end(), device);
    if (known != m_devices.end())
        return static_cast<std::uint32_t>(known - m_devices.begin());
    m_devices.push_back(device);
    return static_cast<std::uint32_t>(m_devices.size() - 1);
}

void ContentEngine::HoldBackFirstNames()
{
    // Whether a regular file opens is learnt by opening it. The first name of a file
    // that shares its size (and is not empty) is opened anyway when it is compared;
    // every other path is opened here. Once any path fails, every path is opened here,
    // so that the first failure in list order is known before anything is compared.
    // The files in size order serve Classify as well.
    SortBySize();
    m_pending.assign(m_files.size(), 0);
    const auto sizeAt = [&](std::size_t k) { return m_files[m_bySize[k]].size; };
    for (std::size_t k = 0; k < m_bySize.size(); ++k) {
        const std::uint64_t size = sizeAt(k);
        const bool shared
            = (k > 0 && sizeAt(k - 1) == size) || (k + 1 < m_bySize.size() && sizeAt(k + 1) == size);
        if (shared && size > 0)
            m_pending[m_bySize[k]] = 1;
    }
}

void ContentEngine::SortBySize()
{
    // A radix sort of the file numbers, 16 bits of the size at a time from the lowest,
    // which keeps ties in file order: a comparison sort of a million files takes a tenth
    // of a second. One pass over the files counts every digit; a digit every size shares
    // is passed over, so most trees take one pass or two. The sizes are read from the
    // files, not copied: 8 bytes per file besides them.
    constexpr unsigned kDigits = 4;
    constexpr std::size_t kValues = std::size_t { 1 } << 16;
    const std::size_t n = m_files.size();
    const auto digit = [](std::uint64_t size, unsigned d) {
        return static_cast<std::size_t>((size >> (16 * d)) & 0xffff);
    };
    std::vector<std::uint32_t> count(kDigits * kValues);
    for (const File& file : m_files) {
        for (unsigned d = 0; d < kDigits; ++d)
            ++count[d * kValues + digit(file.size, d)];
    }
    std::vector<std::uint32_t> order;
    std::vector<std::uint32_t> sorted;
    for (unsigned d = 0; d < kDigits; ++d) {
        std::uint32_t* at = &count[d * kValues];
        if (n == 0 || at[digit(m_files[0].size, d)] == n)
            continue;
        if (order.empty()) {
            order.resize(n);
            for (std::size_t f = 0; f < n; ++f)
                order[f] = static_cast<std::uint32_t>(f);
            sorted.resize(n);
        }
        std::uint32_t next = 0;
        for (std::size_t v = 0; v < kValues; ++v)
            next += std::exchange(at[v], next);
        for (const std::uint32_t f : order)
            sorted[at[digit(m_files[f].size, d)]++] = f;
        order.swap(sorted);
    }
    if (order.empty()) {
        order.resize(n);
        for (std::size_t f = 0; f < n; ++f)
            order[f] = static_cast<std::uint32_t>(f);
    }
    m_bySize = std::move(order);
}

void ContentEngine::PlaceOnDisk()
{
    // A file system places a file's data near its inode, and numbers the inodes along
    // the disk: their order is the files' order on it, with no call to learn it. (An
    // extent map would cost one more open per file.)
    m_diskOrder.resize(m_files.size());
    for (std::size_t f = 0; f < m_files.size(); ++f)
        m_diskOrder[f] = m_files[f].inode;
}

bool ContentEngine::TryOpens(const Pump& pump)
{
    auto heldBack = [&](std::size_t p) {
        const std::uint32_t file = m_fileOfPath[p];
        return m_pending[file] && m_files[file].path == p;
    };
    for (int pass = 0; pass < 2; ++pass) {
        // The second pass opens the first names held back by the first, after a failure.
        const bool all = m_anyUnopenable;
        std::atomic<bool> failed { false };
        if (!ProbeBatches(
                m_paths.Size(),
                [&](Platform::FolderProbe& probe, std::string& path, std::size_t first, std::size_t last) {
                    for (std::size_t p = first; p < last; ++p) {
                        if (!m_openable[p] || (pass == 0 && !all && heldBack(p))
                            || (pass == 1 && !heldBack(p)))
                            continue;
                        m_paths.CopyTo(p, path);
                        if (!probe.TryOpen(path).Ok()) {
                            m_openable[p] = 0;
                            failed = true;
                        }
                    }
                },
                pump))
            return false;
        if (!failed || all)
            break;
        m_anyUnopenable = true;
    }
    return true;
}

void ContentEngine::TakeOpenFailures(const Shared& shared)
{
    for (std::size_t f = 0; f < m_files.size(); ++f) {
        if (m_pending[f] && shared.openFailed[f].load(std::memory_order_relaxed)) {
            m_openable[m_files[f].path] = 0;
            m_anyUnopenable = true;
        }
    }
}

bool ContentEngine::Classify(const std::vector<std::uint8_t>& needed, const Pump& pump)
{
    const std::size_t fileCount = m_files.size();
    std::vector<std::uint32_t> bySize;
    std::vector<SizeSet> sets;
    GatherSizeSets(needed, bySize, sets);

    Shared shared { m_paths, m_files, m_devices, m_options, m_bytesSettled,
        std::make_unique<std::atomic<std::uint8_t>[]>(fileCount),
        std::make_unique<std::atomic<std::uint8_t>[]>(fileCount), {} };
    for (std::size_t f = 0; f < fileCount; ++f) {
        shared.alone[f].store(0, std::memory_order_relaxed);
        shared.openFailed[f].store(0, std::memory_order_relaxed);
    }
    // Files whose first name is first opened here learn here whether it opens.
    struct OpenOutcome {
        ContentEngine& engine;
        Shared& shared;
        ~OpenOutcome() { engine.TakeOpenFailures(shared); }
    } outcome { *this, shared };

    CoreSeats seats(CoreCount());
    if (m_gateReads && InMemory(bySize, sets))
        shared.gate = &seats;
    const DescriptorPlan plan
        = PlanDescriptors(m_options.openFileLimit > 0 ? m_options.openFileLimit : Platform::OpenFileLimit());
    shared.descriptors = plan.sets;
    Platform::FolderHandles folders(m_paths.FolderCount(), plan.folders);
    shared.folders = &folders;
    std::vector<HeadSink> heads(m_threads);
    if (!CompareHeads(shared, bySize, sets, heads, pump))
        return false;
    for (const HeadSink& head : heads) {
        for (std::size_t s = 0; s < head.equal.Count(); ++s)
            AssignClass(
                head.equal.members.data() + head.equal.Begin(s), head.equal.End(s) - head.equal.Begin(s));
    }

    const bool anyDeferred = std::any_of(
        heads.begin(), heads.end(), [](const HeadSink& head) { return head.deferred.Count() > 0; });
    if (!anyDeferred)
        return true;
    Labels labels(std::min(m_threads, kMaxRangeParts), std::vector<std::uint64_t>(fileCount, kNoLabel));
    if (!CompareRanges(shared, heads, labels, pump))
        return false;
    for (const HeadSink& head : heads)
        m_filesCompared.fetch_add(head.deferred.members.size(), std::memory_order_relaxed);
    MergeLabels(shared, heads, labels);
    return true;
}

bool ContentEngine::InMemory(const std::vector<std::uint32_t>& bySize, const std::vector<SizeSet>& sets) const
{
    // A few files spread over the sets stand for all: the head of each, and its middle
    // when it is long. The seats cost a hand-over for every read that waits, which a
    // check of files on the disk would pay for nothing.
    constexpr std::size_t kSample = 16;
    std::size_t tried = 0;
    std::size_t held = 0;
    for (std::size_t k = 0; k < kSample && k < sets.size(); ++k) {
        const std::uint32_t file = bySize[sets[k * sets.size() / std::min(kSample, sets.size())].begin];
        Platform::ReadFile reader;
        if (!reader.OpenUnchecked(m_paths.At(m_files[file].path)).Ok())
            continue;
        const std::uint64_t size = m_files[file].size;
        ++tried;
        if (reader.InMemory(0, 1) && (size <= m_options.wholeFileBytes || reader.InMemory(size / 2, 1)))
            ++held;
    }
    return tried > 0 && held * 4 >= tried * 3;
}

void ContentEngine::GatherSizeSets(
    const std::vector<std::uint8_t>& needed, std::vector<std::uint32_t>& bySize, std::vector<SizeSet>& sets)
{
    const std::size_t fileCount = m_files.size();
    for (std::size_t f = 0; f < fileCount; ++f)
        m_classOf[f] = static_cast<std::uint32_t>(f);

    // Same-size sets of the needed files, the largest work first.
    if (m_bySize.size() != fileCount)
        SortBySize();
    bySize = std::move(m_bySize);
    m_bySize = std::vector<std::uint32_t>();
    bySize.erase(std::remove_if(bySize.begin(), bySize.end(),
                     [&](std::uint32_t f) { return f >= needed.size() || !needed[f]; }),
        bySize.end());
    std::uint64_t total = 0;
    std::size_t files = 0;
    for (std::size_t b = 0; b < bySize.size();) {
        std::size_t e = b + 1;
        const std::uint64_t size = m_files[bySize[b]].size;
        while (e < bySize.size() && m_files[bySize[e]].size == size)
            ++e;
        if (e - b >= 2) {
            if (size == 0) {
                // Empty files are all equal and need no reading.
                for (std::size_t k = b; k < e; ++k)
                    m_classOf[bySize[k]] = bySize[b];
            } else {
                sets.push_back({ b, e, size * (e - b), 0 });
                total += size * (e - b);
                files += e - b;
            }
        }
        b = e;
    }
    if (m_diskOrder.size() == fileCount) {
        // A rotational disk reads the sets in the order they lie on it, so that its head
        // sweeps across rather than seeking back and forth.
        for (SizeSet& set : sets) {
            set.place = UINT64_MAX;
            for (std::size_t k = set.begin; k < set.end; ++k)
                set.place = std::min(set.place, m_diskOrder[bySize[k]]);
        }
        std::stable_sort(
            sets.begin(), sets.end(), [](const SizeSet& a, const SizeSet& b) { return a.place < b.place; });
    } else {
        std::stable_sort(
            sets.begin(), sets.end(), [](const SizeSet& a, const SizeSet& b) { return a.bytes > b.bytes; });
    }
    m_bytesToSettle = total;
    m_bytesSettled = 0;
    m_filesToCompare = files;
    m_filesCompared = 0;
}

// Head phase: every same-size set is compared by one worker; sets that stay together
// over many bytes are handed on to be compared in ranges.
bool ContentEngine::CompareHeads(Shared& shared, const std::vector<std::uint32_t>& bySize,
    const std::vector<SizeSet>& sets, std::vector<HeadSink>& heads, const Pump& pump)
{
    const bool mayDefer = m_threads > 1;
    return RefineJobs(
        shared, sets.size(),
        [&](Refiner& refiner, std::vector<std::uint32_t>& members, std::size_t s, unsigned w) {
            members.assign(bySize.begin() + static_cast<std::ptrdiff_t>(sets[s].begin),
                bySize.begin() + static_cast<std::ptrdiff_t>(sets[s].end));
            const std::size_t deferredBefore = heads[w].deferred.members.size();
            refiner.Refine(members, 0, m_files[members[0]].size, mayDefer, heads[w]);
            // Files handed on to the range phase are done with when it ends.
            const std::size_t deferred = heads[w].deferred.members.size() - deferredBefore;
            m_filesCompared.fetch_add(members.size() - deferred, std::memory_order_relaxed);
        },
        pump);
}

// Range phase: each deferred set is cut into one byte range per worker; a file is equal
// to another when it is in every range.
bool ContentEngine::CompareRanges(
    Shared& shared, const std::vector<HeadSink>& heads, Labels& labels, const Pump& pump)
{
    struct RangeJob {
        const SetList* list;
        std::size_t set;
        unsigned part;
        std::uint64_t begin, end;
    };
    std::vector<RangeJob> jobs;
    const unsigned parts = std::min(m_threads, kMaxRangeParts);
    for (const HeadSink& head : heads) {
        for (std::size_t s = 0; s < head.deferred.Count(); ++s) {
            const std::uint64_t begin = head.deferred.offsets[s];
            const std::uint64_t end = m_files[head.deferred.members[head.deferred.Begin(s)]].size;
            const std::uint64_t chunk = m_options.chunkBytes;
            std::uint64_t from = begin;
            for (unsigned part = 0; part < parts; ++part) {
                std::uint64_t to = part + 1 == parts ? end : begin + (end - begin) * (part + 1) / parts;
                to = std::min(end, (to + chunk - 1) / chunk * chunk);
                if (to > from) {
                    jobs.push_back({ &head.deferred, s, part, from, to });
                } else {
                    // An empty range tells no file apart.
                    for (std::size_t k = head.deferred.Begin(s); k < head.deferred.End(s); ++k)
                        labels[part][head.deferred.members[k]] = 0;
                }
                from = std::max(from, to);
            }
        }
    }
    auto jobBytes
        = [](const RangeJob& j) { return (j.end - j.begin) * (j.list->End(j.set) - j.list->Begin(j.set)); };
    std::stable_sort(jobs.begin(), jobs.end(),
        [&](const RangeJob& a, const RangeJob& b) { return jobBytes(a) > jobBytes(b); });
    return RefineJobs(
        shared, jobs.size(),
        [&](Refiner& refiner, std::vector<std::uint32_t>& members, std::size_t j, unsigned w) {
            const RangeJob& job = jobs[j];
            LabelSink sink(labels[job.part], w);
            members.assign(job.list->members.begin() + static_cast<std::ptrdiff_t>(job.list->Begin(job.set)),
                job.list->members.begin() + static_cast<std::ptrdiff_t>(job.list->End(job.set)));
            refiner.Refine(members, job.begin, job.end, false, sink);
        },
        pump);
}

bool ContentEngine::RefineJobs(Shared& shared, std::size_t count, const RefineJob& job, const Pump& pump)
{
    std::atomic<std::size_t> next { 0 };
    return RunWorkers(
        shared.stop,
        [&](unsigned w) {
            const Seat seat(shared.gate);
            Refiner refiner(shared);
            std::vector<std::uint32_t> members;
            for (;;) {
                const std::size_t j = next.fetch_add(1, std::memory_order_relaxed);
                if (j >= count || shared.stop.load(std::memory_order_relaxed))
                    return;
                job(refiner, members, j, w);
            }
        },
        pump);
}

// Label merge: files equal in every range form a class; a range that left a file
// unlabelled found it alone (or never got to it because another range did).
void ContentEngine::MergeLabels(
    const Shared& shared, const std::vector<HeadSink>& heads, const Labels& labels)
{
    auto less = [&](std::uint32_t a, std::uint32_t b) {
        for (const auto& l : labels) {
            if (l[a] != l[b])
                return l[a] < l[b];
        }
        return a < b;
    };
    auto same = [&](std::uint32_t a, std::uint32_t b) {
        return std::all_of(labels.begin(), labels.end(), [&](const auto& l) { return l[a] == l[b]; });
    };
    std::vector<std::uint32_t> members;
    for (const HeadSink& head : heads) {
        for (std::size_t s = 0; s < head.deferred.Count(); ++s) {
            members.clear();
            for (std::size_t k = head.deferred.Begin(s); k < head.deferred.End(s); ++k) {
                const std::uint32_t f = head.deferred.members[k];
                const bool labelled = std::all_of(labels.begin(), labels.end(),
                    [&](const std::vector<std::uint64_t>& l) { return l[f] != kNoLabel; });
                if (labelled && !shared.alone[f].load(std::memory_order_relaxed))
                    members.push_back(f);
            }
            std::sort(members.begin(), members.end(), less);
            for (std::size_t b = 0; b < members.size();) {
                std::size_t e = b + 1;
                while (e < members.size() && same(members[b], members[e]))
                    ++e;
                if (e - b >= 2)
                    AssignClass(members.data() + b, e - b);
                b = e;
            }
        }
    }
}

void ContentEngine::AssignClass(const std::uint32_t* members, std::size_t n)
{
    const std::uint32_t cls = *std::min_element(members, members + n);
    for (std::size_t k = 0; k < n; ++k)
        m_classOf[members[k]] = cls;
}

} // namespace Check
