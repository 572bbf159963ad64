#include "dom/nametables.h"

#include <functional>
#include <string_view>

#include "foundation/log.h"

namespace {

// Element defaults, one record per group of elements that share them.
constexpr ElementDefProps kTextBlock{true, false, DisplayBlock, WhiteSpaceNormal};
constexpr ElementDefProps kBlock{false, false, DisplayBlock, WhiteSpaceNormal};
constexpr ElementDefProps kHiddenText{true, false, DisplayNone, WhiteSpaceNormal};
constexpr ElementDefProps kHidden{false, false, DisplayNone, WhiteSpaceNormal};
constexpr ElementDefProps kObject{false, true, DisplayInline, WhiteSpaceNormal};
constexpr ElementDefProps kListItem{true, false, DisplayListItem, WhiteSpaceInherit};
constexpr ElementDefProps kPreBlock{true, false, DisplayBlock, WhiteSpacePre};
constexpr ElementDefProps kInline{true, false, DisplayInline, WhiteSpaceNormal};
constexpr ElementDefProps kPreInline{true, false, DisplayInline, WhiteSpacePre};
constexpr ElementDefProps kTable{false, false, DisplayTable, WhiteSpaceNormal};
constexpr ElementDefProps kTableCaption{true, false, DisplayTableCaption, WhiteSpaceNormal};
constexpr ElementDefProps kTableColumn{false, false, DisplayTableColumn, WhiteSpaceNormal};
constexpr ElementDefProps kTableColumnGroup{false, false, DisplayTableColumnGroup,
                                            WhiteSpaceNormal};
constexpr ElementDefProps kTableRow{false, false, DisplayTableRow, WhiteSpaceNormal};
constexpr ElementDefProps kTableRowGroup{false, false, DisplayTableRowGroup, WhiteSpaceNormal};
constexpr ElementDefProps kTableHeaderGroup{false, false, DisplayTableHeaderGroup,
                                            WhiteSpaceNormal};
constexpr ElementDefProps kTableFooterGroup{false, false, DisplayTableFooterGroup,
                                            WhiteSpaceNormal};
constexpr ElementDefProps kTableCell{true, false, DisplayTableCell, WhiteSpaceNormal};

}  // namespace

