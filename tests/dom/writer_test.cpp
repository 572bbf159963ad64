#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "dom/dochooks.h"
#include "dom/ldomdocument.h"
#include "dom/ldomnode.h"
#include "dom/position.h"
#include "dom/treedump.h"
#include "dom/writer.h"
#include "formats/fileparser.h"
#include "markup_driver.h"

namespace {

using markup::build;
using markup::feed;
using markup::Writer;
using markup::xml;

struct TreeCase {
    const char* name;
    const char* markup;
    const char* expected;
};

void checkCases(const std::vector<TreeCase>& cases, Writer kind, uint32_t flags = DOC_FLAGS_DEFAULT) {
    for (const TreeCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = build(c.markup, kind, flags);
        EXPECT_EQ(xml(doc.get()), c.expected);
        EXPECT_EQ(doc->getMutableElementCount(), 0u) << "every closed element is persistent";
    }
}

TEST(DocumentWriter, BuildsTheTreeTheEventsDescribe) {
    checkCases(
        {
            {"nesting and attributes", "<FictionBook><body><p id=\"a\">x<b>y</b>z</p></body></FictionBook>",
             "<FictionBook><body><p id=\"a\">x<b>y</b>z</p></body></FictionBook>"},
            {"prefixes", "<body><l:a l:href=\"#n\">t</l:a></body>",
             "<body><l:a l:href=\"#n\">t</l:a></body>"},
            {"unclosed elements close at the end", "<body><p>a<i>b", "<body><p>a<i>b</i></p></body>"},
            {"a closing tag closes down to its element", "<body><div><p>a</div>b</body>",
             "<body><div><p>a</p></div>b</body>"},
            {"an unmatched closing tag closes nothing", "<body><p>a</em>b</p></body>",
             "<body><p>ab</p></body>"},
            {"text where the element holds none is dropped", "<section>x<p>y</p></section>",
             "<section><p>y</p></section>"},
            {"text outside every element is dropped", "x<body>y</body>z", "<body>y</body>"},
            {"preformatted text keeps its blanks", "<body><pre>  a\n  b</pre></body>",
             "<body><pre>  a&#xA;  b</pre></body>"},
            {"unknown elements hold text", "<body><aside>n</aside></body>", "<body><aside>n</aside></body>"},
        },
        Writer::Plain);
}

TEST(DocumentWriter, TagSoupThroughTheFilter) {
    checkCases(
        {
            {"p closes p", "<body><p>a<p>b</body>", "<body><p>a</p><p>b</p></body>"},
            {"td closes td and what is open in it", "<table><tr><td><b>a<td>b</table>",
             "<table><tr><td><b>a</b></td><td>b</td></tr></table>"},
            {"tr closes the row", "<table><tr><td>a<tr><td>b</table>",
             "<table><tr><td>a</td></tr><tr><td>b</td></tr></table>"},
            {"nested lists keep their nesting", "<ul><li>a<ul><li>b<li>c</ul><li>d</ul>",
             "<ul><li>a<ul><li>b</li><li>c</li></ul></li><li>d</li></ul>"},
            {"nested tables keep their nesting",
             "<table><tr><td>a<table><tr><td>b<td>c</table><td>d</table>",
             "<table><tr><td>a<table><tr><td>b</td><td>c</td></tr></table></td><td>d</td></tr></table>"},
            {"br becomes a paragraph", "<body>a<br>b<br>c</body>", "<body>a<p>b</p><p>c</p></body>"},
            {"br with non-breaking spaces is an indented paragraph",
             "<body><br>\u00a0\u00a0 text</body>", "<body><p class=\"justindent\">text</p></body>"},
            {"dd with non-breaking spaces is an indented paragraph",
             "<dl><dt>t</dt><dd>\u00a0\u00a0d</dl>",
             "<dl><dt>t</dt><p class=\"justindent\">d</p></dl>"},
            {"a later non-breaking space stays", "<body><br>x <i>i</i>\u00a0y</body>",
             "<body><p>x <i>i</i>&#xA0;y</p></body>"},
            {"text closes an element without content", "<body><hr>text</body>", "<body><hr/>text</body>"},
            {"a tag closes an element without content", "<p>a<img src=i.png><b>b</b></p>",
             "<p>a<img src=\"i.png\"/><b>b</b></p>"},
            {"head links do not swallow the title",
             "<html><head><link rel=stylesheet href=a.css><title>T</title></head></html>",
             "<html><head><link rel=\"stylesheet\" href=\"a.css\"/><title>T</title></head></html>"},
            {"a narrow right-aligned table is dropped",
             "<body><p>a</p><table align=right width=\"30%\"><tr><td>nav</table></body>",
             "<body><p>a</p></body>"},
            {"a right-aligned table of another width stays",
             "<body><table align=right width=\"50%\"><tr><td>x</table></body>",
             "<body><table width=\"50%\" style=\"text-align: right\"><tr><td>x</td></tr></table></body>"},
            {"text wrapped in pre after a navigation form",
             "<body><div align=right><form>f</form></div><pre>\t\tTitle\n-----\n  text\n\n</pre></body>",
             "<body><div><h2>Title</h2><hr/><p>text</p></div></body>"},
            {"a page cut off inside a tag", "<body><p class=\"x", "<body><p class=\"x\"/></body>"},
        },
        Writer::Filter);
}

TEST(DocumentWriter, AlignBecomesStyleOnlyWithInternalStyles) {
    checkCases(
        {
            {"center", "<p align=center>x</p>", "<p style=\"text-align: center\">x</p>"},
            {"appended to a style", "<p style=\"color: red\" align=RIGHT>x</p>",
             "<p style=\"color: red; text-align: right\">x</p>"},
            {"unknown values are dropped", "<p align=middle>x</p>", "<p>x</p>"},
        },
        Writer::Filter);
    checkCases({{"disabled", "<p align=center>x</p>", "<p>x</p>"}}, Writer::Filter,
               DOC_FLAGS_DEFAULT & ~DOC_FLAG_ENABLE_INTERNAL_STYLES);
}

TEST(DocumentWriter, HtmlHeadGivesTheTitleButNoBookText) {
    auto doc = build(
        "<html><head><title>  The\n Title </title><style>p { color: red }</style>"
        "<script>var x = 1;</script></head><body><p>Body</p><script>y()</script></body></html>",
        Writer::Filter);
    EXPECT_EQ(markup::prop(doc.get(), "doc.title"), "The Title");
    EXPECT_EQ(markup::utf8(dumpDocumentText(doc.get())), "Body");
}

TEST(DocumentWriter, DeepNestingIsCapped) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<div>";
    deep += "x";
    for (Writer kind : {Writer::Plain, Writer::Filter}) {
        auto started = std::chrono::steady_clock::now();
        Ref<ldomDocument> doc = ldomDocument::create();
        std::unique_ptr<ldomDocumentWriter> writer;
        if (kind == Writer::Plain) writer = std::make_unique<ldomDocumentWriter>(doc.get());
        else writer = std::make_unique<ldomDocumentWriterFilter>(doc.get());
        feed(*writer, deep, false);
        writer->OnStart(nullptr);  // a writer that is not started ignores events
        EXPECT_EQ(writer->depth(), 0);
        feed(*writer, deep, false);
        EXPECT_EQ(writer->depth(), ldomDocumentWriter::kMaxDepth);
        EXPECT_EQ(writer->depthCapClosures(), 100000u - ldomDocumentWriter::kMaxDepth);
        writer->OnStop();
        EXPECT_EQ(doc->getElementCount(), 100001u);  // root and every div
        EXPECT_EQ(doc->getMutableElementCount(), 0u);
        // The text is in the innermost div, 1000 levels down.
        ldomNode* n = doc->getRootNode();
        int levels = 0;
        while (n->getChildCount() > 0 && n->getChildNode(n->getChildCount() - 1)->isElement()) {
            n = n->getChildNode(n->getChildCount() - 1);
            ++levels;
        }
        EXPECT_EQ(levels, ldomDocumentWriter::kMaxDepth);
        EXPECT_EQ(markup::utf8(n->getText()), "x");
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_LT(seconds, 1.0);
    }
}

