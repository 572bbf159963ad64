// File stream throughput: sequential reads in blocks and byte by byte, and
// the whole-file CRC-32 every book load computes.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "streams/filestream.h"
#include "streams/stream.h"

namespace {

// A scratch file of the given size, created once per size and removed at exit.
const std::string& scratchFile(size_t size) {
    static std::vector<std::pair<size_t, std::string>> files;
    for (auto& f : files)
        if (f.first == size) return f.second;
    char tmpl[] = "/tmp/vellumo-bench-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) abort();
    std::vector<char> block(1 << 16);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
    for (size_t done = 0; done < size;) {
        size_t n = std::min(block.size(), size - done);
        if (write(fd, block.data(), n) != static_cast<ssize_t>(n)) abort();
        done += n;
    }
    close(fd);
    files.emplace_back(size, tmpl);
    static struct Cleanup {
        ~Cleanup() {
            for (auto& f : files) unlink(f.second.c_str());
        }
    } cleanup;
    return files.back().second;
}

void BM_FileSequentialRead(benchmark::State& state) {
    const size_t size = 64 << 20;
    const lvsize_t block = static_cast<lvsize_t>(state.range(0));
    LVString16 path = localToWide(scratchFile(size).c_str());
    std::vector<char> buf(block);
    for (auto _ : state) {
        StreamHandle s = openFileStream(path, OpenModeRead);
        lvsize_t got = 0;
        size_t total = 0;
        while (s->Read(buf.data(), block, &got) == ResultOk && got > 0) total += got;
        if (total != size) state.SkipWithError("short read");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}
BENCHMARK(BM_FileSequentialRead)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);

// Each ReadByte is one system call on an unbuffered file stream.
void BM_FileReadByte(benchmark::State& state) {
    const size_t size = 1 << 20;
    LVString16 path = localToWide(scratchFile(size).c_str());
    for (auto _ : state) {
        StreamHandle s = openFileStream(path, OpenModeRead);
        size_t total = 0;
        while (s->ReadByte() >= 0) ++total;
        if (total != size) state.SkipWithError("short read");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}
BENCHMARK(BM_FileReadByte)->Unit(benchmark::kMillisecond);

void BM_FileCrc32(benchmark::State& state) {
    const size_t size = 50 << 20;
    LVString16 path = localToWide(scratchFile(size).c_str());
    for (auto _ : state) {
        StreamHandle s = openFileStream(path, OpenModeRead);
        uint32_t crc = 0;
        if (s->GetCrc32(&crc) != ResultOk) state.SkipWithError("crc failed");
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}
BENCHMARK(BM_FileCrc32)->Unit(benchmark::kMillisecond);

}  // namespace
