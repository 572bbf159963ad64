#include "formats/pmlimport.h"

#include "foundation/encodings.h"
#include "foundation/textutil.h"

namespace {

const char16_t* const kStyleTags[] = {u"b", u"i", u"strikethrough", u"u", u"a"};

inline bool isBlank(lvchar16 c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline bool isAsciiLetter(lvchar16 c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Reads count digits of the given base at text[i]; -1 when they are not all
// there.
int32_t readNumber(const lvchar16* text, int32_t length, int32_t i, int count, int base) {
    if (i + count > length) return -1;
    int32_t v = 0;
    for (int k = 0; k < count; ++k) {
        const int d = base == 16
                          ? hexDigitValue(text[i + k])
                          : (text[i + k] >= '0' && text[i + k] <= '9' ? text[i + k] - '0' : -1);
        if (d < 0) return -1;
        v = v * base + d;
    }
    return v;
}

}  // namespace

LVPmlImport::LVPmlImport(LVXMLParserCallback* callback) : cb_(callback) {}

bool LVPmlImport::readArgument(const lvchar16* text, int32_t length, int32_t& i,
                               std::u16string& value) {
    value.clear();
    if (i + 1 >= length || text[i] != '=' || text[i + 1] != '"') return false;
    int32_t k = i + 2;
    while (k < length && text[k] != '"') value += text[k++];
    i = k < length ? k + 1 : k;
    return true;
}

void LVPmlImport::addChar(lvchar16 c) {
    if (hidden_) return;
    if (isBlank(c)) {
        if (!paraHasOutput_ && text_.empty()) return;  // leading space of a paragraph
        if (lastWasSpace_) return;
        text_ += u' ';
        lastWasSpace_ = true;
        return;
    }
    text_ += c;
    lastWasSpace_ = false;
}

void LVPmlImport::openOutput() {
    if (!paraOpen_) {
        std::u16string style;
        if (indent_) style += u"margin-left: 15%; ";
        if (align_ == 1) style += u"text-align: center; text-indent: 0px; ";
        if (align_ == 2) style += u"text-align: right; ";
        cb_->OnTagOpen(nullptr, u"p");
        if (!style.empty()) cb_->OnAttribute(nullptr, u"style", style.c_str());
        cb_->OnTagBody();
        paraOpen_ = true;
        opened_ = 0;
        ++paragraphs_;
    }
    while (opened_ < active_.size()) {
        const ActiveStyle& s = active_[opened_];
        cb_->OnTagOpen(nullptr, kStyleTags[s.style]);
        if (s.style == StyleLink) cb_->OnAttribute(nullptr, u"href", s.href.c_str());
        cb_->OnTagBody();
        ++opened_;
    }
    paraHasOutput_ = true;
}

void LVPmlImport::flushText() {
    if (text_.empty()) return;
    openOutput();
    cb_->OnText(text_.c_str(), static_cast<int32_t>(text_.size()),
                TEXT_TRIM | TEXT_TRIM_ALLOW_START_SPACE | TEXT_TRIM_ALLOW_END_SPACE);
    text_.clear();
}

void LVPmlImport::endParagraph() {
    if (!text_.empty() && text_.back() == u' ') text_.pop_back();
    flushText();
    if (paraOpen_) {
        while (opened_ > 0) {
            --opened_;
            cb_->OnTagClose(nullptr, kStyleTags[active_[opened_].style]);
        }
        cb_->OnTagClose(nullptr, u"p");
        paraOpen_ = false;
    }
    paraHasOutput_ = false;
    lastWasSpace_ = false;
}

void LVPmlImport::toggleStyle(Style style, const std::u16string& href) {
    flushText();
    size_t k = 0;
    while (k < active_.size() && active_[k].style != style) ++k;
    if (k == active_.size()) {
        active_.push_back({style, href});
        return;
    }
    // Close this style and everything opened inside it; the inner ones stay
    // on and open again at the next output.
    while (opened_ > k) {
        --opened_;
        cb_->OnTagClose(nullptr, kStyleTags[active_[opened_].style]);
    }
    active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(k));
}

void LVPmlImport::closeTitle() {
    if (!titleOpen_) return;
    endParagraph();
    cb_->OnTagClose(nullptr, u"title");
    titleOpen_ = false;
}

void LVPmlImport::closeSection() {
    closeTitle();
    endParagraph();
    if (!sectionOpen_) return;
    cb_->OnTagClose(nullptr, u"section");
    sectionOpen_ = false;
}

void LVPmlImport::newSection() {
    closeSection();
    ++sections_;
    std::u16string id = u"_section";
    for (char ch : std::to_string(sections_)) id += static_cast<char16_t>(ch);
    cb_->OnTagOpen(nullptr, u"section");
    cb_->OnAttribute(nullptr, u"id", id.c_str());
    cb_->OnTagBody();
    sectionOpen_ = true;
}

void LVPmlImport::toggleTitle(bool withSection) {
    if (titleOpen_) {
        closeTitle();
        return;
    }
    endParagraph();
    if (withSection) newSection();
    cb_->OnTagOpenPlain(nullptr, u"title");
    titleOpen_ = true;
}

void LVPmlImport::emptyElement(const char16_t* name, const char16_t* attr,
                               const std::u16string& value) {
    flushText();
    openOutput();
    cb_->OnTagOpen(nullptr, name);
    cb_->OnAttribute(nullptr, attr, value.c_str());
    cb_->OnTagBody();
    cb_->OnTagClose(nullptr, name);
    lastWasSpace_ = false;
}

void LVPmlImport::addLine(const lvchar16* text, int32_t length) {
    std::u16string arg;
    int32_t i = 0;
    while (i < length) {
        const lvchar16 c = text[i++];
        if (c != '\\') {
            addChar(c);
            continue;
        }
        if (i >= length) break;  // a backslash at the end of the line
        const lvchar16 cmd = text[i++];
        switch (cmd) {
            case '\\':
                addChar('\\');
                break;
            case '-':
                addChar(0x00AD);
                break;
            case 'p':
                newSection();
                break;
            case 'x':
                toggleTitle(true);
                break;
            case 'X':
                if (i < length && text[i] >= '0' && text[i] <= '4') ++i;
                toggleTitle(false);
                break;
            case 'c':
            case 'r':
                endParagraph();
                align_ = align_ != 0 ? 0 : (cmd == 'c' ? 1 : 2);
                break;
            case 't':
                flushText();  // text before it belongs to the paragraph as it was
                indent_ = !indent_;
                break;
            case 'b':
            case 'B':
                toggleStyle(StyleBold);
                break;
            case 'i':
                toggleStyle(StyleItalic);
                break;
            case 'o':
                toggleStyle(StyleStrike);
                break;
            case 'u':
                toggleStyle(StyleUnderline);
                break;
            case 'q': {
                readArgument(text, length, i, arg);
                toggleStyle(StyleLink, arg);
                break;
            }
            case 'Q':
                if (readArgument(text, length, i, arg) && !hidden_)
                    emptyElement(u"a", u"name", arg);
                break;
            case 'm':
                if (readArgument(text, length, i, arg) && !hidden_)
                    emptyElement(u"img", u"src", arg);
                break;
            case 'w':
                readArgument(text, length, i, arg);
                endParagraph();
                cb_->OnTagOpenEmpty(nullptr, u"hr");
                break;
            case 'U': {
                const int32_t v = readNumber(text, length, i, 4, 16);
                if (v >= 0) {
                    i += 4;
                    if (v > 0) addChar(static_cast<lvchar16>(v));
                }
                break;
            }
            case 'a': {
                int32_t v = readNumber(text, length, i, 3, 10);
                if (v >= 0) {
                    i += 3;
                    if (v >= 128 && v <= 255) {
                        static const lvchar16* cp1252 = codePageTableByName("cp1252");
                        v = cp1252 ? cp1252[v - 128] : v;
                    }
                    if (v > 0 && v <= 0xFFFF) addChar(static_cast<lvchar16>(v));
                }
                break;
            }
            case 'v':
                flushText();
                hidden_ = !hidden_;
                break;
            case 'C':
                if (i < length && text[i] >= '0' && text[i] <= '9') ++i;
                readArgument(text, length, i, arg);
                break;
            case 'T':
                readArgument(text, length, i, arg);
                break;
            case 'd':
            case 'l':
            case 'n':
            case 's':
                break;
            default:
                if (isAsciiLetter(cmd)) {
                    // Two-letter commands: footnote and sidebar links (\Fn, \Sd),
                    // superscript and subscript (\Sp, \Sb).
                    if ((cmd == 'F' || cmd == 'S') && i < length && text[i] >= 'a' &&
                        text[i] <= 'z')
                        ++i;
                    readArgument(text, length, i, arg);
                } else {
                    addChar(cmd);
                }
                break;
        }
    }
    endParagraph();
}

void LVPmlImport::finish() {
    closeSection();
    endParagraph();
}
