// The ZIP reader over arbitrary bytes: open the archive, list it, read every
// entry to its end, and seek inside the entries forwards and backwards.
#include <cstddef>
#include <cstdint>

#include "streams/container.h"
#include "streams/memstream.h"

namespace {

void drain(LVStream& s, char* buf, lvsize_t chunk) {
    for (int guard = 0; guard < 100000; ++guard) {
        lvsize_t got = 0;
        if (s.Read(buf, chunk, &got) != ResultOk || got == 0) return;
        if (got > chunk) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    StreamHandle source = createMemoryStream(data, static_cast<lvsize_t>(size), false);
    if (!source) return 0;
    ContainerHandle arc = openArchive(source);
    if (!arc) return 0;
    char buf[4096];
    for (int32_t i = 0; i < arc->GetObjectCount(); ++i) {
        const LVContainerItemInfo* item = arc->GetObjectInfo(i);
        StreamHandle s = arc->OpenStream(item->GetName(), OpenModeRead);
        if (!s) continue;
        uint32_t crc = 0;
        s->GetCrc32(&crc);
        lvsize_t entrySize = s->GetSize();
        drain(*s, buf, static_cast<lvsize_t>(1 + (i * 977) % sizeof buf));
        if (static_cast<int64_t>(s->GetPos()) > static_cast<int64_t>(entrySize)) __builtin_trap();
        // Targets computed in 64 bits: a directory may claim any size.
        auto pos = [](int64_t p) {
            return static_cast<lvpos_t>(p < 0 ? 0 : p > INT32_MAX ? INT32_MAX : p);
        };
        // Back to the start, into the middle, and beyond the end.
        s->SetPos(0);
        s->SetPos(pos(entrySize / 2));
        s->Read(buf, 100, nullptr);
        s->SetPos(pos(entrySize / 3));
        s->Seek(-1, SeekFromEnd, nullptr);
        s->Seek(1, SeekFromCurrent, nullptr);
        s->SetPos(pos(static_cast<int64_t>(entrySize) + 1));
        drain(*s, buf, sizeof buf);
    }
    arc->OpenStream(LVString16("/missing"), OpenModeRead);
    return 0;
}
