#include "support/allocations.h"

#include <climits>
#include <cstdlib>
#include <new>

namespace sealmark::test {

namespace {

struct Counter {
  bool counting;
  int count;
  int firstRefused;
  int lastRefused;
};

Counter gCounter = {false, 0, 0, 0};

void* Allocate(std::size_t size) noexcept {
  if (gCounter.counting) {
    ++gCounter.count;
    if (gCounter.count >= gCounter.firstRefused && gCounter.count <= gCounter.lastRefused) {
      return nullptr;
    }
  }
  return std::malloc(size != 0 ? size : 1);
}

void* AllocateOrThrow(std::size_t size) {
  void* const memory = Allocate(size);
  if (memory == nullptr) {
    throw std::bad_alloc();
  }
  return memory;
}

}  // namespace

CountedAllocations::CountedAllocations(int refused, bool andAfter) {
  gCounter = {true, 0, refused, andAfter ? INT_MAX : refused};
}

CountedAllocations::~CountedAllocations() {
  gCounter.counting = false;
}

int CountedAllocations::count() const {
  return gCounter.count;
}

UncountedAllocations::UncountedAllocations() : wasCounting_(gCounter.counting) {
  gCounter.counting = false;
}

UncountedAllocations::~UncountedAllocations() {
  gCounter.counting = wasCounting_;
}

}  // namespace sealmark::test

// Every allocation of the test program goes through the counter, and every
// piece goes back with free().
void* operator new(std::size_t size) {
  return sealmark::test::AllocateOrThrow(size);
}
void* operator new[](std::size_t size) {
  return sealmark::test::AllocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return sealmark::test::Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return sealmark::test::Allocate(size);
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete[](void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}
