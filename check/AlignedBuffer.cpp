// AlignedBuffer: the C library's aligned allocation, which Windows spells its own way.
#include "check/AlignedBuffer.h"

#include <cstdlib>
#include <new>
#ifdef _WIN32
#include <malloc.h>
#endif

namespace Check {
namespace {

    constexpr std::size_t kAlignment = 4096;

} // namespace

void AlignedFree::operator()(std::byte* p) const
{
#ifdef _WIN32
    _aligned_free(p);
#else
    std::free(p);
#endif
}

AlignedBuffer MakeAlignedBuffer(std::size_t size)
{
    // aligned_alloc wants a multiple of the alignment.
    const std::size_t rounded = (size + kAlignment - 1) / kAlignment * kAlignment;
#ifdef _WIN32
    void* p = _aligned_malloc(rounded, kAlignment);
#else
    void* p = std::aligned_alloc(kAlignment, rounded);
#endif
    if (!p)
        throw std::bad_alloc();
    return AlignedBuffer(static_cast<std::byte*>(p));
}

} // namespace Check
