#include "dom/ldomnode.h"

#include <algorithm>
#include <cstring>

#include "dom/ldomdocument.h"
#include "foundation/log.h"
#include "foundation/textutil.h"

// Persistent record layouts (little-endian, 16-byte aligned).
//
// Text record:
//   0 u16 type (2)        2 u16 size / 16 (saturated; never read back)
//   4 u32 own handle      8 u32 parent handle
//  12 u16 text length    14 UTF-8 text
//
// Element record:
//   0 u16 type (1)        2 u16 size / 16 (saturated; never read back)
//   4 u32 own handle      8 u32 parent handle
//  12 u16 name id        14 u16 namespace id
//  16 u16 attr count     18 u8 render method      19 u8 reserved
//  20 u32 child count    24 u32 child handles...
//  then per attribute: u16 namespace id, u16 attribute id, u32 value index
//
// The size of a record is always recomputed from its counts and checked
// against the bytes its chunk holds.

namespace {

constexpr uint16_t kRecordText = 2;
constexpr uint16_t kRecordElement = 1;
constexpr uint32_t kTextHeader = 14;
constexpr uint32_t kElementHeader = 24;
constexpr uint32_t kAttrEntry = 8;
constexpr uint32_t kNoAddress = ldomDataStorageManager::kNoAddress;
// Ancestor walks stop after this many steps even on a damaged tree.
constexpr int kMaxWalk = 2 * static_cast<int>(kMaxNodeIndex) + 2;

uint64_t roundUp16(uint64_t n) { return (n + 15) & ~uint64_t(15); }

uint64_t elementRecordSize(uint64_t children, uint64_t attrs) {
    return roundUp16(kElementHeader + 4 * children + kAttrEntry * attrs);
}

// Length of the first piece of text[0..len) that fits max bytes without
// cutting a UTF-8 sequence (cuts at max when the bytes are not UTF-8).
size_t utf8PieceLength(const char* text, size_t len, size_t max) {
    if (len <= max) return len;
    size_t k = max;
    while (k > max - 3 && (static_cast<uint8_t>(text[k]) & 0xC0) == 0x80) --k;
    if ((static_cast<uint8_t>(text[k]) & 0xC0) == 0x80) k = max;
    return k;
}

void storeRect(uint8_t* p, const RenderRect& r) {
    storeLE32(p, static_cast<uint32_t>(r.x));
    storeLE32(p + 4, static_cast<uint32_t>(r.width));
    storeLE32(p + 8, static_cast<uint32_t>(r.y));
    storeLE32(p + 12, static_cast<uint32_t>(r.height));
}

const char* const kTextIsReadOnly =
    "Text node is persistent (read-only)! Call modify() to get r/w instance.";

}  // namespace

// Access to the document internals behind the node operations.
struct DomInternals {
    struct ElementView {
        uint8_t* p = nullptr;
        uint32_t childCount = 0;
        uint32_t attrCount = 0;
        uint32_t attrOffset(uint32_t i) const { return kElementHeader + 4 * childCount + kAttrEntry * i; }
    };
    struct TextView {
        const uint8_t* p = nullptr;
        uint32_t length = 0;
    };

    static lxmlDocBase* doc(const ldomNode* n) {
        return static_cast<lxmlDocBase*>(DocumentRegistry::get(n->getDocIndex()));
    }
    static uint32_t type(const ldomNode* n) { return nodeHandleType(n->getHandle()); }

    static ldomMutableElement* mutElement(const ldomNode* n) {
        return type(n) == NodeTypeMutableElement && !n->isNull()
                   ? doc(n)->mutableElement(n->data_)
                   : nullptr;
    }
    static ldomMutableText* mutText(const ldomNode* n) {
        return type(n) == NodeTypeMutableText && !n->isNull() ? doc(n)->mutableText(n->data_)
                                                              : nullptr;
    }

    // The record of a persistent element, checked against its chunk.
    static bool elementView(const ldomNode* n, ElementView& v) {
        if (n->isNull() || type(n) != NodeTypePersistentElement) return false;
        uint32_t avail = 0;
        uint8_t* p = doc(n)->elementStorage_.recordAt(n->data_, kElementHeader, &avail);
        if (!p || loadLE16(p) != kRecordElement) return false;
        uint32_t children = loadLE32(p + 20);
        uint32_t attrs = loadLE16(p + 16);
        if (kElementHeader + 4ull * children + uint64_t(kAttrEntry) * attrs > avail) {
            LOG_ERROR("element record of node %u does not fit its chunk", n->getDataIndex());
            return false;
        }
        v.p = p;
        v.childCount = children;
        v.attrCount = attrs;
        return true;
    }

