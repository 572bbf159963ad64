// Document tree storage: build cost and memory per node, name-table growth,
// and the child-index scan on a flat body.
//
// BM_BuildDocument reports bytes per text node from the peak resident set
// size (the peak is reset before the build when the kernel allows it), next
// to the size the storage layout gives: an 8-byte instance plus a 48-byte
// text record per text node, and an 8-byte instance plus a 64-byte element
// record per paragraph of ten texts.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dom/ldomdocument.h"
#include "dom/nametables.h"
#include "foundation/timelimit.h"

namespace {

// A "VmRSS:" / "VmHWM:" line of /proc/self/status, in bytes (0 when unknown).
long long statusBytes(const char* key) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    long long kb = 0;
    size_t n = std::strlen(key);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, key, n) == 0) kb = std::atoll(line + n);
    std::fclose(f);
    return kb * 1024;
}

// Sets the peak RSS back to the current RSS; false when not permitted.
bool resetPeakRss() {
    FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

constexpr int kParagraphs = 100000;
constexpr int kTextsPerParagraph = 10;
constexpr int kTextNodes = kParagraphs * kTextsPerParagraph;

void BM_BuildDocument(benchmark::State& state) {
    char text[21];
    for (auto _ : state) {
        bool peakReset = resetPeakRss();
        long long before = statusBytes("VmRSS:");
        TimeLimit clock;
        Ref<ldomDocument> doc = ldomDocument::create();
        ldomNode* body = doc->getRootNode()->insertChildElement(ElemBody);
        for (int p = 0; p < kParagraphs; ++p) {
            ldomNode* para = body->insertChildElement(ElemP);
            for (int t = 0; t < kTextsPerParagraph; ++t) {
                std::snprintf(text, sizeof text, "word%08d-%06d", p, t);  // 20 ASCII characters
                para->insertChildText(text, 20);
            }
            para->persist();
        }
        doc->persist(TimeLimit());
        double ms = static_cast<double>(clock.elapsedMs());
        long long peak = statusBytes("VmHWM:");
        long long delta = peakReset ? peak - before : statusBytes("VmRSS:") - before;

        const double designed = 8 + 48 + (8 + 64) / static_cast<double>(kTextsPerParagraph);
        uint64_t storageBytes = doc->textStorage().bytesInMemory() +
                                doc->elementStorage().bytesInMemory() +
                                8ull * 1024 * ((doc->getTextCount() >> 10) + 1) +
                                8ull * 1024 * ((doc->getElementCount() >> 10) + 1);
        state.counters["build_ms"] = ms;
        state.counters["text_nodes"] = doc->getTextCount();
        state.counters["bytes_per_text_node_rss"] = static_cast<double>(delta) / kTextNodes;
        state.counters["bytes_per_text_node_storage"] =
            static_cast<double>(storageBytes) / kTextNodes;
        state.counters["bytes_per_text_node_designed"] = designed;
        state.counters["rss_over_designed"] = static_cast<double>(delta) / kTextNodes / designed;
        state.counters["peak_reset"] = peakReset ? 1 : 0;
        benchmark::DoNotOptimize(doc.get());
    }
}
BENCHMARK(BM_BuildDocument)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_NameTableInsert(benchmark::State& state) {
    std::vector<LVString16> names;
    for (int i = 0; i < 10000; ++i) names.emplace_back(("tag-" + std::to_string(i)).c_str());
    for (auto _ : state) {
        state.PauseTiming();
        auto map = std::make_unique<NameIdMap>(512, 1024, "#overflow");
        map->loadTable(ElementTypeTable);
        state.ResumeTiming();
        for (const LVString16& n : names) benchmark::DoNotOptimize(map->idByName(n, true));
        for (const LVString16& n : names) benchmark::DoNotOptimize(map->idByName(n, true));
        state.PauseTiming();
        map.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_NameTableInsert)->Unit(benchmark::kMicrosecond);

// getNodeIndex scans the parent's child list: cost grows with the position.
void BM_NodeIndexOnFlatBody(benchmark::State& state) {
    Ref<ldomDocument> doc = ldomDocument::create();
    ldomNode* body = doc->getRootNode()->insertChildElement(ElemBody);
    for (int i = 0; i < 300000; ++i) body->insertChildElement(ElemP)->persist();
    body->persist();
    ldomNode* last = body->getChildNode(299999);
    for (auto _ : state) benchmark::DoNotOptimize(last->getNodeIndex());
}
BENCHMARK(BM_NodeIndexOnFlatBody)->Unit(benchmark::kMicrosecond);

}  // namespace
