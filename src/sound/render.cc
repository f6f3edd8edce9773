// The offline renderer: the output's chunk loop, with a record of the rows played.
#include "sound/render.h"

#include <algorithm>
#include <cmath>
#include <cstring>

OfflineRenderer::OfflineRenderer(ModulePlayer& player)
    : player_(player), span_(2 * chunk_frames), visited_(256) {
  player_start(player_);
}

bool OfflineRenderer::about_to_repeat() {
  const ModulePlayer& m = player_;
  if (m.tick != 0) return false;
  const int order = m.next_order >= 0 ? m.next_order : m.order_position;
  int row = m.next_row >= 0 ? m.next_row : m.row;
  if (row >= m.patterns[m.order_table[order]].row_count) row = 0;
  std::bitset<256>& rows = visited_[order & 0xFF];
  // A pattern loop replays its rows on purpose: they count as new again.
  if (m.pattern_loop_taken && m.next_order < 0)
    for (int r = row; r < 256; ++r) rows.reset(r);
  if (rows.test(row & 0xFF)) return true;
  rows.set(row & 0xFF);
  return false;
}

int OfflineRenderer::render_chunk(std::int16_t* pcm, bool stop_at_song_end) {
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
  const int mixed = mix_frames(player_, span_.data(), pcm, chunk_frames, before_tick, &gate);
  frames_ += static_cast<std::uint64_t>(mixed);
  return mixed;
}

std::vector<std::int16_t> render_module(ModulePlayer& player, double seconds, bool to_song_end, double max_seconds,
                                        bool* song_end_found) {
  OfflineRenderer r(player);
  const double limit = to_song_end ? max_seconds : seconds;
  const std::uint64_t wanted = static_cast<std::uint64_t>(std::max(0.0, limit) * mix_rate);
  std::vector<std::int16_t> out;
  std::int16_t chunk[2 * chunk_frames];
  while (r.frames_rendered() < wanted) {
    const int n = r.render_chunk(chunk, to_song_end);
    out.insert(out.end(), chunk, chunk + 2 * n);
    if (n < chunk_frames) break;
  }
  out.resize(std::min<std::size_t>(out.size(), 2 * wanted));
  if (song_end_found) *song_end_found = r.song_ended();
  return out;
}