    static bool textView(const ldomNode* n, TextView& v) {
        if (n->isNull() || type(n) != NodeTypePersistentText) return false;
        uint32_t avail = 0;
        const uint8_t* p = doc(n)->textStorage_.recordAt(n->data_, kTextHeader, &avail);
        if (!p || loadLE16(p) != kRecordText) return false;
        uint32_t len = loadLE16(p + 12);
        if (kTextHeader + len > avail) return false;
        v.p = p;
        v.length = len;
        return true;
    }

    static NodeHandle parentRef(const ldomNode* n) {
        switch (type(n)) {
        case NodeTypeMutableElement:
            if (ldomMutableElement* m = mutElement(n)) return m->parent;
            return 0;
        case NodeTypeMutableText:
            if (ldomMutableText* t = mutText(n)) return t->parent;
            return 0;
        case NodeTypePersistentElement: {
            ElementView v;
            return elementView(n, v) ? loadLE32(v.p + 8) : 0;
        }
        default: {
            TextView v;
            return textView(n, v) ? loadLE32(v.p + 8) : 0;
        }
        }
    }

    static void setParentRef(ldomNode* n, NodeHandle parent) {
        uint8_t bytes[4];
        storeLE32(bytes, parent);
        switch (type(n)) {
        case NodeTypeMutableElement:
            if (ldomMutableElement* m = mutElement(n)) m->parent = parent;
            break;
        case NodeTypeMutableText:
            if (ldomMutableText* t = mutText(n)) t->parent = parent;
            break;
        case NodeTypePersistentElement:
            doc(n)->elementStorage_.writeAt(n->data_, 8, bytes, 4);
            break;
        default:
            doc(n)->textStorage_.writeAt(n->data_, 8, bytes, 4);
            break;
        }
    }

    static uint32_t writeTextRecord(lxmlDocBase* d, NodeHandle own, NodeHandle parent,
                                    const char* text, uint32_t len) {
        uint32_t size = static_cast<uint32_t>(roundUp16(kTextHeader + len));
        uint32_t address = kNoAddress;
        uint8_t* p = d->textStorage_.allocRecord(size, address);
        if (!p) return kNoAddress;
        storeLE16(p, kRecordText);
        storeLE16(p + 2, static_cast<uint16_t>(std::min<uint32_t>(size / 16, 0xFFFF)));
        storeLE32(p + 4, own);
        storeLE32(p + 8, parent);
        storeLE16(p + 12, static_cast<uint16_t>(len));
        if (len) std::memcpy(p + kTextHeader, text, len);
        return address;
    }

    static uint32_t writeElementRecord(lxmlDocBase* d, NodeHandle own,
                                       const ldomMutableElement& m) {
        uint64_t size = elementRecordSize(m.children.size(), m.attrs.size());
        if (size > 0xFFFFFFF0u || m.attrs.size() > ldomNode::kMaxAttributes) return kNoAddress;
        uint32_t address = kNoAddress;
        uint8_t* p = d->elementStorage_.allocRecord(static_cast<uint32_t>(size), address);
        if (!p) return kNoAddress;
        storeLE16(p, kRecordElement);
        storeLE16(p + 2, static_cast<uint16_t>(std::min<uint64_t>(size / 16, 0xFFFF)));
        storeLE32(p + 4, own);
        storeLE32(p + 8, m.parent);
        storeLE16(p + 12, m.nameId);
        storeLE16(p + 14, m.nsId);
        storeLE16(p + 16, static_cast<uint16_t>(m.attrs.size()));
        p[18] = m.renderMethod;
        storeLE32(p + 20, static_cast<uint32_t>(m.children.size()));
        uint8_t* q = p + kElementHeader;
        for (NodeHandle c : m.children) {
            storeLE32(q, c);
            q += 4;
        }
        for (const ldomAttribute& a : m.attrs) {
            storeLE16(q, a.nsid);
            storeLE16(q + 2, a.id);
            storeLE32(q + 4, a.valueIndex);
            q += kAttrEntry;
        }
        return address;
    }

    // Creates a persistent text node under a mutable element, at position
    // `at` of its child list (clipped).
    static ldomNode* newTextChild(ldomNode* parent, size_t at, const char* text, uint32_t len) {
        lxmlDocBase* d = doc(parent);
        ldomMutableElement* m = mutElement(parent);
        if (!m) return nullptr;
        ldomNode* n = d->allocInstance(NodeTypePersistentText);
        if (!n) return nullptr;
        uint32_t address = writeTextRecord(d, n->getHandle(), parent->getRef(), text, len);
        if (address == kNoAddress) {
            d->freeInstance(n);
            return nullptr;
        }
        n->data_ = address;
        if (at >= m->children.size())
            m->children.push_back(n->getRef());
        else
            m->children.insert(m->children.begin() + static_cast<std::ptrdiff_t>(at), n->getRef());
        return n;
    }

    static void freeRecord(ldomDataStorageManager& storage, uint32_t address) {
        const uint8_t zero[2] = {0, 0};
        storage.writeAt(address, 0, zero, 2);
    }

