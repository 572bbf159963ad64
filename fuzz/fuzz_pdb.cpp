// The Palm database reader over arbitrary bytes: database header, record
// table, record-0 headers, EXTH, image listing, trailing entries, PalmDOC and
// zlib decoding, and reading the decoded text and every image item.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/pdbdecode.h"
#include "formats/pdbimport.h"
#include "streams/memstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The decoders on their own, over the raw input.
    std::vector<uint8_t> out(pdb::palmDocCapacity(size));
    pdb::palmDocDecode(data, size, out.data(), out.size());
    if (size >= 2)
        pdb::stripTrailingEntries(data, size, static_cast<uint16_t>(data[0] << 8 | data[1]));
    std::vector<uint8_t> inflated;
    pdb::zlibDecode(data, size, inflated);

    StreamHandle stream = createMemoryStream(data, static_cast<lvsize_t>(size), false);
    if (!stream) return 0;
    int format = 0;
    pdbDetect(stream, format);
    PDBFileHandle file;
    PDBContainerHandle container;
    if (!pdbOpen(stream, file, container, format)) return 0;
    std::vector<char> buf(4093);
    lvsize_t got = 0;
    while (file->Read(buf.data(), static_cast<lvsize_t>(buf.size()), &got) == ResultOk && got > 0) {
    }
    file->SetPos(static_cast<lvpos_t>(file->GetSize() / 2));
    file->Read(buf.data(), 100, &got);
    for (int32_t i = 0; i < container->GetObjectCount(); ++i) {
        StreamHandle s =
            container->OpenStream(container->GetObjectInfo(i)->GetName(), OpenModeRead);
        if (s) s->Read(buf.data(), static_cast<lvsize_t>(buf.size()), &got);
    }
    return 0;
}
