// Engine: probing the paths, grouping the files by size and comparing each same-size
// set block by block in one pass, on worker threads.
#include "check/Engine.h"

#include "check/AlignedBuffer.h"
#include "scan/FileProbe.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace Check {

namespace {

    constexpr auto kPumpInterval = std::chrono::milliseconds(25);
    constexpr std::size_t kProbeBatch = 64;

    // Hashes a block that differed from the set's first file, to split the rest of
    // the set without comparing every pair. Four lanes keep the multiplier busy.
    std::uint64_t BlockHash(const std::byte* p, std::size_t n)
    {
        constexpr std::uint64_t k = 0x9E3779B97F4A7C15ULL;
        std::uint64_t h[4] = { n, n ^ k, n + k, ~n };
        std::size_t i = 0;
        for (; i + 32 <= n; i += 32) {
            for (int lane = 0; lane < 4; ++lane) {
                std::uint64_t w;
                std::memcpy(&w, p + i + 8 * lane, 8);
                h[lane] = (h[lane] ^ w) * k;
                h[lane] ^= h[lane] >> 29;
            }
        }
        for (; i + 8 <= n; i += 8) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            h[0] = (h[0] ^ w) * k;
            h[0] ^= h[0] >> 29;
        }
        std::uint64_t tail = 0;
        for (int shift = 0; i < n; ++i, shift += 8)
            tail |= static_cast<std::uint64_t>(p[i]) << shift;
        std::uint64_t r = (h[0] ^ tail) * k;
        for (int lane = 1; lane < 4; ++lane)
            r = (r ^ (r >> 31) ^ h[lane]) * k;
        return r ^ (r >> 32);
    }

    unsigned WorkerCount(unsigned wanted)
    {
        if (wanted > 0)
            return wanted;
        const unsigned cores = std::thread::hardware_concurrency();
        return std::clamp(cores, 1U, 4U);
    }

} // namespace

// State the workers share during Classify.
struct ContentEngine::Shared {
    const std::vector<std::string>& paths;
    const std::vector<File>& files;
    const EngineOptions& options;
    std::atomic<std::uint64_t>& settled;
    // Set for a file once it is known to equal no other file.
    std::unique_ptr<std::atomic<std::uint8_t>[]> alone;
    // Set for a file whose first name failed to open when it was to be compared.
    std::unique_ptr<std::atomic<std::uint8_t>[]> openFailed;
    std::atomic<bool> stop { false };
};

namespace {

    using Shared = ContentEngine::Shared;

    // Receives what a refinement finds.
    class RefineSink {
    public:
        virtual ~RefineSink() = default;
        // Takes a set of files equal over the whole range.
        virtual void Equal(const std::vector<std::uint32_t>& members) = 0;
        // Takes a set equal before offset whose remaining bytes are worth spreading.
        virtual void Deferred(const std::vector<std::uint32_t>& members, std::uint64_t offset) = 0;
    };

    // One worker's comparison machinery: two block buffers and reusable lists, so that
    // comparing a set allocates nothing per file.
    class Refiner {
    public:
        explicit Refiner(Shared& shared)
            : m_shared(shared)
            , m_first(MakeAlignedBuffer(shared.options.chunkBytes))
            , m_other(MakeAlignedBuffer(shared.options.chunkBytes))
        {
        }

        // Splits members, files of one size, by their bytes in [begin, end): reads the
        // block of the set's first file, then that block of every other member beside
        // it. Members whose block differs are hashed and regrouped, and every file left
        // alone is marked as such. With mayDefer, a set still together after the head
        // block whose remaining bytes reach the split size goes to sink.Deferred.
        void Refine(std::vector<std::uint32_t> members, std::uint64_t begin, std::uint64_t end, bool mayDefer,
            RefineSink& sink)
        {
            m_stack.clear();
            m_stack.push_back(Cell { begin, std::move(members), {} });
            while (!m_stack.empty() && !m_shared.stop.load(std::memory_order_relaxed)) {
                Cell cell = std::move(m_stack.back());
                m_stack.pop_back();
                RefineCell(cell, end, mayDefer, sink);
            }
        }

    private:
        struct Cell {
            std::uint64_t offset = 0;
            std::vector<std::uint32_t> members;
            // Open files, parallel to members; empty when the set is read by reopening.
            std::vector<Platform::BlockReader> files;
        };
        struct Differing {
            std::uint64_t hash;
            std::size_t index;
        };

