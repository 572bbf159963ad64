// String throughput: UTF-8 decode/encode and single-character appends.
#include <benchmark/benchmark.h>

#include <string>

#include "foundation/lvstring.h"

namespace {

// Mixed Russian/English running text, about 1 MiB of UTF-8.
std::string sampleUtf8() {
    std::string unit =
        "\xD0\x9C\xD0\xB0\xD1\x80\xD1\x8C\xD1\x8F \xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\xD0\xBE"
        "\xD0\xB2\xD0\xBD\xD0\xB0 said: \xE2\x80\x94 The quick brown fox jumps over the lazy "
        "dog. \xC2\xAB\xD0\x9A\xD0\xB0\xD0\xBF\xD0\xB8\xD1\x82\xD0\xB0\xD0\xBD\xC2\xBB\n";
    std::string s;
    while (s.size() < (1 << 20)) s += unit;
    return s;
}

void BM_DecodeUtf8(benchmark::State& state) {
    std::string text = sampleUtf8();
    for (auto _ : state) {
        LVString16 s = decodeUtf8(text.data(), text.size());
        benchmark::DoNotOptimize(s.c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.size());
}
BENCHMARK(BM_DecodeUtf8);

void BM_EncodeUtf8(benchmark::State& state) {
    std::string text = sampleUtf8();
    LVString16 wide = decodeUtf8(text.data(), text.size());
    for (auto _ : state) {
        LVString8 s = encodeUtf8(wide);
        benchmark::DoNotOptimize(s.c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.size());
}
BENCHMARK(BM_EncodeUtf8);

// Appends grow the record to exactly the new length; this shows what that
// costs for a parser that builds a long string one character at a time.
void BM_AppendChar16(benchmark::State& state) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        LVString16 s;
        for (int64_t i = 0; i < n; ++i) s += static_cast<lvchar16>(u'a' + (i & 15));
        benchmark::DoNotOptimize(s.c_str());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_AppendChar16)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_AppendChar16Reserved(benchmark::State& state) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        LVString16 s;
        s.reserve(static_cast<int32_t>(n));
        for (int64_t i = 0; i < n; ++i) s += static_cast<lvchar16>(u'a' + (i & 15));
        benchmark::DoNotOptimize(s.c_str());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_AppendChar16Reserved)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