    // Frees one node (its subtree is handled by the caller).
    static void freeNode(ldomNode* n) {
        lxmlDocBase* d = doc(n);
        switch (type(n)) {
        case NodeTypeMutableElement:
        case NodeTypePersistentElement: {
            d->onElementDestroyed(n);
            NodeHandle h = n->getRef();
            // Clear render data only where its chunk exists.
            if ((h >> 15) < d->rectStorage_.chunkCount()) n->setRenderData(RenderRect());
            if ((h >> 16) < d->styleStorage_.chunkCount()) n->setStyleRecord(NodeStyleRecord());
            if (type(n) == NodeTypeMutableElement) d->releaseMutableElement(n->data_);
            else freeRecord(d->elementStorage_, n->data_);
            break;
        }
        case NodeTypeMutableText:
            d->releaseMutableText(n->data_);
            break;
        default:
            freeRecord(d->textStorage_, n->data_);
            break;
        }
        d->freeInstance(n);
    }
};

// ---- identity and tree ---------------------------------------------------------------------

ldomDocument* ldomNode::getDocument() const {
    if (isNull()) return nullptr;
    return static_cast<ldomDocument*>(DocumentRegistry::get(getDocIndex()));
}

ldomNode* ldomNode::getParentNode() const {
    if (isNull()) return nullptr;
    NodeHandle p = DomInternals::parentRef(this);
    return p ? DomInternals::doc(this)->getNodeById(p) : nullptr;
}

int ldomNode::getChildCount() const {
    if (ldomMutableElement* m = DomInternals::mutElement(this))
        return static_cast<int>(m->children.size());
    DomInternals::ElementView v;
    return DomInternals::elementView(this, v) ? static_cast<int>(v.childCount) : 0;
}

ldomNode* ldomNode::getChildNode(int index) const {
    if (index < 0) return nullptr;
    NodeHandle ref = 0;
    if (ldomMutableElement* m = DomInternals::mutElement(this)) {
        if (static_cast<size_t>(index) < m->children.size()) ref = m->children[index];
    } else {
        DomInternals::ElementView v;
        if (DomInternals::elementView(this, v) && static_cast<uint32_t>(index) < v.childCount)
            ref = loadLE32(v.p + kElementHeader + 4 * static_cast<uint32_t>(index));
    }
    return ref ? DomInternals::doc(this)->getNodeById(ref) : nullptr;
}

ldomNode* ldomNode::getChildElementNode(int index, uint16_t filterId) const {
    ldomNode* c = getChildNode(index);
    if (!c || !c->isElement()) return nullptr;
    return filterId == 0 || c->getNodeId() == filterId ? c : nullptr;
}

int ldomNode::getNodeIndex() const {
    ldomNode* parent = getParentNode();
    if (!parent) return -1;
    NodeHandle ref = getRef();
    if (ldomMutableElement* m = DomInternals::mutElement(parent)) {
        auto it = std::find(m->children.begin(), m->children.end(), ref);
        return it == m->children.end() ? -1 : static_cast<int>(it - m->children.begin());
    }
    DomInternals::ElementView v;
    if (!DomInternals::elementView(parent, v)) return -1;
    for (uint32_t i = 0; i < v.childCount; ++i)
        if (loadLE32(v.p + kElementHeader + 4 * i) == ref) return static_cast<int>(i);
    return -1;
}

int ldomNode::getNodeLevel() const {
    if (isNull()) return 0;
    int level = 1;
    for (const ldomNode* n = getParentNode(); n && level < kMaxWalk; n = n->getParentNode())
        ++level;
    return level;
}

ldomNode* ldomNode::findChildElement(int nsid, uint16_t id, int index) const {
    if (!isElement()) return nullptr;
    int count = getChildCount();
    int seen = 0;
    for (int i = 0; i < count; ++i) {
        ldomNode* c = getChildNode(i);
        if (!c || !c->isElement() || c->getNodeId() != id) continue;
        if (nsid != kAnyNamespace && c->getNodeNsId() != nsid) continue;
        if (index <= 0 || seen == index) return c;
        ++seen;
    }
    return nullptr;
}

ldomNode* ldomNode::findChildElement(const uint16_t* path) const {
    if (!isElement() || !path) return nullptr;
    const ldomNode* n = this;
    for (; *path; ++path) {
        n = n->findChildElement(kAnyNamespace, *path, -1);
        if (!n) return nullptr;
    }
    return const_cast<ldomNode*>(n);
}

// ---- names ----------------------------------------------------------------------------------

uint16_t ldomNode::getNodeId() const {
    if (ldomMutableElement* m = DomInternals::mutElement(this)) return m->nameId;
    DomInternals::ElementView v;
    return DomInternals::elementView(this, v) ? loadLE16(v.p + 12) : 0;
}

uint16_t ldomNode::getNodeNsId() const {
    if (ldomMutableElement* m = DomInternals::mutElement(this)) return m->nsId;
    DomInternals::ElementView v;
    return DomInternals::elementView(this, v) ? loadLE16(v.p + 14) : 0;
}

