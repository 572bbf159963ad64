#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "dom/ldomdocument.h"
#include "dom/nametables.h"
#include "dom_test_support.h"

namespace {

std::vector<std::string> tableNames(const NameTableRow* table) {
    std::vector<std::string> out;
    for (const NameTableRow* r = table; r->id; ++r) {
        EXPECT_EQ(r->id, out.size() + 1) << r->name;
        out.push_back(r->name);
    }
    return out;
}

TEST(NameTables, PredefinedIdsAreInTheFixedOrder) {
    std::vector<std::string> elements = tableNames(ElementTypeTable);
    ASSERT_EQ(elements.size(), 100u);
    const std::map<int, const char*> spots = {
        {1, "autoBoxing"}, {2, "?xml"},      {4, "FictionBook"}, {12, "body"},
        {13, "p"},         {18, "section"},  {22, "div"},        {42, "title"},
        {52, "a"},         {65, "td"},       {77, "sequence"},   {80, "title-info"},
        {88, "book-title"}, {92, "last-name"}, {100, "DocFragment"}};
    for (const auto& [id, name] : spots) EXPECT_EQ(elements[id - 1], name) << id;

    std::vector<std::string> attrs = tableNames(AttributeTypeTable);
    ASSERT_EQ(attrs.size(), 33u);
    EXPECT_EQ(attrs[0], "id");
    EXPECT_EQ(attrs[3], "name");
    EXPECT_EQ(attrs[5], "href");
    EXPECT_EQ(attrs[29], "StyleSheet");
    EXPECT_EQ(attrs[32], "suptitle");
    EXPECT_EQ(tableNames(NamespaceTypeTable),
              (std::vector<std::string>{"l", "xsi", "xmlns", "xlink", "xs"}));
}

// The element defaults, written out here group by group, must match the
// table row of every element.
TEST(NameTables, ElementDefaultsByGroup) {
    struct Group {
        bool allowText, isObject;
        uint8_t display, whiteSpace;
        std::vector<const char*> names;
    };
    const Group groups[] = {
        {true, false, DisplayBlock, WhiteSpaceNormal,
         {"autoBoxing", "id", "version", "body", "p", "lang", "text-author", "div", "dt", "dd",
          "h1", "h2", "h3", "h4", "h5", "h6", "blockquote", "title", "cite", "v", "subtitle",
          "history", "date", "year", "sequence", "custom-info", "home-page", "src-url", "email",
          "book-title", "program-used", "src-ocr", "book-name", "publisher", "city", "isbn",
          "nickname", "keywords"}},
        {false, false, DisplayBlock, WhiteSpaceNormal,
         {"?xml", "?xml-stylesheet", "FictionBook", "annotation", "output", "part", "param",
          "coverpage", "section", "svg", "dl", "ol", "ul", "html", "head", "hr", "stanza",
          "epigraph", "poem", "empty-line", "author", "title-info", "src-title-info",
          "document-info", "publish-info", "DocFragment"}},
        {true, false, DisplayNone, WhiteSpaceNormal, {"genre", "form", "binary", "stylesheet"}},
        {false, false, DisplayNone, WhiteSpaceNormal, {"description"}},
        {false, true, DisplayInline, WhiteSpaceNormal, {"image", "img"}},
        {true, false, DisplayListItem, WhiteSpaceInherit, {"li"}},
        {true, false, DisplayBlock, WhiteSpacePre, {"pre"}},
        {true, false, DisplayInline, WhiteSpaceNormal,
         {"em", "q", "span", "br", "b", "i", "strikethrough", "sub", "sup", "style", "strong",
          "emphasis", "a", "first-name", "middle-name", "last-name"}},
        {true, false, DisplayInline, WhiteSpacePre, {"code"}},
        {false, false, DisplayTable, WhiteSpaceNormal, {"table"}},
        {true, false, DisplayTableCaption, WhiteSpaceNormal, {"caption"}},
        {false, false, DisplayTableColumn, WhiteSpaceNormal, {"col"}},
        {false, false, DisplayTableColumnGroup, WhiteSpaceNormal, {"colgroup"}},
        {false, false, DisplayTableRow, WhiteSpaceNormal, {"tr"}},
        {false, false, DisplayTableRowGroup, WhiteSpaceNormal, {"tbody"}},
        {false, false, DisplayTableHeaderGroup, WhiteSpaceNormal, {"thead"}},
        {false, false, DisplayTableFooterGroup, WhiteSpaceNormal, {"tfoot"}},
        {true, false, DisplayTableCell, WhiteSpaceNormal, {"th", "td"}},
    };
    auto doc = ldomDocument::create();
    size_t covered = 0;
    for (const Group& g : groups) {
        for (const char* name : g.names) {
            SCOPED_TRACE(name);
            uint16_t id = doc->findElementNameIndex(LVString16(name));
            ASSERT_NE(id, 0);
            const ElementDefProps* p = doc->getElementTypePtr(id);
            ASSERT_TRUE(p);
            EXPECT_EQ(p->allowText, g.allowText);
            EXPECT_EQ(p->isObject, g.isObject);
            EXPECT_EQ(p->display, g.display);
            EXPECT_EQ(p->whiteSpace, g.whiteSpace);
            ++covered;
        }
    }
    EXPECT_EQ(covered, 100u);
    EXPECT_EQ(doc->getElementTypePtr(doc->getElementNameIndex("unknown-tag")), nullptr);
}

TEST(NameTables, NewNamesCountUpFromTheirTableStart) {
    for (bool predefined : {true, false}) {
        SCOPED_TRACE(predefined);
        auto doc = ldomDocument::create(predefined);
        struct Case {
            uint16_t (lxmlDocBase::*byName)(const char*);
            uint16_t first;
        };
        const Case cases[] = {{&lxmlDocBase::getElementNameIndex, 512},
                              {&lxmlDocBase::getAttrNameIndex, 512},
                              {&lxmlDocBase::getNsNameIndex, 32}};
        for (const Case& c : cases) {
            ldomDocument& d = *doc;
            EXPECT_EQ((d.*c.byName)("new-one"), c.first);
            EXPECT_EQ((d.*c.byName)("new-two"), c.first + 1);
            EXPECT_EQ((d.*c.byName)("new-one"), c.first);
            EXPECT_EQ((d.*c.byName)(""), 0);
        }
        EXPECT_EQ(utf8(doc->getElementName(513)), "new-two");
        EXPECT_EQ(utf8(doc->getNsName(32)), "new-one");
        EXPECT_TRUE(doc->getAttrName(514).empty());
        EXPECT_EQ(doc->findElementNameIndex(LVString16("absent")), 0);
        EXPECT_EQ(doc->findElementNameIndex(LVString16("")), 0);
        EXPECT_EQ(doc->findElementNameIndex(LVString16("body")), predefined ? 12 : 0);
        // 16-bit names go through the same table.
        EXPECT_EQ(doc->getElementNameIndex(LVString16(u"new-two")), 513);
    }
}

TEST(NameTables, ExhaustedIdSpaceMapsToOneFallbackId) {
    NameIdMap map(512, 1024, "#overflow");
    ASSERT_TRUE(map.loadTable(ElementTypeTable));
    char buf[32];
    for (int i = 512; i < NameIdMap::kFallbackId; ++i) {
        std::snprintf(buf, sizeof buf, "t%d", i);
        ASSERT_EQ(map.idByName(buf, true), i);
    }
    EXPECT_EQ(map.idByName("one-too-many", true), NameIdMap::kFallbackId);
    EXPECT_EQ(map.idByName("another", true), NameIdMap::kFallbackId);
    EXPECT_EQ(map.overflowCount(), 2u);
    // Nothing wrapped into the predefined range; earlier names are intact.
    EXPECT_EQ(map.idByName("body", true), ElemBody);
    EXPECT_EQ(map.idByName("section", false), ElemSection);
    EXPECT_EQ(map.idByName("t600", false), 600);
    EXPECT_EQ(utf8(map.nameById(NameIdMap::kFallbackId)), "#overflow");
    EXPECT_EQ(map.idByName("#overflow", false), NameIdMap::kFallbackId);
    EXPECT_TRUE(map.propsById(NameIdMap::kFallbackId) == nullptr);
}

TEST(NameTables, PredefinedRowsAreValidated) {
    NameIdMap map(512, 16, "#overflow");
    EXPECT_TRUE(map.addPredefined(5, LVString16("five"), nullptr));
    EXPECT_FALSE(map.addPredefined(5, LVString16("again"), nullptr));  // id taken
    EXPECT_FALSE(map.addPredefined(6, LVString16("five"), nullptr));   // name taken
    EXPECT_FALSE(map.addPredefined(0, LVString16("zero"), nullptr));
    EXPECT_FALSE(map.addPredefined(512, LVString16("high"), nullptr));
    EXPECT_FALSE(map.addPredefined(7, LVString16(), nullptr));
    // Props pointers survive later growth of the table.
    ElementDefProps props{true, false, DisplayBlock, WhiteSpacePre};
    ASSERT_TRUE(map.addPredefined(9, LVString16("nine"), &props));
    const ElementDefProps* before = map.propsById(9);
    for (int i = 0; i < 3000; ++i) map.idByName(("n" + std::to_string(i)).c_str(), true);
    EXPECT_EQ(map.propsById(9), before);
    EXPECT_EQ(before->whiteSpace, WhiteSpacePre);
}

}  // namespace
