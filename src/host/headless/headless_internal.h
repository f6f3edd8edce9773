// Between the headless host's window and video files.
#pragma once

namespace headless {

// Marks the full-screen surfaces lost and fills them with garbage (no-op when windowed).
void video_lose_surfaces();
void reset_windows();
void reset_video();

}  // namespace headless
