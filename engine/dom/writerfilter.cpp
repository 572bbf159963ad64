// The writer for tag soup: HTML, CHM pages and Mobipocket text.
#include <algorithm>

#include "dom/dochooks.h"
#include "dom/ldomdocument.h"
#include "dom/ldomnode.h"
#include "dom/writer.h"
#include "dom/writerutil.h"
#include "foundation/log.h"
#include "foundation/textutil.h"

// Searches for li stop at the list around them and searches for table parts
// stop at the table around them, so that nested lists and tables keep their
// structure. A list opened inside an item nests in that item, as in HTML.
const AutoCloseRule kHtmlAutoCloseRules[] = {
    {"input", {nullptr}, {nullptr}},
    {"option", {"option", nullptr}, {nullptr}},
    {"pre", {"pre", nullptr}, {nullptr}},
    {"p", {"p", "hr", nullptr}, {nullptr}},
    {"li", {"li", "p", nullptr}, {"ul", "ol", nullptr}},
    {"ul", {"p", nullptr}, {nullptr}},
    {"ol", {"p", nullptr}, {nullptr}},
    {"td", {"td", "th", nullptr}, {"table", nullptr}},
    {"th", {"th", "td", nullptr}, {"table", nullptr}},
    {"dd", {"dd", "p", nullptr}, {nullptr}},
    {"dl", {"dt", "p", nullptr}, {nullptr}},
    {"dt", {"dt", "dd", "p", nullptr}, {nullptr}},
    {"tr", {"tr", "thead", "tfoot", "tbody", nullptr}, {"table", nullptr}},
    {"col", {nullptr}, {nullptr}},
    {"br", {nullptr}, {nullptr}},
    {"hr", {nullptr}, {nullptr}},
    {"param", {"param", nullptr}, {nullptr}},
    {"img", {nullptr}, {nullptr}},
    {"div", {"p", nullptr}, {nullptr}},
    {"thead", {"tr", "thead", "tfoot", "tbody", nullptr}, {"table", nullptr}},
    {"tfoot", {"tr", "thead", "tfoot", "tbody", nullptr}, {"table", nullptr}},
    {"tbody", {"tr", "thead", "tfoot", "tbody", nullptr}, {"table", nullptr}},
    {"table", {"p", nullptr}, {nullptr}},
    // Head elements without content: left open they would swallow the
    // rest of the head (and its title).
    {"link", {nullptr}, {nullptr}},
    {"meta", {nullptr}, {nullptr}},
    {"base", {nullptr}, {nullptr}},
    {nullptr, {nullptr}, {nullptr}},
};

namespace {

bool listHas(const std::vector<uint16_t>& list, uint16_t id) {
    return std::find(list.begin(), list.end(), id) != list.end();
}

bool isLineSpace(lvchar16 c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xA0;
}

}  // namespace

ldomDocumentWriterFilter::ldomDocumentWriterFilter(ldomDocument* doc, bool headerOnly,
                                                   const AutoCloseRule* rules)
    : ldomDocumentWriter(doc, headerOnly) {
    fb2StyleSheets_ = false;
    for (const AutoCloseRule* r = rules; r && r->tag; ++r) {
        uint16_t id = doc->getElementNameIndex(r->tag);
        Rule rule;
        for (const char* const* n = r->closes; *n; ++n) rule.closes.push_back(doc->getElementNameIndex(*n));
        for (const char* const* n = r->stopAt; *n; ++n) rule.stopAt.push_back(doc->getElementNameIndex(*n));
        if (ruleIndex_.size() <= id) ruleIndex_.resize(id + 1u, -1);
        ruleIndex_[id] = static_cast<int>(rules_.size());
        rules_.push_back(std::move(rule));
    }
}

const ldomDocumentWriterFilter::Rule* ldomDocumentWriterFilter::ruleFor(uint16_t id) const {
    if (id >= ruleIndex_.size() || ruleIndex_[id] < 0) return nullptr;
    return &rules_[static_cast<size_t>(ruleIndex_[id])];
}

uint32_t ldomDocumentWriterFilter::textFlagsFor(const ldomOpenElement& entry) const {
    if (!entry.preformatted) return 0;
    return preMode_ ? TEXT_PRE | TEXT_TRIM | TEXT_PRE_PARA_SPLITTING : TEXT_PRE;
}

