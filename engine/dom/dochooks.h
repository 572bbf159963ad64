// Hooks a document offers to the code that styles it while it is parsed and
// to the store of its binary objects (images, fonts). The writers call them
// at fixed points; the defaults do nothing, so a document without a styler or
// blob store still builds a complete tree.
#pragma once

#include <cstdint>

#include "foundation/log.h"
#include "foundation/lvstring.h"

class ldomDocument;
class ldomNode;

// Styling while parsing. A styler that reports isActive() is asked to style
// every element as it is opened and closed; the stylesheet calls are made
// whether or not it is active, since a stylesheet found early in a book
// applies to everything after it.
class DocumentStyler {
public:
    virtual ~DocumentStyler() = default;

    // True once the document has its default style: elements are then styled
    // as they are parsed.
    virtual bool isActive() const { return false; }

    // An element carries a StyleSheet attribute naming a stylesheet: parse
    // it and push it on the document's stylesheet stack. True when a level
    // was pushed (the writer pops it when the element closes).
    virtual bool pushElementStyleSheet(ldomNode* element, const LVString16& value) {
        (void)element;
        (void)value;
        return false;
    }
    // Pushes an empty level (the level a book's own stylesheet goes into).
    virtual void pushStyleSheetLevel() {}
    // Pops the level pushed last.
    virtual void popStyleSheet() {}
    // Parses the document's own stylesheet (the linked file, or the
    // FictionBook stylesheet element) into the current level.
    virtual void applyDocumentStyleSheet(ldomDocument& doc) { (void)doc; }
    // A merged file's stylesheet text (a `stylesheet` element under a
    // DocFragment) with the base its relative references resolve against.
    virtual void registerFragmentStyleSheet(ldomNode* fragment, const LVString16& css,
                                            const LVString16& href) {
        (void)fragment;
        (void)css;
        (void)href;
    }

    // Computes the style of an element whose attributes are all known;
    // returns whether the element is a block. Only called when active.
    virtual bool initElementStyle(ldomNode* element) {
        (void)element;
        return false;
    }
    // The element and its subtree are complete: settle its render method.
    // Only called when active.
    virtual void finishElement(ldomNode* element) { (void)element; }
    // Parsing is over: style the root and finish the render context. Only
    // called when active, once per document load.
    virtual void finalizeDocument(ldomDocument& doc) { (void)doc; }
};

// Where the binary objects of a book go. Names are stored without the
// "@blob#" prefix that `src` references put in front of them.
class DocumentBlobSink {
public:
    virtual ~DocumentBlobSink() = default;
    // True when the bytes were stored.
    virtual bool addBlob(const LVString16& name, const uint8_t* data, int32_t size) {
        (void)data;
        LOG_DEBUG("blob %s (%d bytes) not stored: the document has no blob store",
                  encodeUtf8(name).c_str(), static_cast<int>(size));
        return false;
    }
};
