// UpdateCrc32 and DescrambleBlock over 4 MiB, in MB/s; the descrambler in the
// archive reader's blocks of 64 KiB, the 12596 bytes of older readers and
// one block.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "Crc32.h"
#include "Encript.h"

namespace {

constexpr size_t kSize = 4u << 20;

std::vector<uint8_t> Data() {
    std::vector<uint8_t> data(kSize);
    for (size_t i = 0; i < kSize; ++i) data[i] = uint8_t(i * 2654435761u >> 24);
    return data;
}

void BenchUpdateCrc32(benchmark::State& state) {
    std::vector<uint8_t> data = Data();
    for (auto _ : state) {
        uint32_t crc = UpdateCrc32(data.data(), uint32_t(data.size()), 0xFFFFFFFF);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}
BENCHMARK(BenchUpdateCrc32)->Unit(benchmark::kMillisecond);

void BenchDescrambleBlock(benchmark::State& state) {
    std::vector<uint8_t> data = Data();
    const size_t block = size_t(state.range(0));
    SetScrambleKey("");
    for (auto _ : state) {
        for (size_t at = 0; at < data.size(); at += block)
            DescrambleBlock(data.data() + at, int32_t(std::min(block, data.size() - at)));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}
BENCHMARK(BenchDescrambleBlock)
    ->Arg(12596)
    ->Arg(65536)
    ->Arg(int64_t(kSize))
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