LVString16 ldomNode::getNodeName() const {
    if (!isElement()) return LVString16();
    return DomInternals::doc(this)->getElementName(getNodeId());
}

LVString16 ldomNode::getNodeNsName() const {
    if (!isElement()) return LVString16();
    return DomInternals::doc(this)->getNsName(getNodeNsId());
}

const ElementDefProps* ldomNode::getElementTypePtr() const {
    if (!isElement()) return nullptr;
    return DomInternals::doc(this)->getElementTypePtr(getNodeId());
}

bool ldomNode::setNodeId(uint16_t id) {
    if (!isElement() || isRoot()) return false;
    uint16_t old = getNodeId();
    if (old == id) return true;
    if (!modify()) return false;
    lxmlDocBase* d = DomInternals::doc(this);
    // The id map follows the `name` of `a` elements: drop the entries under
    // the old name, then register again under the new one.
    d->onElementDestroyed(this);
    DomInternals::mutElement(this)->nameId = id;
    for (const ldomAttribute& a : DomInternals::mutElement(this)->attrs)
        if (a.nsid == 0) d->onAttributeSet(this, a.id, AttributeValueTable::kNoValue, a.valueIndex);
    return true;
}

// ---- text -----------------------------------------------------------------------------------

LVString8 ldomNode::getText8() const {
    if (ldomMutableText* t = DomInternals::mutText(this)) return t->text;
    DomInternals::TextView v;
    if (DomInternals::textView(this, v))
        return LVString8(reinterpret_cast<const char*>(v.p + kTextHeader),
                         static_cast<int32_t>(v.length));
    if (!isElement()) return LVString8();
    LVString8 out;
    std::vector<std::pair<const ldomNode*, int>> stack{{this, 0}};
    while (!stack.empty()) {
        const ldomNode* n = stack.back().first;
        int i = stack.back().second++;
        if (i >= n->getChildCount()) {
            stack.pop_back();
            continue;
        }
        const ldomNode* c = n->getChildNode(i);
        if (!c) continue;
        if (c->isElement()) stack.emplace_back(c, 0);
        else out.append(c->getText8());
    }
    return out;
}

bool ldomNode::getTextBytes(const char*& data, uint32_t& length) const {
    if (ldomMutableText* t = DomInternals::mutText(this)) {
        data = t->text.c_str();
        length = static_cast<uint32_t>(t->text.length());
        return true;
    }
    DomInternals::TextView v;
    if (!DomInternals::textView(this, v)) return false;
    data = reinterpret_cast<const char*>(v.p + kTextHeader);
    length = v.length;
    return true;
}

LVString16 ldomNode::getText() const {
    if (isText()) {
        if (ldomMutableText* t = DomInternals::mutText(this))
            return decodeUtf8(t->text.c_str(), static_cast<size_t>(t->text.length()));
        DomInternals::TextView v;
        if (!DomInternals::textView(this, v)) return LVString16();
        return decodeUtf8(reinterpret_cast<const char*>(v.p + kTextHeader), v.length);
    }
    LVString8 all = getText8();
    return decodeUtf8(all.c_str(), static_cast<size_t>(all.length()));
}

bool ldomNode::setText(const LVString8& utf8) {
    if (!isText() || !modify()) return false;
    ldomMutableText* t = DomInternals::mutText(this);
    if (!t) return false;
    t->text = utf8;
    return true;
}

bool ldomNode::setText(const LVString16& text) { return setText(encodeUtf8(text)); }

// ---- attributes -----------------------------------------------------------------------------

int ldomNode::getAttrCount() const {
    if (ldomMutableElement* m = DomInternals::mutElement(this))
        return static_cast<int>(m->attrs.size());
    DomInternals::ElementView v;
    return DomInternals::elementView(this, v) ? static_cast<int>(v.attrCount) : 0;
}

bool ldomNode::getAttribute(int index, ldomAttribute& out) const {
    if (index < 0) return false;
    if (ldomMutableElement* m = DomInternals::mutElement(this)) {
        if (static_cast<size_t>(index) >= m->attrs.size()) return false;
        out = m->attrs[index];
        return true;
    }
    DomInternals::ElementView v;
    if (!DomInternals::elementView(this, v) || static_cast<uint32_t>(index) >= v.attrCount)
        return false;
    const uint8_t* q = v.p + v.attrOffset(static_cast<uint32_t>(index));
    out.nsid = loadLE16(q);
    out.id = loadLE16(q + 2);
    out.valueIndex = loadLE32(q + 4);
    return true;
}

LVString16 ldomNode::getAttributeValue(int nsid, uint16_t id) const {
    int count = getAttrCount();
    for (int i = 0; i < count; ++i) {
        ldomAttribute a;
        if (getAttribute(i, a) && a.id == id && (nsid == kAnyNamespace || a.nsid == nsid))
            return DomInternals::doc(this)->getAttrValue(a.valueIndex);
    }
    return LVString16();
}

