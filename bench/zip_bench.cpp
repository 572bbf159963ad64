// ZIP reading: sequential inflate of a 50 MB entry beside "unzip -p" of the
// same entry in the same run, and the directory of a 10,000-entry archive
// beside "unzip -Z1". The archives are written once into a temporary folder
// with zlib and removed at exit.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "streams/container.h"
#include "streams/filestream.h"
#include "streams/stream.h"

namespace {

constexpr size_t kBigEntrySize = 50u << 20;
constexpr int kManyEntries = 10000;

void put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

std::string deflateRaw(const std::string& data) {
    z_stream zs{};
    deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, data.size()), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

struct Entry {
    std::string name;
    std::string data;
    bool deflated;
};

// A plain ZIP archive: local headers with their data, the central directory
// and the end record.
std::string zipArchive(const std::vector<Entry>& entries) {
    std::string out, central;
    for (const Entry& e : entries) {
        std::string packed = e.deflated ? deflateRaw(e.data) : e.data;
        uint32_t crc = static_cast<uint32_t>(
            crc32(0L, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
        uint32_t method = e.deflated ? 8 : 0;
        uint32_t offset = static_cast<uint32_t>(out.size());
        put32(out, 0x04034b50);
        put16(out, 20);
        put16(out, 0);
        put16(out, method);
        put32(out, 0);
        put32(out, crc);
        put32(out, static_cast<uint32_t>(packed.size()));
        put32(out, static_cast<uint32_t>(e.data.size()));
        put16(out, static_cast<uint32_t>(e.name.size()));
        put16(out, 0);
        out += e.name + packed;

        put32(central, 0x02014b50);
        put16(central, 0x0314);
        put16(central, 20);
        put16(central, 0);
        put16(central, method);
        put32(central, 0);
        put32(central, crc);
        put32(central, static_cast<uint32_t>(packed.size()));
        put32(central, static_cast<uint32_t>(e.data.size()));
        put16(central, static_cast<uint32_t>(e.name.size()));
        put32(central, 0);  // extra and comment lengths
        put32(central, 0);  // disk and internal attributes
        put32(central, 0x81A40000);
        put32(central, offset);
        central += e.name;
    }
    uint32_t centralOffset = static_cast<uint32_t>(out.size());
    out += central;
    put32(out, 0x06054b50);
    put32(out, 0);
    put16(out, entries.size() > 0xFFFF ? 0xFFFF : static_cast<uint32_t>(entries.size()));
    put16(out, entries.size() > 0xFFFF ? 0xFFFF : static_cast<uint32_t>(entries.size()));
    put32(out, static_cast<uint32_t>(central.size()));
    put32(out, centralOffset);
    put16(out, 0);
    return out;
}

// Text that compresses about as well as a book does.
std::string bookText(size_t size) {
    static const char* words[] = {"the ",    "reader ", "opened ", "a ",      "chapter ",
                                  "and ",    "found ",  "that ",   "every ",  "page ",
                                  "held ",   "more ",   "words ",  "than ",   "before, ",
                                  "while ",  "night ",  "fell. ",  "She ",    "turned "};
    std::string s;
    s.reserve(size);
    uint32_t x = 12345;
    while (s.size() < size) {
        x = x * 1103515245u + 12345u;
        s += words[(x >> 16) % 20];
        if ((x >> 8) % 13 == 0) s += "\n";
        if ((x >> 4) % 97 == 0) s += std::to_string(x % 10000) + " ";
    }
    s.resize(size);
    return s;
}

class Archives {
public:
    static Archives& get() {
        static Archives archives;
        return archives;
    }
    const std::string& big() const { return big_; }
    const std::string& many() const { return many_; }
    bool ok() const { return ok_; }

private:
    Archives() {
        char tmpl[] = "/tmp/vellumo-zipbench-XXXXXX";
        if (!mkdtemp(tmpl)) return;
        folder_ = tmpl;
        big_ = folder_ + "/big.zip";
        many_ = folder_ + "/many.zip";
        std::vector<Entry> many;
        for (int i = 0; i < kManyEntries; ++i) {
            many.push_back({"OEBPS/text/part" + std::to_string(i) + ".xhtml",
                            "<p>" + std::to_string(i) + "</p>", false});
        }
        ok_ = write(big_, zipArchive({{"book.txt", bookText(kBigEntrySize), true}})) &&
              write(many_, zipArchive(many));
    }
    ~Archives() {
        if (folder_.empty()) return;
        unlink(big_.c_str());
        unlink(many_.c_str());
        rmdir(folder_.c_str());
    }
    static bool write(const std::string& path, const std::string& bytes) {
        FILE* f = fopen(path.c_str(), "wb");
        if (!f) return false;
        bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        return fclose(f) == 0 && ok;
    }

    std::string folder_, big_, many_;
    bool ok_ = false;
};

void inflateEntry(benchmark::State& state, lvsize_t chunk) {
    Archives& a = Archives::get();
    if (!a.ok()) return state.SkipWithError("cannot write the archives");
    std::vector<char> buf(chunk);
    for (auto _ : state) {
        ContainerHandle arc = openArchive(openFileStream(localToWide(a.big().c_str()), OpenModeRead));
        StreamHandle s = arc ? arc->OpenStream(LVString16("book.txt"), OpenModeRead) : nullptr;
        if (!s) return state.SkipWithError("cannot open the entry");
        size_t total = 0;
        lvsize_t got = 0;
        while (s->Read(buf.data(), chunk, &got) == ResultOk && got > 0) total += got;
        if (total != kBigEntrySize) return state.SkipWithError("short read");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBigEntrySize);
}

void BM_ZipInflate50MB(benchmark::State& state) {
    inflateEntry(state, static_cast<lvsize_t>(state.range(0)));
}
BENCHMARK(BM_ZipInflate50MB)->Arg(65536)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same entry through the system's unzip, as the yardstick.
void BM_UnzipPipe50MB(benchmark::State& state) {
    Archives& a = Archives::get();
    if (!a.ok()) return state.SkipWithError("cannot write the archives");
    std::string command = "unzip -p '" + a.big() + "' book.txt > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) return state.SkipWithError("unzip failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBigEntrySize);
}
BENCHMARK(BM_UnzipPipe50MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ZipDirectory10000(benchmark::State& state) {
    Archives& a = Archives::get();
    if (!a.ok()) return state.SkipWithError("cannot write the archives");
    for (auto _ : state) {
        ContainerHandle arc = openArchive(openFileStream(localToWide(a.many().c_str()), OpenModeRead));
        if (!arc || arc->GetObjectCount() != kManyEntries) return state.SkipWithError("bad listing");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kManyEntries);
}
BENCHMARK(BM_ZipDirectory10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UnzipList10000(benchmark::State& state) {
    Archives& a = Archives::get();
    if (!a.ok()) return state.SkipWithError("cannot write the archives");
    std::string command = "unzip -Z1 '" + a.many() + "' > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) return state.SkipWithError("unzip failed");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kManyEntries);
}
BENCHMARK(BM_UnzipList10000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
