// The worker's operator new and delete: small blocks from pages of one size
// each, kept on a free list per size when deleted, larger ones from malloc.
// The JSON line with its tracks is a tree of thousands of small nodes made and
// deleted for every image; Emscripten's malloc took a fifth of the analysis'
// time for them. The worker runs one analysis at a time: no locks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

static_assert(sizeof(void*) == 4, "the page table covers a 32-bit address space");

constexpr std::size_t kGrain = 16;  // block sizes are multiples of this, and so aligned to it
constexpr std::size_t kLargest = 512;
constexpr std::size_t kSizes = kLargest / kGrain;
constexpr std::size_t kPageBits = 16;
constexpr std::size_t kPage = std::size_t{1} << kPageBits;

struct FreeBlock {
    FreeBlock* Next;
};

// Per size (1 to kSizes grains): the blocks deleted, and what is left of the newest page.
FreeBlock* freeBlocks[kSizes + 1];
char* pageLeft[kSizes + 1];
char* pageEnd[kSizes + 1];
// The size of the blocks of each page of the address space: 0 for memory not from these pages.
unsigned char sizeOfPage[std::size_t{1} << (32 - kPageBits)];

std::size_t PageOf(const void* block) {
    return static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(block) >> kPageBits);
}

void* Allocate(std::size_t bytes) {
    if (bytes > kLargest) {
        if (void* block = std::malloc(bytes)) return block;
        throw std::bad_alloc();
    }
    const std::size_t grains = bytes == 0 ? 1 : (bytes + kGrain - 1) / kGrain;
    if (FreeBlock* block = freeBlocks[grains]) {
        freeBlocks[grains] = block->Next;
        return block;
    }
    const std::size_t size = grains * kGrain;
    if (pageLeft[grains] == nullptr || static_cast<std::size_t>(pageEnd[grains] - pageLeft[grains]) < size) {
        auto* page = static_cast<char*>(std::aligned_alloc(kPage, kPage));
        if (page == nullptr) throw std::bad_alloc();
        sizeOfPage[PageOf(page)] = static_cast<unsigned char>(grains);
        pageLeft[grains] = page;
        pageEnd[grains] = page + kPage;
    }
    void* block = pageLeft[grains];
    pageLeft[grains] += size;
    return block;
}

void Release(void* block) noexcept {
    if (block == nullptr) return;
    const std::size_t grains = sizeOfPage[PageOf(block)];
    if (grains == 0) {
        std::free(block);
        return;
    }
    auto* freed = static_cast<FreeBlock*>(block);
    freed->Next = freeBlocks[grains];
    freeBlocks[grains] = freed;
}

}  // namespace

void* operator new(std::size_t bytes) { return Allocate(bytes); }

void* operator new[](std::size_t bytes) { return Allocate(bytes); }

void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
    try {
        return Allocate(bytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
    try {
        return Allocate(bytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void operator delete(void* block) noexcept { Release(block); }

void operator delete[](void* block) noexcept { Release(block); }

void operator delete(void* block, std::size_t) noexcept { Release(block); }

void operator delete[](void* block, std::size_t) noexcept { Release(block); }

void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block); }

void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block); }
