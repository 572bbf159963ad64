// Whole-book loading from memory through LVDocView, every branch of the
// detection order: Palm databases, ZIP archives and their entry choice,
// FictionBook, HTML, bookmark lists and plain text. A loaded document's tree
// is walked to its text, as Copy and the text dump would.
#include <cstddef>
#include <cstdint>

#include "dom/treedump.h"
#include "streams/memstream.h"
#include "view/lvdocview.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 22)) return 0;
    MemoryStreamHandle stream = createMemoryStream(data, static_cast<lvsize_t>(size), true, OpenModeRead);
    if (!stream) return 0;
    LVDocViewHandle view(new LVDocView());
    view->getDocProps()->setString("doc.file.name", "fuzz.azw");
    view->LoadDocument(StreamHandle(stream));
    if (ldomDocument* doc = view->getDocument()) {
        LVString16 text = dumpDocumentText(doc);
        (void)text;
    }
    return 0;
}
