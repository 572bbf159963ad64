#include "dom/ldomdocument.h"

#include <cstdlib>

#include "dom/dochooks.h"
#include "dom/range.h"
#include "dom/toc.h"
#include "foundation/log.h"
#include "foundation/timelimit.h"

// ---- DocumentRegistry --------------------------------------------------------------

int DocumentRegistry::registerDocument(tinyNodeCollection* doc) {
    for (int i = 0; i < kSlots; ++i) {
        int slot = (next_ + i) % kSlots;
        if (!slots_[slot]) {
            slots_[slot] = doc;
            next_ = (slot + 1) % kSlots;
            LOG_DEBUG("ldomNode::registerDocument() - new index = %d", slot);
            return slot;
        }
    }
    return -1;
}

void DocumentRegistry::unregisterDocument(tinyNodeCollection* doc) {
    for (int i = 0; i < kSlots; ++i) {
        if (slots_[i] == doc) {
            LOG_DEBUG("ldomNode::unregisterDocument() - for index %d", i);
            slots_[i] = nullptr;
        }
    }
}

int DocumentRegistry::liveCount() {
    int n = 0;
    for (tinyNodeCollection* d : slots_) n += d ? 1 : 0;
    return n;
}

// ---- tinyNodeCollection -----------------------------------------------------------------

tinyNodeCollection::tinyNodeCollection()
    : textStorage_(this, 't', 2, 0x280000, 32768),
      elementStorage_(this, 'e', 3, 0x480000, 16384),
      rectStorage_(this, 'r', 4, 0x180000, 32768),
      styleStorage_(this, 's', 5, 0x100000, 16384) {
    docIndex_ = DocumentRegistry::registerDocument(this);
    if (docIndex_ < 0) {
        // Without a slot the document's nodes could not name it; it stays
        // empty and every node operation on it fails.
        LOG_ERROR("ldomNode::registerDocument() - all %d document slots are in use",
                  DocumentRegistry::kSlots);
        return;
    }
    // The root element (index 1) carries name id 0, which no parser can
    // produce, so no closing tag ever matches it.
    ldomNode* root = allocInstance(NodeTypeMutableElement);
    root->data_ = storeMutableElement(std::make_unique<ldomMutableElement>());
}

tinyNodeCollection::~tinyNodeCollection() {
    for (InstanceTable* t : {&elements_, &texts_})
        for (ldomNode*& chunk : t->chunks) {
            std::free(chunk);
            chunk = nullptr;
        }
    if (docIndex_ >= 0) DocumentRegistry::unregisterDocument(this);
}

ldomNode* tinyNodeCollection::instanceAt(bool element, uint32_t index) const {
    const InstanceTable& t = element ? elements_ : texts_;
    if (index == 0 || index > t.maxIndex) return nullptr;
    ldomNode* chunk = t.chunks[index >> 10];
    return chunk ? &chunk[index & 1023] : nullptr;
}

ldomNode* tinyNodeCollection::getRootNode() const {
    ldomNode* root = instanceAt(true, 1);
    return root && !root->isNull() ? root : nullptr;
}

ldomNode* tinyNodeCollection::getNodeById(NodeHandle handle) const {
    if (handle == 0) return nullptr;
    bool element = nodeHandleIsElement(handle);
    uint32_t index = nodeHandleIndex(handle);
    ldomNode* n = instanceAt(element, index);
    if (!n || n->isNull() || n->getDataIndex() != index || n->isElement() != element)
        return nullptr;
    return n;
}

ldomNode* tinyNodeCollection::allocInstance(uint32_t type) {
    if (docIndex_ < 0) return nullptr;
    bool element = (type & kNodeElementBit) != 0;
    InstanceTable& t = element ? elements_ : texts_;
    uint32_t index;
    ldomNode* n;
    if (t.freeHead) {
        index = t.freeHead;
        n = instanceAt(element, index);
        t.freeHead = n->data_;
    } else {
        if (t.maxIndex >= kMaxNodeIndex) {
            if (!nodeTableOverflow_)
                LOG_ERROR("the %s instance table is full (%u nodes): no more nodes can be "
                          "created in this document",
                          element ? "element" : "text", kMaxNodeIndex);
            nodeTableOverflow_ = true;
            return nullptr;
        }
        index = t.maxIndex + 1;
        ldomNode*& chunk = t.chunks[index >> 10];
        if (!chunk) {
            chunk = static_cast<ldomNode*>(std::calloc(1024, sizeof(ldomNode)));
            if (!chunk) fatalError(-2, "realloc failed");
        }
        t.maxIndex = index;
        n = &chunk[index & 1023];
    }
    n->handleWord_ = (makeNodeHandle(index, type) << 8) | static_cast<uint32_t>(docIndex_);
    n->data_ = 0;
    ++liveNodes_;
    return n;
}