void ldomDocumentWriterFilter::repairBody(const char* event, const lvchar16* name) {
    // A parser that ends inside a tag's attribute list: the tag is complete
    // as far as it goes.
    LOG_ERROR("%s w/o parent's OnTagBody : %s", event, utf8Of(name).c_str());
    OnTagBody();
}

bool ldomDocumentWriterFilter::autoClose(uint16_t id, bool opening) {
    if (!opening) {
        if (stack().size() < 2) return false;
        const Rule* r = ruleFor(stack().back().id);
        if (!r || !r->closes.empty()) return false;
        closeTop();
        updateFlags();
        return true;
    }
    const Rule* r = ruleFor(id);
    if (!r || r->closes.empty()) return false;
    if (std::none_of(r->closes.begin(), r->closes.end(), [&](uint16_t c) { return isOpen(c); }))
        return false;
    for (size_t i = stack().size(); i-- > 1;) {
        uint16_t open = stack()[i].id;
        if (listHas(r->closes, open)) {
            closeDownTo(i);
            return true;
        }
        if (listHas(r->stopAt, open)) return false;
    }
    return false;
}

ldomNode* ldomDocumentWriterFilter::OnTagOpen(const lvchar16* prefix, const lvchar16* name) {
    if (!tagBodyDone_) repairBody("OnTagOpen", name);
    if (stack().empty() || stopped_) return nullptr;
    uint16_t id = elementIdOf(name, true);
    bool mapped = id == ElemBr || id == ElemDd;
    if (mapped) id = ElemP;
    autoClose(0, false);  // an element without content ends where another starts
    autoClose(id, true);
    ldomNode* node = openElement(nsIdOf(prefix), id);
    top()->mappedFromBrDd = mapped;
    tagBodyDone_ = false;
    return node;
}

void ldomDocumentWriterFilter::OnAttribute(const lvchar16* prefix, const lvchar16* name,
                                           const lvchar16* value) {
    ldomOpenElement* e = top();
    if (!e || stack().size() < 2 || stopped_) return;
    if ((!prefix || !*prefix) && nameIs(name, "align")) {
        // Turned into style once all attributes are known; kept raw for the
        // closing rules.
        e->align = LVString16(value ? value : u"");
        return;
    }
    ldomDocumentWriter::OnAttribute(prefix, name, value);
}

void ldomDocumentWriterFilter::OnTagBody() {
    tagBodyDone_ = true;
    if (stopped_) return;
    ldomOpenElement* e = top();
    if (e && e->node && stack().size() > 1 && !e->align.empty()) {
        static const char* const kAligns[] = {"justify", "left", "right", "center"};
        for (const char* a : kAligns) {
            if (equalsIgnoreCase(e->align, a)) {
                LVString16 declaration("text-align: ");
                declaration.append(a);
                appendStyle(declaration);
                break;
            }
        }
    }
    ldomDocumentWriter::OnTagBody();
}

void ldomDocumentWriterFilter::appendStyle(const LVString16& declaration) {
    ldomOpenElement* e = top();
    if (!e || !e->node || !doc_->getDocFlag(DOC_FLAG_ENABLE_INTERNAL_STYLES)) return;
    LVString16 style = e->node->getAttributeValue(0, AttrStyle);
    if (!style.empty() && style[style.length() - 1] != u';') style.append("; ");
    style.append(declaration);
    e->node->setAttributeValue(0, AttrStyle, style);
}

void ldomDocumentWriterFilter::setClass(const LVString16& value, bool overwrite) {
    ldomOpenElement* e = top();
    if (!e || !e->node) return;
    if (!overwrite && e->node->hasAttribute(AttrClass)) return;
    e->node->setAttributeValue(0, AttrClass, value);
}

void ldomDocumentWriterFilter::OnText(const lvchar16* text, int32_t length, uint32_t flags) {
    if (!tagBodyDone_) repairBody("OnText", nullptr);
    if (stopped_ || length <= 0) return;
    autoClose(0, false);
    if ((flags_ & TEXT_PRE) && !(flags & TEXT_PRE) && isBlankText(text, length)) return;
    ldomOpenElement* e = top();
    if (!e || !e->node || !e->allowText || stack().size() < 2) return;
    if (e->mappedFromBrDd) {
        // A paragraph made from br or dd that starts with non-breaking
        // spaces is an indented paragraph.
        e->mappedFromBrDd = false;
        if (text[0] == 0xA0) {
            while (length > 0 && (text[0] == 0xA0 || text[0] == u' ')) {
                ++text;
                --length;
            }
            setClass(LVString16("justindent"), false);
            if (length == 0) return;
        }
    }
    if (preMode_ && (flags & TEXT_PRE)) {
        preLine(text, length);
        return;
    }
    ldomDocumentWriter::OnText(text, length, flags);
}

