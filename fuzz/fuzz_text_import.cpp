// Plain-text import and bookmark lists over arbitrary bytes: the format
// checks, the text import (layout detection, every import mode, the
// description, PML) into a document tree, the same with the preformatted
// setting into a counter, the bookmark-list reader, and the PML commands
// straight from the bytes.
#include <cstddef>
#include <cstdint>

#include "dom/ldomdocument.h"
#include "dom/writer.h"
#include "formats/bookmarkparser.h"
#include "formats/eventlog.h"
#include "formats/pmlimport.h"
#include "formats/textparser.h"
#include "streams/memstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    StreamHandle stream(createMemoryStream(data, static_cast<lvsize_t>(size), false).get());
    if (!stream) return 0;
    {
        // Parsed even when the check fails: Parse must cope with any bytes.
        Ref<ldomDocument> doc = ldomDocument::create();
        ldomDocumentWriter writer(doc.get());
        LVTextParser parser(stream, &writer, false);
        parser.CheckFormat();
        parser.Parse();
    }
    {
        LVCountingCallback counter;
        LVTextParser parser(stream, &counter, true);
        parser.SetCharset(size > 0 && (data[0] & 1) ? "utf-16le" : "cp1251");
        parser.Parse();
    }
    {
        LVCountingCallback counter;
        LVTextBookmarkParser parser(stream, &counter);
        parser.CheckFormat();
        parser.Parse();
    }
    {
        // The bytes as windows-1252 lines of PML.
        LVCountingCallback counter;
        LVPmlImport pml(&counter);
        std::u16string line;
        for (size_t i = 0; i <= size; ++i) {
            if (i == size || data[i] == '\n') {
                pml.addLine(line.c_str(), static_cast<int32_t>(line.size()));
                line.clear();
            } else {
                line += static_cast<char16_t>(data[i]);
            }
        }
        pml.finish();
    }
    return 0;
}