        bool IsAlone(std::uint32_t file) const
        {
            return m_shared.alone[file].load(std::memory_order_relaxed) != 0;
        }

        void MarkAlone(std::uint32_t file, std::uint64_t from, std::uint64_t end)
        {
            m_shared.alone[file].store(1, std::memory_order_relaxed);
            Settle(end - from);
        }

        void Settle(std::uint64_t bytes) { m_shared.settled.fetch_add(bytes, std::memory_order_relaxed); }

        std::uint64_t NextBoundary(std::uint64_t offset, std::uint64_t end) const
        {
            const EngineOptions& o = m_shared.options;
            if (offset == 0 && end <= o.wholeFileBytes)
                return end;
            if (offset < o.headBytes)
                return std::min<std::uint64_t>(end, o.headBytes);
            return std::min<std::uint64_t>(end, (offset / o.chunkBytes + 1) * o.chunkBytes);
        }

        // Opens a member; a failure is remembered unless the process ran out of
        // descriptors, which says nothing about the file.
        Platform::Status OpenMember(std::uint32_t file, Platform::BlockReader& reader) const
        {
            const Platform::Status result = reader.Open(m_shared.paths[m_shared.files[file].path]);
            if (!result.Ok() && result != Platform::Error::TooManyOpenFiles)
                m_shared.openFailed[file].store(1, std::memory_order_relaxed);
            return result;
        }

        void OpenAll(Cell& cell)
        {
            if (!cell.files.empty() || cell.members.size() > m_shared.options.maxOpenFiles)
                return;
            cell.files.resize(cell.members.size());
            for (std::size_t k = 0; k < cell.members.size(); ++k) {
                const std::uint32_t file = cell.members[k];
                // A file that does not open is read as failing, which leaves it alone.
                const Platform::Status result = OpenMember(file, cell.files[k]);
                if (result == Platform::Error::TooManyOpenFiles) {
                    // Out of descriptors: read the set by reopening instead.
                    cell.files.clear();
                    return;
                }
                if (result.Ok() && m_shared.files[file].size > m_shared.options.chunkBytes)
                    cell.files[k].AdviseSequential();
            }
        }

        bool ReadMember(
            const Cell& cell, std::size_t k, std::uint64_t offset, std::size_t n, std::byte* buffer) const
        {
            if (!cell.files.empty())
                return cell.files[k].IsOpen() && cell.files[k].ReadExact(offset, buffer, n);
            Platform::BlockReader file;
            if (!OpenMember(cell.members[k], file).Ok())
                return false;
            return file.ReadExact(offset, buffer, n);
        }

        // Keeps the members for which keep(k) holds, with their open files.
        template <class Keep> void Compact(Cell& cell, Keep keep)
        {
            std::size_t out = 0;
            for (std::size_t k = 0; k < cell.members.size(); ++k) {
                if (!keep(k))
                    continue;
                cell.members[out] = cell.members[k];
                if (!cell.files.empty())
                    cell.files[out] = std::move(cell.files[k]);
                ++out;
            }
            cell.members.resize(out);
            if (!cell.files.empty())
                cell.files.resize(out);
        }

        void RefineCell(Cell& cell, std::uint64_t end, bool mayDefer, RefineSink& sink)
        {
            const EngineOptions& o = m_shared.options;
            std::uint64_t offset = cell.offset;
            OpenAll(cell);
            while (offset < end) {
                if (m_shared.stop.load(std::memory_order_relaxed))
                    return;
                // Files another range already found alone need no more reading here.
                Compact(cell, [&](std::size_t k) {
                    if (!IsAlone(cell.members[k]))
                        return true;
                    Settle(end - offset);
                    return false;
                });
                if (cell.members.size() < 2)
                    break;
                if (mayDefer && offset >= o.headBytes
                    && cell.members.size() * (end - offset) >= o.splitBytes) {
                    sink.Deferred(cell.members, offset);
                    return;
                }
                if (SkipHoles(cell, offset, end))
                    continue;
                const std::uint64_t next = NextBoundary(offset, end);
                const auto n = static_cast<std::size_t>(next - offset);
                if (!ReadMember(cell, 0, offset, n, m_first.get())) {
                    MarkAlone(cell.members[0], offset, end);
                    Compact(cell, [](std::size_t k) { return k != 0; });
                    continue;
                }
                m_differing.clear();
                m_keep.assign(cell.members.size(), 1);
                for (std::size_t k = 1; k < cell.members.size(); ++k) {
                    if (m_shared.stop.load(std::memory_order_relaxed))
                        return;
                    if (!ReadMember(cell, k, offset, n, m_other.get())) {
                        MarkAlone(cell.members[k], offset, end);
                        m_keep[k] = 0;
                    } else if (std::memcmp(m_first.get(), m_other.get(), n) != 0) {
                        m_differing.push_back({ BlockHash(m_other.get(), n), k });
                        m_keep[k] = 0;
                    }
                }
                SplitOff(cell, offset, end);
                Compact(cell, [&](std::size_t k) { return m_keep[k] != 0; });
                Settle(static_cast<std::uint64_t>(n) * cell.members.size());
                offset = next;
            }
            if (cell.members.size() == 1)
                MarkAlone(cell.members[0], offset, end);
            else if (cell.members.size() > 1)
                sink.Equal(cell.members);
        }

