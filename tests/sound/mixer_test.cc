// Voices and mixer: the fast path against a plain reference, ramps, loops, PCM rounding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "tests/support/xm_fixtures.h"

namespace {

// ---- The plain reference: one frame at a time, every rule written out. ----
void ref_boundary(const Sample& s, Voice& v) {
  if (s.loop_type == 2) {
    while ((v.position >> 32) >= static_cast<std::uint64_t>(s.loop_start + s.loop_length))
      v.position -= static_cast<std::uint64_t>(s.loop_length) << 32;
  } else if (s.loop_type == 4) {
    const long long lo = static_cast<long long>(s.loop_start) << 32;
    const long long hi = static_cast<long long>(s.loop_start + s.loop_length) << 32;
    long long p = static_cast<long long>(v.position);
    if (v.direction == 2) {
      p = 2 * lo - p - 1;
      v.direction = 1;
      if (p >= hi) {
        p = 2 * hi - p - 1;
        v.direction = 2;
      }
    } else {
      p = 2 * hi - p - 1;
      v.direction = 2;
      if (p < lo) {
        p = 2 * lo - p - 1;
        v.direction = 1;
      }
    }
    p = std::max(p, std::max(lo - 1, 0LL));
    p = std::min(p, hi - 1);
    v.position = static_cast<std::uint64_t>(p);
  } else {
    v.sample = nullptr;
    v.position = 0;
  }
}

void ref_mix_voice(Voice& v, float* out, int frames) {
  int remaining = frames;
  while (remaining > 0 && v.sample) {
    const Sample& s = *v.sample;
    const bool forward = v.direction == 1;
    const std::uint64_t bstep = v.step ? v.step : 24932236;
    long long distance;
    if (forward) {
      long long end = s.loop_start + s.loop_length;
      if (static_cast<long long>(v.position >> 32) > end) end = s.length;
      distance = (end << 32) - static_cast<long long>(v.position);
    } else {
      distance = static_cast<long long>(v.position) - (static_cast<long long>(s.loop_start) << 32);
    }
    if (distance < 0) distance = 0;
    const long long k = (distance + static_cast<long long>(bstep) - 1) / static_cast<long long>(bstep);
    int n = remaining;
    bool at_boundary = false;
    if (k <= remaining) {
      n = static_cast<int>(k);
      at_boundary = true;
    }
    if (!s.data) {
      n = 0;
      at_boundary = true;
    }
    if (!(v.ramp_frames_remaining != 0 && v.left == v.last_left && v.right == v.last_right)) {
      v.last_left = v.left;
      v.last_right = v.right;
      const int cl = v.current_left >> 8, cr = v.current_right >> 8;
      v.ramp_step_left = v.left != cl ? static_cast<float>(v.left - cl) / 255.0f / 128.0f : 0.0f;
      v.ramp_step_right = v.right != cr ? static_cast<float>(v.right - cr) / 255.0f / 128.0f : 0.0f;
      if (v.left != cl || v.right != cr) {
        v.ramp_frames_remaining = 128;
      } else {
        v.ramp_frames_remaining = 0;
        v.current_left = v.left * 256;
        v.current_right = v.right * 256;
      }
    }
    const bool ramp = v.ramp_frames_remaining != 0;
    if (ramp && v.ramp_frames_remaining < n) {
      n = v.ramp_frames_remaining;
      at_boundary = false;
    }
    float gl = ramp ? static_cast<float>(v.current_left) / 256.0f / 255.0f : static_cast<float>(v.left) / 255.0f;
    float gr = ramp ? static_cast<float>(v.current_right) / 256.0f / 255.0f : static_cast<float>(v.right) / 255.0f;
    for (int i = 0; i < n; ++i) {
      const std::uint32_t idx = static_cast<std::uint32_t>(v.position >> 32);
      const float fraction = static_cast<float>(static_cast<std::uint32_t>(v.position) >> 8) / 16777216.0f;
      const float value = static_cast<float>(s.data[idx]) + fraction * static_cast<float>(s.data[idx + 1] - s.data[idx]);
      out[0] += value * gl;
      out[1] += value * gr;
      out += 2;
      if (ramp) {
        gl += v.ramp_step_left;
        gr += v.ramp_step_right;
      }
      if (forward) v.position += v.step;
      else v.position -= v.step;
    }
    if (ramp) {
      v.current_left = static_cast<int>(std::nearbyint(gl * 255.0f * 256.0f));
      v.current_right = static_cast<int>(std::nearbyint(gr * 255.0f * 256.0f));
      v.ramp_frames_remaining -= n;
      if (v.ramp_frames_remaining == 0) {
        v.ramp_step_left = v.ramp_step_right = 0;
        v.current_left = v.left * 256;
        v.current_right = v.right * 256;
      }
    }
    if (at_boundary) ref_boundary(s, v);
    remaining -= n;
  }
}

void ref_pcm(std::int16_t* d, const float* s, int frames) {
  for (int i = 0; i < 2 * frames; ++i) {
    const double r = std::nearbyint(static_cast<double>(s[i]));  // ties to even
    d[i] = static_cast<std::int16_t>(std::clamp(r, -32768.0, 32767.0));
  }
}

Sample make_sample(std::mt19937& rng, std::vector<std::unique_ptr<Sample>>& store) {
  auto s = std::make_unique<Sample>();
  const int length = std::uniform_int_distribution<int>(1, 3000)(rng);
  s->storage.assign(static_cast<std::size_t>(length) + 8, 0);
  for (int i = 0; i < length; ++i) s->storage[i] = static_cast<std::int16_t>(rng());
  s->data = s->storage.data();
  s->length = length;
  s->loop_type = std::array<std::uint8_t, 3>{1, 2, 4}[rng() % 3];
  if (s->loop_type == 1) {
    s->loop_start = 0;
    s->loop_length = length;
  } else {
    s->loop_start = std::uniform_int_distribution<int>(0, length - 1)(rng);
    s->loop_length = std::uniform_int_distribution<int>(1, length - s->loop_start)(rng);
    const int end = s->loop_start + s->loop_length;
    s->storage[end] = s->loop_type == 2 ? s->storage[s->loop_start] : s->storage[end - 1];
  }
  // Half of the short forward loops are mixed through their written-out copy.
  if (rng() % 2) sample_unroll_loop(*s);
  store.push_back(std::move(s));
  return *store.back();
}

TEST(Mixer, MatchesThePlainReferenceOnRandomVoices) {
  std::mt19937 rng(1234);
  std::vector<std::unique_ptr<Sample>> store;
  std::size_t sounding = 0, total = 0;
  for (int round = 0; round < 300; ++round) {
    ModulePlayer m;
    player_start(m);
    m.kernels = &mixer_kernel(round % mixer_kernel_count());  // every version in turn
    for (Voice& v : m.voices) {
      if (rng() % 3 == 0) continue;
      make_sample(rng, store);
      const Sample& s = *store.back();
      v.sample = &s;
      const int end = s.loop_start + s.loop_length;
      v.position = (static_cast<std::uint64_t>(rng() % end) << 32) | rng();
      v.direction = (s.loop_type == 4 && rng() % 2) ? 2 : 1;
      if (v.direction == 2 && (v.position >> 32) < static_cast<std::uint64_t>(s.loop_start))
        v.position = static_cast<std::uint64_t>(s.loop_start) << 32 | rng();
      const int kind = static_cast<int>(rng() % 4);
      v.step = kind == 0 ? 0 : kind == 1 ? (std::uint64_t{1} << 32) : (static_cast<std::uint64_t>(rng() % 6) << 32) | rng();
      v.left = static_cast<int>(rng() % 128);
      v.right = rng() % 4 == 0 ? 0 : static_cast<int>(rng() % 128);
      if (rng() % 4 == 0) v.left = v.right = 0;
      v.current_left = static_cast<int>(rng() % (128 * 256));
      v.current_right = rng() % 2 ? v.right * 256 : static_cast<int>(rng() % (128 * 256));
      v.last_left = rng() % 2 ? v.left : 0;
      v.last_right = v.right;
      v.ramp_frames_remaining = rng() % 2 ? static_cast<int>(rng() % 129) : 0;
      v.ramp_step_left = static_cast<float>(v.left - (v.current_left >> 8)) / 255.0f / 128.0f;
      v.ramp_step_right = static_cast<float>(v.right - (v.current_right >> 8)) / 255.0f / 128.0f;
    }
    ModulePlayer r;
    std::memcpy(static_cast<void*>(r.voices), m.voices, sizeof m.voices);
    for (int call = 0; call < 4; ++call) {
      const int frames = static_cast<int>(rng() % 900);
      std::vector<float> fast(2 * static_cast<std::size_t>(frames) + 2, 0.0f), ref(fast.size(), 0.0f);
      mix_voices(m, fast.data(), frames);
      for (Voice& v : r.voices)
        if (v.sample) ref_mix_voice(v, ref.data(), frames);
      ASSERT_EQ(0, std::memcmp(fast.data(), ref.data(), fast.size() * sizeof(float)))
          << round << " " << call << " " << m.kernels->name;
      for (float f : fast) sounding += f != 0.0f;
      total += fast.size();
      for (int i = 0; i < voice_count; ++i) {
        ASSERT_EQ(m.voices[i].position, r.voices[i].position) << round << " voice " << i;
        ASSERT_EQ(m.voices[i].sample, r.voices[i].sample);
        ASSERT_EQ(m.voices[i].direction, r.voices[i].direction);
        ASSERT_EQ(m.voices[i].current_left, r.voices[i].current_left);
        ASSERT_EQ(m.voices[i].ramp_frames_remaining, r.voices[i].ramp_frames_remaining);
      }
      std::vector<std::int16_t> a(fast.size()), b(fast.size());
      m.kernels->pcm_convert(a.data(), fast.data(), frames);
      ref_pcm(b.data(), fast.data(), frames);
      ASSERT_EQ(a, b);
    }
  }
  EXPECT_GT(sounding, total / 2);  // the comparison covered real sound
}

// A random voice on a random sample: any place, direction, step, gains and ramp.
void random_voice(std::mt19937& rng, std::vector<std::unique_ptr<Sample>>& store, Voice& v) {
  make_sample(rng, store);
  const Sample& s = *store.back();
  v.sample = &s;
  const int end = s.loop_start + s.loop_length;
  v.position = (static_cast<std::uint64_t>(rng() % end) << 32) | rng();
  v.direction = (s.loop_type == 4 && rng() % 2) ? 2 : 1;
  if (v.direction == 2 && (v.position >> 32) < static_cast<std::uint64_t>(s.loop_start))
    v.position = static_cast<std::uint64_t>(s.loop_start) << 32 | rng();
  // Every voice has a step: one without (which the replayer never gives a sounding voice)
  // counts its way to a boundary per mixing call, and ramps cut those calls.
  const int kind = static_cast<int>(rng() % 3);
  v.step = kind == 0 ? (std::uint64_t{1} << 32) : (static_cast<std::uint64_t>(rng() % 6) << 32) | rng() | 1;
  v.left = v.last_left = static_cast<int>(rng() % 128);
  v.right = v.last_right = static_cast<int>(rng() % 128);
  v.current_left = rng() % 2 ? v.left * 256 : static_cast<int>(rng() % (128 * 256));
  v.current_right = rng() % 2 ? v.right * 256 : static_cast<int>(rng() % (128 * 256));
  v.ramp_frames_remaining = rng() % 2 ? static_cast<int>(rng() % 129) : 0;
  v.ramp_step_left = static_cast<float>(v.left - (v.current_left >> 8)) / 255.0f / 128.0f;
  v.ramp_step_right = static_cast<float>(v.right - (v.current_right >> 8)) / 255.0f / 128.0f;
}

void expect_same_voices(const ModulePlayer& a, const ModulePlayer& b, int round) {
  for (int i = 0; i < voice_count; ++i) {
    SCOPED_TRACE(testing::Message() << "round " << round << " voice " << i);
    const Voice &x = a.voices[i], &y = b.voices[i];
    ASSERT_EQ(x.sample, y.sample);
    ASSERT_EQ(x.position, y.position);
    ASSERT_EQ(x.direction, y.direction);
    ASSERT_EQ(x.step, y.step);
    ASSERT_EQ(x.current_left, y.current_left);
    ASSERT_EQ(x.current_right, y.current_right);
    ASSERT_EQ(x.last_left, y.last_left);
    ASSERT_EQ(x.last_right, y.last_right);
    ASSERT_EQ(x.ramp_frames_remaining, y.ramp_frames_remaining);
    ASSERT_EQ(std::memcmp(&x.ramp_step_left, &y.ramp_step_left, sizeof(float)), 0);
    ASSERT_EQ(std::memcmp(&x.ramp_step_right, &y.ramp_step_right, sizeof(float)), 0);
  }
}

// A seek's dry run against mixing: ticks of random length cut into pieces (as chunks cut
// them), gains and steps changed between ticks as the replayer changes them; where the
// run stops, every voice stands where mixing left it, ramps and all.
TEST(Mixer, SkippingMovesVoicesAsMixingDoes) {
  std::mt19937 rng(99);
  std::vector<std::unique_ptr<Sample>> store;
  int lazy = 0;
  for (int round = 0; round < 200; ++round) {
    ModulePlayer wet;
    player_start(wet);
    for (Voice& v : wet.voices)
      if (rng() % 3 != 0) random_voice(rng, store, v);
    auto dry = std::make_unique<ModulePlayer>();
    std::memcpy(static_cast<void*>(dry->voices), wet.voices, sizeof wet.voices);
    begin_skipping(*dry);
    const int ticks = 1 + static_cast<int>(rng() % 5);
    for (int t = 0; t < ticks; ++t) {
      if (t > 0) {
        for (int i = 0; i < voice_count; ++i) {
          Voice &w = wet.voices[i], &d = dry->voices[i];
          if (rng() % 2) {
            w.left = d.left = static_cast<int>(rng() % 128);
            w.right = d.right = static_cast<int>(rng() % 128);
          }
          if (rng() % 4 == 0) {
            settle_voice(*dry, d);  // as a voice update does before a step changes
            w.step = d.step = (static_cast<std::uint64_t>(rng() % 3) << 32) | rng() | 1;
          }
          note_voice_changed(*dry, d);
        }
      }
      const int frames = 1 + static_cast<int>(rng() % 1500);
      std::vector<float> out(2 * static_cast<std::size_t>(frames), 0.0f);
      int done = 0;
      while (done < frames) {
        const int piece = std::min(frames - done, 1 + static_cast<int>(rng() % 600));
        mix_voices(wet, out.data() + 2 * done, piece);
        skip_voices(*dry, piece, static_cast<std::uint64_t>(frames - done));
        done += piece;
      }
      for (const Voice& d : dry->voices) lazy += d.settled_at != dry->dry_frames;
    }
    settle_voices(*dry);
    expect_same_voices(wet, *dry, round);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(lazy, 1000);  // voices really waited and caught up
}

TEST(Mixer, ShortForwardLoopsAreWrittenOutWholeWithTheirGuard) {
  Sample s;
  s.storage.assign(108, 0);
  for (int i = 0; i < 100; ++i) s.storage[i] = static_cast<std::int16_t>(i * 3 - 150);
  s.data = s.storage.data();
  s.length = 100;
  s.loop_start = 37;
  s.loop_length = 51;
  s.loop_type = 2;
  s.storage[88] = s.storage[37];
  sample_unroll_loop(s);
  ASSERT_NE(s.unrolled, nullptr);
  ASSERT_EQ(s.unrolled_length % 51, 0);
  EXPECT_GE(s.unrolled_length, 4096);
  for (int i = 0; i <= s.unrolled_length; ++i) ASSERT_EQ(s.unrolled[i], s.data[37 + i % 51]) << i;
  for (std::uint8_t type : {std::uint8_t{1}, std::uint8_t{4}}) {
    s.loop_type = type;
    sample_unroll_loop(s);
    EXPECT_EQ(s.unrolled, nullptr);
  }
  s.loop_type = 2;
  s.loop_length = 3000;  // long enough already
  s.storage.assign(3008, 1);
  s.data = s.storage.data();
  s.length = 3000;
  s.loop_start = 0;
  sample_unroll_loop(s);
  EXPECT_EQ(s.unrolled, nullptr);
}

// A voice reading a constant sample at one sample per frame.
struct ConstantVoice {
  ModulePlayer m;
  Sample s;
  explicit ConstantVoice(int length, std::int16_t value = 10000) {
    player_start(m);
    s.storage.assign(static_cast<std::size_t>(length) + 8, value);
    s.storage[length] = 0;
    s.data = s.storage.data();
    s.length = length;
    s.loop_start = 0;
    s.loop_length = length;
    s.loop_type = 1;
    m.voices[0].sample = &s;
    m.voices[0].step = std::uint64_t{1} << 32;
  }
};

TEST(Mixer, RampReachesItsTargetInExactly128Frames) {
  ConstantVoice c(10000);
  Voice& v = c.m.voices[0];
  v.left = 127;
  v.right = 40;
  v.current_left = 0;
  v.current_right = 100 * 256;
  std::vector<float> out(2 * 300, 0.0f);
  mix_voices(c.m, out.data(), 300);
  const float full_left = 10000.0f * (127.0f / 255.0f);
  const float full_right = 10000.0f * (40.0f / 255.0f);
  EXPECT_EQ(out[0], 0.0f);
  for (int i = 1; i < 128; ++i) {
    EXPECT_GT(out[2 * i], out[2 * i - 2]);  // rising linearly
    EXPECT_LT(out[2 * i + 1], out[2 * i - 1]);
  }
  EXPECT_NEAR(out[2 * 127], full_left * 127 / 128, 0.5f);
  for (int i = 128; i < 300; ++i) {
    EXPECT_EQ(out[2 * i], full_left) << i;
    EXPECT_EQ(out[2 * i + 1], full_right) << i;
  }
  EXPECT_EQ(v.current_left, 127 * 256);
  EXPECT_EQ(v.current_right, 40 * 256);
  EXPECT_EQ(v.ramp_frames_remaining, 0);
}

TEST(Mixer, UnloopedSampleStopsExactlyAtItsEnd) {
  ConstantVoice c(50);
  Voice& v = c.m.voices[0];
  v.left = v.last_left = 255;
  v.current_left = 255 * 256;
  std::vector<float> out(2 * 100, 0.0f);
  mix_voices(c.m, out.data(), 100);
  EXPECT_EQ(out[2 * 49], 10000.0f);
  EXPECT_EQ(out[2 * 50], 0.0f);
  EXPECT_EQ(v.sample, nullptr);
  EXPECT_EQ(v.position, 0u);
}

TEST(Mixer, SilentSampleStopsAtOnceWithoutReadingData) {
  ModulePlayer m;
  player_start(m);
  m.voices[3].sample = &module_defaults::silent_sample;
  m.voices[3].step = std::uint64_t{3} << 32;
  m.voices[3].left = 100;
  std::vector<float> out(2 * 10, 0.0f);
  mix_voices(m, out.data(), 10);
  EXPECT_EQ(m.voices[3].sample, nullptr);
  for (float f : out) EXPECT_EQ(f, 0.0f);
}

// A 30-value ramp (value i x 100) looping over 10..19, played by voice 0 of m at full
// left gain with the given step.
void ramp_voice(ModulePlayer& m, Sample& s, std::uint8_t loop_type, std::uint64_t step) {
  player_start(m);
  s.storage.resize(40);
  for (int i = 0; i < 30; ++i) s.storage[i] = static_cast<std::int16_t>(i * 100);
  s.data = s.storage.data();
  s.length = 30;
  s.loop_start = 10;
  s.loop_length = 10;
  s.loop_type = loop_type;
  // The guard value: loop start for a forward loop, the last loop value for ping-pong.
  s.storage[20] = loop_type == 2 ? s.storage[10] : s.storage[19];
  Voice& v = m.voices[0];
  v.sample = &s;
  v.step = step;
  v.left = v.last_left = 255;
  v.current_left = 255 * 256;
}

TEST(Mixer, ForwardLoopPlaysLoopStartToLoopEndMinusOne) {
  ModulePlayer m;
  Sample s;
  ramp_voice(m, s, 2, std::uint64_t{1} << 32);
  std::vector<float> out(2 * 60, 0.0f);
  mix_voices(m, out.data(), 60);
  for (int i = 0; i < 60; ++i) {
    const int expect = i < 20 ? i : 10 + (i - 20) % 10;
    EXPECT_EQ(out[2 * i], expect * 100.0f) << i;
  }
}

TEST(Mixer, PingPongTurnsAtBothEndsAndStaysInTheLoop) {
  ModulePlayer m;
  Sample s;
  ramp_voice(m, s, 4, (std::uint64_t{1} << 32) + 0x40000000);  // 1.25 samples per frame
  Voice& v = m.voices[0];
  float out[2 * 16] = {};
  mix_voices(m, out, 16);  // 0, 1.25 .. 18.75, then the turn at 20
  EXPECT_EQ(v.direction, 2);
  // 20 = 16 x 1.25: the turn reflects 20 to 20 - 2^-32.
  EXPECT_EQ(v.position, (std::uint64_t{20} << 32) - 1);
  std::vector<float> more(2 * 2000, 0.0f);
  mix_voices(m, more.data(), 2000);
  for (int i = 0; i < 2000; ++i) {
    EXPECT_GE(more[2 * i], 900.0f);
    EXPECT_LE(more[2 * i], 1900.0f);
  }
}

TEST(Mixer, CountsOfZeroOrLessDoNothing) {
  ConstantVoice c(100);
  c.m.voices[0].left = 100;
  float out[4] = {1, 2, 3, 4};
  mix_voices(c.m, out, 0);
  mix_voices(c.m, out, -5);
  EXPECT_EQ(out[0], 1.0f);
  EXPECT_EQ(c.m.voices[0].position, 0u);
}

TEST(Pcm, RoundsToNearestEvenAndClamps) {
  const float in[16] = {32767.5f, -0.5f, 0.5f, 1.5f, 2.5f, -1.5f, -32768.7f, 1e10f,
                        -1e10f, 32766.5f, -32767.5f, 0.49999997f, 100.0f, -100.25f, 7.5f, -7.5f};
  std::int16_t out[16];
  pcm_convert(out, in, 8);
  const std::int16_t expect[16] = {32767, 0, 0, 2, 2, -2, -32768, 32767,
                                   -32768, 32766, -32768, 0, 100, -100, 8, -8};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], expect[i]) << i;
  std::int16_t tail[6];
  pcm_convert(tail, in + 10, 3);  // shorter than one vector: scalar path
  for (int i = 0; i < 6; ++i) EXPECT_EQ(tail[i], expect[10 + i]);
}

