#include "foundation/encodings.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdarg>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "foundation/multibyte.h"

namespace {

std::string dataPath(const std::string& name) {
    return std::string(VELLUMO_SOURCE_DIR) + "/tests/foundation/data/" + name;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// One character decoded by the C library, or -1 when the byte is undefined.
long iconvDecodeByte(const char* charset, uint8_t byte) {
    iconv_t cd = iconv_open("UTF-32LE", charset);
    if (cd == reinterpret_cast<iconv_t>(-1)) return -2;
    char in = static_cast<char>(byte);
    char* src = &in;
    size_t srcLeft = 1;
    uint32_t out[2] = {};
    char* dst = reinterpret_cast<char*>(out);
    size_t dstLeft = sizeof out;
    size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || dstLeft != sizeof out - 4) return -1;
    return static_cast<long>(out[0]);
}

// Collects log lines so that tests can run the trace paths.
class CollectingLogger : public EngineLogger {
public:
    CollectingLogger() : EngineLogger(LogLevelTrace) { setEngineLogger(this); }
    ~CollectingLogger() override { setEngineLogger(nullptr); }
    void log(const char*, const char* format, va_list args) override {
        char buf[512];
        vsnprintf(buf, sizeof buf, format, args);
        lines.emplace_back(buf);
    }
    bool contains(const std::string& part) const {
        for (const std::string& l : lines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
    std::vector<std::string> lines;
};

// ---- Tables -----------------------------------------------------------------

TEST(CodePageTables, EveryTableDecodesAsTheCLibraryExceptUndefinedPositions) {
    struct Case {
        int id;
        const char* charset;
        int filler;  // for undefined bytes; -1: the byte's own value
    };
    const Case cases[] = {
        {CodePageIdCp1250, "CP1250", 0},          {CodePageIdCp1251, "CP1251", 0},
        {CodePageIdCp1252, "CP1252", -1},         {CodePageIdCp1253, "CP1253", 0xFFFD},
        {CodePageIdCp1257, "CP1257", 0xFFFD},     {CodePageIdCp775, "CP775", 0xFFFD},
        {CodePageIdCp737, "CP737", 0xFFFD},       {CodePageIdCp866, "CP866", 0xFFFD},
        {CodePageIdCp850, "CP850", 0xFFFD},       {CodePageIdKoi8r, "KOI8-R", 0xFFFD},
        {CodePageIdIso8859_2, "ISO-8859-2", 0xFFFD}, {CodePageIdCp1254, "CP1254", 0xFFFD},
        {CodePageIdCp852, "CP852", 0xFFFD},       {CodePageIdIso8859_16, "ISO-8859-16", 0xFFFD},
        {CodePageIdIso8859_5, "ISO-8859-5", 0xFFFD},
    };
    for (const Case& c : cases) {
        const lvchar16* table = codePageTableById(c.id);
        ASSERT_NE(table, nullptr) << c.charset;
        for (int b = 0x80; b <= 0xFF; ++b) {
            long want = iconvDecodeByte(c.charset, static_cast<uint8_t>(b));
            ASSERT_NE(want, -2) << "no converter for " << c.charset;
            if (want == -1) want = c.filler < 0 ? b : c.filler;
            EXPECT_EQ(table[b - 0x80], want) << c.charset << " byte " << std::hex << b;
        }
    }
}

TEST(CodePageTables, WellKnownPositions) {
    const lvchar16* cp1252 = codePageTableByName("cp1252");
    ASSERT_NE(cp1252, nullptr);
    EXPECT_EQ(cp1252[0x80 - 0x80], 0x20AC);  // €
    EXPECT_EQ(cp1252[0x8C - 0x80], 0x0152);  // Œ
    EXPECT_EQ(cp1252[0x9C - 0x80], 0x0153);  // œ
    EXPECT_EQ(cp1252[0x98 - 0x80], 0x02DC);  // ˜
    EXPECT_EQ(cp1252[0xE9 - 0x80], 0x00E9);  // é
    // The ISO-8859-1 labels read the C1 range as cp1252, as web text does.
    EXPECT_EQ(codePageTableByName("ISO-8859-1"), cp1252);
    EXPECT_EQ(codePageTableByName("latin-1"), cp1252);
    // Cyrillic А at 0xB0 in ISO-8859-5, at 0xC0 in cp1251.
    EXPECT_EQ(codePageTableByName("iso-8859-5")[0xB0 - 0x80], 0x0410);
    EXPECT_EQ(codePageTableByName("cp1251")[0xC0 - 0x80], 0x0410);
    // latin-5 is Turkish: dotless ı at 0xFD.
    EXPECT_EQ(codePageTableByName("latin-5")[0xFD - 0x80], 0x0131);
}

TEST(CodePageTables, UndefinedByteDecodesToZeroCharacterThatDoesNotEndTheText) {
    // 0x98 is undefined in cp1251: a 0 character that keeps its place.
    LVString16 s = decodeSingleByte("a\x98\xE0", 3, codePageTableByName("cp1251"));
    ASSERT_EQ(s.length(), 3);
    EXPECT_EQ(s[0], u'a');
    EXPECT_EQ(s[1], 0);
    EXPECT_EQ(s[2], 0x0430);
    EXPECT_EQ(encodeUtf8(s).length(), 4);  // 'a', NUL, two bytes of а
}

TEST(CodePageNames, LookupByNameIsCaseInsensitiveAndExact) {
    struct Case {
        const char* name;
        int id;
    };
    const Case cases[] = {
        {"windows-1250", 7},  {"CP1250", 7},     {"Windows-1251", 8}, {"iso-8859-5", 21},
        {"ISO_8859-5", 21},   {"iso8859-5", 21}, {"cp1252", 9},       {"windows-1252", 9},
        {"iso-8859-1", 9},    {"iso_8859-1", 9}, {"iso8859-1", 9},    {"LATIN-1", 9},
        {"windows-1253", 10}, {"cp1257", 11},    {"cp775", 12},       {"cp737", 13},
        {"cp866", 14},        {"windows-866", 14}, {"cp850", 15},     {"windows-850", 15},
        {"koi-8r", 16},       {"KOI8R", 16},     {"koi8-r", 16},      {"iso8859-2", 17},
        {"iso-8859-2", 17},   {"iso8859_2", 17}, {"latin-2", 17},     {"latin-5", 18},
        {"windows-1254", 18}, {"cp1254", 18},    {"cp852", 19},       {"windows-852", 19},
        {"iso8859-16", 20},   {"iso-8859-16", 20}, {"iso8859_16", 20},
        // Not 8-bit tables, or not names at all.
        {"utf-8", 0},         {"utf8", 0},       {"gbk", 0},          {"cp1252 ", 0},
        {"cp125", 0},         {"", 0},           {"a-very-long-name-that-fits-no-buffer-at-all", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(codePageIdByName(c.name), c.id) << c.name;
        EXPECT_EQ(codePageTableByName(c.name), c.id ? codePageTableById(c.id) : nullptr) << c.name;
    }
    EXPECT_EQ(codePageTableByName(nullptr), nullptr);
    EXPECT_EQ(codePageTableById(6), nullptr);
    EXPECT_EQ(codePageTableById(22), nullptr);
    for (int id = CodePageIdFirst; id <= CodePageIdLast; ++id)
        EXPECT_EQ(codePageTableByName(codePageNameById(id)), codePageTableById(id)) << id;
}

TEST(CodePageNames, EncodingKinds) {
    struct Case {
        const char* name;
        EncodingKind kind;
    };
    const Case cases[] = {
        {"utf-8", EncodingUtf8},       {"UTF8", EncodingUtf8},         {"utf8", EncodingUtf8},
        {"utf-16", EncodingUtf16Le},   {"utf-16be", EncodingUtf16Be},  {"utf-32", EncodingUtf32Le},
        {"utf-32be", EncodingUtf32Be}, {"cp1251", EncodingSingleByte}, {"latin-5", EncodingSingleByte},
        {"gbk", EncodingGbk},          {"cp936", EncodingGbk},         {"eucjp", EncodingEucJp},
        {"EUC-JP", EncodingEucJp},     {"shift_jis", EncodingShiftJis}, {"cp932", EncodingShiftJis},
        {"big5", EncodingBig5},        {"cp950", EncodingBig5},        {"euc_kr", EncodingEucKr},
        {"cp949", EncodingEucKr},      {"ebcdic", EncodingUnknown},    {nullptr, EncodingUnknown},
    };
    for (const Case& c : cases) EXPECT_EQ(encodingKindByName(c.name), c.kind) << (c.name ? c.name : "null");
}

TEST(CodePageNumbers, TablesAndNames) {
    struct Case {
        int number;
        const char* name;
        int id;  // 0: no table
    };
    const Case cases[] = {
        {204, "cp1251", 8},   {1251, "cp1251", 8},  {737, "cp737", 13},   {850, "cp850", 15},
        {866, "cp866", 14},   {1250, "cp1250", 7},  {1253, "cp1253", 10}, {1257, "cp1257", 11},
        {1254, "cp1254", 18}, {852, "cp852", 19},   {775, "cp775", 12},   {20866, "koi8r", 16},
        {28595, "iso8859-5", 21}, {932, "cp932", 0}, {936, "cp936", 0},   {949, "cp949", 0},
        {950, "cp950", 0},    {1252, "cp1252", 9},  {1256, "cp1252", 9},  {0, "cp1252", 9},
        {-5, "cp1252", 9},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(codePageNameByNumber(c.number), c.name) << c.number;
        EXPECT_EQ(codePageTableByNumber(c.number), c.id ? codePageTableById(c.id) : nullptr)
            << c.number;
        // The name leads to the same decoding.
        if (c.id) EXPECT_EQ(codePageTableByName(c.name), codePageTableById(c.id));
        else EXPECT_TRUE(isMultiByteKind(encodingKindByName(c.name))) << c.name;
    }
}

TEST(Lcid, CodePages) {
    struct Case {
        uint32_t lcid;
        int codePage;
    };
    const Case cases[] = {
        {1, 1256},      {0x0401, 1256}, {0x0801, 1256}, {0x4001, 1256}, {0x4401, 1251},
        {4, 950},       {0x0404, 950},  {0x0C04, 950},  {0x0804, 936},  {0x1004, 936},
        {0x0411, 932},  {0x0412, 949},  {0x0405, 1250}, {0x0415, 1250}, {0x041A, 1250},
        {0x0408, 1253}, {0x041F, 1254}, {0x040D, 1255}, {0x0425, 1257}, {0x0426, 1257},
        {0x0427, 1257}, {0x0827, 1257}, {9, 1252},      {0x0409, 1252}, {0x0407, 1252},
        {0x040C, 1252}, {0x0410, 1252}, {0x0413, 1252}, {0x0416, 1252}, {0x041D, 1252},
        {0x0809, 1252}, {0x080A, 1252}, {0x0C0C, 1252}, {0x2C0A, 1252}, {0x500A, 1252},
        {0x0419, 1251}, {0x0402, 1251}, {0x0422, 1251}, {0x0423, 1251}, {0x042F, 1251},
        {0x0444, 1251}, {0x0442, 1251}, {0x0000, 1251}, {0xFFFFFFFF, 1251}, {0x540A, 1251},
    };
    for (const Case& c : cases) EXPECT_EQ(codePageForLcid(c.lcid), c.codePage) << std::hex << c.lcid;
}

TEST(Lcid, Languages) {
    struct Case {
        uint32_t lcid;
        const char* lang;  // null: none
    };
    const Case cases[] = {
        {1, "ar"},         {4, "zh"},         {9, "en"},         {0x0401, "ar"},
        {0x0404, "zh"},    {0x0407, "de"},    {0x0409, "en"},    {0x0419, "ru"},
        {0x0402, "bg"},    {0x0405, "cs"},    {0x0415, "pl"},    {0x0425, "et"},
        {0x0426, "lv"},    {0x0427, "lt"},    {0x041F, "tr"},    {0x0408, "el"},
        {0x042E, "hsb"},   {0x0457, "kok"},   {0x0458, "mni"},   {0x0462, "fy"},
        {0x042F, nullptr}, {0x045A, nullptr}, {0x045F, nullptr}, {0x0463, nullptr},
        {0x0809, "en"},    {0x0C0A, "es"},    {0x0804, "zh"},    {0x0807, "de"},
        {0x080C, "fr"},    {0x0816, "pt"},    {0x0819, "ru"},    {0x0827, "lt"},
        {0x0860, "ks"},    {0x0861, "ne"},    {0x0843, "uz"},    {0x0808, nullptr},
        {0x0819 | 0x10000, nullptr}, {0, nullptr},
    };
    for (const Case& c : cases) {
        const char* got = languageForLcid(c.lcid);
        if (!c.lang) EXPECT_EQ(got, nullptr) << std::hex << c.lcid;
        else EXPECT_STREQ(got, c.lang) << std::hex << c.lcid;
    }
}

// ---- Unicode, UTF-8 and markup ----------------------------------------------

TEST(DetectUnicode, ByteOrderMarksThenUtf8) {
    struct Case {
        std::string bytes;
        const char* codePage;  // null: not Unicode
    };
    const Case cases[] = {
        {std::string("\xEF\xBB\xBFtext", 7), "utf-8"},
        {std::string("\x00\x00\xFE\xFF\x00\x00\x00\x41", 8), "utf-32be"},
        {std::string("\xFE\xFF\x00\x41", 4), "utf-16be"},
        {std::string("\xFF\xFE\x00\x00\x41\x00\x00\x00", 8), "utf-32le"},
        {std::string("\xFF\xFE\x41\x00", 4), "utf-16le"},
        {"plain ASCII text", "utf-8"},
        {"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, world", "utf-8"},
        {"caf\xE9 au lait, tr\xE8s bien", nullptr},
        {"", "utf-8"},
    };
    for (const Case& c : cases) {
        LVString8 cp("unchanged"), lang("unchanged");
        bool ok = detectUnicode(c.bytes.data(), c.bytes.size(), cp, lang);
        if (c.codePage) {
            EXPECT_TRUE(ok) << c.bytes;
            EXPECT_STREQ(cp.c_str(), c.codePage) << c.bytes;
            EXPECT_STREQ(lang.c_str(), "en");
        } else {
            EXPECT_FALSE(ok) << c.bytes;
            EXPECT_STREQ(cp.c_str(), "unchanged");
        }
    }
}

TEST(Utf8Validity, SequencesAndTheUnexaminedTail) {
    struct Case {
        std::string bytes;
        bool valid;
    };
    const Case cases[] = {
        {"only ascii here", true},
        {"two \xC3\xA9 three \xE2\x82\xAC four \xF0\x9F\x98\x80 end...", true},
        {"stray \x80 continuation......", false},
        {"lead \xC3 without its continuation", false},
        {"three \xE2\x82 cut short.........", false},
        {"five-byte \xF8\x88\x80\x80\x80 lead.....", false},
        // A sequence that starts in the last five bytes is not examined, so a
        // sample cut inside a character passes.
        {"cut at the end \xE2\x82", true},
        {"bad tail byte \xFF", true},
    };
    for (const Case& c : cases) EXPECT_EQ(isValidUtf8(c.bytes.data(), c.bytes.size()), c.valid) << c.bytes;
}

TEST(Utf8Validity, FailureTraceNeverReadsPastTheSample) {
    CollectingLogger logger;
    // A heap block of exactly the sample's size, with the failure in its
    // last 32 bytes: the trace must stop at the end (the sanitizer checks).
    const char text[] = "0123456789abcdef\x80xyz456789";
    size_t n = sizeof text - 1;
    std::vector<char> sample(text, text + n);
    EXPECT_FALSE(isValidUtf8(sample.data(), sample.size()));
    EXPECT_TRUE(logger.contains("unexpected char 80 at position 10"));
}

TEST(Markup, LooksLikeMarkup) {
    EXPECT_TRUE(looksLikeMarkup("<a><b><c>", 9));
    EXPECT_TRUE(looksLikeMarkup("<a><b><c><d", 11));    // counts differ by 1
    EXPECT_FALSE(looksLikeMarkup("<a><b>", 6));         // only two of each
    EXPECT_FALSE(looksLikeMarkup("<a><b><c<<", 10));    // differ by 2
    EXPECT_FALSE(looksLikeMarkup("1 > 0 > -1 > -2", 15));
}

TEST(HeaderEncoding, DeclarationsAndTheirBounds) {
    struct Case {
        const char* text;
        const char* name;  // null: nothing found
    };
    const Case cases[] = {
        {"<?xml version=\"1.0\" encoding=\"windows-1251\"?><a/>", "windows-1251"},
        {"<?XML version='1.0' Encoding = 'KOI8-R' ?>", "koi8-r"},
        {"<?xml version=\"1.0\" encoding=\"a-name-of-more-than-20-chars\"?>", nullptr},
        {"<?xml version=\"1.0\" encoding=\"utf-8 ?>\"", nullptr},  // quote past "?>"
        {"<?xml version=\"1.0\"?><p>encoding=\"cp1251\"</p>", nullptr},
        {"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
         "charset=windows-1251\"></head>",
         "windows-1251"},
        {"<META CONTENT=\"text/html; charset=ISO-8859-5\" HTTP-EQUIV=\"content-type\">", "iso-8859-5"},
        {"<meta http-equiv=\"Content-Type\" content=\"text/html\"><p>charset=cp1251\"</p>", nullptr},
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=abcdefghijklmnopqrstuvwxyz\">",
         nullptr},
        {"<meta http-equiv=\"refresh\" content=\"5; charset=cp1251\">", nullptr},
        {"<!DOCTYPE html><meta charset=\"utf-8\"><title>t</title>", "utf-8"},
        {"<meta name=x charset=GBK>", "gbk"},
        // An XML declaration without an encoding leaves the HTML meta to speak.
        {"<?xml version=\"1.0\"?><html><meta http-equiv=\"Content-Type\" "
         "content=\"text/html; charset=cp1250\"/></html>",
         "cp1250"},
        {"<p>no header at all</p>", nullptr},
    };
    for (const Case& c : cases) {
        LVString8 name("unchanged");
        bool ok = encodingFromHeader(c.text, strlen(c.text), name);
        if (c.name) {
            EXPECT_TRUE(ok) << c.text;
            EXPECT_STREQ(name.c_str(), c.name) << c.text;
        } else {
            EXPECT_FALSE(ok) << c.text << " -> " << name.c_str();
        }
    }
}

TEST(HeaderEncoding, NameRunningToTheEndOfTheSampleIsNotReadPastIt) {
    // Heap blocks of exactly the sample's size; the sanitizer checks the reads.
    for (const char* text : {"<meta http-equiv=\"Content-Type\" content=\"charset=cp12",
                             "<?xml encoding=\"cp1251", "<meta charset=cp125"}) {
        std::vector<char> sample(text, text + strlen(text));
        LVString8 name;
        EXPECT_FALSE(encodingFromHeader(sample.data(), sample.size(), name)) << text;
    }
}

// ---- Statistics ---------------------------------------------------------------

TEST(CodePageStatistics, CountingRules) {
    // Letters: ASCII letters, "'" and bytes >= 0x80; everything else is a space.
    const char text[] = "ab, b'\xE9 <x> 7b";
    CodePageStats s;
    computeCodePageStats(text, sizeof text - 1, false, s);
    // a b b ' é x b: 7 counted bytes.
    EXPECT_EQ(s.letters['a'], 0x7000 / 7);
    EXPECT_EQ(s.letters['b'], 0x7000 * 3 / 7);
    EXPECT_EQ(s.letters[0xE9], 0x7000 / 7);
    EXPECT_EQ(s.letters['7'], 0);
    EXPECT_EQ(s.letters['<'], 0);
    // Pairs, the text starting after a space: " a" "ab" "b " " b" "b'" "'é"
    // "é " " x" "x " " b": 10 pairs.
    struct Pair {
        uint8_t first, second;
        int count;
    };
    const Pair want[] = {{' ', 'a', 1}, {' ', 'b', 2}, {' ', 'x', 1}, {'\'', 0xE9, 1},
                         {'a', 'b', 1}, {'b', ' ', 1}, {'b', '\'', 1}, {'x', ' ', 1},
                         {0xE9, ' ', 1}};
    ASSERT_EQ(s.pairCount, 9);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(s.pairs[i].first, want[i].first) << i;
        EXPECT_EQ(s.pairs[i].second, want[i].second) << i;
        EXPECT_EQ(s.pairs[i].freq, want[i].count * 0x7000 / 10) << i;
    }
    // Skipping markup drops the tag: no x.
    computeCodePageStats(text, sizeof text - 1, true, s);
    EXPECT_EQ(s.letters['x'], 0);
    EXPECT_EQ(s.letters['a'], 0x7000 / 6);
    EXPECT_EQ(s.pairCount, 7);
}

TEST(CodePageStatistics, ScoresFavourTheSameBytesInTheSameProportions) {
    const CodePageStatsEntry* e = codePageStatsEntries();
    CodePageStats s;
    // Text without bytes >= 0x80 scores 0 everywhere (the detector then
    // reports the first entry).
    const char ascii[] = "plain words and more plain words";
    computeCodePageStats(ascii, sizeof ascii - 1, false, s);
    for (int i = 0; i < codePageStatsEntryCount(); ++i) EXPECT_EQ(scoreCodePageStats(s, e[i]), 0) << i;
    // An entry's own frequencies score higher than any other entry's.
    for (int i : {0, 16, 30, 35, 44}) {
        std::memcpy(s.letters, e[i].letters, sizeof s.letters);
        std::memcpy(s.pairs, e[i].pairs, sizeof s.pairs);
        s.pairCount = kCodePageStatsPairs;
        double own = scoreCodePageStats(s, e[i]);
        for (int k = 0; k < codePageStatsEntryCount(); ++k) {
            bool samePair = !std::strcmp(e[k].codePage, e[i].codePage) &&
                            !std::strcmp(e[k].language, e[i].language);
            if (!samePair) {
                EXPECT_GT(own, scoreCodePageStats(s, e[k])) << i << " vs " << k;
            }
        }
    }
}

TEST(CodePageStatistics, LargeCountsNeitherOverflowNorWrap) {
    // 140 KB of "ab": count x 0x7000 exceeds 32 bits, and each pair occurs
    // more than 65535 times.
    std::string text;
    for (int i = 0; i < 70000; ++i) text += "ab";
    CodePageStats s;
    computeCodePageStats(text.data(), text.size(), false, s);
    EXPECT_EQ(s.letters['a'], 0x3800);
    EXPECT_EQ(s.letters['b'], 0x3800);
    ASSERT_EQ(s.pairCount, 3);  // " a", "ab", "ba"
    // Saturated at 65535 of 140000 pairs, not wrapped to a small count.
    EXPECT_EQ(s.pairs[1].first, 'a');
    EXPECT_EQ(s.pairs[1].freq, 65535u * 0x7000 / 140000);
    // The training counter keeps exact counts.
    CodePageStatsAccumulator acc;
    acc.add(text.data(), text.size(), false);
    acc.finish(s);
    EXPECT_EQ(s.pairs[1].freq, 70000u * 0x7000 / 140000);
    // The detector's counters are left clean for the next sample.
    computeCodePageStats("ab", 2, false, s);
    EXPECT_EQ(s.pairs[1].freq, 0x7000 / 2);
}

TEST(CodePageStatistics, KeepsTheMostFrequentPairsSortedWhenThereAreMore) {
    // 300 distinct pairs "xA" with A = 0x80..: counts make the first ones rarer.
    std::string text;
    for (int b = 0x80; b <= 0xFF; ++b)
        for (int k = 0; k < 1 + (b - 0x80) / 16; ++k) {
            text += 'q';
            text += static_cast<char>(b);
            text += ' ';
        }
    CodePageStats s;
    computeCodePageStats(text.data(), text.size(), false, s);
    EXPECT_EQ(s.pairCount, 256);
    for (int i = 1; i < s.pairCount; ++i) {
        uint32_t a = s.pairs[i - 1].first << 8 | s.pairs[i - 1].second;
        uint32_t b = s.pairs[i].first << 8 | s.pairs[i].second;
        EXPECT_LT(a, b) << i;
    }
}

TEST(CodePageStatistics, BuiltInEntriesAreTheFiftyFourInOrderAndFilled) {
    const char* const want[54][2] = {
        {"cp1251", "ru"}, {"cp1251", "ru"}, {"cp1251", "ru"}, {"cp866", "ru"}, {"koi8r", "ru"},
        {"koi8r", "ru"}, {"utf8", "ru"}, {"cp1251", "ru"}, {"cp866", "ru"}, {"koi8r", "ru"},
        {"cp1251", "bg"}, {"cp866", "bg"}, {"koi8r", "bg"}, {"cp1250", "cs"}, {"cp1250", "pl"},
        {"cp1250", "pl"}, {"cp1252", "fr"}, {"cp1252", "fr"}, {"cp850", "fr"}, {"cp850", "fr"},
        {"cp1252", "de"}, {"cp1252", "de"}, {"cp850", "de"}, {"cp850", "de"}, {"cp1252", "es"},
        {"cp1252", "es"}, {"cp850", "es"}, {"cp850", "es"}, {"utf8", "ee"}, {"cp775", "ee"},
        {"cp1253", "gr"}, {"cp737", "gr"}, {"cp1257", "lit"}, {"cp1257", "lat"},
        {"cp1250", "sr"}, {"cp1252", "it"}, {"cp1254", "tr"}, {"gbk", "zh"}, {"gbk", "zh"},
        {"shift_jis", "ja"}, {"shift_jis", "ja"}, {"eucjp", "ja"}, {"eucjp", "ja"},
        {"big5", "ja"}, {"big5", "zh"}, {"euc_kr", "ko"}, {"cp1252", "de"}, {"utf8", "de"},
        {"iso8859-16", "ro"}, {"cp1250", "ro"}, {"utf8", "ro"}, {"cp1250", "cz"},
        {"cp1250", "hu"}, {"cp1250", "hu"},
    };
    ASSERT_EQ(codePageStatsEntryCount(), 54);
    const CodePageStatsEntry* e = codePageStatsEntries();
    for (int i = 0; i < 54; ++i) {
        EXPECT_STREQ(e[i].codePage, want[i][0]) << i;
        EXPECT_STREQ(e[i].language, want[i][1]) << i;
        uint32_t letters = 0;
        for (uint16_t f : e[i].letters) letters += f;
        // Integer scaling loses at most one unit per byte value.
        EXPECT_LE(letters, 0x7000u) << i;
        EXPECT_GT(letters, 0x7000u - 256) << i;
        for (int k = 1; k < kCodePageStatsPairs; ++k) {
            uint32_t a = e[i].pairs[k - 1].first << 8 | e[i].pairs[k - 1].second;
            uint32_t b = e[i].pairs[k].first << 8 | e[i].pairs[k].second;
            ASSERT_LT(a, b) << "entry " << i << " pair " << k;
        }
    }
}

// Held-out text (not used to build the statistics) in every code page and
// language of the table is detected as that pair. Some pairs cannot be told
// apart from their bytes; for those either answer is right:
// - Czech is in the table twice, as "cs" and as "cz".
// - Romanian letters have the same bytes in cp1250 and ISO-8859-16 (ă â î ș ț
//   and their capitals), so only quotation marks could separate them.
TEST(CodePageDetection, HeldOutTextOfEveryEntry) {
    struct Alternative {
        const char *codePage, *language, *altCodePage, *altLanguage;
    };
    const Alternative ambiguous[] = {
        {"cp1250", "cs", "cp1250", "cz"},
        {"cp1250", "cz", "cp1250", "cs"},
        {"cp1250", "ro", "iso8859-16", "ro"},
        {"iso8859-16", "ro", "cp1250", "ro"},
    };
    const CodePageStatsEntry* e = codePageStatsEntries();
    std::set<std::string> done;
    int right = 0, pairs = 0;
    for (int i = 0; i < codePageStatsEntryCount(); ++i) {
        std::string key = std::string(e[i].codePage) + "." + e[i].language;
        if (!done.insert(key).second) continue;  // same pair as an earlier entry
        ++pairs;
        std::string text = readFile(dataPath("cpstats/" + key + ".txt"));
        ASSERT_GT(text.size(), 2000u) << key;
        // UTF-8 text reaches the statistics only when it is not valid UTF-8:
        // one broken byte early on.
        if (std::string(e[i].codePage) == "utf8") text.insert(10, "\xFF");
        LVString8 cp, lang;
        int index = -2;
        ASSERT_TRUE(detectCodePage(text.data(), text.size(), cp, lang, false, &index));
        bool ok = cp == e[i].codePage && lang == e[i].language;
        for (const Alternative& a : ambiguous)
            if (!ok && key == std::string(a.codePage) + "." + a.language)
                ok = cp == a.altCodePage && lang == a.altLanguage;
        EXPECT_TRUE(ok) << key << " detected as " << cp.c_str() << "." << lang.c_str()
                        << " (entry " << index << ")";
        right += ok;
    }
    EXPECT_EQ(pairs, 36);
    EXPECT_EQ(right, pairs);
}

TEST(CodePageDetection, UnicodeHeadersAndPureAscii) {
    LVString8 cp, lang;
    int index = 0;
    // Byte-order mark.
    detectCodePage("\xFF\xFE\x41\x00", 4, cp, lang, false, &index);
    EXPECT_STREQ(cp.c_str(), "utf-16le");
    EXPECT_EQ(index, -1);
    // ASCII HTML declaring cp1251: the header wins over "valid UTF-8" when
    // markup is skipped, not otherwise.
    const char html[] =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">"
        "</head><body><p>Only ASCII here.</p></body></html>";
    ASSERT_TRUE(looksLikeMarkup(html, sizeof html - 1));
    detectCodePage(html, sizeof html - 1, cp, lang, true);
    EXPECT_STREQ(cp.c_str(), "windows-1251");
    EXPECT_STREQ(lang.c_str(), "en");
    detectCodePage(html, sizeof html - 1, cp, lang, false);
    EXPECT_STREQ(cp.c_str(), "utf-8");
    // Real UTF-8 beyond ASCII keeps utf-8 whatever the header says.
    std::string utf8(html);
    utf8.insert(utf8.find("Only"), "\xD0\x9F\xD1\x80\xD0\xB8 ");
    detectCodePage(utf8.data(), utf8.size(), cp, lang, true);
    EXPECT_STREQ(cp.c_str(), "utf-8");
    // Not UTF-8: the statistics choose the language, the header the code page.
    std::string ru = readFile(dataPath("cpstats/cp1251.ru.txt"));
    std::string page = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                       "charset=windows-1251\"></head><body><p>" + ru + "</p></body></html>";
    detectCodePage(page.data(), page.size(), cp, lang, true, &index);
    EXPECT_STREQ(cp.c_str(), "windows-1251");
    EXPECT_STREQ(lang.c_str(), "ru");
    EXPECT_GE(index, 0);
    // Markup skipping keeps tags out of the statistics: a KOI8-R page is still
    // KOI8-R when its tags are many.
    std::string koi = readFile(dataPath("cpstats/koi8r.ru.txt"));
    std::string tagged;
    for (char c : koi) {
        tagged += c;
        if (c == ' ') tagged += "<span class=\"w\">";
    }
    detectCodePage(tagged.data(), tagged.size(), cp, lang, true);
    EXPECT_STREQ(cp.c_str(), "koi8r");
}

// ---- Multi-byte decoders ------------------------------------------------------

TEST(MultiByte, DecodesEachEncoding) {
    struct Case {
        EncodingKind kind;
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {EncodingGbk, "\xD6\xD0\xCE\xC4 abc \x80", u"中文 abc €"},
        {EncodingEucJp, "\xC6\xFC\xCB\xDC\xB8\xEC \xA4\xA2", u"日本語 あ"},
        {EncodingShiftJis, "\x93\xFA\x96\x7B\x8C\xEA \x82\xA0\\", u"日本語 あ\\"},
        {EncodingBig5, "\xA4\xA4\xA4\xE5 \xC6\xE8", u"中文 あ"},
        {EncodingEucKr, "\xC7\xD1\xB1\xB9\xBE\xEE", u"한국어"},
        // A zero byte is a character like any other.
        {EncodingGbk, std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const Case& c : cases) {
        LVString16 s = decodeMultiByte(c.bytes.data(), c.bytes.size(), c.kind);
        EXPECT_EQ(std::u16string(s.c_str(), static_cast<size_t>(s.length())), c.text)
            << multiByteIconvName(c.kind);
    }
}

TEST(MultiByte, UndecodableSequencesAndCharactersBeyondSixteenBits) {
    // 0xFF is no GBK lead byte: one '?', and decoding goes on.
    LVString16 s = decodeMultiByte("a\xFF" "b\xD6\xD0", 5, EncodingGbk);
    EXPECT_EQ(std::u16string(s.c_str(), static_cast<size_t>(s.length())), u"a?b中");
    // A lead byte cut short at the end: one '?'.
    s = decodeMultiByte("ab\xD6", 3, EncodingGbk);
    EXPECT_EQ(std::u16string(s.c_str(), static_cast<size_t>(s.length())), u"ab?");
    // Big5-HKSCS 0x8745 is U+27267, outside the 16-bit range.
    s = decodeMultiByte("\x87\x45x", 3, EncodingBig5);
    EXPECT_EQ(std::u16string(s.c_str(), static_cast<size_t>(s.length())), u"\uFFFDx");
    EXPECT_EQ(decodeMultiByte("abc", 3, EncodingSingleByte).length(), 0);
}

TEST(MultiByte, StreamingKeepsCharactersCutByTheInputOrOutputEnd) {
    MultiByteDecoder dec;
    ASSERT_TRUE(dec.open("shift_jis"));
    EXPECT_EQ(dec.kind(), EncodingShiftJis);
    const uint8_t text[] = {0x93, 0xFA, 0x96, 0x7B, 0x8C, 0xEA};  // 日本語
    lvchar16 out[8];
    size_t used = 0;
    // The input ends inside the second character: it waits for more.
    size_t n = dec.decode(text, 3, out, 8, &used, false);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(used, 2u);
    n = dec.decode(text + used, sizeof text - used, out, 1, &used, false);  // room for one
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(used, 2u);
    EXPECT_EQ(out[0], u'本');
    EXPECT_FALSE(dec.open(EncodingSingleByte));
    EXPECT_FALSE(dec.isOpen());
}

}  // namespace

// English has no statistics entry: cp1252 prose whose high bytes are mostly
// curly quotes and dashes must not be read as a Baltic or Cyrillic page.
TEST(DetectCodePage, EnglishProseWithTypographicQuotesIsCp1252) {
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += "\x93Well,\x94 she said, \x93it\x92s the old house \x97 isn\x92t it?\x94 ";
        text += "The quick brown fox jumps over the lazy dog again and again.\n";
        if (i % 20 == 0) text += "They met at the caf\xE9.\n";
    }
    LVString8 cp, lang;
    ASSERT_TRUE(detectCodePage(text.data(), text.size(), cp, lang, false));
    EXPECT_EQ(std::string(cp.c_str()), "cp1252");
    EXPECT_EQ(std::string(lang.c_str()), "en");
}
