#include "allocation_probe.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> armed{false};
std::atomic<int64_t> failAt{-1};
std::atomic<int64_t> attempts{0};
std::atomic<int64_t> liveBlocks{0};

void* Allocate(std::size_t size) {
  if (armed.load()) {
    if (attempts.fetch_add(1) == failAt.load()) throw std::bad_alloc();
    liveBlocks.fetch_add(1);
  }
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void Release(void* block) noexcept {
  if (block == nullptr) return;
  if (armed.load()) liveBlocks.fetch_sub(1);
  std::free(block);
}

}  // namespace

AllocationProbe::AllocationProbe(int64_t failIndex) {
  failAt = failIndex;
  attempts = 0;
  liveBlocks = 0;
  armed = true;
}
AllocationProbe::~AllocationProbe() { armed = false; }
int64_t AllocationProbe::allocations() const { return attempts.load(); }
int64_t AllocationProbe::live() const { return liveBlocks.load(); }

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }
