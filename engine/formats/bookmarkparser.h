// Exported bookmark lists: a UTF-8 text file with a byte-order mark whose
// header names the book, followed by groups of bookmark lines separated by
// empty lines. LVTextBookmarkParser opens such a file as a small document: a
// title block naming the book, then one section per group.
//
// The header ends at the first empty line; of its lines these are read:
//   # file name: NAME
//   # file path: FOLDER
//   # book title: TITLE
//   # author: AUTHORS
// A bookmark line may start with a three-character marker: two equal
// characters below 'A' and a space ("## ", "** "). The marker (or, for "## ",
// the rest of the line) is written in bold before the text.
#pragma once

#include <cstdint>
#include <string>

#include "dom/xmlcallback.h"
#include "formats/textparser.h"

class LVTextBookmarkParser : public LVTextLineReader {
public:
    // Lines longer than this are cut.
    static constexpr int32_t kMaxLineLength = 20000;

    LVTextBookmarkParser(const StreamHandle& stream, LVXMLParserCallback* callback);
    ~LVTextBookmarkParser() override;

    // The file starts with the UTF-8 byte-order mark followed by exactly
    // "# Quiverleaf 3 - exported bookmarks\r\n# file name: ". Selects UTF-8.
    bool CheckFormat() override;
    // Writes the document: OnStart, ?xml, OnEncoding, FictionBook with a
    // description whose book-title is "Bookmarks: " + the authors and two
    // spaces (when known) + the title (or, without one, the file name) + two
    // spaces; a body with the title block ("Quiverleaf Bookmarks file" and
    // the file, path, title and author lines that have values, then an
    // empty-line), then a section per group of bookmark lines; OnStop.
    bool Parse() override;

private:
    // A p (style "text-indent: 0em") with the label in strong, then the
    // text; nothing when the text is empty.
    void writeLabelled(const std::u16string& label, const std::u16string& text);
    void writeText(const std::u16string& text);

    LVXMLParserCallback* callback_;
};
