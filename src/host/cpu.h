// What the processor offers, and the one way every library picks its fast code: a table
// of versions of its kernels, plain first, each naming the features it needs. A library
// takes the last version this processor runs, once per process (or once per picture,
// where a reader holds its choice); tests and benchmarks walk every usable version.
// Header only: gfx, image and sound include it without linking the host.
#pragma once

#include <cstddef>

enum CpuFeature : unsigned {
  cpu_sse2 = 1u << 0,
  cpu_ssse3 = 1u << 1,
  cpu_avx2 = 1u << 2,
  cpu_avx512 = 1u << 3,  // AVX-512 F and BW
};

#if defined(__x86_64__) || defined(__i386__)
#define KESTOL_X86 1
#define KESTOL_TARGET_AVX2 __attribute__((target("avx2")))
#define KESTOL_HAVE_AVX2_BUILD 1
#else
#define KESTOL_TARGET_AVX2
#define KESTOL_HAVE_AVX2_BUILD 0
#endif

// The features of this processor, asked once.
inline unsigned cpu_features() {
#ifdef KESTOL_X86
  static const unsigned features = [] {
    __builtin_cpu_init();
    unsigned f = 0;
    if (__builtin_cpu_supports("sse2")) f |= cpu_sse2;
    if (__builtin_cpu_supports("ssse3")) f |= cpu_ssse3;
    if (__builtin_cpu_supports("avx2")) f |= cpu_avx2;
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) f |= cpu_avx512;
    return f;
  }();
  return features;
#else
  return 0;
#endif
}

// How many versions, from the first, this processor runs (the plain one always). Each
// entry of `table` has `unsigned needs`; versions are listed by growing needs.
template <class Kernels, std::size_t N>
int usable_versions(const Kernels (&table)[N]) {
  int n = 1;
  while (static_cast<std::size_t>(n) < N && (table[n].needs & ~cpu_features()) == 0) ++n;
  return n;
}

// The last version this processor runs.
template <class Kernels, std::size_t N>
const Kernels& best_version(const Kernels (&table)[N]) {
  return table[usable_versions(table) - 1];
}
