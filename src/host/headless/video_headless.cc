// Headless video: configurable display modes and a flip chain in memory that tests read.
#include <cstring>
#include <mutex>
#include <utility>

#include "host/headless/headless.h"
#include "host/headless/headless_internal.h"
#include "host/video.h"

namespace {

std::vector<HostDisplayMode> default_modes() {
  return {{640, 480, 16}, {640, 480, 32}, {800, 600, 32}, {1024, 768, 32}, {1280, 1024, 32}};
}

struct Buffer {
  std::vector<std::uint8_t> bytes;
};

std::mutex video_mutex;
bool available = true;
bool opened = false;
std::vector<HostDisplayMode> modes = default_modes();
std::uint32_t green_mask_16 = 0x07E0;

bool fullscreen = false;
HostDisplayMode mode;
int pitch = 0;  // padded, so writers must honour it
Buffer front, back;
bool lost = false;
bool locked = false;
int flips = 0;

std::mutex hooks_mutex;
std::vector<std::pair<int, std::function<void()>>> frame_hooks;
int next_hook_id = 1;

void fill(Buffer& buffer, std::uint8_t value) {
  std::memset(buffer.bytes.data(), value, buffer.bytes.size());
}

headless::Image image_of(const Buffer& buffer) {
  headless::Image image;
  if (!fullscreen) return image;
  image.width = mode.width;
  image.height = mode.height;
  image.pitch = pitch;
  image.bits_per_pixel = mode.bits_per_pixel;
  image.bytes = buffer.bytes;
  return image;
}

}  // namespace

bool host_video_open() {
  std::lock_guard lock(video_mutex);
  opened = available;
  return opened;
}

const char* host_video_error() {
  std::lock_guard lock(video_mutex);
  return opened ? "" : "the headless display is switched off";
}

void host_video_close() {
  std::lock_guard lock(video_mutex);
  opened = false;
}

std::vector<HostDisplayMode> host_video_modes() {
  std::lock_guard lock(video_mutex);
  return opened ? modes : std::vector<HostDisplayMode>{};
}

bool host_video_enter_fullscreen(WindowHandle, const HostDisplayMode& wanted) {
  std::lock_guard lock(video_mutex);
  if (!opened || wanted.width <= 0 || wanted.height <= 0 ||
      (wanted.bits_per_pixel != 32 && wanted.bits_per_pixel != 16))
    return false;
  mode = wanted;
  pitch = mode.width * mode.bits_per_pixel / 8 + 64;
  std::size_t size = static_cast<std::size_t>(pitch) * mode.height;
  front.bytes.assign(size, 0);
  back.bytes.assign(size, 0);
  fullscreen = true;
  lost = false;
  return true;
}

void host_video_leave_fullscreen(WindowHandle) {
  std::lock_guard lock(video_mutex);
  fullscreen = false;
  front.bytes.clear();
  back.bytes.clear();
}

bool host_video_lock_back(HostLockedSurface* surface) {
  std::lock_guard lock(video_mutex);
  if (!fullscreen || lost || locked) return false;
  locked = true;
  surface->pixels = back.bytes.data();
  surface->width = mode.width;
  surface->height = mode.height;
  surface->pitch = pitch;
  surface->bits_per_pixel = mode.bits_per_pixel;
  surface->green_mask = mode.bits_per_pixel == 16 ? green_mask_16 : 0x0000FF00u;
  return true;
}

void host_video_unlock_back() {
  std::lock_guard lock(video_mutex);
  locked = false;
}

void host_video_flip() {
  {
    std::lock_guard lock(video_mutex);
    if (!fullscreen || lost || locked) return;
    std::swap(front, back);
    ++flips;
  }
  if (!headless::virtual_time()) return;
  headless::advance_virtual_time(headless::kTicksPerVideoFrame);
  // Copied so a callback may register or remove hooks without deadlocking.
  std::vector<std::function<void()>> callbacks;
  {
    std::lock_guard lock(hooks_mutex);
    for (auto& hook : frame_hooks) callbacks.push_back(hook.second);
  }
  for (auto& callback : callbacks) callback();
}

bool host_video_lost() {
  std::lock_guard lock(video_mutex);
  return fullscreen && lost;
}

void host_video_restore() {
  std::lock_guard lock(video_mutex);
  lost = false;
}

void host_video_clear() {
  std::lock_guard lock(video_mutex);
  if (!fullscreen || lost) return;
  fill(front, 0);
  fill(back, 0);
}

void host_video_service() {}

namespace headless {

int on_frame_advance(std::function<void()> callback) {
  std::lock_guard lock(hooks_mutex);
  frame_hooks.emplace_back(next_hook_id, std::move(callback));
  return next_hook_id++;
}

void remove_frame_advance(int id) {
  std::lock_guard lock(hooks_mutex);
  std::erase_if(frame_hooks, [id](const auto& hook) { return hook.first == id; });
}

void set_video_available(bool is_available) {
  std::lock_guard lock(video_mutex);
  available = is_available;
}

void set_display_modes(std::vector<HostDisplayMode> list) {
  std::lock_guard lock(video_mutex);
  modes = std::move(list);
}

void set_green_mask_16(std::uint32_t green_mask) {
  std::lock_guard lock(video_mutex);
  green_mask_16 = green_mask;
}

void video_lose_surfaces() {
  std::lock_guard lock(video_mutex);
  if (!fullscreen) return;
  lost = true;
  fill(front, 0xA5);
  fill(back, 0xA5);
}

void reset_video() {
  std::lock_guard lock(video_mutex);
  available = true;
  modes = default_modes();
  green_mask_16 = 0x07E0;
  flips = 0;
}

void reset_display() {
  reset_video();
  reset_windows();
}

Image front_buffer() {
  std::lock_guard lock(video_mutex);
  return image_of(front);
}

Image back_buffer() {
  std::lock_guard lock(video_mutex);
  return image_of(back);
}

int flip_count() {
  std::lock_guard lock(video_mutex);
  return flips;
}

bool in_fullscreen() {
  std::lock_guard lock(video_mutex);
  return fullscreen;
}

HostDisplayMode fullscreen_mode() {
  std::lock_guard lock(video_mutex);
  return fullscreen ? mode : HostDisplayMode{};
}

std::uint32_t Image::pixel32(int x, int y) const {
  std::uint32_t value = 0;
  std::memcpy(&value, bytes.data() + static_cast<std::size_t>(y) * pitch + x * 4, 4);
  return value;
}

std::uint16_t Image::pixel16(int x, int y) const {
  std::uint16_t value = 0;
  std::memcpy(&value, bytes.data() + static_cast<std::size_t>(y) * pitch + x * 2, 2);
  return value;
}

}  // namespace headless
