// The document tree of one book.
//
// Three layers, each adding one concern:
//   tinyNodeCollection  node instance tables, the four data storages,
//                       document flags, cache-file hook, registry slot;
//   lxmlDocBase         name tables, attribute values, id map, render
//                       properties, highlight settings, page-list buffer;
//   ldomDocument        the concrete, reference-counted document.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "dom/datastorage.h"
#include "dom/idnodemap.h"
#include "dom/ldomnode.h"
#include "dom/nametables.h"
#include "dom/nodehandle.h"
#include "foundation/lvstring.h"
#include "foundation/props.h"
#include "foundation/refcount.h"
#include "foundation/timelimit.h"
#include "streams/container.h"

class TimeLimit;
class tinyNodeCollection;
class ldomTocItem;
class ldomXRangeList;
struct ldomWordSpan;
class DocumentStyler;
class DocumentBlobSink;

// Document flags.
constexpr uint32_t DOC_FLAG_ENABLE_INTERNAL_STYLES = 0x0001;
constexpr uint32_t DOC_FLAG_ENABLE_FOOTNOTES = 0x0002;
constexpr uint32_t DOC_FLAG_PREFORMATTED_TEXT = 0x0004;
constexpr uint32_t DOC_FLAG_TEXT_PREFORMATTED = DOC_FLAG_PREFORMATTED_TEXT;
constexpr uint32_t DOC_FLAG_ENABLE_DOC_FONTS = 0x0008;
constexpr uint32_t DOC_FLAGS_DEFAULT = 0x000B;

// Process-wide table of live documents. A node stores its document's slot
// number in its instance, so a node finds its document without a pointer.
class DocumentRegistry {
public:
    static constexpr int kSlots = 256;

    // Takes the first free slot at or after the one following the last slot
    // handed out (wrapping); -1 when all are taken.
    static int registerDocument(tinyNodeCollection* doc);
    // Clears every slot holding doc.
    static void unregisterDocument(tinyNodeCollection* doc);
    static tinyNodeCollection* get(int slot) { return slots_[slot & 0xFF]; }
    static int liveCount();

private:
    static inline tinyNodeCollection* slots_[kSlots] = {};
    static inline int next_ = 0;
};

// A text node while it is mutable.
struct ldomMutableText {
    NodeHandle parent = 0;  // reference form
    LVString8 text;         // UTF-8
};

// An element while it is mutable.
struct ldomMutableElement {
    NodeHandle parent = 0;  // reference form; 0 for the root and detached elements
    uint16_t nameId = 0;
    uint16_t nsId = 0;
    uint8_t renderMethod = 0;
    std::vector<NodeHandle> children;  // reference form
    std::vector<ldomAttribute> attrs;
};

// Values recorded at the last full render and compared to decide whether a
// cached layout can be reused.
struct DocRenderProps {
    uint32_t pageWidth = 0;
    uint32_t pageHeight = 0;
    uint32_t docFlags = 0;
    uint32_t styleHash = 0;
    uint32_t stylesheetHash = 0;
};

// Colours (0xTTRRGGBB) and mode used when drawing highlights.
struct DocHighlightSettings {
    uint32_t selectionColor = 0x80AAAAAA;
    uint32_t bookmarkCommentColor = 0xC0FFFF00;
    uint32_t bookmarkCorrectionColor = 0xC0FF8000;
    int highlightBookmarks = 1;
};

class tinyNodeCollection {
public:
    virtual ~tinyNodeCollection();
    tinyNodeCollection(const tinyNodeCollection&) = delete;
    tinyNodeCollection& operator=(const tinyNodeCollection&) = delete;

    // False when no registry slot was free: such a document has no nodes.
    bool isRegistered() const { return docIndex_ >= 0; }
    int getDocIndex() const { return docIndex_; }

    // The element with index 1 (null for an unregistered document).
    ldomNode* getRootNode() const;
    // The node a handle names, in either form; null for 0, a free instance,
    // or an index that was never handed out.
    ldomNode* getNodeById(NodeHandle handle) const;

