#include <gtest/gtest.h>

#include <string>

#include "dom/ldomdocument.h"
#include "dom/ldomnode.h"
#include "dom/position.h"
#include "dom/toc.h"
#include "markup_driver.h"

namespace {

using markup::utf8;

// One line per item below the root: indentation by level, title, path.
std::string outline(ldomTocItem* item) {
    std::string out;
    for (int i = 0; i < item->getChildCount(); ++i) {
        ldomTocItem* c = item->getChild(i);
        EXPECT_EQ(c->getParent(), item);
        EXPECT_EQ(c->getIndex(), i);
        EXPECT_EQ(c->getLevel(), item->getLevel() + 1);
        out += std::string(static_cast<size_t>(2 * (c->getLevel() - 1)), ' ') + utf8(c->getName()) +
               " " + utf8(c->getPath()) + "\n";
        out += outline(c);
    }
    return out;
}

TEST(TableOfContents, TitledSectionsMakeItemsInOrder) {
    const std::string longTitle(1500, 'x');
    auto doc = markup::build(
        "<FictionBook><body>"
        "<section><title><p>Part  One</p><p>The\nStart</p></title>"
        "<section><title><p>Chapter 1</p></title><p>a</p></section>"
        "<section><title><p>Chapter 2</p></title><p>b</p></section></section>"
        "<section><p>no title</p>"
        "<section><title><p>Inner</p></title><p>c</p></section></section>"
        "<section><p>untitled and alone</p></section>"
        "<section><title><p>" + longTitle + "</p></title></section>"
        "</body><body name=\"notes\"><section><title><p>Note 1</p></title></section></body>"
        "</FictionBook>");
    ldomTocItem* root = doc->getToc();
    EXPECT_EQ(root->getLevel(), 0);
    EXPECT_EQ(outline(root),
              "Part One The Start /FictionBook[1]/body[1]/section[1]\n"
              "  Chapter 1 /FictionBook[1]/body[1]/section[1]/section[1]\n"
              "  Chapter 2 /FictionBook[1]/body[1]/section[1]/section[2]\n"
              "Inner /FictionBook[1]/body[1]/section[2]/section[1]\n" +
                  std::string(1024, 'x') + " /FictionBook[1]/body[1]/section[4]\n");
    // Items know the section they start.
    ldomTocItem* chapter2 = root->getChild(0)->getChild(1);
    ldomNode* section = chapter2->getPosition().getNode();
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(section->getNodeId(), ElemSection);
    EXPECT_EQ(utf8(section->getChildNode(1)->getText()), "b");
    EXPECT_EQ(positionFromString(doc.get(), chapter2->getPath()).getNode(), section);
}

TEST(TableOfContents, ItemsAddedByPathResolveLazily) {
    auto doc = markup::build("<html><body><p id=\"a\">A</p><p>B</p></body></html>");
    ldomTocItem* root = doc->getToc();
    ldomTocItem* byId = root->addChild(LVString16("A"), LVString16("#a"));
    ldomTocItem* byPath = byId->addChild(LVString16("B"), LVString16("/html/body/p[2]"));
    ldomTocItem* later = root->addChild(LVString16("C"), LVString16("#c"));
    EXPECT_EQ(byPath->getLevel(), 2);
    EXPECT_EQ(utf8(byId->getPosition().getNode()->getText()), "A");
    ldomNode* second = byPath->getPosition().getNode();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(utf8(second->getText()), "B");
    // Not found yet; found once an element carries the id.
    EXPECT_TRUE(later->getPosition().isNull());
    second->setAttributeValue(0, AttrId, LVString16("c"));
    EXPECT_EQ(later->getPosition().getNode(), second);
    // The cached position stays with the node when the tree changes around it.
    second->getParentNode()->insertChildElement(0, 0, ElemP);
    EXPECT_EQ(byPath->getPosition().getNode(), second);
    root->clear();
    EXPECT_EQ(root->getChildCount(), 0);
}

}  // namespace
