#include "foundation/textutil.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace {

// A heap copy of exactly text.size() units with no terminator, so that the
// address sanitizer reports any read past the given length.
std::unique_ptr<lvchar16[]> exactBuffer(std::u16string_view text) {
    auto buf = std::make_unique<lvchar16[]>(text.size());
    for (size_t i = 0; i < text.size(); ++i) buf[i] = text[i];
    return buf;
}

std::string hex(uint32_t v) {
    char s[16];
    snprintf(s, sizeof s, "U+%04X", v);
    return s;
}

// ---- Character properties ---------------------------------------------------------------

TEST(CharPropsTest, SpotChecks) {
    struct Case {
        char16_t c;
        uint16_t props;
    };
    // clang-format off
    const Case cases[] = {
        // ASCII: both cases of a letter carry the upper bit.
        {u'A', 0x0041}, {u'a', 0x0041}, {u'Y', 0x0041}, {u'y', 0x0041},
        {u'B', 0x0081}, {u'z', 0x0081},
        {u'0', 0x0004}, {u'9', 0x0004}, {u':', 0x0004}, {u'?', 0x0004},
        {u' ', 0x0010}, {u'\t', 0x0010}, {u'\n', 0x0010}, {u'\r', 0x0010}, {0x0C, 0x0010},
        {0x0B, 0}, {0x00, 0}, {0x1F, 0},
        {u'!', 0x0008}, {u',', 0x0008}, {u'.', 0x0008},
        {u'-', 0x0500}, {u'"', 0}, {u'(', 0}, {u')', 0},
        {u'#', 0x0100}, {u'\'', 0x0100}, {u'+', 0x0100}, {u'/', 0x0100}, {u'@', 0x0100},
        {u'[', 0x0100}, {u'`', 0x0100}, {u'{', 0x0100}, {0x7F, 0x0100},
        // Latin-1 and Latin Extended-A.
        {0x0080, 0}, {0x009F, 0}, {0x00A0, 0x0010}, {0x00A1, 0x0008}, {0x00BF, 0x0008},
        {0x00A9, 0x0100}, {0x00BE, 0x0100},
        {0x00C0, 0x0041}, {0x00C6, 0x0041}, {0x00C7, 0x0081}, {0x00D1, 0x0081},
        {0x00D7, 0x0100}, {0x00D8, 0x0041}, {0x00DE, 0x0081}, {0x00DF, 0x0082},
        {0x00E9, 0x0042}, {0x00F1, 0x0082}, {0x00F7, 0x0100}, {0x00FF, 0x0042},
        {0x0104, 0x0041}, {0x0105, 0x0042}, {0x0118, 0x0041}, {0x0119, 0x0042},
        {0x016E, 0x0041}, {0x016F, 0x0042}, {0x0178, 0x0041}, {0x0131, 0x0042},
        {0x0106, 0x0081}, {0x0138, 0x0082}, {0x0141, 0x0081}, {0x0142, 0x0082},
        {0x0149, 0x0082}, {0x0179, 0x0081}, {0x017E, 0x0082}, {0x017F, 0x0082},
        {0x0180, 0},
        // Greek.
        {0x0383, 0}, {0x0384, 0x0040}, {0x0385, 0x0040}, {0x0386, 0x0041}, {0x0387, 0x0009},
        {0x038B, 0}, {0x0390, 0x0042}, {0x0391, 0x0041}, {0x0392, 0x0081}, {0x03A2, 0},
        {0x03A9, 0x0041}, {0x03AC, 0x0042}, {0x03B1, 0x0042}, {0x03C1, 0x0082},
        {0x03C2, 0x0082}, {0x03C9, 0x0042}, {0x03D0, 0x0080}, {0x03D2, 0x0040},
        {0x03D4, 0x0040}, {0x03D7, 0x0080}, {0x03DA, 0x0080}, {0x03E1, 0x0080}, {0x03E2, 0},
        // Cyrillic.
        {0x0400, 0}, {0x0401, 0x0041}, {0x0451, 0x0042}, {0x0402, 0x0081},
        {0x0404, 0x0041}, {0x0406, 0x0041}, {0x0407, 0x0041}, {0x040E, 0x0041},
        {0x0454, 0x0042}, {0x0456, 0x0042}, {0x0457, 0x0042}, {0x045E, 0x0042},
        {0x0410, 0x0041}, {0x0411, 0x0081}, {0x0419, 0x0081}, {0x042B, 0x0041},
        {0x042F, 0x0041}, {0x0430, 0x0042}, {0x0448, 0x0082}, {0x044F, 0x0042},
        {0x042A, 0x0201}, {0x042C, 0x0201}, {0x044A, 0x0202}, {0x044C, 0x0202},
        {0x0490, 0x0081}, {0x0491, 0x0082}, {0x04A3, 0x0082}, {0x04A4, 0},
        // Greek Extended.
        {0x1F00, 0x0042}, {0x1F08, 0x0041}, {0x1F16, 0}, {0x1F59, 0x0041}, {0x1F5A, 0},
        {0x1F70, 0x0042}, {0x1F7E, 0}, {0x1F88, 0x0041}, {0x1FB5, 0}, {0x1FBC, 0x0041},
        {0x1FE4, 0x0082}, {0x1FE5, 0x0082}, {0x1FEC, 0x0081}, {0x1FFC, 0x0041}, {0x1FFF, 0},
        // Dashes; everything else is 0.
        {0x2011, 0}, {0x2012, 0x0500}, {0x2013, 0x0500}, {0x2015, 0x0500}, {0x2016, 0},
        {0x1EF9, 0}, {0x3042, 0}, {0xFFFF, 0},
    };
    // clang-format on
    for (const Case& k : cases) EXPECT_EQ(charProps(k.c), k.props) << hex(k.c);
}