// ---- update_voice ----

struct OneChannel {
  ModulePlayer m;
  Sample s;
  OneChannel() {
    m.flags = 1;
    m.default_speed = 6;
    m.default_bpm = 125;
    m.channel_count = 1;
    player_start(m);
    s.storage.assign(108, 1000);
    s.data = s.storage.data();
    s.length = 100;
    s.loop_length = 100;
    s.loop_type = 1;
    Channel& ch = m.channels[0];
    ch.volume = 64;
    ch.panning = 128;
    ch.volume_envelope.value = 64;
    ch.panning_envelope.value = 32;
    ch.fadeout_volume = 65536;
    ch.period = 4608;
  }
};

TEST(UpdateVoice, FullVolumeIs127AndPanningSplitsIt) {
  OneChannel o;
  Channel& ch = o.m.channels[0];
  ch.update_flags = update_volume | update_panning | update_frequency | update_trigger;
  update_voice(o.m, ch, o.s);
  Voice& v = *ch.voice;
  EXPECT_EQ(v.volume, 127);
  EXPECT_EQ(v.panning, 128);
  EXPECT_EQ(v.left, 127 * 128 / 255);
  EXPECT_EQ(v.right, 127 * 127 / 255);
  EXPECT_EQ(v.sample, &o.s);
  EXPECT_EQ(v.step, (std::uint64_t{8363} << 32) / 44100);  // period 4608 = 8363 Hz
  // The panning envelope pushes towards the side by the room left to it.
  ch.panning_envelope.value = 64;
  ch.update_flags = update_panning;
  update_voice(o.m, ch, o.s);
  EXPECT_EQ(v.panning, 255);
  EXPECT_EQ(v.left, 127);
  EXPECT_EQ(v.right, 0);
}

