// The offline renderer: the output's chunk loop, with a record of the rows played.
#include "sound/render.h"

#include <algorithm>
#include <cmath>
#include <cstring>

OfflineRenderer::OfflineRenderer(ModulePlayer& player)
    : player_(player), span_(2 * chunk_frames), visited_(256) {
  player_start(player_);
}

bool upcoming_row(const ModulePlayer& m, std::uint16_t& position) {
  if (m.tick != 0) return false;
  const int order = m.next_order >= 0 ? m.next_order : m.order_position;
  int row = m.next_row >= 0 ? m.next_row : m.row;
  if (row >= m.patterns[m.order_table[order]].row_count) row = 0;
  position = static_cast<std::uint16_t>(((order & 0xFF) << 8) | (row & 0xFF));
  return true;
}

bool OfflineRenderer::about_to_repeat() {
  const ModulePlayer& m = player_;
  std::uint16_t upcoming;
  if (!upcoming_row(m, upcoming)) return false;
  const int row = upcoming & 0xFF;
  std::bitset<256>& rows = visited_[upcoming >> 8];
  // A pattern loop replays its rows on purpose: they count as new again.
  if (m.pattern_loop_taken && m.next_order < 0)
    for (int r = row; r < 256; ++r) rows.reset(r);
  if (rows.test(row)) return true;
  rows.set(row);
  return false;
}

int OfflineRenderer::rest_of_chunk() const { return chunk_frames - static_cast<int>(frames_ % chunk_frames); }

int OfflineRenderer::render_chunk(std::int16_t* pcm, bool stop_at_song_end) {
  // Past the song's end already (a seek went beyond it): nothing more to render.
  if (stop_at_song_end && ended_) stopped_ = true;
  if (stopped_) return 0;
  struct Gate {
    OfflineRenderer* self;
    bool stop_at_song_end;
  } gate{this, stop_at_song_end};
  // Before each tick: note the first time the song is about to repeat, and stop there
  // when asked to.
  auto before_tick = [](void* context, int mixed) {
    auto& g = *static_cast<Gate*>(context);
    OfflineRenderer& r = *g.self;
    if (!r.ended_ && r.about_to_repeat()) {
      r.ended_ = true;
      r.end_frame_ = r.frames_ + static_cast<std::uint64_t>(mixed);
      if (g.stop_at_song_end) {
        r.stopped_ = true;
        return false;
      }
    }
    return true;
  };
  const int mixed = mix_frames(player_, span_.data(), pcm, rest_of_chunk(), before_tick, &gate);
  frames_ += static_cast<std::uint64_t>(mixed);
  if (skip_ == 0) return mixed;
  // The chunk a seek went into, mixed whole as a render from the start mixes it.
  const int kept = std::max(mixed - skip_, 0);
  std::memmove(pcm, pcm + 2 * std::min(skip_, mixed), sizeof(std::int16_t) * 2 * static_cast<std::size_t>(kept));
  skip_ = 0;
  return kept;
}

bool OfflineRenderer::seek_row(std::uint16_t position, std::uint64_t max_frames) {
  if (stopped_) return false;
  struct Gate {
    OfflineRenderer* self;
    std::uint16_t target;
    bool reached;
  } gate{this, position, false};
  // Before each tick: stop in front of the target's first tick; the song's end (a row
  // played before) ends the search.
  auto before_tick = [](void* context, int mixed) {
    auto& g = *static_cast<Gate*>(context);
    OfflineRenderer& r = *g.self;
    std::uint16_t upcoming;
    if (upcoming_row(r.player_, upcoming) && upcoming == g.target) {
      g.reached = true;
      return false;
    }
    if (r.about_to_repeat()) {
      r.ended_ = true;
      r.end_frame_ = r.frames_ + static_cast<std::uint64_t>(mixed);
      r.stopped_ = true;
      return false;
    }
    return true;
  };
  begin_skipping(player_);
  while (!gate.reached && !stopped_ && frames_ < max_frames) {
    const int wanted = static_cast<int>(std::min<std::uint64_t>(rest_of_chunk(), max_frames - frames_));
    // Nothing stops the run between ticks before max_frames.
    const std::uint64_t more = max_frames - frames_ - static_cast<std::uint64_t>(wanted);
    frames_ += static_cast<std::uint64_t>(skip_frames(player_, wanted, before_tick, &gate, more));
  }
  settle_voices(player_);
  if (!gate.reached) stopped_ = true;
  return gate.reached;
}

void OfflineRenderer::seek_frame(std::uint64_t frame) {
  auto before_tick = [](void* context, int mixed) {
    OfflineRenderer& r = *static_cast<OfflineRenderer*>(context);
    if (!r.ended_ && r.about_to_repeat()) {
      r.ended_ = true;
      r.end_frame_ = r.frames_ + static_cast<std::uint64_t>(mixed);
    }
    return true;
  };
  // Without mixing to the start of the chunk that holds frame (where a render from the start
  // ends a mix call too); the rest of the way the next chunk is mixed and left out.
  const std::uint64_t chunk_start = frame - frame % chunk_frames;
  begin_skipping(player_);
  while (frames_ + static_cast<std::uint64_t>(skip_) < frame) {
    if (frames_ < chunk_start) {
      const int wanted = static_cast<int>(std::min<std::uint64_t>(rest_of_chunk(), chunk_start - frames_));
      const std::uint64_t more = chunk_start - frames_ - static_cast<std::uint64_t>(wanted);
      frames_ += static_cast<std::uint64_t>(skip_frames(player_, wanted, before_tick, this, more));
    } else {
      skip_ = static_cast<int>(frame - frames_);
    }
  }
  settle_voices(player_);
}

std::vector<std::int16_t> render_module(ModulePlayer& player, double seconds, bool to_song_end, double max_seconds,
                                        bool* song_end_found) {
  OfflineRenderer r(player);
  const double limit = to_song_end ? max_seconds : seconds;
  const std::uint64_t wanted = static_cast<std::uint64_t>(std::max(0.0, limit) * mix_rate);
  std::vector<std::int16_t> out;
  std::int16_t chunk[2 * chunk_frames];
  while (r.frames_rendered() < wanted && !r.finished()) {
    const int n = r.render_chunk(chunk, to_song_end);
    out.insert(out.end(), chunk, chunk + 2 * n);
  }
  out.resize(std::min<std::size_t>(out.size(), 2 * wanted));
  if (song_end_found) *song_end_found = r.song_ended();
  return out;
}
