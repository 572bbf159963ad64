// The XML and HTML parsers over arbitrary bytes: format checks, parsing with
// the text flags chosen by the first byte, a preset charset chosen by the
// second (every decoder, the multi-byte ones included), random-access
// decoding, and the event printer's escaping.
#include <cstddef>
#include <cstdint>

#include "dom/ldomdocument.h"
#include "dom/treedump.h"
#include "dom/writer.h"
#include "formats/eventlog.h"
#include "formats/xmlparser.h"
#include "streams/memstream.h"

namespace {

const uint32_t kFlagSets[] = {
    0,
    TEXT_TRIM,
    TEXT_PRE,
    TEXT_TRIM | TEXT_TRIM_ALLOW_START_SPACE | TEXT_TRIM_ALLOW_END_SPACE,
    TEXT_TRIM | TEXT_TRIM_REMOVE_EOL_HYPHENS,
    TEXT_PRE | TEXT_TRIM | TEXT_PRE_PARA_SPLITTING,
    TEXT_ENTITIES_IN_CODEPAGE,
    TEXT_PRE | TEXT_ENTITIES_IN_CODEPAGE,
};

const char* const kCharsets[] = {
    "utf-8",  "windows-1251", "koi8-r", "utf-16le", "utf-16be", "utf-32le", "utf-32be",
    "gbk",    "shift_jis",    "euc-jp", "big5",     "euc-kr",   "cp1252",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    StreamHandle stream(createMemoryStream(data, static_cast<lvsize_t>(size), false).get());
    if (!stream) return 0;
    const uint8_t b0 = size > 0 ? data[0] : 0;
    const uint8_t b1 = size > 1 ? data[1] : 0;

    LVCountingCallback counter;
    counter.flags = kFlagSets[b0 % (sizeof kFlagSets / sizeof kFlagSets[0])];
    {
        LVXMLParser parser(stream, &counter, true, false);
        if (parser.CheckFormat()) parser.Parse();
    }
    {
        LVHTMLParser parser(stream, &counter);
        parser.CheckFormat();
        parser.Parse();
    }
    {
        // Into document trees, as the loader builds them.
        Ref<ldomDocument> doc = ldomDocument::create();
        if (doc) {
            {
                ldomDocumentWriterFilter filter(doc.get());
                LVHTMLParser parser(stream, &filter);
                parser.Parse();
            }
            dumpTreeXml(doc->getRootNode(), true);
        }
        Ref<ldomDocument> doc2 = ldomDocument::create();
        if (doc2) {
            ldomDocumentWriter writer(doc2.get());
            LVXMLParser parser(stream, &writer, true, false);
            parser.Parse();
        }
    }
    {
        // Parsing without a check, in a preset charset, through the printer.
        LVEventLog log;
        log.setBaseFlags(counter.flags);
        log.setPreformattedElement(u"pre");
        LVXMLParser parser(stream, &log, true, false);
        parser.SetCharset(kCharsets[b1 % (sizeof kCharsets / sizeof kCharsets[0])]);
        parser.Parse();
        lvchar16 buf[256];
        const int64_t pos = size > 2 ? data[2] % (size + 1) : 0;
        parser.ReadTextBytes(pos, static_cast<int64_t>(size) - pos + 3, buf, 256, 0);
    }
    return 0;
}
