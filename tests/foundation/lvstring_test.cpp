#include "foundation/lvstring.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::u16string u16(const LVString16& s) { return std::u16string(s.c_str(), s.length()); }
std::string bytes(const LVString8& s) { return std::string(s.c_str(), s.length()); }

TEST(LVString, CopyOnWriteKeepsCopiesIndependent) {
    LVString16 a(u"hello");
    LVString16 b = a;
    EXPECT_TRUE(a.sharesRecordWith(b));
    EXPECT_EQ(a.refCount(), 2);
    b.append(u"!", 1);
    EXPECT_EQ(u16(a), u"hello");
    EXPECT_EQ(u16(b), u"hello!");
    EXPECT_EQ(a.refCount(), 1);
    EXPECT_EQ(b.refCount(), 1);

    LVString8 c("abc");
    LVString8 d = c;
    d.at(0) = 'x';
    EXPECT_EQ(bytes(c), "abc");
    EXPECT_EQ(bytes(d), "xbc");
}

TEST(LVString, EmptyStringsShareTheStaticRecord) {
    LVString16 s(u"abcdef");
    struct Case {
        int32_t pos, count;
    };
    for (Case c : {Case{6, 5}, Case{2, 0}, Case{10, 1}, Case{0, -1}}) {
        LVString16 sub = s.substr(c.pos, c.count);
        EXPECT_TRUE(sub.empty());
        EXPECT_TRUE(sub.usesSharedEmpty()) << c.pos << "," << c.count;
    }
    EXPECT_TRUE(LVString16(static_cast<const lvchar16*>(nullptr)).usesSharedEmpty());
    EXPECT_TRUE(LVString16(u"", 0).usesSharedEmpty());
    EXPECT_TRUE(LVString8("").usesSharedEmpty());
    LVString16 t(u"x");
    t.clear();
    EXPECT_TRUE(t.usesSharedEmpty());
    EXPECT_EQ(*t.c_str(), 0);
    // Self-assignment and self-append are safe.
    LVString16 u(u"ab");
    u = u;
    u.append(u);
    EXPECT_EQ(u16(u), u"abab");
}

TEST(LVString, SubstrSearchPrefixSuffix) {
    LVString16 s(u"one two one");
    EXPECT_EQ(u16(s.substr(4, 3)), u"two");
    EXPECT_EQ(u16(s.substr(8, 100)), u"one");
    EXPECT_EQ(s.indexOf(LVString16(u"one")), 0);
    EXPECT_EQ(s.indexOf(LVString16(u"one"), 1), 8);
    EXPECT_EQ(s.indexOf(LVString16(u"three")), -1);
    EXPECT_EQ(s.indexOf(LVString16()), 0);
    EXPECT_EQ(s.indexOf("two"), 4);
    EXPECT_TRUE(s.hasPrefix("one "));
    EXPECT_TRUE(s.hasPrefix(""));
    EXPECT_TRUE(s.hasSuffix(LVString16(u" one")));
    EXPECT_FALSE(s.hasSuffix("one two one!"));
    EXPECT_FALSE(LVString16(u"ab").hasPrefix("abc"));
}

TEST(LVString, EightBitTextIntoSixteenBitStrings) {
    // The constructor decodes UTF-8; assignment and append widen bytes (Latin-1).
    const char* e = "\xC3\xA9";
    EXPECT_EQ(u16(LVString16(e)), u"\u00E9");
    LVString16 a;
    a = e;
    EXPECT_EQ(u16(a), u"\u00C3\u00A9");
    a.append("\xFF");
    EXPECT_EQ(a.length(), 3);
    EXPECT_EQ(a[2], 0xFF);
    EXPECT_EQ(LVString16(u"\u00E9t\u00E9").compare("\xE9t\xE9"), 0);
    EXPECT_EQ(LVString16(u"b").compare("a"), 1);
    EXPECT_EQ(LVString16(u"a").compare("ab"), -1);
}