LVString16 ldomNode::getAttributeValue(const lvchar16* nsName, const lvchar16* attrName) const {
    if (!isElement() || !attrName) return LVString16();
    lxmlDocBase* d = DomInternals::doc(this);
    uint16_t id = d->findAttrNameIndex(LVString16(attrName));
    if (!id) return LVString16();
    int nsid = kAnyNamespace;
    if (nsName && *nsName) {
        nsid = d->findNsNameIndex(LVString16(nsName));
        if (!nsid) return LVString16();
    }
    return getAttributeValue(nsid, id);
}

LVString16 ldomNode::getAttributeValue(const char* nsName, const char* attrName) const {
    LVString16 ns = nsName ? LVString16(nsName) : LVString16();
    LVString16 name = attrName ? LVString16(attrName) : LVString16();
    return getAttributeValue(ns.c_str(), name.c_str());
}

bool ldomNode::hasAttribute(int nsid, uint16_t id) const {
    int count = getAttrCount();
    for (int i = 0; i < count; ++i) {
        ldomAttribute a;
        if (getAttribute(i, a) && a.id == id && (nsid == kAnyNamespace || a.nsid == nsid))
            return true;
    }
    return false;
}

bool ldomNode::setAttributeValue(uint16_t nsid, uint16_t id, const LVString16& value) {
    if (!isElement()) return false;
    lxmlDocBase* d = DomInternals::doc(this);
    uint32_t valueIndex = d->attrValues_.add(value);
    DomInternals::ElementView v;
    if (DomInternals::elementView(this, v)) {
        for (uint32_t i = 0; i < v.attrCount; ++i) {
            uint32_t off = v.attrOffset(i);
            if (loadLE16(v.p + off) != nsid || loadLE16(v.p + off + 2) != id) continue;
            uint32_t old = loadLE32(v.p + off + 4);
            uint8_t bytes[4];
            storeLE32(bytes, valueIndex);
            d->elementStorage_.writeAt(data_, off + 4, bytes, 4);
            if (nsid == 0) d->onAttributeSet(this, id, old, valueIndex);
            return true;
        }
    }
    if (!modify()) return false;
    ldomMutableElement* m = DomInternals::mutElement(this);
    uint32_t old = AttributeValueTable::kNoValue;
    auto it = std::find_if(m->attrs.begin(), m->attrs.end(), [&](const ldomAttribute& a) {
        return a.nsid == nsid && a.id == id;
    });
    if (it != m->attrs.end()) {
        old = it->valueIndex;
        it->valueIndex = valueIndex;
    } else {
        if (m->attrs.size() >= kMaxAttributes) {
            LOG_WARN("element %u already has %u attributes: attribute %u dropped",
                     getDataIndex(), kMaxAttributes, id);
            return false;
        }
        m->attrs.push_back(ldomAttribute{nsid, id, valueIndex});
    }
    if (nsid == 0) d->onAttributeSet(this, id, old, valueIndex);
    return true;
}

// ---- changes --------------------------------------------------------------------------------

ldomNode* ldomNode::modify() {
    if (isNull()) return nullptr;
    lxmlDocBase* d = DomInternals::doc(this);
    switch (DomInternals::type(this)) {
    case NodeTypePersistentElement: {
        DomInternals::ElementView v;
        if (!DomInternals::elementView(this, v)) {
            LOG_ERROR("modify(): the record of element %u cannot be read", getDataIndex());
            return nullptr;
        }
        auto m = std::make_unique<ldomMutableElement>();
        m->parent = loadLE32(v.p + 8);
        m->nameId = loadLE16(v.p + 12);
        m->nsId = loadLE16(v.p + 14);
        m->renderMethod = v.p[18];
        m->children.resize(v.childCount);
        for (uint32_t i = 0; i < v.childCount; ++i)
            m->children[i] = loadLE32(v.p + kElementHeader + 4 * i);
        m->attrs.resize(v.attrCount);
        for (uint32_t i = 0; i < v.attrCount; ++i) {
            const uint8_t* q = v.p + v.attrOffset(i);
            m->attrs[i] = ldomAttribute{loadLE16(q), loadLE16(q + 2), loadLE32(q + 4)};
        }
        uint32_t address = data_;
        data_ = d->storeMutableElement(std::move(m));
        setType(NodeTypeMutableElement);
        DomInternals::freeRecord(d->elementStorage_, address);
        return this;
    }
    case NodeTypePersistentText: {
        DomInternals::TextView v;
        if (!DomInternals::textView(this, v)) {
            LOG_ERROR("modify(): the record of text node %u cannot be read", getDataIndex());
            return nullptr;
        }
        auto t = std::make_unique<ldomMutableText>();
        t->parent = loadLE32(v.p + 8);
        t->text = LVString8(reinterpret_cast<const char*>(v.p + kTextHeader),
                            static_cast<int32_t>(v.length));
        uint32_t address = data_;
        data_ = d->storeMutableText(std::move(t));
        setType(NodeTypeMutableText);
        DomInternals::freeRecord(d->textStorage_, address);
        return this;
    }
    default:
        return this;
    }
}

