#include "dom/writer.h"

#include "dom/dochooks.h"
#include "dom/ldomdocument.h"
#include "dom/ldomnode.h"
#include "dom/range.h"
#include "dom/toc.h"
#include "dom/writerutil.h"
#include "foundation/log.h"
#include "foundation/textutil.h"
#include "streams/paths.h"

// ---- helpers shared by the writers ------------------------------------------------------

bool isBlankText(const lvchar16* text, int32_t length) {
    for (int32_t i = 0; i < length; ++i) {
        lvchar16 c = text[i];
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r') return false;
    }
    return true;
}

bool equalsIgnoreCase(const LVString16& a, const char* b) {
    int32_t i = 0;
    for (; i < a.length() && b[i]; ++i)
        if (lowerChar(a[i]) != lowerChar(static_cast<lvchar16>(static_cast<unsigned char>(b[i]))))
            return false;
    return i == a.length() && !b[i];
}

bool nameIs(const lvchar16* name, const char* ascii) {
    if (!name) return !*ascii;
    for (; *ascii; ++ascii, ++name)
        if (*name != static_cast<lvchar16>(*ascii)) return false;
    return *name == 0;
}

LVString8 utf8Of(const lvchar16* s) {
    if (!s) return LVString8();
    size_t n = 0;
    while (s[n]) ++n;
    return encodeUtf8(s, n);
}

// ---- ldomDocumentWriter ------------------------------------------------------------------

ldomDocumentWriter::ldomDocumentWriter(ldomDocument* doc, bool headerOnly)
    : doc_(doc), headerOnly_(headerOnly) {}

ldomDocumentWriter::~ldomDocumentWriter() {
    if (!started_) return;
    closeAll();
    DocumentStyler& styler = doc_->styler();
    if (fb2LevelPushed_) styler.popStyleSheet();
    if (styler.isActive()) styler.finalizeDocument(*doc_);
    doc_->logMemoryUsage();
}

uint16_t ldomDocumentWriter::elementIdOf(const lvchar16* name, bool create) {
    LVString16 n(name ? name : u"");
    return create ? doc_->getElementNameIndex(n) : doc_->findElementNameIndex(n);
}

uint16_t ldomDocumentWriter::nsIdOf(const lvchar16* prefix) {
    if (!prefix || !*prefix) return 0;
    return doc_->getNsNameIndex(LVString16(prefix));
}

uint16_t ldomDocumentWriter::attrIdOf(const char* name) { return doc_->getAttrNameIndex(name); }

void ldomDocumentWriter::OnStart(LVFileFormatParser* parser) {
    LVXMLParserCallback::OnStart(parser);
    if (!doc_ || !doc_->getRootNode()) {
        LOG_ERROR("document writer started without a document");
        return;
    }
    started_ = true;
    stopped_ = false;
    descriptionId_ = headerOnly_ ? doc_->getElementNameIndex("description") : -2;
    if (!stack_.empty()) closeAll();
    ldomOpenElement root;
    root.node = doc_->getRootNode();
    root.id = root.node->getNodeId();
    root.pathKnown = true;  // the root contributes nothing to paths
    if (openCount_.size() <= root.id) openCount_.resize(root.id + 1u);
    ++openCount_[root.id];
    stack_.push_back(std::move(root));
    flags_ = 0;
}

void ldomDocumentWriter::OnStop() {
    closeAll();
    flags_ = 0;
}

size_t ldomDocumentWriter::findOpen(uint16_t id) const {
    if (!isOpen(id)) return 0;
    for (size_t i = stack_.size(); i-- > 1;)
        if (stack_[i].id == id) return i;
    return 0;
}

uint32_t ldomDocumentWriter::textFlagsFor(const ldomOpenElement& entry) const {
    return entry.preformatted ? uint32_t(TEXT_PRE) : 0u;
}

void ldomDocumentWriter::updateFlags() {
    flags_ = stack_.empty() ? 0 : textFlagsFor(stack_.back());
}

ldomNode* ldomDocumentWriter::openElement(uint16_t nsid, uint16_t id) {
    if (stack_.empty()) return nullptr;
    if (depth() >= kMaxDepth) {
        if (depthCapClosures_++ == 0)
            LOG_WARN("document writer: elements nested deeper than %d levels; the innermost is "
                     "closed before another opens",
                     kMaxDepth);
        closeTop();
    }
    ldomOpenElement& parent = stack_.back();
    parent.mappedFromBrDd = false;  // it has content now
    ldomNode* node = parent.node ? parent.node->insertChildElement(-1, nsid, id) : nullptr;
    ldomOpenElement e;
    e.node = node;
    e.id = id;
    e.props = doc_->getElementTypePtr(id);
    e.allowText = !e.props || e.props->allowText;
    e.isSection = id == ElemSection;
    e.tocPending = e.isSection;
    e.preformatted = (e.props && e.props->whiteSpace == WhiteSpacePre) || parent.preformatted;
    if (id == ElemBody && !tocRootGiven_) {
        tocRootGiven_ = true;
        e.tocItem = doc_->getToc();
    }
    if (e.isSection) ++pendingSections_;
    if (openCount_.size() <= id) openCount_.resize(id + 1u);
    ++openCount_[id];
    stack_.push_back(std::move(e));
    updateFlags();
    return node;
}

