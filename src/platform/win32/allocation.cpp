// operator new and delete of kvstrn.exe, over malloc and free. The library's
// own operator new throws std::bad_alloc, which nothing in the program
// catches, and so pulls the whole exception runtime and its thread support
// into the executable; running out of memory ends the program either way.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size) {
    if (void* p = std::malloc(size ? size : 1)) return p;
    std::abort();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}

void operator delete(void* p) noexcept { std::free(p); }

void operator delete(void* p, std::size_t) noexcept { std::free(p); }