// Records the styling calls a writer makes.
class RecordingStyler : public DocumentStyler {
public:
    explicit RecordingStyler(std::vector<std::string>& log, bool active)
        : log_(log), active_(active) {}
    bool isActive() const override { return active_; }
    bool pushElementStyleSheet(ldomNode*, const LVString16& value) override {
        log_.push_back("push " + markup::utf8(value));
        return true;
    }
    void pushStyleSheetLevel() override { log_.push_back("level"); }
    void popStyleSheet() override { log_.push_back("pop"); }
    void applyDocumentStyleSheet(ldomDocument& doc) override {
        log_.push_back("apply " + markup::utf8(doc.getStylesheetFileName()));
    }
    void registerFragmentStyleSheet(ldomNode*, const LVString16& css,
                                    const LVString16& href) override {
        log_.push_back("fragment " + markup::utf8(href) + " " + markup::utf8(css));
    }
    bool initElementStyle(ldomNode* e) override {
        log_.push_back("init " + markup::utf8(e->getNodeName()));
        return true;
    }
    void finishElement(ldomNode* e) override { log_.push_back("finish " + markup::utf8(e->getNodeName())); }
    void finalizeDocument(ldomDocument&) override { log_.push_back("finalize"); }

private:
    std::vector<std::string>& log_;
    bool active_;
};

