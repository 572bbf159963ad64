// Plain text import: the line reader, the format check, layout detection and
// the five import modes, headings and sections, the book description, PML,
// and bounded memory on large files. Most expectations are document trees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dom/ldomdocument.h"
#include "dom/treedump.h"
#include "dom/writer.h"
#include "formats/pmlimport.h"
#include "formats/textparser.h"
#include "formats_test_support.h"

namespace {

std::string utf8(const std::u16string& s) {
    return encodeUtf8(reinterpret_cast<const lvchar16*>(s.data()), s.size()).c_str();
}

std::string between(const std::string& s, const std::string& open, const std::string& close) {
    const size_t a = s.find(open);
    const size_t b = s.rfind(close);
    if (a == std::string::npos || b == std::string::npos || b < a) return "";
    return s.substr(a + open.size(), b - a - open.size());
}

size_t countOf(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t pos = s.find(what); pos != std::string::npos; pos = s.find(what, pos + 1)) ++n;
    return n;
}

struct Imported {
    bool accepted = false;
    uint32_t flags = 0;
    std::string xml;  // the whole tree, compact
    std::string description() const { return between(xml, "<title-info>", "</title-info>"); }
    std::string body() const { return between(xml, "<body>", "</body>"); }
};

// Checks and imports bytes through the document writer.
Imported import(const std::string& bytes, bool preformatted = false,
                const char* name = "book.txt") {
    Imported r;
    Ref<ldomDocument> doc = ldomDocument::create();
    ldomDocumentWriter writer(doc.get());
    LVTextParser parser(bytesStream(bytes, name), &writer, preformatted);
    r.accepted = parser.CheckFormat();
    EXPECT_TRUE(parser.Parse());
    r.flags = parser.formatFlags();
    LVString8 x = dumpTreeXml(doc->getRootNode(), false);
    r.xml.assign(x.c_str(), static_cast<size_t>(x.length()));
    return r;
}

// ---- Line reader --------------------------------------------------------------

struct Line {
    std::string text;
    uint32_t flags;
    int32_t left, right;
    bool operator==(const Line& o) const {
        return text == o.text && flags == o.flags && left == o.left && right == o.right;
    }
};

std::ostream& operator<<(std::ostream& os, const Line& l) {
    return os << "{\"" << l.text << "\", 0x" << std::hex << l.flags << std::dec << ", " << l.left
              << ", " << l.right << "}";
}

// The line reader alone.
class LineReader : public LVTextLineReader {
public:
    using LVTextLineReader::LVTextLineReader;
    bool CheckFormat() override { return true; }
    bool Parse() override { return true; }
};

std::vector<Line> readLines(const std::string& utf8Bytes, int32_t maxLength = 2000) {
    LineReader reader(bytesStream(utf8Bytes));
    reader.SetCharset("utf-8");
    std::vector<Line> lines;
    LVTextLine l;
    while (reader.readLine(maxLength, l)) lines.push_back({utf8(l.text), l.flags, l.left, l.right});
    return lines;
}

TEST(TextLineReader, BreaksMarksAndPositions) {
    const uint32_t eol = TEXT_LINE_EOL, marked = TEXT_LINE_MARKED;
    struct Case {
        std::string in;
        std::vector<Line> lines;
    };
    const Case cases[] = {
        // CR LF and LF CR are one break each; lone CR and LF are breaks; the
        // last line needs no break.
        {"a\r\nb\n\rc\rd\ne",
         {{"a", eol, 0, 1},
          {"b", eol, 0, 1},
          {"c", eol, 0, 1},
          {"d", eol, 0, 1},
          {"e", eol, 0, 1}}},
        {"\n\n", {{"", eol, 0, 0}, {"", eol, 0, 0}}},
        {"\r\n\r\nx", {{"", eol, 0, 0}, {"", eol, 0, 0}, {"x", eol, 0, 1}}},
        // Tabs run to the next multiple of 8; trailing blanks are not text.
        {"\tab  c \t\n  \t \n", {{"\tab  c \t", eol, 8, 13}, {"  \t ", eol, 0, 0}}},
        {"  x\tyz\n", {{"  x\tyz", eol, 2, 10}}},
        // Separator lines of one character, blanks between allowed.
        {"-----\n * * * \n=\t=\n*-*\n",
         {{"* * *", eol | marked, 0, 5},
          {"* * *", eol | marked, 0, 5},
          {"* * *", eol | marked, 0, 5},
          {"*-*", eol, 0, 3}}},
        // 0x14 ... 0x15 marks a heading and goes away.
        {"  \x14Heading\x15 \n\x14no end\n",
         {{"  Heading ", eol | marked, 2, 9}, {"\x14no end", eol, 0, 7}}},
    };
    for (const Case& c : cases) EXPECT_EQ(readLines(c.in), c.lines) << "input: " << c.in;
}

