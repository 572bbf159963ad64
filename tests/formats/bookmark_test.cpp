// Exported bookmark lists: recognition by the byte-order mark and exact
// header, the title block, one section per group, and marker lines.
#include <gtest/gtest.h>

#include <string>

#include "dom/ldomdocument.h"
#include "dom/treedump.h"
#include "dom/writer.h"
#include "formats/bookmarkparser.h"
#include "formats/textparser.h"
#include "formats_test_support.h"

namespace {

const std::string kBom = "\xEF\xBB\xBF";
const std::string kFirstLines = "# Quiverleaf 3 - exported bookmarks\r\n# file name: ";

bool isBookmarkList(const std::string& bytes) {
    LVCountingCallback cb;
    LVTextBookmarkParser parser(bytesStream(bytes), &cb);
    return parser.CheckFormat();
}

std::string importTree(const std::string& bytes) {
    Ref<ldomDocument> doc = ldomDocument::create();
    ldomDocumentWriter writer(doc.get());
    LVTextBookmarkParser parser(bytesStream(bytes), &writer);
    EXPECT_TRUE(parser.CheckFormat());
    EXPECT_TRUE(parser.Parse());
    LVString8 x = dumpTreeXml(doc->getRootNode(), false);
    return std::string(x.c_str(), static_cast<size_t>(x.length()));
}

std::string p(const std::string& label, const std::string& text) {
    std::string out = "<p style=\"text-indent: 0em\">";
    if (!label.empty()) out += "<strong>" + label + "</strong>";
    return out + text + "</p>";
}

TEST(BookmarkList, TitleBlockAndOneSectionPerGroup) {
    const std::string list = kBom + kFirstLines +
                             "moby.fb2\r\n"
                             "# file path: /books/sea\r\n"
                             "# book title: Moby Dick\r\n"
                             "# author: Herman Melville\r\n"
                             "# exported: 2024-05-01\r\n"
                             "\r\n"
                             "## Chapter 1. Loomings\r\n"
                             "Call me Ishmael.\r\n"
                             "\r\n"
                             "** Bookmark 2\r\n"
                             "Some  years ago.\r\n"
                             "\r\n"
                             "\r\n"
                             "!! x\r\n"
                             "AA not a marker\r\n"
                             "ab\r\n"
                             "#\r\n"
                             "\r\n";
    EXPECT_EQ(importTree(list),
              "<?xml version=\"1.0\" encoding=\"utf-8\"/><FictionBook><description><title-info>"
              "<book-title>Bookmarks: Herman Melville  Moby Dick  </book-title></title-info>"
              "</description><body>"
              "<title>" +
                  p("", "Quiverleaf Bookmarks file") + "</title>" + p("file: ", "moby.fb2") +
                  p("path: ", "/books/sea") + p("title: ", "Moby Dick") +
                  p("author: ", "Herman Melville") + "<empty-line/>" +
                  // "## " labels the rest of its line.
                  "<section>" + p("Chapter 1. Loomings", " ") + p("", "Call me Ishmael.") +
                  "</section>"
                  // Other markers are labels themselves.
                  "<section>" +
                  p("** ", "Bookmark 2") + p("", "Some years ago.") + "</section>" +
                  // Short lines are plain text.
                  "<section>" + p("!! ", "x") + p("", "AA not a marker") + p("", "ab") +
                  p("", "#") + "</section></body></FictionBook>");
}

TEST(BookmarkList, MissingHeaderValuesFallBack) {
    // Without a title the book title names the file; values that are not
    // there get no line in the title block.
    EXPECT_EQ(importTree(kBom + kFirstLines + "notes.txt\r\n\r\nOne\r\n"),
              "<?xml version=\"1.0\" encoding=\"utf-8\"/><FictionBook><description><title-info>"
              "<book-title>Bookmarks: notes.txt  </book-title></title-info></description><body>"
              "<title>" +
                  p("", "Quiverleaf Bookmarks file") + "</title>" + p("file: ", "notes.txt") +
                  "<empty-line/><section>" + p("", "One") + "</section></body></FictionBook>");
    // An author without a title; a header that runs to the end of the file.
    const std::string tree = importTree(kBom + kFirstLines + "\r\n# author: A. Writer");
    EXPECT_NE(tree.find("<book-title>Bookmarks: A. Writer  Unknown  </book-title>"),
              std::string::npos);
    EXPECT_EQ(tree.find("<section>"), std::string::npos);
}

TEST(BookmarkList, RecognisedOnlyWithByteOrderMarkAndExactHeader) {
    const std::string body = "book.fb2\r\n\r\n## Mark\r\n";
    struct Case {
        std::string bytes;
        bool list;
    };
    const Case cases[] = {
        {kBom + kFirstLines + body, true},
        {kFirstLines + body, false},  // no byte-order mark
        {kBom + "# Quiverleaf 3 - exported bookmarks\n# file name: " + body, false},  // LF only
        {kBom + "# Quiverleaf 2 - exported bookmarks\r\n# file name: " + body, false},
        {kBom + "# Quiverleaf 3", false},
        {kBom, false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(isBookmarkList(c.bytes), c.list) << c.bytes;

    // Lists that are not recognised still read as plain text.
    LVCountingCallback cb;
    LVTextParser text(bytesStream(cases[1].bytes), &cb, false);
    EXPECT_TRUE(text.CheckFormat());
}

}  // namespace
