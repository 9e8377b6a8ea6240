// Implode encoder: compressed size as a fraction of the input and MB/s of
// input, per literal mode and dictionary size, on
//   text:   4 MiB of manual text   } decoded from the repository's explode
//   binary: 4 MiB of a program     } benchmark streams (tests/data/dcl-bench)
// Every stream is decoded once and compared with its input before timing.
// BM_ImplodeStreamed: the streaming encoder as qxpack build runs it.
//
//   bench_ImplodeBench               Google Benchmark run (counter "fraction")
//   bench_ImplodeBench --once FILE [binary|ascii] [DICT]
//                                    one encode (default ASCII, 4096) for callgrind
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ExplodeStream.h"
#include "Implode.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path, size_t limit = SIZE_MAX) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    if (s.size() > limit) s.resize(limit);
    return Bytes(s.begin(), s.end());
}

// Decodes a whole stream from memory; answers Explode's result.
uint32_t Decode(const Bytes& stream, Bytes* plain) {
    size_t at = 0;
    return ExplodeStream(
        [&](uint8_t* buffer, uint32_t capacity) {
            const size_t n = std::min<size_t>(capacity, stream.size() - at);
            std::memcpy(buffer, stream.data() + at, n);
            at += n;
            return uint32_t(n);
        },
        [&](const uint8_t* data, uint32_t size) {
            plain->insert(plain->end(), data, data + size);
        });
}

// The plain bytes of one of the benchmark streams; empty when it is missing
// or does not decode.
Bytes DecodedInput(const std::string& name) {
    Bytes plain;
    const Bytes stream =
        ReadFile(std::string(QX_FIXTURE_DIR) + "/dcl-bench/" + name + ".binary.4096.dcl");
    return Decode(stream, &plain) == 0 ? plain : Bytes();
}

const Bytes& Input(int which) {
    static const Bytes text = DecodedInput("text4m");
    static const Bytes binary = DecodedInput("binary4m");
    return which == 0 ? text : binary;
}

bool DecodesTo(const Bytes& stream, const Bytes& plain) {
    Bytes out;
    const uint32_t result = Decode(stream, &out);
    return (result == 0 || IsEmptyStream(stream.data(), stream.size())) && out == plain;
}

void BM_Implode(benchmark::State& state) {
    const Bytes& input = Input(int(state.range(0)));
    const ImplodeChoice choice{state.range(1) ? ImplodeLiterals::Ascii : ImplodeLiterals::Binary,
                               uint32_t(state.range(2))};
    if (input.empty()) {
        state.SkipWithError("input not found");
        return;
    }
    Bytes stream = Implode(input.data(), input.size(), choice);
    if (!DecodesTo(stream, input)) {
        state.SkipWithError("the stream does not decode to its input");
        return;
    }
    for (auto _ : state) {
        stream = Implode(input.data(), input.size(), choice);
        benchmark::DoNotOptimize(stream.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(input.size()));
    state.counters["fraction"] = double(stream.size()) / double(input.size());
    state.SetLabel(std::string(state.range(0) ? "binary input, " : "text input, ") +
                   (state.range(1) ? "ASCII" : "binary") + " mode");
}

BENCHMARK(BM_Implode)
    ->ArgNames({"input", "ascii", "dict"})
    ->ArgsProduct({{0, 1}, {0, 1}, {1024, 2048, 4096}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

// The streaming encoder fed in the 256 KiB blocks that qxpack reads, with the
// choice that the byte statistics suggest: the speed of one member's encode
// in qxpack build.
void BM_ImplodeStreamed(benchmark::State& state) {
    const Bytes& input = Input(int(state.range(0)));
    if (input.empty()) {
        state.SkipWithError("input not found");
        return;
    }
    const ImplodeChoice choice = LikelyImplodeChoice(
        input.data(), std::min<size_t>(input.size(), 32768), AllImplodeChoices());
    Bytes stream;
    auto encode = [&] {
        stream.clear();
        ImplodeEncoder encoder(choice, [&](const uint8_t* data, size_t size) {
            stream.insert(stream.end(), data, data + size);
        });
        for (size_t at = 0; at < input.size(); at += size_t(1) << 18)
            encoder.write(input.data() + at, std::min(input.size() - at, size_t(1) << 18));
        encoder.finish();
    };
    encode();
    if (stream != Implode(input.data(), input.size(), choice)) {
        state.SkipWithError("the streamed encode differs from the whole-buffer one");
        return;
    }
    for (auto _ : state) {
        encode();
        benchmark::DoNotOptimize(stream.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(input.size()));
    state.counters["fraction"] = double(stream.size()) / double(input.size());
    state.SetLabel(std::string(state.range(0) ? "binary input, " : "text input, ") +
                   (choice.literals == ImplodeLiterals::Ascii ? "ASCII" : "binary") + " mode");
}

BENCHMARK(BM_ImplodeStreamed)
    ->ArgNames({"input"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && argc <= 5 && std::strcmp(argv[1], "--once") == 0) {
        const Bytes input = ReadFile(argv[2]);
        ImplodeChoice choice{ImplodeLiterals::Ascii, 4096};
        if (argc >= 4 && std::strcmp(argv[3], "binary") == 0)
            choice.literals = ImplodeLiterals::Binary;
        if (argc >= 5) choice.dictionarySize = uint32_t(std::strtoul(argv[4], nullptr, 10));
        const Bytes stream = Implode(input.data(), input.size(), choice);
        std::printf("%zu -> %zu bytes (%.4f%%)%s\n", input.size(), stream.size(),
                    input.empty() ? 0.0 : 100.0 * double(stream.size()) / double(input.size()),
                    DecodesTo(stream, input) ? "" : " DOES NOT DECODE");
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