const NameTableRow ElementTypeTable[] = {
    {ElemAutoBoxing, "autoBoxing", &kTextBlock},
    {ElemXmlDecl, "?xml", &kBlock},
    {ElemXmlStylesheetPI, "?xml-stylesheet", &kBlock},
    {ElemFictionBook, "FictionBook", &kBlock},
    {ElemGenre, "genre", &kHiddenText},
    {ElemAnnotation, "annotation", &kBlock},
    {ElemId, "id", &kTextBlock},
    {ElemVersion, "version", &kTextBlock},
    {ElemOutput, "output", &kBlock},
    {ElemPart, "part", &kBlock},
    {ElemParam, "param", &kBlock},
    {ElemBody, "body", &kTextBlock},
    {ElemP, "p", &kTextBlock},
    {ElemCoverpage, "coverpage", &kBlock},
    {ElemImage, "image", &kObject},
    {ElemImg, "img", &kObject},
    {ElemLang, "lang", &kTextBlock},
    {ElemSection, "section", &kBlock},
    {ElemForm, "form", &kHiddenText},
    {ElemBinary, "binary", &kHiddenText},
    {ElemTextAuthor, "text-author", &kTextBlock},
    {ElemDiv, "div", &kTextBlock},
    {ElemSvg, "svg", &kBlock},
    {ElemDl, "dl", &kBlock},
    {ElemDt, "dt", &kTextBlock},
    {ElemDd, "dd", &kTextBlock},
    {ElemOl, "ol", &kBlock},
    {ElemUl, "ul", &kBlock},
    {ElemLi, "li", &kListItem},
    {ElemH1, "h1", &kTextBlock},
    {ElemH2, "h2", &kTextBlock},
    {ElemH3, "h3", &kTextBlock},
    {ElemH4, "h4", &kTextBlock},
    {ElemH5, "h5", &kTextBlock},
    {ElemH6, "h6", &kTextBlock},
    {ElemPre, "pre", &kPreBlock},
    {ElemBlockquote, "blockquote", &kTextBlock},
    {ElemEm, "em", &kInline},
    {ElemQ, "q", &kInline},
    {ElemSpan, "span", &kInline},
    {ElemBr, "br", &kInline},
    {ElemTitle, "title", &kTextBlock},
    {ElemB, "b", &kInline},
    {ElemI, "i", &kInline},
    {ElemStrikethrough, "strikethrough", &kInline},
    {ElemSub, "sub", &kInline},
    {ElemSup, "sup", &kInline},
    {ElemStyle, "style", &kInline},
    {ElemStrong, "strong", &kInline},
    {ElemEmphasis, "emphasis", &kInline},
    {ElemCode, "code", &kPreInline},
    {ElemA, "a", &kInline},
    {ElemHtml, "html", &kBlock},
    {ElemHead, "head", &kBlock},
    {ElemHr, "hr", &kBlock},
    {ElemTable, "table", &kTable},
    {ElemCaption, "caption", &kTableCaption},
    {ElemCol, "col", &kTableColumn},
    {ElemColgroup, "colgroup", &kTableColumnGroup},
    {ElemTr, "tr", &kTableRow},
    {ElemTbody, "tbody", &kTableRowGroup},
    {ElemThead, "thead", &kTableHeaderGroup},
    {ElemTfoot, "tfoot", &kTableFooterGroup},
    {ElemTh, "th", &kTableCell},
    {ElemTd, "td", &kTableCell},
    {ElemCite, "cite", &kTextBlock},
    {ElemV, "v", &kTextBlock},
    {ElemStanza, "stanza", &kBlock},
    {ElemEpigraph, "epigraph", &kBlock},
    {ElemSubtitle, "subtitle", &kTextBlock},
    {ElemPoem, "poem", &kBlock},
    {ElemEmptyLine, "empty-line", &kBlock},
    {ElemHistory, "history", &kTextBlock},
    {ElemAuthor, "author", &kBlock},
    {ElemDate, "date", &kTextBlock},
    {ElemYear, "year", &kTextBlock},
    {ElemSequence, "sequence", &kTextBlock},
    {ElemStylesheet, "stylesheet", &kHiddenText},
    {ElemDescription, "description", &kHidden},
    {ElemTitleInfo, "title-info", &kBlock},
    {ElemSrcTitleInfo, "src-title-info", &kBlock},
    {ElemDocumentInfo, "document-info", &kBlock},
    {ElemPublishInfo, "publish-info", &kBlock},
    {ElemCustomInfo, "custom-info", &kTextBlock},
    {ElemHomePage, "home-page", &kTextBlock},
    {ElemSrcUrl, "src-url", &kTextBlock},
    {ElemEmail, "email", &kTextBlock},
    {ElemBookTitle, "book-title", &kTextBlock},
    {ElemProgramUsed, "program-used", &kTextBlock},
    {ElemFirstName, "first-name", &kInline},
    {ElemMiddleName, "middle-name", &kInline},
    {ElemLastName, "last-name", &kInline},
    {ElemSrcOcr, "src-ocr", &kTextBlock},
    {ElemBookName, "book-name", &kTextBlock},
    {ElemPublisher, "publisher", &kTextBlock},
    {ElemCity, "city", &kTextBlock},
    {ElemIsbn, "isbn", &kTextBlock},
    {ElemNickname, "nickname", &kTextBlock},
    {ElemKeywords, "keywords", &kTextBlock},
    {ElemDocFragment, "DocFragment", &kBlock},
    {0, nullptr, nullptr},
};