void tinyNodeCollection::freeInstance(ldomNode* node) {
    InstanceTable& t = node->isElement() ? elements_ : texts_;
    uint32_t index = node->getDataIndex();
    node->handleWord_ = static_cast<uint32_t>(docIndex_);
    node->data_ = t.freeHead;
    t.freeHead = index;
    --liveNodes_;
}

uint32_t tinyNodeCollection::storeMutableElement(std::unique_ptr<ldomMutableElement> e) {
    ++mutableElementCount_;
    if (!freeElementSlots_.empty()) {
        uint32_t slot = freeElementSlots_.back();
        freeElementSlots_.pop_back();
        mutableElements_[slot] = std::move(e);
        return slot;
    }
    mutableElements_.push_back(std::move(e));
    return static_cast<uint32_t>(mutableElements_.size() - 1);
}

void tinyNodeCollection::releaseMutableElement(uint32_t slot) {
    if (slot >= mutableElements_.size() || !mutableElements_[slot]) return;
    mutableElements_[slot].reset();
    freeElementSlots_.push_back(slot);
    --mutableElementCount_;
}

uint32_t tinyNodeCollection::storeMutableText(std::unique_ptr<ldomMutableText> t) {
    ++mutableTextCount_;
    if (!freeTextSlots_.empty()) {
        uint32_t slot = freeTextSlots_.back();
        freeTextSlots_.pop_back();
        mutableTexts_[slot] = std::move(t);
        return slot;
    }
    mutableTexts_.push_back(std::move(t));
    return static_cast<uint32_t>(mutableTexts_.size() - 1);
}

void tinyNodeCollection::releaseMutableText(uint32_t slot) {
    if (slot >= mutableTexts_.size() || !mutableTexts_[slot]) return;
    mutableTexts_[slot].reset();
    freeTextSlots_.push_back(slot);
    --mutableTextCount_;
}

void tinyNodeCollection::setDocFlag(uint32_t flag, bool on) {
    LOG_DEBUG("setDocFlag(%04x, %s)", flag, on ? "true" : "false");
    if (on) docFlags_ |= flag;
    else docFlags_ &= ~flag;
}

void tinyNodeCollection::setDocFlags(uint32_t value) {
    LOG_DEBUG("setDocFlags(%04x)", value);
    docFlags_ = value;
}

bool tinyNodeCollection::createCacheFile() {
    if (cacheFile_) return true;
    if (!reportedNoCacheDir_) {
        reportedNoCacheDir_ = true;
        LOG_INFO("Cannot swap: cache dir is not initialized");
    }
    return false;
}

void tinyNodeCollection::logMemoryUsage() const {
    if (!logLevelAtLeast(LogLevelInfo)) return;
    logInfo("*** Document memory usage: elements:%d, textNodes:%d, ptext=(%d uncompressed), "
            "ptelems=(%d uncompressed), rects=(%d uncompressed), nodestyles=(%d uncompressed), "
            "styles:%d, fonts:%d, renderedNodes:%d, totalNodes:%d(%dKb), "
            "mutableElements:%d(~%dKb)",
            static_cast<int>(elements_.maxIndex), static_cast<int>(texts_.maxIndex),
            static_cast<int>(textStorage_.bytesInMemory()),
            static_cast<int>(elementStorage_.bytesInMemory()),
            static_cast<int>(rectStorage_.bytesInMemory()),
            static_cast<int>(styleStorage_.bytesInMemory()), 0, 0, 0,
            static_cast<int>(liveNodes_), static_cast<int>(liveNodes_ * 16 / 1024),
            static_cast<int>(mutableElementCount_),
            static_cast<int>(mutableElementCount_ * 68 / 1024));
}

// ---- lxmlDocBase -----------------------------------------------------------------------

lxmlDocBase::lxmlDocBase()
    : elementNames_(512, 1024, "#overflow-element"),
      attrNames_(512, 1024, "#overflow-attribute"),
      nsNames_(32, 64, "#overflow-namespace") {}

bool lxmlDocBase::setAttributeTypes(const NameTableRow* table) {
    bool ok = attrNames_.loadTable(table);
    idAttrId_ = attrNames_.findId(LVString16("id"));
    return ok;
}

bool lxmlDocBase::loadDefaultNameTables() {
    bool ok = setNodeTypes(ElementTypeTable);
    ok = setAttributeTypes(AttributeTypeTable) && ok;
    ok = setNameSpaceTypes(NamespaceTypeTable) && ok;
    return ok;
}

