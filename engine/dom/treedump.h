// Text views of a document tree, for tests and the command-line tools.
#pragma once

#include "foundation/lvstring.h"

class ldomDocument;
class ldomNode;

// The subtree of node as XML text (UTF-8): element names with their
// namespace prefixes, attributes in stored order, text. The nameless root
// element is not written, only its children. In text '&', '<' and '>' are
// escaped (and '"' in attribute values), as are control characters, U+007F
// and U+00A0 ("&#xA0;"), so the output is stable and every invisible
// character shows. With indent, each element and text node is on a line of
// its own, indented by two spaces per level, except that an element holding
// exactly one text node is written on one line; an element without children
// is written "<name/>". Without indent nothing is added between nodes.
LVString8 dumpTreeXml(const ldomNode* node, bool indent = true);

// The text of the whole document as Copy gives it: hidden elements left
// out, a line feed between blocks.
LVString16 dumpDocumentText(const ldomDocument* doc);
