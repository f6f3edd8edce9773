// The whole demo captured headless: the timeline in its log, chosen frames against a
// composition recomputed from the archive's pictures, the sound against the offline
// rendering of the module (and how it ends and sits in stereo), a second run that logs the
// same, and video captures that repeat byte for byte.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "fs/archive.h"
#include "gfx/surface.h"
#include "host/host.h"
#include "image/image_reader.h"
#include "sound/module.h"
#include "sound/render.h"

namespace {

struct Line {
  unsigned frame = 0, time = 0;
  std::uint16_t position = 0, previous = 0;
  bool end = false;
};

std::vector<std::uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<Line> read_log(const std::string& path) {
  std::vector<Line> lines;
  std::ifstream in(path);
  std::string text;
  while (std::getline(in, text)) {
    if (text.empty() || text[0] == '#') continue;
    std::istringstream s(text);
    Line l;
    std::string pos, prev, tag;
    s >> l.frame >> l.time >> pos >> prev >> tag;
    l.position = static_cast<std::uint16_t>(std::stoul(pos, nullptr, 16));
    l.previous = static_cast<std::uint16_t>(std::stoul(prev, nullptr, 16));
    l.end = tag == "end";
    lines.push_back(l);
  }
  return lines;
}

int run_capture(const std::string& args) {
  const std::string cmd = std::string("'") + VEXO_CAPTURE + "' --quiet " + args;
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Where the timeline is: 0 and 1 the intro's halves, 2..17 the sixteen pictures, 18 the
// closing logo, 19 the fade to black, 20 the end.
int range_of(std::uint16_t p) {
  if (p < 0x0020) return 0;
  if (p < 0x0100) return 1;
  if (p < 0x0900) return 2 + 2 * ((p - 0x0100) >> 8) + ((p & 0x20) ? 1 : 0);
  if (p < 0x0A20) return 18;
  if (p < 0x0B00) return 19;
  return 20;
}

struct Pictures {
  Picture seq[16]{}, right{}, left{}, overlay{}, logo{};
};

Picture decode(const char* name, PixelFormat format, std::uint32_t bpp) {
  std::uint32_t size = 0;
  void* data = file_load_whole(name, &size);
  MemoryByteSource source(data, size);
  ImageReader reader(&source, name);
  Picture p{};
  if (reader.read_header()) {
    p.width = static_cast<std::int32_t>(reader.width());
    p.height = static_cast<std::int32_t>(reader.height());
    p.pixels = static_cast<std::uint32_t*>(std::malloc(std::size_t(p.width) * p.height * bpp));
    EXPECT_TRUE(reader.decode(p.pixels, format, p.width * bpp, nullptr)) << name;
  }
  std::free(data);
  return p;
}

Picture masked(const char* colour, const char* mask) {
  Picture c = decode(colour, PixelFormat::argb32, 4), m = decode(mask, PixelFormat::grey8, 1);
  const auto* a = reinterpret_cast<const std::uint8_t*>(m.pixels);
  for (int y = 0; y < std::min(c.height, m.height); ++y)
    for (int x = 0; x < std::min(c.width, m.width); ++x)
      c.pixels[y * c.width + x] = (std::uint32_t(a[y * m.width + x]) << 24) | (c.pixels[y * c.width + x] & 0xFFFFFF);
  std::free(m.pixels);
  return c;
}

std::vector<std::uint8_t> read_png_rgb(const std::string& path, int& w, int& h) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  w = static_cast<int>(image.width);
  h = static_cast<int>(image.height);
  return rgb;
}

class VexoCapture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char tmpl[] = "/tmp/vexo-e2e-XXXXXX";
    dir = mkdtemp(tmpl);
    exit_code = run_capture("--no-video --log " + dir + "/log1 --wav " + dir + "/sound.wav");
    log = read_log(dir + "/log1");
    // Install the archive as the program's embedded block, as vexo has it.
    pak = read_file(VEXO_PAK);
    block = {"FileSystem", 102, pak.data(), pak.size()};
    host_set_embedded_blocks({&block, 1});
    mounted = archive_mount("vexo.pak");
  }
  static void TearDownTestSuite() {
    if (mounted) archive_unmount();
    host_set_embedded_blocks({});
    std::system(("rm -rf '" + dir + "'").c_str());
  }

  // The first logged frame at or after `from` whose position satisfies pred.
  template <typename Pred>
  static const Line* first(Pred pred, std::size_t from = 0) {
    for (std::size_t i = from; i < log.size(); ++i)
      if (pred(log[i])) return &log[i];
    return nullptr;
  }

  static inline std::string dir;
  static inline int exit_code = -1;
  static inline std::vector<Line> log;
  static inline std::vector<std::uint8_t> pak;
  static inline EmbeddedBlock block{};
  static inline bool mounted = false;
};

