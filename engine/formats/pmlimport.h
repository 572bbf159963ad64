// Palm Markup Language: text lines with backslash commands, as eReader books
// carry them. LVPmlImport turns such lines into document events, one
// paragraph per line.
//
// Commands:
//   \p               new section (id "_section" + its 1-based number)
//   \x ... \x        a title that starts a new section
//   \Xn ... \Xn      a title (n = 0..4) in the current section
//   \c, \r           end the paragraph and toggle centred / right alignment
//   \t               toggle indentation (margin-left: 15%)
//   \b \B \i \o \u   toggle b, b, i, strikethrough, u
//   \q="#t" ... \q   a link to t
//   \Q="name"        an anchor
//   \m="file"        an image (img src)
//   \w="50%"         end the paragraph and draw a rule (hr)
//   \Uxxxx           the character with that hexadecimal code
//   \aNNN            the character with that decimal code (128..255 read
//                    as windows-1252)
//   \-  \\           soft hyphen, backslash
//   \v ... \v        hidden text (its characters are dropped)
//   \Cn="..."  \T="..."   skipped with their argument
//   \d \l \n \s      ignored
// Any other command is dropped with a ="..." argument that follows it (the
// two-letter \Fn, \Sd, \Sp and \Sb among them); a backslash before
// anything but a letter is dropped.
//
// A paragraph (p, with a style for indentation and alignment) opens at its
// first visible output and closes at the end of the line. Inline styles stay
// on from line to line until toggled off and are reopened inside every new
// paragraph. Turning a style off closes the styles opened after it as well,
// which stay on and open again at the next output, so elements always nest.
// White space is collapsed to single spaces; leading and trailing space of a
// paragraph is dropped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dom/xmlcallback.h"
#include "foundation/lvstring.h"

class LVPmlImport {
public:
    explicit LVPmlImport(LVXMLParserCallback* callback);

    // Imports one line as one paragraph.
    void addLine(const lvchar16* text, int32_t length);
    // Closes everything still open (paragraph, title, section).
    void finish();

    // Paragraphs written so far.
    int paragraphCount() const { return paragraphs_; }

private:
    enum Style { StyleBold, StyleItalic, StyleStrike, StyleUnderline, StyleLink, StyleCount };
    struct ActiveStyle {
        Style style;
        std::u16string href;  // links only
    };

    void addChar(lvchar16 c);
    void flushText();
    // Opens the paragraph (when needed) and every active style not yet open.
    void openOutput();
    void endParagraph();
    void toggleStyle(Style style, const std::u16string& href = std::u16string());
    void toggleTitle(bool newSection);
    void closeTitle();
    void newSection();
    void closeSection();
    void emptyElement(const char16_t* name, const char16_t* attr, const std::u16string& value);
    // Reads ="value" at text[i]; advances i past it. False when absent.
    static bool readArgument(const lvchar16* text, int32_t length, int32_t& i,
                             std::u16string& value);

    LVXMLParserCallback* cb_;
    std::u16string text_;              // collapsed text not yet delivered
    std::vector<ActiveStyle> active_;  // styles on, in the order they were turned on
    size_t opened_ = 0;                // how many of them are open in the paragraph
    bool paraOpen_ = false;
    bool paraHasOutput_ = false;
    bool lastWasSpace_ = false;
    bool titleOpen_ = false;
    bool sectionOpen_ = false;
    bool indent_ = false;
    int align_ = 0;  // 0 none, 1 centred, 2 right
    bool hidden_ = false;
    int sections_ = 0;
    int paragraphs_ = 0;
};
