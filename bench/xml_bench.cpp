// Markup parsing throughput on generated 20 MB books: a FictionBook and an
// HTML page of tag soup, written once to temporary files. Reported beside
// xmllint --noout (libxml2 parsing and building its own tree) on the same
// files, so that the figures of one run compare like with like.
//
// Counters: bytes_per_second (MB/s of input over CPU time), wall_ms (per
// parse), peak_rss_mb (this process for the parser, the largest child for
// xmllint).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "formats/eventlog.h"
#include "dom/ldomdocument.h"
#include "dom/writer.h"
#include "formats/xmlparser.h"
#include "streams/filestream.h"

namespace {

constexpr size_t kTargetBytes = 20u * 1024 * 1024;

const char* const kWords[] = {
    "книга",  "честь",     "смолоду", "капитан", "дочка", "глава", "сержант", "гвардии",
    "the",    "reader",    "opens",   "a",       "book",  "and",   "turns",   "pages",
    "quietly", "évidemment", "Straße", "über",   "—",     "«",     "»",       "1799",
};

// A small deterministic generator, so that every run parses the same bytes.
struct Words {
    uint32_t state = 12345;
    const char* next() {
        state = state * 1103515245u + 12345u;
        return kWords[(state >> 16) % (sizeof kWords / sizeof kWords[0])];
    }
    std::string sentence(int n) {
        std::string s;
        for (int i = 0; i < n; ++i) {
            if (i) s += ' ';
            s += next();
        }
        return s;
    }
};

// Writes a generated book to a temporary file piece by piece, so that the
// generator's memory does not show in the peak RSS of the parse.
struct TempFile {
    std::string path;
    int64_t size = 0;
    FILE* out = nullptr;

