// Web video: one display mode, the framebuffer's own size, so the flip chain holds the
// picture as the engine drew it; a flip shows the back buffer on the page's canvas
// (which the page scales by whole factors). In the normal mode a flip waits for the
// browser's next animation frame; in the test mode it moves the virtual clock on by one
// 60 Hz frame instead, as the headless host does.
#include <emscripten/emscripten.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <utility>

#include "host/video.h"
#include "host/web/web_internal.h"

namespace {

constexpr HostDisplayMode kMode{320, 200, 32};
// A tab in the background gets no animation frames: the demo moves on at this pace then.
constexpr auto kLongestFrameWait = std::chrono::milliseconds(100);

std::mutex video_mutex;
bool opened = false;
bool fullscreen = false;
HostDisplayMode mode;
std::vector<std::uint8_t> front, back;
bool locked = false;

std::mutex frame_mutex;
std::condition_variable frame_ticked;
std::uint64_t animation_frames = 0;
std::int64_t music_flips = -1;  // flips since the music started, -1 before

}  // namespace

// The page calls this from each requestAnimationFrame.
extern "C" EMSCRIPTEN_KEEPALIVE void kestol_web_animation_frame() {
  {
    std::lock_guard lock(frame_mutex);
    ++animation_frames;
  }
  frame_ticked.notify_all();
}

namespace web {

void note_music_started() {
  std::lock_guard lock(frame_mutex);
  music_flips = 0;
}

void note_music_stopped() {
  std::lock_guard lock(frame_mutex);
  music_flips = -1;
}

std::int64_t frame_number_for_flip() {
  std::lock_guard lock(frame_mutex);
  return music_flips < 0 ? -1 : music_flips++;
}

void show_on_page(const void* pixels, int width, int height, int pitch, bool bottom_up,
                  std::int64_t frame) {
  MAIN_THREAD_EM_ASM({ Module.kestolPresent($0, $1, $2, $3, $4, $5); }, pixels, width, height,
                     pitch, bottom_up ? 1 : 0, static_cast<double>(frame));
}

}  // namespace web

bool host_video_open() {
  std::lock_guard lock(video_mutex);
  opened = true;
  return true;
}

const char* host_video_error() { return ""; }

void host_video_close() {
  std::lock_guard lock(video_mutex);
  opened = false;
}

std::vector<HostDisplayMode> host_video_modes() {
  std::lock_guard lock(video_mutex);
  return opened ? std::vector<HostDisplayMode>{kMode} : std::vector<HostDisplayMode>{};
}

bool host_video_enter_fullscreen(WindowHandle, const HostDisplayMode& wanted) {
  std::lock_guard lock(video_mutex);
  if (!opened || wanted.width != kMode.width || wanted.height != kMode.height ||
      wanted.bits_per_pixel != kMode.bits_per_pixel)
    return false;
  mode = wanted;
  const std::size_t size = static_cast<std::size_t>(mode.width) * mode.height * 4;
  front.assign(size, 0);
  back.assign(size, 0);
  fullscreen = true;
  return true;
}

void host_video_leave_fullscreen(WindowHandle) {
  std::lock_guard lock(video_mutex);
  fullscreen = false;
  front.clear();
  back.clear();
}

bool host_video_lock_back(HostLockedSurface* surface) {
  std::lock_guard lock(video_mutex);
  if (!fullscreen || locked) return false;
  locked = true;
  surface->pixels = back.data();
  surface->width = mode.width;
  surface->height = mode.height;
  surface->pitch = mode.width * 4;
  surface->bits_per_pixel = 32;
  surface->green_mask = 0x0000FF00u;
  return true;
}

void host_video_unlock_back() {
  std::lock_guard lock(video_mutex);
  locked = false;
}

void host_video_flip() {
  std::uint64_t ticks_before;
  {
    std::lock_guard lock(frame_mutex);
    ticks_before = animation_frames;
  }
  {
    // Held while the page copies the picture: nobody writes the front buffer meanwhile.
    std::lock_guard lock(video_mutex);
    if (!fullscreen || locked) return;
    std::swap(front, back);
    web::show_on_page(front.data(), mode.width, mode.height, mode.width * 4, false,
                      web::frame_number_for_flip());
  }
  if (web::test_mode()) {
    web::advance_virtual_time(web::kTicksPerVideoFrame);
    return;
  }
  std::unique_lock lock(frame_mutex);
  frame_ticked.wait_for(lock, kLongestFrameWait, [&] { return animation_frames != ticks_before; });
}

bool host_video_lost() { return false; }
void host_video_restore() {}

void host_video_clear() {
  std::lock_guard lock(video_mutex);
  if (!fullscreen) return;
  std::memset(front.data(), 0, front.size());
  std::memset(back.data(), 0, back.size());
}

void host_video_service() {}
