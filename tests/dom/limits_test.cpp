// Trees at and past the fixed-width limits of node storage.
#include <gtest/gtest.h>

#include <cstdio>

#include "dom/ldomdocument.h"
#include "dom_test_support.h"
#include "foundation/timelimit.h"

namespace {

// 1.2 million text nodes: the text table holds 1,048,575; the rest fail
// cleanly and everything created stays intact.
TEST(Limits, TextTableOverflowFailsCleanly) {
    auto doc = ldomDocument::create();
    ldomNode* body = doc->getRootNode()->insertChildElement(ElemBody);
    const int total = 1200000, perParagraph = 1000;
    int created = 0, failed = 0;
    char buf[16];
    ldomNode* p = nullptr;
    for (int i = 0; i < total; ++i) {
        if (i % perParagraph == 0) {
            if (p) p->persist();
            p = body->insertChildElement(ElemP);
            ASSERT_TRUE(p);
        }
        std::snprintf(buf, sizeof buf, "%d", i);
        if (p->insertChildText(buf)) ++created;
        else ++failed;
    }
    p->persist();
    EXPECT_EQ(created, static_cast<int>(kMaxNodeIndex));
    EXPECT_EQ(failed, total - created);
    EXPECT_TRUE(doc->nodeTableOverflow());
    EXPECT_EQ(doc->getTextCount(), kMaxNodeIndex);

    // Spot checks across the whole range, including the last node created.
    for (int i : {0, 1023, 1024, 524287, 1048574}) {
        ldomNode* para = body->getChildNode(i / perParagraph);
        ldomNode* t = para->getChildNode(i % perParagraph);
        ASSERT_TRUE(t) << i;
        std::snprintf(buf, sizeof buf, "%d", i);
        EXPECT_EQ(t->getText8(), buf);
        EXPECT_EQ(t->getParentNode(), para);
        EXPECT_EQ(t->getDataIndex(), static_cast<uint32_t>(i + 1));
    }
    // Paragraphs past the limit exist but are empty.
    EXPECT_EQ(body->getChildNode(1100)->getChildCount(), 0);

    // A text too long for one record needs new nodes to persist. With room
    // for only two of the three it needs, persisting fails without losing or
    // doubling any text; once there is room it completes.
    std::string big;
    while (big.size() < 200000) big += "\xD0\xB6\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C ";
    ldomNode* para = body->getChildNode(5);
    ldomNode* t = para->getChildNode(0);
    para->getChildNode(1)->destroy();
    para->getChildNode(1)->destroy();
    ASSERT_TRUE(t->setText(LVString8(big.c_str(), static_cast<int32_t>(big.size()))));
    auto joined = [&] {
        std::string s;
        for (int i = 0; i < para->getChildCount() - 997; ++i) {  // 997 short texts follow
            LVString8 piece = para->getChildNode(i)->getText8();
            s.append(piece.c_str(), piece.length());
        }
        return s;
    };
    EXPECT_EQ(t->persist(), nullptr);
    EXPECT_TRUE(t->isMutable());
    EXPECT_EQ(para->getChildCount(), 998 + 2);
    EXPECT_TRUE(joined() == big);
    body->getChildNode(6)->destroy();
    EXPECT_EQ(t->persist(), t);
    EXPECT_EQ(para->getChildCount(), 998 + 3);
    EXPECT_TRUE(joined() == big);
    EXPECT_EQ(utf8(para->getChildNode(4)->getText()), "5003");

    // Freed instances can be used again.
    body->getChildNode(0)->destroy();
    ldomNode* again = body->getChildNode(0)->insertChildText("again");
    ASSERT_TRUE(again);
    EXPECT_LE(again->getDataIndex(), 1000u);
    EXPECT_EQ(doc->persist(TimeLimit()), 0);
}

}  // namespace