ldomNode* ldomDocumentWriter::OnTagOpen(const lvchar16* prefix, const lvchar16* name) {
    if (stack_.empty() || stopped_) return nullptr;
    return openElement(nsIdOf(prefix), elementIdOf(name, true));
}

void ldomDocumentWriter::OnAttribute(const lvchar16* prefix, const lvchar16* name,
                                     const lvchar16* value) {
    ldomOpenElement* e = top();
    if (!e || !e->node || stack_.size() < 2 || stopped_) return;
    uint16_t id = doc_->getAttrNameIndex(LVString16(name ? name : u""));
    if (!id) return;
    LVString16 v(value ? value : u"");
    e->node->setAttributeValue(nsIdOf(prefix), id, v);
    if (id == AttrStyleSheet && !e->pushedStyleSheet)
        e->pushedStyleSheet = doc_->styler().pushElementStyleSheet(e->node, v);
}

void ldomDocumentWriter::bodyStarted() {
    if (stack_.size() < 2) return;
    ldomOpenElement& e = stack_.back();
    e.bodyStarted = true;
    DocumentStyler& styler = doc_->styler();
    if (styler.isActive() && e.node) e.isBlock = styler.initElementStyle(e.node);
    // A nested section's body decides the items of the sections around it,
    // so that a parent's item always precedes its children's.
    if (e.isSection && pendingSections_ > 1) produceTocItems(stack_.size() - 2);
}

void ldomDocumentWriter::OnTagBody() {
    if (stopped_) return;
    bodyStarted();
}

void ldomDocumentWriter::appendText(const lvchar16* text, int32_t length) {
    ldomOpenElement& e = stack_.back();
    encodeUtf8Into(utf8_, text, length);
    e.node->insertChildText(utf8_.data(), utf8_.size());
    e.mappedFromBrDd = false;
}

void ldomDocumentWriter::OnText(const lvchar16* text, int32_t length, uint32_t flags) {
    ldomOpenElement* e = top();
    if (!e || !e->node || !e->allowText || stack_.size() < 2 || stopped_ || length <= 0) return;
    bool blank = isBlankText(text, length);
    if (blank && (flags_ & TEXT_PRE) && !(flags & TEXT_PRE)) return;
    // No leading blank text in a block.
    if (blank && e->isBlock && !e->preformatted && e->node->getChildCount() == 0) return;
    appendText(text, length);
}

void ldomDocumentWriter::closingSteps(ldomOpenElement& entry, ldomNode* parent) {
    if (!entry.node || !parent) return;
    if (entry.id == doc_->findElementNameIndex(constString16("link")) &&
        parent->getNodeId() == ElemHead) {
        // A stylesheet link in an XHTML head: the book's own stylesheet.
        LVString16 rel = entry.node->getAttributeValue(nullptr, "rel");
        LVString16 type = entry.node->getAttributeValue(nullptr, "type");
        LVString16 href = entry.node->getAttributeValue(nullptr, "href");
        if (equalsIgnoreCase(rel, "stylesheet") && (type.empty() || equalsIgnoreCase(type, "text/css")) &&
            !href.empty()) {
            LVString16 base;
            doc_->getProps()->getString("doc.file.code.base", base);
            LVString16 file = combinePaths(base, href);
            LOG_DEBUG("Internal stylesheet file: %s", encodeUtf8(file).c_str());
            doc_->setStylesheetFileName(file);
            doc_->styler().applyDocumentStyleSheet(*doc_);
        }
    } else if (entry.id == ElemStylesheet && parent->getNodeId() == ElemDocFragment) {
        doc_->styler().registerFragmentStyleSheet(parent, entry.node->getText(),
                                                  entry.node->getAttributeValue(AttrHref));
    }
}

void ldomDocumentWriter::onElementClosed(ldomOpenElement& entry) { (void)entry; }