TEST(TextLineReader, CutsOverlongLinesAfterTheLastBlankOrAtTheLimit) {
    const uint32_t eol = TEXT_LINE_EOL;
    // At the last blank within the limit; the blank stays with the first part.
    EXPECT_EQ(readLines("aaa bbb ccc ddd\n", 10),
              (std::vector<Line>{{"aaa bbb ", 0, 0, 7}, {"ccc ddd", eol, 0, 7}}));
    // A line of exactly the limit is whole.
    EXPECT_EQ(readLines("0123456789\nx", 10),
              (std::vector<Line>{{"0123456789", eol, 0, 10}, {"x", eol, 0, 1}}));
    // Without a blank (indentation does not count) the cut is at the limit.
    EXPECT_EQ(readLines("  abcdefghijklmn", 10),
              (std::vector<Line>{{"  abcdefgh", 0, 2, 10}, {"ijklmn", eol, 0, 6}}));
    // Never between the halves of a surrogate pair: U+1F600 straddles 10.
    {
        LineReader reader(
            bytesStream(convertFromUtf8("一二三四五六七八九\xF0\x9F\x98\x80十", "UTF-16LE")));
        reader.SetCharset("utf-16le");
        LVTextLine l;
        ASSERT_TRUE(reader.readLine(10, l));
        EXPECT_EQ(l.text, u"一二三四五六七八九");
        ASSERT_TRUE(reader.readLine(10, l));
        EXPECT_EQ(l.text, u"\U0001F600十");
        EXPECT_FALSE(reader.readLine(10, l));
    }
    // A run of 5000 characters with no blank, at the real limit: 2000 each.
    const std::vector<Line> run = readLines(std::string(5000, 'x') + "\n");
    ASSERT_EQ(run.size(), 3u);
    EXPECT_EQ(run[0].text.size(), 2000u);
    EXPECT_EQ(run[1].text.size(), 2000u);
    EXPECT_EQ(run[2].text.size(), 1000u);
    EXPECT_EQ(run[2].flags, eol);
}

// ---- Format check and heading words -------------------------------------------

TEST(TextParser, CheckFormat) {
    struct Case {
        std::string bytes;
        bool text;
    };
    const Case cases[] = {
        {"Short text only.", false},  // 16 characters
        {"Two words, yes no", true},  // 17 characters, a sixth of them blank
        {"line one\nline two\nline three\n", true},
        {"NoSpacesAndNoLineBreaksAtAllInThisText", false},
        {"Words with spaces but no line break anywhere", true},
        {"A text with an \x1b[1mescape\x1b[0m sequence in it\n", false},
        {std::string("Binary data \0\0\0 with spaces\n", 28), false},
        {"A bell \x07 and a backspace \x08 are allowed\n", true},
        {"Form feeds \x0c and tabs \t are fine here.\n", true},
        {std::string("\xFF\xFE", 2) + convertFromUtf8("Текст в UTF-16 с BOM.\n", "UTF-16LE"), true},
    };
    for (const Case& c : cases) {
        LVCountingCallback cb;
        LVTextParser parser(bytesStream(c.bytes), &cb, false);
        EXPECT_EQ(parser.CheckFormat(), c.text) << c.bytes;
    }
}

