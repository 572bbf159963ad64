// Document nodes.
//
// An ldomNode is an 8-byte instance living in one of its document's two
// instance tables (elements, text nodes). It carries no pointers:
//   word 1: bits 0..7 the document's registry slot, bits 8..31 the node's own
//           handle (so the type sits in bits 8..11);
//   word 2: for a mutable node, the index of its object in the document's
//           side table of mutable objects; for a persistent node, the storage
//           address of its record; for a free instance, the index of the next
//           free instance of its table.
// A node finds its document through DocumentRegistry by the slot in word 1.
//
// Pointers to instances stay valid while the node lives: instance chunks
// never move. Operations that only make sense for elements return 0, null or
// the empty string when called on a text node or a free instance.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "dom/datastorage.h"
#include "dom/nametables.h"
#include "dom/nodehandle.h"
#include "foundation/lvstring.h"

class ldomDocument;
struct DomInternals;

// One attribute of an element: namespace id (0 none), attribute name id and
// the index of its value in the document's AttributeValueTable.
struct ldomAttribute {
    uint16_t nsid = 0;
    uint16_t id = 0;
    uint32_t valueIndex = 0;
};

class ldomNode {
public:
    // Persistent text records hold at most this many bytes; longer text is
    // split into consecutive text nodes at a UTF-8 character boundary.
    static constexpr uint32_t kMaxTextBytes = 0xFFFF;
    // Attributes one element may carry; further new attributes are refused.
    static constexpr uint32_t kMaxAttributes = 1024;
    // Matches any namespace in attribute and child lookups.
    static constexpr int kAnyNamespace = -1;

    // ---- identity ----
    int getDocIndex() const { return static_cast<int>(handleWord_ & 0xFF); }
    NodeHandle getHandle() const { return handleWord_ >> 8; }
    // The handle in the form other nodes store (persistent bit cleared).
    NodeHandle getRef() const { return nodeHandleRef(getHandle()); }
    // Index in the instance table of the node's kind.
    uint32_t getDataIndex() const { return nodeHandleIndex(getHandle()); }
    bool isNull() const { return handleWord_ < 256; }
    bool isElement() const { return !isNull() && nodeHandleIsElement(getHandle()); }
    bool isText() const { return !isNull() && !nodeHandleIsElement(getHandle()); }
    bool isPersistent() const { return !isNull() && nodeHandleIsPersistent(getHandle()); }
    bool isMutable() const { return !isNull() && !nodeHandleIsPersistent(getHandle()); }
    // The element with index 1, created by the document.
    bool isRoot() const { return isElement() && getDataIndex() == 1; }
    ldomDocument* getDocument() const;

    // ---- tree ----
    // Null for the root and for detached nodes.
    ldomNode* getParentNode() const;
    int getChildCount() const;
    ldomNode* getChildNode(int index) const;
    // The index-th child when it is an element whose id equals filterId
    // (any element when filterId is 0); else null.
    ldomNode* getChildElementNode(int index, uint16_t filterId = 0) const;
    // Position in the parent's child list (linear scan); -1 when the parent
    // does not list the node or there is no parent.
    int getNodeIndex() const;
    // Nodes from this one up to and including the topmost ancestor.
    int getNodeLevel() const;
    // The index-th (from 0; -1 takes the first) child element with name id
    // and namespace nsid (kAnyNamespace matches any).
    ldomNode* findChildElement(int nsid, uint16_t id, int index) const;
    // Follows a zero-terminated list of element ids, taking at each step the
    // first child with that id in any namespace.
    ldomNode* findChildElement(const uint16_t* path) const;

    // ---- names ----
    uint16_t getNodeId() const;
    uint16_t getNodeNsId() const;
    LVString16 getNodeName() const;
    LVString16 getNodeNsName() const;
    const ElementDefProps* getElementTypePtr() const;
    // Renames the element (it becomes mutable).
    bool setNodeId(uint16_t id);

    // ---- text ----
    // A text node's text; for an element, the text of all its descendant
    // text nodes in document order, concatenated.
    LVString16 getText() const;
    LVString8 getText8() const;
    // A text node's UTF-8 bytes without a copy. The pointer stays valid until
    // the document changes or another record is read (a storage may swap).
    // False for elements and null nodes.
    bool getTextBytes(const char*& data, uint32_t& length) const;
    // Replaces a text node's text (the node becomes mutable).
    bool setText(const LVString8& utf8);
    bool setText(const LVString16& text);

    // ---- attributes ----
    int getAttrCount() const;
    // The index-th attribute; false when there is none.
    bool getAttribute(int index, ldomAttribute& out) const;
    // Empty when absent. nsid kAnyNamespace matches any namespace.
    LVString16 getAttributeValue(int nsid, uint16_t id) const;
    LVString16 getAttributeValue(uint16_t id) const { return getAttributeValue(kAnyNamespace, id); }
    // By names; a null or empty namespace name matches any namespace.
    LVString16 getAttributeValue(const char* nsName, const char* attrName) const;
    LVString16 getAttributeValue(const lvchar16* nsName, const lvchar16* attrName) const;
    bool hasAttribute(int nsid, uint16_t id) const;
    bool hasAttribute(uint16_t id) const { return hasAttribute(kAnyNamespace, id); }
    // Stores the value in the value table. A persistent element that already
    // has the attribute is updated in place and stays persistent; otherwise
    // the element becomes mutable and the attribute is added or replaced.
    // The id map follows every change of an `id` (or an `a` element's `name`)
    // without namespace. False for text nodes and when the attribute limit is
    // reached.
    bool setAttributeValue(uint16_t nsid, uint16_t id, const LVString16& value);

