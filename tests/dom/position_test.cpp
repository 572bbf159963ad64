#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "dom/ldomdocument.h"
#include "dom/ldomnode.h"
#include "dom/position.h"
#include "dom/range.h"
#include "dom/writer.h"
#include "markup_driver.h"

namespace {

using markup::utf8;

const char* kBook =
    "<FictionBook><description><title-info><book-title>Book</book-title></title-info>"
    "</description><body><section id=\"s1\"><title><p>One</p></title>"
    "<p>first <b>bold</b> tail</p><p>second</p></section>"
    "<section><p>only</p></section><section/><section><p>x</p></section></body></FictionBook>";

Ref<ldomDocument> mergedFixture() {
    Ref<ldomDocument> doc = ldomDocument::create();
    ldomDocumentWriterFilter parent(doc.get());
    ldomDocumentFragmentWriter writer(&parent, LVString16("body"), LVString16("DocFragment"),
                                      LVString16("a.htm"));
    writer.addPath(LVString16("a.htm"), LVString16("_doc_fragment_1"));
    writer.addPath(LVString16("b.htm"), LVString16("_doc_fragment_2"));
    parent.OnStart(nullptr);
    writer.setCodeBase(LVString16("a.htm"));
    markup::feed(writer, "<html><body><p id=\"p\">a<a href=\"b.htm#q\">b</a></p><p>c</body></html>");
    writer.setCodeBase(LVString16("b.htm"));
    markup::feed(writer, "<html><body><p id=\"q\">d<br>e</p></body></html>");
    parent.OnStop();
    return doc;
}

std::vector<Ref<ldomDocument>> fixtures() {
    return {markup::build(kBook),
            markup::build("<html><head><title>T</title></head><body><p>a<p>b<br>c<table><tr><td>1"
                          "<td>2</table>tail</body></html>",
                          markup::Writer::Filter),
            mergedFixture()};
}

// Every position of the subtree in document order: the element itself,
// then before each child, the child's positions, and after the last child;
// a text node itself, then each character offset.
void positionsInOrder(ldomNode* node, std::vector<ldomPosition>& out) {
    out.emplace_back(node, -1);
    if (node->isText()) {
        int32_t len = node->getText().length();
        for (int32_t k = 0; k <= len; ++k) out.emplace_back(node, k);
        return;
    }
    for (int i = 0; i < node->getChildCount(); ++i) {
        out.emplace_back(node, i);
        positionsInOrder(node->getChildNode(i), out);
    }
    out.emplace_back(node, node->getChildCount());
}

TEST(Position, EveryPositionSurvivesItsStringForm) {
    for (auto& doc : fixtures()) {
        std::vector<ldomPosition> all;
        positionsInOrder(doc->getRootNode(), all);
        ASSERT_GT(all.size(), 40u);
        for (const ldomPosition& p : all) {
            LVString16 s = p.toString();
            ldomPosition back = positionFromString(doc.get(), s);
            EXPECT_EQ(back, p) << utf8(s);
        }
    }
}

TEST(Position, CompareGivesDocumentOrder) {
    std::mt19937 random(7);
    for (auto& doc : fixtures()) {
        std::vector<ldomPosition> ordered;
        positionsInOrder(doc->getRootNode(), ordered);
        std::vector<ldomPosition> shuffled = ordered;
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        std::sort(shuffled.begin(), shuffled.end(),
                  [](const ldomPosition& a, const ldomPosition& b) { return a.compare(b) < 0; });
        EXPECT_EQ(shuffled, ordered);

        std::vector<ldomIndexedPointer> pointers;
        for (const ldomPosition& p : ordered) pointers.emplace_back(p);
        std::shuffle(pointers.begin(), pointers.end(), random);
        std::sort(pointers.begin(), pointers.end());
        for (size_t i = 0; i < ordered.size(); ++i) ASSERT_EQ(pointers[i].position(), ordered[i]);
        // Antisymmetric and consistent between both forms.
        for (size_t i = 0; i + 7 < ordered.size(); i += 7) {
            EXPECT_EQ(ordered[i].compare(ordered[i + 7]), -1);
            EXPECT_EQ(ordered[i + 7].compare(ordered[i]), 1);
            EXPECT_EQ(ordered[i].compare(ordered[i]), 0);
        }
    }
}

TEST(Position, StringForms) {
    auto doc = markup::build(kBook);
    auto node = [&](const char* path) {
        return positionFromString(doc.get(), LVString16(path)).getNode();
    };
    ldomNode* body = node("/FictionBook/body");
    ASSERT_NE(body, nullptr);
    ldomNode* s1 = body->getChildNode(0);
    ldomNode* s2 = body->getChildNode(1);

    struct Case {
        const char* text;
        ldomNode* node;  // null: does not resolve
        int32_t offset;
    };
    ldomNode* tail = s1->getChildNode(1)->getChildNode(2);
    const Case cases[] = {
        {"/FictionBook/body/section", s1, -1},
        {"/FictionBook[1]/body[1]/section[2]", s2, -1},
        {"/FictionBook/body/section[4]", body->getChildNode(3), -1},
        {"/FictionBook/body/section[5]", nullptr, 0},
        {"/body/section[2]", s2, -1},  // tried inside the root's only child
        {"/FictionBook/2", body, -1},
        {"/FictionBook/3", nullptr, 0},
        {"/FictionBook/0", nullptr, 0},
        {"/FictionBook/body/section[2]/p/text().4", s2->getChildNode(0)->getChildNode(0), 4},
        {"/FictionBook/body/section[2]/p/text().5", nullptr, 0},
        {"/FictionBook/body/section[1]/p[1]/text()", nullptr, 0},  // two text children
        {"/FictionBook/body/section[1]/p[1]/text()[2].1", tail, 1},
        {"/FictionBook/body/section[1]/p[1].3", s1->getChildNode(1), 3},
        {"/FictionBook/body/section[1]/p[1].4", nullptr, 0},
        {"#s1", s1, -1},
        {"#missing", nullptr, 0},
        {"#", nullptr, 0},
        {"/", doc->getRootNode(), -1},
        {"/.1", doc->getRootNode(), 1},
        {"", nullptr, 0},
        {"/FictionBook/body/section[99999999999]", nullptr, 0},
        {"/FictionBook/body/section[2147483648]", nullptr, 0},
        {"/FictionBook/body/section[0]", nullptr, 0},
        {"/FictionBook/body/section[-1]", nullptr, 0},
        {"/FictionBook/body/section[1", nullptr, 0},
        {"/FictionBook/body/section[1]x", nullptr, 0},
        {"/FictionBook//body", nullptr, 0},
        {"/FictionBook/nosuch", nullptr, 0},
        {"/FictionBook/body.99999999999", nullptr, 0},
        {"/FictionBook/body.1.2", nullptr, 0},
        {"/FictionBook/body.+1", nullptr, 0},
        {"FictionBook", nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ldomPosition p = positionFromString(doc.get(), LVString16(c.text));
        EXPECT_EQ(p.getNode(), c.node);
        if (c.node) {
            EXPECT_EQ(p.getOffset(), c.offset);
        }
    }
    // Brackets only where a name or text() repeats.
    EXPECT_EQ(utf8(ldomPosition(s2->getChildNode(0), -1).toString()), "/FictionBook/body/section[2]/p");
    EXPECT_EQ(utf8(ldomPosition(s1->getChildNode(2), 0).toString()),
              "/FictionBook/body/section[1]/p[2].0");
    EXPECT_EQ(utf8(ldomPosition(tail, 3).toString()),
              "/FictionBook/body/section[1]/p[1]/text()[2].3");
    EXPECT_EQ(utf8(ldomPosition().toString()), "");
}

TEST(IndexedPointer, Walks) {
    auto doc = markup::build(kBook);
    ldomNode* s1 = positionFromString(doc.get(), LVString16("#s1")).getNode();
    ldomNode* p1 = s1->getChildNode(1);  // first <b>bold</b> tail
    ldomIndexedPointer p(p1->getChildNode(0), 2);
    ASSERT_FALSE(p.isNull());
    EXPECT_EQ(p.level(), 5);  // FictionBook, body, section, p, text
    auto text = [](const ldomIndexedPointer& q) { return utf8(q.getNode()->getText()); };

    // Within the paragraph, then out of it.
    ASSERT_TRUE(p.nextText(true));
    EXPECT_EQ(text(p), "bold");
    EXPECT_EQ(p.getOffset(), 0);
    ASSERT_TRUE(p.nextText(true));
    EXPECT_EQ(text(p), " tail");
    ldomIndexedPointer before = p;
    EXPECT_FALSE(p.nextText(true));
    EXPECT_EQ(p, before);
    ASSERT_TRUE(p.nextText());
    EXPECT_EQ(text(p), "second");
    ASSERT_TRUE(p.prevText());
    EXPECT_EQ(text(p), " tail");
    ASSERT_TRUE(p.prevText(true));
    ASSERT_TRUE(p.prevText(true));
    EXPECT_EQ(text(p), "first ");
    EXPECT_FALSE(p.prevText(true));
    EXPECT_EQ(text(p), "first ");
    EXPECT_EQ(p.ancestorLevel(ElemSection), 3);
    EXPECT_EQ(p.ancestorLevel(ElemTable), -1);
    // The path always matches the node it is carried with.
    EXPECT_EQ(p.path(), (std::vector<int32_t>{0, 1, 0, 1, 0}));

    // Previous element in document order: the deepest last element first.
    ldomIndexedPointer e(s1->getChildNode(2), -1);  // <p>second</p>
    std::vector<std::string> seen;
    while (seen.size() < 7 && e.prevElement()) seen.push_back(utf8(e.getNode()->getNodeName()));
    EXPECT_EQ(seen, (std::vector<std::string>{"b", "p", "p", "title", "section", "body",
                                              "book-title"}));

    ldomIndexedPointer root(doc->getRootNode(), -1);
    EXPECT_FALSE(root.parent());
    EXPECT_FALSE(root.prevNode());
    EXPECT_FALSE(root.child(5));
    ASSERT_TRUE(root.firstChild());
    EXPECT_FALSE(root.nextSibling());
    ASSERT_TRUE(root.lastChild());  // body
    ASSERT_TRUE(root.lastChild());  // fourth section
    ASSERT_TRUE(root.prevSibling());
    EXPECT_EQ(root.getNode(), s1->getParentNode()->getChildNode(2));
    EXPECT_EQ(root.path(), (std::vector<int32_t>{0, 1, 2}));
    ASSERT_TRUE(root.parent());
    EXPECT_EQ(root.getNode(), s1->getParentNode());
}

TEST(Position, DeepTreesNeedNoRecursion) {
    Ref<ldomDocument> doc = ldomDocument::create();
    ldomNode* n = doc->getRootNode();
    const int kDepth = 20000;
    for (int i = 0; i < kDepth; ++i) n = n->insertChildElement(ElemDiv);
    ldomNode* t = n->insertChildText("deep");
    ldomNode* shallow = doc->getRootNode()->insertChildElement(ElemP)->insertChildText("top");
    ldomPosition p(t, 2);
    LVString16 s = p.toString();
    EXPECT_EQ(s.length(), kDepth * 4 + 9);  // "/div" per level, "/text().2"
    EXPECT_EQ(positionFromString(doc.get(), s), p);
    ldomIndexedPointer deep(p);
    EXPECT_EQ(deep.level(), kDepth + 1);
    ldomIndexedPointer top(shallow, 0);
    EXPECT_LT(deep.compare(top), 0);
    ASSERT_TRUE(deep.nextText());
    EXPECT_EQ(deep.getNode(), shallow);
    ASSERT_TRUE(deep.prevText());
    EXPECT_EQ(deep.getNode(), t);
    EXPECT_EQ(utf8(ldomXRange(doc->getRootNode()).getRangeText()), "deep\ntop");
}

}  // namespace
