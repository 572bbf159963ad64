// Positions in the document tree.
//
// An ldomPosition names a node by its handle in reference form (so it stays
// valid when the node switches between mutable and persistent form) plus an
// offset: a character index into a text node's text, a child index of an
// element, or -1 for the node itself.
//
// String form: from the root down, "/" + element name, with "[n]" when the
// parent has two or more child elements of that name, or "/text()", with
// "[n]" when the parent has two or more text children; then "." + offset
// when the offset is 0 or more:
//     /FictionBook/body/section[2]/p[3]/text().15
// The root element contributes nothing; a position on the root itself is
// written "/" (and "/.3" with an offset). positionFromString also reads the
// always-bracketed form of table-of-contents paths (/FictionBook[1]/body[1]),
// "/n" steps (the n-th child of any kind, from 1) and "#id".
//
// Positions compare in document order through their paths of child indexes:
// a position before its own element's descendants is before them, and a
// child-index position on an element lies between the children around it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dom/nodehandle.h"
#include "foundation/lvstring.h"

class ldomDocument;
class ldomNode;

class ldomPosition {
public:
    ldomPosition() = default;
    // A null node gives the null position.
    explicit ldomPosition(const ldomNode* node, int32_t offset = -1);

    bool isNull() const { return ref_ == 0 || !doc_; }
    ldomDocument* getDocument() const { return doc_; }
    // The node, or null when the position is null or its node is gone.
    ldomNode* getNode() const;
    NodeHandle getRef() const { return ref_; }
    int32_t getOffset() const { return offset_; }
    void setOffset(int32_t offset) { offset_ = offset; }

    // The string form; empty for a null position.
    LVString16 toString() const;
    // Child indexes from the root down to the node (empty for the root);
    // false when the node is gone or not attached under the root.
    bool getIndexPath(std::vector<int32_t>& path) const;
    // -1, 0 or 1 by document order. Null positions come first; positions in
    // different documents compare by their handles (an arbitrary but fixed
    // order).
    int compare(const ldomPosition& other) const;

    bool operator==(const ldomPosition& o) const {
        return doc_ == o.doc_ && ref_ == o.ref_ && offset_ == o.offset_;
    }
    bool operator!=(const ldomPosition& o) const { return !(*this == o); }

private:
    ldomDocument* doc_ = nullptr;
    NodeHandle ref_ = 0;
    int32_t offset_ = -1;
};

// Reads a string form (see above); the null position when the string does
// not resolve. Numbers must be decimal, without sign, and fit in 31 bits;
// "[n]" and "/n" count from 1. An offset must end the string and may not
// exceed the text length (text node) or the child count (element).
ldomPosition positionFromString(ldomDocument* doc, const LVString16& text);

// Document order of (path a, offset a) and (path b, offset b); see the
// header comment. -1, 0 or 1.
int compareIndexPaths(const int32_t* a, size_t aLength, int32_t aOffset, const int32_t* b,
                      size_t bLength, int32_t bOffset);

// A position that also carries its path of child indexes from the root, so
// that it compares without walking the tree and walks without searching a
// parent's child list. The path grows as deep as the tree.
class ldomIndexedPointer {
public:
    ldomIndexedPointer() = default;
    explicit ldomIndexedPointer(const ldomPosition& position);
    ldomIndexedPointer(const ldomNode* node, int32_t offset);

    bool isNull() const { return !node_; }
    ldomNode* getNode() const { return node_; }
    int32_t getOffset() const { return offset_; }
    void setOffset(int32_t offset) { offset_ = offset; }
    ldomPosition position() const { return ldomPosition(node_, offset_); }
    const std::vector<int32_t>& path() const { return path_; }
    // Depth of the node: 0 for the root.
    int level() const { return static_cast<int>(path_.size()); }

    int compare(const ldomIndexedPointer& other) const;
    bool operator==(const ldomIndexedPointer& o) const { return compare(o) == 0; }
    bool operator<(const ldomIndexedPointer& o) const { return compare(o) < 0; }

    // Walks. Each returns false and leaves the pointer unchanged when there
    // is nowhere to go. Node walks set the offset to -1; the text walks set
    // it to 0.
    bool parent();
    bool child(int index);
    bool firstChild();
    bool lastChild();
    bool nextSibling();
    bool prevSibling();
    // The next node in document order (first child, else the next sibling of
    // the node or of its nearest ancestor that has one). skipChildren passes
    // over the node's subtree; the walk never climbs out of stop (when given).
    bool nextNode(bool skipChildren = false, const ldomNode* stop = nullptr);
    // The previous node in document order: the deepest last node inside the
    // previous sibling, else the parent.
    bool prevNode();
    // The previous element in document order: the deepest last element
    // inside the previous sibling, or else the parent (text nodes are
    // passed over).
    bool prevElement();
    // The next / previous text node in document order. With thisBlockOnly
    // the text must lie in the same final block (finalBlockOf) as the
    // current node.
    bool nextText(bool thisBlockOnly = false);
    bool prevText(bool thisBlockOnly = false);
    // The level of the nearest element at or above the node with name id
    // elementId; -1 when there is none.
    int ancestorLevel(uint16_t elementId) const;

private:
    void set(ldomNode* node, std::vector<int32_t>&& path, int32_t offset);

    ldomNode* node_ = nullptr;
    int32_t offset_ = -1;
    std::vector<int32_t> path_;
};
