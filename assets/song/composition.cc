// vexo.xm: the demo's song. A minor, 125 BPM, four bars of 16 rows per pattern.
// Orders: 0 intro, 1-8 the theme (two pictures per pattern), 9 the opening's reprise under
// the returning title, 10 the last phrase and the final chord that dies away with the
// picture, 11 the end (silent).
//
// The stereo image: drums and bass in the middle, the three pad voices spread left, centre
// and right, the lead a little left with its echo answering on the right, the plucks
// bouncing between the sides with their own echo. All by panning, never by phase, so the
// mix folds to mono without losing anything.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "instruments.h"

namespace song {

namespace {

enum Channel {
  ch_kick, ch_snare, ch_hat, ch_bass, ch_pad1, ch_pad2, ch_pad3, ch_lead, ch_pluck, ch_fx,
  ch_lead_echo, ch_pluck_echo, kChannels
};

constexpr std::uint8_t key_off = 97;
// Effects.
constexpr std::uint8_t fx_arpeggio = 0x0, fx_porta_up = 0x1, fx_tone_porta = 0x3, fx_vibrato = 0x4,
                       fx_panning = 0x8, fx_panning_slide = 0x19;
// Volume column: 0x10 + v sets volume v (0..64); 0x70 + x slides it up by x every tick.
constexpr std::uint8_t vol(int v) { return static_cast<std::uint8_t>(0x10 + v); }
constexpr std::uint8_t vol_slide_up(int x) { return static_cast<std::uint8_t>(0x70 + x); }

// Where each voice sits: 0x80 is the middle, the ends are the two sides.
constexpr std::uint8_t kPadPan[3] = {0x20, 0x80, 0xE0};
constexpr std::uint8_t kLeadPan = 0x70, kLeadEchoPan = 0xD8;
constexpr std::uint8_t mirror(std::uint8_t pan) { return static_cast<std::uint8_t>(255 - pan); }

// "A-4", "C#5" -> note number (C-0 = 1).
std::uint8_t note(const std::string& s) {
  static const char* names = "C-C#D-D#E-F-F#G-G#A-A#B-";
  for (int i = 0; i < 12; ++i)
    if (s.compare(0, 2, std::string(names + 2 * i, 2)) == 0) return static_cast<std::uint8_t>((s[2] - '0') * 12 + i + 1);
  return 0;
}

struct Chord {
  const char* root;         // bass note
  const char* voicing[3];   // pad notes
  std::uint8_t arpeggio;    // pluck arpeggio (minor 0x37, major 0x47)
};
const Chord kAm{"A-2", {"A-3", "C-4", "E-4"}, 0x37};
const Chord kF{"F-2", {"F-3", "A-3", "C-4"}, 0x47};
const Chord kC{"C-3", {"G-3", "C-4", "E-4"}, 0x47};
const Chord kG{"G-2", {"G-3", "B-3", "D-4"}, 0x47};
const Chord kDm{"D-3", {"F-3", "A-3", "D-4"}, 0x37};
const Chord kE{"E-2", {"G#3", "B-3", "E-4"}, 0x47};

// Melodies: "A-4:3 ~C-5:3 ..." note and length in rows; '~' slides into the note with
// tone portamento; "---:n" is a rest.
const char* kThemeA[4] = {"A-4:3 C-5:3 E-5:4 D-5:2 C-5:2 B-4:2", "C-5:6 A-4:2 F-4:4 A-4:4",
                          "G-4:3 C-5:3 E-5:4 G-5:4 E-5:2", "D-5:8 B-4:4 G-4:4"};
const char* kThemeB[4] = {"E-5:4 D-5:2 C-5:2 ~A-4:8", "F-5:4 E-5:2 C-5:2 A-4:4 C-5:4",
                          "G-5:6 E-5:2 C-5:4 E-5:4", "D-5:6 B-4:2 G-4:4 ~B-4:4"};
const char* kBreak[4] = {"A-5:12 G-5:4", "F-5:12 E-5:4", "E-5:8 D-5:4 C-5:4", "B-4:12 ---:4"};
const char* kClose[4] = {"E-5:8 C-5:8", "C-5:8 A-4:8", "G-4:8 C-5:8", "~B-4:16"};
// The last phrase: up to F over F major, down through the leading note over E major; the
// final A is written apart, it has to die away exactly with the picture.
const char* kLast[2] = {"A-4:4 C-5:4 F-5:6 E-5:2", "D-5:6 C-5:2 B-4:4 G#4:4"};

struct Parts {
  const Chord* chords[4];
  bool kick = true, snare = true, hats = true, bass = true, pads = true, pluck = false;
  bool half_time = false;   // kick on 1 and 3 only
  bool fill = false;        // snare roll in the last bar
  bool crash = false;       // crash on row 0
  const char* const* melody = nullptr;
  int pad_volume = 40;
};

class Writer {
 public:
  explicit Writer(XmPattern& p) : p_(p) {}
  XmCell& at(int row, int ch) { return p_.at(row, ch, kChannels); }
  void hit(int row, int ch, std::uint8_t ins, const std::string& n, int volume = -1) {
    XmCell& c = at(row, ch);
    c.note = note(n);
    c.instrument = ins;
    if (volume >= 0) c.volume = vol(volume);
  }
  void off(int row, int ch) {
    if (row < 64 && at(row, ch).note == 0) at(row, ch).note = key_off;
  }
  void fx(int row, int ch, std::uint8_t effect, std::uint8_t param) {
    at(row, ch).effect = effect;
    at(row, ch).param = param;
  }