// Rules that hold for every position of the tables.
TEST(CharPropsTest, EveryLetterHasOneCaseAndOneClass) {
    auto check = [](uint32_t c) {
        const uint16_t p = charProps(static_cast<lvchar16>(c));
        const bool upper = p & CharPropUpper, lower = p & CharPropLower;
        const int classes =
            !!(p & CharPropVowel) + !!(p & CharPropConsonant) + !!(p & CharPropAlphaSign);
        EXPECT_FALSE(upper && lower) << hex(c);
        EXPECT_LE(classes, 1) << hex(c);
        if ((upper || lower) && c != 0x0387) {
            EXPECT_EQ(classes, 1) << hex(c);
        }
    };
    for (uint32_t c = 0; c < 0x04A4; ++c) check(c);
    for (uint32_t c = 0x1F00; c <= 0x1FFF; ++c) check(c);
}

// A small letter and its capital differ only in the case bit. Catches a pair
// whose parity or vowel class is off in the tables.
TEST(CharPropsTest, CasePartnersAgree) {
    auto check = [](uint32_t c) {
        const uint16_t p = charProps(static_cast<lvchar16>(c));
        if (!(p & CharPropLower)) return;
        const lvchar16 u = upperChar(static_cast<lvchar16>(c));
        if (u == c || charProps(u) == 0) return;
        EXPECT_EQ(charProps(u), (p & ~CharPropLower) | CharPropUpper) << hex(c) << " -> " << hex(u);
    };
    for (uint32_t c = 0x00C0; c < 0x04A4; ++c) check(c);
    // Rows U+1FB0-U+1FFF mix their letters too freely for the engine's
    // bit-0x08 case rule to pair them; the regular rows pair exactly.
    for (uint32_t c = 0x1F00; c < 0x1FB0; ++c) check(c);
}

// ---- Transliteration -----------------------------------------------------------------------

TEST(TransliterateTest, Table) {
    struct Case {
        std::u16string_view in;
        const char* out;
    };
    const Case cases[] = {
        {u"", ""},
        {u"Plain ASCII ~\x7f", "Plain ASCII ~\x7f"},
        {u"Привет", "Privet"},
        {u"ЩУКА щука", "SHUKA shuka"},
        {u"ЖЦЧЮЯ жцчюя", "ZHTSCHYUYA zhtschyuya"},
        {u"Йй Ъъ Ьь Ыы Ээ", "jj '' '' Yy Ee"},
        {u"\u0450\u0451\u0401", "Ee?"},  // only U+0450/U+0451 of the extra letters
        {u"Größe Ärger", "GroeSSe AErger"},
        {u"\u00C5\u00C6\u00D0\u00D7\u00DE", "AAEDxp"},
        {u"\u00E5\u00E6\u00F0\u00F7\u00FE", "aaedxp"},
        {u"\u00FF\u0100\u20AC\t\n", "?????"},
    };
    for (const Case& k : cases) {
        const LVString8 out = transliterate(LVString16(k.in.data(), int32_t(k.in.size())));
        EXPECT_STREQ(out.c_str(), k.out);
        EXPECT_LE(out.capacity(), out.length() + 4) << k.out;  // shrunk to fit
    }
}

// ---- Whitespace normalisation -----------------------------------------------------------------