TEST(LVString, MutationsClipTheirArguments) {
    LVString16 s(u"abcdef");
    s.erase(4, 100);
    EXPECT_EQ(u16(s), u"abcd");
    s.erase(10, 1);
    s.erase(-1, 1);
    EXPECT_EQ(u16(s), u"abcd");
    s.insert(100, 2, u'x');
    EXPECT_EQ(u16(s), u"abcdxx");
    s.insert(1, 1, u'-');
    EXPECT_EQ(u16(s), u"a-bcdxx");
    s.insert(0, LVString16(u"<<"));
    EXPECT_EQ(u16(s), u"<<a-bcdxx");
    s.truncate(3);
    EXPECT_EQ(u16(s), u"<<a");
    EXPECT_EQ(u16(LVString16(u" \t a b \t").trimBlanks()), u"a b");
    EXPECT_EQ(u16(LVString16(u"\na\n").trimBlanks()), u"\na\n");  // only spaces and tabs
    LVString8 n("n=");
    n.appendNumber(-42).append(",", 1).appendNumber(INT64_MIN);
    EXPECT_EQ(bytes(n), "n=-42,-9223372036854775808");
    EXPECT_EQ(bytes(intToString8(0)), "0");
    EXPECT_EQ(u16(intToString16(1234567)), u"1234567");
    EXPECT_EQ(bytes(LVString8("").appendHex(0x1f, 4)), "001f");
}

TEST(LVString, CapacityAndUniqueness) {
    LVString16 s;
    s.reserve(100);
    EXPECT_GE(s.capacity(), 100);
    EXPECT_EQ(s.length(), 0);
    s.append(u"abc");
    s.shrinkToFit();
    EXPECT_EQ(s.capacity(), 3);
    LVString16 t = s;
    t.clearReserve(10);
    EXPECT_EQ(t.length(), 0);
    EXPECT_EQ(u16(s), u"abc");
    // Appends grow exactly.
    LVString8 g("ab");
    g.append("cd");
    EXPECT_EQ(g.capacity(), 4);
}

TEST(LVString, LimitLength) {
    struct Case {
        const char* in;
        int32_t max;
        const char* out;
    };
    const Case cases[] = {
        {"one two three four", 10, "one two..."},
        {"abcdefghijklmno", 10, "abcdefghij..."},
        {"exactly10!", 10, "exactly10!"},  // at the limit: unchanged
        {"short", 10, "short"},
        {"ab   cdefghijkl", 10, "ab..."},  // steps back over the spaces before the cut
        {" abcdefghijkl", 5, " abcd..."},  // space at position 0 does not count
    };
    for (const Case& c : cases) {
        LVString16 s(c.in);
        EXPECT_EQ(encodeUtf8(s.limitLength(c.max)), c.out) << c.in;
    }
}

TEST(LVString, NumberParsing) {
    struct Case {
        const char16_t* in;
        bool ok;
        int32_t value;
    };
    const Case cases[] = {
        {u" 42 ", true, 42},
        {u"\t-17", true, -17},
        {u"+5\tx", true, 5},
        {u"42x", false, 0},
        {u"", false, 0},
        {u"-", false, 0},
        {u"0xZ1", true, 1},
        {u"0xFFFFFFFF", true, -1},
        {u"0x1f", true, 31},
        {u"2147483647", true, INT32_MAX},
        {u"2147483648", true, INT32_MAX},  // saturates
        {u"-2147483648", true, INT32_MIN},
        {u"-99999999999999999999", true, INT32_MIN},
    };
    for (const Case& c : cases) {
        int32_t v = 0;
        EXPECT_EQ(LVString16(c.in).parseDecimal(v), c.ok) << encodeUtf8(LVString16(c.in)).c_str();
        if (c.ok) {
            EXPECT_EQ(v, c.value) << encodeUtf8(LVString16(c.in)).c_str();
        }
    }
    int64_t w = 0;
    EXPECT_TRUE(LVString16(u"-9223372036854775808").parseDecimal64(w));
    EXPECT_EQ(w, INT64_MIN);
    EXPECT_TRUE(LVString16(u"123456789012345678901234").parseDecimal64(w));
    EXPECT_EQ(w, INT64_MAX);
    EXPECT_FALSE(LVString16(u"0x10").parseDecimal64(w));
    // Plain conversion: leading number or 0.
    EXPECT_EQ(LVString16(u"12px").toInt(), 12);
    EXPECT_EQ(LVString8("abc").toInt(), 0);
    EXPECT_EQ(LVString8(" -7").toInt(), -7);
    EXPECT_EQ(LVString8("99999999999").toInt(), INT32_MAX);
}

