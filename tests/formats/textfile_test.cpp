// Decoding bytes to characters: every encoding kind, charset selection and
// switching, random-access reads, progress and bounded buffering.
#include <gtest/gtest.h>

#include <string>

#include "formats_test_support.h"
#include "formats/textfile.h"

namespace {

// Exposes the character reading of the text layer.
class TextReader : public LVTextFileBase {
public:
    explicit TextReader(const StreamHandle& stream) : LVTextFileBase(stream) {}
    bool CheckFormat() override { return true; }
    bool Parse() override { return true; }

    std::u16string read(int maxChars = 1 << 30) {
        std::u16string out;
        lvchar16 buf[1000];
        while (static_cast<int>(out.size()) < maxChars) {
            const int n = readChars(buf, std::min(1000, maxChars - static_cast<int>(out.size())));
            if (n <= 0) break;
            out.append(buf, buf + n);
        }
        return out;
    }
    bool seekTo(int64_t position) { return positionBuffer(position, 1); }
};

std::u16string u16(const std::string& utf8) {
    LVString16 s = decodeUtf8(utf8.c_str(), utf8.size());
    return std::u16string(s.c_str(), static_cast<size_t>(s.length()));
}

const std::string kRussian = "Береги честь смолоду. \"Капитанская дочка\", глава I - Сержант гвардии, ёж. ";
const std::string kChinese = "中文字符測試，漢字與標點。English words too. ";
const std::string kJapanese = "日本語のテキスト、カタカナとひらがな。ｶﾀｶﾅ mixed. ";
const std::string kKorean = "한국어 텍스트와 문장 부호. Latin too. ";

// A long text with an odd-length prefix, so that characters straddle every
// block boundary of the decoder.
std::string longText(const std::string& sample) {
    std::string s = "x";
    while (s.size() < 40000) s += sample;
    return s;
}

TEST(TextFile, DecodesEveryKind) {
    struct Case {
        const char* charset;  // as SetCharset takes it
        const char* iconvName;
        const std::string* sample;
    };
    const Case cases[] = {
        {"utf-8", "UTF-8", &kRussian},          {"UTF-16LE", "UTF-16LE", &kRussian},
        {"utf-16be", "UTF-16BE", &kRussian},    {"utf-32le", "UTF-32LE", &kRussian},
        {"utf-32be", "UTF-32BE", &kRussian},    {"windows-1251", "CP1251", &kRussian},
        {"koi8-r", "KOI8-R", &kRussian},        {"cp866", "CP866", &kRussian},
        {"GB2312", "GBK", &kChinese},           {"big5", "BIG5", &kChinese},
        {"Shift_JIS", "SHIFT_JIS", &kJapanese}, {"euc-jp", "EUC-JP", &kJapanese},
        {"euc-kr", "EUC-KR", &kKorean},
    };
    for (const Case& c : cases) {
        const std::string text = longText(*c.sample);
        const std::string bytes = convertFromUtf8(text, c.iconvName);
        ASSERT_FALSE(bytes.empty()) << c.iconvName;
        TextReader reader(bytesStream(bytes));
        reader.SetCharset(c.charset);
        EXPECT_TRUE(reader.read() == u16(text)) << c.charset;
    }
}

TEST(TextFile, MalformedBytes) {
    struct Case {
        const char* charset;
        std::string bytes;
        std::u16string chars;
    };
    const Case cases[] = {
        // A stray continuation byte, a broken sequence, a four-byte character,
        // a sequence cut by the end of the stream.
        {"utf-8", "a\x80z\xD0" "b\xF0\x9F\x98\x80!\xE2\x82", u"a\uFFFDz\uFFFDb\uFFFD!\uFFFD"},
        // A zero byte is a character, not the end.
        {"utf-8", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        // An odd byte at the end of UTF-16 is dropped; UTF-32 beyond 16 bits.
        {"utf-16le", std::string("a\0b\0c", 5), u"ab"},
        {"utf-32le", std::string("\x00\xF6\x01\x00z\0\0\0", 8), u"\uFFFDz"},
        // Undecodable multi-byte pairs.
        {"gbk", "a\x81\x20z", u"a? z"},
    };
    for (const Case& c : cases) {
        TextReader reader(bytesStream(c.bytes));
        reader.SetCharset(c.charset);
        EXPECT_TRUE(reader.read() == c.chars) << c.charset << " case " << (&c - cases);
    }
}

TEST(TextFile, CharsetNames) {
    TextReader reader(bytesStream("abc"));
    EXPECT_EQ(reader.encodingKind(), EncodingSingleByte);  // no table: UTF-8
    EXPECT_EQ(reader.GetCharsetTable(), nullptr);
    const std::pair<const char*, EncodingKind> names[] = {
        {"UTF-8", EncodingUtf8},        {"utf8", EncodingUtf8},
        {"UTF-16", EncodingUtf16Le},    {"utf-32", EncodingUtf32Le},
        {"Shift_JIS", EncodingShiftJis}, {"GB2312", EncodingGbk},
        {"CP949", EncodingEucKr},       {"Windows-1251", EncodingSingleByte},
        {"no-such-charset", EncodingSingleByte},
    };
    for (const auto& [name, kind] : names) {
        reader.SetCharset(name);
        EXPECT_EQ(reader.encodingKind(), kind) << name;
    }
    // An unknown name kept the cp1251 table; utf-8 clears it.
    EXPECT_EQ(reader.charsetName(), "windows-1251");
    ASSERT_NE(reader.GetCharsetTable(), nullptr);
    EXPECT_EQ(reader.GetCharsetTable()[0xC0 - 0x80], u'А');
    reader.SetCharset("utf-8");
    EXPECT_EQ(reader.GetCharsetTable(), nullptr);
}

TEST(TextFile, SwitchingRedecodesWhatIsUnread) {
    // The head is read as UTF-8; the switch comes after it, and the window
    // already holds the cp1251 bytes decoded the wrong way.
    const std::string head = "<?xml encoding='windows-1251'?>";
    const std::string body = convertFromUtf8(longText(kRussian), "CP1251");
    TextReader reader(bytesStream(head + body));
    EXPECT_TRUE(reader.read(static_cast<int>(head.size())) == u16(head));
    reader.SetCharset("windows-1251");
    EXPECT_TRUE(reader.read() == u16(longText(kRussian)));
}

TEST(TextFile, ContentFixedEncodingIgnoresDeclaredNames) {
    const std::string text = "<?xml version=\"1.0\" encoding=\"utf-16\"?><p>" + kRussian + "</p>";
    const std::string bytes = "\xFE\xFF" + convertFromUtf8(text, "UTF-16BE");
    TextReader reader(bytesStream(bytes));
    ASSERT_TRUE(reader.AutoDetectEncoding(false));
    EXPECT_EQ(reader.encodingKind(), EncodingUtf16Be);
    EXPECT_TRUE(reader.encodingFixedByContent());
    reader.SetCharset("utf-16");
    reader.SetCharset("windows-1251");
    EXPECT_EQ(reader.encodingKind(), EncodingUtf16Be);
    EXPECT_TRUE(reader.read() == u16(text));  // the byte-order mark is not text

    // Non-ASCII text that is valid UTF-8 fixes UTF-8 the same way.
    TextReader utf8(bytesStream(text));
    ASSERT_TRUE(utf8.AutoDetectEncoding(false));
    EXPECT_TRUE(utf8.encodingFixedByContent());
    utf8.SetCharset("windows-1251");
    EXPECT_TRUE(utf8.read() == u16(text));
}

TEST(TextFile, AutoDetection) {
    TextReader tiny(bytesStream("fifteen bytes!!"));
    EXPECT_FALSE(tiny.AutoDetectEncoding(false));
    const std::string cp1251 = convertFromUtf8(longText(kRussian), "CP1251");
    TextReader any(bytesStream(cp1251));
    ASSERT_TRUE(any.AutoDetectEncoding(false));
    EXPECT_EQ(any.charsetName(), "cp1251");
    EXPECT_EQ(any.languageName(), "ru");
    EXPECT_FALSE(any.encodingFixedByContent());
    // Unicode forms only: cp1251 is none of them.
    TextReader utfOnly(bytesStream(cp1251));
    EXPECT_FALSE(utfOnly.AutoDetectEncoding(true));
    // The reading position survives detection.
    TextReader keep(bytesStream(cp1251));
    keep.SetCharset("cp1251");
    const std::u16string first = keep.read(10);
    keep.AutoDetectEncoding(false);
    EXPECT_TRUE(first + keep.read(5) == u16(longText(kRussian)).substr(0, 15));
}

TEST(TextFile, ReadTextBytes) {
    const std::string text = longText(kRussian);
    const std::string bytes = convertFromUtf8(text, "UTF-16LE");
    TextReader reader(bytesStream(bytes));
    reader.SetCharset("utf-16le");
    std::u16string expected = u16(text);
    lvchar16 buf[64];
    // 20 characters from character 1000.
    ASSERT_EQ(reader.ReadTextBytes(2000, 40, buf, 64, 0), 20);
    EXPECT_TRUE(std::u16string(buf, 20) == expected.substr(1000, 20));
    // maxChars bounds the result; reading goes on after the decoded bytes.
    ASSERT_EQ(reader.ReadTextBytes(0, 4000, buf, 5, 0), 5);
    EXPECT_TRUE(std::u16string(buf, 5) == expected.substr(0, 5));
    EXPECT_TRUE(reader.read(5) == expected.substr(5, 5));
    EXPECT_EQ(reader.ReadTextBytes(static_cast<int64_t>(bytes.size()) + 10, 4, buf, 64, 0), 0);
    EXPECT_EQ(reader.ReadTextBytes(0, 40, buf, 64, TEXT_RTF_ESCAPES), 0);
}

TEST(TextFile, ProgressOfLargeStreamsIn64Bits) {
    // 40 MB: position * 100 overflows 32 bits beyond about 21 MB.
    StreamHandle stream(new GeneratedStream("", "0123456789", 4000000, ""));
    TextReader reader(stream);
    ASSERT_TRUE(reader.seekTo(35000000));
    EXPECT_EQ(reader.getProgressPercent(), 87);
    EXPECT_FALSE(reader.isEof());
    ASSERT_TRUE(reader.seekTo(40000000));
    EXPECT_EQ(reader.getProgressPercent(), 100);
    EXPECT_TRUE(reader.isEof());
}

TEST(XmlParserMemory, LargeDocumentsStreamThroughABoundedBuffer) {
    // About 24 MB of FictionBook, generated as it is read.
    const std::string unit = "<p>Строка текста с <emphasis>выделением</emphasis> и ссылкой.</p>\n";
    const int64_t count = 24 * 1024 * 1024 / static_cast<int64_t>(unit.size());
    StreamHandle stream(new GeneratedStream(
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<FictionBook xmlns=\"x\"><body>", unit, count,
        "</body></FictionBook>"));
    LVCountingCallback counter;
    LVXMLParser parser(stream, &counter, false, true);
    ASSERT_TRUE(parser.CheckFormat());
    ASSERT_TRUE(parser.Parse());
    EXPECT_EQ(counter.tags, 3 + 2 * static_cast<uint64_t>(count));
    EXPECT_EQ(counter.closes, counter.tags);
    EXPECT_LT(parser.bufferCapacity(), 64u * 1024);
    EXPECT_EQ(parser.getProgressPercent(), 100);
}

}  // namespace
