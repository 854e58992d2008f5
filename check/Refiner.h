// Refiner: splits a set of same-size files by their bytes, block by block, the way one
// engine worker compares them.
#pragma once

#include "check/AlignedBuffer.h"
#include "check/ContentEngine.h"
#include "scan/ContentCompare.h"
#include "scan/FileProbe.h"
#include "scan/PathStore.h"
#include "scan/Platform.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Check {

// How the workers spend the descriptors the process may hold: some are left for the rest
// of the process and for reopening single files; of the others, a shared budget keeps the
// files of the sets being compared open (768 within the usual limit of 1024, up to 4096
// where the limit allows twice that), and what remains holds folders open, so that a file
// opens through its folder.
struct DescriptorPlan {
    std::size_t sets = 0;
    std::size_t folders = 0;
};
DescriptorPlan PlanDescriptors(std::size_t limit);

// State the workers share during Classify.
struct ContentEngine::Shared {
    const FileScan::PathStore& paths;
    const std::vector<File>& files;
    const std::vector<std::uint64_t>& devices;
    const EngineOptions& options;
    std::atomic<std::uint64_t>& settled;
    // Set for a file once it is known to equal no other file.
    std::unique_ptr<std::atomic<std::uint8_t>[]> alone;
    // Set for a file whose first name failed to open when it was to be compared.
    std::unique_ptr<std::atomic<std::uint8_t>[]> openFailed;
    std::atomic<bool> stop { false };
    // When set, the workers keep to the cores through it while reads come from memory.
    Platform::ReadGate* gate = nullptr;
    // The folders of the paths, opened as needed: a file opens through its folder.
    Platform::FolderHandles* folders = nullptr;
    // What is left of the sets' descriptor budget: a worker takes a set's share before it
    // keeps the set's files open, and reads the set by reopening when it cannot.
    std::atomic<std::size_t> descriptors { 0 };
};

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
    using Shared = ContentEngine::Shared;

    explicit Refiner(Shared& shared);

    // Splits members, files of one size, by their bytes in [begin, end): reads the
    // block of the set's first file, then that block of every other member beside
    // it. Members whose block differs are hashed and regrouped, and every file left
    // alone is marked as such. With mayDefer, a set still together after the head
    // block whose remaining bytes reach the split size goes to sink.Deferred.
    void Refine(std::vector<std::uint32_t> members, std::uint64_t begin, std::uint64_t end, bool mayDefer,
        RefineSink& sink);

private:
    struct Cell {
        std::uint64_t offset = 0;
        std::vector<std::uint32_t> members;
        // Open files, parallel to members; empty when the set is read by reopening.
        std::vector<Platform::ReadFile> files;
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

    std::uint64_t NextBoundary(std::uint64_t offset, std::uint64_t end) const;
    // Opens a member; a failure is remembered unless the process ran out of
    // descriptors, which says nothing about the file.
    Platform::Status OpenMember(std::uint32_t file, Platform::ReadFile& reader);
    void OpenAll(Cell& cell);
    // Reads the block of member k, opening it for the block when the set is read by
    // reopening: the first file's when k is 0, else compared with it. A file that ends
    // before the block does is unreadable.
    FileScan::BlockMatch ReadMember(const Cell& cell, std::size_t k, std::uint64_t offset, std::size_t n);
    FileScan::BlockMatch ReadBlock(
        const Platform::ReadFile& file, std::size_t k, std::uint64_t offset, std::size_t n);
    // Keeps the members for which keep(k) holds, with their open files.
    template <class Keep> void Compact(Cell& cell, Keep keep);
    void RefineCell(Cell& cell, std::uint64_t end, bool mayDefer, RefineSink& sink);
    bool SkipHoles(const Cell& cell, std::uint64_t& offset, std::uint64_t end);
    void SplitOff(Cell& cell, std::uint64_t offset, std::uint64_t end);

    // Takes want descriptors from the shared budget for the set being refined, or none
    // when fewer are left; Refine closes its files and gives them back when it is done.
    void TakeDescriptors(std::size_t want);
    void ReturnDescriptors();

    Shared& m_shared;
    // Descriptors held from the budget: a set this large or smaller keeps its files open.
    std::size_t m_descriptors = 0;
    // The path being opened, spelled out.
    std::string m_path;
    AlignedBuffer m_first;
    AlignedBuffer m_other;
    FileScan::BlockCompare m_compare;
    std::vector<Cell> m_stack;
    std::vector<Differing> m_differing;
    std::vector<std::uint8_t> m_keep;
};

} // namespace Check
