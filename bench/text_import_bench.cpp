// Plain-text import of generated text files of 5 and 50 MB: the time, and
// the peak resident memory of the import, which must not grow with the file.
//
// The importer feeds a counting callback that builds nothing, so both
// figures are the importer's own (format check, decoding, line reading,
// layout detection, paragraph assembly), not the document tree's. Two
// layouts: indented paragraphs of short lines with chapter headings, and
// long lines separated by blank lines as converters write them. The files
// are written once into a temporary folder and removed at exit.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "formats/eventlog.h"
#include "formats/textparser.h"
#include "streams/filestream.h"

namespace {

enum Layout { Indented = 0, LongLines = 1 };

const char* const kSentences[] = {
    "It was the best of times, it was the worst of times, it was the age of wisdom,",
    "it was the age of foolishness, it was the epoch of belief, it was the epoch of",
    "incredulity, it was the season of Light, it was the season of Darkness, it was",
    "the spring of hope, it was the winter of despair, we had everything before us,",
    "we had nothing before us, we were all going direct to Heaven, we were all going",
    "direct the other way; in short, the period was so far like the present period.",
};

std::string paragraph(Layout layout, int n) {
    std::string p;
    const int lines = 3 + n % 4;
    for (int i = 0; i < lines; ++i) {
        const char* s = kSentences[(n + i) % 6];
        if (layout == Indented) {
            p += i == 0 ? "  " : "";
            p += s;
            p += '\n';
        } else {
            p += s;
            p += ' ';
        }
    }
    if (layout == LongLines) p += "\n\n";
    return p;
}

// Files by layout and size in MB, written on first use.
class Files {
public:
    ~Files() {
        for (auto& f : paths_) std::remove(f.second.c_str());
    }
    const std::string& get(Layout layout, int mb) {
        std::string& path = paths_[{layout, mb}];
        if (!path.empty()) return path;
        const char* tmp = getenv("TMPDIR");
        path = std::string(tmp ? tmp : "/tmp") + "/vellumo_text_bench_" + std::to_string(getpid()) +
               "_" + std::to_string(layout) + "_" + std::to_string(mb) + ".txt";
        std::ofstream out(path, std::ios::binary);
        const size_t size = static_cast<size_t>(mb) << 20;
        size_t written = 0;
        for (int n = 0; written < size; ++n) {
            std::string chunk;
            if (n % 40 == 0) {
                chunk = layout == Indented ? "\n                              CHAPTER " +
                                                 std::to_string(n / 40 + 1) + "\n\n"
                                           : "CHAPTER " + std::to_string(n / 40 + 1) + "\n\n\n";
            }
            chunk += paragraph(layout, n);
            out << chunk;
            written += chunk.size();
        }
        return path;
    }

private:
    std::map<std::pair<int, int>, std::string> paths_;
};

Files& files() {
    static Files f;
    return f;
}

// Resets the process's peak resident size to the current one (Linux 4.0 and
// later); false when the kernel does not allow it.
bool resetPeakRss() {
    FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    const bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

// A field of /proc/self/status in kB.
long statusKb(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long value = -1;
    const size_t n = std::char_traits<char>::length(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0) value = std::strtol(line + n, nullptr, 10);
    std::fclose(f);
    return value;
}

void BM_TextImport(benchmark::State& state) {
    const Layout layout = static_cast<Layout>(state.range(0));
    const int mb = static_cast<int>(state.range(1));
    const std::string& path = files().get(layout, mb);
    uint64_t paragraphs = 0, chars = 0;
    long before = 0, peak = 0;
    const bool resettable = resetPeakRss();
    for (auto _ : state) {
        state.PauseTiming();
        if (resettable) resetPeakRss();
        before = statusKb("VmRSS:");
        state.ResumeTiming();
        StreamHandle stream = openFileStream(LVString16(path.c_str()), OpenModeRead);
        LVCountingCallback counter;
        LVTextParser parser(stream, &counter, false);
        if (!parser.CheckFormat() || !parser.Parse()) state.SkipWithError("import failed");
        paragraphs = counter.tags;
        chars = counter.chars;
        state.PauseTiming();
        peak = resettable ? statusKb("VmHWM:") : 0;
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (int64_t(mb) << 20));
    state.counters["elements"] = static_cast<double>(paragraphs);
    state.counters["chars"] = static_cast<double>(chars);
    // Resident memory the import added on top of what the process held
    // before it (kB): the same for 5 and 50 MB when memory is bounded.
    if (resettable) {
        state.counters["peak_rss_kB"] = static_cast<double>(peak);
        state.counters["peak_rss_growth_kB"] = static_cast<double>(peak - before);
    }
    state.SetLabel(resettable ? "counting callback" : "counting callback; peak RSS not resettable");
}

}  // namespace

BENCHMARK(BM_TextImport)
    ->ArgsProduct({{Indented, LongLines}, {5, 50}})
    ->ArgNames({"layout", "MB"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