TEST_F(VexoCapture, EndsByItselfAtOrder11AfterEveryRangeInOrder) {
  ASSERT_EQ(exit_code, 0);
  ASSERT_GT(log.size(), 1000u);
  EXPECT_EQ(log.front().previous, 0xFFFF);
  EXPECT_TRUE(log.back().end);
  EXPECT_EQ(log.back().position, 0x0B00);
  std::vector<int> entered;
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (i > 0) {
      ASSERT_EQ(log[i].frame, log[i - 1].frame + 1);
      ASSERT_EQ(log[i].previous, log[i - 1].position);
      ASSERT_GE(log[i].time, log[i - 1].time);
    }
    const int r = range_of(log[i].position);
    if (entered.empty() || entered.back() != r) entered.push_back(r);
  }
  std::vector<int> expected;
  for (int r = 0; r <= 20; ++r) expected.push_back(r);
  EXPECT_EQ(entered, expected);
  // The sliders' orders are there too, each with both halves.
  EXPECT_NE(first([](const Line& l) { return l.position == 0x0300; }), nullptr);
  EXPECT_NE(first([](const Line& l) { return l.position >= 0x0520 && l.position < 0x0600; }), nullptr);
}

TEST_F(VexoCapture, SoundIsTheOfflineRenderingOfTheModule) {
  ASSERT_TRUE(mounted);
  std::vector<std::uint8_t> wav = read_file(dir + "/sound.wav");
  ASSERT_GT(wav.size(), 44u);
  ASSERT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
  const std::size_t frames = (wav.size() - 44) / 4;
  // About as long as the pictures: one 735-frame step per video frame.
  EXPECT_NEAR(double(frames), double(log.size() - 1) * 735.0, 2.0 * chunk_frames);

  std::uint32_t size = 0;
  void* xm = file_load_whole("vexo.xm", &size);
  auto player = module_load(xm, size);
  std::free(xm);
  ASSERT_NE(player, nullptr);
  OfflineRenderer renderer(*player);
  std::vector<std::int16_t> pcm((frames / chunk_frames + 1) * chunk_frames * 2);
  for (std::size_t at = 0; at < frames; at += chunk_frames) renderer.render_chunk(pcm.data() + at * 2, false);
  EXPECT_EQ(std::memcmp(wav.data() + 44, pcm.data(), frames * 4), 0);
  // And it is music, not silence.
  std::int64_t energy = 0;
  for (std::size_t i = 0; i < frames * 2; i += 97) energy += std::abs(pcm[i]);
  EXPECT_GT(energy / std::int64_t(frames * 2 / 97), 300);
}

// The sound of the whole capture, as 16-bit stereo frames.
std::vector<std::int16_t> wav_samples(const std::vector<std::uint8_t>& wav) {
  std::vector<std::int16_t> pcm((wav.size() - 44) / 4 * 2);
  std::memcpy(pcm.data(), wav.data() + 44, pcm.size() * 2);
  return pcm;
}