TEST(TextParser, HeadingLevels) {
    struct Case {
        std::u16string text;
        int level;
    };
    const Case cases[] = {
        {u"Volume One", 1},   {u"VOL. II", 1},    {u"Том первый", 1}, {u"Part 2", 2},
        {u"ЧАСТЬ ВТОРАЯ", 2}, {u"CHAPTER IV", 3}, {u"Глава 5", 3},    {u"12", 5},
        {u"1.2.3", 7},        {u"3.", 6},         {u"IV", 4},         {u"XXXIX", 4},
        {u"XL", 0},           {u"IIII", 0},       {u"iv", 0},         {u"1a", 0},
        {u".5", 0},           {u"The end", 0},    {u"", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(textHeadingLevel(c.text.c_str(), static_cast<int32_t>(c.text.size())), c.level)
            << utf8(c.text);
}

// ---- Import modes -------------------------------------------------------------

TEST(TextParser, FewLinesArePerLineParagraphs) {
    const Imported r = import("Chapter One\n\nIt was a dark night.\nThe rain fell.\n");
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.flags, TXT_PARA_PER_LINE | TXT_FEW_EMPTY_LINES);
    EXPECT_EQ(r.xml.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"/><FictionBook>", 0), 0u);
    EXPECT_EQ(r.description(), "<book-title>book</book-title>");
    // The first line between "nothing" and a blank line is a heading.
    EXPECT_EQ(r.body(),
              "<section><title><p>Chapter One</p></title><empty-line/>"
              "<p>It was a dark night.</p><p>The rain fell.</p></section>");
}

// Paragraphs whose first line is indented by two spaces and whose other
// lines are flush left, over many batches.
TEST(TextParser, IndentedParagraphsAcrossBatches) {
    std::string text;
    std::vector<std::string> expected;
    for (int k = 0; k < 150; ++k) {
        const std::string n = std::to_string(k);
        text += "  Paragraph " + n + " starts on an indented line of text here\n";
        text += "and goes on flush left on a second line of the same\n";
        text += "paragraph " + n + ", ending on the third.\n";
        expected.push_back("<p>Paragraph " + n +
                           " starts on an indented line of text here and goes on flush left on a "
                           "second line of the same paragraph " +
                           n + ", ending on the third.</p>");
    }
    const Imported r = import(text);
    EXPECT_TRUE(r.flags & TXT_IDENT_PARA) << std::hex << r.flags;
    std::string want;
    for (const std::string& p : expected) want += p;
    EXPECT_EQ(r.body(), want);
}

// A one-line paragraph after another paragraph and before a blank line is no
// heading, wherever the batches of lines happen to start.
TEST(TextParser, NoFalseHeadingsAtBatchBoundaries) {
    // Two paragraphs first: near the start short paragraphs are headings.
    std::string text =
        "  Opening paragraph one, long enough to be no heading at all here.\n"
        "  Opening paragraph two, also long enough to be no heading at all.\n";
    const int units = 160;  // 21 lines each: 3360 lines
    for (int k = 0; k < units; ++k) {
        text += "  A paragraph of many lines begins at this indented line\n";
        for (int j = 0; j < 18; ++j)
            text += "and continues flush left for a while longer, line " + std::to_string(j) + "\n";
        text += "  One-liner.\n\n";
    }
    const Imported r = import(text);
    ASSERT_EQ(r.flags & (TXT_IDENT_PARA | TXT_EMPTY_LINE_PARA), TXT_IDENT_PARA)
        << std::hex << r.flags;
    EXPECT_EQ(countOf(r.body(), "<title>"), 0u);
    EXPECT_EQ(countOf(r.body(), "<p>One-liner.</p>"), static_cast<size_t>(units));
    EXPECT_EQ(countOf(r.body(), "<p>"), static_cast<size_t>(2 + 2 * units));
}

std::string longParagraph(int k) {
    std::string p = "Paragraph " + std::to_string(k) + ":";
    while (p.size() < 130) p += " words of a long line that a converter wrote as one paragraph";
    return p;
}

// Long lines separated by blank lines: a paragraph per line, empty lines
// ignored, headings only near the start or between two blank lines.
TEST(TextParser, LongLinesWithBlankLinesBetween) {
    std::string text = "The Long Road Home\n\n\n";
    std::string want = "<section><title><p>The Long Road Home</p></title>";
    for (int k = 0; k < 30; ++k) {
        text += longParagraph(k) + "\n\n";
        want += "<p>" + longParagraph(k) + "</p>";
        if (k == 9) {
            // Blank lines around it and a blank line two before: a subtitle.
            text += "\n-----\n\n";
            want += "<subtitle><p>* * *</p></subtitle>";
        }
        if (k == 11) {
            // A paragraph two lines before: an ordinary paragraph.
            text += "* * *\n\n";
            want += "<p>* * *</p>";
        }
    }
    want += "</section>";
    const Imported r = import(text);
    EXPECT_EQ(r.flags, TXT_PARA_PER_LINE | TXT_IGNORE_EMPTY_LINES);
    EXPECT_EQ(r.body(), want);
}

