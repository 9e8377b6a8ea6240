// Explode speed on the 4 MiB streams of tests/data/dcl-bench, in MB/s of
// output. Each stream is first decoded once and checked against the CRC-32 in
// its manifest.
//
//   bench_ExplodeBench                 Google Benchmark run
//   bench_ExplodeBench --once FILE     one decode of FILE and nothing else, for
//                                      valgrind --tool=callgrind
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Crc32.h"
#include "Explode.h"

namespace {

struct Source {
    const std::vector<uint8_t>* stream;
    size_t position;
    uint64_t written;
    uint32_t crc;
    bool computeCrc;
};

uint32_t ReadMemory(uint8_t* buffer, uint32_t* size, void* param) {
    Source& s = *static_cast<Source*>(param);
    size_t n = std::min(size_t(*size), s.stream->size() - s.position);
    std::memcpy(buffer, s.stream->data() + s.position, n);
    s.position += n;
    return uint32_t(n);
}

void TakeOutput(uint8_t* buffer, uint32_t* size, void* param) {
    Source& s = *static_cast<Source*>(param);
    s.written += *size;
    if (s.computeCrc) s.crc = UpdateCrc32(buffer, *size, s.crc);
}

uint32_t DecodeOnce(const std::vector<uint8_t>& stream, ExplodeWork* work, Source& s) {
    s = {&stream, 0, 0, 0xFFFFFFFF, s.computeCrc};
    return Explode(ReadMemory, TakeOutput, work, &s);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        std::exit(1);
    }
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

void BenchExplode(benchmark::State& state, std::vector<uint8_t> stream) {
    auto work = std::make_unique<ExplodeWork>();
    Source s{};
    uint64_t bytes = 0;
    for (auto _ : state) {
        uint32_t result = DecodeOnce(stream, work.get(), s);
        benchmark::DoNotOptimize(result);
        bytes += s.written;
    }
    state.SetBytesProcessed(int64_t(bytes));
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--once") == 0) {
        std::vector<uint8_t> stream = ReadFile(argv[2]);
        auto work = std::make_unique<ExplodeWork>();
        Source s{};
        uint32_t result = DecodeOnce(stream, work.get(), s);
        std::printf("result %u, %llu bytes out\n", result, (unsigned long long)s.written);
        return result == ExplodeOk ? 0 : 1;
    }

    const std::string dir = std::string(QX_FIXTURE_DIR) + "/dcl-bench/";
    std::ifstream manifest(dir + "MANIFEST.tsv");
    std::string line;
    std::getline(manifest, line); // column names
    while (std::getline(manifest, line)) {
        std::istringstream fields(line);
        std::string name, mode, dict, plainSize, packedSize, crcText;
        fields >> name >> mode >> dict >> plainSize >> packedSize >> crcText;
        std::string file = name + "." + mode + "." + dict + ".dcl";
        std::vector<uint8_t> stream = ReadFile(dir + file);

        auto work = std::make_unique<ExplodeWork>();
        Source s{};
        s.computeCrc = true;
        uint32_t result = DecodeOnce(stream, work.get(), s);
        uint32_t crc = ~s.crc;
        if (result != ExplodeOk || crc != std::stoul(crcText, nullptr, 16) ||
            s.written != std::stoull(plainSize)) {
            std::fprintf(stderr, "%s: result %u, crc %08x, %llu bytes: does not match\n",
                         file.c_str(), result, crc, (unsigned long long)s.written);
            return 1;
        }
        std::printf("%s: decodes to %llu bytes, CRC-32 %08x as listed\n", file.c_str(),
                    (unsigned long long)s.written, crc);
        benchmark::RegisterBenchmark(("Explode/" + file).c_str(), BenchExplode, stream)
            ->Unit(benchmark::kMillisecond);
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