bool lxmlDocBase::isIdAttribute(uint16_t elementId, uint16_t attrId) const {
    if (!idAttrId_) idAttrId_ = attrNames_.findId(LVString16("id"));
    if (attrId == idAttrId_ && attrId) return true;
    if (!nameAttrId_) nameAttrId_ = attrNames_.findId(LVString16("name"));
    if (!aElementId_) aElementId_ = elementNames_.findId(LVString16("a"));
    return attrId && attrId == nameAttrId_ && elementId && elementId == aElementId_;
}

void lxmlDocBase::onAttributeSet(ldomNode* element, uint16_t attrId, uint32_t oldValue,
                                 uint32_t newValue) {
    if (!isIdAttribute(element->getNodeId(), attrId)) return;
    NodeHandle ref = element->getRef();
    if (oldValue != AttributeValueTable::kNoValue && oldValue != newValue)
        idMap_.removeIf(oldValue, ref);
    idMap_.set(newValue, ref);
}

void lxmlDocBase::onElementDestroyed(ldomNode* element) {
    uint16_t elementId = element->getNodeId();
    int count = element->getAttrCount();
    for (int i = 0; i < count; ++i) {
        ldomAttribute a;
        if (element->getAttribute(i, a) && a.nsid == 0 && isIdAttribute(elementId, a.id))
            idMap_.removeIf(a.valueIndex, element->getRef());
    }
}

ldomNode* lxmlDocBase::getNodeByIdValue(const LVString16& value) const {
    uint32_t index = attrValues_.find(value);
    if (index == AttributeValueTable::kNoValue) return nullptr;
    ldomNode* node = getNodeById(idMap_.get(index));
    return node && node->isElement() ? node : nullptr;
}

int lxmlDocBase::persist(const TimeLimit& limit) {
    LOG_INFO("lxmlDocBase::persist() invoked - converting all nodes to persistent objects");
    bool failed = false;
    uint32_t steps = 0;
    // Splitting an over-long text makes its parent mutable again, hence the
    // second round.
    for (int round = 0; round < 2; ++round) {
        for (bool element : {true, false}) {
            uint32_t type = element ? NodeTypeMutableElement : NodeTypeMutableText;
            const InstanceTable& t = element ? elements_ : texts_;
            for (uint32_t i = 1; i <= t.maxIndex; ++i) {
                if (element ? mutableElementCount_ == 0 : mutableTextCount_ == 0) break;
                ldomNode* n = instanceAt(element, i);
                if (!n || n->isNull() || nodeHandleType(n->getHandle()) != type) continue;
                if (!n->persist()) failed = true;
                if ((++steps & 255) == 0 && limit.expired()) return 1;
            }
        }
        if (mutableElementCount_ == 0 && mutableTextCount_ == 0) return 0;
    }
    return failed || mutableElementCount_ || mutableTextCount_ ? 2 : 0;
}

// ---- ldomDocument ----------------------------------------------------------------------

ldomDocument::ldomDocument()
    : props_(createPropsContainer()),
      toc_(std::make_unique<ldomTocItem>(this)),
      selections_(std::make_unique<ldomXRangeList>()) {}

// The selection list goes first: its ranges name nodes of this document.
ldomDocument::~ldomDocument() { selections_.reset(); }

namespace {
DocumentStyler& noStyler() {
    static DocumentStyler styler;
    return styler;
}
DocumentBlobSink& noBlobSink() {
    static DocumentBlobSink sink;
    return sink;
}
}  // namespace

DocumentStyler& ldomDocument::styler() const { return styler_ ? *styler_ : noStyler(); }
void ldomDocument::setStyler(std::unique_ptr<DocumentStyler> styler) { styler_ = std::move(styler); }
DocumentBlobSink& ldomDocument::blobSink() const { return blobSink_ ? *blobSink_ : noBlobSink(); }
void ldomDocument::setBlobSink(std::unique_ptr<DocumentBlobSink> sink) {
    blobSink_ = std::move(sink);
}

Ref<ldomDocument> ldomDocument::create(bool loadDefaultNames) {
    Ref<ldomDocument> doc(new ldomDocument());
    if (!doc->isRegistered()) return nullptr;
    if (loadDefaultNames) doc->loadDefaultNameTables();
    return doc;
}

bool ldomDocument::openFromCache(CacheLoadingCallback* callback) {
    (void)callback;
    // Cached documents live in a cache directory, which no program sets yet.
    LOG_DEBUG("ldomDocument::openFromCache() : no cache directory");
    return false;
}

int ldomDocument::updateCacheFile(TimeLimit& limit) {
    (void)limit;
    // Without a cache file (createCacheFile logs why) there is nothing to
    // write to; documents are not yet saved into one.
    if (createCacheFile()) LOG_ERROR("ldomDocument: saving to the cache file is not available");
    return 2;
}