TEST(UpdateVoice, FrequenciesBelow100HzPlayAt100AndPeriodZeroKeepsTheStep) {
  OneChannel o;
  o.m.flags = 0;
  Channel& ch = o.m.channels[0];
  ch.period = 1000000;
  ch.update_flags = update_frequency;
  update_voice(o.m, ch, o.s);
  EXPECT_EQ(ch.voice->step, (std::uint64_t{100} << 32) / 44100);
  ch.period = 10;
  ch.period_delta = -10;
  ch.update_flags = update_frequency;
  update_voice(o.m, ch, o.s);
  EXPECT_EQ(ch.voice->step, (std::uint64_t{100} << 32) / 44100);
  EXPECT_EQ(ch.update_flags & update_frequency, 0);
  ch.period = 428;
  ch.period_delta = 0;
  ch.update_flags = update_frequency;
  update_voice(o.m, ch, o.s);
  const std::uint64_t f = 14317056 / 428;
  EXPECT_EQ(ch.voice->step, (f / 44100) << 32 | ((f % 44100) << 32) / 44100);
}

// The steps a voice takes for linear periods, at every period notes and slides reach and
// beyond, against the frequency formulas: the classic 8363 Hz x 2^((4608 - period) / 768),
// at least 100 Hz, and FastTracker 2's frequency (at least a step of 1).
TEST(UpdateVoice, LinearStepsFollowTheFrequencyFormulaAtEveryPeriod) {
  auto step_for = [](std::uint64_t f) { return (f / 44100) << 32 | ((f % 44100) << 32) / 44100; };
  for (ReplayMode mode : {ReplayMode::classic, ReplayMode::ft2}) {
    SCOPED_TRACE(mode == ReplayMode::ft2 ? "ft2" : "classic");
    OneChannel o;
    player_set_replay_mode(o.m, mode);
    Channel& ch = o.m.channels[0];
    for (int period = -20000; period <= 90000; ++period) {
      if (period == 0) continue;  // no frequency: the step stays
      ch.period = period;
      ch.update_flags = update_frequency;
      update_voice(o.m, ch, o.s);
      std::uint64_t expected;
      if (mode == ReplayMode::ft2) {
        expected = std::max<std::uint64_t>(1, step_for(static_cast<std::uint64_t>(ft2_frequency(true, period))));
      } else {
        const double f = 8363.0 * std::exp2((4608.0 - period) / 768.0);
        expected = step_for(f < 100 ? 100 : f > 2147483647.0 ? 2147483647 : static_cast<std::uint64_t>(f));
      }
      ASSERT_EQ(ch.voice->step, expected) << "period " << period;
    }
  }
}