    // ---- changes ----
    // Creates a mutable element at position min(index, child count) (a
    // negative index appends); this element becomes mutable first. Null on a
    // text node or when the element table is full.
    ldomNode* insertChildElement(int index, uint16_t nsid, uint16_t id);
    ldomNode* insertChildElement(uint16_t id) { return insertChildElement(-1, 0, id); }
    // Appends text as persistent text nodes (several when it is longer than
    // kMaxTextBytes). Returns the first new node, or null on a text node or
    // when the text table is full (the pieces created before stay).
    ldomNode* insertChildText(const LVString16& text);
    ldomNode* insertChildText(const LVString8& utf8);
    ldomNode* insertChildText(const char* utf8);
    ldomNode* insertChildText(const char* utf8, size_t byteCount);
    // Detaches and returns the index-th child (this element becomes mutable).
    ldomNode* removeChild(int index);
    // Moves children from..to (inclusive, clipped) in order to the end of
    // target's child list. Refused when target lies inside a moved subtree.
    bool moveChildrenTo(ldomNode* target, int from, int to);
    // Detaches the node and deletes it with its whole subtree. The root
    // cannot be destroyed.
    void destroy();
    // Persistent -> mutable. Returns the node (null when its record cannot
    // be read).
    ldomNode* modify();
    // Mutable -> persistent. Returns the node, or null when it stays mutable
    // because storage could not be had.
    ldomNode* persist();

    // ---- render data ----
    uint8_t getRenderMethod() const;
    void setRenderMethod(uint8_t method);
    NodeStyleRecord getStyleRecord() const;
    void setStyleRecord(const NodeStyleRecord& record);
    uint16_t getStyleIndex() const { return getStyleRecord().styleIndex; }
    uint16_t getFontIndex() const { return getStyleRecord().fontIndex; }
    void setStyleIndex(uint16_t index);
    void setFontIndex(uint16_t index);
    void getRenderData(RenderRect& rect) const;
    void setRenderData(const RenderRect& rect);
    // The box with x and y summed over the element and all its ancestors.
    void getAbsRect(RenderRect& rect) const;

    // ---- paths and references ----
    // "name[n]" for an element (n: 1 + earlier siblings with the same name
    // id), "text()[n]" for a text node, empty for the root.
    LVString16 pathSegment() const;
    // The href of the nearest enclosing `a` element; percent escapes are
    // decoded unless the value starts with '#'.
    LVString16 getHRef() const;
    // The image an object element (img, image) refers to; empty otherwise.
    LVString16 getImageReference() const;

    // ---- walks (iterative; any depth) ----
    // fn(ldomNode*) on every element of the subtree, parent before children.
    template <class Fn>
    void visitElements(Fn&& fn);
    // fn(ldomNode*) on every element of the subtree, children before parent.
    template <class Fn>
    void visitElementsDepthFirst(Fn&& fn);

private:
    friend struct DomInternals;
    friend class tinyNodeCollection;
    friend class lxmlDocBase;

    void setType(uint32_t type) {
        handleWord_ = (handleWord_ & ~0xF00u) | ((type & kNodeTypeMask) << 8);
    }

    uint32_t handleWord_;
    uint32_t data_;
};

static_assert(sizeof(ldomNode) == 8, "node instances are 8 bytes");

template <class Fn>
void ldomNode::visitElements(Fn&& fn) {
    if (!isElement()) return;
    fn(this);
    std::vector<std::pair<ldomNode*, int>> stack;
    stack.emplace_back(this, 0);
    while (!stack.empty()) {
        ldomNode* node = stack.back().first;
        int i = stack.back().second;
        if (i >= node->getChildCount()) {
            stack.pop_back();
            continue;
        }
        stack.back().second = i + 1;
        ldomNode* child = node->getChildNode(i);
        if (child && child->isElement()) {
            fn(child);
            stack.emplace_back(child, 0);
        }
    }
}

template <class Fn>
void ldomNode::visitElementsDepthFirst(Fn&& fn) {
    if (!isElement()) return;
    std::vector<std::pair<ldomNode*, int>> stack;
    stack.emplace_back(this, 0);
    while (!stack.empty()) {
        ldomNode* node = stack.back().first;
        int i = stack.back().second;
        if (i >= node->getChildCount()) {
            stack.pop_back();
            fn(node);
            continue;
        }
        stack.back().second = i + 1;
        ldomNode* child = node->getChildNode(i);
        if (child && child->isElement()) stack.emplace_back(child, 0);
    }
}
