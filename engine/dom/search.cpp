// Text search over the document tree.
//
// Each text node is decoded from its stored UTF-8 into one buffer that is
// reused for the whole search (and lower-cased there for a case-insensitive
// search), so a search allocates nothing per node.
#include <algorithm>
#include <vector>

#include "dom/ldomdocument.h"
#include "dom/ldomnode.h"
#include "dom/nodedisplay.h"
#include "dom/range.h"
#include "foundation/log.h"

namespace {

class TextMatcher {
public:
    TextMatcher(const LVString16& pattern, bool caseInsensitive)
        : pattern_(pattern), caseInsensitive_(caseInsensitive) {
        if (caseInsensitive_) pattern_.toLower();
    }

    int32_t patternLength() const { return pattern_.length(); }

    // Decodes the text of a text node into the buffer; its length in
    // characters, or -1 when the node has no text record.
    int32_t load(const ldomNode* text) {
        const char* data = nullptr;
        uint32_t len = 0;
        if (!text->getTextBytes(data, len)) return -1;
        // UTF-8 never takes fewer bytes than the characters it encodes.
        if (buf_.size() < len + 1) buf_.resize(len + 1);
        size_t n = decodeUtf8Partial(reinterpret_cast<const uint8_t*>(data), len, buf_.data(),
                                     buf_.size(), nullptr);
        if (caseInsensitive_) lowerChars(buf_.data(), n);
        return static_cast<int32_t>(n);
    }

    bool matchesAt(int32_t i) const {
        const lvchar16* p = pattern_.c_str();
        const lvchar16* t = buf_.data() + i;
        for (int32_t k = 0; k < pattern_.length(); ++k)
            if (t[k] != p[k]) return false;
        return true;
    }

    // First occurrence starting in [from, to - m]; -1 when none.
    int32_t findForward(int32_t from, int32_t to) const {
        const int32_t m = pattern_.length();
        const lvchar16 first = pattern_[0];
        for (int32_t i = from; i + m <= to; ++i)
            if (buf_[static_cast<size_t>(i)] == first && matchesAt(i)) return i;
        return -1;
    }

    // Last occurrence lying inside [from, to); -1 when none.
    int32_t findBackward(int32_t from, int32_t to) const {
        const int32_t m = pattern_.length();
        const lvchar16 first = pattern_[0];
        for (int32_t i = to - m; i >= from; --i)
            if (buf_[static_cast<size_t>(i)] == first && matchesAt(i)) return i;
        return -1;
    }

private:
    LVString16 pattern_;
    bool caseInsensitive_;
    std::vector<lvchar16> buf_;
};

// Collects hits and applies the count and height limits.
class HitList {
public:
    HitList(std::vector<ldomWordSpan>& words, int maxCount, int maxHeight, bool reverse,
            HitYFunction hitY)
        : words_(words), maxCount_(maxCount), maxHeight_(maxHeight), reverse_(reverse),
          hitY_(hitY) {}

    // False when the search must end (the hit may or may not have been kept).
    bool add(ldomNode* node, int32_t start, int32_t end) {
        ldomWordSpan word(node, start, end);
        if (maxHeight_ > 0) {
            int y = hitY_ ? hitY_(word) : 0;
            if (found_ == 0) {
                base_ = y;
            } else if (reverse_ ? y < base_ - maxHeight_ : y > base_ + maxHeight_) {
                return false;
            }
        }
        words_.push_back(word);
        ++found_;
        return maxCount_ <= 0 || found_ < maxCount_;
    }
    int found() const { return found_; }

private:
    std::vector<ldomWordSpan>& words_;
    int maxCount_;
    int maxHeight_;
    bool reverse_;
    HitYFunction hitY_;
    int found_ = 0;
    int base_ = 0;
};

class ForwardSearch : public ldomNodeCallback {
public:
    ForwardSearch(TextMatcher& matcher, HitList& hits) : matcher_(matcher), hits_(hits) {}

    bool onElement(ldomNode* element) override { return !isHiddenDisplay(nodeDisplay(element)); }