    // Highest instance index handed out, per kind.
    uint32_t getElementCount() const { return elements_.maxIndex; }
    uint32_t getTextCount() const { return texts_.maxIndex; }
    uint32_t getLiveNodeCount() const { return liveNodes_; }
    uint32_t getMutableElementCount() const { return mutableElementCount_; }
    uint32_t getMutableTextCount() const { return mutableTextCount_; }
    // True once a node could not be created because an instance table was
    // full; a load that sees it fails with a message.
    bool nodeTableOverflow() const { return nodeTableOverflow_; }

    // ---- flags ----
    uint32_t getDocFlags() const { return docFlags_; }
    bool getDocFlag(uint32_t flag) const { return (docFlags_ & flag) != 0; }
    void setDocFlag(uint32_t flag, bool on);
    void setDocFlags(uint32_t value);

    // ---- storages ----
    ldomDataStorageManager& textStorage() { return textStorage_; }
    ldomDataStorageManager& elementStorage() { return elementStorage_; }
    ldomDataStorageManager& rectStorage() { return rectStorage_; }
    ldomDataStorageManager& styleStorage() { return styleStorage_; }

    // ---- cache file ----
    DocCacheFile* cacheFile() const { return cacheFile_.get(); }
    void setCacheFile(std::unique_ptr<DocCacheFile> file) { cacheFile_ = std::move(file); }
    // Gets a cache file for swapping. Without a cache directory there is
    // none: the default reports failure and chunks stay in memory.
    virtual bool createCacheFile();
    // Set when a swap or a restore failed; later swaps are refused.
    bool cacheFailed() const { return cacheFailed_; }
    void setCacheFailed() { cacheFailed_ = true; }

    // Logs element, text, storage and node counts.
    void logMemoryUsage() const;

protected:
    tinyNodeCollection();

    struct InstanceTable {
        ldomNode* chunks[1024] = {};  // 1024 instances each, allocated on first use
        uint32_t maxIndex = 0;
        uint32_t freeHead = 0;
    };

private:
    friend class ldomNode;
    friend class lxmlDocBase;
    friend struct DomInternals;

    ldomNode* instanceAt(bool element, uint32_t index) const;
    // A fresh instance of the given type (mutable text, mutable element or
    // persistent text); null when the table is full.
    ldomNode* allocInstance(uint32_t type);
    void freeInstance(ldomNode* node);

    uint32_t storeMutableElement(std::unique_ptr<ldomMutableElement> e);
    ldomMutableElement* mutableElement(uint32_t slot) const {
        return slot < mutableElements_.size() ? mutableElements_[slot].get() : nullptr;
    }
    void releaseMutableElement(uint32_t slot);
    uint32_t storeMutableText(std::unique_ptr<ldomMutableText> t);
    ldomMutableText* mutableText(uint32_t slot) const {
        return slot < mutableTexts_.size() ? mutableTexts_[slot].get() : nullptr;
    }
    void releaseMutableText(uint32_t slot);

    int docIndex_ = -1;
    uint32_t docFlags_ = DOC_FLAGS_DEFAULT;
    InstanceTable elements_;
    InstanceTable texts_;
    uint32_t liveNodes_ = 0;
    uint32_t mutableElementCount_ = 0;
    uint32_t mutableTextCount_ = 0;
    bool nodeTableOverflow_ = false;

    std::vector<std::unique_ptr<ldomMutableElement>> mutableElements_;
    std::vector<uint32_t> freeElementSlots_;
    std::vector<std::unique_ptr<ldomMutableText>> mutableTexts_;
    std::vector<uint32_t> freeTextSlots_;

    ldomDataStorageManager textStorage_;
    ldomDataStorageManager elementStorage_;
    ldomDataStorageManager rectStorage_;
    ldomDataStorageManager styleStorage_;

    std::unique_ptr<DocCacheFile> cacheFile_;
    bool cacheFailed_ = false;
    bool reportedNoCacheDir_ = false;
};