void ldomDocumentWriter::closeTop() {
    if (stack_.empty()) return;
    size_t index = stack_.size() - 1;
    {
        ldomOpenElement& e = stack_[index];
        if (e.node) {
            closingSteps(e, e.node->getParentNode());
            onElementClosed(e);
        }
        if (e.node) e.node->persist();
    }
    if (stack_[index].tocPending) produceTocItems(index);
    ldomOpenElement& e = stack_[index];
    DocumentStyler& styler = doc_->styler();
    // The root is styled when the document is finalised.
    if (styler.isActive() && e.node && index > 0) {
        if (!e.bodyStarted) e.isBlock = styler.initElementStyle(e.node);
        styler.finishElement(e.node);
    }
    if (e.pushedStyleSheet) styler.popStyleSheet();
    if (e.id < openCount_.size() && openCount_[e.id] > 0) --openCount_[e.id];
    stack_.pop_back();
}

void ldomDocumentWriter::closeDownTo(size_t index) {
    while (stack_.size() > index) closeTop();
    updateFlags();
}

void ldomDocumentWriter::closeAll() { closeDownTo(0); }

void ldomDocumentWriter::checkHeaderOnlyStop(uint16_t closedId) {
    if (static_cast<int>(closedId) != descriptionId_) return;
    stopped_ = true;
    if (parser_) parser_->Stop();
}

void ldomDocumentWriter::OnTagClose(const lvchar16* prefix, const lvchar16* name) {
    (void)prefix;
    if (stack_.size() < 2 || stopped_) return;
    uint16_t id = elementIdOf(name, false);
    if (!id || id != stack_.back().id) mismatch_ = true;
    size_t index = id ? findOpen(id) : 0;
    if (!index) return;
    bool underFragment = stack_[index - 1].id == ElemDocFragment;
    closeDownTo(index);
    checkHeaderOnlyStop(id);
    // A FictionBook stylesheet element: its text becomes the document's
    // stylesheet, on a level of its own.
    if (fb2StyleSheets_ && id == ElemStylesheet && !underFragment && !fb2StyleSheetApplied_) {
        DocumentStyler& styler = doc_->styler();
        styler.pushStyleSheetLevel();
        styler.applyDocumentStyleSheet(*doc_);
        fb2StyleSheetApplied_ = true;
        fb2LevelPushed_ = true;
    }
}

bool ldomDocumentWriter::OnBlob(const LVString16& name, const uint8_t* data, int32_t size) {
    static const LVString16 kPrefix("@blob#");
    LVString16 key = name.hasPrefix(kPrefix) ? name.substr(kPrefix.length()) : name;
    return doc_->blobSink().addBlob(key, data, size);
}

void ldomDocumentWriter::OnDocProperty(const char* name, const LVString8& value) {
    if (name && *name) doc_->getProps()->setString(name, value);
}

// ---- table of contents -------------------------------------------------------------------

const LVString16& ldomDocumentWriter::entryPath(size_t index) {
    size_t known = index;
    while (!stack_[known].pathKnown) --known;  // the root entry is always known
    for (size_t i = known + 1; i <= index; ++i) {
        ldomOpenElement& e = stack_[i];
        e.path = stack_[i - 1].path;
        e.path.append(1, u'/');
        if (e.node) e.path.append(e.node->pathSegment());
        e.pathKnown = true;
    }
    return stack_[index].path;
}

void ldomDocumentWriter::produceTocItems(size_t index) {
    // Pending sections at or below index, decided from the outermost in.
    std::vector<size_t> pending;
    int left = pendingSections_;
    for (size_t i = index + 1; i-- > 1 && left > 0;) {
        if (stack_[i].tocPending) {
            pending.push_back(i);
            --left;
        }
    }
    for (size_t k = pending.size(); k-- > 0;) produceTocItem(pending[k]);
}

void ldomDocumentWriter::produceTocItem(size_t index) {
    ldomOpenElement& e = stack_[index];
    e.tocPending = false;
    --pendingSections_;
    ldomTocItem* parentItem = nullptr;
    for (size_t i = index; i-- > 0 && !parentItem;) parentItem = stack_[i].tocItem;
    if (!parentItem || !e.node) return;
    // Only a section whose first child is a title makes an item; the
    // sections inside an untitled one attach to the nearest titled one.
    ldomNode* first = e.node->getChildNode(0);
    if (!first || !first->isElement() || first->getNodeId() != ElemTitle) return;
    LVString16 title = ldomXRange(first).getRangeText(u' ', kMaxTocTitle);
    int32_t n = static_cast<int32_t>(
        normalizeSpaces(title.modify(), static_cast<size_t>(title.length()), false, false, false));
    title.truncate(n);
    if (title.empty()) return;
    const LVString16& path = entryPath(index);
    stack_[index].tocItem =
        parentItem->addChild(title, ldomPosition(stack_[index].node, -1), path);
}