    explicit TempFile(const char* suffix) {
        std::string pattern = std::string("/tmp/vellumo-xml-bench-XXXXXX") + suffix;
        const int fd = mkstemps(pattern.data(), static_cast<int>(strlen(suffix)));
        if (fd < 0) return;
        out = fdopen(fd, "wb");
        if (out) path = pattern;
    }
    ~TempFile() {
        if (out) fclose(out);
        if (!path.empty()) unlink(path.c_str());
    }
    void add(const std::string& piece) {
        if (out && fwrite(piece.data(), 1, piece.size(), out) == piece.size())
            size += static_cast<int64_t>(piece.size());
    }
    // Closes the file; false (and no path) when a write failed.
    bool finish(int64_t expected) {
        const bool ok = out && fclose(out) == 0 && size == expected;
        out = nullptr;
        if (!ok && !path.empty()) {
            unlink(path.c_str());
            path.clear();
        }
        return ok;
    }
};

std::unique_ptr<TempFile> makeFictionBook() {
    auto file = std::make_unique<TempFile>(".fb2");
    Words w;
    int64_t total = 0;
    auto add = [&](const std::string& s) {
        file->add(s);
        total += static_cast<int64_t>(s.size());
    };
    add("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<FictionBook xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\" "
        "xmlns:l=\"http://www.w3.org/1999/xlink\">\n<description><title-info>"
        "<author><first-name>Александр</first-name><last-name>Пушкин</last-name></author>"
        "<book-title>Капитанская дочка</book-title><lang>ru</lang></title-info></description>\n"
        "<body>\n");
    for (int section = 1; total < static_cast<int64_t>(kTargetBytes); ++section) {
        std::string s = "<section id=\"s" + std::to_string(section) + "\"><title><p>Глава " +
                        std::to_string(section) + "</p></title>\n";
        for (int p = 0; p < 40; ++p) {
            s += "<p>" + w.sentence(12) + " <emphasis>" + w.sentence(3) + "</emphasis> " +
                 w.sentence(10) + "<a l:href=\"#n" + std::to_string(p) +
                 "\" type=\"note\">[" + std::to_string(p) + "]</a> &amp; " + w.sentence(8) +
                 "&#160;—&#xA0;" + w.sentence(6) + ".</p>\n";
        }
        s += "<empty-line/>\n<poem><stanza><v>" + w.sentence(6) + "</v><v>" + w.sentence(6) +
             "</v></stanza></poem>\n</section>\n";
        add(s);
    }
    add("</body>\n</FictionBook>\n");
    file->finish(total);
    return file;
}

std::unique_ptr<TempFile> makeHtml() {
    auto file = std::make_unique<TempFile>(".html");
    Words w;
    int64_t total = 0;
    auto add = [&](const std::string& s) {
        file->add(s);
        total += static_cast<int64_t>(s.size());
    };
    add("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
        "<title>Generated</title></head>\n<body>\n");
    for (int chapter = 1; total < static_cast<int64_t>(kTargetBytes); ++chapter) {
        std::string s = "<h2 id=\"c" + std::to_string(chapter) + "\">Chapter " +
                        std::to_string(chapter) + "</h2>\n<div class=\"chapter\">\n";
        for (int p = 0; p < 40; ++p) {
            s += "<P class=\"text\" align=justify>" + w.sentence(12) + " <b>" + w.sentence(3) +
                 "</b> <i>" + w.sentence(4) + "</I> " + w.sentence(8) +
                 " <a href=\"page" + std::to_string(p) + ".html#x\">link</a>&nbsp;&mdash; " +
                 w.sentence(10) + "<br>\n" + w.sentence(6) + ".\n";
        }
        s += "</div>\n<hr>\n";
        add(s);
    }
    add("</body></html>\n");
    file->finish(total);
    return file;
}

const TempFile& fictionBookFile() {
    static std::unique_ptr<TempFile> file = makeFictionBook();
    return *file;
}

const TempFile& htmlFile() {
    static std::unique_ptr<TempFile> file = makeHtml();
    return *file;
}

double cpuSeconds(int who) {
    rusage ru{};
    getrusage(who, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double peakRssMb(int who) {
    rusage ru{};
    getrusage(who, &ru);
    return static_cast<double>(ru.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

template <class Parser>
void parseFile(benchmark::State& state, const TempFile& file) {
    if (file.path.empty()) {
        state.SkipWithError("cannot write the generated book");
        return;
    }
    int64_t bytes = 0;
    uint64_t chars = 0;
    double wall = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        StreamHandle stream = openFileStream(localToWide(file.path.c_str()), OpenModeRead);
        LVCountingCallback counter;
        Parser parser(stream, &counter);
        if (!parser.CheckFormat() || !parser.Parse()) {
            state.SkipWithError("the parser rejected the generated book");
            return;
        }
        bytes += stream->GetSize();
        chars += counter.chars;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    benchmark::DoNotOptimize(chars);
    state.SetBytesProcessed(bytes);
    state.counters["wall_ms"] = benchmark::Counter(wall * 1000, benchmark::Counter::kAvgIterations);
    state.counters["peak_rss_mb"] = peakRssMb(RUSAGE_SELF);
}

// The same parse with the writer building the document tree (the filter
// for HTML), a fresh document each time; peak_rss_mb then includes a tree.
template <class Parser, class Writer>
void buildFile(benchmark::State& state, const TempFile& file) {
    if (file.path.empty()) {
        state.SkipWithError("cannot write the generated book");
        return;
    }
    int64_t bytes = 0;
    double wall = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        StreamHandle stream = openFileStream(localToWide(file.path.c_str()), OpenModeRead);
        Ref<ldomDocument> doc = ldomDocument::create();
        {
            Writer writer(doc.get());
            Parser parser(stream, &writer);
            if (!parser.CheckFormat() || !parser.Parse()) {
                state.SkipWithError("the parser rejected the generated book");
                return;
            }
        }
        benchmark::DoNotOptimize(doc->getRootNode());
        bytes += stream->GetSize();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetBytesProcessed(bytes);
    state.counters["wall_ms"] = benchmark::Counter(wall * 1000, benchmark::Counter::kAvgIterations);
    state.counters["peak_rss_mb"] = peakRssMb(RUSAGE_SELF);
}

// The XML parser's constructor takes its flags; give both parsers one shape.
struct FictionBookParser : LVXMLParser {
    FictionBookParser(const StreamHandle& s, LVXMLParserCallback* cb) : LVXMLParser(s, cb, false, true) {}
};

void BM_ParseFictionBook(benchmark::State& state) {
    parseFile<FictionBookParser>(state, fictionBookFile());
}

void BM_ParseHtml(benchmark::State& state) { parseFile<LVHTMLParser>(state, htmlFile()); }

void BM_BuildFictionBook(benchmark::State& state) {
    buildFile<FictionBookParser, ldomDocumentWriter>(state, fictionBookFile());
}

void BM_BuildHtml(benchmark::State& state) {
    buildFile<LVHTMLParser, ldomDocumentWriterFilter>(state, htmlFile());
}

void runXmllint(benchmark::State& state, const TempFile& file, bool html) {
    if (file.path.empty()) {
        state.SkipWithError("cannot write the generated book");
        return;
    }
    if (system("xmllint --version >/dev/null 2>&1") != 0) {
        state.SkipWithError("xmllint is not installed (Debian package libxml2-utils)");
        return;
    }
    const std::string command = std::string("xmllint --noout ") + (html ? "--html " : "") +
                                "'" + file.path + "' 2>/dev/null";
    int64_t bytes = 0;
    double wall = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = cpuSeconds(RUSAGE_CHILDREN);
        const int rc = system(command.c_str());
        const double cpu = cpuSeconds(RUSAGE_CHILDREN) - cpuStart;
        const auto end = std::chrono::steady_clock::now();
        // In HTML mode xmllint reports recoverable errors with a status of
        // its own; an XML book must parse without any.
        if (rc == -1 || !WIFEXITED(rc) || WEXITSTATUS(rc) == 127 ||
            (!html && WEXITSTATUS(rc) != 0)) {
            state.SkipWithError("xmllint failed on the generated book");
            return;
        }
        // CPU time, as the parser's own figure is, so that other load on the
        // machine does not decide the comparison.
        state.SetIterationTime(cpu);
        wall += std::chrono::duration<double>(end - start).count();
        bytes += file.size;
    }
    state.SetBytesProcessed(bytes);
    state.counters["wall_ms"] = benchmark::Counter(wall * 1000, benchmark::Counter::kAvgIterations);
    state.counters["peak_rss_mb"] = peakRssMb(RUSAGE_CHILDREN);
}

void BM_XmllintFictionBook(benchmark::State& state) { runXmllint(state, fictionBookFile(), false); }
void BM_XmllintHtml(benchmark::State& state) { runXmllint(state, htmlFile(), true); }

BENCHMARK(BM_ParseFictionBook)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_XmllintFictionBook)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_ParseHtml)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BuildFictionBook)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BuildHtml)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_XmllintHtml)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

}  // namespace
