#include "dom/position.h"

#include <algorithm>

#include "dom/ldomdocument.h"
#include "dom/ldomnode.h"
#include "dom/nodedisplay.h"

// ---- ldomPosition -----------------------------------------------------------------

ldomPosition::ldomPosition(const ldomNode* node, int32_t offset) {
    if (!node || node->isNull()) return;
    doc_ = node->getDocument();
    ref_ = node->getRef();
    offset_ = offset;
}

ldomNode* ldomPosition::getNode() const { return isNull() ? nullptr : doc_->getNodeById(ref_); }

namespace {

// Number of the node among its parent's children of the same kind (from 1)
// and how many such children there are.
void sameKindRank(const ldomNode* node, const ldomNode* parent, int& rank, int& count) {
    bool element = node->isElement();
    uint16_t id = element ? node->getNodeId() : 0;
    rank = 0;
    count = 0;
    int n = parent->getChildCount();
    for (int i = 0; i < n; ++i) {
        const ldomNode* c = parent->getChildNode(i);
        if (!c) continue;
        if (element ? (c->isElement() && c->getNodeId() == id) : c->isText()) {
            ++count;
            if (c == node) rank = count;
        }
    }
}

}  // namespace

LVString16 ldomPosition::toString() const {
    ldomNode* node = getNode();
    if (!node) return LVString16();
    std::vector<LVString16> segments;
    for (ldomNode* n = node; n && !n->isRoot(); n = n->getParentNode()) {
        ldomNode* parent = n->getParentNode();
        if (!parent) return LVString16();  // detached
        int rank = 0, count = 0;
        sameKindRank(n, parent, rank, count);
        LVString16 seg(n->isElement() ? n->getNodeName() : LVString16("text()"));
        if (count >= 2) {
            seg.append(1, u'[');
            seg.appendNumber(rank);
            seg.append(1, u']');
        }
        segments.push_back(std::move(seg));
    }
    // Appends grow a string exactly, so reserve the whole length first.
    int32_t total = 12;
    for (const LVString16& seg : segments) total += seg.length() + 1;
    LVString16 out;
    out.reserve(total);
    for (size_t i = segments.size(); i-- > 0;) {
        out.append(1, u'/');
        out.append(segments[i]);
    }
    if (segments.empty()) out.append(1, u'/');
    if (offset_ >= 0) {
        out.append(1, u'.');
        out.appendNumber(offset_);
    }
    return out;
}

bool ldomPosition::getIndexPath(std::vector<int32_t>& path) const {
    path.clear();
    ldomNode* n = getNode();
    if (!n) return false;
    while (!n->isRoot()) {
        int i = n->getNodeIndex();
        if (i < 0) return false;
        path.push_back(i);
        n = n->getParentNode();
    }
    std::reverse(path.begin(), path.end());
    return true;
}

int compareIndexPaths(const int32_t* a, size_t aLength, int32_t aOffset, const int32_t* b,
                      size_t bLength, int32_t bOffset) {
    size_t n = std::min(aLength, bLength);
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    if (aLength == bLength) return aOffset < bOffset ? -1 : aOffset > bOffset ? 1 : 0;
    // One node lies inside the other: the inner one is after a child-index
    // position on the outer element when its branch is at or past that index.
    if (aLength > bLength) return a[bLength] >= bOffset ? 1 : -1;
    return b[aLength] >= aOffset ? -1 : 1;
}

int ldomPosition::compare(const ldomPosition& other) const {
    if (isNull() || other.isNull()) return isNull() == other.isNull() ? 0 : isNull() ? -1 : 1;
    std::vector<int32_t> a, b;
    if (doc_ != other.doc_ || !getIndexPath(a) || !other.getIndexPath(b)) {
        if (ref_ != other.ref_) return ref_ < other.ref_ ? -1 : 1;
        return offset_ < other.offset_ ? -1 : offset_ > other.offset_ ? 1 : 0;
    }
    return compareIndexPaths(a.data(), a.size(), offset_, b.data(), b.size(), other.offset_);
}

// ---- parsing ---------------------------------------------------------------------------

