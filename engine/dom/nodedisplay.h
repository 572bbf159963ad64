// How an element is displayed, for the code that reads text out of the tree
// (Copy, search, table-of-contents titles, text dumps) before styles exist.
//
// Until computed styles are available this is the element's default: the
// predefined element table's display, `none` for `head` and `script` (their
// content is never book text), and `inline` for elements the table does not
// know (the CSS initial value). Everything that asks "is this a block" or
// "is this shown" goes through here, so that computed styles can take over
// in one place.
#pragma once

#include <cstdint>

#include "dom/nametables.h"

class ldomNode;

// ElementDisplay of an element; DisplayInline for text and null nodes.
uint8_t nodeDisplay(const ldomNode* node);

// Not displayed at all (display none).
inline bool isHiddenDisplay(uint8_t display) { return display == DisplayNone; }
// Starts and ends a block of text: anything displayed that is not inline.
inline bool isBlockDisplay(uint8_t display) {
    return display != DisplayInline && display != DisplayInherit && display != DisplayNone;
}

// The nearest element at or above node that holds paragraph-level text: the
// closest ancestor with a block display. Null when there is none.
ldomNode* finalBlockOf(ldomNode* node);
