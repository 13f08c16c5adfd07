// SPDX-License-Identifier: MIT
//
// Kernel benchmarks: table decoding (one to four lanes, body in memory)
// against the plain tree walk, table encoding against the plain writer, and
// byte counting, on generated data.
// Figures are bytes of uncompressed data per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "BitInputStream.hpp"
#include "BitOutputStream.hpp"
#include "HCTree.hpp"
#include "common/CodeTree.hpp"
#include "encode/BodyEncoder.hpp"
#include "encode/ByteCounter.hpp"
#include "huffcodec/experimental.hpp"
#include "huffcodec/huffcodec.hpp"

namespace {

using huffcodec::BodyEncoder;
using huffcodec::ByteCounter;

constexpr std::size_t kDataBytes = 8 << 20;

// Data shapes: 0 text-like (Zipf over 90 values), 1 uniform, 2 skewed (93%
// one value).
std::string makeData(int shape) {
    std::mt19937_64 random(shape + 1);
    std::vector<double> weights(256, 0.0);
    for (int s = 0; s < 256; ++s) {
        weights[s] = shape == 0   ? (s >= 32 && s < 122 ? 1.0 / (1 + (s * 37) % 90) : 0.0)
                     : shape == 1 ? 1.0
                                  : (s == 'e' ? 0.93 * 256 / 0.07 : 1.0);
    }
    std::discrete_distribution<int> pick(weights.begin(), weights.end());
    std::string data(kDataBytes, '\0');
    for (char& c : data) {
        c = static_cast<char>(pick(random));
    }
    return data;
}

struct Fixture {
    std::string data;
    HCTree tree;
    huffcodec::CountTable counts{};
    huffcodec::Decoder decoder;
    std::string body;
};

const Fixture& fixture(int shape) {
    static std::vector<Fixture*> cache(3, nullptr);
    if (cache[shape] == nullptr) {
        auto* f = new Fixture;
        f->data = makeData(shape);
        SymbolCounts counts(kNumSymbols, 0);
        for (const char c : f->data) {
            ++counts[static_cast<unsigned char>(c)];
        }
        f->tree.buildFromCounts(counts);
        std::copy(counts.begin(), counts.end(), f->counts.begin());
        huffcodec::Header header;
        std::copy(counts.begin(), counts.end(), header.counts.begin());
        f->decoder.build(header);
        std::ostringstream out;
        BitOutputStream bits(out);
        for (const char c : f->data) {
            f->tree.encodeSymbol(static_cast<std::uint8_t>(c), bits);
        }
        bits.flush();
        f->body = out.str();
        cache[shape] = f;
    }
    return *cache[shape];
}

void BM_Decoder(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<int>(state.range(0)));
    huffcodec::Tuning tuning;
    tuning.lanes = static_cast<int>(state.range(1));
    huffcodec::Options options;
    options.tuning = &tuning;
    for (auto _ : state) {
        std::size_t produced = 0;
        f.decoder.decode(
            f.body.data(), f.body.size(),
            [&](const std::uint8_t* data, std::size_t size) {
                benchmark::DoNotOptimize(data);
                produced += size;
                return true;
            },
            options);
        benchmark::DoNotOptimize(produced);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.data.size()));
}

void BM_PlainDecode(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::istringstream in(f.body);
        BitInputStream bits(in);
        int last = 0;
        for (std::size_t i = 0; i < f.data.size(); ++i) {
            last = f.tree.decodeSymbol(bits);
        }
        benchmark::DoNotOptimize(last);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.data.size()));
}

void BM_BodyEncoder(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<int>(state.range(0)));
    constexpr std::size_t kBlock = 1 << 17;
    for (auto _ : state) {
        // Sized for the whole input, as compress sizes it: with the pair table.
        BodyEncoder encoder{huffcodec::CodeTree(f.counts), f.data.size()};
        std::vector<std::uint8_t> out(encoder.outputBound(kBlock));
        std::size_t bytes = 0;
        for (std::size_t offset = 0; offset < f.data.size(); offset += kBlock) {
            const std::size_t size = std::min(kBlock, f.data.size() - offset);
            bytes += encoder.encode(reinterpret_cast<const std::uint8_t*>(f.data.data()) + offset,
                                    size, out.data());
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.data.size()));
}

void BM_PlainEncode(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::ostringstream out;
        BitOutputStream bits(out);
        for (const char c : f.data) {
            f.tree.encodeSymbol(static_cast<std::uint8_t>(c), bits);
        }
        bits.flush();
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.data.size()));
}

void BM_ByteCounter(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        ByteCounter counter;
        counter.add(reinterpret_cast<const std::uint8_t*>(f.data.data()), f.data.size());
        benchmark::DoNotOptimize(counter.counts());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.data.size()));
}

void shapes(benchmark::internal::Benchmark* b) {
    b->ArgName("shape")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Decoder)
    ->ArgNames({"shape", "lanes"})
    ->ArgsProduct({{0, 1, 2}, {1, 2, 3, 4}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainDecode)->Apply(shapes);
BENCHMARK(BM_BodyEncoder)->Apply(shapes);
BENCHMARK(BM_PlainEncode)->Apply(shapes)->Iterations(1);
BENCHMARK(BM_ByteCounter)->Apply(shapes);

}  // namespace

BENCHMARK_MAIN();