namespace {

bool isDigit(lvchar16 c) { return c >= u'0' && c <= u'9'; }

// Reads decimal digits at s[pos..); false when there are none or the value
// does not fit in 31 bits.
bool readNumber(const LVString16& s, int32_t& pos, int32_t& out) {
    int64_t v = 0;
    int32_t start = pos;
    while (pos < s.length() && isDigit(s[pos])) {
        v = v * 10 + (s[pos] - u'0');
        if (v > INT32_MAX) return false;
        ++pos;
    }
    if (pos == start) return false;
    out = static_cast<int32_t>(v);
    return true;
}

// Reads an optional "[n]" (n >= 1); index stays 0 when absent.
bool readIndex(const LVString16& s, int32_t& pos, int32_t& index) {
    index = 0;
    if (pos >= s.length() || s[pos] != u'[') return true;
    ++pos;
    if (!readNumber(s, pos, index) || index < 1) return false;
    if (pos >= s.length() || s[pos] != u']') return false;
    ++pos;
    return true;
}

// The n-th (from 1) text child, or with n == 0 the only text child.
ldomNode* textChild(const ldomNode* parent, int32_t n) {
    ldomNode* found = nullptr;
    int seen = 0;
    int count = parent->getChildCount();
    for (int i = 0; i < count; ++i) {
        ldomNode* c = parent->getChildNode(i);
        if (!c || !c->isText()) continue;
        ++seen;
        if (n > 0 && seen == n) return c;
        if (n == 0) {
            if (found) return nullptr;  // not the only one
            found = c;
        }
    }
    return n == 0 ? found : nullptr;
}

int32_t textLength(const ldomNode* text) {
    const char* data = nullptr;
    uint32_t len = 0;
    if (!text->getTextBytes(data, len)) return 0;
    return static_cast<int32_t>(countUtf8Chars(data, len));
}

}  // namespace

ldomPosition positionFromString(ldomDocument* doc, const LVString16& s) {
    if (!doc || s.empty()) return ldomPosition();
    if (s[0] == u'#') {
        if (s.length() < 2) return ldomPosition();
        ldomNode* target = doc->getNodeByIdValue(s.substr(1));
        return target ? ldomPosition(target, -1) : ldomPosition();
    }
    ldomNode* node = doc->getRootNode();
    if (!node) return ldomPosition();
    int32_t pos = 0;
    const int32_t len = s.length();
    // A lone "/" (possibly followed by an offset) names the root.
    if (s[0] == u'/' && (len == 1 || s[1] == u'.')) pos = 1;
    while (pos < len) {
        lvchar16 c = s[pos];
        if (c == u'.') {
            ++pos;
            int32_t offset = 0;
            if (!readNumber(s, pos, offset) || pos != len) return ldomPosition();
            int32_t limit = node->isText() ? textLength(node) : node->getChildCount();
            if (offset > limit) return ldomPosition();
            return ldomPosition(node, offset);
        }
        if (c != u'/' || !node->isElement()) return ldomPosition();
        ++pos;
        int32_t start = pos;
        while (pos < len && s[pos] != u'/' && s[pos] != u'[' && s[pos] != u'.') ++pos;
        LVString16 name = s.substr(start, pos - start);
        if (name.empty()) return ldomPosition();
        ldomNode* next = nullptr;
        bool digits = std::all_of(name.begin(), name.end(), isDigit);
        if (digits) {
            int32_t p = 0, n = 0;
            if (!readNumber(name, p, n) || n < 1) return ldomPosition();
            next = node->getChildNode(n - 1);
        } else if (name == "text()") {
            int32_t n = 0;
            if (!readIndex(s, pos, n)) return ldomPosition();
            next = textChild(node, n);
        } else {
            int32_t n = 0;
            if (!readIndex(s, pos, n)) return ldomPosition();
            uint16_t id = doc->findElementNameIndex(name);
            if (!id) return ldomPosition();
            // A step that does not match is tried inside an only child, so
            // that paths written without a wrapper element still resolve.
            for (ldomNode* at = node; at && at->isElement();) {
                next = at->findChildElement(ldomNode::kAnyNamespace, id, n > 0 ? n - 1 : -1);
                if (next || at->getChildCount() != 1) break;
                at = at->getChildNode(0);
            }
        }
        if (!next) return ldomPosition();
        if (pos < len && s[pos] != u'/' && s[pos] != u'.') return ldomPosition();
        node = next;
    }
    return ldomPosition(node, -1);
}

// ---- ldomIndexedPointer ------------------------------------------------------------------

ldomIndexedPointer::ldomIndexedPointer(const ldomPosition& position) {
    std::vector<int32_t> path;
    if (!position.getIndexPath(path)) return;
    set(position.getNode(), std::move(path), position.getOffset());
}

ldomIndexedPointer::ldomIndexedPointer(const ldomNode* node, int32_t offset)
    : ldomIndexedPointer(ldomPosition(node, offset)) {}

