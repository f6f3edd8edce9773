// Drums from shaped noise and swept sines; tonal instruments by additive synthesis of
// whole cycles, so their loops are seamless.
#include "instruments.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace song {

namespace {

// Samples play at this rate on C-4 (8363 Hz two octaves up), and one cycle of 128
// samples then sounds as C-4.
constexpr double kRate = 8363.0 * 4.0;
constexpr int kCycle = 128;
constexpr double kPi = 3.14159265358979323846;

// Deterministic noise (the build must give the same bytes everywhere).
struct Noise {
  std::uint32_t state;
  double next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
  }
};

std::vector<std::int16_t> to_pcm(const std::vector<double>& v, double gain) {
  double peak = 1e-9;
  for (double x : v) peak = std::max(peak, std::fabs(x));
  std::vector<std::int16_t> out(v.size());
  for (std::size_t i = 0; i < v.size(); ++i)
    out[i] = static_cast<std::int16_t>(std::lround(std::clamp(v[i] / peak * gain, -1.0, 1.0) * 32767.0));
  return out;
}

XmInstrument one_sample(const char* name, XmSample s) {
  XmInstrument ins;
  ins.name = name;
  s.relative_note = 24;
  s.name = name;
  ins.samples.push_back(std::move(s));
  ins.keymap.fill(0);
  return ins;
}

void envelope(XmInstrument& ins, std::vector<std::array<std::uint16_t, 2>> points, int sustain, std::uint16_t fadeout) {
  ins.volume_envelope.points = std::move(points);
  ins.volume_envelope.type = 1;
  if (sustain >= 0) {
    ins.volume_envelope.type |= 2;
    ins.volume_envelope.sustain = static_cast<std::uint8_t>(sustain);
  }
  ins.fadeout = fadeout;
}

XmInstrument make_kick() {
  const int n = static_cast<int>(kRate * 0.42);
  std::vector<double> v(n);
  double phase = 0;
  Noise noise{7};
  for (int i = 0; i < n; ++i) {
    double t = i / kRate;
    double f = 42.0 + 130.0 * std::exp(-t * 28.0);
    phase += 2 * kPi * f / kRate;
    double body = std::sin(phase) * std::exp(-t * 6.5);
    double click = noise.next() * std::exp(-t * 400.0) * 0.5;
    v[i] = std::tanh(1.6 * body) + click;
  }
  XmSample s;
  s.data = to_pcm(v, 0.98);
  return one_sample("kick", s);
}

XmInstrument make_snare() {
  const int n = static_cast<int>(kRate * 0.32);
  std::vector<double> v(n);
  Noise noise{11};
  double lp = 0, phase = 0;
  for (int i = 0; i < n; ++i) {
    double t = i / kRate;
    phase += 2 * kPi * (180.0 + 60.0 * std::exp(-t * 40.0)) / kRate;
    double r = noise.next();
    lp += 0.45 * (r - lp);  // take the fizz off the top
    v[i] = std::sin(phase) * std::exp(-t * 30.0) * 0.9 + lp * std::exp(-t * 13.0) * 1.1;
  }
  XmSample s;
  s.data = to_pcm(v, 0.95);
  s.volume = 56;
  return one_sample("snare", s);
}

XmInstrument make_noise_hit(const char* name, double seconds, double decay, std::uint32_t seed, double tone) {
  const int n = static_cast<int>(kRate * seconds);
  std::vector<double> v(n);
  Noise noise{seed};
  double prev = 0;
  for (int i = 0; i < n; ++i) {
    double t = i / kRate;
    double r = noise.next();
    double hp = r - prev;  // high-passed: metallic
    prev = r;
    double ring = std::sin(2 * kPi * tone * t) * std::sin(2 * kPi * tone * 1.47 * t);
    v[i] = (hp * 0.8 + ring * 0.25) * std::exp(-t * decay);
  }
  XmSample s;
  s.data = to_pcm(v, 0.9);
  return one_sample(name, s);
}

// One cycle of a band-limited wave: harmonic h has amplitude amp(h).
template <typename Amp>
void add_cycles(std::vector<double>& v, int cycles, int harmonics, Amp&& amp, double phase = 0) {
  const int n = cycles * kCycle;
  std::size_t base = v.size();
  v.resize(base + n, 0.0);
  for (int h = 1; h <= harmonics; ++h) {
    double a = amp(h);
    if (a == 0) continue;
    for (int i = 0; i < n; ++i) v[base + i] += a * std::sin(2 * kPi * h * i / kCycle + phase * h);
  }
}

