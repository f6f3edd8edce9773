// LzssEncoder: the classic binary-tree LZSS compressor, turned into a pull source. Each
// step runs one item of the classic loop; read drains the finished groups.
#include <cstring>

#include "authoring/lzss_encoder.h"

namespace {

constexpr int N = lzss_window_size;
constexpr int F = lzss_max_match;
constexpr int threshold = lzss_min_match - 1;  // longer matches than this are coded
constexpr int nil = N;                         // an absent tree node

}  // namespace

struct LzssEncoder::State {
  ByteSource* source;
  std::uint8_t text[N + F - 1];
  int lson[N + 1], rson[N + 257], dad[N + 1];
  int match_position = 0, match_length = 0;
  std::uint8_t code[17];
  int code_length = 1;
  std::uint8_t mask = 1;
  int s = 0, r = N - F, len = 0;
  bool started = false, finished = false;
  std::vector<std::uint8_t> pending;  // finished groups not yet handed out
  std::size_t pending_index = 0;
  std::uint8_t input[4096];  // read-ahead from the source
  std::uint32_t input_length = 0, input_index = 0;

  int next_byte() {
    if (input_index == input_length) {
      input_length = source->read(input, sizeof input);
      input_index = 0;
      if (input_length == 0) return -1;
    }
    return input[input_index++];
  }

  void init_tree() {
    for (int i = N + 1; i <= N + 256; ++i) rson[i] = nil;
    for (int i = 0; i < N; ++i) dad[i] = nil;
  }

  // Inserts the string at r into the tree and finds the longest match for it.
  void insert_node(int r) {
    int cmp = 1;
    const std::uint8_t* key = &text[r];
    int p = N + 1 + key[0];
    rson[r] = lson[r] = nil;
    match_length = 0;
    for (;;) {
      if (cmp >= 0) {
        if (rson[p] != nil) {
          p = rson[p];
        } else {
          rson[p] = r;
          dad[r] = p;
          return;
        }
      } else {
        if (lson[p] != nil) {
          p = lson[p];
        } else {
          lson[p] = r;
          dad[r] = p;
          return;
        }
      }
      int i = 1;
      for (; i < F; ++i)
        if ((cmp = key[i] - text[p + i]) != 0) break;
      if (i > match_length) {
        match_position = p;
        if ((match_length = i) >= F) break;
      }
    }
    dad[r] = dad[p];
    lson[r] = lson[p];
    rson[r] = rson[p];
    dad[lson[p]] = r;
    dad[rson[p]] = r;
    if (rson[dad[p]] == p)
      rson[dad[p]] = r;
    else
      lson[dad[p]] = r;
    dad[p] = nil;
  }

  void delete_node(int p) {
    int q;
    if (dad[p] == nil) return;
    if (rson[p] == nil) {
      q = lson[p];
    } else if (lson[p] == nil) {
      q = rson[p];
    } else {
      q = lson[p];
      if (rson[q] != nil) {
        do q = rson[q];
        while (rson[q] != nil);
        rson[dad[q]] = lson[q];
        dad[lson[q]] = dad[q];
        lson[q] = lson[p];
        dad[lson[p]] = q;
      }
      rson[q] = rson[p];
      dad[rson[p]] = q;
    }
    dad[q] = dad[p];
    if (rson[dad[p]] == p)
      rson[dad[p]] = q;
    else
      lson[dad[p]] = q;
    dad[p] = nil;
  }

  void flush_group() {
    pending.insert(pending.end(), code, code + code_length);
    code[0] = 0;
    code_length = 1;
    mask = 1;
  }

  void start() {
    started = true;
    init_tree();
    code[0] = 0;
    std::memset(text, ' ', N - F);
    int c;
    for (len = 0; len < F && (c = next_byte()) >= 0; ++len) text[r + len] = static_cast<std::uint8_t>(c);
    if (len == 0) {
      finished = true;
      return;
    }
    for (int i = 1; i <= F; ++i) insert_node(r - i);
    insert_node(r);
  }

  // One item of the classic loop.
  void step() {
    if (match_length > len) match_length = len;
    if (match_length <= threshold) {
      match_length = 1;
      code[0] |= mask;
      code[code_length++] = text[r];
    } else {
      code[code_length++] = static_cast<std::uint8_t>(match_position);
      code[code_length++] = static_cast<std::uint8_t>(((match_position >> 4) & 0xF0) |
                                                      (match_length - (threshold + 1)));
    }
    mask = static_cast<std::uint8_t>(mask << 1);
    if (mask == 0) flush_group();
    int last_match_length = match_length;
    int i = 0;
    int c;
    for (; i < last_match_length && (c = next_byte()) >= 0; ++i) {
      delete_node(s);
      text[s] = static_cast<std::uint8_t>(c);
      if (s < F - 1) text[s + N] = static_cast<std::uint8_t>(c);
      s = (s + 1) & (N - 1);
      r = (r + 1) & (N - 1);
      insert_node(r);
    }
    while (i++ < last_match_length) {
      delete_node(s);
      s = (s + 1) & (N - 1);
      r = (r + 1) & (N - 1);
      if (--len) insert_node(r);
    }
    if (len <= 0) {
      if (code_length > 1) flush_group();
      finished = true;
    }
  }
};

LzssEncoder::LzssEncoder(ByteSource* source) : state_(std::make_unique<State>()) {
  state_->source = source;
}

LzssEncoder::~LzssEncoder() = default;

std::uint32_t LzssEncoder::read(void* buffer, std::uint32_t count) {
  State& st = *state_;
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    if (st.pending_index == st.pending.size()) {
      st.pending.clear();
      st.pending_index = 0;
      if (!st.started) st.start();
      // Run items until a group is finished (or the input is).
      while (!st.finished && st.pending.empty()) st.step();
      if (st.pending.empty()) break;
    }
    std::size_t n = st.pending.size() - st.pending_index;
    if (n > count - done) n = count - done;
    std::memcpy(out + done, st.pending.data() + st.pending_index, n);
    st.pending_index += n;
    done += static_cast<std::uint32_t>(n);
  }
  return done;
}

LzssEncoder* LzssEncodingCodec::create_encoder(ByteSource* source) {
  return new LzssEncoder(source);
}

std::vector<std::uint8_t> lzss_compress(std::span<const std::uint8_t> plain) {
  MemoryByteSource source(plain);
  LzssEncoder encoder(&source);
  std::vector<std::uint8_t> packed;
  std::uint8_t chunk[8192];
  while (std::uint32_t n = encoder.read(chunk, sizeof chunk)) packed.insert(packed.end(), chunk, chunk + n);
  return packed;
}
