// The headless host: everything in memory, for tests and offline capture.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "host/headless/headless.h"
#include "host/host.h"

namespace {

std::atomic<bool> virtual_time_on{false};
std::atomic<std::int64_t> virtual_tick_count{0};
std::atomic<bool> counter_fails{false};

std::mutex box_mutex;
std::string box_log;
int box_count = 0;

}  // namespace

void host_message_box(const char* text, const char* caption, HostMessageBoxIcon /*icon*/) {
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  std::fflush(stderr);
  std::lock_guard lock(box_mutex);
  if (!box_log.empty()) box_log += '\n';
  box_log += text ? text : "";
  ++box_count;
}

IconHandle host_load_icon(std::uint32_t /*number*/) { return nullptr; }

bool host_performance_counter(std::int64_t* count) {
  if (counter_fails.load()) return false;
  if (virtual_time_on.load()) {
    *count = virtual_tick_count.load();
  } else {
    *count = std::chrono::steady_clock::now().time_since_epoch().count();
  }
  return true;
}

bool host_performance_frequency(std::int64_t* frequency) {
  if (counter_fails.load()) return false;
  if (virtual_time_on.load()) {
    *frequency = headless::kTicksPerSecond;
  } else {
    using period = std::chrono::steady_clock::period;
    *frequency = period::den / period::num;
  }
  return true;
}

namespace headless {

void set_virtual_time(bool enabled) { virtual_time_on.store(enabled); }
bool virtual_time() { return virtual_time_on.load(); }
void advance_virtual_time(std::int64_t ticks) {
  virtual_tick_count.fetch_add(ticks);
  settle_audio();
}
std::int64_t virtual_ticks() { return virtual_tick_count.load(); }
void set_counter_fails(bool fails) { counter_fails.store(fails); }

std::string message_box_log() {
  std::lock_guard lock(box_mutex);
  return box_log;
}

int message_box_count() {
  std::lock_guard lock(box_mutex);
  return box_count;
}

}  // namespace headless