TEST(DocumentWriter, StylingHooksAreCalledAtTheirPoints) {
    std::vector<std::string> log;
    Ref<ldomDocument> doc = ldomDocument::create();
    doc->getProps()->setString("doc.file.code.base", "OEBPS/");
    doc->setStyler(std::make_unique<RecordingStyler>(log, true));
    {
        ldomDocumentWriter unused(doc.get());  // never started: leaves the document alone
        ldomDocumentWriter writer(doc.get());
        feed(writer,
             "<html><head><link rel=\"stylesheet\" type=\"text/css\" href=\"css/a.css\"/></head>"
             "<body><div StyleSheet=\"s.css\">  <p>x</p></div><stylesheet>p{}</stylesheet></body>"
             "</html>");
        log.push_back("--stop");
    }
    const std::vector<std::string> expected = {
        "init html", "init head", "init link", "apply OEBPS/css/a.css", "finish link",
        "finish head", "init body", "push s.css", "init div",
        "init p", "finish p", "finish div", "pop", "init stylesheet", "finish stylesheet",
        "level", "apply OEBPS/css/a.css", "finish body", "finish html",
        "--stop", "pop", "finalize"};
    EXPECT_EQ(log, expected);
    // With styles computed while parsing, a block starts without blank text.
    EXPECT_EQ(xml(doc.get()),
              "<html><head><link rel=\"stylesheet\" type=\"text/css\" href=\"css/a.css\"/></head>"
              "<body><div StyleSheet=\"s.css\"><p>x</p></div><stylesheet>p{}</stylesheet></body>"
              "</html>");
}

TEST(DocumentWriter, BlobsAndProperties) {
    struct Sink : DocumentBlobSink {
        std::vector<std::string> names;
        bool addBlob(const LVString16& name, const uint8_t*, int32_t size) override {
            names.push_back(markup::utf8(name) + ":" + std::to_string(size));
            return true;
        }
    };
    Ref<ldomDocument> doc = ldomDocument::create();
    ldomDocumentWriter writer(doc.get());
    const uint8_t bytes[3] = {1, 2, 3};
    EXPECT_FALSE(writer.OnBlob(LVString16("a.png"), bytes, 3)) << "no blob store yet";
    auto sink = std::make_unique<Sink>();
    Sink* s = sink.get();
    doc->setBlobSink(std::move(sink));
    EXPECT_TRUE(writer.OnBlob(LVString16("@blob#image0.png"), bytes, 3));
    EXPECT_TRUE(writer.OnBlob(LVString16("cover.jpg"), bytes, 2));
    EXPECT_EQ(s->names, (std::vector<std::string>{"image0.png:3", "cover.jpg:2"}));
    writer.OnDocProperty("doc.authors", LVString8("A. Author"));
    EXPECT_EQ(markup::prop(doc.get(), "doc.authors"), "A. Author");
}

