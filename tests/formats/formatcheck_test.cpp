// Format checks of the XML and HTML parsers and the charsets they pick up.
#include <gtest/gtest.h>

#include <string>

#include "formats_test_support.h"

namespace {

const std::string kPad(40, ' ');

bool accepts(ParserKind kind, const std::string& text, const char* name = nullptr) {
    LVCountingCallback cb;
    StreamHandle stream = bytesStream(text, name);
    return makeParser(kind, stream, &cb)->CheckFormat();
}

TEST(FormatCheck, Xml) {
    struct Case {
        ParserKind kind;
        std::string text;
        bool accepted;
    };
    const std::string fb2 = "<?xml version=\"1.0\"?>\n<FictionBook xmlns=\"http://x\"><body/>";
    const Case cases[] = {
        {ParserKind::Xml, fb2, true},
        {ParserKind::Fb2, fb2, true},
        {ParserKind::Fb2, "<?xml version=\"1.0\"?>\n<book xmlns=\"http://x\"><body/>" + kPad, false},
        // 30 characters are too few, 31 are enough.
        {ParserKind::Xml, "<?xml version=\"1.0\"?><a>123</a>", true},
        {ParserKind::Xml, "<?xml version=\"1.0\"?><a>12</a>", false},
        // A namespace and a version without a declaration; a version too early.
        {ParserKind::Xml, "<root xmlns=\"u\" version=\"2\">" + kPad + "</root>", true},
        {ParserKind::Xml, "version=1 <?xml <root/>" + kPad, false},
        {ParserKind::Xml, "<root><child/></root>" + kPad, false},
        // An XHTML root qualifies when HTML is allowed.
        {ParserKind::Xml, "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body/></html>", true},
        {ParserKind::Fb2, "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body/></html>", false},
        // A byte-order mark is not part of the text.
        {ParserKind::Xml, "\xEF\xBB\xBF" + fb2, true},
        {ParserKind::Xml, "\xFF\xFE" + convertFromUtf8(fb2, "UTF-16LE"), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(accepts(c.kind, c.text), c.accepted) << "case " << (&c - cases);
}

TEST(FormatCheck, Html) {
    struct Case {
        std::string text;
        const char* name;
        bool accepted;
    };
    const Case cases[] = {
        {"<HTML><HEAD><TITLE>t</TITLE></HEAD><BODY>x</BODY></HTML>", nullptr, true},
        {"<html><body>" + kPad + "</body></html>", nullptr, true},
        {"<html>" + kPad + "</html>", nullptr, false},
        // Fragments count in files named as HTML.
        {"<p>text</p><p>more text here</p>" + kPad, "/books/page.HTM", true},
        {"<p>text</p><p>more text here</p>" + kPad, "page.txt", false},
        {"<!-- toc --><ul><li>chapter one</li></ul>", "toc.hhc", true},
        {"<html><body></body></html>", nullptr, false},  // 26 characters
    };
    for (const Case& c : cases)
        EXPECT_EQ(accepts(ParserKind::Html, c.text, c.name), c.accepted) << "case " << (&c - cases);
}

// The charset a parser settles on after its format check.
std::string charsetAfterCheck(ParserKind kind, const std::string& bytes,
                              const char* preset = nullptr, bool* accepted = nullptr) {
    LVCountingCallback cb;
    StreamHandle stream = bytesStream(bytes);
    auto parser = makeParser(kind, stream, &cb);
    if (preset) parser->SetCharset(preset);
    const bool ok = parser->CheckFormat();
    if (accepted) *accepted = ok;
    return encodeUtf8(parser->charsetName()).c_str();
}

TEST(FormatCheck, DeclaredCharsets) {
    const std::string body = convertFromUtf8("<p>Текст книги, достаточно длинный для проверки.</p>", "CP1251");
    // Either quote style in the declaration.
    EXPECT_EQ(charsetAfterCheck(ParserKind::Xml,
                                "<?xml version=\"1.0\" encoding=\"windows-1251\"?><r>" + body + "</r>"),
              "windows-1251");
    EXPECT_EQ(charsetAfterCheck(ParserKind::Xml,
                                "<?xml version='1.0' encoding='KOI8-R'?><r>" + body + "</r>"),
              "koi8-r");
    // Meta tags: http-equiv with content first or second, and HTML5's form.
    EXPECT_EQ(charsetAfterCheck(ParserKind::Html,
                                "<html><head><meta http-equiv=\"Content-Type\" "
                                "content=\"text/html; charset=windows-1251\"></head><body>" +
                                    body + "</body></html>"),
              "windows-1251");
    EXPECT_EQ(charsetAfterCheck(ParserKind::Html,
                                "<html><head><meta content=\"text/html; charset=KOI8-R\" "
                                "http-equiv=\"content-type\"/></head><body>" +
                                    body + "</body></html>"),
              "koi8-r");
    EXPECT_EQ(charsetAfterCheck(ParserKind::Html, "<html><head><meta charset=\"cp1251\"></head><body>" +
                                                      body + "</body></html>"),
              "cp1251");
    // "utf-16" in a meta tag of an 8-bit page names nothing useful.
    EXPECT_EQ(charsetAfterCheck(ParserKind::Html,
                                "<html><head><meta http-equiv=\"Content-Type\" "
                                "content=\"text/html; charset=utf-16\"></head><body>" +
                                    body + body + "</body></html>"),
              "cp1251");
}

TEST(FormatCheck, PresetCharsetSurvivesHtmlDetection) {
    const std::string page = "<html><head><title>t</title></head><body><p>caf\xE9 na\xEFve "
                             "r\xE9sum\xE9, an 8-bit page</p></body></html>";
    bool accepted = false;
    // Not Unicode: the preset stays and the page is HTML.
    EXPECT_EQ(charsetAfterCheck(ParserKind::Html, page, "windows-1252", &accepted), "windows-1252");
    EXPECT_TRUE(accepted);
    // Plain ASCII tells nothing either.
    EXPECT_EQ(charsetAfterCheck(ParserKind::Html,
                                "<html><head></head><body><p>plain ascii text</p></body></html>",
                                "windows-1252", &accepted),
              "windows-1252");
    EXPECT_TRUE(accepted);
    // Real UTF-8 overrides the preset.
    EXPECT_EQ(charsetAfterCheck(ParserKind::Html,
                                "<html><head></head><body><p>Текст</p></body></html>",
                                "windows-1252", &accepted),
              "utf-8");
}

TEST(FormatCheck, EncodingEventsReachTheCallback) {
    bool accepted = false;
    const std::string log = checkAndParse(
        "<?xml version='1.0' encoding='windows-1251'?><r>" +
            convertFromUtf8("<p>Привет, мир! Длинный текст.</p>", "CP1251") + "</r>",
        ParserKind::Xml, &accepted);
    ASSERT_TRUE(accepted);
    EXPECT_NE(log.find("ENCODING windows-1251 +table\nSTART\n"), std::string::npos) << log;
    EXPECT_NE(log.find("ATTR encoding=\"windows-1251\"\nENCODING windows-1251 +table\n"),
              std::string::npos);
    EXPECT_NE(log.find("TEXT \"Привет, мир! Длинный текст.\""), std::string::npos);
}

TEST(FormatCheck, LateDeclarationRedecodesTheDescription) {
    // Parsing without a format check, in the wrong charset: the declaration
    // switches it, and the title that follows comes out right.
    const std::string doc =
        "<?xml version='1.0' encoding='windows-1251'?><FictionBook><description><book-title>" +
        convertFromUtf8("Капитанская дочка", "CP1251") + "</book-title></description></FictionBook>";
    EXPECT_EQ(textOf(parseEvents(doc, ParserKind::Xml, 0, "koi8-r")), "Капитанская дочка");
}

}  // namespace
