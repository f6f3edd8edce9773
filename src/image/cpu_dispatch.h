// Picks, once, the AVX2 build of a routine when the processor has it.
#pragma once

// Tests set this to run the portable build on machines that have AVX2.
inline bool image_force_generic = false;

inline bool cpu_has_avx2() {
  if (image_force_generic) return false;
#if defined(__x86_64__) || defined(__i386__)
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
#else
  return false;
#endif
}

#if defined(__x86_64__) || defined(__i386__)
#define KESTOL_TARGET_AVX2 __attribute__((target("avx2")))
#define KESTOL_HAVE_AVX2_BUILD 1
#else
#define KESTOL_TARGET_AVX2
#define KESTOL_HAVE_AVX2_BUILD 0
#endif