// A plucked, filtered saw: each cycle a little darker, the last cycle loops.
XmSample filtered_saw(int attack_cycles, double bright, double dark, double sub) {
  std::vector<double> v;
  for (int c = 0; c <= attack_cycles; ++c) {
    double cutoff = dark + (bright - dark) * std::exp(-4.0 * c / attack_cycles);
    add_cycles(v, 1, 48, [&](int h) {
      double a = 1.0 / h / (1.0 + std::pow(h / cutoff, 4.0));
      return a + (h == 1 ? sub : 0.0);
    });
  }
  XmSample s;
  s.data = to_pcm(v, 0.9);
  s.loop = 1;
  s.loop_start = static_cast<std::uint32_t>(attack_cycles * kCycle);
  s.loop_length = kCycle;
  return s;
}

XmInstrument make_bass() {
  XmSample s = filtered_saw(40, 18.0, 5.0, 0.6);
  XmInstrument ins = one_sample("bass", s);
  ins.samples[0].relative_note = 24;
  envelope(ins, {{0, 0}, {2, 64}, {12, 50}, {40, 44}}, 3, 0x800);
  return ins;
}

XmInstrument make_pad() {
  // Three saws detuned by whole cycles over the loop: 63, 64 and 65 cycles in 64 cycles'
  // room, a slow chorus that loops exactly. An octave above adds air.
  const int cycles = 64, n = cycles * kCycle;
  std::vector<double> v(n, 0.0);
  const int voices[4] = {63, 64, 65, 128};
  const double gains[4] = {1.0, 1.0, 1.0, 0.35};
  for (int k = 0; k < 4; ++k)
    for (int h = 1; h * voices[k] < n / 2 && h <= 24; ++h) {
      double a = gains[k] / h / (1.0 + std::pow(h / 6.0, 3.0));
      double ph = 0.7 * k * h;
      for (int i = 0; i < n; ++i) v[i] += a * std::sin(2 * kPi * h * voices[k] * i / n + ph);
    }
  XmSample s;
  s.data = to_pcm(v, 0.85);
  s.loop = 1;
  s.loop_start = 0;
  s.loop_length = static_cast<std::uint32_t>(n);
  s.volume = 44;
  // relative note 24 with 64 base cycles in the loop: the fundamental is the 64-cycle voice.
  XmInstrument ins = one_sample("pad", s);
  envelope(ins, {{0, 0}, {30, 60}, {60, 52}, {100, 48}}, 3, 0x180);
  ins.vibrato_type = 0;
  ins.vibrato_sweep = 40;
  ins.vibrato_depth = 3;
  ins.vibrato_rate = 6;
  return ins;
}

XmInstrument make_lead() {
  std::vector<double> v;
  // A soft pulse: odd harmonics strong, even ones weaker, rolled off.
  add_cycles(v, 1, 32, [](int h) { return (h % 2 ? 1.0 : 0.35) / h / (1.0 + std::pow(h / 12.0, 2.0)); });
  XmSample s;
  s.data = to_pcm(v, 0.8);
  s.loop = 1;
  s.loop_start = 0;
  s.loop_length = kCycle;
  s.volume = 50;
  XmInstrument ins = one_sample("lead", s);
  envelope(ins, {{0, 0}, {1, 64}, {8, 48}, {30, 42}}, 3, 0x300);
  ins.vibrato_type = 0;
  ins.vibrato_sweep = 64;
  ins.vibrato_depth = 4;
  ins.vibrato_rate = 10;
  return ins;
}

XmInstrument make_pluck() {
  XmSample s = filtered_saw(24, 30.0, 3.0, 0.0);
  s.volume = 40;
  XmInstrument ins = one_sample("pluck", s);
  envelope(ins, {{0, 64}, {4, 40}, {14, 16}, {30, 0}}, -1, 0x400);
  // Panning envelope: a slow swing from left to right under each note.
  ins.panning_envelope.points = {{0, 20}, {20, 44}};
  ins.panning_envelope.type = 1;
  return ins;
}

}  // namespace

std::vector<XmInstrument> make_instruments() {
  std::vector<XmInstrument> all;
  all.push_back(make_kick());
  all.push_back(make_snare());
  all.push_back(make_noise_hit("hat", 0.11, 45.0, 23, 6100.0));
  all.push_back(make_noise_hit("crash", 0.9, 3.2, 29, 4300.0));
  all.push_back(make_bass());
  all.push_back(make_pad());
  all.push_back(make_lead());
  all.push_back(make_pluck());
  all[2].samples[0].volume = 36;
  all[3].samples[0].volume = 40;
  return all;
}

}  // namespace song
