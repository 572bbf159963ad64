// The XML/HTML tokenizer: input text against the exact event log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats_test_support.h"

namespace {

struct Case {
    const char* input;
    const char* events;
};

void runCases(const std::vector<Case>& cases, ParserKind kind, uint32_t flags = 0) {
    for (const Case& c : cases)
        EXPECT_EQ(parseEvents(c.input, kind, flags), c.events) << "input: " << c.input;
}

TEST(XmlParser, TagsAttributesAndText) {
    runCases(
        {
            {"<a href=x>t</a>", "OPEN a|ATTR href=\"x\"|BODY|TEXT \"t\" 0x0000|CLOSE a"},
            {"<br/>", "OPEN br|BODY|CLOSE br"},
            {"<p class='c' id=\"i\">x</p>",
             "OPEN p|ATTR class=\"c\"|ATTR id=\"i\"|BODY|TEXT \"x\" 0x0000|CLOSE p"},
            // Attributes without a value, and "/ >" inside a tag.
            {"<td nowrap>x", "OPEN td|ATTR nowrap=\"\"|BODY|TEXT \"x\" 0x0000"},
            {"<br / ><br/ >", "OPEN br|BODY|OPEN br|BODY"},
            {"<l:a xlink:href=\"#n\"/>", "OPEN l:a|ATTR xlink:href=\"#n\"|BODY|CLOSE l:a"},
            {"</p >x", "CLOSE p|TEXT \"x\" 0x0000"},
            // Text before the first tag is not part of the document.
            {"junk<p>x</p>", "OPEN p|BODY|TEXT \"x\" 0x0000|CLOSE p"},
            // Names are case-sensitive in XML.
            {"<P CLASS=x />", "OPEN P|ATTR CLASS=\"x\"|BODY|CLOSE P"},
        },
        ParserKind::Xml);
}

TEST(XmlParser, HtmlLowerCasesNames) {
    runCases(
        {
            {"<P CLASS=\"Big\">x</P>", "OPEN p|ATTR class=\"Big\"|BODY|TEXT \"x\" 0x0000|CLOSE p"},
            {"<O:P Xml:Lang=en></O:P>", "OPEN o:p|ATTR xml:lang=\"en\"|BODY|CLOSE o:p"},
            // Scripts and styles are text up to their own end tag.
            {"<script>if (a<b && c</d) x();</script ><p>t</p>",
             "OPEN script|BODY|TEXT \"if (a<b && c</d) x();\" 0x0000|CLOSE script|OPEN p|BODY|"
             "TEXT \"t\" 0x0000|CLOSE p"},
            {"<STYLE type=text/css>p > a {} &amp;</Style>",
             "OPEN style|ATTR type=\"text/css\"|BODY|TEXT \"p > a {} &amp;\" 0x0000|CLOSE style"},
            {"<script src=x.js/>t", "OPEN script|ATTR src=\"x.js/\"|BODY|TEXT \"t\" 0x0000"},
            {"<script/>t", "OPEN script|BODY|CLOSE script|TEXT \"t\" 0x0000"},
        },
        ParserKind::Html);
    // In XML, markup inside a script is markup.
    EXPECT_EQ(parseEvents("<script>a<b/></script>"),
              "OPEN script|BODY|TEXT \"a\" 0x0000|OPEN b|BODY|CLOSE b|CLOSE script");
}

TEST(XmlParser, MultiLineTagsKeepTheirAttributes) {
    runCases(
        {
            {"<img\n src=\"a.png\"\n/>", "OPEN img|ATTR src=\"a.png\"|BODY|CLOSE img"},
            {"<a\thref=\"#n\">x</a\n>",
             "OPEN a|ATTR href=\"#n\"|BODY|TEXT \"x\" 0x0000|CLOSE a"},
            {"<div\r\nclass=\"c\"\r\n>x</div\r\n>",
             "OPEN div|ATTR class=\"c\"|BODY|TEXT \"x\" 0x0000|CLOSE div"},
        },
        ParserKind::Xml);
}

TEST(XmlParser, QuotedValues) {
    runCases(
        {
            // '>' inside quotes belongs to the value.
            {"<img alt=\"a > b\" src='x'/>t",
             "OPEN img|ATTR alt=\"a > b\"|ATTR src=\"x\"|BODY|CLOSE img|TEXT \"t\" 0x0000"},
            // No closing quote before the next '<': the value ends at '>'.
            {"<a title=\"abc>text</a>",
             "OPEN a|ATTR title=\"abc\"|BODY|TEXT \"text\" 0x0000|CLOSE a"},
            // Unquoted values end at whitespace or '>'.
            {"<a href=x>", "OPEN a|ATTR href=\"x\"|BODY"},
            {"<a href=x title=y>", "OPEN a|ATTR href=\"x\"|ATTR title=\"y\"|BODY"},
            // References are decoded in every value.
            {"<a href=\"?a=1&amp;b=2\" title=\"A &amp; B &#65;\"/>",
             "OPEN a|ATTR href=\"?a=1&b=2\"|ATTR title=\"A & B A\"|BODY|CLOSE a"},
        },
        ParserKind::Xml);
}

TEST(XmlParser, References) {
    runCases(
        {
            {"<p>&amp; &#65; &#x41; &foo; &lt;&gt;&quot;&apos;</p>",
             "OPEN p|BODY|TEXT \"& A A &foo; <>\\\"'\" 0x0000|CLOSE p"},
            {"<p>&nbsp;&mdash;&euro;&Eacute;&eacute;&diams;</p>",
             "OPEN p|BODY|TEXT \"\u00A0\u2014\u20AC\u00C9\u00E9\u2666\" 0x0000|CLOSE p"},
            // Unterminated or unknown references stay as written.
            {"<p>&#65 &amp</p>", "OPEN p|BODY|TEXT \"&#65 &amp\" 0x0000|CLOSE p"},
            // A name ended by a space is still a reference.
            {"<p>a &amp b</p>", "OPEN p|BODY|TEXT \"a & b\" 0x0000|CLOSE p"},
            // Out of range values and surrogates give U+FFFD; zero gives nothing;
            // huge numbers saturate.
            {"<p>&#x1F600;&#xD800;&#0;&#99999999999999999999999;&#x10FFFF;</p>",
             "OPEN p|BODY|TEXT \"\uFFFD\uFFFD\uFFFD\uFFFD\" 0x0000|CLOSE p"},
        },
        ParserKind::Xml);
}

TEST(XmlParser, MarkupThatIsNotElements) {
    runCases(
        {
            {"<?xml-stylesheet href=\"s.css\"?><p/>",
             "OPEN ?xml-stylesheet|ATTR href=\"s.css\"|BODY|CLOSE ?xml-stylesheet|OPEN p|BODY|"
             "CLOSE p"},
            // A processing instruction closes however it ends.
            {"<?php echo 1; ?>x", "OPEN ?php|ATTR echo=\"\"|BODY|CLOSE ?php|TEXT \"x\" 0x0000"},
            {"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0//EN\" \"x.dtd\"><p>t</p>",
             "OPEN p|BODY|TEXT \"t\" 0x0000|CLOSE p"},
            {"<!DOCTYPE x [<!ENTITY a \"b\">]><p>t</p>", "OPEN p|BODY|TEXT \"t\" 0x0000|CLOSE p"},
            {"<p>a<!-- x > y <b> -->b</p>",
             "OPEN p|BODY|TEXT \"a\" 0x0000|TEXT \"b\" 0x0000|CLOSE p"},
            {"<p>a<!-- never closed", "OPEN p|BODY|TEXT \"a\" 0x0000"},
            // CDATA content is text, taken literally.
            {"<p><![CDATA[a < b &amp; c]]> d</p>",
             "OPEN p|BODY|TEXT \"a < b &amp; c\" 0x0000|TEXT \" d\" 0x0000|CLOSE p"},
            // A '<' that opens nothing is text.
            {"<p>a < b, x<3</p>", "OPEN p|BODY|TEXT \"a < b, x<3\" 0x0000|CLOSE p"},
            // A name followed by '=' is no tag.
            {"<a=b>text", "TEXT \"text\" 0x0000"},
        },
        ParserKind::Xml);
}

TEST(XmlParser, MalformedInput) {
    runCases(
        {
            // Input ending inside a tag still delivers the tag's body event.
            {"<p class=\"a\"", "OPEN p|ATTR class=\"a\"|BODY"},
            {"<p class=\"a", "OPEN p|ATTR class=\"a\"|BODY"},
            {"<p", "OPEN p|BODY"},
            {"<p>x</p", "OPEN p|BODY|TEXT \"x\" 0x0000|CLOSE p"},
            {"<", ""},
            {"<p>x<", "OPEN p|BODY|TEXT \"x<\" 0x0000"},
            // A broken attribute list skips to the end of the tag; the text
            // after it survives.
            {"<p \"x\">text</p>", "OPEN p|BODY|TEXT \"text\" 0x0000|CLOSE p"},
            {"<p a=1 \"x\"<b>t</b>", "OPEN p|ATTR a=\"1\"|BODY|OPEN b|BODY|TEXT \"t\" 0x0000|CLOSE b"},
        },
        ParserKind::Xml);
}

TEST(XmlParser, TextFlagsShapeRuns) {
    const char* in = "<p>  a \n\t b  </p>";
    EXPECT_EQ(parseEvents(in, ParserKind::Xml, 0), "OPEN p|BODY|TEXT \" a b \" 0x0000|CLOSE p");
    EXPECT_EQ(parseEvents(in, ParserKind::Xml, TEXT_TRIM),
              "OPEN p|BODY|TEXT \"a b\" 0x0004|CLOSE p");
    EXPECT_EQ(parseEvents(in, ParserKind::Xml, TEXT_TRIM | TEXT_TRIM_ALLOW_START_SPACE),
              "OPEN p|BODY|TEXT \" a b\" 0x000C|CLOSE p");
    EXPECT_EQ(parseEvents(in, ParserKind::Xml, TEXT_TRIM | TEXT_TRIM_ALLOW_END_SPACE),
              "OPEN p|BODY|TEXT \"a b \" 0x0014|CLOSE p");
    // A whitespace-only run that trims to nothing produces no event.
    EXPECT_EQ(parseEvents("<p> </p>", ParserKind::Xml, TEXT_TRIM), "OPEN p|BODY|CLOSE p");
}

TEST(XmlParser, FlagsAreAskedBeforeEachRun) {
    // The log callback sets TEXT_PRE while a pre element is open: line breaks
    // and tabs survive there and nowhere else.
    EXPECT_EQ(parseEvents("<p>a\n  b</p><pre>x\r\n\ty\rz\n</pre><p>c\n d</p>"),
              "OPEN p|BODY|TEXT \"a b\" 0x0000|CLOSE p|OPEN pre|BODY|"
              "TEXT \"x\\n        y\\nz\\n\" 0x0001|CLOSE pre|OPEN p|BODY|TEXT \"c d\" 0x0000|CLOSE p");
    // Carriage returns: dropped next to a line feed, line feeds elsewhere.
    EXPECT_EQ(parseEvents("<pre>a\r\rb\n\rc\r\nd</pre>"),
              "OPEN pre|BODY|TEXT \"a\\n\\nb\\nc\\nd\" 0x0001|CLOSE pre");
}

TEST(XmlParser, PreformattedParagraphSplitting) {
    const uint32_t flags = TEXT_PRE | TEXT_TRIM | TEXT_PRE_PARA_SPLITTING;
    EXPECT_EQ(parseEvents("<pre>line one\n  line two\nline three\n\tline four</pre>",
                          ParserKind::Xml, flags),
              "OPEN pre|BODY|TEXT \"line one\" 0x0085|TEXT \" line two line three\" 0x0085|"
              "TEXT \" line four\" 0x0085|CLOSE pre");
}

TEST(XmlParser, EntitiesInCodePage) {
    // With the flag, named references 128..255 stand for bytes of the
    // document's code page; numeric ones never do.
    const char* in = "<p title=\"&eacute;\">&eacute;&#233;</p>";
    EXPECT_EQ(parseEvents(in, ParserKind::Xml, TEXT_ENTITIES_IN_CODEPAGE, "windows-1251"),
              "OPEN p|ATTR title=\"\u0439\"|BODY|TEXT \"\u0439\u00E9\" 0x10000|CLOSE p");
    EXPECT_EQ(parseEvents(in, ParserKind::Xml, 0, "windows-1251"),
              "OPEN p|ATTR title=\"\u00E9\"|BODY|TEXT \"\u00E9\u00E9\" 0x0000|CLOSE p");
}

TEST(XmlParser, LongRunsAreSplitAfterSpaces) {
    std::string words;
    while (words.size() < 20000) words += "word" + std::to_string(words.size() % 97) + " ";
    LVEventLog log;
    StreamHandle stream = bytesStream("<p>" + words + "</p>");
    LVXMLParser parser(stream, &log);
    parser.Parse();
    std::vector<std::string> runs;
    const std::string& all = log.text();
    for (size_t pos = 0; (pos = all.find("TEXT \"", pos)) != std::string::npos;) {
        const size_t close = all.find("\" 0x", pos);
        runs.push_back(all.substr(pos + 6, close - pos - 6));
        pos = close;
    }
    ASSERT_GE(runs.size(), 3u);
    std::string joined;
    for (const std::string& r : runs) {
        EXPECT_LE(r.size(), static_cast<size_t>(LVXMLParser::kMaxTextRun));
        EXPECT_EQ(r.back(), ' ');
        joined += r;
    }
    EXPECT_EQ(joined, words);

    // Trimming does not take the spaces at the cuts away.
    LVEventLog trimmed;
    trimmed.setBaseFlags(TEXT_TRIM);
    StreamHandle again = bytesStream("<p>" + words + "</p>");
    LVXMLParser(again, &trimmed).Parse();
    words.pop_back();
    EXPECT_EQ(textOf(trimmed.text()), words);
}

TEST(XmlParser, LongRunsWithoutSpacesKeepReferencesWhole) {
    // 8190 letters put "&amp;" across the cut.
    std::string text(8190, 'x');
    text += "&amp;";
    text += std::string(12000, 'y');
    LVEventLog log;
    StreamHandle stream = bytesStream("<p>" + text + "</p>");
    LVXMLParser parser(stream, &log);
    parser.Parse();
    const std::string got = textOf(log.text());
    EXPECT_EQ(got, std::string(8190, 'x') + "&" + std::string(12000, 'y'));
    EXPECT_GE(std::count(log.text().begin(), log.text().end(), '\n'), 3 + 3);
}

// Stops the parse when the description closes, as a writer does in
// header-only mode.
class StopAfterDescription : public LVEventLog {
public:
    void OnTagClose(const lvchar16* prefix, const lvchar16* name) override {
        LVEventLog::OnTagClose(prefix, name);
        if (std::u16string(name) == u"description") parser()->Stop();
    }
};

TEST(XmlParser, StopEndsTheLoop) {
    StopAfterDescription log;
    StreamHandle stream = bytesStream("<r><description>d</description><body>b</body></r>");
    LVXMLParser parser(stream, &log);
    EXPECT_TRUE(parser.Parse());
    EXPECT_EQ(log.text(),
              "START\nOPEN r\nBODY\nOPEN description\nBODY\nTEXT \"d\" 0x0000\n"
              "CLOSE description\nSTOP\n");
}

}  // namespace
