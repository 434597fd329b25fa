#pragma once
// An allocator for sample buffers of several megabytes that are filled once. It aligns them to
// 2 MiB and asks for transparent huge pages before they are touched: every first touch of a
// 4 KiB page costs a page fault, while one huge page covers 2 MiB with a single fault. Small
// buffers come from the ordinary heap.

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

namespace orvane::tempo {

template <class T>
struct LargeBufferAllocator {
    using value_type = T;

    LargeBufferAllocator() = default;
    template <class U>
    explicit LargeBufferAllocator(const LargeBufferAllocator<U>&) noexcept {}

    static constexpr std::size_t hugePage = std::size_t{2} << 20;
    static constexpr std::size_t threshold = std::size_t{1} << 20;

    T* allocate(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T) - hugePage) throw std::bad_alloc();
        const std::size_t bytes = count * sizeof(T);
        if (bytes < threshold) return static_cast<T*>(::operator new(bytes));
        const std::size_t rounded = (bytes + hugePage - 1) / hugePage * hugePage;
        void* memory = std::aligned_alloc(hugePage, rounded);
        if (memory == nullptr) throw std::bad_alloc();
        ::madvise(memory, rounded, MADV_HUGEPAGE);
        return static_cast<T*>(memory);
    }

    void deallocate(T* pointer, std::size_t count) noexcept {
        if (count * sizeof(T) < threshold) {
            ::operator delete(pointer);
        } else {
            std::free(pointer);
        }
    }

    template <class U>
    bool operator==(const LargeBufferAllocator<U>&) const noexcept {
        return true;
    }
};

using SampleBuffer = std::vector<float, LargeBufferAllocator<float>>;

}  // namespace orvane::tempo
