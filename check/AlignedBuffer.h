// AlignedBuffer: block buffers aligned to the page, as direct and large reads like them.
#pragma once

#include <cstddef>
#include <memory>

namespace Check {

struct AlignedFree {
    void operator()(std::byte* p) const;
};
using AlignedBuffer = std::unique_ptr<std::byte[], AlignedFree>;

// Returns a buffer of at least size bytes starting on a 4096-byte boundary; throws
// std::bad_alloc when there is no memory.
AlignedBuffer MakeAlignedBuffer(std::size_t size);

} // namespace Check
