#include "app/scratch_pool.h"

#include <cstdlib>
#include <cstring>

#include "app/fatal.h"

ScratchPool scratch_pool;

bool scratch_pool_create(std::uint32_t size) {
  std::memset(scratch_pool.bookkeeping, 0, sizeof scratch_pool.bookkeeping);
  void* base = std::malloc(size);
  if (base == nullptr) fatal_error("Can't allocate scratch pool!");
  scratch_pool.base = base;
  scratch_pool.size = size;
  return true;
}

void scratch_pool_destroy() {
  std::free(scratch_pool.base);
  scratch_pool.base = nullptr;
}
