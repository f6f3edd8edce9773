// Offline rendering of a loaded module: 16-bit stereo at mix_rate in the output's
// chunks, with the same tick accounting, and detection of the song's end.
#pragma once

#include <bitset>
#include <cstdint>
#include <vector>

#include "sound/module.h"

class OfflineRenderer {
 public:
  // Puts the player into its start state (as starting the output does).
  explicit OfflineRenderer(ModulePlayer& player);

  // Mixes the next chunk into pcm (2 x chunk_frames values): chunk_frames frames, or after
  // a seek to a frame inside a chunk, the frames up to that chunk's end, so the chunks stay
  // where a render from the start has them and the output is the same, sample for sample.
  // With stop_at_song_end the chunk ends early where the song would play an order
  // position and row it has already played; the frames returned are those produced
  // (0 once the end was reached).
  int render_chunk(std::int16_t* pcm, bool stop_at_song_end);

  // Runs the song on without mixing (voices move as mixing would move them) up to the
  // first tick of `position` ((order << 8) | row), the first time the song plays it, or
  // until at most max_frames frames from the start. False when the song ends (comes
  // round to a row it has played) or the limit comes first; the renderer is then spent.
  bool seek_row(std::uint16_t position, std::uint64_t max_frames);
  // Runs the song on without mixing up to `frame` frames from the start (no further back
  // than where it stands); the song's end is noted as rendering notes it.
  void seek_frame(std::uint64_t frame);

  bool song_ended() const { return ended_; }
  // True once a render that stops at the song's end has reached it.
  bool finished() const { return stopped_; }
  // Frames from the start to the song's end (valid once song_ended()).
  std::uint64_t song_end_frame() const { return end_frame_; }
  // Frames from the start to the next frame render_chunk returns.
  std::uint64_t frames_rendered() const { return frames_ + skip_; }
  // What the output's position record would hold for the last chunk.
  std::uint16_t position() const { return player_.position(); }

 private:
  // Called before each tick; true when this tick would play a row already played.
  bool about_to_repeat();
  // Frames up to the end of the chunk the renderer stands in.
  int rest_of_chunk() const;

  ModulePlayer& player_;
  std::vector<float> span_;
  std::vector<std::bitset<256>> visited_;
  bool ended_ = false;
  bool stopped_ = false;
  std::uint64_t end_frame_ = 0;
  std::uint64_t frames_ = 0;  // frames mixed or run through
  // After a seek into a chunk: frames of it the next render_chunk mixes but does not return
  // (a ramp cut where no render from the start cuts it would round its gain differently).
  int skip_ = 0;
};

// Renders from the start: for seconds, or to the song's end (at most max_seconds).
// Returns interleaved stereo; sets song_end_found when stopping at the end.
std::vector<std::int16_t> render_module(ModulePlayer& player, double seconds, bool to_song_end,
                                        double max_seconds = 3600.0, bool* song_end_found = nullptr);

// The row the player's next tick starts, as (order << 8) | row; false when that tick is
// not the first of a row.
bool upcoming_row(const ModulePlayer& player, std::uint16_t& position);
