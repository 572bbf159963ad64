#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dom/ldomdocument.h"
#include "dom_test_support.h"
#include "foundation/timelimit.h"

namespace {

TEST(NodeHandle, TypeBitsAndReferenceForm) {
    struct Case {
        uint32_t index, type;
        NodeHandle handle, ref;
        bool element, persistent;
    };
    const Case cases[] = {
        {1, NodeTypeMutableText, 0x10, 0x10, false, false},
        {1, NodeTypeMutableElement, 0x11, 0x11, true, false},
        {1, NodeTypePersistentText, 0x12, 0x10, false, true},
        {1, NodeTypePersistentElement, 0x13, 0x11, true, true},
        {0x400, NodeTypePersistentElement, 0x4003, 0x4001, true, true},
        {kMaxNodeIndex, NodeTypePersistentText, 0xFFFFF2, 0xFFFFF0, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.handle);
        NodeHandle h = makeNodeHandle(c.index, c.type);
        EXPECT_EQ(h, c.handle);
        EXPECT_EQ(nodeHandleIndex(h), c.index);
        EXPECT_EQ(nodeHandleType(h), c.type);
        EXPECT_EQ(nodeHandleIsElement(h), c.element);
        EXPECT_EQ(nodeHandleIsPersistent(h), c.persistent);
        EXPECT_EQ(nodeHandleRef(h), c.ref);
    }
}

TEST(NodeHandle, NodesChangeFormButKeepTheirReference) {
    auto doc = ldomDocument::create();
    ldomNode* root = doc->getRootNode();
    ASSERT_TRUE(root && root->isRoot());
    EXPECT_EQ(root->getHandle(), makeNodeHandle(1, NodeTypeMutableElement));
    EXPECT_EQ(root->getNodeId(), 0);  // a name no parser can produce
    EXPECT_TRUE(root->getNodeName().empty());

    ldomNode* p = root->insertChildElement(ElemP);
    ldomNode* t = p->insertChildText("x");
    ASSERT_TRUE(p && t);
    // Element and text tables are separate: both start at index 1 of their own table.
    EXPECT_EQ(nodeHandleType(p->getHandle()), NodeTypeMutableElement);
    EXPECT_EQ(nodeHandleType(t->getHandle()), NodeTypePersistentText);
    EXPECT_EQ(t->getDataIndex(), 1u);
    EXPECT_NE(doc->getNodeById(makeNodeHandle(1, NodeTypeMutableText)),
              doc->getNodeById(makeNodeHandle(1, NodeTypeMutableElement)));

    NodeHandle pRef = p->getRef(), tRef = t->getRef();
    EXPECT_EQ(p->persist(), p);
    EXPECT_EQ(t->modify(), t);
    EXPECT_EQ(nodeHandleType(p->getHandle()), NodeTypePersistentElement);
    EXPECT_EQ(nodeHandleType(t->getHandle()), NodeTypeMutableText);
    EXPECT_EQ(p->getRef(), pRef);
    EXPECT_EQ(t->getRef(), tRef);
    // Either form of a handle resolves to the same instance.
    EXPECT_EQ(doc->getNodeById(pRef), p);
    EXPECT_EQ(doc->getNodeById(p->getHandle()), p);
    EXPECT_EQ(doc->getNodeById(tRef), t);
    EXPECT_EQ(doc->getNodeById(0), nullptr);
    EXPECT_EQ(doc->getNodeById(makeNodeHandle(99, NodeTypeMutableElement)), nullptr);
    EXPECT_EQ(p->getDocument(), doc.get());
}

TEST(NodeInstances, FreedIndexesAreReusedLastFreedFirst) {
    auto doc = ldomDocument::create();
    ldomNode* root = doc->getRootNode();
    std::vector<ldomNode*> e;
    for (int i = 0; i < 4; ++i) e.push_back(root->insertChildElement(ElemDiv));
    ldomNode* t1 = e[0]->insertChildText("a");
    ldomNode* t2 = e[0]->insertChildText("b");
    EXPECT_EQ(doc->getLiveNodeCount(), 7u);  // root, 4 divs, 2 texts

    uint32_t i1 = e[1]->getDataIndex(), i3 = e[3]->getDataIndex();
    uint32_t ti2 = t2->getDataIndex();
    e[1]->destroy();
    e[3]->destroy();
    t2->destroy();
    EXPECT_EQ(doc->getLiveNodeCount(), 4u);
    EXPECT_TRUE(e[1]->isNull());
    EXPECT_EQ(doc->getNodeById(makeNodeHandle(i1, NodeTypeMutableElement)), nullptr);

    ldomNode* a = root->insertChildElement(ElemP);
    ldomNode* b = root->insertChildElement(ElemP);
    ldomNode* c = root->insertChildElement(ElemP);
    EXPECT_EQ(a->getDataIndex(), i3);
    EXPECT_EQ(b->getDataIndex(), i1);
    EXPECT_EQ(c->getDataIndex(), 6u);  // free list empty: next fresh index
    EXPECT_EQ(e[0]->insertChildText("c")->getDataIndex(), ti2);
    EXPECT_EQ(t1->getText8(), "a");
    EXPECT_EQ(doc->getElementCount(), 6u);
}

TEST(DocumentRegistry, The257thDocumentFailsWithoutAliasing) {
    int before = DocumentRegistry::liveCount();
    std::vector<Ref<ldomDocument>> docs;
    for (;;) {
        Ref<ldomDocument> d = ldomDocument::create(false);
        if (!d) break;
        docs.push_back(d);
        ASSERT_LE(docs.size(), 256u);
    }
    EXPECT_EQ(static_cast<int>(docs.size()) + before, DocumentRegistry::kSlots);
    EXPECT_EQ(DocumentRegistry::liveCount(), DocumentRegistry::kSlots);

    ldomDocument extra;  // constructed directly: stays empty
    EXPECT_FALSE(extra.isRegistered());
    EXPECT_EQ(extra.getRootNode(), nullptr);

    // Every live document still finds its own nodes.
    for (auto& d : docs) {
        ldomNode* root = d->getRootNode();
        ASSERT_TRUE(root);
        EXPECT_EQ(root->getDocument(), d.get());
    }
    int slot = docs[10]->getDocIndex();
    docs.erase(docs.begin() + 10);
    Ref<ldomDocument> again = ldomDocument::create(false);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->getDocIndex(), slot);
}