// A parser stand-in that only records Stop.
class StopRecorder : public LVFileFormatParser {
public:
    bool stopped = false;
    void setProgressCallback(LVParserProgressListener*) override {}
    bool CheckFormat() override { return true; }
    bool Parse() override { return true; }
    void Reset() override {}
    void Stop() override { stopped = true; }
    void SetCharset(const lvchar16*) override {}
    void SetCharsetTable(const lvchar16*) override {}
    const lvchar16* GetCharsetTable() override { return nullptr; }
    void setKeepFlag(bool) override {}
    bool getKeepFlag() override { return false; }
    int getProgressPercent() override { return 0; }
    bool isEof() override { return false; }
};

TEST(DocumentWriter, HeaderOnlyStopsAfterTheDescription) {
    const char* book =
        "<FictionBook><description><title-info><book-title>B</book-title></title-info>"
        "</description><body><p>text</p></body></FictionBook>";
    for (bool headerOnly : {true, false}) {
        SCOPED_TRACE(headerOnly);
        Ref<ldomDocument> doc = ldomDocument::create();
        StopRecorder parser;
        {
            ldomDocumentWriterFilter writer(doc.get(), headerOnly);
            writer.OnStart(&parser);
            feed(writer, book, false);
            writer.OnStop();
        }
        EXPECT_EQ(parser.stopped, headerOnly);
        EXPECT_EQ(xml(doc.get()),
                  headerOnly ? "<FictionBook><description><title-info><book-title>B</book-title>"
                               "</title-info></description></FictionBook>"
                             : "<FictionBook><description><title-info><book-title>B</book-title>"
                               "</title-info></description><body><p>text</p></body></FictionBook>");
    }
}

// Three files merged through the fragment writer into one tree.
TEST(FragmentWriter, MergesFilesWithRewrittenIdsAndLinks) {
    Ref<ldomDocument> doc = ldomDocument::create();
    ldomDocumentWriterFilter parent(doc.get());
    ldomDocumentFragmentWriter writer(&parent, LVString16("body"), LVString16("DocFragment"),
                                      LVString16("OEBPS/a.html"));
    const char* files[][2] = {
        {"OEBPS/a.html",
         "<html><head><title>A</title><style>p { color: red }</style>"
         "<link rel=\"stylesheet\" type=\"text/css\" href=\"s1.css\"/>"
         "<link rel=\"stylesheet\" href=\"s2.css\"/><link rel=\"icon\" href=\"i.ico\"/></head>"
         "<body class=\"c\"><p id=\"x\"><a href=\"b.html#y\">1</a><a href=\"b.html\">2</a>"
         "<a href=\"http://e.com/b.html\">3</a><a href=\"#x\">4</a><a href=\"other.html#z\">5</a>"
         "<img src=\"img/p.png\"/></p></body></html>"},
        {"OEBPS/b.html", "<html><body><p id=\"y\">y<a name=\"n\">n</a></p></body></html>"},
        {"OEBPS/c.html", "<html><head><title>C</title></head><p>c1</p>c2</html>"},
        {"OEBPS/d.html", "<html><body><p>cut <b class=\"x"},
        {"OEBPS/e.html", "<title>E</title>\n  just <i>text</i>"},
    };
    for (int i = 0; i < 5; ++i)
        writer.addPath(LVString16(files[i][0]), LVString16(("_doc_fragment_" + std::to_string(i + 1)).c_str()));
    parent.OnStart(nullptr);
    for (auto& f : files) {
        writer.setCodeBase(LVString16(f[0]));
        feed(writer, f[1]);
    }
    parent.OnStop();
    EXPECT_EQ(xml(doc.get()),
              "<DocFragment StyleSheet=\"OEBPS/s1.css\" id=\"_doc_fragment_1\">"
              "<stylesheet href=\"OEBPS/\">@import url(\"s2.css\");&#xA;p { color: red }</stylesheet>"
              "<body class=\"c\"><p id=\"_doc_fragment_1_x\">"
              "<a href=\"#_doc_fragment_2_y\">1</a><a href=\"#_doc_fragment_2\">2</a>"
              "<a href=\"http://e.com/b.html\">3</a><a href=\"#_doc_fragment_1_x\">4</a>"
              "<a href=\"OEBPS/other.html#z\">5</a><img src=\"OEBPS/img/p.png\"/></p></body></DocFragment>"
              "<DocFragment id=\"_doc_fragment_2\"><body><p id=\"_doc_fragment_2_y\">y"
              "<a name=\"_doc_fragment_2_n\">n</a></p></body></DocFragment>"
              "<DocFragment id=\"_doc_fragment_3\"><body><p>c1</p>c2</body></DocFragment>"
              "<DocFragment id=\"_doc_fragment_4\"><body><p>cut <b class=\"x\"/></p></body></DocFragment>"
              "<DocFragment id=\"_doc_fragment_5\"><body>&#xA;  just <i>text</i></body></DocFragment>");
    // Links resolve to the places they name.
    ldomNode* second = positionFromString(doc.get(), LVString16("#_doc_fragment_2")).getNode();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->getNodeId(), ElemDocFragment);
    EXPECT_EQ(second->getNodeIndex(), 1);
    EXPECT_EQ(positionFromString(doc.get(), LVString16("#_doc_fragment_2_n")).getNode(),
              second->getChildNode(0)->getChildNode(0)->getChildNode(1));
    EXPECT_TRUE(positionFromString(doc.get(), LVString16("#y")).isNull());
}