// Short lines, paragraphs between blank lines, centred headings.
TEST(TextParser, EmptyLineParagraphsWithCentredHeadings) {
    const std::string text =
        "It was the best of times, it was the worst of times, it was the age\n"
        "of wisdom, it was the age of foolishness, it was the epoch of belief,\n"
        "it was the epoch of incredulity, it was the season of Light.\n"
        "\n"
        "                             CHAPTER IV\n"
        "\n"
        "                               THE STORM\n"
        "\n"
        "There were a king with a large jaw and a queen with a plain face, on\n"
        "the throne of England; there were a king with a large jaw and a well-\n"
        "known queen with a fair face, on the throne of France. In both\n"
        "countries it was clearer than crystal to the lords of the State.\n"
        "\n"
        "It was the year of Our Lord one thousand seven hundred and seventy-\n"
        "five. Spiritual revelations were conceded to England at that\n"
        "favoured period, as at this.\n"
        "\n"
        "                               * * *\n"
        "\n"
        "France, less favoured on the whole as to matters spiritual than her\n"
        "sister of the shield and trident, rolled with exceeding smoothness\n"
        "down hill, making paper money and spending it.\n"
        "\n"
        "                              CHAPTER V\n"
        "\n"
        "Under the guidance of her Christian pastors, she entertained herself,\n"
        "besides, with such humane achievements as sentencing a youth to have\n"
        "his hands cut off, his tongue torn out with pincers.\n";
    const Imported r = import(text);
    EXPECT_EQ(
        r.flags & (TXT_EMPTY_LINE_PARA | TXT_CENTERED_HEADERS | TXT_SHORT_LINES | TXT_IDENT_PARA),
        TXT_EMPTY_LINE_PARA | TXT_CENTERED_HEADERS | TXT_SHORT_LINES)
        << std::hex << r.flags;
    EXPECT_EQ(
        r.body(),
        "<p>It was the best of times, it was the worst of times, it was the age of wisdom, it "
        "was the age of foolishness, it was the epoch of belief, it was the epoch of "
        "incredulity, it was the season of Light.</p>"
        // A heading word, then a centred line: two titles, one section.
        "<section><title><p>CHAPTER IV</p></title><title><p>THE STORM</p></title>"
        // "well-" + "known" is joined too: the hyphen is the word's.
        "<p>There were a king with a large jaw and a queen with a plain face, on the throne "
        "of England; there were a king with a large jaw and a wellknown queen with a fair "
        "face, on the throne of France. In both countries it was clearer than crystal to "
        "the lords of the State.</p>"
        "<p>It was the year of Our Lord one thousand seven hundred and seventyfive. "
        "Spiritual revelations were conceded to England at that favoured period, as at "
        "this.</p>"
        "<subtitle><p>* * *</p></subtitle>"
        "<p>France, less favoured on the whole as to matters spiritual than her sister of "
        "the shield and trident, rolled with exceeding smoothness down hill, making paper "
        "money and spending it.</p></section>"
        "<section><title><p>CHAPTER V</p></title>"
        "<p>Under the guidance of her Christian pastors, she entertained herself, besides, "
        "with such humane achievements as sentencing a youth to have his hands cut off, his "
        "tongue torn out with pincers.</p></section>");
}

TEST(TextParser, PreformattedSettingKeepsEveryLine) {
    const std::string text =
        "int main() {\n"
        "\treturn 0;  // done\n"
        "\n"
        "}   \n"
        "-----\n";
    const Imported r = import(text, true);
    EXPECT_EQ(r.flags, TXT_PREFORMATTED);
    EXPECT_EQ(r.body(),
              "<pre>int main() {</pre><pre>        return 0;  // done</pre><empty-line/>"
              "<pre>}   </pre><pre>* * *</pre>");
}

// ---- Description ----------------------------------------------------------------