// Builds an element with children, attributes and a render method, then
// checks that persist and modify carry every field across.
TEST(NodeForms, MutablePersistentRoundTripKeepsEveryField) {
    auto doc = ldomDocument::create();
    ldomNode* root = doc->getRootNode();
    ldomNode* body = root->insertChildElement(ElemBody);

    struct Case {
        const char* name;
        int children;  // alternating text and elements
        int attrs;
        uint8_t renderMethod;
        uint16_t nsid;
    };
    const Case cases[] = {
        {"empty", 0, 0, 0, 0},
        {"children", 5, 0, 3, 0},
        {"attributes", 0, 7, 0, NsXlink},
        {"both", 33, 12, 255, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ldomNode* e = body->insertChildElement(-1, c.nsid, doc->getElementNameIndex(c.name));
        std::vector<NodeHandle> kids;
        for (int i = 0; i < c.children; ++i) {
            ldomNode* k = i % 2 ? e->insertChildElement(ElemSpan)
                                : e->insertChildText(("t" + std::to_string(i)).c_str());
            kids.push_back(k->getRef());
            if (k->isElement()) k->persist();
        }
        for (int i = 0; i < c.attrs; ++i)
            e->setAttributeValue(i % 2 ? NsL : 0, doc->getAttrNameIndex(("a" + std::to_string(i)).c_str()),
                                 LVString16(("v" + std::to_string(i)).c_str()));
        e->setRenderMethod(c.renderMethod);

        auto check = [&](bool persistent) {
            EXPECT_EQ(e->isPersistent(), persistent);
            EXPECT_EQ(utf8(e->getNodeName()), c.name);
            EXPECT_EQ(e->getNodeNsId(), c.nsid);
            EXPECT_EQ(e->getParentNode(), body);
            EXPECT_EQ(e->getRenderMethod(), c.renderMethod);
            ASSERT_EQ(e->getChildCount(), c.children);
            for (int i = 0; i < c.children; ++i) {
                EXPECT_EQ(e->getChildNode(i)->getRef(), kids[i]);
                EXPECT_EQ(e->getChildNode(i)->getParentNode(), e);
                EXPECT_EQ(e->getChildNode(i)->getNodeIndex(), i);
            }
            ASSERT_EQ(e->getAttrCount(), c.attrs);
            for (int i = 0; i < c.attrs; ++i) {
                ldomAttribute a;
                ASSERT_TRUE(e->getAttribute(i, a));
                EXPECT_EQ(a.nsid, i % 2 ? NsL : 0);
                EXPECT_EQ(utf8(doc->getAttrName(a.id)), "a" + std::to_string(i));
                EXPECT_EQ(utf8(doc->getAttrValue(a.valueIndex)), "v" + std::to_string(i));
            }
        };
        check(false);
        ASSERT_EQ(e->persist(), e);
        check(true);
        ASSERT_EQ(e->modify(), e);
        check(false);
        e->persist();
        check(true);
    }
    EXPECT_EQ(doc->getMutableElementCount(), 2u);  // root and body
    EXPECT_EQ(doc->persist(TimeLimit()), 0);
    EXPECT_EQ(doc->getMutableElementCount(), 0u);
    EXPECT_EQ(body->getChildCount(), 4);
}

TEST(NodeForms, TextRoundTrip) {
    auto doc = ldomDocument::create();
    ldomNode* p = doc->getRootNode()->insertChildElement(ElemP);
    const std::string texts[] = {"", "plain", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE2\x80\x94 ok",
                                 std::string(ldomNode::kMaxTextBytes, 'x')};
    for (const std::string& s : texts) {
        SCOPED_TRACE(s.size());
        ldomNode* t = p->insertChildText(s.c_str(), s.size());
        ASSERT_TRUE(t);
        EXPECT_TRUE(t->isPersistent());
        EXPECT_EQ(std::string(t->getText8().c_str(), t->getText8().length()), s);
        t->modify();
        EXPECT_TRUE(t->isMutable());
        EXPECT_EQ(std::string(t->getText8().c_str(), t->getText8().length()), s);
        EXPECT_EQ(t->getParentNode(), p);
        t->persist();
        EXPECT_EQ(utf8(t->getText()), s);
    }
    EXPECT_EQ(p->getChildCount(), 4);  // no split at exactly the limit
}

// Long text is split at character boundaries; nothing is lost.
TEST(NodeForms, LongTextSplitsIntoSiblingsAtCharacterBoundaries) {
    auto doc = ldomDocument::create();
    ldomNode* p = doc->getRootNode()->insertChildElement(ElemP);
    std::string cyrillic;
    while (cyrillic.size() < 200000) cyrillic += "\xD0\xB0";  // 2-byte letters: 65535 is mid-letter
    cyrillic += "\xE2\x82\xAC";  // a 3-byte character at the very end

    auto piecesOk = [](const ldomNode* parent, int from, int to, const std::string& whole) {
        std::string joined;
        for (int i = from; i < to; ++i) {
            LVString8 s = parent->getChildNode(i)->getText8();
            EXPECT_LE(static_cast<uint32_t>(s.length()), ldomNode::kMaxTextBytes);
            EXPECT_NE(static_cast<uint8_t>(s[0]) & 0xC0, 0x80) << "piece starts inside a character";
            joined.append(s.c_str(), s.length());
        }
        EXPECT_EQ(joined, whole);
    };

    ldomNode* first = p->insertChildText(cyrillic.c_str(), cyrillic.size());
    ASSERT_TRUE(first);
    EXPECT_EQ(p->getChildNode(0), first);
    EXPECT_EQ(p->getChildCount(), 4);  // 200003 bytes in pieces of at most 65535
    piecesOk(p, 0, 4, cyrillic);

    // A mutable text grown past the limit splits when it is persisted; its
    // later siblings keep their order.
    ldomNode* q = doc->getRootNode()->insertChildElement(ElemP);
    ldomNode* a = q->insertChildText("a");
    ldomNode* b = q->insertChildText("b");
    ASSERT_TRUE(a->setText(LVString8(cyrillic.c_str(), static_cast<int32_t>(cyrillic.size()))));
    EXPECT_TRUE(a->isMutable());
    ASSERT_EQ(a->persist(), a);
    ASSERT_EQ(q->getChildCount(), 5);
    EXPECT_EQ(q->getChildNode(0), a);
    EXPECT_EQ(q->getChildNode(4), b);
    piecesOk(q, 0, 4, cyrillic);
    EXPECT_EQ(doc->getMutableTextCount(), 0u);
}

TEST(TreeOperations, TextNodesAndNullAnswerElementQueriesEmpty) {
    auto doc = ldomDocument::create();
    ldomNode* p = doc->getRootNode()->insertChildElement(ElemP);
    ldomNode* t = p->insertChildText("text");
    EXPECT_EQ(t->insertChildElement(ElemB), nullptr);
    EXPECT_EQ(t->insertChildText("x"), nullptr);
    EXPECT_EQ(t->removeChild(0), nullptr);
    EXPECT_EQ(t->getChildCount(), 0);
    EXPECT_EQ(t->getChildNode(0), nullptr);
    EXPECT_EQ(t->getAttrCount(), 0);
    EXPECT_TRUE(t->getAttributeValue(AttrId).empty());
    EXPECT_FALSE(t->setAttributeValue(0, AttrId, LVString16("x")));
    EXPECT_EQ(t->getNodeId(), 0);
    EXPECT_TRUE(t->getNodeName().empty());
    EXPECT_EQ(t->findChildElement(-1, ElemB, 0), nullptr);
    EXPECT_EQ(t->getElementTypePtr(), nullptr);
    EXPECT_EQ(t->getRenderMethod(), 0);
    EXPECT_EQ(p->getChildNode(5), nullptr);
    EXPECT_EQ(p->getChildNode(-1), nullptr);
    EXPECT_EQ(doc->getRootNode()->getParentNode(), nullptr);
    EXPECT_EQ(doc->getRootNode()->getNodeIndex(), -1);
}

TEST(TreeOperations, InsertRemoveMoveAndFind) {
    auto doc = ldomDocument::create();
    ldomNode* root = doc->getRootNode();
    ldomNode* src = root->insertChildElement(ElemDiv);
    ldomNode* dst = root->insertChildElement(ElemDiv);
    for (const char* n : {"a", "b", "c", "d"}) addElement(src, n)->persist();
    src->insertChildElement(1, 0, ElemHr);  // inserted at position 1
    src->insertChildElement(99, 0, ElemBr);  // clipped to the end
    src->persist();
    EXPECT_EQ(childNames(src), (std::vector<std::string>{"a", "hr", "b", "c", "d", "br"}));

    ldomNode* b = src->getChildNode(2);
    ldomNode* inner = addElement(b, "inner");
    EXPECT_FALSE(src->moveChildrenTo(inner, 1, 3));  // target inside a moved subtree
    EXPECT_TRUE(src->moveChildrenTo(dst, 1, 3));
    EXPECT_EQ(childNames(src), (std::vector<std::string>{"a", "d", "br"}));
    EXPECT_EQ(childNames(dst), (std::vector<std::string>{"hr", "b", "c"}));
    EXPECT_EQ(b->getParentNode(), dst);
    EXPECT_EQ(b->getNodeIndex(), 1);

    ldomNode* removed = src->removeChild(1);
    EXPECT_EQ(utf8(removed->getNodeName()), "d");
    EXPECT_EQ(removed->getParentNode(), nullptr);
    EXPECT_EQ(removed->getNodeIndex(), -1);
    EXPECT_EQ(childNames(src), (std::vector<std::string>{"a", "br"}));

    // findChildElement by position and by path, any namespace or a given one.
    ldomNode* s = root->insertChildElement(ElemSection);
    s->insertChildElement(ElemTitle);
    ldomNode* p0 = s->insertChildElement(ElemP);
    ldomNode* p1 = s->insertChildElement(-1, NsL, ElemP);
    EXPECT_EQ(s->findChildElement(-1, ElemP, 0), p0);
    EXPECT_EQ(s->findChildElement(-1, ElemP, -1), p0);
    EXPECT_EQ(s->findChildElement(-1, ElemP, 1), p1);
    EXPECT_EQ(s->findChildElement(NsL, ElemP, 0), p1);
    EXPECT_EQ(s->findChildElement(-1, ElemP, 2), nullptr);
    EXPECT_EQ(s->getChildElementNode(1, ElemP), p0);
    EXPECT_EQ(s->getChildElementNode(1, ElemTitle), nullptr);
    const uint16_t path[] = {ElemSection, ElemP, 0};
    EXPECT_EQ(root->findChildElement(path), p0);
    EXPECT_EQ(p1->getNodeLevel(), 3);
}

TEST(TreeOperations, PathSegments) {
    auto doc = ldomDocument::create();
    ldomNode* section = doc->getRootNode()->insertChildElement(ElemSection);
    ldomNode* t1 = section->insertChildElement(ElemTitle);
    ldomNode* t2 = section->insertChildElement(ElemTitle);
    std::vector<ldomNode*> ps;
    for (int i = 0; i < 3; ++i) ps.push_back(section->insertChildElement(ElemP));
    ldomNode* text1 = ps[0]->insertChildText("one");
    ps[0]->insertChildElement(ElemEm);
    ldomNode* text2 = ps[0]->insertChildText("two");
    ldomNode* orphan = ps[1]->removeChild(0);  // nothing to remove
    EXPECT_EQ(orphan, nullptr);
    doc->persist(TimeLimit());

    const std::pair<ldomNode*, const char*> cases[] = {
        {section, "section[1]"}, {t1, "title[1]"},     {t2, "title[2]"},
        {ps[2], "p[3]"},         {text1, "text()[1]"}, {text2, "text()[2]"},
        {doc->getRootNode(), ""},
    };
    for (const auto& [node, expected] : cases) EXPECT_EQ(utf8(node->pathSegment()), expected);
}

TEST(TreeOperations, WalksHandleDeepTreesWithoutRecursion) {
    auto doc = ldomDocument::create();
    ldomNode* n = doc->getRootNode();
    const int depth = 100000;
    for (int i = 0; i < depth; ++i) n = n->insertChildElement(ElemDiv);
    n->insertChildText("leaf");
    EXPECT_EQ(n->getNodeLevel(), depth + 1);
    int count = 0;
    doc->getRootNode()->visitElements([&](ldomNode*) { ++count; });
    EXPECT_EQ(count, depth + 1);
    EXPECT_EQ(doc->getRootNode()->getText8(), "leaf");
    doc->getRootNode()->getChildNode(0)->destroy();
    EXPECT_EQ(doc->getLiveNodeCount(), 1u);
    EXPECT_EQ(doc->getMutableElementCount(), 1u);
}

TEST(TreeOperations, VisitOrders) {
    auto doc = ldomDocument::create();
    ldomNode* root = doc->getRootNode();
    ldomNode* a = addElement(root, "a1");
    addElement(a, "b1");
    a->insertChildText("skip me");
    addElement(addElement(a, "b2"), "c1");
    addElement(root, "a2");
    std::vector<std::string> pre, post;
    root->visitElements([&](ldomNode* e) { pre.push_back(utf8(e->getNodeName())); });
    root->visitElementsDepthFirst([&](ldomNode* e) { post.push_back(utf8(e->getNodeName())); });
    EXPECT_EQ(pre, (std::vector<std::string>{"", "a1", "b1", "b2", "c1", "a2"}));
    EXPECT_EQ(post, (std::vector<std::string>{"b1", "c1", "b2", "a1", "a2", ""}));
}

TEST(TreeOperations, RenderDataStylesAndFlags) {
    auto doc = ldomDocument::create();
    EXPECT_EQ(doc->getDocFlags(), DOC_FLAGS_DEFAULT);
    doc->setDocFlag(DOC_FLAG_PREFORMATTED_TEXT, true);
    doc->setDocFlag(DOC_FLAG_ENABLE_FOOTNOTES, false);
    EXPECT_EQ(doc->getDocFlags(), 0x000Du);

    ldomNode* body = doc->getRootNode()->insertChildElement(ElemBody);
    ldomNode* p = body->insertChildElement(ElemP);
    p->persist();
    RenderRect none;
    p->getRenderData(none);
    EXPECT_EQ(none, RenderRect());
    EXPECT_EQ(doc->rectStorage().chunkCount(), 0u);  // reading allocates nothing

    body->setRenderData(RenderRect{10, 500, 20, 900});
    p->setRenderData(RenderRect{-3, 400, 7, 30});
    p->setStyleIndex(513);
    p->setFontIndex(7);
    p->setRenderMethod(4);
    EXPECT_TRUE(p->isPersistent());  // updated in place
    RenderRect r;
    p->getRenderData(r);
    EXPECT_EQ(r, (RenderRect{-3, 400, 7, 30}));
    p->getAbsRect(r);
    EXPECT_EQ(r, (RenderRect{7, 400, 27, 30}));
    EXPECT_EQ(p->getStyleIndex(), 513);
    EXPECT_EQ(p->getFontIndex(), 7);
    EXPECT_EQ(p->getRenderMethod(), 4);

    // An element far into the table lands in a later rect/style chunk.
    ldomNode* last = nullptr;
    for (int i = 0; i < 5000; ++i) last = body->insertChildElement(ElemP);
    last->setRenderData(RenderRect{1, 2, 3, 4});
    last->setStyleIndex(9);
    EXPECT_EQ(doc->rectStorage().chunkCount(), last->getDataIndex() / 2048 + 1);
    EXPECT_EQ(doc->styleStorage().chunkCount(), last->getDataIndex() / 4096 + 1);
    last->getRenderData(r);
    EXPECT_EQ(r, (RenderRect{1, 2, 3, 4}));
    p->getRenderData(r);
    EXPECT_EQ(r.width, 400);
    // Destroying clears the render data, so a recycled index starts blank.
    uint32_t index = last->getDataIndex();
    last->destroy();
    ldomNode* fresh = body->insertChildElement(ElemP);
    ASSERT_EQ(fresh->getDataIndex(), index);
    fresh->getRenderData(r);
    EXPECT_EQ(r, RenderRect());
    EXPECT_EQ(fresh->getStyleIndex(), 0);
}

}  // namespace
