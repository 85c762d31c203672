// Throughput of FrameDecoder on clean and adversarial streams, and of encode_frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "frame.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t STREAM_SIZE = 4 * 1024 * 1024;

// Valid settings frames with 144-byte payloads (150 bytes on the wire), back to back.
Bytes clean_stream() {
  std::mt19937 rng(1);
  Bytes out;
  Bytes payload(144);
  while (out.size() < STREAM_SIZE) {
    for (auto& b : payload) b = static_cast<std::uint8_t>(rng());
    const Bytes f = owl::encode_frame(owl::CMD_SETTINGS, payload, 0x00, 0xFF);
    out.insert(out.end(), f.begin(), f.end());
  }
  return out;
}

Bytes all_start_bytes() {
  return Bytes(STREAM_SIZE, 0xAA);
}

// Random bytes where about every third byte is 0xAA: false starts everywhere, many claiming
// long lengths; a few of them pass their checksum by chance.
Bytes dense_random() {
  std::mt19937 rng(2);
  Bytes out(STREAM_SIZE);
  for (auto& b : out) b = (rng() % 3 == 0) ? std::uint8_t{0xAA} : static_cast<std::uint8_t>(rng());
  return out;
}

// False starts claiming 255 bytes, each followed by 5 bytes; every start fails its checksum.
Bytes long_claims() {
  Bytes out;
  while (out.size() < STREAM_SIZE) {
    const Bytes f = {0xAA, 0x01, 0xFF, 0x00, 0x00, 0x80};
    out.insert(out.end(), f.begin(), f.end());
  }
  return out;
}

void run_decoder(benchmark::State& state, const Bytes& stream) {
  const auto chunk = static_cast<std::size_t>(state.range(0));
  std::size_t frames = 0;
  for (auto _ : state) {
    owl::FrameDecoder decoder;
    for (std::size_t pos = 0; pos < stream.size(); pos += chunk) {
      const std::size_t n = std::min(chunk, stream.size() - pos);
      auto got = decoder.push(std::span<const std::uint8_t>(stream.data() + pos, n));
      frames += got.size();
      benchmark::DoNotOptimize(got.data());
    }
    benchmark::DoNotOptimize(decoder.checksum_failures());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(stream.size()));
  state.counters["frames/iter"] =
      static_cast<double>(frames) / static_cast<double>(state.iterations());
}

void BM_DecodeCleanSettings(benchmark::State& state) {
  static const Bytes stream = clean_stream();
  run_decoder(state, stream);
}
BENCHMARK(BM_DecodeCleanSettings)->Arg(512)->Arg(64)->Arg(4096);

void BM_DecodeAllStartBytes(benchmark::State& state) {
  static const Bytes stream = all_start_bytes();
  run_decoder(state, stream);
}
BENCHMARK(BM_DecodeAllStartBytes)->Arg(512)->Arg(64);

void BM_DecodeDenseRandom(benchmark::State& state) {
  static const Bytes stream = dense_random();
  run_decoder(state, stream);
}
BENCHMARK(BM_DecodeDenseRandom)->Arg(512)->Arg(64);

void BM_DecodeLongClaims(benchmark::State& state) {
  static const Bytes stream = long_claims();
  run_decoder(state, stream);
}
BENCHMARK(BM_DecodeLongClaims)->Arg(512);

void BM_EncodeSettings(benchmark::State& state) {
  const Bytes payload(144, 0x5A);
  for (auto _ : state) {
    auto f = owl::encode_frame(owl::CMD_SETTINGS, payload, 0x00, 0xFF);
    benchmark::DoNotOptimize(f.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 150);
}
BENCHMARK(BM_EncodeSettings);

}  // namespace
