#include "foundation/stringlist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string toStd(const LVString8& s) { return std::string(s.c_str(), size_t(s.length())); }
std::string toStd(const LVString16& s) { return toStd(encodeUtf8(s)); }

template <typename List>
std::vector<std::string> items(const List& list) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < list.length(); ++i) out.push_back(toStd(list[i]));
    return out;
}

using Items = std::vector<std::string>;

// ---- Growth, erase, clear ----------------------------------------------------------------------

TEST(StringListTest, AddReturnsIndexAndGrowsBy65) {
    StringList16 list;
    EXPECT_EQ(list.capacity(), 0);
    EXPECT_EQ(list.add(LVString16(u"first")), 0);
    EXPECT_EQ(list.capacity(), 65);
    for (int i = 1; i < 65; ++i) EXPECT_EQ(list.add(LVString16(u"x")), i);
    EXPECT_EQ(list.capacity(), 65);
    EXPECT_EQ(list.add(LVString16(u"66th")), 65);
    EXPECT_EQ(list.capacity(), 130);
    EXPECT_TRUE(list[0] == u"first");
    EXPECT_TRUE(list[65] == u"66th");
}

TEST(StringListTest, AddOwnElementWhileGrowing) {
    StringList8 list;
    list.add("self");
    for (int i = 1; i < 65; ++i) list.add(list[0]);  // the last add reallocates
    list.add(list[0]);
    EXPECT_EQ(list.length(), 66);
    EXPECT_TRUE(list[65] == "self");
}

TEST(StringListTest, EraseClosesGapAndIgnoresOutOfRange) {
    auto make = [] {
        StringList8 list;
        for (const char* s : {"0", "1", "2", "3", "4"}) list.add(s);
        return list;
    };
    struct Case {
        int32_t offset, count;
        Items expected;
    };
    const Case cases[] = {
        {1, 2, {"0", "3", "4"}},           {0, 1, {"1", "2", "3", "4"}},
        {4, 1, {"0", "1", "2", "3"}},      {-1, 1, {"0", "1", "2", "3", "4"}},  // negative offset
        {3, 3, {"0", "1", "2", "3", "4"}},                                      // runs past the end
        {0, 6, {"0", "1", "2", "3", "4"}}, {2, 0, {"0", "1", "2", "3", "4"}},
        {5, 0, {"0", "1", "2", "3", "4"}},
    };
    for (const Case& k : cases) {
        StringList8 list = make();
        list.erase(k.offset, k.count);
        EXPECT_EQ(items(list), k.expected) << k.offset << "," << k.count;
    }

    StringList8 list = make();
    list.erase(0, 5);
    EXPECT_EQ(list.length(), 0);
    EXPECT_EQ(list.capacity(), 0);  // freed
    list.erase(0, 1);               // empty: nothing to do
    EXPECT_EQ(list.length(), 0);
}

TEST(StringListTest, ElementsShareRecordsAndCopiesAreIndependent) {
    LVString16 s(u"shared");
    StringList16 a;
    a.add(s);
    EXPECT_EQ(s.refCount(), 2);
    StringList16 b = a;
    EXPECT_EQ(s.refCount(), 3);
    b.add(LVString16(u"more"));
    b[0] = LVString16(u"changed");
    EXPECT_EQ(items(a), Items{"shared"});
    EXPECT_EQ(items(b), (Items{"changed", "more"}));
    a.clear();
    EXPECT_EQ(s.refCount(), 1);
}

// ---- Sorting
// ---------------------------------------------------------------------------------------

TEST(StringListTest, SortByUnits) {
    StringList16 wide;
    StringList8 narrow;
    for (const char* s : {"b", "a", "B", "\xC3\xA4", "aa", ""}) {
        wide.add(LVString16(s));
        narrow.add(s);
    }
    wide.sort();
    narrow.sort();
    EXPECT_EQ(items(wide), (Items{"", "B", "a", "aa", "b", "\xC3\xA4"}));
    // 8-bit strings compare signed bytes: UTF-8 sequences sort first.
    EXPECT_EQ(items(narrow), (Items{"", "\xC3\xA4", "B", "a", "aa", "b"}));
}

TEST(StringListTest, SortWithCallerComparisonIsStable) {
    StringList8 list;
    for (const char* s : {"ccc", "a", "bb", "d", "ee", "f"}) list.add(s);
    list.sort([](const LVString8& x, const LVString8& y) { return x.length() - y.length(); });
    EXPECT_EQ(items(list), (Items{"a", "d", "f", "bb", "ee", "ccc"}));
}

// ---- Splitting ---------------------------------------------------------------------------------

struct SplitCase {
    const char* text;
    const char* delimiter;  // one character, or a string
    bool trim;
    Items expected;
};

