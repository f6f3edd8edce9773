// The mixer's table of kernel versions (see host/cpu.h): the inner loops that resample a
// voice into the float mix, and the float-to-16-bit conversion. Every version gives the
// same samples to the bit. A player keeps the versions it mixes with.
#pragma once

#include <cstdint>

#include "host/cpu.h"

struct MixerKernels {
  const char* name;
  unsigned needs;  // CpuFeature bits
  // Adds n interpolated frames at constant gains; delta is the step, negated (mod 2^64)
  // backwards. Advances pos.
  void (*mix_flat)(const std::int16_t* data, std::uint64_t& pos, std::uint64_t delta,
                   float* out, int n, float gain_left, float gain_right);
  // The same while the gains grow by step_left and step_right each frame.
  void (*mix_ramp)(const std::int16_t* data, std::uint64_t& pos, std::uint64_t delta,
                   float* out, int n, float& gain_left, float& gain_right, float step_left,
                   float step_right);
  // frames stereo frames, clamped and rounded to nearest even.
  void (*pcm_convert)(std::int16_t* destination, const float* source, int frames);
};

// The best version this processor runs, chosen once per process.
const MixerKernels& mixer_kernels();
// Every usable version, plain first (for tests and benchmarks).
int mixer_kernel_count();
const MixerKernels& mixer_kernel(int index);