        // Moves offset past a hole that every member has there: holes read as zeros in
        // all of them alike. Returns true when it moved.
        bool SkipHoles(const Cell& cell, std::uint64_t& offset, std::uint64_t end)
        {
            if (cell.files.empty() || end - offset <= m_shared.options.chunkBytes)
                return false;
            const bool anySparse = std::any_of(cell.members.begin(), cell.members.end(),
                [&](std::uint32_t f) { return m_shared.files[f].sparse; });
            if (!anySparse)
                return false;
            std::uint64_t data = end;
            for (const Platform::BlockReader& file : cell.files) {
                if (!file.IsOpen())
                    return false;
                data = std::min(data, file.NextData(offset));
                if (data <= offset)
                    return false;
            }
            Settle((data - offset) * cell.members.size());
            offset = data;
            return true;
        }

        // Turns the members whose block differed from the first file's into new sets
        // by block hash; each new set is compared again from this block on.
        void SplitOff(Cell& cell, std::uint64_t offset, std::uint64_t end)
        {
            std::sort(m_differing.begin(), m_differing.end(),
                [](const Differing& a, const Differing& b) { return a.hash < b.hash; });
            for (std::size_t run = 0; run < m_differing.size();) {
                std::size_t stop = run + 1;
                while (stop < m_differing.size() && m_differing[stop].hash == m_differing[run].hash)
                    ++stop;
                if (stop - run == 1) {
                    MarkAlone(cell.members[m_differing[run].index], offset, end);
                } else {
                    Cell split { offset, {}, {} };
                    split.members.reserve(stop - run);
                    for (std::size_t d = run; d < stop; ++d)
                        split.members.push_back(cell.members[m_differing[d].index]);
                    if (!cell.files.empty()) {
                        split.files.reserve(stop - run);
                        for (std::size_t d = run; d < stop; ++d)
                            split.files.push_back(std::move(cell.files[m_differing[d].index]));
                    }
                    m_stack.push_back(std::move(split));
                }
                run = stop;
            }
        }

        Shared& m_shared;
        AlignedBuffer m_first;
        AlignedBuffer m_other;
        std::vector<Cell> m_stack;
        std::vector<Differing> m_differing;
        std::vector<std::uint8_t> m_keep;
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

    // Collects a head-phase worker's results: finished sets and sets to spread.
    class HeadSink : public RefineSink {
    public:
        void Equal(const std::vector<std::uint32_t>& members) override { equal.Add(members); }
        void Deferred(const std::vector<std::uint32_t>& members, std::uint64_t offset) override
        {
            deferred.Add(members, offset);
        }
        SetList equal;
        SetList deferred;
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

