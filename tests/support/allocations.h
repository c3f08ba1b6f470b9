#pragma once

namespace sealmark::test {

// Counts the allocations that this test program makes through operator new
// while the object lives, and refuses the `refused`-th of them (counted from
// 1), and with `andAfter` every one after it too, as when memory runs out;
// 0 refuses none.
class CountedAllocations {
 public:
  explicit CountedAllocations(int refused = 0, bool andAfter = false);
  ~CountedAllocations();
  CountedAllocations(const CountedAllocations&) = delete;
  CountedAllocations& operator=(const CountedAllocations&) = delete;

  // The allocations asked for so far, refused ones included.
  int count() const;
};

// While the object lives, allocations are neither counted nor refused: for
// the records that tests keep of a counted run.
class UncountedAllocations {
 public:
  UncountedAllocations();
  ~UncountedAllocations();
  UncountedAllocations(const UncountedAllocations&) = delete;
  UncountedAllocations& operator=(const UncountedAllocations&) = delete;

 private:
  bool wasCounting_;
};

}  // namespace sealmark::test