// A slide and a vibrato in one tick can move the period and its delta by the same amount: on
// linear periods the pitch still changes (it follows period - delta), on Amiga ones it does not.
TEST(UpdateVoice, PeriodAndDeltaMovingTogetherChangeTheStepAsTheirFormulaSays) {
  for (ReplayMode mode : {ReplayMode::classic, ReplayMode::ft2})
    for (std::uint16_t flags : {std::uint16_t{1}, std::uint16_t{0}}) {
      SCOPED_TRACE(testing::Message() << (mode == ReplayMode::ft2 ? "ft2" : "classic") << " flags " << flags);
      OneChannel o;
      player_set_replay_mode(o.m, mode);
      o.m.flags = flags;
      Channel& ch = o.m.channels[0];
      ch.period = flags ? 4608 : 428;
      ch.update_flags = update_frequency;
      update_voice(o.m, ch, o.s);
      const std::uint64_t before = ch.voice->step;
      ch.period += 16;
      ch.period_delta -= 16;
      ch.update_flags = update_frequency;
      update_voice(o.m, ch, o.s);
      // A voice given the new period and delta from scratch.
      OneChannel fresh;
      player_set_replay_mode(fresh.m, mode);
      fresh.m.flags = flags;
      fresh.m.channels[0].period = ch.period;
      fresh.m.channels[0].period_delta = ch.period_delta;
      fresh.m.channels[0].update_flags = update_frequency;
      update_voice(fresh.m, fresh.m.channels[0], fresh.s);
      EXPECT_EQ(ch.voice->step, fresh.m.channels[0].voice->step);
      if (flags) EXPECT_LT(ch.voice->step, before);  // 32 steps of 768 lower
      else EXPECT_EQ(ch.voice->step, before);
    }
}

