// Plain text import: a text file of any encoding becomes a FictionBook-shaped
// document (a description with title and authors, then a body of paragraphs,
// headings grouped into sections, and empty lines).
//
// Plain text carries no markup, so LVTextParser looks at the layout of the
// first 2000 lines (margins, indentation, empty lines, centred lines, typical
// line lengths) and picks one of five import modes: a paragraph per line, a
// paragraph per indented line, paragraphs between empty lines, preformatted
// lines, or Palm Markup Language (PML). It recognises the header of Project
// Gutenberg e-texts and an "Author. Title" first line. The file is read in
// batches of lines, so memory does not grow with its size.
//
// The line reader (LVTextLineReader) is shared with the bookmark-list reader
// of bookmarkparser.h.
#pragma once

#include <cstdint>
#include <string>

#include "dom/xmlcallback.h"
#include "formats/textfile.h"

// Import modes and layout traits found by the layout detection.
enum : uint32_t {
    TXT_PARA_PER_LINE = 0x0001,       // every line is a paragraph
    TXT_IDENT_PARA = 0x0002,          // paragraphs start at indented lines
    TXT_EMPTY_LINE_PARA = 0x0004,     // paragraphs are separated by empty lines
    TXT_CENTERED_HEADERS = 0x0008,    // centred lines occur and may be headings
    TXT_FEW_EMPTY_LINES = 0x0010,     // indented layout with under 7% empty lines
    TXT_SHORT_LINES = 0x0020,         // the longest line ends before column 80
    TXT_RIGHT_JUSTIFIED = 0x0040,     // the most frequent right end is the last column
    TXT_IGNORE_EMPTY_LINES = 0x0080,  // empty lines are not written
    TXT_PREFORMATTED = 0x0100,        // every line is kept as preformatted text
    TXT_PML = 0x0200,                 // Palm Markup Language
};

// Line flags.
enum : uint32_t {
    TEXT_LINE_EOL = 0x0001,     // ended by a line break or the end of the file
    TEXT_LINE_MARKED = 0x2000,  // a separator line, or one marked with 0x14 ... 0x15
};

// Line classes, computed once the layout statistics exist.
enum TextLineClass : uint8_t {
    LineClassUnknown = 0,
    LineClassBlank = 1,
    LineClassLeft = 2,  // starts at the minimum left position
    LineClassIndented = 3,
    LineClassCentered = 4,
    LineClassRight = 5,  // right-aligned or otherwise off the left margin
    LineClassFull = 6,   // from the minimum left to the maximum right position
};

// One physical line of text.
struct LVTextLine {
    std::u16string text;  // leading white space kept, line break removed
    uint32_t flags = 0;
    // Columns (tabs advance to the next multiple of 8): of the first
    // non-blank character, and after the last one; both 0 for a blank line.
    int32_t left = 0;
    int32_t right = 0;
    TextLineClass lineClass = LineClassUnknown;

    bool isBlank() const { return left == right; }
};

// An LVTextFileBase that reads its text line by line.
class LVTextLineReader : public LVTextFileBase {
public:
    explicit LVTextLineReader(const StreamHandle& stream);
    ~LVTextLineReader() override;

    // Also forgets the rest of a line that was cut.
    void Reset() override;

    // Reads the next line into line; false at the end of the text.
    //
    // A line ends at a line break (carriage return, line feed, or the two
    // next to each other in either order), or at the end of the text; both
    // set TEXT_LINE_EOL. A line that would grow past maxLength characters is
    // cut after its last space or tab (not counting its indentation), or,
    // when it has none, at maxLength characters, never between the halves of
    // a surrogate pair; the rest starts the next line, and the cut line has
    // no TEXT_LINE_EOL. Then, looking past the indentation, a line starting
    // with 0x14 and ending with 0x15 loses both, and a line made only of '*',
    // only of '-' or only of '=' (blanks between allowed) becomes "* * *";
    // both get TEXT_LINE_MARKED. The positions are those of the final text.
    bool readLine(int32_t maxLength, LVTextLine& line);

private:
    int nextChar();
    int peekNext();

    std::u16string lineBuf_;  // the line being read
    std::u16string carry_;    // the rest of a cut line
    size_t carryPos_ = 0;
};

// The heading level a text suggests: 1 "volume"/"vol"/"том", 2 "part"/
// "часть", 3 "chapter"/"глава" (at the start, case ignored), 5 + the number
// of dots for digits and dots starting with a digit (under 80 characters),
// 4 for an upper-case Roman numeral from I to XXXIX; otherwise 0.
int textHeadingLevel(const lvchar16* text, int32_t length);

// Sends text[0..length) to the callback in runs of at most maxRun
// characters, each cut after a space or a line break when there is one (and
// never between the halves of a surrogate pair), so that no run exceeds what
// a text node holds.
void deliverTextRuns(LVXMLParserCallback* callback, const lvchar16* text, int32_t length,
                     uint32_t flags, int32_t maxRun);

class LVTextLineQueue;

class LVTextParser : public LVTextLineReader {
public:
    // Lines longer than this are cut.
    static constexpr int32_t kMaxLineLength = 2000;
    // PML paragraphs are lines, often long ones: they are cut only past this.
    static constexpr int32_t kMaxPmlLineLength = 20000;
    // Lines the layout detection looks at.
    static constexpr int kStatLines = 2000;

    // preformatted: keep every line as preformatted text (the
    // "qlengine.file.txt.preformatted" setting).
    LVTextParser(const StreamHandle& stream, LVXMLParserCallback* callback, bool preformatted);
    ~LVTextParser() override;

    // Detects the encoding (failing when detection fails), then looks at up
    // to 16383 characters of the first 16 KB: at least 17 are needed; any of
    // the control characters 0..6, 11, 14..19, 22..29 and 31 rejects the
    // file; and spaces and tabs must make up a sixteenth of them unless a
    // line break occurs.
    bool CheckFormat() override;
    // Imports the whole text into the callback: OnStart, an ?xml element,
    // OnEncoding, FictionBook with description (title-info: authors and
    // book-title) and body, OnStop. Paragraph text goes out with TEXT_TRIM
    // and TEXT_TRIM_REMOVE_EOL_HYPHENS already applied (preformatted lines
    // with their tabs expanded), in runs of at most kMaxTextRun characters.
    // True when the text was read to its end (false after Stop).
    //
    // PML files are read again as windows-1252 unless a byte-order mark or
    // valid non-ASCII UTF-8 has fixed the encoding. The layout detection
    // takes a text with more than 20 PML commands (a backslash followed by
    // one of C Q U X a b c l m n o p q r s t u v x) for PML, so a program
    // listing full of "\n" escapes is imported as PML too.
    bool Parse() override;

    // The flags the layout detection chose (valid after Parse).
    uint32_t formatFlags() const { return formatFlags_; }
    // Text runs longer than this are delivered in pieces, cut after a space.
    static constexpr int32_t kMaxTextRun = 8192;

private:
    friend class LVTextLineQueue;

    LVXMLParserCallback* callback_;
    bool preformatted_;
    uint32_t formatFlags_ = 0;
};