ldomNode* ldomNode::persist() {
    if (isNull()) return nullptr;
    lxmlDocBase* d = DomInternals::doc(this);
    if (ldomMutableElement* m = DomInternals::mutElement(this)) {
        NodeHandle own = makeNodeHandle(getDataIndex(), NodeTypePersistentElement);
        uint32_t address = DomInternals::writeElementRecord(d, own, *m);
        if (address == kNoAddress) {
            LOG_ERROR("persist(): no storage for element %u", getDataIndex());
            return nullptr;
        }
        d->releaseMutableElement(data_);
        data_ = address;
        setType(NodeTypePersistentElement);
        return this;
    }
    if (ldomMutableText* t = DomInternals::mutText(this)) {
        const char* bytes = t->text.c_str();
        size_t len = static_cast<size_t>(t->text.length());
        size_t first = utf8PieceLength(bytes, len, kMaxTextBytes);
        if (first < len) {
            // Too long for one record: the rest goes into new text nodes
            // right after this one.
            ldomNode* parent = getParentNode();
            int self = getNodeIndex();
            if (!parent || self < 0 || !parent->modify()) {
                LOG_ERROR("persist(): text node %u is too long and has no parent to split it in",
                          getDataIndex());
                return nullptr;
            }
            LVString8 text = t->text;  // keeps the bytes while pieces are added
            bytes = text.c_str();
            std::vector<size_t> starts;
            for (size_t pos = first; pos < len; pos += utf8PieceLength(bytes + pos, len - pos,
                                                                         kMaxTextBytes))
                starts.push_back(pos);
            // Pieces are inserted last first, each right after this node, so
            // that after a failure this node still ends where the inserted
            // pieces begin: nothing is lost or doubled.
            size_t at = static_cast<size_t>(self) + 1;
            size_t end = len;
            for (size_t k = starts.size(); k-- > 0;) {
                if (!DomInternals::newTextChild(parent, at, bytes + starts[k],
                                                static_cast<uint32_t>(end - starts[k]))) {
                    DomInternals::mutText(this)->text = LVString8(bytes, static_cast<int32_t>(end));
                    return nullptr;
                }
                end = starts[k];
            }
            t = DomInternals::mutText(this);
            t->text = LVString8(bytes, static_cast<int32_t>(first));
            bytes = t->text.c_str();
        }
        NodeHandle own = makeNodeHandle(getDataIndex(), NodeTypePersistentText);
        uint32_t address =
            DomInternals::writeTextRecord(d, own, t->parent, bytes, static_cast<uint32_t>(first));
        if (address == kNoAddress) {
            LOG_ERROR("persist(): no storage for text node %u", getDataIndex());
            return nullptr;
        }
        d->releaseMutableText(data_);
        data_ = address;
        setType(NodeTypePersistentText);
        return this;
    }
    return this;
}

ldomNode* ldomNode::insertChildElement(int index, uint16_t nsid, uint16_t id) {
    if (!isElement()) {
        LOG_ERROR("%s", kTextIsReadOnly);
        return nullptr;
    }
    if (!modify()) return nullptr;
    lxmlDocBase* d = DomInternals::doc(this);
    ldomNode* n = d->allocInstance(NodeTypeMutableElement);
    if (!n) return nullptr;
    auto m = std::make_unique<ldomMutableElement>();
    m->parent = getRef();
    m->nameId = id;
    m->nsId = nsid;
    n->data_ = d->storeMutableElement(std::move(m));
    std::vector<NodeHandle>& children = DomInternals::mutElement(this)->children;
    if (index < 0 || static_cast<size_t>(index) >= children.size())
        children.push_back(n->getRef());
    else
        children.insert(children.begin() + index, n->getRef());
    return n;
}

ldomNode* ldomNode::insertChildText(const char* utf8, size_t byteCount) {
    if (!isElement()) {
        LOG_ERROR("%s", kTextIsReadOnly);
        return nullptr;
    }
    if (!modify()) return nullptr;
    if (!utf8) {
        utf8 = "";
        byteCount = 0;
    }
    ldomNode* first = nullptr;
    size_t pos = 0;
    do {
        size_t piece = utf8PieceLength(utf8 + pos, byteCount - pos, kMaxTextBytes);
        ldomNode* n = DomInternals::newTextChild(this, SIZE_MAX, utf8 + pos,
                                                 static_cast<uint32_t>(piece));
        if (!n) return first;
        if (!first) first = n;
        pos += piece;
    } while (pos < byteCount);
    return first;
}

