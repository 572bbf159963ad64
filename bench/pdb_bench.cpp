// Palm database books beside the reference command-line tool, on the same
// file in the same run: the largest MOBI of the shared corpus.
//   BM_PdbDecode      open (decode once for offsets and checksum) and read
//                     the whole text through the one-record cache;
//   BM_PeerDecode     mobitool -d (decode and dump the text records);
//   BM_PdbParse       decode and run the HTML parser over the text (events
//                     counted, no tree);
//   BM_PdbImport      the full import: decode, parse and build the tree;
//   BM_PeerEpub       mobitool -e (the whole book converted to EPUB).
// Every benchmark reports peak_rss_MB, the peak resident size of a process
// doing one run (ours in a forked child, the peer's from its own rusage),
// and base_rss_MB, the same for a child doing nothing; text_MB is the size
// of the decoded text. The peer benchmarks report "peer not installed" when
// mobitool is not on the PATH.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/benchutil.h"
#include "dom/ldomdocument.h"
#include "formats/eventlog.h"
#include "formats/pdbimport.h"
#include "formats/xmlparser.h"
#include "streams/filestream.h"

namespace fs = std::filesystem;
using namespace benchutil;

namespace {

// The largest *.mobi of the corpus that opens.
const std::string& largestMobi() {
    static std::string path = [] {
        std::string best;
        uintmax_t bestSize = 0;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(corpusDir(), ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->path().extension() != ".mobi" || it->file_size() <= bestSize) continue;
            StreamHandle s = openFileStream(LVString16(it->path().c_str()), OpenModeRead);
            int format = 0;
            if (!s || !pdbDetect(s, format)) continue;
            best = it->path().string();
            bestSize = it->file_size();
        }
        if (!best.empty()) fprintf(stderr, "pdb_bench: %s (%ju bytes)\n", best.c_str(), bestSize);
        return best;
    }();
    return path;
}

// Decodes the book and reads all of its text; returns the text size.
size_t decodeBook(const std::string& path) {
    StreamHandle s = openFileStream(LVString16(path.c_str()), OpenModeRead);
    PDBFileHandle file;
    PDBContainerHandle container;
    int format = 0;
    if (!s || !pdbOpen(s, file, container, format)) return 0;
    std::vector<char> buf(65536);
    size_t total = 0;
    lvsize_t got = 0;
    while (file->Read(buf.data(), static_cast<lvsize_t>(buf.size()), &got) == ResultOk && got > 0)
        total += got;
    return total;
}

// Decodes the book and runs the HTML parser over it, counting the events.
uint64_t parseBook(const std::string& path) {
    StreamHandle s = openFileStream(LVString16(path.c_str()), OpenModeRead);
    PDBFileHandle file;
    PDBContainerHandle container;
    int format = 0;
    if (!s || !pdbOpen(s, file, container, format)) return 0;
    LVCountingCallback counter;
    LVHTMLParser parser(s, &counter);
    if (!file->textCharset().empty()) parser.SetCharset(file->textCharset().c_str());
    if (!parser.CheckFormat() || !parser.Parse()) return 0;
    return counter.chars;
}

// The full import into a new document; returns the number of elements.
uint32_t importBook(const std::string& path) {
    StreamHandle s = openFileStream(LVString16(path.c_str()), OpenModeRead);
    Ref<ldomDocument> doc = ldomDocument::create();
    ContainerHandle container;
    int format = 0;
    if (!s || !doc || !pdbImport(s, doc.get(), nullptr, container, format)) return 0;
    return doc->getElementCount();
}

void setCommonCounters(benchmark::State& state, double peakRss, double textSize) {
    setRssCounters(state, peakRss);
    state.counters["text_MB"] = mb(textSize);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * textSize));
}

// The peers run first: a spawned tool's peak resident size includes the
// benchmark process's own peak at the moment of the spawn, which is still
// small before our benchmarks have loaded anything.
void peer(benchmark::State& state, const char* option) {
    const std::string& book = largestMobi();
    std::string tool = findTool("mobitool");
    if (tool.empty()) {
        fprintf(stderr, "pdb_bench: peer not installed (mobitool)\n");
        return state.SkipWithError("peer not installed");
    }
    if (book.empty()) return state.SkipWithError("no MOBI in the corpus");
    char tmpl[] = "/tmp/vellumo-pdb-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return state.SkipWithError("no scratch folder");
    double peak = 0;
    bool ok = true;
    for (auto _ : state) ok = runTool({tool, option, "-o", tmpl, book}, peak) && ok;
    std::error_code ec;
    fs::remove_all(tmpl, ec);
    if (!ok) return state.SkipWithError("mobitool failed");
    setCommonCounters(state, peak, static_cast<double>(decodeBook(book)));
}

void BM_PeerDecode(benchmark::State& state) { peer(state, "-d"); }
BENCHMARK(BM_PeerDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PeerEpub(benchmark::State& state) { peer(state, "-e"); }
BENCHMARK(BM_PeerEpub)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PdbDecode(benchmark::State& state) {
    const std::string& book = largestMobi();
    if (book.empty()) return state.SkipWithError("no MOBI in the corpus");
    size_t text = 0;
    for (auto _ : state) benchmark::DoNotOptimize(text = decodeBook(book));
    if (text == 0) return state.SkipWithError("the book does not decode");
    setCommonCounters(state, childPeakRss([&] { decodeBook(book); }), static_cast<double>(text));
}
BENCHMARK(BM_PdbDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PdbParse(benchmark::State& state) {
    const std::string& book = largestMobi();
    if (book.empty()) return state.SkipWithError("no MOBI in the corpus");
    uint64_t chars = 0;
    for (auto _ : state) benchmark::DoNotOptimize(chars = parseBook(book));
    if (chars == 0) return state.SkipWithError("the book does not parse");
    setCommonCounters(state, childPeakRss([&] { parseBook(book); }),
                      static_cast<double>(decodeBook(book)));
}
BENCHMARK(BM_PdbParse)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PdbImport(benchmark::State& state) {
    const std::string& book = largestMobi();
    if (book.empty()) return state.SkipWithError("no MOBI in the corpus");
    uint32_t elements = 0;
    for (auto _ : state) benchmark::DoNotOptimize(elements = importBook(book));
    if (elements == 0) return state.SkipWithError("the book does not import");
    setCommonCounters(state, childPeakRss([&] { importBook(book); }),
                      static_cast<double>(decodeBook(book)));
}
BENCHMARK(BM_PdbImport)->Unit(benchmark::kMillisecond)->UseRealTime();


}  // namespace