void ldomDocumentWriterFilter::preLine(const lvchar16* text, int32_t length) {
    int32_t indent = 0;
    int32_t i = 0;
    for (; i < length; ++i) {
        if (text[i] == u'\t') indent += 8;
        else if (text[i] == u' ' || text[i] == 0xA0) indent += 1;
        else break;
    }
    int32_t end = length;
    while (end > i && isLineSpace(text[end - 1])) --end;
    if (end == i) return;
    lvchar16 c = text[i];
    bool ruler = (c == u'-' || c == u'=' || c == u'_' || c == u'*' || c == u'#') &&
                 std::all_of(text + i, text + end, [c](lvchar16 x) { return x == c; });
    if (ruler) addLeaf(ElemHr, nullptr, 0);
    else addLeaf(indent > 8 ? ElemH2 : ElemP, text + i, end - i);
}

void ldomDocumentWriterFilter::addLeaf(uint16_t id, const lvchar16* text, int32_t length) {
    ldomOpenElement* e = top();
    ldomNode* node = e && e->node ? e->node->insertChildElement(-1, 0, id) : nullptr;
    if (!node) return;
    if (length > 0) node->insertChildText(encodeUtf8(text, static_cast<size_t>(length)));
    DocumentStyler& styler = doc_->styler();
    if (styler.isActive()) {
        styler.initElementStyle(node);
        styler.finishElement(node);
    }
    node->persist();
}

void ldomDocumentWriterFilter::OnTagClose(const lvchar16* prefix, const lvchar16* name) {
    if (!tagBodyDone_) repairBody("OnTagClose", name);
    if (stack().size() < 2 || stopped_) return;
    if (stack().back().id != elementIdOf(name, false)) autoClose(0, false);
    ldomDocumentWriter::OnTagClose(prefix, name);
}

void ldomDocumentWriterFilter::OnStop() {
    if (!tagBodyDone_) repairBody("OnStop", nullptr);
    ldomDocumentWriter::OnStop();
}

void ldomDocumentWriterFilter::closingSteps(ldomOpenElement& entry, ldomNode* parent) {
    if (entry.node && parent && entry.id == ElemTitle && parent->getNodeId() == ElemHead) {
        LVString16 title = entry.node->getText();
        int32_t n = static_cast<int32_t>(normalizeSpaces(
            title.modify(), static_cast<size_t>(title.length()), false, false, false));
        title.truncate(n);
        if (!title.empty()) doc_->getProps()->setString("doc.title", title);
    }
    ldomDocumentWriter::closingSteps(entry, parent);
}

void ldomDocumentWriterFilter::onElementClosed(ldomOpenElement& entry) {
    ldomNode* node = entry.node;
    ldomNode* parent = node->getParentNode();
    if (!parent || parent->getChildNode(parent->getChildCount() - 1) != node) return;
    if (entry.id == ElemTable) {
        // A narrow right-floated table: page furniture, not book text.
        if (equalsIgnoreCase(entry.align, "right") &&
            node->getAttributeValue(AttrWidth) == "30%") {
            node->destroy();
            entry.node = nullptr;
        }
    } else if (entry.id == ElemDiv) {
        // A right-aligned div ending in a form: the navigation block of a
        // text file published wrapped in pre.
        ldomNode* last = node->getChildNode(node->getChildCount() - 1);
        if (equalsIgnoreCase(entry.align, "right") && last && last->isElement() &&
            last->getNodeId() == ElemForm) {
            node->destroy();
            entry.node = nullptr;
            preMode_ = true;
        }
    } else if (entry.id == ElemPre && preMode_) {
        if (node->getChildCount() > 0) {
            node->setNodeId(ElemDiv);
        } else {
            node->destroy();
            entry.node = nullptr;
        }
    }
}