class lxmlDocBase : public tinyNodeCollection {
public:
    // ---- name tables ----
    // Ids by name, creating the name when absent (0 for an empty name).
    uint16_t getElementNameIndex(const LVString16& name) { return elementNames_.idByName(name, true); }
    uint16_t getElementNameIndex(const char* name) { return elementNames_.idByName(name, true); }
    uint16_t getAttrNameIndex(const LVString16& name) { return attrNames_.idByName(name, true); }
    uint16_t getAttrNameIndex(const char* name) { return attrNames_.idByName(name, true); }
    uint16_t getNsNameIndex(const LVString16& name) { return nsNames_.idByName(name, true); }
    uint16_t getNsNameIndex(const char* name) { return nsNames_.idByName(name, true); }
    // Ids by name without creating; 0 when unknown.
    uint16_t findElementNameIndex(const LVString16& name) const { return elementNames_.findId(name); }
    uint16_t findAttrNameIndex(const LVString16& name) const { return attrNames_.findId(name); }
    uint16_t findNsNameIndex(const LVString16& name) const { return nsNames_.findId(name); }
    // Names by id; empty when unknown.
    LVString16 getElementName(uint16_t id) const { return elementNames_.nameById(id); }
    LVString16 getAttrName(uint16_t id) const { return attrNames_.nameById(id); }
    LVString16 getNsName(uint16_t id) const { return nsNames_.nameById(id); }
    const ElementDefProps* getElementTypePtr(uint16_t id) const { return elementNames_.propsById(id); }

    // Loads a predefined table (rows up to the one with id 0).
    bool setNodeTypes(const NameTableRow* table) { return elementNames_.loadTable(table); }
    bool setAttributeTypes(const NameTableRow* table);
    bool setNameSpaceTypes(const NameTableRow* table) { return nsNames_.loadTable(table); }
    // The three built-in tables.
    bool loadDefaultNameTables();

    const NameIdMap& elementNames() const { return elementNames_; }
    const NameIdMap& attrNames() const { return attrNames_; }
    const NameIdMap& nsNames() const { return nsNames_; }

    // ---- attribute values and ids ----
    AttributeValueTable& attrValues() { return attrValues_; }
    const AttributeValueTable& attrValues() const { return attrValues_; }
    LVString16 getAttrValue(uint32_t index) const { return attrValues_.get(index); }
    const IdNodeMap& idMap() const { return idMap_; }
    // The element whose `id` (or, for `a`, `name`) is value; null when none.
    ldomNode* getNodeByIdValue(const LVString16& value) const;

    // ---- whole-document conversion ----
    // Converts every mutable element, then every mutable text node, to
    // persistent form. 0 done, 1 the time limit expired (call again to
    // continue), 2 some node could not be converted.
    int persist(const TimeLimit& limit);

    // ---- render properties, highlight settings, page list ----
    DocRenderProps& renderProps() { return renderProps_; }
    DocHighlightSettings& highlightSettings() { return highlight_; }
    std::vector<uint8_t>& pageListData() { return pageListData_; }

protected:
    lxmlDocBase();

private:
    friend class ldomNode;
    friend struct DomInternals;

    // Keeps the id map in step with an attribute set on element (namespace 0).
    void onAttributeSet(ldomNode* element, uint16_t attrId, uint32_t oldValue, uint32_t newValue);
    // Drops the id-map entries that point at element.
    void onElementDestroyed(ldomNode* element);
    // Whether attribute attrId of an element named elementId is tracked by the id map.
    bool isIdAttribute(uint16_t elementId, uint16_t attrId) const;

    NameIdMap elementNames_;
    NameIdMap attrNames_;
    NameIdMap nsNames_;
    AttributeValueTable attrValues_;
    IdNodeMap idMap_;
    DocRenderProps renderProps_;
    DocHighlightSettings highlight_;
    std::vector<uint8_t> pageListData_;
    mutable uint16_t idAttrId_ = 0;
    mutable uint16_t nameAttrId_ = 0;
    mutable uint16_t aElementId_ = 0;
};