TEST(TextParser, GutenbergHeaderGoesIntoTheDescription) {
    const std::string header =
        "The Project Gutenberg Etext of Moby Dick, by Herman Melville\n"
        "\n"
        "Please take a look at the important information in this header.\n"
        "We encourage you to keep this file on your own disk.\n"
        "\n"
        "*END*THE SMALL PRINT! FOR PUBLIC DOMAIN ETEXTS*Ver.04.29.93*END*\n"
        "\n"
        "\n";
    const std::string story =
        "MOBY DICK\n"
        "\n"
        "Call me Ishmael. Some years ago, never mind how long precisely,\n"
        "having little or no money in my purse, I thought I would sail.\n";
    Imported r = import(header + story);
    EXPECT_EQ(r.description(),
              "<author><first-name>Herman</first-name><middle-name/><last-name>Melville</last-name>"
              "</author><book-title>Moby Dick</book-title>");
    EXPECT_EQ(r.body(),
              "<section><title><p>MOBY DICK</p></title><empty-line/>"
              "<p>Call me Ishmael. Some years ago, never mind how long precisely,</p>"
              "<p>having little or no money in my purse, I thought I would sail.</p></section>");

    // Without the *END* line nothing is dropped.
    std::string noEnd = header;
    noEnd.replace(noEnd.find("*END*"), 5, "-END-");
    r = import(noEnd + story);
    EXPECT_EQ(r.description(),
              "<author><first-name>Herman</first-name><middle-name/><last-name>Melville</last-name>"
              "</author><book-title>Moby Dick</book-title>");
    EXPECT_NE(r.body().find("Please take a look"), std::string::npos);
}

TEST(TextParser, AuthorAndTitleFromTheFirstLine) {
    struct Case {
        std::string first;
        std::string description;
    };
    const Case cases[] = {
        {"Leo Tolstoy. War and Peace",
         "<author><first-name>Leo</first-name><middle-name/><last-name>Tolstoy</last-name></author>"
         "<book-title>War and Peace</book-title>"},
        {"   Johann Wolfgang Goethe.  Faust  ",
         "<author><first-name>Johann</first-name><middle-name>Wolfgang</middle-name>"
         "<last-name>Goethe</last-name></author><book-title>Faust</book-title>"},
        {"Ilf, Evgeny Petrov. Двенадцать стульев",
         "<author><first-name>Ilf</first-name><middle-name/><last-name/></author>"
         "<author><first-name>Evgeny</first-name><middle-name/><last-name>Petrov</last-name>"
         "</author><book-title>Двенадцать стульев</book-title>"},
        // Sentences, not an author and a title: the file name.
        {"It was late. We went home.", "<book-title>story</book-title>"},
        {"It was late. We went home!", "<book-title>story</book-title>"},
        {"Hello world", "<book-title>story</book-title>"},
        {". Starts with the dot", "<book-title>story</book-title>"},
    };
    for (const Case& c : cases) {
        const Imported r = import("\n" + c.first + "\nAnd then the text of the book.\n", false,
                                  "/books/story.txt");
        EXPECT_EQ(r.description(), c.description) << c.first;
    }
}

// A callback that wants only the description stops the import in every mode.
class HeaderOnly : public LVEventLog {
public:
    void OnTagClose(const lvchar16* prefix, const lvchar16* name) override {
        LVEventLog::OnTagClose(prefix, name);
        if (std::u16string_view(name) == u"description") parser()->Stop();
    }
};

TEST(TextParser, StopAfterTheDescriptionEndsTheImport) {
    std::string pmlText, plain;
    for (int i = 0; i < 30; ++i) pmlText += "\\pSection " + std::to_string(i) + "\n";
    for (int i = 0; i < 3000; ++i) plain += "Line " + std::to_string(i) + " of the text.\n";
    for (bool preformatted : {false, true}) {
        for (const std::string& text : {pmlText, plain}) {
            HeaderOnly log;
            LVTextParser parser(bytesStream(text, "book.txt"), &log, preformatted);
            ASSERT_TRUE(parser.CheckFormat());
            EXPECT_FALSE(parser.Parse());
            EXPECT_EQ(between(log.text(), "CLOSE description\nOPEN body\nBODY\n", "STOP"),
                      "CLOSE body\nCLOSE FictionBook\n");
        }
    }
}

// ---- Long text ------------------------------------------------------------------