TEST(NormalizeSpacesTest, Table) {
    struct Case {
        std::u16string_view in;
        bool keepLeading, keepTrailing, removeEolHyphens;
        std::u16string_view out;
    };
    const Case cases[] = {
        {u"", false, false, false, u""},
        {u"a \r\nb", false, false, false, u"a b"},
        // Only a whitespace character that is the very last one is dropped.
        {u"ab ", false, false, false, u"ab"},
        {u"ab  ", false, false, false, u"ab "},
        {u"ab\n", false, false, false, u"ab"},
        {u"ab ", false, true, false, u"ab "},
        {u"ab\t\n", false, true, false, u"ab "},
        {u" \t ab", false, false, false, u"ab"},
        {u" \t ab", true, false, false, u" ab"},
        {u"\r\nab", true, false, false, u" ab"},
        {u"   ", true, true, false, u" "},
        {u"a\t\tb \t c", false, false, false, u"a b c"},
        // A zero character after whitespace also counts as the end.
        {std::u16string_view(u"ab \0x", 5), false, false, false, std::u16string_view(u"ab\0x", 4)},
        {std::u16string_view(u"ab \0x", 5), false, true, false, std::u16string_view(u"ab \0x", 5)},
        // End-of-line hyphens between letters.
        {u"hyph-\nen", false, false, true, u"hyph en"},
        {u"hyph-\nen", false, false, false, u"hyph- en"},
        {u"hyph- en", false, false, true, u"hyph- en"},  // a space is not a line end
        {u"12-\nen", false, false, true, u"12- en"},     // digit before the hyphen
        {u"-\nen", false, false, true, u"- en"},         // nothing before the hyphen
        {u"\u00e9-\rx", false, false, true, u"\u00e9 x"},
        {u"\u0436-\r\nx", false, false, true, u"\u0436 x"},
        {u"\u2020-\nx", false, false, true, u"\u2020- x"},
        {u"ab-\n", false, false, true, u"ab"},
    };
    for (const Case& k : cases) {
        auto buf = exactBuffer(k.in);
        const size_t n = normalizeSpaces(buf.get(), k.in.size(), k.keepLeading, k.keepTrailing,
                                         k.removeEolHyphens);
        EXPECT_EQ(std::u16string_view(buf.get(), n), k.out)
            << "case " << (&k - cases) << " length " << n;
    }
}

// ---- Word bounds ------------------------------------------------------------------------------

TEST(WordBoundsAtTest, Table) {
    struct Case {
        std::u16string_view text;
        int32_t pos, start, end;
    };
    const Case cases[] = {
        {u"hello world", 0, 0, 0},
        {u"hello world", 3, 0, 5},
        {u"hello world", 5, 0, 5},
        {u"hello world", 6, 0, 5},  // at the space: the word before it
        {u"hello world", 8, 6, 11},
        {u"hello world", 11, 6, 11},  // pos == length
        {u"hello world", 50, 6, 11},  // clamped to the length
        {u"hello world", -3, 0, 0},   // clamped to 0
        {u"", 0, 0, 0},
        {u"", 4, 0, 0},
        {u"a", 1, 0, 1},
        {u"ab, cd!", 7, 4, 6},
        {u"ab\u00ADcd", 5, 3, 5},  // soft hyphen splits
        {u"ab\u00ADcd", 1, 0, 2},
        {u"\u043c\u0438\u0440 \u0434\u0430", 2, 0, 3},
        {u"x  ", 3, 0, 1},
        {u"   ", 2, 0, 1},  // the first character is taken without a letter test
    };
    for (const Case& k : cases) {
        auto buf = exactBuffer(k.text);
        int32_t start = -7, end = -7;
        wordBoundsAt(buf.get(), int32_t(k.text.size()), k.pos, start, end);
        EXPECT_EQ(start, k.start) << "case " << (&k - cases);
        EXPECT_EQ(end, k.end) << "case " << (&k - cases);
    }
}

// ---- Percent escapes ------------------------------------------------------------------------

TEST(DecodePercentEscapesTest, Table) {
    struct Case {
        std::u16string_view in, out;
    };
    const Case cases[] = {
        {u"a%20b", u"a b"},
        {u"%41%42c", u"ABc"},
        {u"caf%C3%A9.html", u"caf\u00e9.html"},  // UTF-8
        {u"%e2%82%ac", u"\u20ac"},               // lower-case hex digits
        {u"caf%E9.html", u"caf\u00e9.html"},     // Latin-1 fallback
        {u"%C3", u"\u00c3"},                     // cut-short sequence
        {u"%C3%A9%E9", u"\u00c3\u00a9\u00e9"},   // one bad byte: all Latin-1
        {u"%C0%80", u"\u00c0\u0080"},            // overlong form is not UTF-8
        {u"\u00e9%20x", u"\u00e9 x"},            // literal non-ASCII kept
        {u"%00%41", u"%00A"},                    // %00 is not an escape
        {u"50%%41", u"50%A"},
    };
    for (const Case& k : cases) {
        const LVString16 out = decodePercentEscapes(LVString16(k.in.data(), int32_t(k.in.size())));
        EXPECT_EQ(std::u16string_view(out.c_str(), size_t(out.length())), k.out)
            << "case " << (&k - cases);
    }
}

