// Name tables of a document: element, attribute and namespace names mapped to
// 16-bit ids, the predefined FictionBook/HTML ids and the per-element layout
// defaults (ElementDefProps).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

#include "foundation/lvstring.h"

// CSS display keyword indices used by the element defaults.
enum ElementDisplay : uint8_t {
    DisplayInherit = 0,
    DisplayInline = 1,
    DisplayBlock = 2,
    DisplayListItem = 3,
    DisplayTable = 7,
    DisplayTableRowGroup = 9,
    DisplayTableHeaderGroup = 10,
    DisplayTableFooterGroup = 11,
    DisplayTableRow = 12,
    DisplayTableColumnGroup = 13,
    DisplayTableColumn = 14,
    DisplayTableCell = 15,
    DisplayTableCaption = 16,
    DisplayNone = 17,
};

// CSS white-space keyword indices.
enum ElementWhiteSpace : uint8_t {
    WhiteSpaceInherit = 0,
    WhiteSpaceNormal = 1,
    WhiteSpacePre = 2,
    WhiteSpaceNowrap = 3,
};

// Layout defaults of a known element.
struct ElementDefProps {
    bool allowText;   // the element may directly contain text
    bool isObject;    // a replaced object such as an image
    uint8_t display;  // ElementDisplay
    uint8_t whiteSpace;  // ElementWhiteSpace
};

// One row of a predefined name table; a row with id 0 ends the table.
struct NameTableRow {
    uint16_t id;
    const char* name;
    const ElementDefProps* props;  // elements only; null elsewhere
};

// Predefined element ids. They are part of the stored document format and
// several are referred to by number, so their order never changes.
enum ElementNameId : uint16_t {
    ElemAutoBoxing = 1,
    ElemXmlDecl,           // ?xml
    ElemXmlStylesheetPI,   // ?xml-stylesheet
    ElemFictionBook,
    ElemGenre,
    ElemAnnotation,
    ElemId,
    ElemVersion,
    ElemOutput,
    ElemPart,
    ElemParam,
    ElemBody,  // 12
    ElemP,
    ElemCoverpage,
    ElemImage,
    ElemImg,
    ElemLang,
    ElemSection,  // 18
    ElemForm,
    ElemBinary,
    ElemTextAuthor,
    ElemDiv,  // 22
    ElemSvg,
    ElemDl,
    ElemDt,
    ElemDd,
    ElemOl,
    ElemUl,
    ElemLi,
    ElemH1,
    ElemH2,
    ElemH3,
    ElemH4,
    ElemH5,
    ElemH6,
    ElemPre,
    ElemBlockquote,
    ElemEm,
    ElemQ,
    ElemSpan,
    ElemBr,
    ElemTitle,
    ElemB,
    ElemI,
    ElemStrikethrough,
    ElemSub,
    ElemSup,
    ElemStyle,
    ElemStrong,
    ElemEmphasis,
    ElemCode,
    ElemA,  // 52
    ElemHtml,
    ElemHead,
    ElemHr,
    ElemTable,
    ElemCaption,
    ElemCol,
    ElemColgroup,
    ElemTr,
    ElemTbody,
    ElemThead,
    ElemTfoot,
    ElemTh,
    ElemTd,
    ElemCite,
    ElemV,
    ElemStanza,
    ElemEpigraph,
    ElemSubtitle,
    ElemPoem,
    ElemEmptyLine,
    ElemHistory,
    ElemAuthor,
    ElemDate,
    ElemYear,
    ElemSequence,
    ElemStylesheet,
    ElemDescription,
    ElemTitleInfo,
    ElemSrcTitleInfo,
    ElemDocumentInfo,
    ElemPublishInfo,
    ElemCustomInfo,
    ElemHomePage,
    ElemSrcUrl,
    ElemEmail,
    ElemBookTitle,
    ElemProgramUsed,
    ElemFirstName,
    ElemMiddleName,
    ElemLastName,
    ElemSrcOcr,
    ElemBookName,
    ElemPublisher,
    ElemCity,
    ElemIsbn,
    ElemNickname,
    ElemKeywords,
    ElemDocFragment,  // 100
};

