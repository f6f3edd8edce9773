// The audible position on the SDL device: with SDL's disk driver (which writes what it
// plays to a file at the pace of real time) music_position names the chunk being played.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "sound/module.h"
#include "sound/music.h"
#include "authoring/xm_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFramesPerRow = 432;  // speed 1 at 255 BPM
constexpr double kBytesPerSecond = 44100.0 * 4;
// The SDL backend asks for 512-frame device buffers: the disk driver writes one and then
// plays it for the next 512 frames' time.
constexpr std::int64_t kDeviceBufferBytes = 512 * 4;

std::vector<std::uint8_t> long_song() {
  XmModule m;
  m.channels = 1;
  m.speed = 1;
  m.bpm = 255;
  for (int i = 0; i < 16; ++i) m.orders.push_back(static_cast<std::uint8_t>(i));
  m.orders.erase(m.orders.begin());  // orders 0..14: 960 rows, almost 10 s
  for (int p = 0; p < 15; ++p) m.patterns.emplace_back();
  // A steady tone from the first row, so the file shows where the music begins.
  XmInstrument instrument;
  XmSample tone;
  tone.data.assign(64, 20000);
  tone.loop = 1;
  tone.loop_length = 64;
  instrument.samples.push_back(tone);
  m.instruments.push_back(instrument);
  m.patterns[0].at(0, 0, 1) = {49, 1, 0, 0, 0};
  return xm_write(m);
}

// The chunk whose end the position (order << 8 | row) was recorded at; -1 if none.
int chunk_of(std::uint16_t position) {
  int row = (position >> 8) * 64 + (position & 0xFF);
  for (int k = 0; k < 2000; ++k) {
    int last_row = ((k + 1) * chunk_frames - 1) / kFramesPerRow;
    if (last_row == row) return k;
    if (last_row > row) break;
  }
  return -1;
}

std::int64_t file_size(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

TEST(MusicOutputSdl, PositionBelongsToTheChunkBeingPlayed) {
  std::string path = ::testing::TempDir() + "kestol_sync_test.raw";
  std::remove(path.c_str());
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
  std::vector<std::uint8_t> bytes = long_song();
  ASSERT_EQ(music_load(bytes.data(), static_cast<std::uint32_t>(bytes.size())), 0);
  if (!music_start()) {
    music_stop();
    GTEST_SKIP() << "SDL's disk audio driver is not available";
  }

  // Watch the file: when it grows to size S the driver has just taken the buffer ending
  // at S and plays it from that moment on, so at time t it plays byte
  // S - buffer + (t - grown) x rate (clamped into that buffer and the next).
  const auto deadline = Clock::now() + std::chrono::milliseconds(1500);
  std::int64_t size = file_size(path);
  auto grown = Clock::now();
  auto last_look = grown;
  struct Observation {
    double file_bytes;  // byte of the file being played
    int reported;       // chunk named by music_position
  };
  std::vector<Observation> seen;
  while (Clock::now() < deadline) {
    std::int64_t now_size = file_size(path);
    auto now = Clock::now();
    bool fresh = now - last_look < std::chrono::microseconds(500);
    last_look = now;
    if (now_size != size) {
      size = now_size;
      // Only a change seen right after the previous look dates the growth well.
      grown = fresh ? now : Clock::time_point{};
      continue;
    }
    if (grown == Clock::time_point{} || size < kDeviceBufferBytes) continue;
    std::uint16_t position = music_position();
    auto read_at = Clock::now();
    double since = std::chrono::duration<double>(read_at - grown).count();
    double playing = static_cast<double>(size - kDeviceBufferBytes) +
                     std::min(since * kBytesPerSecond, 2.0 * kDeviceBufferBytes);
    seen.push_back({playing, chunk_of(position)});
    std::this_thread::sleep_for(std::chrono::microseconds(200));  // pacing only
  }
  music_stop();

  // The driver plays silence from the moment the device opens until the music starts:
  // the first sound in the file marks the music's frame 0 (its fade-in starts at 0).
  std::ifstream in(path, std::ios::binary);
  std::vector<char> file((std::istreambuf_iterator<char>(in)), {});
  std::remove(path.c_str());
  std::size_t first = 0;
  while (first < file.size() && file[first] == 0) ++first;
  ASSERT_LT(first, file.size()) << "the file holds no sound";
  double music_start_byte = static_cast<double>(first / 4 * 4) - 4;
  int samples = 0, off = 0, worst = 0;
  for (const Observation& o : seen) {
    ASSERT_GE(o.reported, 0);
    double played = o.file_bytes - music_start_byte;
    if (played < 0) continue;
    int truth = static_cast<int>(played / 4) / chunk_frames;
    int miss = std::abs(o.reported - truth);
    worst = std::max(worst, miss);
    ++samples;
    if (miss > 1) ++off;
  }
  std::printf("%d samples, %d off by more than a chunk, worst %d chunks\n", samples, off, worst);
  ASSERT_GT(samples, 50);
  // A busy machine may delay the audio thread now and then; the position must still be
  // within one chunk nearly always.
  EXPECT_LE(off * 20, samples) << off << " of " << samples << " off by more than a chunk, worst "
                               << worst;
  EXPECT_LE(worst, 10);  // never a ring ahead or behind
}

}  // namespace