    constexpr std::uint64_t kNoLabel = UINT64_MAX;

} // namespace

// Threads kept for the engine's lifetime, so that each phase costs no thread start.
class ContentEngine::WorkerPool {
public:
    explicit WorkerPool(unsigned threads)
    {
        m_workers.reserve(threads);
        try {
            for (unsigned w = 0; w < threads; ++w)
                m_workers.emplace_back([this, w] { Serve(w); });
        } catch (...) {
            Quit();
            throw;
        }
    }
    ~WorkerPool() { Quit(); }
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Runs work(worker) on every worker and waits for all of them, calling pump about
    // every 25 ms meanwhile; a false from pump raises stop. Rethrows the first
    // exception a worker threw. Returns false when stopped.
    bool Run(std::atomic<bool>& stop, const std::function<void(unsigned)>& work, const Pump& pump)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_work = &work;
        m_stop = &stop;
        m_failure = nullptr;
        m_running = static_cast<unsigned>(m_workers.size());
        ++m_generation;
        m_wake.notify_all();
        // Waits for the workers on every way out, also when pump throws.
        struct Drain {
            WorkerPool& pool;
            std::unique_lock<std::mutex>& lock;
            ~Drain()
            {
                if (!lock.owns_lock())
                    lock.lock();
                if (pool.m_running > 0) {
                    pool.m_stop->store(true);
                    pool.m_finished.wait(lock, [this] { return pool.m_running == 0; });
                }
                pool.m_work = nullptr;
            }
        } drain { *this, lock };
        bool stopped = false;
        while (!m_finished.wait_for(lock, kPumpInterval, [this] { return m_running == 0; })) {
            if (stopped)
                continue;
            lock.unlock();
            stopped = !pump();
            if (stopped)
                stop = true;
            lock.lock();
        }
        if (m_failure)
            std::rethrow_exception(m_failure);
        return !stopped && !stop;
    }

private:
    void Serve(unsigned worker)
    {
        std::uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_quit || m_generation != seen; });
            if (m_quit)
                return;
            seen = m_generation;
            const std::function<void(unsigned)>* work = m_work;
            lock.unlock();
            try {
                (*work)(worker);
            } catch (...) {
                lock.lock();
                if (!m_failure)
                    m_failure = std::current_exception();
                m_stop->store(true);
                lock.unlock();
            }
            lock.lock();
            if (--m_running == 0)
                m_finished.notify_all();
        }
    }

    void Quit()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        for (std::thread& t : m_workers)
            t.join();
    }

    std::vector<std::thread> m_workers;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_finished;
    const std::function<void(unsigned)>* m_work = nullptr;
    std::atomic<bool>* m_stop = nullptr;
    std::exception_ptr m_failure;
    std::uint64_t m_generation = 0;
    unsigned m_running = 0;
    bool m_quit = false;
};

bool ContentEngine::RunWorkers(
    std::atomic<bool>& stop, const std::function<void(unsigned)>& work, const Pump& pump)
{
    if (!m_pool)
        m_pool = std::make_unique<WorkerPool>(m_threads);
    return m_pool->Run(stop, work, pump);
}

ContentEngine::ContentEngine(const std::vector<std::string>& paths, const EngineOptions& options)
    : m_paths(paths)
    , m_options(options)
    , m_threads(WorkerCount(options.threads))
{
    m_options.headBytes = std::max<std::size_t>(1, m_options.headBytes);
    m_options.chunkBytes = std::max(m_options.chunkBytes, m_options.headBytes);
    m_options.maxOpenFiles = std::max<std::size_t>(1, m_options.maxOpenFiles);
    m_options.wholeFileBytes = std::min(m_options.wholeFileBytes, m_options.chunkBytes);
}

ContentEngine::~ContentEngine() = default;