TEST(DecodePercentEscapesTest, WithoutEscapeReturnsSameRecord) {
    for (const char16_t* text : {u"plain/path.html", u"%00", u"%4", u"100%", u"%4g", u"%%", u""}) {
        const LVString16 in(text);
        const LVString16 out = decodePercentEscapes(in);
        EXPECT_TRUE(out == in);
        EXPECT_TRUE(out.sharesRecordWith(in)) << std::u16string_view(text).size();
    }
}

// ---- Digit readers ------------------------------------------------------------------------------

TEST(DigitReadersTest, HexDigitValue) {
    struct Case {
        char16_t c;
        int value;
    };
    const Case cases[] = {
        {u'0', 0},  {u'9', 9},    {u'a', 10},   {u'f', 15},   {u'A', 10}, {u'F', 15},
        {u'g', -1}, {u'G', -1},   {u'/', -1},   {u':', -1},   {u'@', -1}, {u'`', -1},
        {0, -1},    {0xFF10, -1}, {0x0130, -1}, {0x0141, -1},  // low byte looks like a digit
    };
    for (const Case& k : cases) EXPECT_EQ(hexDigitValue(k.c), k.value) << hex(k.c);
}

TEST(DigitReadersTest, FixedCountReaders) {
    EXPECT_EQ(readHexDigits(u"1aF", 3), 0x1AF);
    EXPECT_EQ(readHexDigits(u"1aF", 2), 0x1A);
    EXPECT_EQ(readHexDigits(u"xyz", 0), 0);
    EXPECT_EQ(readHexDigits(u"12", 3), -1);  // meets the terminator
    EXPECT_EQ(readHexDigits(u"1g", 2), -1);
    EXPECT_EQ(readHexDigits("7FFFFFFFFFFFFFFF", 16), INT64_MAX);
    EXPECT_EQ(readHexDigits("FFFFFFFFFFFFFFFFFF", 18), INT64_MAX);  // saturates
    EXPECT_EQ(readHexDigits("\xC1", 1), -1);

    EXPECT_EQ(readDecimalDigits(u"0123", 4), 123);
    EXPECT_EQ(readDecimalDigits(u"0123", 2), 1);
    EXPECT_EQ(readDecimalDigits(u"12a", 3), -1);
    EXPECT_EQ(readDecimalDigits(u"12", 3), -1);
    EXPECT_EQ(readDecimalDigits(u"\u0661", 1), -1);  // Arabic-Indic one
    EXPECT_EQ(readDecimalDigits("9223372036854775807", 19), INT64_MAX);
    EXPECT_EQ(readDecimalDigits("99999999999999999999", 20), INT64_MAX);
    EXPECT_EQ(readDecimalDigits("-1", 2), -1);
}

TEST(DigitReadersTest, PercentEscape) {
    struct Case {
        const char16_t* text;
        int value;
    };
    const Case cases[] = {
        {u"%41", 0x41}, {u"%ff", 0xFF}, {u"%0A-", 0x0A}, {u"%00", 0}, {u"%4", 0},
        {u"%", 0},      {u"41", 0},     {u"%g1", 0},     {u"%1g", 0}, {u"", 0},
    };
    for (const Case& k : cases)
        EXPECT_EQ(readPercentEscape(k.text), k.value) << std::u16string_view(k.text).size();
}

// ---- Hashes and checksums ---------------------------------------------------------------------

TEST(HashTest, Fnv1OverSixteenBitUnits) {
    EXPECT_EQ(fnv1Hash(u""), 0x811C9DC5u);
    EXPECT_EQ(fnv1Hash(u"a"), 0x050C5D7Eu);
    EXPECT_EQ(fnv1Hash(u"foobar"), 0x31F0B262u);
    // Whole units, not their low bytes: U+4E2D U+6587 differs from "-N".
    EXPECT_EQ(fnv1Hash(u"\u4e2d\u6587"), 0x24025231u);
    EXPECT_EQ(fnv1Hash(u"-N"), 0x2476B5F8u);
}

TEST(HashTest, Crc32) {
    const char* text = "123456789";
    EXPECT_EQ(lvCrc32(0, text, 9), 0xCBF43926u);
    EXPECT_EQ(lvCrc32(lvCrc32(0, text, 4), text + 4, 5), 0xCBF43926u);
    EXPECT_EQ(lvCrc32(0, text, 0), 0u);
}

}  // namespace
