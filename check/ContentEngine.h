// ContentEngine: sorts the files behind a list of paths into classes of identical content,
// reading with worker threads only the bytes that can still tell two files apart.
#pragma once

#include "check/WorkerPool.h"

#include "scan/Platform.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace Platform {
class FolderProbe;
}

namespace FileScan {
class PathStore;
}

namespace Check {

class Refiner;

struct EngineOptions {
    // First block read from every file that shares its size: most unequal files part here.
    std::size_t headBytes = 4096;
    // Files up to this size are read whole at once: one read costs more than the bytes.
    std::size_t wholeFileBytes = 64 * 1024;
    // Later reads are this long and start at multiples of it.
    std::size_t chunkBytes = 256 * 1024;
    // A set of files being compared keeps at most this many open; a larger set reopens
    // its files for every block.
    std::size_t maxOpenFiles = 256;
    // A set whose remaining bytes reach this is compared in ranges spread over the
    // workers instead of by one worker.
    std::uint64_t splitBytes = 64ULL << 20;
    // Worker threads; 0 takes as many as the disk wants requests in flight (ioDepth),
    // and at least one per core (at most 4). Every worker both reads and compares; when
    // there are more workers than cores, only one per core runs while reads come from
    // memory, and the rest wait on the disk.
    unsigned threads = 0;
    // Descriptors the process may hold open; 0 asks the system. The workers keep set
    // files and folders open within it (PlanDescriptors).
    std::size_t openFileLimit = 0;
    // Requests kept in flight while looking files up and reading them when threads is 0;
    // 0 chooses by the disk of the first path: 16 on a solid-state or virtual disk,
    // where the queue wants filling, 4 on a rotational one.
    unsigned ioDepth = 0;
};

class ContentEngine {
public:
    static constexpr std::uint32_t kNoFile = UINT32_MAX;

    // What the look-up of a path found: a regular file's identity, size and modification
    // time, and whether it takes less room on disk than its size (holes may be skipped
    // unread).
    struct Looked {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::uint64_t size = 0;
        Platform::FileTime mtime;
        bool sparse = false;
        bool regular = false;
    };

    // Keeps a reference to paths, which must be distinct and outlive the engine; more may
    // be added until Probe.
    ContentEngine(const FileScan::PathStore& paths, const EngineOptions& options);
    ~ContentEngine();
    ContentEngine(const ContentEngine&) = delete;
    ContentEngine& operator=(const ContentEngine&) = delete;

    // Makes room for paths paths and as many files.
    void Reserve(std::size_t paths);
    // Takes path's file as the caller looked it up: Probe does not look a path up again
    // that was taken as a regular file. Call before Probe.
    void TakeLookedUp(std::uint32_t path, const Looked& file);
    // Looks every path up once for its kind, size and identity (one taken is not looked
    // up again), and tries the paths that Classify will not open anyway to learn whether
    // they open. Returns false when the pump stopped it.
    bool Probe(const Pump& pump);
    // Sorts the files marked in needed (indexed by file) into content classes; every
    // other file stays in a class of its own. Returns false when the pump stopped it.
    bool Classify(const std::vector<std::uint8_t>& needed, const Pump& pump);

    // Tells whether a path opens as a regular file. Definite after Probe when
    // AnyUnopenable(), otherwise the first name of each file that shares its size is
    // only known to open once Classify has compared it.
    bool Openable(std::uint32_t path) const { return m_openable[path] != 0; }
    bool AnyUnopenable() const { return m_anyUnopenable; }
    // Returns the file a path leads to, shared by every path of the same device and
    // inode, or kNoFile when the path leads to no regular file.
    std::uint32_t FileOf(std::uint32_t path) const { return m_fileOfPath[path]; }
    std::size_t FileCount() const { return m_files.size(); }
    std::uint64_t FileSize(std::uint32_t file) const { return m_files[file].size; }
    // Returns a file as it was looked up.
    Platform::FileStamp Stamp(std::uint32_t file) const
    {
        const File& f = m_files[file];
        Platform::FileTime mtime = Platform::UnpackTime(f.mtime);
        if (!m_farTimes.empty()) {
            const auto far = m_farTimes.find(file);
            if (far != m_farTimes.end())
                mtime = far->second;
        }
        return { m_devices[f.device], f.inode, f.size, mtime };
    }
    // Returns the class of a file: files with identical bytes share it (after Classify).
    std::uint32_t ClassOf(std::uint32_t file) const { return m_classOf[file]; }

    // Work done so far, for a progress display: paths probed and bytes settled.
    std::size_t PathsProbed() const { return m_pathsProbed.load(std::memory_order_relaxed); }
    std::uint64_t BytesProbed() const { return m_bytesProbed.load(std::memory_order_relaxed); }
    std::uint64_t BytesSettled() const { return m_bytesSettled.load(std::memory_order_relaxed); }
    // Bytes Classify has to settle (reading them or ruling them out); known once it runs.
    std::uint64_t BytesToSettle() const { return m_bytesToSettle.load(std::memory_order_relaxed); }
    // Files that share their size, which Classify opens, and those it has done with; a
    // file whose set is compared in ranges is done with once every range is.
    std::size_t FilesToCompare() const { return m_filesToCompare.load(std::memory_order_relaxed); }
    std::size_t FilesCompared() const { return m_filesCompared.load(std::memory_order_relaxed); }