// Collects text runs and their lengths.
class RunCollector : public LVCountingCallback {
public:
    std::u16string text;
    int32_t longest = 0;
    void OnText(const lvchar16* t, int32_t length, uint32_t f) override {
        LVCountingCallback::OnText(t, length, f);
        text.append(t, static_cast<size_t>(length));
        longest = std::max(longest, length);
    }
};

TEST(TextParser, LongParagraphsArriveInBoundedRuns) {
    // 50000 characters of Cyrillic words on one line (150 KB of UTF-8), and
    // 5000 CJK characters without a blank: each is one paragraph, however it
    // is cut into lines and runs.
    std::u16string words;
    while (words.size() < 50000) words += u"Слово за словом ";
    words.pop_back();
    std::u16string cjk;
    for (int i = 0; i < 5000; ++i) cjk += static_cast<char16_t>(0x4E00 + i % 100);
    for (const std::u16string& para : {words, cjk}) {
        const std::string bytes = utf8(para) + "\n";
        RunCollector runs;
        LVTextParser parser(bytesStream(bytes, "book.txt"), &runs, false);
        ASSERT_TRUE(parser.CheckFormat());
        parser.Parse();
        EXPECT_LE(runs.longest, LVTextParser::kMaxTextRun);
        EXPECT_EQ(runs.text, u"book" + para);  // the book title, then the text

        Ref<ldomDocument> doc = ldomDocument::create();
        ldomDocumentWriter writer(doc.get());
        LVTextParser again(bytesStream(bytes, "book.txt"), &writer, false);
        again.Parse();
        const LVString16 all = dumpDocumentText(doc.get());
        EXPECT_NE(std::u16string(all.c_str(), static_cast<size_t>(all.length())).find(para),
                  std::u16string::npos);
        EXPECT_EQ(countOf(dumpTreeXml(doc->getRootNode(), false).c_str(), "<p>"), 1u);
    }
}

TEST(TextParser, LargeFilesStreamInBoundedMemory) {
    // About 3 MB of indented paragraphs, produced as they are read.
    const std::string unit =
        "  The first line of a paragraph, indented by two spaces as usual.\n"
        "The second line is flush left and short.\n";
    const int64_t count = 3 * 1024 * 1024 / static_cast<int64_t>(unit.size());
    StreamHandle stream(new GeneratedStream("", unit, count, ""));
    LVCountingCallback cb;
    LVTextParser parser(stream, &cb, false);
    ASSERT_TRUE(parser.CheckFormat());
    ASSERT_TRUE(parser.Parse());
    EXPECT_TRUE(parser.formatFlags() & TXT_IDENT_PARA);
    EXPECT_LT(parser.bufferCapacity(), 64u * 1024);
    // One p per paragraph plus FictionBook, description, title-info,
    // book-title, body and ?xml.
    EXPECT_EQ(cb.tags, static_cast<uint64_t>(count) + 6);
    EXPECT_EQ(cb.chars, static_cast<uint64_t>(count) * (unit.size() - 3));
}

// ---- PML --------------------------------------------------------------------------

// The tree that PML lines give inside a body.
std::string pml(const std::vector<std::u16string>& lines) {
    Ref<ldomDocument> doc = ldomDocument::create();
    ldomDocumentWriter writer(doc.get());
    writer.OnStart(nullptr);
    writer.OnTagOpenPlain(nullptr, u"body");
    LVPmlImport importer(&writer);
    for (const std::u16string& l : lines)
        importer.addLine(l.c_str(), static_cast<int32_t>(l.size()));
    importer.finish();
    writer.OnTagClose(nullptr, u"body");
    writer.OnStop();
    LVString8 x = dumpTreeXml(doc->getRootNode(), false);
    return between(std::string(x.c_str()), "<body>", "</body>");
}

