// The same FictionBook and HTML documents in many encodings give the same
// text, through format check and parse as the loader runs them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats_test_support.h"

namespace {

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    for (size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += to.size())
        s.replace(pos, from.size(), to);
    return s;
}

// A document long enough to span several decoding windows, with its title
// and author at the start, where a late charset switch would garble them.
std::string fb2Template(const std::string& sample) {
    std::string body;
    for (int i = 0; body.size() < 30000; ++i)
        body += "<p>" + std::to_string(i) + " " + sample + "</p>\n";
    return "<?xml version=\"1.0\" encoding=@ENC@?>\n"
           "<FictionBook xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\">\n"
           "<description><title-info><author><first-name>" + sample +
           "</first-name></author><book-title>" + sample + "</book-title></title-info>"
           "</description>\n<body>\n" + body + "</body></FictionBook>\n";
}

std::string htmlTemplate(const std::string& sample) {
    std::string body;
    for (int i = 0; body.size() < 30000; ++i)
        body += "<p class=\"x\">" + std::to_string(i) + " " + sample + "</p>\n";
    return "<html><head>@META@<title>" + sample + "</title></head>\n<body>\n" + body +
           "</body></html>\n";
}

struct Variant {
    const char* label;
    const char* iconvName;  // encoding of the bytes
    const char* declared;   // the XML declaration's value with its quotes, or the meta tag
    const char* bom;        // bytes put in front
};

std::string fb2Bytes(const std::string& sample, const Variant& v) {
    return v.bom + convertFromUtf8(replaceAll(fb2Template(sample), "@ENC@", v.declared), v.iconvName);
}

std::string htmlBytes(const std::string& sample, const Variant& v) {
    return v.bom + convertFromUtf8(replaceAll(htmlTemplate(sample), "@META@", v.declared),
                                   v.iconvName);
}

std::string parsedText(const std::string& bytes, ParserKind kind) {
    bool accepted = false;
    const std::string log = checkAndParse(bytes, kind, &accepted);
    EXPECT_TRUE(accepted);
    return textOf(log);
}

void checkMatrix(const std::string& sample, ParserKind kind, const std::vector<Variant>& variants) {
    const bool fb2 = kind != ParserKind::Html;
    const std::string reference = fb2 ? fb2Template(sample) : htmlTemplate(sample);
    std::string expected;
    for (const Variant& v : variants) {
        const std::string bytes = fb2 ? fb2Bytes(sample, v) : htmlBytes(sample, v);
        ASSERT_GT(bytes.size(), reference.size() / 2) << v.label;
        const std::string text = parsedText(bytes, kind);
        if (expected.empty()) {
            expected = text;
            // The reference document's own text, every paragraph of it.
            ASSERT_NE(expected.find(sample), std::string::npos);
            ASSERT_NE(expected.find("99 " + sample), std::string::npos);
        }
        EXPECT_TRUE(text == expected) << v.label;
    }
}

const std::string kRussian = "Береги честь смолоду. (Капитанская дочка) - глава первая, ёжик.";

TEST(EncodingMatrix, CyrillicFictionBook) {
    checkMatrix(kRussian, ParserKind::Fb2,
                {
                    {"utf-8", "UTF-8", "\"utf-8\"", ""},
                    {"utf-8 with BOM", "UTF-8", "\"UTF-8\"", "\xEF\xBB\xBF"},
                    {"utf-16le with BOM", "UTF-16LE", "\"UTF-16\"", "\xFF\xFE"},
                    {"utf-16be with BOM", "UTF-16BE", "\"UTF-16\"", "\xFE\xFF"},
                    {"windows-1251, double quotes", "CP1251", "\"windows-1251\"", ""},
                    {"windows-1251, single quotes", "CP1251", "'windows-1251'", ""},
                    {"koi8-r", "KOI8-R", "\"koi8-r\"", ""},
                });
}

TEST(EncodingMatrix, CyrillicHtml) {
    const char* meta1251 =
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">";
    checkMatrix(kRussian, ParserKind::Html,
                {
                    {"utf-8", "UTF-8", "<meta charset=\"utf-8\">", ""},
                    {"utf-8 with BOM", "UTF-8", "", "\xEF\xBB\xBF"},
                    {"utf-16le with BOM", "UTF-16LE", "", "\xFF\xFE"},
                    {"utf-16be with BOM", "UTF-16BE", "", "\xFE\xFF"},
                    {"meta windows-1251", "CP1251", meta1251, ""},
                    {"meta koi8-r", "KOI8-R",
                     "<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=KOI8-R'>", ""},
                });
}

TEST(EncodingMatrix, MultiByteEncodings) {
    struct Set {
        std::string sample;
        const char* iconvName;
        const char* name;
    };
    const Set sets[] = {
        {"中文的文字，简体字和标点符号。", "GBK", "GBK"},
        {"日本語のテキスト、カタカナとひらがな。", "SHIFT_JIS", "Shift_JIS"},
        {"傳統中文字，繁體字與標點。", "BIG5", "Big5"},
        {"한국어 텍스트와 문장 부호입니다.", "EUC-KR", "EUC-KR"},
    };
    for (const Set& s : sets) {
        SCOPED_TRACE(s.name);
        const std::string decl = std::string("\"") + s.name + "\"";
        const std::string meta = std::string("<meta http-equiv=\"Content-Type\" "
                                             "content=\"text/html; charset=") + s.name + "\">";
        checkMatrix(s.sample, ParserKind::Fb2,
                    {{"utf-8", "UTF-8", "\"utf-8\"", ""}, {s.name, s.iconvName, decl.c_str(), ""}});
        checkMatrix(s.sample, ParserKind::Html,
                    {{"utf-8", "UTF-8", "", ""}, {s.name, s.iconvName, meta.c_str(), ""}});
    }
}

}  // namespace