    // A file: 32 bytes, so that a million of them take little room.
    struct File {
        std::uint64_t size = 0;
        // Its identity when looked up (the device as an index into the engine's list of
        // devices): a path that leads elsewhere by the time it is read no longer stands
        // for this file.
        std::uint64_t inode = 0;
        // Its modification time when looked up, packed (PackTime; 0 for a time kept in
        // m_farTimes): with the identity and size, the stamp a removal confirms.
        std::int64_t mtime = 0;
        std::uint32_t path = 0;
        std::uint32_t device : 31 = 0;
        // Takes less room on disk than its size: holes may be skipped unread.
        std::uint32_t sparse : 1 = 0;
    };
    struct Shared;

private:
    struct SizeSet;
    class HeadSink;
    // Per range part, a label per file: files with equal labels were equal in that part.
    using Labels = std::vector<std::vector<std::uint64_t>>;

    // Probe's phases: look every path up, make one file per identity, hold back the first
    // names that Classify opens anyway, and open the rest.
    bool LookUp(const Pump& pump);
    // Returns the file of an identity, made when new; path leads to it.
    std::uint32_t FileOfIdentity(std::uint32_t path, std::uint32_t device, std::uint64_t hash, const Looked& file);
    static std::uint64_t IdentityHash(std::uint64_t inode, std::uint32_t device);
    std::uint32_t* FindIdentity(std::uint64_t inode, std::uint32_t device, std::uint64_t hash);
    // A look-up taken and waiting for its slot.
    struct Taken {
        std::uint32_t path = 0;
        std::uint32_t device = 0;
        std::uint64_t hash = 0;
        Looked file;
    };
    void JoinTaken(const Taken& taken);
    void JoinAllTaken();
    std::uint32_t DeviceIndex(std::uint64_t device);
    void HoldBackFirstNames();
    // Fills m_bySize.
    void SortBySize();
    bool TryOpens(const Pump& pump);
    // Hands the items 0 to count - 1 out to the workers in batches [first, last); each
    // worker looks paths up with a probe of its own, and spells them out in a string of
    // its own.
    using ProbeBatch
        = std::function<void(Platform::FolderProbe& probe, std::string& path, std::size_t first, std::size_t last)>;
    bool ProbeBatches(std::size_t count, const ProbeBatch& batch, const Pump& pump);

    // Classify's phases: gather the same-size sets, compare each from its head, compare
    // long sets in ranges spread over the workers, and merge the ranges' labels.
    void GatherSizeSets(const std::vector<std::uint8_t>& needed, std::vector<std::uint32_t>& bySize,
        std::vector<SizeSet>& sets);
    bool CompareHeads(Shared& shared, const std::vector<std::uint32_t>& bySize,
        const std::vector<SizeSet>& sets, std::vector<HeadSink>& heads, const Pump& pump);
    bool CompareRanges(Shared& shared, const std::vector<HeadSink>& heads, Labels& labels, const Pump& pump);
    void MergeLabels(const Shared& shared, const std::vector<HeadSink>& heads, const Labels& labels);
    void AssignClass(const std::uint32_t* members, std::size_t n);
    // Tells whether the sets' files are mostly in memory, from a sample of them.
    bool InMemory(const std::vector<std::uint32_t>& bySize, const std::vector<SizeSet>& sets) const;
    // Hands the jobs 0 to count - 1 out to the workers one at a time; each worker
    // compares with a refiner and a member list of its own.
    using RefineJob = std::function<void(
        Refiner&, std::vector<std::uint32_t>& members, std::size_t job, unsigned worker)>;
    bool RefineJobs(Shared& shared, std::size_t count, const RefineJob& job, const Pump& pump);

    void TakeOpenFailures(const Shared& shared);
    bool RunWorkers(std::atomic<bool>& stop, const std::function<void(unsigned)>& work, const Pump& pump);
    // Learns from the first path whether the disk is rotational and sizes the pool.
    void ChooseWorkers();
    // Notes where each file lies on a rotational disk.
    void PlaceOnDisk();

    const FileScan::PathStore& m_paths;
    EngineOptions m_options;
    unsigned m_threads = 1;
    // More workers than cores, chosen for the disk: they compare through CoreSeats.
    bool m_gateReads = false;
    // On a rotational disk fewer workers read, in the order of the files on the disk.
    bool m_rotational = false;
    // Per file on a rotational disk: its place on the disk.
    std::vector<std::uint64_t> m_diskOrder;
    std::vector<std::uint32_t> m_fileOfPath;
    std::vector<std::uint8_t> m_openable;
    // Files whose first name has not been opened yet.
    std::vector<std::uint8_t> m_pending;
    bool m_anyUnopenable = false;
    std::vector<File> m_files;
    std::vector<std::uint64_t> m_devices;
    // The modification times of files that PackTime cannot pack.
    std::unordered_map<std::uint32_t, Platform::FileTime> m_farTimes;
    // Until Probe is done: an open-addressing table of file numbers by identity.
    std::vector<std::uint32_t> m_identities;
    // The look-ups taken whose slots are on their way, oldest at m_takenFirst.
    static constexpr std::size_t kTakeAhead = 16;
    std::array<Taken, kTakeAhead> m_taken {};
    std::size_t m_takenFirst = 0;
    std::size_t m_takenCount = 0;
    // The files in ascending size (ties in file order), from Probe until Classify.
    std::vector<std::uint32_t> m_bySize;
    std::vector<std::uint32_t> m_classOf;
    std::atomic<std::size_t> m_pathsProbed { 0 };
    std::atomic<std::uint64_t> m_bytesProbed { 0 };
    std::atomic<std::uint64_t> m_bytesSettled { 0 };
    std::atomic<std::uint64_t> m_bytesToSettle { 0 };
    std::atomic<std::size_t> m_filesToCompare { 0 };
    std::atomic<std::size_t> m_filesCompared { 0 };
    std::unique_ptr<WorkerPool> m_pool;
};

} // namespace Check
