// Commands over the markup parsers: the raw parser events of a FictionBook,
// XHTML or HTML file.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "commands.h"
#include "formats/eventlog.h"
#include "formats/xmlparser.h"
#include "foundation/lvstring.h"
#include "streams/filestream.h"

namespace cli {
namespace {

enum class MarkupKind { None, Xml, Html };

// The parser for a stream, chosen by content as the loader does for stream
// formats: FictionBook and XHTML through the XML parser, then HTML. The
// format checks run against a silent callback.
MarkupKind detectMarkup(const StreamHandle& stream) {
    LVCountingCallback silent;
    if (LVXMLParser(stream, &silent, true, false).CheckFormat()) return MarkupKind::Xml;
    if (LVHTMLParser(stream, &silent).CheckFormat()) return MarkupKind::Html;
    return MarkupKind::None;
}

std::unique_ptr<LVXMLParser> makeParser(MarkupKind kind, const StreamHandle& stream,
                                        LVXMLParserCallback* callback) {
    if (kind == MarkupKind::Xml) return std::make_unique<LVXMLParser>(stream, callback, true, false);
    return std::make_unique<LVHTMLParser>(stream, callback);
}

// Opens a file and finds its parser; prints the reason and returns null when
// there is none.
StreamHandle openMarkup(const std::string& path, MarkupKind& kind) {
    StreamHandle stream = openFileStream(localToWide(path.c_str()), OpenModeRead);
    if (!stream) {
        fprintf(stderr, "vellumo-cli: cannot open %s\n", path.c_str());
        return nullptr;
    }
    kind = detectMarkup(stream);
    if (kind == MarkupKind::None) {
        fprintf(stderr, "vellumo-cli: %s is not FictionBook, XHTML or HTML\n", path.c_str());
        return nullptr;
    }
    return stream;
}

int cmdEvents(const Args& args) {
    uint32_t flags = 0;
    if (args.size() > 1) {
        char* end = nullptr;
        unsigned long v = strtoul(args[1].c_str(), &end, 0);
        if (!end || *end || args[1].empty() || v > 0xFFFFFFFFul) {
            fprintf(stderr, "vellumo-cli: events: FLAGS must be a number (e.g. 0x24)\n");
            return kExitUsage;
        }
        flags = static_cast<uint32_t>(v);
    }
    MarkupKind kind = MarkupKind::None;
    StreamHandle stream = openMarkup(args[0], kind);
    if (!stream) return kExitLoad;
    static char outBuf[1 << 16];
    setvbuf(stdout, outBuf, _IOFBF, sizeof outBuf);
    LVEventLog log(stdout);
    log.setBaseFlags(flags);
    log.setPreformattedElement(u"pre");
    std::unique_ptr<LVXMLParser> parser = makeParser(kind, stream, &log);
    parser->CheckFormat();
    parser->Parse();
    fflush(stdout);
    return kExitOk;
}

const CommandRegistration kEvents(
    {"events", "events FILE [FLAGS]",
     "print the parser events of a FictionBook, XHTML or HTML file, one per line (FLAGS: the "
     "text flags the callback returns; TEXT_PRE is added inside pre)",
     1, 2, cmdEvents});

}  // namespace
}  // namespace cli
