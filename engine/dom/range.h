// Ranges of positions, the text inside them, word spans and the document's
// list of ranges (selection, search hits, chosen link).
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "dom/position.h"
#include "foundation/lvstring.h"

class ldomNode;

// Receives the nodes of a range in document order (ldomXRange::forEach).
class ldomNodeCallback {
public:
    virtual ~ldomNodeCallback() = default;
    // An element is entered; false passes over its subtree.
    virtual bool onElement(ldomNode* element) {
        (void)element;
        return true;
    }
    // An element is left: after its subtree, and also for the ancestors of
    // the range start that the walk climbs out of.
    virtual void onElementEnd(ldomNode* element) { (void)element; }
    // The part [start, end) of a text node's characters lies in the range;
    // end is -1 when the range covers the rest of the text. False ends the
    // walk.
    virtual bool onText(ldomNode* text, int32_t start, int32_t end) {
        (void)text;
        (void)start;
        (void)end;
        return true;
    }
};

// A start and an end position (end excluded) and a flags word that the
// highlighting code uses.
class ldomXRange {
public:
    ldomXRange() = default;
    ldomXRange(const ldomIndexedPointer& start, const ldomIndexedPointer& end, uint32_t flags = 0)
        : start_(start), end_(end), flags_(flags) {}
    ldomXRange(const ldomPosition& start, const ldomPosition& end, uint32_t flags = 0)
        : start_(start), end_(end), flags_(flags) {}
    // The whole content of a node: its text, or everything inside an element.
    explicit ldomXRange(const ldomNode* node);

    bool isNull() const { return start_.isNull() || end_.isNull(); }
    // Null, or the end is not after the start.
    bool isEmpty() const { return isNull() || start_.compare(end_) >= 0; }
    const ldomIndexedPointer& getStart() const { return start_; }
    const ldomIndexedPointer& getEnd() const { return end_; }
    void setStart(const ldomIndexedPointer& p) { start_ = p; }
    void setEnd(const ldomIndexedPointer& p) { end_ = p; }
    uint32_t getFlags() const { return flags_; }
    void setFlags(uint32_t flags) { flags_ = flags; }

    // start <= p < end.
    bool isInside(const ldomIndexedPointer& p) const {
        return !isEmpty() && start_.compare(p) <= 0 && p.compare(end_) < 0;
    }
    // By start, then by end.
    int compare(const ldomXRange& other) const;
    bool operator==(const ldomXRange& o) const {
        return start_.compare(o.start_) == 0 && end_.compare(o.end_) == 0 && flags_ == o.flags_;
    }

    // Walks the range's nodes in document order.
    void forEach(ldomNodeCallback& callback) const;
    // The range's text (see ldomTextCollector). delimiter 0 puts nothing
    // between blocks.
    LVString16 getRangeText(lvchar16 delimiter = u'\n', int32_t maxLength = INT32_MAX) const;

private:
    ldomIndexedPointer start_;
    ldomIndexedPointer end_;
    uint32_t flags_ = 0;
};

// Collects the text of a range for Copy. Elements that are not displayed
// are passed over with their content; a block boundary (entering or leaving
// an element that is neither inline nor hidden) puts the delimiter before
// the next text, provided some text has already been collected. Collection
// ends at maxLength characters.
class ldomTextCollector : public ldomNodeCallback {
public:
    explicit ldomTextCollector(lvchar16 delimiter = u'\n', int32_t maxLength = INT32_MAX)
        : delimiter_(delimiter), maxLength_(maxLength < 0 ? 0 : maxLength) {}

    bool onElement(ldomNode* element) override;
    void onElementEnd(ldomNode* element) override;
    bool onText(ldomNode* text, int32_t start, int32_t end) override;

    LVString16 text() const { return LVString16(text_.data(), static_cast<int32_t>(text_.size())); }

private:
    lvchar16 delimiter_;
    int32_t maxLength_;
    bool boundary_ = false;
    std::u16string text_;
};

// A word: the characters [start, end) of one text node.
struct ldomWordSpan {
    ldomNode* node = nullptr;
    int32_t start = 0;
    int32_t end = 0;

    ldomWordSpan() = default;
    ldomWordSpan(ldomNode* textNode, int32_t startOffset, int32_t endOffset)
        : node(textNode), start(startOffset), end(endOffset) {}

    bool isNull() const { return !node; }
    ldomPosition getStartPosition() const { return ldomPosition(node, start); }
    ldomPosition getEndPosition() const { return ldomPosition(node, end); }
    ldomXRange toRange(uint32_t flags = 0) const {
        return ldomXRange(getStartPosition(), getEndPosition(), flags);
    }
    LVString16 getText() const;
};

// An ordered list of ranges.
class ldomXRangeList {
public:
    int size() const { return static_cast<int>(ranges_.size()); }
    bool empty() const { return ranges_.empty(); }
    ldomXRange& operator[](int i) { return ranges_[static_cast<size_t>(i)]; }
    const ldomXRange& operator[](int i) const { return ranges_[static_cast<size_t>(i)]; }
    std::vector<ldomXRange>::iterator begin() { return ranges_.begin(); }
    std::vector<ldomXRange>::iterator end() { return ranges_.end(); }
    std::vector<ldomXRange>::const_iterator begin() const { return ranges_.begin(); }
    std::vector<ldomXRange>::const_iterator end() const { return ranges_.end(); }

    void add(const ldomXRange& range) { ranges_.push_back(range); }
    void erase(int i) {
        if (i >= 0 && i < size()) ranges_.erase(ranges_.begin() + i);
    }
    void clear() { ranges_.clear(); }
    // Into document order (by start, then end); ranges that compare equal
    // keep their order.
    void sort();

private:
    std::vector<ldomXRange> ranges_;
};

// Searches the text nodes of range for pattern (the engine behind
// ldomDocument::findText, without the y bounds). Occurrences do not
// overlap and never span two text nodes. hitY gives the y of a hit for the
// maxHeight cut-off (null: every hit has y 0).
using HitYFunction = int (*)(const ldomWordSpan& word);
bool findTextInRange(const ldomXRange& range, const LVString16& pattern, bool caseInsensitive,
                     bool reverse, std::vector<ldomWordSpan>& words, int maxCount, int maxHeight,
                     HitYFunction hitY = nullptr);
