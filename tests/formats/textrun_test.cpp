// The shared text-run finishing: trimming, hyphen joining, tab expansion.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dom/xmlcallback.h"
#include "formats/textrun.h"

namespace {

std::u16string finish(const std::u16string& in, uint32_t flags) {
    std::vector<lvchar16> buf(in.begin(), in.end());
    buf.push_back(0);
    std::vector<lvchar16> scratch;
    int32_t length = static_cast<int32_t>(in.size());
    const lvchar16* out = finishTextRun(buf.data(), length, flags, scratch);
    return std::u16string(out, static_cast<size_t>(length));
}

TEST(TextRun, Trimming) {
    struct Case {
        std::u16string in;
        uint32_t flags;
        std::u16string out;
    };
    const uint32_t trim = TEXT_TRIM;
    const Case cases[] = {
        {u"  a \t\r\n b  ", trim, u"a b"},
        {u"  a  b  ", trim | TEXT_TRIM_ALLOW_START_SPACE, u" a b"},
        {u"  a  b  ", trim | TEXT_TRIM_ALLOW_END_SPACE, u"a b "},
        {u"  a  b  ", trim | TEXT_TRIM_ALLOW_START_SPACE | TEXT_TRIM_ALLOW_END_SPACE, u" a b "},
        {u" \n\t ", trim, u""},
        {u" \n\t ", trim | TEXT_TRIM_ALLOW_END_SPACE, u" "},
        // Without TEXT_TRIM nothing changes.
        {u"  a  b  ", 0, u"  a  b  "},
        // Preformatted text is not trimmed unless it is split into paragraphs,
        // which also keeps a leading space.
        {u"  a  b", TEXT_PRE | trim, u"  a  b"},
        {u"  a  b ", TEXT_PRE | trim | TEXT_PRE_PARA_SPLITTING, u" a b"},
        // Non-breaking spaces are text.
        {u"\u00A0a\u00A0 ", trim, u"\u00A0a\u00A0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(finish(c.in, c.flags), c.out)
            << "flags " << std::hex << c.flags << " case " << (&c - cases);
    }
}

TEST(TextRun, EndOfLineHyphensJoinWords) {
    const uint32_t join = TEXT_TRIM | TEXT_TRIM_REMOVE_EOL_HYPHENS;
    EXPECT_EQ(finish(u"hyphen-\nated word", join), u"hyphenated word");
    // The indentation of the next line goes with the break.
    EXPECT_EQ(finish(u"пере-\r\n   нос", join), u"перенос");
    // Not after a non-letter, not with a space before the break, not without
    // the flag.
    EXPECT_EQ(finish(u"1-\n2", join), u"1- 2");
    EXPECT_EQ(finish(u"well- \nknown", join), u"well- known");
    EXPECT_EQ(finish(u"hyphen-\nated", TEXT_TRIM), u"hyphen- ated");
    // A hyphen at the very end stays.
    EXPECT_EQ(finish(u"end-\n", join), u"end-");
}

TEST(TextRun, TabsExpandToEightColumns) {
    EXPECT_EQ(finish(u"\tx", TEXT_PRE), u"        x");
    EXPECT_EQ(finish(u"abc\tx\ty", TEXT_PRE), u"abc     x       y");
    EXPECT_EQ(finish(u"12345678\tx", TEXT_PRE), u"12345678        x");
    // The column restarts after a line break.
    EXPECT_EQ(finish(u"abcdef\n\tx\r\tz", TEXT_PRE), u"abcdef\n        x\r        z");
    // Only preformatted runs are expanded.
    EXPECT_EQ(finish(u"a\tb", 0), u"a\tb");
    const std::u16string s = u"ab\tc\n\t\td";
    EXPECT_EQ(expandedTabsLength(reinterpret_cast<const lvchar16*>(s.data()),
                                 static_cast<int32_t>(s.size())),
              static_cast<int32_t>(finish(s, TEXT_PRE).size()));
}

TEST(TextRun, StringForm) {
    LVString16 s(u" one-\ntwo  three ");
    finishTextRun(s, TEXT_TRIM | TEXT_TRIM_REMOVE_EOL_HYPHENS);
    EXPECT_TRUE(s == LVString16(u"onetwo three"));
}

}  // namespace
