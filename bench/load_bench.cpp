// Loading whole books through LVDocView, as the reader opens them: the
// largest book of the shared corpus in each format the loader reads, with
// the peak resident size of a process doing one load. Beside them, in the
// same run, peer tools reading the same files: xmllint parsing the
// FictionBook and HTML books into its own tree, and mobitool decoding the
// Mobipocket book. The peers do less than a load (no structure, styles or
// metadata for xmllint; decoding only for mobitool), so they set a floor.
// A peer that is not installed is reported and skipped.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/benchutil.h"
#include "view/lvdocview.h"

using namespace benchutil;

namespace {

struct Book {
    const char* format;
    const char* path;  // inside the corpus
};

const Book kBooks[] = {
    {"txt", "kjv-bible/kjv-bible.txt"},
    {"mobi", "kjv-bible/kjv-bible.mobi"},
    {"fb2zip", "kjv-bible/kjv-bible.fb2.zip"},
    {"fb2", "accessible-epub-3/accessible-epub-3.fb2"},
    {"html", "kapitanskaya-dochka/kapitanskaya-dochka.html"},
    {"palmdoc", "kapitanskaya-dochka/kapitanskaya-dochka.palmdoc.pdb"},
};

std::string bookPath(const Book& b) { return (corpusDir() / b.path).string(); }

bool loadOnce(const std::string& path) {
    LVDocViewHandle view(new LVDocView());
    return view->LoadDocument(localToWide(path.c_str()));
}

void BM_Load(benchmark::State& state, const Book& book) {
    std::string path = bookPath(book);
    if (!fs::exists(path)) return state.SkipWithError("book not in the corpus");
    bool ok = true;
    for (auto _ : state) ok = loadOnce(path) && ok;
    if (!ok) return state.SkipWithError("the book does not load");
    setRssCounters(state, childPeakRss([&] { loadOnce(path); }));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(path)));
}

void BM_Peer(benchmark::State& state, const char* tool, std::vector<std::string> args,
             const Book& book) {
    std::string exe = findTool(tool);
    if (exe.empty()) {
        fprintf(stderr, "load_bench: peer not installed (%s)\n", tool);
        return state.SkipWithError("peer not installed");
    }
    std::string path = bookPath(book);
    char tmpl[] = "/tmp/vellumo-load-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return state.SkipWithError("no scratch folder");
    args.insert(args.begin(), exe);
    for (std::string& a : args) {
        if (a == "@BOOK") a = path;
        if (a == "@TMP") a = tmpl;
    }
    double peak = 0;
    bool ok = true;
    for (auto _ : state) ok = runTool(args, peak) && ok;
    std::error_code ec;
    fs::remove_all(tmpl, ec);
    if (!ok) return state.SkipWithError("the peer failed");
    setRssCounters(state, peak);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(path)));
}

// The peers are registered (and run) first: a spawned tool's peak resident
// size includes this process's own peak at the moment of the spawn, which is
// still small before any book has been loaded.
const int kRegistered = [] {
    benchmark::RegisterBenchmark("BM_Peer/xmllint/fb2", BM_Peer, "xmllint",
                                 std::vector<std::string>{"--noout", "--huge", "@BOOK"}, kBooks[3])
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_Peer/xmllint/html", BM_Peer, "xmllint",
                                 std::vector<std::string>{"--html", "--noout", "@BOOK"}, kBooks[4])
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_Peer/mobitool-d/mobi", BM_Peer, "mobitool",
                                 std::vector<std::string>{"-d", "-o", "@TMP", "@BOOK"}, kBooks[1])
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    for (const Book& b : kBooks) {
        benchmark::RegisterBenchmark((std::string("BM_Load/") + b.format).c_str(), BM_Load, b)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return 0;
}();

}  // namespace