ldomNode* ldomNode::insertChildText(const char* utf8) {
    return insertChildText(utf8, utf8 ? std::strlen(utf8) : 0);
}

ldomNode* ldomNode::insertChildText(const LVString8& utf8) {
    return insertChildText(utf8.c_str(), static_cast<size_t>(utf8.length()));
}

ldomNode* ldomNode::insertChildText(const LVString16& text) {
    return insertChildText(encodeUtf8(text));
}

ldomNode* ldomNode::removeChild(int index) {
    if (!isElement()) {
        LOG_ERROR("%s", kTextIsReadOnly);
        return nullptr;
    }
    if (index < 0 || index >= getChildCount() || !modify()) return nullptr;
    std::vector<NodeHandle>& children = DomInternals::mutElement(this)->children;
    NodeHandle ref = children[index];
    children.erase(children.begin() + index);
    ldomNode* child = DomInternals::doc(this)->getNodeById(ref);
    if (child) DomInternals::setParentRef(child, 0);
    return child;
}

bool ldomNode::moveChildrenTo(ldomNode* target, int from, int to) {
    if (!isElement() || !target || !target->isElement()) return false;
    int count = getChildCount();
    from = std::max(from, 0);
    to = std::min(to, count - 1);
    if (from > to) return true;
    // The target must not lie inside one of the moved subtrees.
    NodeHandle self = getRef();
    int steps = 0;
    for (ldomNode* a = target; a && steps < kMaxWalk; a = a->getParentNode(), ++steps) {
        if (DomInternals::parentRef(a) == self) {
            int i = a->getNodeIndex();
            if (i >= from && i <= to) {
                LOG_ERROR("moveChildrenTo(): the target lies inside a moved child");
                return false;
            }
            break;
        }
    }
    if (!modify() || !target->modify()) return false;
    std::vector<NodeHandle>& src = DomInternals::mutElement(this)->children;
    std::vector<NodeHandle> moved(src.begin() + from, src.begin() + to + 1);
    src.erase(src.begin() + from, src.begin() + to + 1);
    std::vector<NodeHandle>& dst = DomInternals::mutElement(target)->children;
    dst.insert(dst.end(), moved.begin(), moved.end());
    lxmlDocBase* d = DomInternals::doc(this);
    NodeHandle targetRef = target->getRef();
    for (NodeHandle ref : moved)
        if (ldomNode* c = d->getNodeById(ref)) DomInternals::setParentRef(c, targetRef);
    return true;
}

void ldomNode::destroy() {
    if (isNull()) return;
    if (isRoot()) {
        LOG_ERROR("destroy(): the root element cannot be destroyed");
        return;
    }
    if (ldomNode* parent = getParentNode()) {
        int i = getNodeIndex();
        if (i >= 0) parent->removeChild(i);
    }
    // Collect the subtree breadth first (every node after its parent), then
    // free it backwards so that children go before their parents.
    std::vector<ldomNode*> nodes{this};
    for (size_t k = 0; k < nodes.size(); ++k) {
        ldomNode* n = nodes[k];
        if (!n->isElement()) continue;
        int count = n->getChildCount();
        for (int i = 0; i < count; ++i)
            if (ldomNode* c = n->getChildNode(i)) nodes.push_back(c);
    }
    for (size_t k = nodes.size(); k-- > 0;) DomInternals::freeNode(nodes[k]);
}

// ---- render data ----------------------------------------------------------------------------

uint8_t ldomNode::getRenderMethod() const {
    if (ldomMutableElement* m = DomInternals::mutElement(this)) return m->renderMethod;
    DomInternals::ElementView v;
    return DomInternals::elementView(this, v) ? v.p[18] : 0;
}

void ldomNode::setRenderMethod(uint8_t method) {
    if (ldomMutableElement* m = DomInternals::mutElement(this)) {
        m->renderMethod = method;
        return;
    }
    if (isElement() && isPersistent())
        DomInternals::doc(this)->elementStorage_.writeAt(data_, 18, &method, 1);
}

NodeStyleRecord ldomNode::getStyleRecord() const {
    NodeStyleRecord r;
    if (!isElement()) return r;
    NodeHandle h = getRef();
    uint8_t bytes[4];
    if (DomInternals::doc(this)->styleStorage_.readFixed(h >> 16, ((h >> 4) & 0xFFF) * 4, bytes, 4)) {
        r.styleIndex = loadLE16(bytes);
        r.fontIndex = loadLE16(bytes + 2);
    }
    return r;
}

void ldomNode::setStyleRecord(const NodeStyleRecord& record) {
    if (!isElement()) return;
    NodeHandle h = getRef();
    uint8_t bytes[4];
    storeLE16(bytes, record.styleIndex);
    storeLE16(bytes + 2, record.fontIndex);
    DomInternals::doc(this)->styleStorage_.writeFixed(h >> 16, ((h >> 4) & 0xFFF) * 4, bytes, 4);
}

