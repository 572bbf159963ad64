#include "dom/range.h"

#include <algorithm>

#include "dom/ldomdocument.h"
#include "dom/ldomnode.h"
#include "dom/nodedisplay.h"

namespace {

int32_t textLength(const ldomNode* text) {
    const char* data = nullptr;
    uint32_t len = 0;
    if (!text->getTextBytes(data, len)) return 0;
    return static_cast<int32_t>(countUtf8Chars(data, len));
}

// True when the node's subtree holds the pointer's node (or is it).
bool contains(const ldomIndexedPointer& outer, const ldomIndexedPointer& inner) {
    const std::vector<int32_t>& a = outer.path();
    const std::vector<int32_t>& b = inner.path();
    return a.size() <= b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace

// ---- ldomXRange -------------------------------------------------------------------

ldomXRange::ldomXRange(const ldomNode* node) {
    if (!node || node->isNull()) return;
    int32_t endOffset = node->isText() ? textLength(node) : node->getChildCount();
    start_ = ldomIndexedPointer(node, 0);
    end_ = start_;
    end_.setOffset(endOffset);
}

int ldomXRange::compare(const ldomXRange& other) const {
    int c = start_.compare(other.start_);
    return c ? c : end_.compare(other.end_);
}

void ldomXRange::forEach(ldomNodeCallback& callback) const {
    if (isEmpty()) return;

    // Where the walk begins: a text node (from an offset), an element
    // itself, or the child an element offset names.
    ldomIndexedPointer p = start_;
    ldomNode* startText = nullptr;
    int32_t startOffset = 0;
    ldomNode* sn = p.getNode();
    if (sn->isText()) {
        startText = sn;
        startOffset = std::max(0, p.getOffset());
    } else if (p.getOffset() >= 0) {
        if (p.getOffset() < sn->getChildCount()) p.child(p.getOffset());
        else if (!p.nextNode(true)) return;
    }
    p.setOffset(-1);

    // Where it ends: inside a text node, or at the first node not in the
    // range (null: the end of the document).
    ldomNode* en = end_.getNode();
    int32_t eo = end_.getOffset();
    ldomNode* endText = nullptr;
    ldomNode* stop = nullptr;
    if (en->isText() && eo >= 0) {
        endText = en;
    } else if (eo < 0) {
        stop = en;
    } else if (eo < en->getChildCount()) {
        stop = en->getChildNode(eo);
    } else {
        ldomIndexedPointer q = end_;
        if (q.nextNode(true)) stop = q.getNode();
    }

    for (;;) {
        ldomNode* n = p.getNode();
        if (n == stop) return;
        bool skip = false;
        if (n->isText()) {
            int32_t from = n == startText ? startOffset : 0;
            int32_t to = n == endText ? eo : -1;
            if (!callback.onText(n, from, to) || n == endText) return;
        } else if (!callback.onElement(n)) {
            // The end lies inside what is passed over: nothing more to see.
            if (contains(p, end_)) return;
            skip = true;
        }
        size_t level = p.path().size();
        bool more = p.nextNode(skip);
        size_t newLevel = more ? p.path().size() : 0;
        if (more && newLevel > level) continue;  // went down into n
        // Left n (unless passed over) and every ancestor climbed out of.
        if (n->isElement() && !skip) callback.onElementEnd(n);
        ldomNode* a = n;
        for (size_t k = newLevel; k < level; ++k) {
            a = a->getParentNode();
            if (!a) break;
            callback.onElementEnd(a);
        }
        if (!more) return;
    }
}

LVString16 ldomXRange::getRangeText(lvchar16 delimiter, int32_t maxLength) const {
    ldomTextCollector collector(delimiter, maxLength);
    forEach(collector);
    return collector.text();
}

// ---- ldomTextCollector ------------------------------------------------------------------

bool ldomTextCollector::onElement(ldomNode* element) {
    uint8_t display = nodeDisplay(element);
    if (isHiddenDisplay(display)) return false;
    if (isBlockDisplay(display)) boundary_ = true;
    return true;
}

void ldomTextCollector::onElementEnd(ldomNode* element) {
    if (isBlockDisplay(nodeDisplay(element))) boundary_ = true;
}

bool ldomTextCollector::onText(ldomNode* text, int32_t start, int32_t end) {
    const size_t max = static_cast<size_t>(maxLength_);
    if (text_.size() >= max) return false;
    LVString16 s = text->getText();
    int32_t to = end < 0 || end > s.length() ? s.length() : end;
    int32_t from = std::min(std::max(0, start), to);
    if (from == to) return true;
    if (boundary_ && delimiter_ && !text_.empty()) text_.push_back(delimiter_);
    boundary_ = false;
    text_.append(s.c_str() + from, std::min(static_cast<size_t>(to - from), max - std::min(max, text_.size())));
    return text_.size() < max;
}

// ---- ldomWordSpan, ldomXRangeList -----------------------------------------------------

LVString16 ldomWordSpan::getText() const {
    if (!node || !node->isText() || end <= start) return LVString16();
    return node->getText().substr(start, end - start);
}

void ldomXRangeList::sort() {
    std::stable_sort(ranges_.begin(), ranges_.end(),
                     [](const ldomXRange& a, const ldomXRange& b) { return a.compare(b) < 0; });
}
