// Counts and fails heap allocations made through operator new while armed, for tests that
// check a function allocates nothing, or survives any one of its allocations failing
// without leaking. The test executable's global operator new and delete are replaced.
#pragma once

#include <cstdint>

struct AllocationProbe {
  // Starts counting; the allocation with index failAt (0-based) throws std::bad_alloc
  // (-1: none fails).
  explicit AllocationProbe(int64_t failAt = -1);
  ~AllocationProbe();
  int64_t allocations() const;  // allocations attempted since the start
  int64_t live() const;         // allocations made minus blocks freed since the start
};
