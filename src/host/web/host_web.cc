// The web host: settings from the page, message boxes, the clock.
#include <emscripten/emscripten.h>

#include <atomic>
#include <chrono>
#include <cstdio>

#include "host/host.h"
#include "host/web/web_internal.h"

namespace {

std::atomic<bool> test_on{false};
std::atomic<bool> audio_on{false};
std::atomic<std::int64_t> ticks{0};

}  // namespace

// Called by the page before main runs.
extern "C" EMSCRIPTEN_KEEPALIVE void kestol_web_configure(int test, int audio) {
  test_on.store(test != 0);
  audio_on.store(audio != 0);
}

void host_message_box(const char* text, const char* caption, HostMessageBoxIcon /*icon*/) {
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  std::fflush(stderr);
  MAIN_THREAD_EM_ASM({ if (Module.kestolMessage) Module.kestolMessage(UTF8ToString($0)); },
                     text ? text : "");
}

IconHandle host_load_icon(std::uint32_t /*number*/) { return nullptr; }

bool host_performance_counter(std::int64_t* count) {
  if (test_on.load()) {
    *count = ticks.load();
  } else {
    *count = std::chrono::steady_clock::now().time_since_epoch().count();
  }
  return true;
}

bool host_performance_frequency(std::int64_t* frequency) {
  if (test_on.load()) {
    *frequency = web::kTicksPerSecond;
  } else {
    using period = std::chrono::steady_clock::period;
    *frequency = period::den / period::num;
  }
  return true;
}

namespace web {

bool test_mode() { return test_on.load(); }
bool audio_ready() { return audio_on.load(); }
std::int64_t virtual_ticks() { return ticks.load(); }
void advance_virtual_time(std::int64_t step) {
  ticks.fetch_add(step);
  settle_audio();
}

}  // namespace web
