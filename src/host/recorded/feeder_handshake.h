// Virtual time and the audio feeder, for hosts whose audio device plays on a virtual clock
// (headless, the web page's test mode): each step of time returns once the feeder has
// polled the position after it and paused, so the feeder has refilled what the step plays.
// Every call is made under the device's lock, which the waiting calls are given.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace recorded {

class FeederHandshake {
 public:
  // The calling thread polled the position (host_audio_position).
  void polled() { seen_serial_ = serial_; }
  // The feeder pauses for up to that long (host_audio_wait), having served what it polled.
  void pause(std::unique_lock<std::mutex>& lock, int milliseconds);
  // A feeder serves the playback now playing (host_audio_expect_feeder).
  void expect_feeder() { feeder_ = true; }
  // The playback stopped: nobody waits for a feeder any more.
  void stopped();
  // A step of time: returns once a feeder has served it, or stopped, or seems stuck.
  void step(std::unique_lock<std::mutex>& lock);

 private:
  // A feeder that has not caught up after this long is stuck; stepping time goes on.
  static constexpr auto kStuck = std::chrono::seconds(5);
  std::condition_variable changed_;
  // Every step of time and every stop bumps the serial; the feeder reports the serial it
  // has served when it pauses.
  std::uint64_t serial_ = 0;
  std::uint64_t served_ = 0;
  bool feeder_ = false;
  // The serial the calling thread saw at its last position poll.
  static thread_local std::uint64_t seen_serial_;
};

}  // namespace recorded
