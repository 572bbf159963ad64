// Code page detection on a 128 KB sample (the amount the text readers pass),
// and multi-byte decoding throughput.
#include <benchmark/benchmark.h>

#include <string>

#include "foundation/encodings.h"
#include "foundation/multibyte.h"

namespace {

constexpr size_t kSample = 128 * 1024;

// Re-encodes UTF-8 text into an 8-bit code page through its table.
std::string toCodePage(const char* utf8, const char* codePage) {
    const lvchar16* table = codePageTableByName(codePage);
    LVString16 text = decodeUtf8(utf8);
    std::string out;
    for (int32_t i = 0; i < text.length(); ++i) {
        lvchar16 c = text[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        for (int b = 0; b < 128; ++b)
            if (table[b] == c) {
                out += static_cast<char>(0x80 + b);
                break;
            }
    }
    return out;
}

std::string repeatTo(const std::string& unit, size_t size) {
    std::string s;
    while (s.size() < size) s += unit;
    s.resize(size);
    return s;
}

const char kRussian[] =
    "Береги честь смолоду. Отец мой Андрей Петрович Гринёв в молодости своей служил при "
    "графе Минихе и вышел в отставку премьер-майором. С тех пор жил он в своей Симбирской "
    "деревне, где и женился на девице Авдотье Васильевне Ю., дочери бедного тамошнего "
    "дворянина.\n";
const char kFrench[] =
    "Le cœur a ses raisons que la raison ne connaît point. Il était une fois, dans un "
    "château près de la forêt, une élève très appliquée qui préférait les études à la fête.\n";

void detect(benchmark::State& state, const std::string& sample, bool skipMarkup) {
    LVString8 cp, lang;
    for (auto _ : state) {
        detectCodePage(sample.data(), sample.size(), cp, lang, skipMarkup);
        benchmark::DoNotOptimize(cp.c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(sample.size()));
    state.SetLabel(std::string(cp.c_str()) + "/" + lang.c_str());
}

void BM_DetectCp1251(benchmark::State& state) {
    detect(state, repeatTo(toCodePage(kRussian, "cp1251"), kSample), false);
}
BENCHMARK(BM_DetectCp1251)->Unit(benchmark::kMillisecond);

void BM_DetectCp1252(benchmark::State& state) {
    detect(state, repeatTo(toCodePage(kFrench, "cp1252"), kSample), false);
}
BENCHMARK(BM_DetectCp1252)->Unit(benchmark::kMillisecond);

void BM_DetectHtmlSkippingMarkup(benchmark::State& state) {
    std::string unit = "<p class=\"text\">" + toCodePage(kRussian, "koi8r") + "</p>\n";
    detect(state, repeatTo(unit, kSample), true);
}
BENCHMARK(BM_DetectHtmlSkippingMarkup)->Unit(benchmark::kMillisecond);

void BM_DecodeGbk(benchmark::State& state) {
    // "中文文本解码" and ASCII, in GBK.
    std::string sample = repeatTo("\xD6\xD0\xCE\xC4\xCE\xC4\xB1\xBE\xBD\xE2\xC2\xEB text. ", kSample);
    for (auto _ : state) {
        LVString16 s = decodeMultiByte(sample.data(), sample.size(), EncodingGbk);
        benchmark::DoNotOptimize(s.c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(sample.size()));
}
BENCHMARK(BM_DecodeGbk)->Unit(benchmark::kMillisecond);

}  // namespace
