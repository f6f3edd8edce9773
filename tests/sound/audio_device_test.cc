// The headless audio device on virtual time: position, looping, recording, failure.
#include <gtest/gtest.h>

#include <cerrno>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "host/audio.h"
#include "host/headless/headless.h"

namespace {

constexpr std::int64_t kTicksPerFrame = headless::kTicksPerSecond / kHostAudioRate;

class AudioDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    headless::set_virtual_time(true);
    headless::set_audio_open_fails(false);
    headless::clear_audio_recorded();
  }
  void TearDown() override {
    headless::audio_record_stop();
    headless::set_audio_record_memory(false);
    host_audio_close();
    headless::set_virtual_time(false);
  }
  static void advance_frames(std::int64_t frames) {
    headless::advance_virtual_time(frames * kTicksPerFrame);
  }
};

std::vector<std::uint8_t> ramp_buffer(std::size_t bytes) {
  std::vector<std::uint8_t> buffer(bytes);
  for (std::size_t i = 0; i < bytes; ++i) buffer[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return buffer;
}

TEST_F(AudioDevice, PositionFollowsVirtualTimeAcrossLoops) {
  ASSERT_TRUE(host_audio_open());
  EXPECT_EQ(host_audio_position(), 0u);  // nothing plays yet
  advance_frames(100);                   // time before play does not count
  auto buffer = ramp_buffer(1000 * 4);
  host_audio_play(buffer.data(), buffer.size());
  EXPECT_TRUE(headless::audio_is_playing());
  EXPECT_EQ(host_audio_position(), 0u);
  advance_frames(1);
  EXPECT_EQ(host_audio_position(), 4u);
  headless::advance_virtual_time(kTicksPerFrame - 1);  // part of a frame is not heard yet
  EXPECT_EQ(host_audio_position(), 4u);
  headless::advance_virtual_time(1);
  EXPECT_EQ(host_audio_position(), 8u);
  advance_frames(2498);  // two and a half loops: the count goes on
  EXPECT_EQ(host_audio_position(), 2500u * 4);
  host_audio_reset();
  EXPECT_FALSE(headless::audio_is_playing());
  EXPECT_EQ(host_audio_position(), 0u);
  EXPECT_TRUE(headless::audio_is_open());
  host_audio_close();
  EXPECT_FALSE(headless::audio_is_open());
}

TEST_F(AudioDevice, RunsOnTheSteadyClockOutsideVirtualTime) {
  headless::set_virtual_time(false);
  ASSERT_TRUE(host_audio_open());
  auto buffer = ramp_buffer(4410 * 4);
  auto before = std::chrono::steady_clock::now();
  host_audio_play(buffer.data(), buffer.size());
  std::uint64_t position = 0;
  auto limit = before + std::chrono::seconds(5);
  while (position < 441 * 4 && std::chrono::steady_clock::now() < limit) {
    host_audio_wait(1);
    position = host_audio_position();
  }
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
  EXPECT_GE(position, 441u * 4);  // 10 ms were heard
  EXPECT_EQ(position % 4, 0u);
  EXPECT_LE(static_cast<double>(position), elapsed * 44100 * 4 + 4);
}

TEST_F(AudioDevice, RefusesToOpenWhenTold) {
  headless::set_audio_open_fails(true);
  EXPECT_FALSE(host_audio_open());
  EXPECT_FALSE(headless::audio_is_open());
  auto buffer = ramp_buffer(64);
  host_audio_play(buffer.data(), buffer.size());  // ignored on a closed device
  EXPECT_FALSE(headless::audio_is_playing());
  advance_frames(10);
  EXPECT_EQ(host_audio_position(), 0u);
}

TEST_F(AudioDevice, RecordsWhatIsHeardIncludingRefills) {
  ASSERT_TRUE(host_audio_open());
  headless::set_audio_record_memory(true);
  auto buffer = ramp_buffer(300 * 4);
  host_audio_play(buffer.data(), buffer.size());
  std::vector<std::uint8_t> expected;
  advance_frames(250);
  host_audio_position();
  expected.insert(expected.end(), buffer.begin(), buffer.begin() + 250 * 4);
  // The owner refills what was heard; the next pass plays the new bytes.
  std::memset(buffer.data(), 0x55, 200 * 4);
  advance_frames(150);  // 50 old frames, then 100 refilled ones (heard at reset)
  host_audio_reset();
  expected.insert(expected.end(), buffer.begin() + 250 * 4, buffer.end());
  expected.insert(expected.end(), buffer.begin(), buffer.begin() + 100 * 4);
  EXPECT_EQ(headless::audio_recorded(), expected);
}

TEST_F(AudioDevice, WritesAWaveFile) {
  ASSERT_TRUE(host_audio_open());
  std::string path = ::testing::TempDir() + "audio_device_test.wav";
  ASSERT_TRUE(headless::audio_record_wav(path.c_str()));
  EXPECT_FALSE(headless::audio_record_wav(path.c_str()));  // one file at a time
  auto buffer = ramp_buffer(128 * 4);
  host_audio_play(buffer.data(), buffer.size());
  advance_frames(200);
  EXPECT_EQ(headless::audio_record_stop(), 0);

  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), {});
  ASSERT_EQ(file.size(), 44u + 800);
  auto le32 = [&](std::size_t at) {
    return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | std::uint32_t(file[at + 3]) << 24;
  };
  EXPECT_EQ(std::memcmp(file.data(), "RIFF", 4), 0);
  EXPECT_EQ(le32(4), 36u + 800);
  EXPECT_EQ(std::memcmp(file.data() + 8, "WAVEfmt ", 8), 0);
  EXPECT_EQ(le32(24), 44100u);
  EXPECT_EQ(le32(28), 176400u);
  EXPECT_EQ(file[22], 2);
  EXPECT_EQ(file[34], 16);
  EXPECT_EQ(le32(40), 800u);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), file.begin() + 44));
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 72 * 4, file.begin() + 44 + 512));
  std::remove(path.c_str());
  EXPECT_FALSE(headless::audio_record_wav("/nonexistent-dir/x.wav"));
}

TEST_F(AudioDevice, AWaveFileOnAFullDiskIsReportedWithItsCause) {
  ASSERT_TRUE(host_audio_open());
  ASSERT_TRUE(headless::audio_record_wav("/dev/full"));
  auto buffer = ramp_buffer(128 * 4);
  host_audio_play(buffer.data(), buffer.size());
  advance_frames(20000);  // more than the stream's buffer holds
  EXPECT_EQ(headless::audio_record_stop(), ENOSPC);
  // The next recording starts clean.
  std::string path = ::testing::TempDir() + "audio_device_test_2.wav";
  ASSERT_TRUE(headless::audio_record_wav(path.c_str()));
  advance_frames(10);
  EXPECT_EQ(headless::audio_record_stop(), 0);
  std::remove(path.c_str());
}

}  // namespace
