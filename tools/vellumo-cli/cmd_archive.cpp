// Commands over ZIP archives: listing the entries and printing one of them.
#include <cstdio>
#include <memory>

#include "commands.h"
#include "foundation/lvstring.h"
#include "streams/container.h"
#include "streams/filestream.h"
#include "streams/stream.h"

namespace cli {
namespace {

ContainerHandle openArchiveFile(const std::string& path) {
    StreamHandle stream = openFileStream(localToWide(path.c_str()), OpenModeRead);
    if (!stream) {
        fprintf(stderr, "vellumo-cli: cannot open %s\n", path.c_str());
        return nullptr;
    }
    ContainerHandle archive = openArchive(stream);
    if (!archive) fprintf(stderr, "vellumo-cli: not a readable archive: %s\n", path.c_str());
    return archive;
}

int cmdLs(const Args& args) {
    ContainerHandle archive = openArchiveFile(args[0]);
    if (!archive) return kExitLoad;
    for (int32_t i = 0; i < archive->GetObjectCount(); ++i) {
        LVString8 name = wideToLocal(archive->GetObjectInfo(i)->GetName());
        fwrite(name.c_str(), 1, static_cast<size_t>(name.length()), stdout);
        fputc('\n', stdout);
    }
    return fflush(stdout) == 0 ? kExitOk : kExitLoad;
}

int cmdCat(const Args& args) {
    ContainerHandle archive = openArchiveFile(args[0]);
    if (!archive) return kExitLoad;
    StreamHandle entry = archive->OpenStream(localToWide(args[1].c_str()), OpenModeRead);
    if (!entry) {
        fprintf(stderr, "vellumo-cli: cannot open entry %s\n", args[1].c_str());
        return kExitLoad;
    }
    const lvsize_t kChunk = 65536;
    std::unique_ptr<char[]> buffer(new char[kChunk]);
    for (;;) {
        lvsize_t got = 0;
        if (entry->Read(buffer.get(), kChunk, &got) != ResultOk) {
            fprintf(stderr, "vellumo-cli: cannot read entry %s\n", args[1].c_str());
            return kExitLoad;
        }
        if (got == 0) break;
        if (fwrite(buffer.get(), 1, got, stdout) != got) return kExitLoad;
    }
    return fflush(stdout) == 0 ? kExitOk : kExitLoad;
}

const CommandRegistration kLs({"ls", "ls ARCHIVE", "list the entries of a ZIP archive, one per line",
                               1, 1, cmdLs});
const CommandRegistration kCat({"cat", "cat ARCHIVE ENTRY",
                                "write the bytes of an archive entry to standard output", 2, 2,
                                cmdCat});

}  // namespace
}  // namespace cli