const SplitCase kSplitCases[] = {
    {"a,b,,c", ",", false, {"a", "b", "", "c"}},
    {"a,b,,c", ",", true, {"a", "b", "c"}},
    {",a,", ",", false, {"", "a", ""}},
    {",a,", ",", true, {"a"}},
    {" a ,\tb \r\n c\t, ", ",", true, {"a", "b c"}},
    {" a ,b", ",", false, {" a ", "b"}},
    {", ,\t", ",", true, {}},
    // Without the delimiter the text is one item, even if trimmed empty.
    {"abc", ",", true, {"abc"}},
    {"  a  b ", ",", true, {"a b"}},
    {"   ", ",", true, {""}},
    {"", ",", false, {""}},
    {"", ",", true, {""}},
    // String delimiters.
    {"a::b::", "::", false, {"a", "b", ""}},
    {"a:b", "::", false, {"a:b"}},
    {"x--y---z", "--", false, {"x", "y", "-z"}},
    {"one and two and", " and ", true, {"one", "two and"}},
    {":: ::", "::", true, {}},
};

template <typename List, typename Str>
void runSplitCases() {
    for (const SplitCase& k : kSplitCases) {
        List list;
        const Str text(k.text);
        if (k.delimiter[0] && !k.delimiter[1])
            list.split(text, typename List::CharT(k.delimiter[0]), k.trim);
        else
            list.split(text, Str(k.delimiter), k.trim);
        EXPECT_EQ(items(list), k.expected) << '"' << k.text << "\" by \"" << k.delimiter << '"';
    }
}

TEST(StringListTest, SplitTable8) { runSplitCases<StringList8, LVString8>(); }
TEST(StringListTest, SplitTable16) { runSplitCases<StringList16, LVString16>(); }

TEST(StringListTest, SplitEdgeCases) {
    StringList16 list;
    list.add(LVString16(u"kept"));
    list.split(LVString16(u"a;b"), u';', false);          // appends
    list.split(LVString16(u"a;b"), LVString16(), false);  // empty delimiter: one item
    list.split(LVString16(u"\u00e9\u2014\u00e8"), u'\u2014', false);
    EXPECT_EQ(items(list), (Items{"kept", "a", "b", "a;b", "\xC3\xA9", "\xC3\xA8"}));
}

// ---- HashedStringList
// ------------------------------------------------------------------------------

TEST(HashedStringListTest, FindAndAdd) {
    HashedStringList h;
    EXPECT_EQ(h.find(LVString16(u"a")), -1);
    EXPECT_EQ(h.add(LVString16(u"a")), 0);
    EXPECT_EQ(h.add(LVString16(u"b")), 1);
    EXPECT_EQ(h.add(LVString16(u"a")), 0);
    EXPECT_EQ(h.add(LVString16()), 2);  // the empty string is a string too
    EXPECT_EQ(h.find(LVString16()), 2);
    EXPECT_EQ(h.find(LVString16(u"b")), 1);
    EXPECT_EQ(h.find(LVString16(u"c")), -1);
    EXPECT_EQ(h.length(), 3);

    h.clear();
    EXPECT_EQ(h.length(), 0);
    EXPECT_EQ(h.tableSize(), 0);
    EXPECT_EQ(h.find(LVString16(u"a")), -1);
    EXPECT_EQ(h.add(LVString16(u"b")), 0);
}

// The table is resized before an add whenever it has fewer than twice as
// many buckets as strings.
TEST(HashedStringListTest, TableGrowth) {
    HashedStringList h;
    auto addNumbered = [&h](int n) {
        LVString16 s(u"s");
        s.appendNumber(n);
        return h.add(s);
    };
    addNumbered(0);
    EXPECT_EQ(h.tableSize(), 32);
    for (int i = 1; i < 17; ++i) addNumbered(i);
    EXPECT_EQ(h.tableSize(), 32);  // 32 buckets were enough for the 17th string
    addNumbered(17);
    EXPECT_EQ(h.tableSize(), 64);
    for (int i = 18; i < 33; ++i) addNumbered(i);
    EXPECT_EQ(h.tableSize(), 64);
    addNumbered(33);
    EXPECT_EQ(h.tableSize(), 128);
}

TEST(HashedStringListTest, IndicesStableAcrossResizes) {
    const int n = 5000;
    auto name = [](const char16_t* prefix, int i) {
        LVString16 s(prefix);
        s.appendNumber(i);
        return s;
    };
    HashedStringList h;
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(h.add(name(u"key", i)), i);
        ASSERT_EQ(h.add(name(u"key", i / 2)), i / 2);  // re-adding finds the old index
    }
    EXPECT_EQ(h.length(), n);
    EXPECT_GE(h.tableSize(), 2 * (n - 1));
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(h.find(name(u"key", i)), i);
        EXPECT_TRUE(h[i] == name(u"key", i));
        EXPECT_EQ(h.find(name(u"other", i)), -1);
    }
}

}  // namespace