TEST_F(VexoCapture, TheLastNoteDiesAwayWithThePictureNotBefore) {
  ASSERT_EQ(exit_code, 0);
  const std::vector<std::uint8_t> wav = read_file(dir + "/sound.wav");
  ASSERT_GT(wav.size(), 44u + 44100 * 4);
  const std::vector<std::int16_t> pcm = wav_samples(wav);
  const std::size_t frames = pcm.size() / 2;
  std::size_t last = 0;
  for (std::size_t i = 0; i < frames; ++i)
    if (pcm[2 * i] != 0 || pcm[2 * i + 1] != 0) last = i;
  const double gap = double(frames - 1 - last) / 44100.0;
  std::printf("last sound %.3f s before the end of the demo (%.3f s)\n", gap, double(frames) / 44100.0);
  EXPECT_LE(gap, 0.3);
  // And it dies away: the last half second is far quieter than the second before it.
  auto rms = [&](std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from * 2; i < to * 2; ++i) sum += double(pcm[i]) * pcm[i];
    return std::sqrt(sum / double((to - from) * 2));
  };
  EXPECT_LT(rms(frames - 22050, frames), 0.25 * rms(frames - 3 * 44100, frames - 2 * 44100));
}

TEST_F(VexoCapture, TheMixIsStereoAndFoldsToMono) {
  ASSERT_EQ(exit_code, 0);
  const std::vector<std::int16_t> pcm = wav_samples(read_file(dir + "/sound.wav"));
  double mid = 0, side = 0, ll = 0, rr = 0, lr = 0;
  for (std::size_t i = 0; i + 1 < pcm.size(); i += 2) {
    const double l = pcm[i], r = pcm[i + 1];
    mid += (l + r) * (l + r) / 4;
    side += (l - r) * (l - r) / 4;
    ll += l * l;
    rr += r * r;
    lr += l * r;
  }
  ASSERT_GT(mid, 0);
  const double side_db = 10 * std::log10(side / mid), correlation = lr / std::sqrt(ll * rr);
  const double mono_db = 10 * std::log10(2 * mid / (ll + rr));  // the mono fold against the sides' level
  std::printf("side/mid %.1f dB, left/right correlation %.3f, mono fold %.2f dB\n", side_db, correlation, mono_db);
  // A real stereo image: side within 12 dB of the mid (a mono-ish mix sits near -24 dB).
  EXPECT_GT(side_db, -12.0);
  // Made by panning alone: the channels stay well correlated and nothing cancels in mono.
  EXPECT_GT(correlation, 0.6);
  EXPECT_GT(mono_db, -1.0);
  EXPECT_GT(std::sqrt(ll / rr), 0.9);  // and balanced
  EXPECT_LT(std::sqrt(ll / rr), 1.1);
}