bool ContentEngine::Probe(const Pump& pump)
{
    struct Looked {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::uint64_t size = 0;
        bool sparse = false;
        bool regular = false;
    };
    const std::size_t count = m_paths.size();
    std::vector<Looked> looked(count);
    std::atomic<std::size_t> next { 0 };
    std::atomic<bool> stop { false };
    // Every path is looked up once; what is not a regular file never opens.
    if (!RunWorkers(
            stop,
            [&](unsigned) {
                Platform::FolderProbe probe;
                Platform::ProbedFile info;
                for (;;) {
                    const std::size_t first = next.fetch_add(kProbeBatch, std::memory_order_relaxed);
                    if (first >= count || stop.load(std::memory_order_relaxed))
                        return;
                    const std::size_t last = std::min(count, first + kProbeBatch);
                    std::uint64_t bytes = 0;
                    for (std::size_t p = first; p < last; ++p) {
                        if (probe.Stat(m_paths[p], info).Ok()) {
                            looked[p]
                                = { info.device, info.inode, info.size, info.allocated < info.size, true };
                            bytes += info.size;
                        }
                    }
                    m_pathsProbed.fetch_add(last - first, std::memory_order_relaxed);
                    m_bytesProbed.fetch_add(bytes, std::memory_order_relaxed);
                }
            },
            pump))
        return false;

    // One file per device and inode: links and second names of a file share it.
    std::vector<std::uint32_t> order;
    order.reserve(count);
    for (std::size_t p = 0; p < count; ++p) {
        if (looked[p].regular)
            order.push_back(static_cast<std::uint32_t>(p));
    }
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const Looked& x = looked[a];
        const Looked& y = looked[b];
        if (x.device != y.device)
            return x.device < y.device;
        if (x.inode != y.inode)
            return x.inode < y.inode;
        return a < b;
    });
    m_fileOfPath.assign(count, kNoFile);
    m_openable.assign(count, 0);
    m_files.clear();
    for (std::size_t k = 0; k < order.size(); ++k) {
        const Looked& p = looked[order[k]];
        if (k == 0 || p.device != looked[order[k - 1]].device || p.inode != looked[order[k - 1]].inode)
            m_files.push_back({ p.size, order[k], p.sparse });
        m_fileOfPath[order[k]] = static_cast<std::uint32_t>(m_files.size() - 1);
        m_openable[order[k]] = 1;
    }
    m_classOf.resize(m_files.size());
    for (std::size_t f = 0; f < m_files.size(); ++f)
        m_classOf[f] = static_cast<std::uint32_t>(f);

    // Whether a regular file opens is learnt by opening it. The first name of a file
    // that shares its size (and is not empty) is opened anyway when it is compared;
    // every other path is opened here. Once any path fails, every path is opened here,
    // so that the first failure in list order is known before anything is compared.
    std::vector<std::size_t> sizeOrder(m_files.size());
    for (std::size_t f = 0; f < sizeOrder.size(); ++f)
        sizeOrder[f] = f;
    std::sort(sizeOrder.begin(), sizeOrder.end(),
        [&](std::size_t a, std::size_t b) { return m_files[a].size < m_files[b].size; });
    m_pending.assign(m_files.size(), 0);
    for (std::size_t k = 0; k < sizeOrder.size(); ++k) {
        const std::uint64_t size = m_files[sizeOrder[k]].size;
        const bool shared = (k > 0 && m_files[sizeOrder[k - 1]].size == size)
            || (k + 1 < sizeOrder.size() && m_files[sizeOrder[k + 1]].size == size);
        if (shared && size > 0)
            m_pending[sizeOrder[k]] = 1;
    }
    m_anyUnopenable = order.size() < count;
    auto heldBack = [&](std::size_t p) {
        const std::uint32_t file = m_fileOfPath[p];
        return m_pending[file] && m_files[file].path == p;
    };
    for (int pass = 0; pass < 2; ++pass) {
        // The second pass opens the first names held back by the first, after a failure.
        const bool all = m_anyUnopenable;
        next = 0;
        std::atomic<bool> failed { false };
        if (!RunWorkers(
                stop,
                [&](unsigned) {
                    Platform::FolderProbe probe;
                    for (;;) {
                        const std::size_t first = next.fetch_add(kProbeBatch, std::memory_order_relaxed);
                        if (first >= count || stop.load(std::memory_order_relaxed))
                            return;
                        const std::size_t last = std::min(count, first + kProbeBatch);
                        for (std::size_t p = first; p < last; ++p) {
                            if (!m_openable[p] || (pass == 0 && !all && heldBack(p))
                                || (pass == 1 && !heldBack(p)))
                                continue;
                            if (!probe.TryOpen(m_paths[p]).Ok()) {
                                m_openable[p] = 0;
                                failed = true;
                            }
                        }
                    }
                },
                pump))
            return false;
        if (!failed || all)
            break;
        m_anyUnopenable = true;
    }
    if (m_anyUnopenable)
        std::fill(m_pending.begin(), m_pending.end(), 0);
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
    for (std::size_t f = 0; f < fileCount; ++f)
        m_classOf[f] = static_cast<std::uint32_t>(f);

    // Same-size sets of the needed files, the largest work first.
    std::vector<std::uint32_t> bySize;
    for (std::size_t f = 0; f < fileCount; ++f) {
        if (f < needed.size() && needed[f])
            bySize.push_back(static_cast<std::uint32_t>(f));
    }
    std::sort(bySize.begin(), bySize.end(), [&](std::uint32_t a, std::uint32_t b) {
        return m_files[a].size != m_files[b].size ? m_files[a].size < m_files[b].size : a < b;
    });
    struct SizeSet {
        std::size_t begin, end;
        std::uint64_t bytes;
    };
    std::vector<SizeSet> sets;
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
                sets.push_back({ b, e, size * (e - b) });
                total += size * (e - b);
                files += e - b;
            }
        }
        b = e;
    }
    std::stable_sort(
        sets.begin(), sets.end(), [](const SizeSet& a, const SizeSet& b) { return a.bytes > b.bytes; });
    m_bytesToSettle = total;
    m_bytesSettled = 0;
    m_filesToCompare = files;
    m_filesCompared = 0;

    Shared shared { m_paths, m_files, m_options, m_bytesSettled,
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

    // Head phase: every same-size set is compared by one worker; sets that stay
    // together over many bytes are handed on to be compared in ranges.
    std::vector<HeadSink> heads(m_threads);
    std::atomic<std::size_t> nextSet { 0 };
    const bool mayDefer = m_threads > 1;
    if (!RunWorkers(
            shared.stop,
            [&](unsigned w) {
                Refiner refiner(shared);
                std::vector<std::uint32_t> members;
                for (;;) {
                    const std::size_t s = nextSet.fetch_add(1, std::memory_order_relaxed);
                    if (s >= sets.size() || shared.stop.load(std::memory_order_relaxed))
                        return;
                    members.assign(bySize.begin() + static_cast<std::ptrdiff_t>(sets[s].begin),
                        bySize.begin() + static_cast<std::ptrdiff_t>(sets[s].end));
                    const std::size_t deferredBefore = heads[w].deferred.members.size();
                    refiner.Refine(members, 0, m_files[members[0]].size, mayDefer, heads[w]);
                    // Files handed on to the range phase are done with when it ends.
                    const std::size_t deferred = heads[w].deferred.members.size() - deferredBefore;
                    m_filesCompared.fetch_add(members.size() - deferred, std::memory_order_relaxed);
                }
            },
            pump))
        return false;

    auto assignClass = [&](const std::uint32_t* members, std::size_t n) {
        const std::uint32_t cls = *std::min_element(members, members + n);
        for (std::size_t k = 0; k < n; ++k)
            m_classOf[members[k]] = cls;
    };
    for (const HeadSink& head : heads) {
        for (std::size_t s = 0; s < head.equal.Count(); ++s)
            assignClass(
                head.equal.members.data() + head.equal.Begin(s), head.equal.End(s) - head.equal.Begin(s));
    }

    // Range phase: each deferred set is cut into one byte range per worker; a file is
    // equal to another when it is in every range.
    struct RangeJob {
        const SetList* list;
        std::size_t set;
        unsigned part;
        std::uint64_t begin, end;
    };
    std::vector<RangeJob> jobs;
    const unsigned parts = m_threads;
    std::vector<std::vector<std::uint64_t>> labels(parts);
    bool anyDeferred = false;
    for (const HeadSink& head : heads)
        anyDeferred = anyDeferred || head.deferred.Count() > 0;
    if (!anyDeferred)
        return true;
    for (auto& l : labels)
        l.assign(fileCount, kNoLabel);
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
    std::atomic<std::size_t> nextJob { 0 };
    if (!RunWorkers(
            shared.stop,
            [&](unsigned w) {
                Refiner refiner(shared);
                std::vector<std::uint32_t> members;
                for (;;) {
                    const std::size_t j = nextJob.fetch_add(1, std::memory_order_relaxed);
                    if (j >= jobs.size() || shared.stop.load(std::memory_order_relaxed))
                        return;
                    const RangeJob& job = jobs[j];
                    LabelSink sink(labels[job.part], w);
                    members.assign(
                        job.list->members.begin() + static_cast<std::ptrdiff_t>(job.list->Begin(job.set)),
                        job.list->members.begin() + static_cast<std::ptrdiff_t>(job.list->End(job.set)));
                    refiner.Refine(members, job.begin, job.end, false, sink);
                }
            },
            pump))
        return false;
    for (const HeadSink& head : heads)
        m_filesCompared.fetch_add(head.deferred.members.size(), std::memory_order_relaxed);

    // Files equal in every range form a class; a range that left a file unlabelled
    // found it alone (or never got to it because another range did).
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
            std::sort(members.begin(), members.end(), less);
            for (std::size_t b = 0; b < members.size();) {
                std::size_t e = b + 1;
                while (e < members.size() && same(members[b], members[e]))
                    ++e;
                if (e - b >= 2)
                    assignClass(members.data() + b, e - b);
                b = e;
            }
        }
    }
    return true;
}

} // namespace Check