 private:
  XmPattern& p_;
};

void melody(Writer& w, const char* const* bars, int volume, int count = 4) {
  for (int bar = 0; bar < count; ++bar) {
    std::istringstream in(bars[bar]);
    std::string tok;
    int row = bar * 16;
    while (in >> tok) {
      bool slide = tok[0] == '~';
      if (slide) tok.erase(0, 1);
      std::string n = tok.substr(0, 3);
      int len = std::stoi(tok.substr(4));
      if (n != "---") {
        XmCell& c = w.at(row, ch_lead);
        c.note = note(n);
        if (slide) {
          c.effect = fx_tone_porta;
          c.param = 0x18;
          for (int r = row + 1; r < row + std::min(len, 4); ++r) w.fx(r, ch_lead, fx_tone_porta, 0);
        } else {
          c.instrument = lead;
          c.volume = vol(volume);
          c.effect = fx_panning;  // a new note starts at the sample's panning
          c.param = kLeadPan;
        }
        // Long notes sing: vibrato after the attack.
        if (len >= 6)
          for (int r = row + 3; r < row + len; ++r) w.fx(r, ch_lead, fx_vibrato, r == row + 3 ? 0x35 : 0);
      }
      row += len;
      if (n == "---" && row - len < 64) w.off(row - len, ch_lead);
    }
  }
}

XmPattern build(const Parts& parts) {
  XmPattern p;
  p.rows = 64;
  Writer w(p);
  for (int bar = 0; bar < 4; ++bar) {
    const Chord& c = *parts.chords[bar];
    const int r0 = bar * 16;
    const bool last_bar = bar == 3;
    if (parts.kick)
      for (int b = 0; b < 4; ++b)
        if (!parts.half_time || b % 2 == 0) w.hit(r0 + 4 * b, ch_kick, kick, "C-4");
    if (parts.snare && !(parts.fill && last_bar)) {
      w.hit(r0 + 4, ch_snare, snare, "C-4");
      w.hit(r0 + 12, ch_snare, snare, "C-4");
    }
    if (parts.fill && last_bar)
      for (int r = 0; r < 16; r += (r < 8 ? 2 : 1)) w.hit(r0 + r, ch_snare, snare, "C-4", 24 + r * 2 + (r >= 8 ? 10 : 0));
    if (parts.hats)
      for (int r = 0; r < 16; r += 2) {
        // Off-beats louder; each hit panned a little left or right.
        w.hit(r0 + r, ch_hat, hat, r % 4 == 2 ? "C-4" : "D-4", r % 4 == 2 ? 48 : 26);
        w.fx(r0 + r, ch_hat, fx_panning, (r / 2) % 2 ? 0xD0 : 0x30);
      }
    if (parts.bass) {
      const std::string root = c.root;
      std::string up = root;
      up[2] = static_cast<char>(up[2] + 1);
      const int rows[7] = {0, 3, 6, 8, 10, 11, 14};
      const bool high[7] = {false, false, true, false, false, true, false};
      for (int i = 0; i < 7; ++i) {
        w.hit(r0 + rows[i], ch_bass, bass, high[i] ? up : root, high[i] ? 44 : 56);
        w.off(r0 + rows[i] + 2, ch_bass);
      }
    }
    if (parts.pads)
      for (int k = 0; k < 3; ++k) {
        w.hit(r0, ch_pad1 + k, pad, c.voicing[k], parts.pad_volume);
        w.fx(r0, ch_pad1 + k, fx_panning, kPadPan[k]);
      }
    if (parts.pluck) {
      // Plucked chord arpeggios, bouncing between left and right.
      for (int r = 0; r < 16; r += 3) {
        std::string n = c.voicing[0];
        n[2] = static_cast<char>(n[2] + 1);
        w.hit(r0 + r, ch_pluck, pluck, n, 40);
        w.fx(r0 + r, ch_pluck, fx_arpeggio, c.arpeggio);
        w.fx(r0 + r + 1, ch_pluck, fx_arpeggio, c.arpeggio);
        w.fx(r0 + r + 2, ch_pluck, fx_panning, (r / 3) % 2 ? 0xE0 : 0x20);
      }
    }
  }
  if (parts.crash) w.hit(0, ch_fx, crash, "C-4", 48);
  if (parts.melody) melody(w, parts.melody, 48);
  return p;
}

XmPattern intro() {
  // Pads swell out of silence; hats and plucks join at row 32; a riser and a snare roll
  // lead into the theme.
  Parts parts{{&kAm, &kF, &kC, &kG}};
  parts.kick = parts.snare = parts.bass = parts.hats = false;
  parts.pad_volume = 8;
  XmPattern p = build(parts);
  Writer w(p);
  // The chord swells out of silence and opens from the middle out to both sides.
  for (int k = 0; k < 3; ++k)
    for (int r = 0; r < 32; ++r) {
      XmCell& c = w.at(r, ch_pad1 + k);
      if (c.volume == 0) c.volume = vol_slide_up(1);
      if (r % 16 == 0) {
        c.effect = fx_panning;
        c.param = 0x80;
      } else if (r % 16 <= 11 && k != 1) {
        c.effect = fx_panning_slide;
        c.param = k == 0 ? 0x01 : 0x10;
      }
    }
  for (int bar = 2; bar < 4; ++bar)
    for (int k = 0; k < 3; ++k) w.at(bar * 16, ch_pad1 + k).volume = vol(40);
  for (int r = 32; r < 64; r += 2) {
    w.hit(r, ch_hat, hat, "C-4", 16 + (r - 32));
    w.fx(r, ch_hat, fx_panning, (r / 2) % 2 ? 0xB0 : 0x50);
  }
  for (int r = 32; r < 64; r += 4) {
    w.hit(r, ch_pluck, pluck, r < 48 ? "A-4" : "G-4", 34);
    w.fx(r, ch_pluck, fx_arpeggio, r < 48 ? 0x37 : 0x47);
    w.fx(r + 1, ch_pluck, fx_arpeggio, r < 48 ? 0x37 : 0x47);
  }
  // Riser: a crash played low, sliding upward.
  w.hit(48, ch_fx, crash, "C-2", 20);
  for (int r = 49; r < 64; ++r) {
    w.fx(r, ch_fx, fx_porta_up, 0x20);
    w.at(r, ch_fx).volume = vol(20 + (r - 48) * 2);
  }
  for (int r = 56; r < 64; ++r) w.hit(r, ch_snare, snare, "C-4", 16 + (r - 56) * 6);
  return p;
}

// The title comes back at order 9, and the music goes back with it: the opening's chords
// and its pluck figure, over a half-time beat, the lead closing the theme; the opening's
// snare roll leads into the last phrase.
XmPattern reprise() {
  Parts parts{{&kAm, &kF, &kC, &kG}};
  parts.half_time = true;
  parts.snare = false;
  parts.crash = true;
  parts.melody = kClose;
  XmPattern p = build(parts);
  Writer w(p);
  const char* figure[4] = {"A-4", "F-4", "G-4", "G-4"};
  const std::uint8_t arp[4] = {0x37, 0x47, 0x58, 0x47};
  for (int r = 0; r < 64; r += 4) {
    const int bar = r / 16;
    w.hit(r, ch_pluck, pluck, figure[bar], 30 + bar * 2);
    w.fx(r, ch_pluck, fx_arpeggio, arp[bar]);
    w.fx(r + 1, ch_pluck, fx_arpeggio, arp[bar]);
    w.fx(r + 2, ch_pluck, fx_panning, (r / 4) % 2 ? 0xC8 : 0x38);
  }
  for (int r = 56; r < 64; ++r) w.hit(r, ch_snare, snare, "C-4", 12 + (r - 56) * 4);
  return p;
}

// The last phrase over F and E, then the final A minor chord from row 32, where the picture
// starts to fade. The chord is struck once and rings; its fade is written by final_fade.
constexpr int kFinalRow = 32;
XmPattern last_phrase() {
  Parts parts{{&kF, &kE, &kAm, &kAm}};
  parts.half_time = true;
  parts.snare = false;
  parts.pluck = true;
  XmPattern p = build(parts);
  Writer w(p);
  for (int r = kFinalRow; r < 64; ++r)
    for (int ch = 0; ch < kChannels; ++ch) w.at(r, ch) = XmCell{};
  melody(w, kLast, 48, 2);
  for (int r = 24; r < 32; ++r) w.hit(r, ch_snare, snare, "C-4", 14 + (r - 24) * 4);
  const int r = kFinalRow;
  w.hit(r, ch_kick, kick, "C-4");
  w.hit(r, ch_fx, crash, "C-4", 44);
  w.hit(r, ch_bass, bass, "A-2", 56);
  for (int k = 0; k < 3; ++k) {
    w.hit(r, ch_pad1 + k, pad, kAm.voicing[k], 48);
    w.fx(r, ch_pad1 + k, fx_panning, kPadPan[k]);
  }
  w.hit(r, ch_lead, lead, "A-4", 48);
  w.fx(r, ch_lead, fx_panning, kLeadPan);
  for (int v = r + 3; v < 64; ++v) w.fx(v, ch_lead, fx_vibrato, v == r + 3 ? 0x24 : 0);
  w.hit(r, ch_pluck, pluck, "A-4", 36);
  w.fx(r, ch_pluck, fx_arpeggio, 0x37);
  w.fx(r + 1, ch_pluck, fx_arpeggio, 0x37);
  return p;
}

// The held voices of the final chord die away row by row and fall silent on the
// pattern's last row: the song ends with the picture's fade, not before.
void final_fade(XmPattern& p) {
  Writer w(p);
  const int channels[] = {ch_bass, ch_pad1, ch_pad2, ch_pad3, ch_lead, ch_lead_echo};
  for (int ch : channels) {
    int start = -1, v0 = 0;
    for (int r = kFinalRow; r < 64 && start < 0; ++r)
      if (w.at(r, ch).instrument != 0) {
        start = r;
        v0 = w.at(r, ch).volume - 0x10;
      }
    if (start < 0) continue;
    for (int r = start + 1; r < 64; ++r) {
      const double left = static_cast<double>(63 - r) / static_cast<double>(63 - kFinalRow);
      // The mixer's gains are whole steps: below about 3 a voice rounds to nothing.
      const int v = r == 63 ? 0 : std::max(3, static_cast<int>(std::lround(v0 * left)));
      w.at(r, ch).volume = vol(v);
    }
  }
}

// A tracker's echo: channel `from` copied into `to`, `delay` rows later and quieter, across
// pattern boundaries in the order of play, up to pattern `last`. The echo sits at `pan`
// where the source sits at `home`; the source's other panning moves are mirrored.
void echo(std::vector<XmPattern>& patterns, std::size_t last, int from, int to, int delay, int percent,
          std::uint8_t home, std::uint8_t pan) {
  const int total = static_cast<int>(last + 1) * 64;
  for (int g = 0; g + delay < total; ++g) {
    const XmCell src = patterns[g / 64].at(g % 64, from, kChannels);
    const int d = g + delay;
    XmCell& dst = patterns[d / 64].at(d % 64, to, kChannels);
    dst.note = src.note;
    dst.instrument = src.instrument;
    dst.volume = src.volume >= 0x10 && src.volume <= 0x50 ? vol((src.volume - 0x10) * percent / 100) : src.volume;
    dst.effect = src.effect;
    dst.param = src.effect != fx_panning ? src.param : src.param == home ? pan : mirror(src.param);
    if (src.instrument != 0 && src.effect == 0) {
      dst.effect = fx_panning;
      dst.param = pan;
    }
  }
}

XmModule compose() {
  XmModule m;
  m.name = "vexo";
  m.channels = kChannels;
  m.speed = 6;
  m.bpm = 125;
  m.linear_frequencies = true;
  m.instruments = make_instruments();

  const Chord* main_prog[4] = {&kAm, &kF, &kC, &kG};
  auto theme = [&](const char* const* mel, bool pluck, bool fill, bool crash) {
    Parts parts{{main_prog[0], main_prog[1], main_prog[2], main_prog[3]}};
    parts.melody = mel;
    parts.pluck = pluck;
    parts.fill = fill;
    parts.crash = crash;
    return build(parts);
  };
  m.patterns.push_back(intro());                                   // 0
  m.patterns.push_back(theme(nullptr, false, false, true));        // 1: groove
  m.patterns.push_back(theme(kThemeA, false, false, true));        // 2: theme
  m.patterns.push_back(theme(kThemeB, true, true, false));         // 3: answer
  {
    Parts brk{{&kF, &kG, &kAm, &kE}};                              // 4: breakdown
    brk.kick = brk.snare = false;
    brk.pluck = true;
    brk.melody = kBreak;
    brk.crash = true;
    m.patterns.push_back(build(brk));
  }
  m.patterns.push_back(theme(kThemeA, true, false, true));         // 5: theme, fuller
  {
    Parts dm{{&kDm, &kAm, &kE, &kAm}};                             // 6: turn to D minor
    dm.melody = kThemeB;
    dm.pluck = true;
    m.patterns.push_back(build(dm));
  }
  m.patterns.push_back(theme(kThemeA, true, false, true));         // 7: climax
  m.patterns.push_back(theme(kThemeB, true, true, false));         // 8: last theme, roll
  m.patterns.push_back(reprise());                                 // 9: the opening again
  m.patterns.push_back(last_phrase());                             // 10: last phrase, fade
  echo(m.patterns, 10, ch_lead, ch_lead_echo, 3, 50, kLeadPan, kLeadEchoPan);
  echo(m.patterns, 10, ch_pluck, ch_pluck_echo, 3, 50, 0x80, 0x80);
  final_fade(m.patterns[10]);
  XmPattern silence;                                               // 11: the end
  silence.rows = 64;
  m.patterns.push_back(silence);
  m.orders = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  m.restart_position = 0;
  return m;
}

}  // namespace

}  // namespace song

int main(int argc, char** argv) {
  if (argc != 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    std::puts("usage: vexo-song OUT.xm\nWrites the demo's song, vexo.xm, with its synthesised instruments.");
    return argc == 2 ? 0 : 2;
  }
  std::vector<std::uint8_t> bytes = xm_write(song::compose());
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "vexo-song: cannot write '%s'\n", argv[1]);
    return 1;
  }
  std::fprintf(stderr, "vexo-song: %zu bytes into %s\n", bytes.size(), argv[1]);
  return 0;
}