TEST(FragmentWriter, ConvertHrefEdgeRules) {
    ldomDocumentWriter parent(nullptr);
    ldomDocumentFragmentWriter writer(&parent, LVString16("body"), LVString16("DocFragment"),
                                      LVString16("t/a.htm"));
    writer.addPath(LVString16("t/b.htm"), LVString16("_doc_fragment_2"));
    writer.setCodeBase(LVString16("t/a.htm"));  // not mapped: no prefix
    auto conv = [&](const char* v) { return markup::utf8(writer.convertHref(LVString16(v))); };
    EXPECT_EQ(conv("#top"), "#top");
    EXPECT_EQ(conv("b.htm"), "#_doc_fragment_2");
    EXPECT_EQ(conv("x/../b.htm#p1"), "#_doc_fragment_2_p1");
    EXPECT_EQ(conv("ftp://h/x"), "ftp://h/x");
    EXPECT_EQ(markup::utf8(writer.convertId(LVString16("i"))), "i");
    writer.setCodeBase(LVString16("t/b.htm"));
    EXPECT_EQ(conv("#top"), "#_doc_fragment_2_top");
    EXPECT_EQ(markup::utf8(writer.convertId(LVString16("i"))), "_doc_fragment_2_i");
}

TEST(TreeDump, IndentsAndEscapesStably) {
    auto doc = build("<body><p a=\"&quot;&lt;\">x &amp; y<b>\u00a0</b></p><br/><p>one</p></body>");
    // The driver has no entities: the ampersands above are literal text.
    EXPECT_EQ(std::string(dumpTreeXml(doc->getRootNode()).c_str()),
              "<body>\n"
              "  <p a=\"&amp;quot;&amp;lt;\">\n"
              "    x &amp;amp; y\n"
              "    <b>&#xA0;</b>\n"
              "  </p>\n"
              "  <br/>\n"
              "  <p>one</p>\n"
              "</body>\n");
    ldomNode* p = doc->getRootNode()->getChildNode(0)->getChildNode(2);
    EXPECT_EQ(std::string(dumpTreeXml(p, false).c_str()), "<p>one</p>");
}

}  // namespace
