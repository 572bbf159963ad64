#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include "dom/ldomdocument.h"
#include "dom/ldomnode.h"
#include "dom/position.h"
#include "dom/range.h"
#include "dom/treedump.h"
#include "markup_driver.h"

namespace {

using markup::utf8;

// The head and the script are not book text; "Hel<b>lo</b>" spans two nodes.
const char* kPage =
    "<html><head><title>Word word</title></head><body>"
    "<p>A word, a Word, a WORD.</p><p>Hel<b>lo</b> world; wordword</p>"
    "<p>No match here.</p><script>word</script></body></html>";
// The visible text nodes of kPage, in order.
const std::vector<std::string> kVisible = {"A word, a Word, a WORD.", "Hel", "lo",
                                           " world; wordword", "No match here."};

// Non-overlapping occurrences in each text, counted independently of the
// engine (ASCII case folding is enough for these texts).
int expectedCount(const std::string& pattern, bool caseInsensitive) {
    auto fold = [&](std::string s) {
        if (caseInsensitive)
            for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    std::string p = fold(pattern);
    int n = 0;
    for (const std::string& t : kVisible) {
        std::string s = fold(t);
        for (size_t at = s.find(p); at != std::string::npos; at = s.find(p, at + p.size())) ++n;
    }
    return n;
}

struct Hit {
    std::string text;
    int32_t start;
    bool operator==(const Hit&) const = default;
    friend std::ostream& operator<<(std::ostream& os, const Hit& h) {
        return os << '"' << h.text << "\"@" << h.start;
    }
};

std::vector<Hit> hitsOf(const std::vector<ldomWordSpan>& words) {
    std::vector<Hit> out;
    for (const ldomWordSpan& w : words) out.push_back({utf8(w.node->getText()), w.start});
    return out;
}

TEST(FindText, CountsMatchAnIndependentCount) {
    auto doc = markup::build(kPage, markup::Writer::Filter);
    for (const char* pattern : {"word", "Word", "WORD", "wOrD", "a", "Hello", "lo w", "here."}) {
        for (bool ci : {false, true}) {
            for (bool reverse : {false, true}) {
                SCOPED_TRACE(std::string(pattern) + (ci ? " ci" : " cs") + (reverse ? " rev" : ""));
                std::vector<ldomWordSpan> words;
                bool found = doc->findText(LVString16(pattern), ci, reverse, 0, 0, words, 0, 0);
                int expected = expectedCount(pattern, ci);
                EXPECT_EQ(static_cast<int>(words.size()), expected);
                EXPECT_EQ(found, expected > 0);
                for (const ldomWordSpan& w : words) {
                    LVString16 got = w.getText();
                    LVString16 want(pattern);
                    if (ci) {
                        got.toLower();
                        want.toLower();
                    }
                    EXPECT_EQ(utf8(got), utf8(want));
                }
            }
        }
    }
}

TEST(FindText, OrderAndCount) {
    auto doc = markup::build(kPage, markup::Writer::Filter);
    std::vector<ldomWordSpan> forward, backward, one;
    ASSERT_TRUE(doc->findText(LVString16("word"), true, false, 0, 0, forward, 0, 0));
    ASSERT_TRUE(doc->findText(LVString16("word"), true, true, 0, 0, backward, 0, 0));
    const std::vector<Hit> expected = {{kVisible[0], 2},  {kVisible[0], 10}, {kVisible[0], 18},
                                       {kVisible[3], 8},  {kVisible[3], 12}};
    EXPECT_EQ(hitsOf(forward), expected);
    std::vector<Hit> reversed(expected.rbegin(), expected.rend());
    EXPECT_EQ(hitsOf(backward), reversed);

    ASSERT_TRUE(doc->findText(LVString16("word"), true, false, 0, 0, one, 1, 0));
    EXPECT_EQ(hitsOf(one), (std::vector<Hit>{expected.front()}));
    one.clear();
    ASSERT_TRUE(doc->findText(LVString16("word"), true, true, 0, 0, one, 2, 0));
    EXPECT_EQ(hitsOf(one), (std::vector<Hit>{expected[4], expected[3]}));

    // Hits are appended to what the list already holds.
    EXPECT_FALSE(doc->findText(LVString16("absent"), true, false, 0, 0, one, 0, 0));
    EXPECT_FALSE(doc->findText(LVString16(""), true, false, 0, 0, one, 0, 0));
    EXPECT_EQ(one.size(), 2u);
}

TEST(FindText, MaxHeightKeepsTheNearestHits) {
    auto doc = markup::build(kPage, markup::Writer::Filter);
    ldomNode* body = positionFromString(doc.get(), LVString16("/html/body")).getNode();
    ASSERT_NE(body, nullptr);
    // Paragraph boxes as a layout would place them.
    for (int i = 0; i < 3; ++i) {
        RenderRect r;
        r.y = 1000 * i;
        r.height = 100;
        body->getChildNode(i)->setRenderData(r);
        RenderRect inner;
        if (ldomNode* b = body->getChildNode(i)->getChildNode(1); b && b->isElement())
            b->setRenderData(inner);
    }
    std::vector<ldomWordSpan> words;
    ASSERT_TRUE(doc->findText(LVString16("word"), true, false, 0, 0, words, 0, 500));
    EXPECT_EQ(words.size(), 3u);  // the hits of the first paragraph
    words.clear();
    ASSERT_TRUE(doc->findText(LVString16("word"), true, true, 0, 0, words, 0, 500));
    ASSERT_EQ(words.size(), 2u);  // backwards: the second paragraph, not the first
    EXPECT_EQ(utf8(words[0].node->getText()), kVisible[3]);
    words.clear();
    ASSERT_TRUE(doc->findText(LVString16("word"), true, false, 0, 0, words, 0, 5000));
    EXPECT_EQ(words.size(), 5u);
}

TEST(FindText, WithinARange) {
    auto doc = markup::build(kPage, markup::Writer::Filter);
    ldomNode* first = positionFromString(doc.get(), LVString16("/html/body/p[1]/text()")).getNode();
    ldomNode* last = positionFromString(doc.get(), LVString16("/html/body/p[2]/text()[2]")).getNode();
    ASSERT_TRUE(first && last);
    // From inside the first "word" to the middle of "wordword".
    ldomXRange range(ldomPosition(first, 3), ldomPosition(last, 12));
    for (bool reverse : {false, true}) {
        std::vector<ldomWordSpan> words;
        ASSERT_TRUE(findTextInRange(range, LVString16("word"), true, reverse, words, 0, 0));
        std::vector<Hit> expected = {{kVisible[0], 10}, {kVisible[0], 18}, {kVisible[3], 8}};
        if (reverse) std::reverse(expected.begin(), expected.end());
        EXPECT_EQ(hitsOf(words), expected);
    }
    // A range that ends at an element offset.
    ldomNode* body = first->getParentNode()->getParentNode();
    ldomXRange twoParagraphs(ldomPosition(body, 1), ldomPosition(body, 2));
    for (bool reverse : {false, true}) {
        std::vector<ldomWordSpan> words;
        findTextInRange(twoParagraphs, LVString16("word"), false, reverse, words, 0, 0);
        EXPECT_EQ(words.size(), 2u);
    }
}

TEST(RangeText, BlocksHiddenElementsAndLimits) {
    auto doc = markup::build(kPage, markup::Writer::Filter);
    EXPECT_EQ(utf8(dumpDocumentText(doc.get())),
              "A word, a Word, a WORD.\nHello world; wordword\nNo match here.");
    ldomNode* root = doc->getRootNode();
    EXPECT_EQ(utf8(ldomXRange(root).getRangeText(0)),
              "A word, a Word, a WORD.Hello world; wordwordNo match here.");
    EXPECT_EQ(utf8(ldomXRange(root).getRangeText(u'\n', 25)), "A word, a Word, a WORD.\nH");

    ldomNode* first = positionFromString(doc.get(), LVString16("/html/body/p[1]/text()")).getNode();
    ldomNode* lo = positionFromString(doc.get(), LVString16("/html/body/p[2]/b/text()")).getNode();
    EXPECT_EQ(utf8(ldomXRange(ldomPosition(first, 18), ldomPosition(lo, 1)).getRangeText()),
              "WORD.\nHell");
    EXPECT_EQ(utf8(ldomXRange(ldomPosition(lo, 1), ldomPosition(first, 18)).getRangeText()), "");

    // Leaving a block is a boundary too; cells are blocks; inline elements are not.
    auto mixed = markup::build(
        "<body><div>a<p>b</p>c</div><table><tr><td>1</td><td>2</td></tr></table>x<i>y</i></body>");
    EXPECT_EQ(utf8(dumpDocumentText(mixed.get())), "a\nb\nc\n1\n2\nxy");
}

TEST(RangeList, SortsIntoDocumentOrder) {
    auto doc = markup::build(kPage, markup::Writer::Filter);
    std::vector<ldomWordSpan> words;
    doc->findText(LVString16("word"), true, true, 0, 0, words, 0, 0);
    ldomXRangeList& list = doc->getSelections();
    for (const ldomWordSpan& w : words) list.add(w.toRange(1));
    list.sort();
    ASSERT_EQ(list.size(), 5);
    for (int i = 1; i < list.size(); ++i) EXPECT_LT(list[i - 1].compare(list[i]), 0);
    EXPECT_EQ(list[0].getStart().getOffset(), 2);
    EXPECT_TRUE(list[0].isInside(ldomIndexedPointer(list[0].getStart().getNode(), 5)));
    EXPECT_FALSE(list[0].isInside(ldomIndexedPointer(list[0].getStart().getNode(), 6)));
    list.erase(0);
    EXPECT_EQ(list.size(), 4);
}

}  // namespace
