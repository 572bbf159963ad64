#include "dom/docmeta.h"

#include <gtest/gtest.h>

#include <string>

#include "dom/ldomdocument.h"
#include "dom_test_support.h"
#include "foundation/timelimit.h"

namespace {

struct Author {
    const char* first;
    const char* middle;
    const char* last;
};

// FictionBook/description/title-info with the given parts, plus a body.
Ref<ldomDocument> fictionBook(const std::vector<Author>& authors, const char* title,
                              const char* lang, const char* seqName, const char* seqNumber) {
    auto doc = ldomDocument::create();
    ldomNode* fb = doc->getRootNode()->insertChildElement(ElemFictionBook);
    ldomNode* info = fb->insertChildElement(ElemDescription)->insertChildElement(ElemTitleInfo);
    info->insertChildElement(ElemGenre)->insertChildText("prose");
    for (const Author& a : authors) {
        ldomNode* e = info->insertChildElement(ElemAuthor);
        if (a.first) e->insertChildElement(ElemFirstName)->insertChildText(a.first);
        if (a.middle) e->insertChildElement(ElemMiddleName)->insertChildText(a.middle);
        if (a.last) e->insertChildElement(ElemLastName)->insertChildText(a.last);
    }
    if (title) info->insertChildElement(ElemBookTitle)->insertChildText(title);
    if (lang) info->insertChildElement(ElemLang)->insertChildText(lang);
    if (seqName || seqNumber) {
        ldomNode* s = info->insertChildElement(ElemSequence);
        if (seqName) s->setAttributeValue(0, AttrName, LVString16(seqName));
        if (seqNumber) s->setAttributeValue(0, AttrNumber, LVString16(seqNumber));
        info->insertChildElement(ElemSequence)->setAttributeValue(0, AttrName, LVString16("Later"));
    }
    ldomNode* body = fb->insertChildElement(ElemBody);
    body->insertChildElement(ElemSection)->insertChildElement(ElemP)->insertChildText("Text.");
    doc->persist(TimeLimit());
    return doc;
}

TEST(DocMetadata, TitleLanguageAndAuthors) {
    auto doc = fictionBook({{"Ivan", "Petrovich", "Sidorov"}, {" John ", nullptr, "Smith"},
                            {nullptr, nullptr, nullptr}, {"Anna", nullptr, nullptr}},
                           "  The \xD0\x9A\xD0\xBD\xD0\xB8\xD0\xB3\xD0\xB0\n", "ru", "Saga", "3");
    EXPECT_EQ(utf8(docBookTitle(doc.get())), "The \xD0\x9A\xD0\xBD\xD0\xB8\xD0\xB3\xD0\xB0");
    EXPECT_EQ(utf8(docLanguage(doc.get())), "ru");
    EXPECT_EQ(utf8(docAuthors(doc.get(), LVString16(), true)),
              "Ivan P. Sidorov, John Smith, Anna");
    EXPECT_EQ(utf8(docAuthors(doc.get(), LVString16("; "), false)),
              "Ivan Petrovich Sidorov; John Smith; Anna");
}

TEST(DocMetadata, AtMostSixteenAuthors) {
    std::vector<Author> many;
    std::vector<std::string> names;
    for (int i = 0; i < 20; ++i) names.push_back("A" + std::to_string(i));
    for (const std::string& n : names) many.push_back({n.c_str(), nullptr, nullptr});
    auto doc = fictionBook(many, "T", nullptr, nullptr, nullptr);
    std::string all = utf8(docAuthors(doc.get(), LVString16(","), false));
    EXPECT_EQ(all, "A0,A1,A2,A3,A4,A5,A6,A7,A8,A9,A10,A11,A12,A13,A14,A15");
}

TEST(DocMetadata, SeriesForms) {
    struct Case {
        const char* name;
        const char* number;
        const char* text;
        bool hasParts;
        int numberValue;
    };
    const Case cases[] = {
        {"Saga", "3", "(Saga #3)", true, 3},
        {" Saga ", nullptr, "(Saga)", true, 0},
        {"Saga", "IV", "(Saga #IV)", true, 0},
        {nullptr, "3", "", false, 0},
        {"  ", "3", "", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto doc = fictionBook({}, "T", nullptr, c.name, c.number);
        EXPECT_EQ(utf8(docSeries(doc.get())), c.text);
        LVString16 name;
        int32_t number = -1;
        EXPECT_EQ(docSeriesParts(doc.get(), name, number), c.hasParts);
        EXPECT_EQ(number, c.numberValue);
        if (c.hasParts) {
            EXPECT_EQ(utf8(name), "Saga");
        }
    }
}

TEST(DocMetadata, EmptyForOtherShapes) {
    auto doc = ldomDocument::create();
    doc->getRootNode()->insertChildElement(ElemHtml)->insertChildElement(ElemBody);
    EXPECT_TRUE(docBookTitle(doc.get()).empty());
    EXPECT_TRUE(docAuthors(doc.get(), LVString16(), true).empty());
    EXPECT_TRUE(docSeries(doc.get()).empty());
    auto bare = ldomDocument::create(false);  // no name tables at all
    EXPECT_TRUE(docLanguage(bare.get()).empty());
}

}  // namespace