void ldomNode::setStyleIndex(uint16_t index) {
    NodeStyleRecord r = getStyleRecord();
    r.styleIndex = index;
    setStyleRecord(r);
}

void ldomNode::setFontIndex(uint16_t index) {
    NodeStyleRecord r = getStyleRecord();
    r.fontIndex = index;
    setStyleRecord(r);
}

void ldomNode::getRenderData(RenderRect& rect) const {
    rect = RenderRect();
    if (!isElement()) return;
    NodeHandle h = getRef();
    uint8_t bytes[16];
    if (DomInternals::doc(this)->rectStorage_.readFixed(h >> 15, h & 0x7FF0, bytes, 16)) {
        rect.x = static_cast<int32_t>(loadLE32(bytes));
        rect.width = static_cast<int32_t>(loadLE32(bytes + 4));
        rect.y = static_cast<int32_t>(loadLE32(bytes + 8));
        rect.height = static_cast<int32_t>(loadLE32(bytes + 12));
    }
}

void ldomNode::setRenderData(const RenderRect& rect) {
    if (!isElement()) return;
    NodeHandle h = getRef();
    uint8_t bytes[16];
    storeRect(bytes, rect);
    DomInternals::doc(this)->rectStorage_.writeFixed(h >> 15, h & 0x7FF0, bytes, 16);
}

void ldomNode::getAbsRect(RenderRect& rect) const {
    getRenderData(rect);
    if (!isElement()) return;
    int64_t x = rect.x, y = rect.y;
    int steps = 0;
    for (const ldomNode* n = getParentNode(); n && steps < kMaxWalk; n = n->getParentNode(), ++steps) {
        RenderRect r;
        n->getRenderData(r);
        x += r.x;
        y += r.y;
    }
    rect.x = static_cast<int32_t>(std::clamp<int64_t>(x, INT32_MIN, INT32_MAX));
    rect.y = static_cast<int32_t>(std::clamp<int64_t>(y, INT32_MIN, INT32_MAX));
}

// ---- paths and references -------------------------------------------------------------------

LVString16 ldomNode::pathSegment() const {
    if (isNull() || isRoot()) return LVString16();
    ldomNode* parent = getParentNode();
    bool element = isElement();
    uint16_t id = element ? getNodeId() : 0;
    int n = 1;
    if (parent) {
        int count = parent->getChildCount();
        for (int i = 0; i < count; ++i) {
            ldomNode* c = parent->getChildNode(i);
            if (c == this) break;
            if (!c) continue;
            if (element ? (c->isElement() && c->getNodeId() == id) : c->isText()) ++n;
        }
    }
    LVString16 out = element ? getNodeName() : LVString16("text()");
    out.append(1, u'[');
    out.appendNumber(n);
    out.append(1, u']');
    return out;
}

LVString16 ldomNode::getHRef() const {
    if (isNull()) return LVString16();
    lxmlDocBase* d = DomInternals::doc(this);
    uint16_t aId = d->findElementNameIndex(LVString16("a"));
    uint16_t hrefId = d->findAttrNameIndex(LVString16("href"));
    if (!aId || !hrefId) return LVString16();
    const ldomNode* n = this;
    for (int steps = 0; n && steps < kMaxWalk; n = n->getParentNode(), ++steps)
        if (n->isElement() && n->getNodeId() == aId) break;
    if (!n) return LVString16();
    LVString16 href = n->getAttributeValue(kAnyNamespace, hrefId);
    if (!href.empty() && href[0] != u'#') href = decodePercentEscapes(href);
    return href;
}

LVString16 ldomNode::getImageReference() const {
    const ElementDefProps* props = getElementTypePtr();
    if (!props || !props->isObject) return LVString16();
    lxmlDocBase* d = DomInternals::doc(this);
    uint16_t href = d->findAttrNameIndex(LVString16("href"));
    uint16_t src = d->findAttrNameIndex(LVString16("src"));
    int xlink = d->findNsNameIndex(LVString16("xlink"));
    int l = d->findNsNameIndex(LVString16("l"));
    const std::pair<int, uint16_t> candidates[] = {
        {xlink ? xlink : -2, href}, {l ? l : -2, href}, {kAnyNamespace, href}, {kAnyNamespace, src}};
    LVString16 ref;
    for (const auto& [ns, id] : candidates) {
        if (!id || ns == -2) continue;
        ref = getAttributeValue(ns, id);
        if (!ref.empty()) break;
    }
    if (ref.empty()) {
        uint16_t recindex = d->findAttrNameIndex(LVString16("recindex"));
        int32_t n = 0;
        if (recindex && getAttributeValue(kAnyNamespace, recindex).parseDecimal(n)) {
            ref = LVString16("mobi_image_");
            ref.appendNumber(static_cast<int64_t>(n) - 1);
        }
    }
    if (ref.length() > 1) return decodePercentEscapes(ref);
    return LVString16();
}