// Two video captures with the same thread count give the same bytes: x264's threads work on
// fixed slices of each frame. Smaller and at a quarter of the frame rate, to keep the test quick.
TEST_F(VexoCapture, VideoIsTheSameBytesTwiceForAThreadCount) {
  if (std::system("command -v ffmpeg > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
  for (const char* threads : {"", "--threads 1 "}) {
    for (const char* run : {"a", "b"}) {
      const std::string out = dir + "/video" + (threads[0] ? "1" : "4") + run + ".mp4";
      ASSERT_EQ(run_capture(std::string(threads) + "--scale 2 --fps 15 -o " + out), 0) << threads << run;
    }
    const std::string base = dir + "/video" + (threads[0] ? "1" : "4");
    const std::vector<std::uint8_t> a = read_file(base + "a.mp4"), b = read_file(base + "b.mp4");
    EXPECT_GT(a.size(), 100000u) << threads;
    EXPECT_TRUE(a == b) << (threads[0] ? threads : "the default threads") << ": the two videos differ";
  }
  EXPECT_NE(read_file(dir + "/video4a.mp4"), read_file(dir + "/video1a.mp4"));
  EXPECT_NE(run_capture("--threads 0 --no-video"), 0);
  EXPECT_NE(run_capture("--threads 17 --no-video"), 0);
}

TEST_F(VexoCapture, ChosenFramesEqualTheCompositionOfTheDecodedPictures) {
  ASSERT_EQ(exit_code, 0);
  ASSERT_TRUE(mounted);
  Pictures pics;
  for (int i = 0; i < 16; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "%02d.jpg", i + 1);
    pics.seq[i] = decode(name, PixelFormat::argb32, 4);
  }
  pics.right = masked("o4.jpg", "m4.jpg");
  pics.left = masked("o3.jpg", "m3.jpg");
  pics.overlay = masked("o5.jpg", "m5.jpg");
  pics.logo = masked("logo.jpg", "mlogo.jpg");

  // Entry times of the ranges, from the log.
  std::map<int, unsigned> entered_at;
  for (const Line& l : log)
    if (!entered_at.count(range_of(l.position))) entered_at[range_of(l.position)] = l.time;

  struct Case {
    const Line* line;
    std::vector<std::uint32_t> expected;
  };
  std::vector<Case> cases;
  std::vector<std::uint32_t> fb(320 * 200);
  Surface s{fb.data(), 320, 200, 1280};
  auto add = [&](const Line* l, auto draw) {
    ASSERT_NE(l, nullptr);
    std::fill(fb.begin(), fb.end(), 0u);
    draw(l->time);
    cases.push_back({l, fb});
  };
  // Frame 0: black.
  add(&log[0], [&](unsigned) {});
  // Half-way through the logo's fade-in.
  add(first([&](const Line& l) { return l.position < 0x20 && l.time >= entered_at[0] + 1000; }), [&](unsigned t) {
    surface_blit(s, pics.logo, 0, 0);
    surface_fade(s, std::min<unsigned>((t - entered_at[0]) >> 3, 255));
  });
  // The logo with its overlay.
  add(first([](const Line& l) { return l.position == 0x0030; }), [&](unsigned) {
    surface_blit(s, pics.logo, 0, 0);
    surface_blit_alpha(s, pics.overlay, 0, 0);
  });
  // Order 3, first half: picture 5 fading in over picture 4, the orb sliding in.
  add(first([&](const Line& l) { return l.position >= 0x0300 && l.time >= entered_at[6] + 700; }), [&](unsigned t) {
    const unsigned e = t - entered_at[6];
    surface_blit(s, pics.seq[3], 0, 0);
    surface_blit_fade(s, pics.seq[4], 0, 0, std::min(e >> 3, 255u));
    surface_blit_alpha(s, pics.right, 319 - static_cast<int>(std::min(e / 4 + 30, 319u)), 0);
  });
  // Order 5, second half: the panel sliding out to the left.
  add(first([&](const Line& l) { return l.position >= 0x0520 && l.time >= entered_at[11] + 600; }), [&](unsigned t) {
    const unsigned e = t - entered_at[11];
    surface_blit(s, pics.seq[8], 0, 0);
    surface_blit_fade(s, pics.seq[9], 0, 0, std::min(e >> 3, 255u));
    surface_blit_alpha(s, pics.left, -static_cast<int>(e / 4), 0);
  });
  // Half-way through the fade to black.
  add(first([&](const Line& l) { return l.position >= 0x0A20 && l.time >= entered_at[19] + 1000; }), [&](unsigned t) {
    surface_blit(s, pics.logo, 0, 0);
    surface_blit_alpha(s, pics.overlay, 0, 0);
    surface_fade(s, 255 - std::min<unsigned>((t - entered_at[19]) >> 3, 255));
  });

  std::string list;
  for (const Case& c : cases) list += (list.empty() ? "" : ",") + std::to_string(c.line->frame);
  ASSERT_EQ(run_capture("--no-video --scale 1 --log " + dir + "/log2 --frames " + dir + " --frame-list " + list), 0);
  // The second run logged exactly what the first did.
  EXPECT_EQ(read_file(dir + "/log1"), read_file(dir + "/log2"));

  for (const Case& c : cases) {
    char name[32];
    std::snprintf(name, sizeof name, "/%05u.png", c.line->frame);
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgb = read_png_rgb(dir + name, w, h);
    ASSERT_EQ(w, 320) << name;
    ASSERT_EQ(h, 200) << name;
    int wrong = 0;
    for (int i = 0; i < 320 * 200; ++i) {
      const std::uint32_t e = c.expected[i];
      if (rgb[i * 3] != ((e >> 16) & 0xFF) || rgb[i * 3 + 1] != ((e >> 8) & 0xFF) || rgb[i * 3 + 2] != (e & 0xFF))
        ++wrong;
    }
    EXPECT_EQ(wrong, 0) << "frame " << c.line->frame << " at position " << std::hex << c.line->position;
  }
  for (Picture& p : pics.seq) std::free(p.pixels);
  for (Picture* p : {&pics.right, &pics.left, &pics.overlay, &pics.logo}) std::free(p->pixels);
}

// A run from an order on: the frames, their numbers, clock and positions, and the sound are
// those of a whole run from the first frame that shows the order.
TEST_F(VexoCapture, ARunFromAnOrderIsTheWholeRunFromThere) {
  ASSERT_EQ(exit_code, 0);
  const Line* start = first([](const Line& l) { return l.position >= 0x0300; });
  const Line* stop = first([](const Line& l) { return l.position >= 0x0500; });
  ASSERT_TRUE(start && stop);
  const unsigned k0 = start->frame;
  std::string list;
  for (unsigned k : {k0, k0 + 1, k0 + 37, k0 + 400, stop->frame - 1}) list += (list.empty() ? "" : ",") + std::to_string(k);
  const std::string whole = dir + "/whole", part = dir + "/part";
  ASSERT_EQ(run_capture("--no-video --scale 1 --frames " + whole + " --frame-list " + list), 0);
  ASSERT_EQ(run_capture("--no-video --scale 1 --from 3 --to 0x0500 --log " + dir + "/log3 --wav " + dir +
                        "/part.wav --frames " + part + " --frame-list " + list),
            0);

  const std::vector<Line> partial = read_log(dir + "/log3");
  ASSERT_EQ(partial.size(), stop->frame - k0);
  for (std::size_t i = 0; i < partial.size(); ++i) {
    const Line& a = partial[i];
    const Line& b = log[k0 + i];
    ASSERT_EQ(a.frame, b.frame);
    ASSERT_EQ(a.time, b.time) << a.frame;
    ASSERT_EQ(a.position, b.position) << a.frame;
    ASSERT_EQ(a.previous, i == 0 ? 0xFFFF : b.previous) << a.frame;
  }
  for (unsigned k : {k0, k0 + 1, k0 + 37, k0 + 400, stop->frame - 1}) {
    char name[32];
    std::snprintf(name, sizeof name, "/%05u.png", k);
    int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
    const auto a = read_png_rgb(whole + name, w1, h1), b = read_png_rgb(part + name, w2, h2);
    ASSERT_FALSE(a.empty()) << name;
    EXPECT_TRUE(a == b) << "frame " << k;
  }
  // The sound from the first frame on, for as long as the partial run showed frames.
  const std::vector<std::uint8_t> full = read_file(dir + "/sound.wav"), sound = read_file(dir + "/part.wav");
  const std::size_t bytes = std::size_t(stop->frame - k0) * 735 * 4;
  ASSERT_GE(sound.size(), 44 + bytes);
  ASSERT_GE(full.size(), 44 + std::size_t(k0) * 735 * 4 + bytes);
  EXPECT_EQ(std::memcmp(sound.data() + 44, full.data() + 44 + std::size_t(k0) * 735 * 4, bytes), 0);

  // A position the music never plays is refused, naming it.
  const std::string err = dir + "/never.err";
  EXPECT_EQ(run_capture("--no-video --from 0x30:0 2>" + err), 1);
  const auto text = read_file(err);
  EXPECT_NE(std::string(text.begin(), text.end()).find("never reaches position 30:00"), std::string::npos);
}

}  // namespace
