// The tolerant XML tokenizer behind FictionBook, XHTML and HTML, and its HTML
// flavour. It turns a byte stream into LVXMLParserCallback events and never
// fails on malformed markup.
//
// Events: OnStart; for each tag OnTagOpen(prefix, name), OnAttribute for each
// attribute, OnTagBody, then text (OnText) and nested tags, and
// OnTagClose(prefix, name); OnEncoding whenever the encoding is chosen or
// changes; OnStop at the end. Processing instructions are elements whose name
// starts with '?' ("?xml", "?xml-stylesheet") and close at once; the
// encoding attribute of "?xml" selects the charset.
//
// Markup:
// - A name starts with an ASCII letter and goes on with letters, digits,
//   '-', '.' and '_'; one ':' separates the prefix. It ends at whitespace,
//   '/', '=', '>', '?' or the end of the input.
// - Attribute values are quoted (either quote, running to the closing one,
//   past any '>', when it comes before the next '<') or unquoted (up to
//   whitespace or '>'); a value without its closing quote ends at '>'.
//   Character references are decoded in every value.
// - Comments, DOCTYPE and other declarations are skipped; CDATA is text,
//   taken literally.
// - A '<' that is not followed by a letter, '/', '?' or '!' is text.
// - Anything unreadable inside a tag skips to the end of that tag (or to the
//   next '<' when one comes first); a tag cut off by the end of the input
//   still gets OnTagBody.
// Text:
// - The callback's getFlags() is asked before every run of text, and the run
//   goes back with those flags. Without TEXT_PRE (or with
//   TEXT_PRE_PARA_SPLITTING) whitespace collapses to single spaces; with it,
//   line breaks are kept (CR LF and LF CR give one LF) and tabs expand to 8
//   columns. The TEXT_TRIM flags are applied as finishTextRun does.
// - References: the 252 names of HTML 4.01 and "apos", ended by ';' or a
//   space; decimal and hexadecimal numbers ended by ';' (0 gives nothing,
//   values beyond 16 bits and surrogates give U+FFFD). Unknown names stay as
//   written. With TEXT_ENTITIES_IN_CODEPAGE named characters 128..255 stand
//   for bytes of the document's 8-bit code page.
// - Runs of more than 8192 characters are delivered in pieces cut after a
//   space or line break (never inside a reference); with
//   TEXT_PRE_PARA_SPLITTING every line that starts with whitespace begins a
//   new run.
#pragma once

#include <cstdint>
#include <vector>

#include "dom/xmlcallback.h"
#include "formats/textfile.h"

class LVXMLParser : public LVTextFileBase {
public:
    // Runs longer than this are delivered in pieces, cut after a space or a
    // line break where there is one.
    static constexpr int32_t kMaxTextRun = 8192;
    // Characters a format check looks at.
    static constexpr int kCheckChars = 8191;

    // allowHtml: CheckFormat also accepts XHTML (an html element in the
    // XHTML namespace). fb2Only: CheckFormat requires a FictionBook root.
    LVXMLParser(const StreamHandle& stream, LVXMLParserCallback* callback, bool allowHtml = true,
                bool fb2Only = false);
    ~LVXMLParser() override;

    // Detects the encoding and looks at the first 8191 characters. They must
    // be at least 31 and, when fb2Only, contain "<FictionBook". Then the text
    // qualifies when
    //   - it contains "<?xml", or " xmlns=" after its first character, and
    //     "version=" appears at position 6 or later; or
    //   - allowHtml is on and it contains
    //     <html xmlns="http://www.w3.org/1999/xhtml"
    // A qualifying text that declares encoding="..." (either quote) selects
    // that charset.
    bool CheckFormat() override;
    bool Parse() override;

protected:
    // Tells the callback the encoding in force (OnEncoding).
    void onCharsetChanged() override;