TEST(UpdateVoice, RetriggerMovesTheNewNoteToThePartnerVoice) {
  OneChannel o;
  Channel& ch = o.m.channels[0];
  ch.update_flags = update_volume | update_panning | update_frequency | update_trigger;
  update_voice(o.m, ch, o.s);
  Voice* first = ch.voice;
  EXPECT_EQ(first->index, 0);
  std::vector<float> out(2 * 200, 0.0f);
  mix_voices(o.m, out.data(), 200);
  ch.update_flags = update_trigger | update_volume;
  update_voice(o.m, ch, o.s);
  EXPECT_EQ(ch.voice, &o.m.voices[32]);
  EXPECT_EQ(ch.voice->index, 32);
  EXPECT_EQ(ch.voice->current_left, 0);  // the new note fades in
  EXPECT_EQ(ch.voice->position, 0u);
  EXPECT_EQ(first->sample, &o.s);  // the old one keeps playing, ramping to silence
  EXPECT_EQ(first->left, 0);
  EXPECT_EQ(first->right, 0);
  ch.update_flags = update_trigger;
  update_voice(o.m, ch, o.s);
  EXPECT_EQ(ch.voice, &o.m.voices[0]);  // and back again
}

TEST(UpdateVoice, SampleOffsetBeyondTheLoopStartsAtZero) {
  OneChannel o;
  Channel& ch = o.m.channels[0];
  ch.voice->start_offset = 40;
  ch.update_flags = update_trigger;
  update_voice(o.m, ch, o.s);
  EXPECT_EQ(ch.voice->position, std::uint64_t{40} << 32);
  EXPECT_EQ(ch.voice->start_offset, 0u);
  ch.voice = &o.m.voices[5];
  ch.voice->start_offset = 100;
  ch.update_flags = update_trigger;
  update_voice(o.m, ch, o.s);
  EXPECT_EQ(ch.voice->position, 0u);
}

}  // namespace