// Predefined attribute ids.
enum AttributeNameId : uint16_t {
    AttrId = 1,
    AttrClass,
    AttrValue,
    AttrName,
    AttrNumber,
    AttrHref,
    AttrType,
    AttrMode,
    AttrPrice,
    AttrStyle,
    AttrWidth,
    AttrHeight,
    AttrColspan,
    AttrRowspan,
    AttrAlign,
    AttrValign,
    AttrCurrency,
    AttrVersion,
    AttrEncoding,
    AttrL,
    AttrXmlns,
    AttrGenre,
    AttrXlink,
    AttrLink,
    AttrXsi,
    AttrSchemaLocation,
    AttrInclude,
    AttrIncludeAll,
    AttrContentType,
    AttrStyleSheet,  // 30
    AttrTitle,
    AttrSubtitle,
    AttrSuptitle,  // 33
};

// Predefined namespace ids.
enum NamespaceNameId : uint16_t {
    NsL = 1,
    NsXsi,
    NsXmlns,
    NsXlink,
    NsXs,
};

// The predefined tables, each ended by a row with id 0.
extern const NameTableRow ElementTypeTable[];
extern const NameTableRow AttributeTypeTable[];
extern const NameTableRow NamespaceTypeTable[];

// Maps names to 16-bit ids and back. Ids of new names come from a counter
// that starts above the predefined range and is never reused. When the id
// space is used up, every further new name maps to one fallback id (0xFFFF),
// which never collides with a predefined or allocated id.
class NameIdMap {
public:
    static constexpr uint16_t kFallbackId = 0xFFFF;

    // firstFreeId: the first id handed out to a name that is not predefined.
    // fallbackName: the name reported for kFallbackId (and resolved to it).
    NameIdMap(uint16_t firstFreeId, size_t initialCapacity, const char* fallbackName);

    // Id of name, 0 when the name is empty or (without create) unknown.
    uint16_t idByName(const LVString16& name, bool create);
    uint16_t idByName(const char* utf8Name, bool create);
    uint16_t findId(const LVString16& name) const;
    // Name of id; empty for unknown ids and 0.
    LVString16 nameById(uint16_t id) const;
    // The element defaults of id, or null. The pointer stays valid for the
    // life of the map (until clear()).
    const ElementDefProps* propsById(uint16_t id) const;

    // Adds one predefined row. Refused (false) for id 0, ids at or above the
    // first free id, an empty name, or a name or id already present.
    bool addPredefined(uint16_t id, const LVString16& name, const ElementDefProps* props);
    // Adds every row of table up to the row with id 0; false when a row was refused.
    bool loadTable(const NameTableRow* table);

    uint16_t nextId() const { return nextId_; }
    uint16_t firstFreeId() const { return firstFreeId_; }
    // Number of names with an id (the fallback name is not counted).
    size_t size() const { return index_.size(); }
    // Names that were mapped to the fallback id since the table was created.
    uint32_t overflowCount() const { return overflowCount_; }
    // Drops every name and restarts the counter.
    void clear();

private:
    struct Entry {
        LVString16 name;
        const ElementDefProps* props = nullptr;
    };
    struct NameHash {
        size_t operator()(const LVString16& s) const;
    };
    void store(uint16_t id, const LVString16& name, const ElementDefProps* props);

    uint16_t firstFreeId_;
    uint16_t nextId_;
    uint32_t overflowCount_ = 0;
    LVString16 fallbackName_;
    std::vector<Entry> byId_;
    std::deque<ElementDefProps> props_;  // stable storage behind Entry::props
    std::unordered_map<LVString16, uint16_t, NameHash> index_;
};