const NameTableRow AttributeTypeTable[] = {
    {AttrId, "id", nullptr},
    {AttrClass, "class", nullptr},
    {AttrValue, "value", nullptr},
    {AttrName, "name", nullptr},
    {AttrNumber, "number", nullptr},
    {AttrHref, "href", nullptr},
    {AttrType, "type", nullptr},
    {AttrMode, "mode", nullptr},
    {AttrPrice, "price", nullptr},
    {AttrStyle, "style", nullptr},
    {AttrWidth, "width", nullptr},
    {AttrHeight, "height", nullptr},
    {AttrColspan, "colspan", nullptr},
    {AttrRowspan, "rowspan", nullptr},
    {AttrAlign, "align", nullptr},
    {AttrValign, "valign", nullptr},
    {AttrCurrency, "currency", nullptr},
    {AttrVersion, "version", nullptr},
    {AttrEncoding, "encoding", nullptr},
    {AttrL, "l", nullptr},
    {AttrXmlns, "xmlns", nullptr},
    {AttrGenre, "genre", nullptr},
    {AttrXlink, "xlink", nullptr},
    {AttrLink, "link", nullptr},
    {AttrXsi, "xsi", nullptr},
    {AttrSchemaLocation, "schemaLocation", nullptr},
    {AttrInclude, "include", nullptr},
    {AttrIncludeAll, "include-all", nullptr},
    {AttrContentType, "content-type", nullptr},
    {AttrStyleSheet, "StyleSheet", nullptr},
    {AttrTitle, "title", nullptr},
    {AttrSubtitle, "subtitle", nullptr},
    {AttrSuptitle, "suptitle", nullptr},
    {0, nullptr, nullptr},
};

const NameTableRow NamespaceTypeTable[] = {
    {NsL, "l", nullptr},     {NsXsi, "xsi", nullptr}, {NsXmlns, "xmlns", nullptr},
    {NsXlink, "xlink", nullptr}, {NsXs, "xs", nullptr},   {0, nullptr, nullptr},
};

size_t NameIdMap::NameHash::operator()(const LVString16& s) const {
    return std::hash<std::u16string_view>()(
        std::u16string_view(s.c_str(), static_cast<size_t>(s.length())));
}

NameIdMap::NameIdMap(uint16_t firstFreeId, size_t initialCapacity, const char* fallbackName)
    : firstFreeId_(firstFreeId), nextId_(firstFreeId), fallbackName_(fallbackName) {
    byId_.reserve(initialCapacity);
}

void NameIdMap::clear() {
    byId_.clear();
    index_.clear();
    props_.clear();
    nextId_ = firstFreeId_;
    overflowCount_ = 0;
}

void NameIdMap::store(uint16_t id, const LVString16& name, const ElementDefProps* props) {
    if (id >= byId_.size()) byId_.resize(static_cast<size_t>(id) + 16);
    Entry& e = byId_[id];
    e.name = name;
    if (props) {
        props_.push_back(*props);
        e.props = &props_.back();
    }
    index_.emplace(name, id);
}

uint16_t NameIdMap::findId(const LVString16& name) const {
    if (name.empty()) return 0;
    auto it = index_.find(name);
    if (it != index_.end()) return it->second;
    if (name == fallbackName_) return kFallbackId;
    return 0;
}

uint16_t NameIdMap::idByName(const LVString16& name, bool create) {
    uint16_t id = findId(name);
    if (id || !create || name.empty()) return id;
    if (nextId_ >= kFallbackId) {
        // Every id is taken: map the name to the fallback instead of letting
        // the counter wrap into the predefined range.
        if (overflowCount_++ == 0)
            LOG_WARN("name table is full: '%s' and later new names share id %u",
                     encodeUtf8(name).c_str(), kFallbackId);
        return kFallbackId;
    }
    id = nextId_++;
    store(id, name, nullptr);
    return id;
}

uint16_t NameIdMap::idByName(const char* utf8Name, bool create) {
    if (!utf8Name || !*utf8Name) return 0;
    return idByName(LVString16(utf8Name), create);
}

LVString16 NameIdMap::nameById(uint16_t id) const {
    if (id == kFallbackId) return fallbackName_;
    if (id < byId_.size()) return byId_[id].name;
    return LVString16();
}

const ElementDefProps* NameIdMap::propsById(uint16_t id) const {
    return id < byId_.size() ? byId_[id].props : nullptr;
}

bool NameIdMap::addPredefined(uint16_t id, const LVString16& name, const ElementDefProps* props) {
    if (id == 0 || id >= firstFreeId_ || name.empty()) return false;
    if (findId(name) != 0 || (id < byId_.size() && !byId_[id].name.empty())) return false;
    store(id, name, props);
    return true;
}

bool NameIdMap::loadTable(const NameTableRow* table) {
    bool ok = true;
    for (const NameTableRow* row = table; row && row->id != 0; ++row) {
        if (!addPredefined(row->id, LVString16(row->name), row->props)) {
            LOG_ERROR("predefined name '%s' (id %u) was refused", row->name ? row->name : "",
                      row->id);
            ok = false;
        }
    }
    return ok;
}
