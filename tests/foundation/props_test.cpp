#include "foundation/props.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/serialbuf.h"

namespace {

std::string utf8(const LVString16& s) { return encodeUtf8(s).c_str(); }

// 8-bit text that may hold zero bytes.
LVString8 bytes8(const char* s, int32_t n) {
    LVString8 out;
    out.append(s, n);
    return out;
}

std::string str(const QLPropRef& p, const char* name) {
    LVString16 v;
    return p->getString(name, v) ? utf8(v) : std::string("<absent>");
}

// "name=value;" for every pair, in order.
std::string listing(const QLPropAccessor& p) {
    std::string out;
    for (int32_t i = 0; i < p.getCount(); ++i)
        out += std::string(p.getName(i).c_str()) + "=" + utf8(p.getValue(i)) + ";";
    return out;
}

TEST(Props, SortedUniqueNamesAndTheRevisionCounter) {
    Ref<QLPropContainer> c(new QLPropContainer());
    c->setString("b", "2");
    c->setString("a", "1");
    c->setString("B", "upper");   // byte order: "B" before "a"
    c->setString("\xC3\xA9", "e");  // bytes >= 0x80 after ASCII
    EXPECT_EQ(listing(*c), "B=upper;a=1;b=2;\xC3\xA9=e;");
    EXPECT_EQ(c->revision(), 4u);
    c->setString("a", "one");  // replacing does not count
    EXPECT_EQ(c->revision(), 4u);
    EXPECT_EQ(str(c, "a"), "one");
    EXPECT_FALSE(c->hasProperty("c"));
    EXPECT_EQ(c->getName(7).length(), 0);  // out of range: empty
    c->setValue(0, LVString16("U"));
    EXPECT_EQ(str(c, "B"), "U");
    c->clear();
    EXPECT_EQ(c->getCount(), 0);
    EXPECT_EQ(c->revision(), 5u);
}

TEST(Props, StringDefaultsAndIfAbsent) {
    QLPropRef p = createPropsContainer();
    // The default is widened byte by byte; a set value is UTF-8.
    EXPECT_EQ(utf8(p->getStringOr("x", "caf\xE9")), "caf\xC3\xA9");
    p->setString("a", "x");
    p->setIntIfAbsent("a", 5);
    p->setStringIfAbsent("a", "y");
    p->setStringIfAbsent("b", "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(str(p, "a"), "x");
    EXPECT_EQ(str(p, "b"), "\xC3\xA9t\xC3\xA9");
    // A zero character inside a value is kept.
    p->setString("z", bytes8("a\0b", 3));
    LVString16 v;
    ASSERT_TRUE(p->getString("z", v));
    EXPECT_EQ(v.length(), 3);
}

TEST(Props, TypedValues) {
    QLPropRef p = createPropsContainer();
    p->setInt("i", -42);
    p->setInt64("l", INT64_C(-9000000000));
    p->setHex("h", 0xBEEF);
    p->setBool("t", true);
    p->setColor("c", 0xFF8000);
    p->setRect("r", {1, -2, 3, 4});
    p->setPoint("pt", {-5, 6});
    EXPECT_EQ(str(p, "i"), "-42");
    EXPECT_EQ(str(p, "h"), "0x0000BEEF");
    EXPECT_EQ(str(p, "t"), "1");
    EXPECT_EQ(str(p, "c"), "#ff8000");
    EXPECT_EQ(str(p, "r"), "{1,-2,3,4}");
    EXPECT_EQ(str(p, "pt"), "{-5,6}");
    EXPECT_EQ(p->getIntOr("i", 0), -42);
    EXPECT_EQ(p->getIntOr("h", 0), 0xBEEF);
    EXPECT_EQ(p->getInt64Or("l", 0), INT64_C(-9000000000));
    EXPECT_EQ(p->getColorOr("c", 0), 0xFF8000u);
    EXPECT_EQ(p->getRectOr("r", {}), (PropRect{1, -2, 3, 4}));
    EXPECT_EQ(p->getPointOr("pt", {}), (PropPoint{-5, 6}));
    // Failures fall back to the default.
    p->setString("bad", "12x");
    EXPECT_EQ(p->getIntOr("bad", 7), 7);
    EXPECT_EQ(p->getIntOr("missing", 7), 7);
    EXPECT_EQ(p->getRectOr("pt", {9, 9, 9, 9}), (PropRect{9, 9, 9, 9}));  // two numbers only
    p->setString("sp", "{ 1, 2}");  // blanks before a number are skipped
    EXPECT_EQ(p->getPointOr("sp", {}), (PropPoint{1, 2}));
    p->setString("sp", "{1 ,2}");  // but "," must follow the number at once
    EXPECT_EQ(p->getPointOr("sp", {}), (PropPoint{}));
    EXPECT_EQ(p->getPointOr("pt", {}), (PropPoint{-5, 6}));
}

TEST(Props, Booleans) {
    struct Case {
        const char* text;
        int want;  // -1: fails
    };
    const Case cases[] = {{"true", 1},  {"TRUE", 1},   {"yes", 1}, {"YES", 1},  {"1", 1},
                          {"false", 0}, {"FALSE", 0},  {"no", 0},  {"NO", 0},   {"0", 0},
                          {"Yes", -1},  {"True", -1},  {"", -1},   {" 1", -1},  {"2", -1}};
    QLPropRef p = createPropsContainer();
    for (const Case& c : cases) {
        p->setString("b", c.text);
        bool out = true;
        bool ok = p->getBool("b", out);
        EXPECT_EQ(ok, c.want >= 0) << c.text;
        if (ok) EXPECT_EQ(out, c.want == 1) << c.text;
        else EXPECT_TRUE(out) << c.text;  // left unchanged
    }
    EXPECT_FALSE(p->getBoolOr("missing", false));
}

TEST(Props, Colors) {
    struct Case {
        const char* text;
        int64_t want;  // -1: fails
    };
    const Case cases[] = {
        {"#FF8000", 0xFF8000},   {"#ff8000", 0xFF8000},       {"0x10", 0x10},
        {"#", 0},                {"0x", 0},                   {"0X10", -1},
        {"#12G4", -1},           {"", -1},                    {"FF8000", -1},
        {"# 12", -1},            {"#123456789ABC", 0x56789ABC},  // overlong: wraps, no overflow
    };
    QLPropRef p = createPropsContainer();
    for (const Case& c : cases) {
        p->setString("c", c.text);
        uint32_t out = 0xDEADBEEF;
        bool ok = p->getColor("c", out);
        EXPECT_EQ(ok, c.want >= 0) << c.text;
        EXPECT_EQ(out, ok ? static_cast<uint32_t>(c.want) : 0xDEADBEEFu) << c.text;
    }
    p->setString("c", "red");
    p->setColorIfInvalid("c", 0x123456);
    EXPECT_EQ(str(p, "c"), "#123456");
    p->setColorIfInvalid("c", 0x654321);
    EXPECT_EQ(str(p, "c"), "#123456");
}

TEST(Props, RestrictToList) {
    QLPropRef p = createPropsContainer();
    const int32_t values[] = {2, 1, 0};
    p->setString("m", "1");
    p->restrictToList("m", values, 3);
    EXPECT_EQ(str(p, "m"), "1");
    p->setString("m", "7");
    p->restrictToList("m", values, 3);
    EXPECT_EQ(str(p, "m"), "2");
    p->restrictToList("absent", values, 3);
    EXPECT_EQ(str(p, "absent"), "2");
    // An empty list changes nothing.
    p->setString("m", "7");
    p->restrictToList("m", values, 0);
    p->restrictToList("m", nullptr, 3);
    const char* const none[] = {nullptr};
    p->restrictToList("m", none);
    EXPECT_EQ(str(p, "m"), "7");
    const char* const texts[] = {"left", "right", "\xC3\xA9", nullptr};
    p->restrictToList("m", texts);
    EXPECT_EQ(str(p, "m"), "left");
    p->setString("m", "\xC3\xA9");
    p->restrictToList("m", texts);
    EXPECT_EQ(str(p, "m"), "\xC3\xA9");
}

TEST(Props, PrefixViewIsLiveAndCachesItsRange) {
    Ref<QLPropContainer> parent(new QLPropContainer());
    parent->setString("styles.a", "1");
    parent->setString("styles.b", "2");
    parent->setString("stylesx", "3");
    parent->setString("aaa", "0");
    QLPropRef view = parent->subProps("styles.");
    EXPECT_EQ(std::string(view->prefix().c_str()), "styles.");
    EXPECT_EQ(listing(*view), "a=1;b=2;");
    view->setString("c", "3");
    EXPECT_EQ(str(QLPropRef(parent.get()), "styles.c"), "3");
    EXPECT_EQ(listing(*view), "a=1;b=2;c=3;");
    // Writes to the parent show through the view.
    parent->setString("styles.0", "zero");
    EXPECT_EQ(str(view, "0"), "zero");
    // Reads do not recompute the range while nothing is inserted.
    auto* sub = static_cast<QLPropSubContainer*>(view.get());
    uint64_t before = sub->rangeComputations();
    for (int i = 0; i < 100; ++i) EXPECT_TRUE(view->hasProperty("b"));
    EXPECT_EQ(sub->rangeComputations(), before);
    // Nested views and clones use relative names.
    parent->setString("styles.p.q", "deep");
    QLPropRef nested = view->subProps("p.");
    EXPECT_EQ(std::string(nested->prefix().c_str()), "styles.p.");
    EXPECT_EQ(listing(*nested), "q=deep;");
    QLPropRef copy = view->clone();
    EXPECT_EQ(listing(*copy), "0=zero;a=1;b=2;c=3;p.q=deep;");
    copy->setString("a", "changed");
    EXPECT_EQ(str(view, "a"), "1");
    // Clearing a view removes its pairs from the parent only.
    view->clear();
    EXPECT_EQ(listing(*parent), "aaa=0;stylesx=3;");
    EXPECT_EQ(view->getCount(), 0);
}

TEST(Props, ViewKeepsItsParentAlive) {
    QLPropRef view;
    {
        QLPropRef parent = createPropsContainer();
        parent->setString("doc.title", "T");
        view = parent->subProps("doc.");
    }
    // The last outside handle on the parent is gone; the view still reads it.
    EXPECT_EQ(str(view, "title"), "T");
    view->setString("author", "A");
    EXPECT_EQ(listing(*view), "author=A;title=T;");
}

TEST(Props, MergeCopiesEveryPairInOrder) {
    QLPropRef a = createPropsContainer();
    QLPropRef b = createPropsContainer();
    a->setString("x", "1");
    a->setString("y", "1");
    b->setString("y", "2");
    b->setString("z", "2");
    a->merge(*b);
    EXPECT_EQ(listing(*a), "x=1;y=2;z=2;");
    a->merge(*a);  // merging with itself changes nothing
    EXPECT_EQ(listing(*a), "x=1;y=2;z=2;");
}

TEST(PropsText, EscapesAndTheLineFormat) {
    QLPropRef p = createPropsContainer();
    p->setString("a", "plain");
    p->setString("b", "two\nlines\r and a \\ backslash");
    p->setString("c", bytes8("nul\0here", 8));
    p->setString("d", "\xD0\x9F");
    LVString8 text = p->toText();
    EXPECT_EQ(std::string(text.c_str(), static_cast<size_t>(text.length())),
              "\xEF\xBB\xBF"
              "a=plain\r\n"
              "b=two\\nlines\\r and a \\\\ backslash\r\n"
              "c=nul\\0here\r\n"
              "d=\xD0\x9F\r\n");
    QLPropRef back = createPropsContainer();
    back->fromText(text.c_str(), static_cast<size_t>(text.length()));
    EXPECT_EQ(listing(*back), listing(*p));
    LVString16 v;
    ASSERT_TRUE(back->getString("c", v));
    EXPECT_EQ(v.length(), 8);
    // A view writes full names.
    QLPropRef view = p->subProps("b");
    LVString8 sub = view->toText();
    EXPECT_EQ(std::string(sub.c_str()), "\xEF\xBB\xBF" "b=two\\nlines\\r and a \\\\ backslash\r\n");
}

TEST(PropsText, LoadingRules) {
    const std::string text =
        "\xEF\xBB\xBF"
        "# a comment=with equals\r\n"
        "=starts with equals\n"
        "\r\n\r\n\n"
        "no equals sign\n"
        "a=\r\n"
        "b=b=c\n"
        "c=ends with a lone backslash\\\r\n"
        "d=\\q\\\\\\n\n"
        " e =kept as written\n"
        "f=last line without end";
    QLPropRef p = createPropsContainer();
    p->fromText(text.data(), text.size());
    EXPECT_EQ(p->getCount(), 6);
    EXPECT_EQ(str(p, "a"), "");
    EXPECT_EQ(str(p, "b"), "b=c");
    EXPECT_EQ(str(p, "c"), "ends with a lone backslash\\");
    EXPECT_EQ(str(p, "d"), "q\\\n");
    EXPECT_EQ(str(p, " e "), "kept as written");
    EXPECT_EQ(str(p, "f"), "last line without end");
    // Saving and loading again is stable, byte for byte.
    LVString8 once = p->toText();
    QLPropRef again = createPropsContainer();
    again->fromText(once.c_str(), static_cast<size_t>(once.length()));
    LVString8 twice = again->toText();
    EXPECT_EQ(std::string(once.c_str(), static_cast<size_t>(once.length())),
              std::string(twice.c_str(), static_cast<size_t>(twice.length())));
}

TEST(PropsBinary, RoundTripAndDamage) {
    QLPropRef p = createPropsContainer();
    p->setString("doc.title", "\xD0\x9A\xD0\xBD\xD0\xB8\xD0\xB3\xD0\xB0");
    p->setString("doc.authors", "A|B");
    p->setInt("n", 3);
    SerialBuffer out(16, true);
    out.writeU32(0x12345678);  // the record need not start the buffer
    p->writeBinary(out);
    ASSERT_FALSE(out.error());
    std::vector<uint8_t> bytes(out.data(), out.data() + out.pos());

    {
        SerialBuffer in(bytes.data(), bytes.size());
        uint32_t lead = 0;
        in.readU32(lead);
        QLPropRef q = createPropsContainer();
        q->setString("stale", "x");  // reading clears first
        EXPECT_TRUE(q->readBinary(in));
        EXPECT_EQ(listing(*q), listing(*p));
        // Written again, the record is the same bytes.
        SerialBuffer again(16, true);
        again.writeU32(0x12345678);
        q->writeBinary(again);
        EXPECT_EQ(std::vector<uint8_t>(again.data(), again.data() + again.pos()), bytes);
    }
    struct Damage {
        const char* what;
        size_t offset;  // into the record (after the leading 4 bytes); SIZE_MAX: truncate
    };
    const Damage damages[] = {
        {"tag", 0}, {"count", 4}, {"name byte", 12}, {"crc", bytes.size() - 4 - 1},
        {"truncated", SIZE_MAX},
    };
    for (const Damage& d : damages) {
        std::vector<uint8_t> bad = bytes;
        if (d.offset == SIZE_MAX) bad.resize(bad.size() - 3);
        else bad[4 + d.offset] ^= 0x20;
        SerialBuffer in(bad.data(), bad.size());
        uint32_t lead = 0;
        in.readU32(lead);
        QLPropRef q = createPropsContainer();
        EXPECT_FALSE(q->readBinary(in)) << d.what;
    }
    // A buffer already in error is left alone.
    SerialBuffer full(4, false);
    full.writeU32(1);
    full.write8(1);
    ASSERT_TRUE(full.error());
    p->writeBinary(full);
    EXPECT_EQ(full.pos(), 4u);
}

}  // namespace
