// The program's own memory comes from the C runtime's malloc, which reports
// a failure as nullptr. The C++ runtime's nothrow new would catch a
// bad_alloc instead, and so bring the whole exception machinery, with the
// threading support that it needs, into a program that has no use for it.
#include <cstdlib>
#include <new>

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size != 0 ? size : 1);
}

void operator delete[](void* memory) noexcept {
  std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}
