#include "formats/pdbimport.h"

#include <cstring>

#include "dom/ldomdocument.h"
#include "dom/writer.h"
#include "formats/textparser.h"
#include "formats/xmlparser.h"
#include "foundation/log.h"

PDBKind pdbKindOf(const StreamHandle& stream) {
    if (!stream || stream->Seek(0, SeekFromStart, nullptr) != ResultOk) return PDBKindNone;
    uint8_t header[80];
    lvsize_t got = 0, done = 0;
    while (done < sizeof header &&
           stream->Read(header + done, static_cast<lvsize_t>(sizeof header - done), &got) ==
               ResultOk &&
           got > 0)
        done += got;
    stream->Seek(0, SeekFromStart, nullptr);
    if (done < sizeof header) return PDBKindNone;
    static const struct {
        const char* typeCreator;
        PDBKind kind;
    } kinds[] = {{"TEXtREAd", PDBKindPalmDoc},
                 {"PNRdPPrs", PDBKindEReader},
                 {"DataPlkr", PDBKindPlucker},
                 {"BOOKMOBI", PDBKindMobipocket}};
    for (const auto& k : kinds)
        if (std::memcmp(header + 60, k.typeCreator, 8) == 0) return k.kind;
    return PDBKindNone;
}

bool pdbDetect(const StreamHandle& stream, int& contentFormat) {
    contentFormat = PDBContentUnknown;
    if (!stream) return false;
    PDBFileHandle file(new PDBFile());
    int format = 0;
    bool ok = file->open(stream, nullptr, false, format);
    stream->Seek(0, SeekFromStart, nullptr);
    return ok;
}

bool pdbOpen(StreamHandle& stream, PDBFileHandle& file, PDBContainerHandle& container,
             int& contentFormat) {
    contentFormat = PDBContentUnknown;
    if (!stream) return false;
    PDBFileHandle f(new PDBFile());
    PDBContainerHandle c(new LVPDBContainer());
    int format = 0;
    if (!f->open(stream, c.get(), true, format)) {
        stream->Seek(0, SeekFromStart, nullptr);
        return false;
    }
    c->SetName(stream->GetName());
    c->setStream(StreamHandle(f));
    stream = StreamHandle(f);
    file = f;
    container = c;
    contentFormat = format;
    return true;
}

namespace {

// The plain-text branch: PML and plain text, and HTML-looking text that the
// HTML format check refused. A Mobipocket book's header charset wins over
// the detection the format check runs.
bool importAsText(const StreamHandle& text, const PDBFile& file, ldomDocument* doc,
                  LVParserProgressListener* progress) {
    ldomDocumentWriter writer(doc);
    LVTextParser parser(text, &writer, false);
    parser.setProgressCallback(progress);
    if (!parser.CheckFormat()) return false;
    if (!file.textCharset().empty()) parser.SetCharset(file.textCharset().c_str());
    return parser.Parse();
}

}  // namespace

bool pdbImport(StreamHandle& stream, ldomDocument* doc, LVParserProgressListener* progress,
               ContainerHandle& container, int& contentFormat) {
    contentFormat = PDBContentUnknown;
    if (!doc) return false;
    StreamHandle text = stream;
    PDBFileHandle file;
    PDBContainerHandle images;
    int format = 0;
    if (!pdbOpen(text, file, images, format)) return false;
    stream = text;
    container = ContainerHandle(images);
    contentFormat = format;
    doc->getProps()->merge(*file->props());

    bool parsed = false;
    bool done = false;
    if (format == PDBContentHtml) {
        ldomDocumentWriterFilter writer(doc);
        LVHTMLParser parser(text, &writer);
        parser.setProgressCallback(progress);
        if (!file->textCharset().empty()) parser.SetCharset(file->textCharset().c_str());
        if (parser.CheckFormat()) {
            parsed = parser.Parse();
            done = true;
        } else {
            // One stray tag in a text book makes it look like HTML; the text
            // importer reads it rather than refusing the book.
            LOG_DEBUG("PDB: content sniffed as HTML is not HTML; importing it as text");
        }
    }
    if (!done) parsed = importAsText(text, *file, doc, progress);
    // The book's own metadata wins over what the text said about itself (a
    // KF8 book's HTML head names its table of contents as the title).
    doc->getProps()->merge(*file->props());
    return parsed;
}