TEST(PmlImport, Commands) {
    struct Case {
        std::vector<std::u16string> lines;
        std::string xml;
    };
    const Case cases[] = {
        // Sections, with and without titles; a title may span lines.
        {{u"\\pOne", u"\\pTwo"},
         "<section id=\"_section1\"><p>One</p></section><section "
         "id=\"_section2\"><p>Two</p></section>"},
        {{u"\\xChapter \\iOne\\i\\x", u"Text."},
         "<section id=\"_section1\"><title><p>Chapter "
         "<i>One</i></p></title><p>Text.</p></section>"},
        {{u"\\X1Part\\X1 after"}, "<title><p>Part</p></title><p>after</p>"},
        {{u"\\X0Two", u"lines\\X0"}, "<title><p>Two</p><p>lines</p></title>"},
        // Alignment and indentation apply from the next paragraph on.
        {{u"\\cCentred\\c plain", u"\\rRight\\r"},
         "<p style=\"text-align: center; text-indent: 0px; \">Centred</p><p>plain</p>"
         "<p style=\"text-align: right; \">Right</p>"},
        {{u"\\tIndented", u"still\\t", u"not"},
         "<p style=\"margin-left: 15%; \">Indented</p><p style=\"margin-left: 15%; \">still</p>"
         "<p>not</p>"},
        // Styles nest: closing one closes those opened inside it, which open
        // again; they carry on over lines.
        {{u"\\bbold \\iboth\\b italic", u"still\\i \\uu\\u \\ostruck\\o \\Bb\\B"},
         "<p><b>bold <i>both</i></b><i> italic</i></p><p><i>still</i> <u>u</u> "
         "<strikethrough>struck</strikethrough> <b>b</b></p>"},
        // Links, anchors, images and rules.
        {{u"see \\q=\"#n1\"note\\q\\Q=\"here\"", u"\\m=\"pic.png\"", u"a\\w=\"50%\"b"},
         "<p>see <a href=\"#n1\">note</a><a name=\"here\"/></p><p><img src=\"pic.png\"/></p>"
         "<p>a</p><hr/><p>b</p>"},
        // Characters.
        {{u"\\U00e9t\\U00E9 \\a151 \\a065\\a066 soft\\-hyphen \\\\ back"},
         "<p>\u00e9t\u00e9 \u2014 AB soft\u00adhyphen \\ back</p>"},
        // Hidden text, skipped and ignored commands, unknown ones.
        {{u"\\vhidden \\bbold\\b\\v shown", u"\\C1=\"Chapter\"\\T=\"5%\"text\\n\\s\\l\\d",
          u"\\kcaps\\k \\Fn=\"1\"x\\Fn"},
         "<p>shown</p><p>text</p><p>caps x</p>"},
        // White space collapses; empty lines give nothing.
        {{u"  two   words  ", u"", u"   ", u"\t\\i \\i x"}, "<p>two words</p><p>x</p>"},
    };
    for (const Case& c : cases) {
        std::string in;
        for (const std::u16string& l : c.lines) in += utf8(l) + " | ";
        EXPECT_EQ(pml(c.lines), c.xml) << in;
    }
}

TEST(PmlImport, DetectedFilesAreReadAsWindows1252) {
    std::string text = "\\pThe caf\xE9 \\a151 \\bChapter\\B\n";
    for (int i = 0; i < 12; ++i) text += "\\bLine " + std::to_string(i) + "\\b of PML.\n";
    const Imported r = import(text, false, "The Book. Of PML.txt");
    EXPECT_EQ(r.flags, TXT_PML);
    EXPECT_EQ(r.xml.rfind("<?xml version=\"1.0\" encoding=\"windows-1252\"/>", 0), 0u);
    // The first line is markup, not an author and a title.
    EXPECT_EQ(r.description(), "<book-title>The Book. Of PML</book-title>");
    const std::string body = r.body();
    EXPECT_EQ(body.rfind("<section id=\"_section1\"><p>The caf\xC3\xA9 \xE2\x80\x94 <b>Chapter</b>"
                         "</p><p><b>Line 0</b> of PML.</p>",
                         0),
              0u)
        << body.substr(0, 200);
    EXPECT_EQ(countOf(body, "<b>"), 13u);
}

// A program text with many "\n" escapes reads as PML; valid UTF-8 stays UTF-8.
TEST(PmlImport, EscapeHeavyUtf8TextIsTakenForPml) {
    std::string text = "// Grüße\n";
    for (int i = 0; i < 25; ++i) text += "printf(\"line %d\\n\", " + std::to_string(i) + ");\n";
    const Imported r = import(text);
    EXPECT_EQ(r.flags, TXT_PML);
    EXPECT_NE(r.body().find("<p>// Grüße</p><p>printf(\"line %d\", 0);</p>"), std::string::npos)
        << r.body().substr(0, 200);
}

}  // namespace
