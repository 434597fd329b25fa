#pragma once
// Large arrays that are filled once (a track's events, a whole file read into memory) ask the
// kernel for transparent huge pages before they are touched: every first touch of a 4 KiB
// page costs a page fault, while one huge page covers 2 MiB with a single fault.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane::midi {

// Blocks smaller than this gain nothing from the advice.
inline constexpr std::size_t hugePageAdviceThreshold = std::size_t{4} << 20;

// Advises the pages that hold [data, data + bytes) for huge pages. The advice covers the
// partial pages at both ends too (it only marks the memory as eligible), so the mapping is not
// split next to the allocator's header and the first huge page is not lost. Best effort: a
// kernel without transparent huge pages simply ignores it.
inline void adviseHugePages(const void* data, std::size_t bytes) noexcept {
    if (data == nullptr || bytes < hugePageAdviceThreshold) return;
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    const std::uintptr_t page = pageSize > 0 ? static_cast<std::uintptr_t>(pageSize) : 4096;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = start & ~(page - 1);
    const std::uintptr_t end = (start + bytes + page - 1) & ~(page - 1);
    ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Reserves room for count elements in an empty vector, advised for huge pages. Only the
// pages that are really filled become resident, so a generous upper bound costs nothing.
template <class T>
void reserveLarge(std::vector<T>& values, std::size_t count) {
    values.reserve(count);
    adviseHugePages(values.data(), values.capacity() * sizeof(T));
}

}  // namespace orvane::midi