void ldomIndexedPointer::set(ldomNode* node, std::vector<int32_t>&& path, int32_t offset) {
    node_ = node;
    path_ = std::move(path);
    offset_ = offset;
}

int ldomIndexedPointer::compare(const ldomIndexedPointer& other) const {
    if (isNull() || other.isNull()) return isNull() == other.isNull() ? 0 : isNull() ? -1 : 1;
    return compareIndexPaths(path_.data(), path_.size(), offset_, other.path_.data(),
                             other.path_.size(), other.offset_);
}

bool ldomIndexedPointer::parent() {
    if (!node_ || path_.empty()) return false;
    ldomNode* p = node_->getParentNode();
    if (!p) return false;
    node_ = p;
    path_.pop_back();
    offset_ = -1;
    return true;
}

bool ldomIndexedPointer::child(int index) {
    if (!node_ || !node_->isElement()) return false;
    ldomNode* c = node_->getChildNode(index);
    if (!c) return false;
    node_ = c;
    path_.push_back(index);
    offset_ = -1;
    return true;
}

bool ldomIndexedPointer::firstChild() { return child(0); }

bool ldomIndexedPointer::lastChild() {
    return node_ && node_->isElement() && child(node_->getChildCount() - 1);
}

bool ldomIndexedPointer::nextSibling() {
    if (!node_ || path_.empty()) return false;
    ldomNode* p = node_->getParentNode();
    ldomNode* s = p ? p->getChildNode(path_.back() + 1) : nullptr;
    if (!s) return false;
    node_ = s;
    ++path_.back();
    offset_ = -1;
    return true;
}

bool ldomIndexedPointer::prevSibling() {
    if (!node_ || path_.empty() || path_.back() == 0) return false;
    ldomNode* p = node_->getParentNode();
    ldomNode* s = p ? p->getChildNode(path_.back() - 1) : nullptr;
    if (!s) return false;
    node_ = s;
    --path_.back();
    offset_ = -1;
    return true;
}

bool ldomIndexedPointer::nextNode(bool skipChildren, const ldomNode* stop) {
    if (!node_) return false;
    if (!skipChildren && node_->isElement() && node_->getChildCount() > 0) return child(0);
    // Climb until an ancestor has a next sibling; nothing changes on failure.
    ldomNode* n = node_;
    size_t depth = path_.size();
    while (depth > 0 && n != stop) {
        ldomNode* p = n->getParentNode();
        if (!p) return false;
        int32_t i = path_[depth - 1] + 1;
        if (i < p->getChildCount()) {
            ldomNode* s = p->getChildNode(i);
            if (!s) return false;
            path_.resize(depth);
            path_[depth - 1] = i;
            node_ = s;
            offset_ = -1;
            return true;
        }
        n = p;
        --depth;
    }
    return false;
}

bool ldomIndexedPointer::prevNode() {
    if (!node_ || path_.empty()) return false;
    if (path_.back() == 0) return parent();
    if (!prevSibling()) return false;
    while (node_->isElement() && node_->getChildCount() > 0)
        if (!lastChild()) break;
    return true;
}

bool ldomIndexedPointer::prevElement() {
    ldomIndexedPointer saved = *this;
    while (prevNode())
        if (node_->isElement()) return true;
    *this = std::move(saved);
    return false;
}

bool ldomIndexedPointer::nextText(bool thisBlockOnly) {
    const ldomNode* block = thisBlockOnly ? finalBlockOf(node_) : nullptr;
    ldomIndexedPointer saved = *this;
    while (nextNode(false, block)) {
        if (node_->isText()) {
            offset_ = 0;
            return true;
        }
    }
    *this = std::move(saved);
    return false;
}

bool ldomIndexedPointer::prevText(bool thisBlockOnly) {
    const ldomNode* block = thisBlockOnly ? finalBlockOf(node_) : nullptr;
    if (block && block == node_) return false;  // nothing of the block lies before it
    ldomIndexedPointer saved = *this;
    while (prevNode() && node_ != block) {
        if (node_->isText()) {
            offset_ = 0;
            return true;
        }
    }
    *this = std::move(saved);
    return false;
}

int ldomIndexedPointer::ancestorLevel(uint16_t elementId) const {
    int level = static_cast<int>(path_.size());
    for (const ldomNode* n = node_; n && level >= 0; n = n->getParentNode(), --level)
        if (n->isElement() && n->getNodeId() == elementId) return level;
    return -1;
}
