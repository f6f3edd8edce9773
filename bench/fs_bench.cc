// Archive member reads (stored, enciphered, compressed) and the LZSS decoder against the
// item-at-a-time reference decoder on the same data. Peers: the reference decoder, and
// memcpy of the member's bytes as the memory-bandwidth limit.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstring>
#include <random>
#include <vector>

#include "authoring/lzss_encoder.h"
#include "fs/lzss.h"
#include "fs/pak_fs.h"
#include "authoring/pak_writer.h"
#include "fs/resource_fs.h"
#include "tests/support/lzss_reference.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The machine is shared: ratios use this thread's CPU time, not the wall clock.
double cpu_seconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

// Text-like content with repeats, as the demo's module and pictures headers are.
Bytes sample(std::size_t size) {
  std::mt19937 rng(42);
  static const char* words[] = {"kestol ", "vexo ", "demo ", "pattern ", "row ", "    ", "\n",
                                "AAAAAAAAAAAAAAAAAAAA", "0123456789"};
  Bytes out;
  while (out.size() < size) {
    if (rng() % 8 == 0) {
      out.push_back(static_cast<std::uint8_t>(rng()));
      continue;
    }
    for (const char* w = words[rng() % 9]; *w != '\0' && out.size() < size; ++w) out.push_back(*w);
  }
  return out;
}

const Bytes& plain_data() {
  static Bytes data = sample(4 << 20);
  return data;
}

const Bytes& packed_data() {
  static Bytes data = lzss_compress(plain_data());
  return data;
}

double reference_seconds() {
  static double best = [] {
    Bytes out(plain_data().size());
    double min = 1e9;
    for (int i = 0; i < 3; ++i) {
      double start = cpu_seconds();
      PlainByteSource source(packed_data().data(), packed_data().size());
      ReferenceLzssDecoder decoder(&source);
      decoder.read(out.data(), static_cast<std::uint32_t>(out.size()));
      benchmark::DoNotOptimize(out.data());
      min = std::min(min, (cpu_seconds() - start));
    }
    return min;
  }();
  return best;
}

template <typename Decode>
void run_decoder(benchmark::State& state, Decode decode) {
  reference_seconds();  // made outside the timed loop
  Bytes out(plain_data().size());
  double total = 0;
  for (auto _ : state) {
    double start = cpu_seconds();
    decode(out);
    benchmark::DoNotOptimize(out.data());
    total += (cpu_seconds() - start);
  }
  if (out != plain_data()) state.SkipWithError("decoded bytes differ");
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
  state.counters["x_reference"] = reference_seconds() / (total / state.iterations());
}

void BM_LzssReferenceDecoder(benchmark::State& state) {
  run_decoder(state, [](Bytes& out) {
    PlainByteSource source(packed_data().data(), packed_data().size());
    ReferenceLzssDecoder decoder(&source);
    decoder.read(out.data(), static_cast<std::uint32_t>(out.size()));
  });
}
BENCHMARK(BM_LzssReferenceDecoder)->Unit(benchmark::kMillisecond);

void BM_LzssDecoder(benchmark::State& state) {
  std::uint32_t piece = static_cast<std::uint32_t>(state.range(0));
  run_decoder(state, [piece](Bytes& out) {
    MemoryByteSource source(packed_data());
    LzssDecoder decoder(&source);
    for (std::size_t at = 0; at < out.size();) {
      std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(piece, out.size() - at));
      at += decoder.read(out.data() + at, n);
    }
  });
}
BENCHMARK(BM_LzssDecoder)->Arg(4 << 20)->Arg(4096)->Unit(benchmark::kMillisecond);

// The decoder over a source without bulk access: one virtual read per item.
void BM_LzssDecoderByteSource(benchmark::State& state) {
  run_decoder(state, [](Bytes& out) {
    PlainByteSource source(packed_data().data(), packed_data().size());
    LzssDecoder decoder(&source);
    decoder.read(out.data(), static_cast<std::uint32_t>(out.size()));
  });
}
BENCHMARK(BM_LzssDecoderByteSource)->Unit(benchmark::kMillisecond);

// ---- member reads ----------------------------------------------------------------------

struct ArchiveCase {
  Bytes bytes;
};

const Bytes& archive(bool encipher, PakCompression compression) {
  static Bytes cache[2][3];
  Bytes& slot = cache[encipher][static_cast<int>(compression)];
  if (slot.empty()) {
    PakWriter writer;
    writer.add_file("member.bin", plain_data(), nullptr);
    PakWriterOptions options;
    options.encipher = encipher;
    options.compression = compression;
    writer.build(options, &slot, nullptr);
  }
  return slot;
}

void BM_MemberRead(benchmark::State& state) {
  bool encipher = state.range(0) != 0;
  auto compression = state.range(1) != 0 ? PakCompression::always : PakCompression::never;
  const Bytes& bytes = archive(encipher, compression);  // made outside the timed loop
  ResourceStream stream(bytes.data(), static_cast<std::uint32_t>(bytes.size()), "a.pak", nullptr);
  PakFileSystem fs(&stream);
  Bytes out(plain_data().size());
  double total = 0;
  for (auto _ : state) {
    double start = cpu_seconds();
    StreamPtr member(fs.open("member.bin", mode_read));
    for (std::size_t at = 0; at < out.size();)
      at += member->read(out.data() + at, static_cast<std::uint32_t>(std::min<std::size_t>(65536, out.size() - at)));
    benchmark::DoNotOptimize(out.data());
    total += (cpu_seconds() - start);
  }
  if (out != plain_data()) state.SkipWithError("member bytes differ");
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
  // The peer: copying the same bytes (best of several runs, made once).
  static double memcpy_seconds = [] {
    Bytes copy(plain_data().size(), 1);
    double best = 1e9;
    for (int i = 0; i < 20; ++i) {
      double start = cpu_seconds();
      std::memcpy(copy.data(), plain_data().data(), copy.size());
      benchmark::ClobberMemory();
      best = std::min(best, cpu_seconds() - start);
    }
    return best;
  }();
  state.counters["MB_per_s"] = out.size() / (total / state.iterations()) / 1e6;
  state.counters["x_memcpy"] = memcpy_seconds / (total / state.iterations());
}
BENCHMARK(BM_MemberRead)
    ->ArgNames({"enciphered", "compressed"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
