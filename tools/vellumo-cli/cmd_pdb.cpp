// Commands over Palm database books (PalmDOC, eReader, Mobipocket) below
// the loader: the decoded text records as they are.
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "formats/pdbimport.h"
#include "foundation/lvstring.h"
#include "streams/filestream.h"
#include "streams/stream.h"

namespace cli {
namespace {

constexpr const char* kPdbError = "ERROR: Error reading PDB format";

// Opens and fully reads a PDB book; prints the reason and returns false when
// it cannot be loaded.
bool loadPdb(const std::string& path, PDBFileHandle& file, PDBContainerHandle& container) {
    StreamHandle stream = openFileStream(localToWide(path.c_str()), OpenModeRead);
    if (!stream) {
        fprintf(stderr, "vellumo-cli: cannot open %s\n", path.c_str());
        return false;
    }
    int format = 0;
    if (!pdbOpen(stream, file, container, format)) {
        fprintf(stderr, "%s\n", kPdbError);
        return false;
    }
    return true;
}

int cmdPdbText(const Args& args) {
    PDBFileHandle file;
    PDBContainerHandle container;
    if (!loadPdb(args[0], file, container)) return kExitLoad;
    const lvsize_t kChunk = 65536;
    std::unique_ptr<char[]> buffer(new char[kChunk]);
    for (;;) {
        lvsize_t got = 0;
        if (file->Read(buffer.get(), kChunk, &got) != ResultOk) {
            fprintf(stderr, "vellumo-cli: cannot decode the text of %s\n", args[0].c_str());
            return kExitLoad;
        }
        if (got == 0) break;
        if (fwrite(buffer.get(), 1, got, stdout) != got) return kExitLoad;
    }
    return fflush(stdout) == 0 ? kExitOk : kExitLoad;
}

const CommandRegistration kPdbText({"pdbtext", "pdbtext FILE",
                                    "write the decoded text records of a PDB/MOBI book to "
                                    "standard output",
                                    1, 1, cmdPdbText});
}  // namespace
}  // namespace cli
