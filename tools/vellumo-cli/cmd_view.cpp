// Commands that load a book through the view controller, exactly as the
// reader does: any supported file, whatever its extension, or an
// "archive@/entry" path.
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <string>
#include <vector>

#include "commands.h"
#include "dom/ldomnode.h"
#include "dom/position.h"
#include "dom/toc.h"
#include "dom/treedump.h"
#include "foundation/lvstring.h"
#include "streams/container.h"
#include "view/lvdocview.h"

namespace cli {
namespace {

// An absolute path, so that a bare file name resolves against the working
// folder.
LVString16 absoluteName(const std::string& arg) {
    if (!arg.empty() && arg[0] != '/') {
        if (char* cwd = getcwd(nullptr, 0)) {
            std::string full = std::string(cwd) + "/" + arg;
            free(cwd);
            return localToWide(full.c_str());
        }
    }
    return localToWide(arg.c_str());
}

void writeOut(const LVString8& s) { fwrite(s.c_str(), 1, static_cast<size_t>(s.length()), stdout); }

// Line breaks and backslashes in a value are written as \n, \r and \\ so
// that every property stays on one line.
LVString8 escapeValue(const LVString8& s) {
    LVString8 out;
    for (int32_t i = 0; i < s.length(); ++i) {
        char c = s[i];
        if (c == '\n')
            out.append("\\n");
        else if (c == '\r')
            out.append("\\r");
        else if (c == '\\')
            out.append("\\\\");
        else
            out.append(1, c);
    }
    return out;
}

// Loads the book; on failure prints the message page's text (or a generic
// line when there is no page) on standard error.
bool load(LVDocView& view, const std::string& arg) {
    if (view.LoadDocument(absoluteName(arg))) return true;
    if (!view.getLoadErrorMessage().empty())
        fprintf(stderr, "%s\n", encodeUtf8(view.getLoadErrorMessage()).c_str());
    else
        fprintf(stderr, "vellumo-cli: cannot open %s\n", arg.c_str());
    return false;
}

void printProps(const LVDocView& view) {
    const QLPropRef& props = view.getDocProps();
    // The container keeps its pairs sorted by name.
    for (int32_t i = 0; i < props->getCount(); ++i) {
        LVString8 line = props->getName(i);
        line.append("=");
        line.append(escapeValue(encodeUtf8(props->getValue(i))));
        line.append("\n");
        writeOut(line);
    }
}

int cmdProps(const Args& args) {
    LVDocViewHandle view(new LVDocView());
    if (!load(*view, args[0])) return kExitLoad;
    printProps(*view);
    return kExitOk;
}

int cmdItems(const Args& args) {
    LVDocViewHandle view(new LVDocView());
    if (!load(*view, args[0])) return kExitLoad;
    ContainerHandle c = view->getDocument() ? view->getDocument()->getContainer() : ContainerHandle();
    if (!c) c = view->getContainer();
    if (!c) return kExitOk;
    for (int i = 0; i < c->GetObjectCount(); ++i) {
        const LVContainerItemInfo* item = c->GetObjectInfo(i);
        if (!item) continue;
        printf("%s\t%u\n", encodeUtf8(LVString16(item->GetName())).c_str(), item->GetSize());
    }
    return kExitOk;
}

int cmdXml(const Args& args) {
    LVDocViewHandle view(new LVDocView());
    if (!load(*view, args[0])) return kExitLoad;
    writeOut(dumpTreeXml(view->getDocument()->getRootNode(), true));
    return kExitOk;
}

int cmdText(const Args& args) {
    LVDocViewHandle view(new LVDocView());
    if (!load(*view, args[0])) return kExitLoad;
    writeOut(encodeUtf8(dumpDocumentText(view->getDocument())));
    return kExitOk;
}

void printToc(ldomTocItem* item) {
    for (int i = 0; i < item->getChildCount(); ++i) {
        ldomTocItem* child = item->getChild(i);
        ldomPosition pos = child->getPosition();
        LVString16 where = pos.isNull() ? child->getPath() : pos.toString();
        printf("%d\t%s\t%s\n", child->getLevel(), encodeUtf8(child->getName()).c_str(),
               encodeUtf8(where).c_str());
        printToc(child);
    }
}

int cmdToc(const Args& args) {
    LVDocViewHandle view(new LVDocView());
    if (!load(*view, args[0])) return kExitLoad;
    if (ldomTocItem* toc = view->getDocument()->getToc()) printToc(toc);
    return kExitOk;
}

// Properties, table of contents and the first lines of the text: what the
// engine knows of a book at a glance.
int cmdShow(const Args& args) {
    long lines = 20;
    if (args.size() > 1) {
        char* end = nullptr;
        lines = strtol(args[1].c_str(), &end, 10);
        if (!end || *end || lines < 0) {
            fprintf(stderr, "usage: vellumo-cli show BOOK [LINES]\n");
            return kExitUsage;
        }
    }
    LVDocViewHandle view(new LVDocView());
    if (!load(*view, args[0])) return kExitLoad;
    printf("== properties\n");
    fflush(stdout);
    printProps(*view);
    printf("== contents\n");
    if (ldomTocItem* toc = view->getDocument()->getToc()) printToc(toc);
    printf("== text\n");
    LVString8 text = encodeUtf8(dumpDocumentText(view->getDocument()));
    int32_t pos = 0;
    for (long n = 0; n < lines && pos < text.length();) {
        int32_t nl = text.indexOf('\n', pos);
        int32_t end = nl < 0 ? text.length() : nl;
        if (end > pos) {
            writeOut(text.substr(pos, end - pos));
            printf("\n");
            ++n;
        }
        pos = end + 1;
    }
    return kExitOk;
}

const CommandRegistration kShow({"show", "show BOOK [LINES]",
                                 "print the properties, contents and first LINES (20) of text", 1,
                                 2, cmdShow});
const CommandRegistration kProps({"props", "props BOOK",
                                  "print the book's doc.* properties, name=value, sorted", 1, 1,
                                  cmdProps});
const CommandRegistration kItems({"items", "items BOOK",
                                  "print the items of the book's container, name<TAB>size", 1, 1,
                                  cmdItems});
const CommandRegistration kXml({"xml", "xml BOOK", "print the document tree as indented XML", 1,
                                1, cmdXml});
const CommandRegistration kText({"text", "text BOOK",
                                 "print the document's text, a line feed between blocks", 1, 1,
                                 cmdText});
const CommandRegistration kToc({"toc", "toc BOOK",
                                "print the table of contents: level<TAB>title<TAB>position", 1, 1,
                                cmdToc});

}  // namespace
}  // namespace cli
