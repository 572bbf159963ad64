#include "dom/nodedisplay.h"

#include "dom/ldomdocument.h"
#include "dom/ldomnode.h"

uint8_t nodeDisplay(const ldomNode* node) {
    if (!node || !node->isElement()) return DisplayInline;
    uint16_t id = node->getNodeId();
    if (id == ElemHead) return DisplayNone;
    if (const ElementDefProps* props = node->getElementTypePtr())
        return props->display == DisplayInherit ? uint8_t(DisplayInline) : props->display;
    // `script` is not predefined, so its id differs from document to document.
    const ldomDocument* doc = node->getDocument();
    if (id && doc && id == doc->findElementNameIndex(constString16("script"))) return DisplayNone;
    return DisplayInline;
}

ldomNode* finalBlockOf(ldomNode* node) {
    for (ldomNode* n = node; n; n = n->getParentNode())
        if (n->isElement() && isBlockDisplay(nodeDisplay(n))) return n;
    return nullptr;
}
