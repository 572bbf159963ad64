// Commands over plain files and the engine's own diagnostics.
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "foundation/log.h"
#include "foundation/lvstring.h"
#include "streams/filestream.h"
#include "streams/stream.h"

namespace cli {
namespace {

int cmdStat(const Args& args) {
    LVString16 path = localToWide(args[0].c_str());
    StreamHandle stream = openFileStream(path, OpenModeRead);
    if (!stream) {
        fprintf(stderr, "vellumo-cli: cannot open %s\n", args[0].c_str());
        return kExitLoad;
    }
    uint32_t crc = 0;
    if (stream->GetCrc32(&crc) != ResultOk) {
        fprintf(stderr, "vellumo-cli: cannot read %s\n", args[0].c_str());
        return kExitLoad;
    }
    printf("size=%u\ncrc32=%08X\n", stream->GetSize(), crc);
    return kExitOk;
}

// Ends the process through the engine's fatal-error path (for testing it).
int cmdFatal(const Args& args) {
    char* end = nullptr;
    long code = strtol(args[0].c_str(), &end, 10);
    if (!end || *end) {
        fprintf(stderr, "vellumo-cli: fatal: CODE must be a number\n");
        return kExitUsage;
    }
    fatalError(static_cast<int>(code), args[1].c_str());
}

const CommandRegistration kStat({"stat", "stat FILE",
                                 "print the file's size and CRC-32 (size=N, crc32=XXXXXXXX)", 1, 1,
                                 cmdStat});
const CommandRegistration kFatal({"fatal", nullptr, "", 2, 2, cmdFatal});

}  // namespace
}  // namespace cli