TEST(LVString, ComparisonAndHashes) {
    EXPECT_EQ(LVString16(u"ab").hash(), 97u * 31 + 98);
    EXPECT_EQ(LVString16().hash(), 0u);
    // 8-bit strings hash and compare bytes as signed values.
    EXPECT_EQ(LVString8("\xC3").hash(), static_cast<uint32_t>(-61));
    EXPECT_LT(LVString8("\xC3"), LVString8("A"));
    EXPECT_GT(LVString16(u"\u00C3"), LVString16(u"A"));
    EXPECT_LT(LVString16(u"ab"), LVString16(u"abc"));
    EXPECT_EQ(LVString16(u"abc").compare(LVString16(u"abc")), 0);
    EXPECT_EQ(LVString16(u"abd").compare(LVString16(u"abc")), 1);
}

TEST(Utf8, DecodeTable) {
    struct Case {
        const char* name;
        std::string in;
        std::u16string out;
    };
    const Case cases[] = {
        {"ascii", "abc", u"abc"},
        {"two and three bytes", "\xC3\xA9\xE2\x82\xAC", u"\u00E9\u20AC"},
        {"incomplete before zero", std::string("A\xC3\0", 3), u"A"},
        {"incomplete at end of range", "A\xE2\x82", u"A"},
        {"stray continuation", "a\x80" "bc", u"a\uFFFD" "bc"},
        {"invalid lead bytes", "\xF8x\xFFy\xFEz", u"\uFFFDx\uFFFDy\uFFFDz"},
        {"lead without continuation", "\xC3" "abc", u"\uFFFD" "abc"},
        {"three-byte lead cut by ascii", "\xE2\x82z", u"\uFFFDz"},
        {"four bytes outside 16 bits", "\xF0\xA0\xAE\x9F!", u"\uFFFD!"},
        {"emoji", "\xF0\x9F\x98\x80", u"\uFFFD"},
        {"surrogate unit kept", "\xED\xA0\x80", std::u16string(1, char16_t(0xD800))},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(u16(decodeUtf8(c.in.data(), c.in.size())), c.out) << c.name;
        EXPECT_EQ(countUtf8Chars(c.in.data(), c.in.size()), c.out.size()) << c.name;
    }
    EXPECT_EQ(u16(decodeUtf8("x\xC3\xA9")), u"x\u00E9");
    EXPECT_TRUE(decodeUtf8(static_cast<const char*>(nullptr)).empty());
}

TEST(Utf8, EncodeAndRoundTripEveryUnit) {
    EXPECT_EQ(bytes(encodeUtf8(LVString16(u"\u00E9"))), "\xC3\xA9");
    EXPECT_EQ(bytes(encodeUtf8(LVString16(u"\u20AC"))), "\xE2\x82\xAC");
    std::u16string all;
    for (uint32_t c = 1; c <= 0xFFFF; ++c) all.push_back(static_cast<char16_t>(c));
    LVString8 enc = encodeUtf8(all.data(), all.size());
    EXPECT_EQ(static_cast<size_t>(enc.length()), utf8ByteLength(all.data(), all.size()));
    EXPECT_EQ(u16(decodeUtf8(enc.c_str(), enc.length())), all);
}

TEST(Utf8, PartialDecodeStopsBeforeASplitSequence) {
    const std::string in = "ab\xE2\x82\xAC";
    lvchar16 out[8];
    size_t used = 0;
    // Only four bytes offered: the euro sign is incomplete and left for later.
    EXPECT_EQ(decodeUtf8Partial(reinterpret_cast<const uint8_t*>(in.data()), 4, out, 8, &used), 2u);
    EXPECT_EQ(used, 2u);
    EXPECT_EQ(decodeUtf8Partial(reinterpret_cast<const uint8_t*>(in.data()) + used, 3, out, 8, &used),
              1u);
    EXPECT_EQ(out[0], 0x20AC);
    // The output capacity bounds the characters produced.
    EXPECT_EQ(decodeUtf8Partial(reinterpret_cast<const uint8_t*>(in.data()), 5, out, 1, &used), 1u);
    EXPECT_EQ(used, 1u);
}