// Told by the document cache which format a cached document was stored with.
class CacheLoadingCallback {
public:
    virtual ~CacheLoadingCallback() = default;
    virtual void onCachedFormatKnown(int formatId) = 0;
};

class ldomDocument : public LVRefCounter, public lxmlDocBase {
public:
    // A new document, or null when 256 documents are already live. With
    // loadDefaultNames the built-in element, attribute and namespace tables
    // are loaded.
    static Ref<ldomDocument> create(bool loadDefaultNames = true);

    ldomDocument();
    ~ldomDocument() override;

    // ---- document properties (doc.title, doc.file.code.base, ...) ----
    const QLPropRef& getProps() const { return props_; }
    // Shares the given set (the view's doc.* properties) instead of its own,
    // so that what a reader writes here is what the view shows.
    void setProps(const QLPropRef& props) {
        if (props) props_ = props;
    }

    // ---- the folder or archive the book lives in (links, images, styles) ----
    const ContainerHandle& getContainer() const { return container_; }
    void setContainer(const ContainerHandle& container) { container_ = container; }

    // Percent by which spaces may be condensed when justifying lines.
    int getSpaceCondensingPercent() const { return spaceCondensingPercent_; }
    void setSpaceCondensingPercent(int percent) {
        spaceCondensingPercent_ = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    }

    // ---- document cache ----
    // Restores the document from its cache file; false when there is no
    // cache directory or no usable file (a cache directory is never set
    // until the cache is built, so this always parses afresh today).
    bool openFromCache(CacheLoadingCallback* callback);
    // Writes the document to its cache file within the time limit: 0 done,
    // 1 timed out, 2 error or no cache file.
    int updateCacheFile(TimeLimit& limit);

    // ---- table of contents (root item: level 0, no title) ----
    ldomTocItem* getToc() const { return toc_.get(); }

    // ---- current selection, search hits and chosen link (kept by the view) ----
    ldomXRangeList& getSelections() const { return *selections_; }

    // ---- hooks for styling while parsing and for binary objects ----
    // Never null: a document without a styler or blob store uses do-nothing ones.
    DocumentStyler& styler() const;
    void setStyler(std::unique_ptr<DocumentStyler> styler);
    DocumentBlobSink& blobSink() const;
    void setBlobSink(std::unique_ptr<DocumentBlobSink> sink);

    // The stylesheet file a `link` element of the book names (combined with
    // the book's code base); empty when there is none.
    const LVString16& getStylesheetFileName() const { return stylesheetFile_; }
    void setStylesheetFileName(const LVString16& name) { stylesheetFile_ = name; }

    // Text search (search.cpp). Appends to words every occurrence of pattern
    // inside one text node, in document order, or backwards with reverse;
    // true when anything was found. caseInsensitive lower-cases pattern and
    // text; without it neither is changed. At most maxCount words (no limit
    // when 0 or less). With maxHeight > 0 the first hit's y is a base and the
    // search ends at a hit more than maxHeight below it (above it, in
    // reverse).
    //
    // The y bounds minY..maxY select the part of the laid-out document to
    // search. Turning y coordinates into positions needs the block layout,
    // which does not exist yet: until it does, the whole document is
    // searched and minY/maxY only have to be sane (minY is clamped to 0, a
    // maxY of 0 or less means the end). A hit's y is its text's element box
    // (zero before layout, so maxHeight has no effect until then).
    bool findText(const LVString16& pattern, bool caseInsensitive, bool reverse, int minY,
                  int maxY, std::vector<ldomWordSpan>& words, int maxCount, int maxHeight);

private:
    QLPropRef props_;
    ContainerHandle container_;
    int spaceCondensingPercent_ = 50;
    std::unique_ptr<ldomTocItem> toc_;
    std::unique_ptr<ldomXRangeList> selections_;
    std::unique_ptr<DocumentStyler> styler_;
    std::unique_ptr<DocumentBlobSink> blobSink_;
    LVString16 stylesheetFile_;
};