    bool onText(ldomNode* text, int32_t start, int32_t end) override {
        int32_t len = matcher_.load(text);
        if (len < 0) return true;
        int32_t to = end < 0 || end > len ? len : end;
        int32_t m = matcher_.patternLength();
        for (int32_t i = std::max(0, start); (i = matcher_.findForward(i, to)) >= 0; i += m)
            if (!hits_.add(text, i, i + m)) return false;
        return true;
    }

private:
    TextMatcher& matcher_;
    HitList& hits_;
};

// Walks the range backwards, text node by text node, from its end to its
// start. Hidden elements are passed over without entering them.
void searchBackward(const ldomXRange& range, TextMatcher& matcher, HitList& hits) {
    const ldomIndexedPointer& start = range.getStart();
    const ldomIndexedPointer& end = range.getEnd();
    ldomIndexedPointer p = end;
    ldomNode* en = end.getNode();
    int32_t endLimit = -1;  // a character limit for the first node, -1 for none
    if (en->isText()) {
        if (end.getOffset() >= 0) endLimit = end.getOffset();
        else if (!p.prevNode()) return;  // the text node itself is not in the range
    } else if (end.getOffset() > 0) {
        // The last thing before child k is child k - 1's deepest last node.
        p.child(std::min(end.getOffset(), en->getChildCount()) - 1);
        while (p.getNode()->isElement() && p.getNode()->getChildCount() > 0 &&
               !isHiddenDisplay(nodeDisplay(p.getNode())))
            p.lastChild();
    } else if (end.getOffset() < 0 && !p.prevNode()) {
        return;
    }
    const ldomNode* startText = start.getNode()->isText() ? start.getNode() : nullptr;
    const int32_t startOffset = std::max(0, start.getOffset());
    for (;;) {
        ldomNode* n = p.getNode();
        bool isStartText = n == startText;
        if (!isStartText && compareIndexPaths(p.path().data(), p.path().size(), -1,
                                              start.path().data(), start.path().size(),
                                              start.getOffset()) < 0)
            return;
        if (n->isText()) {
            int32_t len = matcher.load(n);
            if (len >= 0) {
                int32_t to = endLimit >= 0 && endLimit < len ? endLimit : len;
                int32_t from = isStartText ? std::min(startOffset, to) : 0;
                int32_t m = matcher.patternLength();
                for (int32_t i = to; (i = matcher.findBackward(from, i)) >= 0;)
                    if (!hits.add(n, i, i + m)) return;
            }
        }
        endLimit = -1;
        if (isStartText) return;
        // Step back; a previous sibling that is hidden is not entered.
        const std::vector<int32_t>& path = p.path();
        if (path.empty()) return;
        if (path.back() == 0) {
            if (!p.parent()) return;
            continue;
        }
        if (!p.prevSibling()) return;
        while (p.getNode()->isElement() && p.getNode()->getChildCount() > 0 &&
               !isHiddenDisplay(nodeDisplay(p.getNode())))
            p.lastChild();
    }
}

// The y of a hit: the top of its text's element box.
int textBoxY(const ldomWordSpan& word) {
    ldomNode* parent = word.node ? word.node->getParentNode() : nullptr;
    if (!parent) return 0;
    RenderRect rect;
    parent->getAbsRect(rect);
    return rect.y;
}

}  // namespace

bool findTextInRange(const ldomXRange& range, const LVString16& pattern, bool caseInsensitive,
                     bool reverse, std::vector<ldomWordSpan>& words, int maxCount, int maxHeight,
                     HitYFunction hitY) {
    if (pattern.empty() || range.isEmpty()) return false;
    TextMatcher matcher(pattern, caseInsensitive);
    HitList hits(words, maxCount, maxHeight, reverse, hitY);
    if (reverse) {
        searchBackward(range, matcher, hits);
    } else {
        ForwardSearch search(matcher, hits);
        range.forEach(search);
    }
    return hits.found() > 0;
}

bool ldomDocument::findText(const LVString16& pattern, bool caseInsensitive, bool reverse,
                            int minY, int maxY, std::vector<ldomWordSpan>& words, int maxCount,
                            int maxHeight) {
    // Until the block layout exists there are no y coordinates to turn into
    // positions: the range is the whole document whatever minY and maxY say.
    if (minY < 0) minY = 0;
    LOG_DEBUG("ldomDocument::findText() for Y %d..%d, range %d..%d", minY, maxY, 0, 0);
    ldomXRange range(getRootNode());
    if (range.isEmpty()) {
        LOG_DEBUG("No text found: Range is empty");
        return false;
    }
    return findTextInRange(range, pattern, caseInsensitive, reverse, words, maxCount, maxHeight,
                           textBoxY);
}