TEST(Utf8, SingleByteAndLocal) {
    lvchar16 table[128];
    for (int i = 0; i < 128; ++i) table[i] = static_cast<lvchar16>(0x400 + i);
    EXPECT_EQ(u16(decodeSingleByte("a\x80\xFF", table)), u"a\u0400\u047F");
    EXPECT_EQ(u16(decodeSingleByte("a\xE9", nullptr)), u"a\u00E9");
    // Local text on this platform is UTF-8, with pairs for characters beyond 16 bits.
    const char* name = "\xD0\x9A\xF0\x9F\x93\x96.fb2";  // "К" + book emoji
    LVString16 w = localToWide(name);
    EXPECT_EQ(u16(w), u"\u041A\U0001F4D6.fb2");
    EXPECT_EQ(bytes(wideToLocal(w)), name);
    EXPECT_EQ(bytes(wideToLocal(LVString16(u"a\xD800" "b"))), "a?b");
    EXPECT_TRUE(wideToLocal(LVString16()).empty());
}

TEST(CaseMapping, Table) {
    struct Pair {
        char16_t upper, lower;
    };
    const Pair pairs[] = {
        {u'A', u'a'},         {u'Z', u'z'},         {u'\u00C0', u'\u00E0'}, {u'\u00DE', u'\u00FE'},
        {u'\u0178', u'\u00FF'}, {u'\u0104', u'\u0105'}, {u'\u0141', u'\u0142'}, {u'\u017D', u'\u017E'},
        {u'\u0391', u'\u03B1'}, {u'\u03A9', u'\u03C9'}, {u'\u0386', u'\u03AC'}, {u'\u038F', u'\u03CE'},
        {u'\u03AB', u'\u03CB'}, {u'\u0410', u'\u0430'}, {u'\u042F', u'\u044F'}, {u'\u0401', u'\u0451'},
        {u'\u0404', u'\u0454'}, {u'\u0406', u'\u0456'}, {u'\u0407', u'\u0457'}, {u'\u040E', u'\u045E'},
        {u'\u1F08', u'\u1F00'},
    };
    for (const Pair& p : pairs) {
        EXPECT_EQ(upperChar(p.lower), p.upper) << std::hex << int(p.lower);
        EXPECT_EQ(lowerChar(p.upper), p.lower) << std::hex << int(p.upper);
    }
    // Final sigma upper-cases to capital sigma; characters without a pair stay.
    EXPECT_EQ(upperChar(u'\u03C2'), u'\u03A3');
    for (char16_t c : {u'\u00D7', u'\u00F7', u'\u00DF', u'\u0390', u'\u03B0', u'1', u'\u0131'}) {
        EXPECT_EQ(upperChar(c), c) << std::hex << int(c);
        EXPECT_EQ(lowerChar(c), c) << std::hex << int(c);
    }
    LVString16 s(u"\u0401\u043B\u043A\u0430 Stra\u00DFe");
    EXPECT_EQ(u16(LVString16(s).toUpper()), u"\u0401\u041B\u041A\u0410 STRA\u00DFE");
    EXPECT_EQ(u16(LVString16(s).toLower()), u"\u0451\u043B\u043A\u0430 stra\u00DFe");
    EXPECT_EQ(bytes(LVString8("Caf\xC3\xA9").toUpper()), "CAF\xC3\xA9");
}

TEST(ConstString, InternedByAddress) {
    static const char lit[] = "chapter";
    const LVString16& a = constString16(lit);
    const LVString16& b = constString16(lit);
    EXPECT_EQ(&a, &b);
    EXPECT_EQ(u16(a), u"chapter");
    static const char utf[] = "\xC3\xA9";
    EXPECT_EQ(u16(constString16(utf)), u"\u00E9");
    EXPECT_EQ(bytes(constString8(lit)), "chapter");
}

}  // namespace
