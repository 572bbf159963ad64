#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "dom/ldomdocument.h"
#include "dom_test_support.h"
#include "foundation/timelimit.h"

namespace {

TEST(Attributes, ValuesByIdAndByName) {
    auto doc = ldomDocument::create();
    ldomNode* img = doc->getRootNode()->insertChildElement(ElemImage);
    img->setAttributeValue(NsL, AttrHref, LVString16("#l-ref"));
    img->setAttributeValue(NsXlink, AttrHref, LVString16("#x-ref"));
    img->setAttributeValue(0, AttrClass, LVString16("c"));
    img->persist();
    EXPECT_EQ(utf8(img->getAttributeValue(NsXlink, AttrHref)), "#x-ref");
    EXPECT_EQ(utf8(img->getAttributeValue(-1, AttrHref)), "#l-ref");  // first in any namespace
    EXPECT_EQ(utf8(img->getAttributeValue("xlink", "href")), "#x-ref");
    EXPECT_EQ(utf8(img->getAttributeValue("", "class")), "c");
    EXPECT_EQ(utf8(img->getAttributeValue(nullptr, "href")), "#l-ref");
    EXPECT_TRUE(img->getAttributeValue("nosuchns", "href").empty());
    EXPECT_TRUE(img->getAttributeValue(nullptr, "nosuchattr").empty());
    EXPECT_TRUE(img->getAttributeValue(0, AttrHref).empty());
    EXPECT_TRUE(img->hasAttribute(NsL, AttrHref));
    EXPECT_FALSE(img->hasAttribute(0, AttrHref));
    // Equal values are stored once.
    ldomAttribute a, b;
    ldomNode* other = doc->getRootNode()->insertChildElement(ElemP);
    other->setAttributeValue(0, AttrClass, LVString16("c"));
    img->getAttribute(2, a);
    other->getAttribute(0, b);
    EXPECT_EQ(a.valueIndex, b.valueIndex);
}

TEST(Attributes, InPlaceChangeStaysPersistentNewAttributeMakesMutable) {
    auto doc = ldomDocument::create();
    ldomNode* p = doc->getRootNode()->insertChildElement(ElemP);
    p->setAttributeValue(0, AttrClass, LVString16("one"));
    p->persist();
    ASSERT_TRUE(p->setAttributeValue(0, AttrClass, LVString16("two")));
    EXPECT_TRUE(p->isPersistent());
    EXPECT_EQ(attr(p, "class"), "two");
    EXPECT_EQ(p->getAttrCount(), 1);
    ASSERT_TRUE(p->setAttributeValue(0, AttrStyle, LVString16("x")));
    EXPECT_TRUE(p->isMutable());
    EXPECT_EQ(p->getAttrCount(), 2);
    EXPECT_EQ(attr(p, "class"), "two");
}

TEST(Attributes, CountPerElementIsBounded) {
    auto doc = ldomDocument::create();
    ldomNode* p = doc->getRootNode()->insertChildElement(ElemP);
    for (uint32_t i = 0; i < ldomNode::kMaxAttributes; ++i)
        ASSERT_TRUE(p->setAttributeValue(0, static_cast<uint16_t>(600 + i), LVString16("v")));
    EXPECT_FALSE(p->setAttributeValue(0, 5000, LVString16("v")));
    EXPECT_TRUE(p->setAttributeValue(0, 600, LVString16("replaced")));  // replacing still works
    ASSERT_EQ(p->persist(), p);
    EXPECT_EQ(p->getAttrCount(), static_cast<int>(ldomNode::kMaxAttributes));
    EXPECT_EQ(utf8(p->getAttributeValue(0, 600)), "replaced");
}

TEST(IdMap, WhichAttributesAreTracked) {
    struct Case {
        uint16_t element;
        uint16_t attr;
        uint16_t nsid;
        bool tracked;
    };
    const Case cases[] = {
        {ElemSection, AttrId, 0, true},
        {ElemA, AttrName, 0, true},
        {ElemP, AttrName, 0, false},
        {ElemA, AttrId, 0, true},
        {ElemSection, AttrId, NsL, false},
        {ElemA, AttrHref, 0, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        auto doc = ldomDocument::create();
        ldomNode* e = doc->getRootNode()->insertChildElement(c.element);
        std::string value = "v" + std::to_string(n++);
        e->setAttributeValue(c.nsid, c.attr, LVString16(value.c_str()));
        EXPECT_EQ(doc->getNodeByIdValue(LVString16(value.c_str())), c.tracked ? e : nullptr)
            << "element " << c.element << " attr " << c.attr << " ns " << c.nsid;
    }
}

TEST(IdMap, FollowsChangesAndDestruction) {
    auto doc = ldomDocument::create();
    ldomNode* body = doc->getRootNode()->insertChildElement(ElemBody);
    ldomNode* s1 = body->insertChildElement(ElemSection);
    ldomNode* s2 = body->insertChildElement(ElemSection);
    s1->setAttributeValue(0, AttrId, LVString16("n1"));
    doc->persist(TimeLimit());

    // In-place change on a persistent element: old id gone, new id found.
    s1->setAttributeValue(0, AttrId, LVString16("n2"));
    EXPECT_TRUE(s1->isPersistent());
    EXPECT_EQ(doc->getNodeByIdValue(LVString16("n1")), nullptr);
    EXPECT_EQ(doc->getNodeByIdValue(LVString16("n2")), s1);

    // A later element with the same id takes the entry over.
    s2->setAttributeValue(0, AttrId, LVString16("n2"));
    EXPECT_EQ(doc->getNodeByIdValue(LVString16("n2")), s2);
    // Changing s1's id away must not drop s2's entry.
    s1->setAttributeValue(0, AttrId, LVString16("n3"));
    EXPECT_EQ(doc->getNodeByIdValue(LVString16("n2")), s2);

    // Destroying drops the entry, and a node recycled into the same index
    // is not reached through the old id.
    ldomNode* a = s1->insertChildElement(ElemA);
    a->setAttributeValue(0, AttrName, LVString16("anchor"));
    uint32_t aIndex = a->getDataIndex();
    s1->destroy();
    EXPECT_EQ(doc->getNodeByIdValue(LVString16("n3")), nullptr);
    EXPECT_EQ(doc->getNodeByIdValue(LVString16("anchor")), nullptr);
    ldomNode* recycled = body->insertChildElement(ElemA);
    ldomNode* recycled2 = body->insertChildElement(ElemA);
    EXPECT_TRUE(recycled->getDataIndex() == aIndex || recycled2->getDataIndex() == aIndex);
    EXPECT_EQ(doc->getNodeByIdValue(LVString16("anchor")), nullptr);
    EXPECT_EQ(doc->idMap().size(), 1u);

    // Renaming an element away from `a` drops its `name` entry.
    recycled->setAttributeValue(0, AttrName, LVString16("nm"));
    EXPECT_EQ(doc->getNodeByIdValue(LVString16("nm")), recycled);
    recycled->setNodeId(ElemSpan);
    EXPECT_EQ(doc->getNodeByIdValue(LVString16("nm")), nullptr);
}

// More than 65,535 distinct values must never alias one another.
TEST(IdMap, SeventyThousandUniqueIds) {
    auto doc = ldomDocument::create();
    ldomNode* body = doc->getRootNode()->insertChildElement(ElemBody);
    const int n = 70000;
    char buf[32];
    for (int i = 0; i < n; ++i) {
        ldomNode* s = body->insertChildElement(ElemSection);
        std::snprintf(buf, sizeof buf, "id%d", i);
        s->setAttributeValue(0, AttrId, LVString16(buf));
        s->persist();
    }
    ldomNode* a = body->insertChildElement(ElemA);
    a->setAttributeValue(0, AttrHref, LVString16("#id69999"));
    ASSERT_EQ(doc->persist(TimeLimit()), 0);
    EXPECT_GT(doc->attrValues().size(), 65536u);

    LVString16 href = a->getHRef();
    ldomNode* target = doc->getNodeByIdValue(href.substr(1));
    ASSERT_TRUE(target);
    EXPECT_EQ(target, body->getChildNode(n - 1));
    EXPECT_EQ(attr(target, "id"), "id69999");
    // Indexes 65536 apart resolve to different elements with their own values.
    for (int i : {0, 5, 65535, 65536, 65541}) {
        std::snprintf(buf, sizeof buf, "id%d", i);
        ldomNode* e = doc->getNodeByIdValue(LVString16(buf));
        ASSERT_TRUE(e);
        EXPECT_EQ(e, body->getChildNode(i));
        EXPECT_EQ(attr(e, "id"), buf);
    }
    EXPECT_EQ(doc->idMap().size(), static_cast<uint32_t>(n));
}

TEST(Links, HrefAndImageReferences) {
    auto doc = ldomDocument::create();
    ldomNode* p = doc->getRootNode()->insertChildElement(ElemP);
    ldomNode* a1 = p->insertChildElement(ElemA);
    a1->setAttributeValue(0, AttrHref, LVString16("#note%201"));
    ldomNode* a2 = p->insertChildElement(ElemA);
    a2->setAttributeValue(NsL, AttrHref, LVString16("chapter%202.html#x"));
    ldomNode* inA2 = a2->insertChildElement(ElemEm)->insertChildText("t");
    ldomNode* plain = p->insertChildText("plain");

    struct HrefCase {
        ldomNode* node;
        const char* expected;
    };
    for (const HrefCase& c : {HrefCase{a1, "#note%201"}, HrefCase{a2, "chapter 2.html#x"},
                              HrefCase{inA2, "chapter 2.html#x"}, HrefCase{plain, ""}})
        EXPECT_EQ(utf8(c.node->getHRef()), c.expected);

    struct ImageCase {
        const char* name;
        uint16_t element;
        std::vector<std::tuple<const char*, const char*, const char*>> attrs;  // ns, name, value
        const char* expected;
    };
    const ImageCase cases[] = {
        {"xlink wins", ElemImage, {{"l", "href", "#l"}, {"xlink", "href", "#x"}}, "#x"},
        {"l before plain", ElemImage, {{"", "href", "#p"}, {"l", "href", "#l"}}, "#l"},
        {"src decoded", ElemImg, {{"", "src", "pic%201.png"}}, "pic 1.png"},
        {"recindex", ElemImg, {{"", "recindex", "00003"}}, "mobi_image_2"},
        {"bad recindex", ElemImg, {{"", "recindex", "x3"}}, ""},
        {"one character", ElemImg, {{"", "src", "x"}}, ""},
        {"not an object", ElemP, {{"", "src", "pic.png"}}, ""},
    };
    for (const ImageCase& c : cases) {
        ldomNode* e = doc->getRootNode()->insertChildElement(c.element);
        for (const auto& [ns, name, value] : c.attrs)
            setAttr(e, name, value, *ns ? doc->getNsNameIndex(ns) : 0);
        e->persist();
        EXPECT_EQ(utf8(e->getImageReference()), c.expected) << c.name;
    }
}

}  // namespace
