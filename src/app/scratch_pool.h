// An optional pool configured through DemoConfig; created and freed, nobody draws from it.
#pragma once

#include <cstdint>

struct ScratchPool {
  void* base;
  std::uint32_t size;
  std::uint32_t bookkeeping[6];
};

extern ScratchPool scratch_pool;

bool scratch_pool_create(std::uint32_t size);
void scratch_pool_destroy();
