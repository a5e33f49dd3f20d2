#include "FailingAllocation.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> g_countdown{0};  // 0: disarmed
std::atomic<bool> g_fired{false};

void* Allocate(std::size_t size, std::size_t alignment) {
    std::size_t left = g_countdown.load();
    while (left != 0 && !g_countdown.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 1) {
        g_fired = true;
        return nullptr;
    }
    size = size == 0 ? 1 : size;
    void* p = nullptr;
    if (alignment <= alignof(std::max_align_t)) return std::malloc(size);
    return ::posix_memalign(&p, alignment, size) == 0 ? p : nullptr;
}

void* AllocateOrThrow(std::size_t size, std::size_t alignment) {
    if (void* p = Allocate(size, alignment)) return p;
    throw std::bad_alloc();
}

}  // namespace

fault::AllocationFailure::AllocationFailure(std::size_t n) {
    g_fired = false;
    g_countdown = n;
}

fault::AllocationFailure::~AllocationFailure() {
    stop();
}

bool fault::AllocationFailure::stop() {
    g_countdown = 0;
    return g_fired;
}

// Every replaceable form, plain and array alike: a sanitizer's runtime would serve any form left
// out, and report our blocks freed through it as mismatched.
// clang-format off
#define REPLACE_NEW(body, ...)            \
    void* operator new(__VA_ARGS__) body \
    void* operator new[](__VA_ARGS__) body
#define REPLACE_DELETE(...)                                      \
    void operator delete(__VA_ARGS__) noexcept { std::free(p); } \
    void operator delete[](__VA_ARGS__) noexcept { std::free(p); }

REPLACE_NEW({ return AllocateOrThrow(size, 0); }, std::size_t size)
REPLACE_NEW({ return AllocateOrThrow(size, std::size_t(a)); }, std::size_t size, std::align_val_t a)
REPLACE_NEW(noexcept { return Allocate(size, 0); }, std::size_t size, const std::nothrow_t&)
REPLACE_NEW(noexcept { return Allocate(size, std::size_t(a)); },
            std::size_t size, std::align_val_t a, const std::nothrow_t&)
REPLACE_DELETE(void* p)
REPLACE_DELETE(void* p, std::size_t)
REPLACE_DELETE(void* p, std::align_val_t)
REPLACE_DELETE(void* p, std::size_t, std::align_val_t)
REPLACE_DELETE(void* p, const std::nothrow_t&)
REPLACE_DELETE(void* p, std::align_val_t, const std::nothrow_t&)
// clang-format on