    LVXMLParserCallback* callback_;
    bool allowHtml_;
    bool fb2Only_;
    bool lowercaseNames_ = false;

private:
    static constexpr int kMaxName = 128;
    static constexpr int kRawEndMax = 8;  // "script", "style"

    // One step of each tokenizer state; each returns the next state, or -1
    // at the end of the input.
    int stateTagStart();
    int stateAttributes();
    int stateText();
    // Skips to the first '<' that starts a tag and consumes it.
    bool skipToTag();
    // Reads prefix:name at the read position into the given buffers.
    bool readQualifiedName(lvchar16* prefix, lvchar16* name);
    void readAttributeValue();
    void skipWhitespace();
    // Skips past the next '>' (false at the end of the input).
    bool skipPastGt();
    void skipComment();
    void skipDeclaration();
    enum TextMode {
        TextMarkup,  // up to the next tag; references decoded
        TextCData,   // up to "]]>", literally
        TextRaw,     // HTML script or style: up to its end tag, literally
    };
    // Reads text up to what ends it in the mode, delivering it in runs;
    // consumes the end ('<' of the next tag, or "]]>").
    void readText(TextMode mode);
    // At a '<' (or ']' in CDATA): true when it ends the text.
    bool atTextEnd(TextMode mode);
    // Entity and whitespace pass, trimming and tab expansion, then OnText.
    // cutShort: the text goes on in the next run.
    void deliverRun(int32_t length, uint32_t flags, TextMode mode, bool cutShort);
    // Hands the first cut characters of the run buffer over and keeps the
    // rest for the next run.
    void deliverPrefix(int32_t cut, uint32_t flags, TextMode mode, bool cutShort = false);
    int32_t cutPosition(int32_t length, int32_t lastSpace) const;
    // Decodes character references in t[0..length) in place (unless
    // literal) with the whitespace handling of text (unless attribute);
    // returns the new length.
    int32_t decodeText(lvchar16* t, int32_t length, uint32_t flags, bool attribute, bool literal);
    // The character a reference at t[i] == '&' stands for: -1 when it is no
    // reference, 0 when it stands for nothing; *used gets its length.
    int32_t decodeReference(const lvchar16* t, int32_t i, int32_t length, bool codePage,
                            int32_t* used);
    void closePendingTag();

    lvchar16 tagPrefix_[kMaxName + 2] = {};
    lvchar16 tagName_[kMaxName + 2] = {};
    lvchar16 attrPrefix_[kMaxName + 2] = {};
    lvchar16 attrName_[kMaxName + 2] = {};
    lvchar16 rawEnd_[kRawEndMax] = {};  // element whose end tag ends raw text
    std::vector<lvchar16> value_;
    std::vector<lvchar16> run_;
    std::vector<lvchar16> scratch_;
    std::vector<lvchar16> tabs_;
    int32_t runLength_ = 0;
    bool closeTag_ = false;
    bool piTag_ = false;
    bool tagBodyPending_ = false;
    bool inBody_ = false;
};

// HTML: element and attribute names are lower-cased, the text of script and
// style elements runs to their end tag whatever '<' it holds, and the format
// check looks for html/head/body (or an HTML file name) and a meta charset.
class LVHTMLParser : public LVXMLParser {
public:
    LVHTMLParser(const StreamHandle& stream, LVXMLParserCallback* callback);
    ~LVHTMLParser() override;

    // Detects the encoding: every kind when no charset is set yet, otherwise
    // only the Unicode forms, keeping the set charset when they fail or the
    // sample is plain ASCII. Then, of the first 8191 characters (more than 30
    // are needed, compared in lower case), HTML is text containing "<html"
    // and "<head" or "<body", or text with "<!--", "<p>" or "ul" in a file
    // named *.htm, *.html, *.hhc or *.xhtml. A charset from a meta tag
    // (http-equiv Content-Type or charset=) other than utf-16 is selected.
    bool CheckFormat() override;
};
