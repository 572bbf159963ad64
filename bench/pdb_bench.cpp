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

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "dom/ldomdocument.h"
#include "formats/eventlog.h"
#include "formats/pdbimport.h"
#include "formats/xmlparser.h"
#include "streams/filestream.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

fs::path corpusDir() {
    const char* env = std::getenv("VELLUMO_CORPUS");
    if (env && *env) return env;
    // The corpus lies beside the source tree.
    return fs::path(__FILE__).parent_path().parent_path().parent_path() / "shared" / "corpus";
}

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

std::string peerPath() {
    const char* pathEnv = std::getenv("PATH");
    std::string paths = pathEnv ? pathEnv : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= paths.size()) {
        size_t end = paths.find(':', start);
        if (end == std::string::npos) end = paths.size();
        fs::path candidate = fs::path(paths.substr(start, end - start)) / "mobitool";
        if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
        start = end + 1;
    }
    return {};
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

double mb(double bytes) { return bytes / (1024.0 * 1024.0); }

// Peak resident size (bytes) of a forked child that runs work once.
template <class Work>
double childPeakRss(Work work) {
    pid_t pid = fork();
    if (pid == 0) {
        work();
        _exit(0);
    }
    int status = 0;
    struct rusage ru {};
    if (pid < 0 || wait4(pid, &status, 0, &ru) < 0) return 0;
    return static_cast<double>(ru.ru_maxrss) * 1024.0;
}

// Runs the peer with args; false when it cannot be run or fails. peakRss
// receives its peak resident size in bytes.
bool runPeer(const std::vector<std::string>& args, double& peakRss) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    struct rusage ru {};
    if (wait4(pid, &status, 0, &ru) < 0) return false;
    peakRss = static_cast<double>(ru.ru_maxrss) * 1024.0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void setCommonCounters(benchmark::State& state, double peakRss, double textSize) {
    static const double base = childPeakRss([] {});
    state.counters["peak_rss_MB"] = mb(peakRss);
    state.counters["base_rss_MB"] = mb(base);
    state.counters["text_MB"] = mb(textSize);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * textSize));
}

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

void peer(benchmark::State& state, const char* option) {
    const std::string& book = largestMobi();
    std::string tool = peerPath();
    if (tool.empty()) {
        fprintf(stderr, "pdb_bench: peer not installed (mobitool)\n");
        return state.SkipWithError("peer not installed");
    }
    if (book.empty()) return state.SkipWithError("no MOBI in the corpus");
    char tmpl[] = "/tmp/vellumo-pdb-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return state.SkipWithError("no scratch folder");
    double peak = 0;
    bool ok = true;
    for (auto _ : state) ok = runPeer({tool, option, "-o", tmpl, book}, peak) && ok;
    std::error_code ec;
    fs::remove_all(tmpl, ec);
    if (!ok) return state.SkipWithError("mobitool failed");
    setCommonCounters(state, peak, static_cast<double>(decodeBook(book)));
}

void BM_PeerDecode(benchmark::State& state) { peer(state, "-d"); }
BENCHMARK(BM_PeerDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PeerEpub(benchmark::State& state) { peer(state, "-e"); }
BENCHMARK(BM_PeerEpub)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
