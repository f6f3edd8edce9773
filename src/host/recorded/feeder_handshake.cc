#include "host/recorded/feeder_handshake.h"

namespace recorded {

thread_local std::uint64_t FeederHandshake::seen_serial_ = 0;

void FeederHandshake::pause(std::unique_lock<std::mutex>& lock, int milliseconds) {
  if (seen_serial_ > served_) {
    served_ = seen_serial_;
    changed_.notify_all();
  }
  const std::uint64_t seen = seen_serial_;
  changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return serial_ != seen; });
}

void FeederHandshake::stopped() {
  feeder_ = false;
  ++serial_;
  changed_.notify_all();
}

void FeederHandshake::step(std::unique_lock<std::mutex>& lock) {
  const std::uint64_t target = ++serial_;
  changed_.notify_all();
  if (!feeder_) return;
  changed_.wait_for(lock, kStuck, [&] { return served_ >= target || !feeder_; });
}

}  // namespace recorded
