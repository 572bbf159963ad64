#include "formats/xmlparser.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "formats/entities.h"
#include "formats/textrun.h"
#include "foundation/log.h"

namespace {

enum State { StateEnd = -1, StateBeforeFirstTag = 0, StateTagStart = 1, StateAttributes = 2,
             StateText = 3 };

// A quoted attribute value runs to its closing quote when that comes within
// this many characters and before any '<'; otherwise the value ends at '>'.
constexpr int kQuotedValueLookahead = 2048;
// A character reference name is read up to this many characters.
constexpr int32_t kMaxEntityName = 16;
// A run cut without a space never splits a reference that starts within
// this distance of the cut.
constexpr int32_t kReferenceReach = 32;
// Progress: the first pages are ready after this many text runs in the body.
constexpr int kFirstPagesRuns = 2000;

inline bool isXmlSpace(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline bool isAsciiLetter(int c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
inline bool isDigit(int c) { return c >= '0' && c <= '9'; }
inline bool isNameChar(int c) {
    return isAsciiLetter(c) || isDigit(c) || c == '-' || c == '.' || c == '_';
}
// A '<' followed by one of these opens markup; any other '<' is text.
inline bool startsMarkup(int c) { return isAsciiLetter(c) || c == '/' || c == '?' || c == '!'; }
inline lvchar16 lowerAscii(lvchar16 c) {
    return c >= 'A' && c <= 'Z' ? static_cast<lvchar16>(c + 32) : c;
}
void lowerName(lvchar16* s) {
    for (; *s; ++s) *s = lowerAscii(*s);
}
bool nameIs(const lvchar16* s, const char* ascii) {
    for (; *s && *ascii; ++s, ++ascii)
        if (*s != static_cast<unsigned char>(*ascii)) return false;
    return *s == 0 && *ascii == 0;
}
int hexValue(int c) {
    if (isDigit(c)) return c - '0';
    c |= 0x20;
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

LVString16 toString(const lvchar16* s, int32_t n) {
    LVString16 r;
    r.append(s, n);
    return r;
}

}  // namespace

// ---- LVXMLParser ---------------------------------------------------------------

LVXMLParser::LVXMLParser(const StreamHandle& stream, LVXMLParserCallback* callback,
                         bool allowHtml, bool fb2Only)
    : LVTextFileBase(stream), callback_(callback), allowHtml_(allowHtml), fb2Only_(fb2Only) {
    run_.resize(kMaxTextRun + 2);
}

LVXMLParser::~LVXMLParser() = default;

void LVXMLParser::onCharsetChanged() {
    if (callback_) callback_->OnEncoding(charsetName(), GetCharsetTable());
}

bool LVXMLParser::CheckFormat() {
    Reset();
    AutoDetectEncoding(false);
    Reset();
    std::vector<lvchar16> chars(kCheckChars + 1);
    const int n = readChars(chars.data(), kCheckChars);
    bool ok = false;
    if (n >= 31) {
        const LVString16 s = toString(chars.data(), n);
        const bool rootOk = !fb2Only_ || s.indexOf("<FictionBook") >= 0;
        // Read as ((an XML declaration or a namespace) and a version), or
        // an XHTML root.
        const bool xml = (s.indexOf("<?xml") >= 0 || s.indexOf(" xmlns=") > 0) &&
                         s.indexOf("version=") >= 6;
        const bool xhtml =
            allowHtml_ && s.indexOf("<html xmlns=\"http://www.w3.org/1999/xhtml\"") >= 0;
        ok = rootOk && (xml || xhtml);
        const int32_t at = ok ? s.indexOf("encoding=") : -1;
        if (at >= 0 && at + 9 < s.length() && (s[at + 9] == '"' || s[at + 9] == '\'')) {
            const lvchar16 quote = s[at + 9];
            LVString16 name = s.substr(at + 10, 20);
            const int32_t end = name.indexOf(quote);
            if (end >= 0) name.truncate(end);
            if (!name.empty()) applyDeclaredCharset(name.c_str());
        }
    }
    Reset();
    return ok;
}

bool LVXMLParser::Parse() {
    Reset();
    if (!callback_) return false;
    callback_->OnStart(this);
    inBody_ = false;
    tagBodyPending_ = false;
    runLength_ = 0;
    firstPagesCountdown_ = kFirstPagesRuns;
    int state = StateBeforeFirstTag;
    while (state != StateEnd && !stopped_) {
        switch (state) {
        case StateBeforeFirstTag:
            state = skipToTag() ? StateTagStart : StateEnd;
            break;
        case StateTagStart:
            state = stateTagStart();
            break;
        case StateAttributes:
            state = stateAttributes();
            break;
        default:
            state = stateText();
            break;
        }
    }
    // A tag cut off by the end of the input still gets its body event.
    closePendingTag();
    callback_->OnStop();
    return true;
}

void LVXMLParser::closePendingTag() {
    if (!tagBodyPending_) return;
    tagBodyPending_ = false;
    callback_->OnTagBody();
    if (piTag_) callback_->OnTagClose(tagPrefix_, tagName_);
}

void LVXMLParser::skipWhitespace() {
    for (;;) {
        const int avail = ensureChars(1);
        if (avail == 0) return;
        int k = 0;
        while (k < avail && isXmlSpace(charAt(k))) ++k;
        skipChars(k);
        if (k < avail) return;
    }
}

bool LVXMLParser::skipPastGt() {
    for (;;) {
        const int avail = ensureChars(1);
        if (avail == 0) return false;
        int k = 0;
        while (k < avail && charAt(k) != '>') ++k;
        if (k < avail) {
            skipChars(k + 1);
            return true;
        }
        skipChars(k);
    }
}

bool LVXMLParser::skipToTag() {
    for (;;) {
        const int avail = ensureChars(2);
        if (avail == 0) return false;
        int k = 0;
        while (k < avail && charAt(k) != '<') ++k;
        if (k == avail) {
            skipChars(k);
            continue;
        }
        skipChars(k);
        if (ensureChars(2) >= 2 && startsMarkup(charAt(1))) {
            skipChars(1);
            return true;
        }
        skipChars(1);
    }
}

void LVXMLParser::skipComment() {
    // After "<!--": up to and past "-->", or to the end.
    for (;;) {
        const int avail = ensureChars(3);
        if (avail < 3) {
            skipChars(avail);
            return;
        }
        int k = 0;
        while (k + 2 < avail && !(charAt(k) == '-' && charAt(k + 1) == '-' && charAt(k + 2) == '>'))
            ++k;
        if (k + 2 < avail) {
            skipChars(k + 3);
            return;
        }
        skipChars(k);
    }
}

void LVXMLParser::skipDeclaration() {
    // "<!DOCTYPE ...>" and the like; an internal subset in brackets may hold
    // '>' characters of its own.
    int depth = 0;
    for (;;) {
        const int c = peekChar();
        if (c < 0) return;
        skipChars(1);
        if (c == '[') {
            ++depth;
        } else if (c == ']') {
            if (depth > 0) --depth;
        } else if (c == '>' && depth == 0) {
            return;
        }
    }
}

bool LVXMLParser::readQualifiedName(lvchar16* prefix, lvchar16* name) {
    const int avail = ensureChars(2 * kMaxName + 4);
    if (avail == 0 || !isAsciiLetter(charAt(0))) return false;
    int k = 0, colon = -1;
    while (k < avail) {
        const lvchar16 c = charAt(k);
        if (isNameChar(c)) {
            ++k;
        } else if (c == ':' && colon < 0) {
            colon = k++;
        } else {
            break;
        }
    }
    if (k < avail) {
        const lvchar16 next = charAt(k);
        if (!isXmlSpace(next) && next != '/' && next != '=' && next != '>' && next != '?')
            return false;
    }
    const int prefixLen = colon < 0 ? 0 : colon;
    const int nameStart = colon < 0 ? 0 : colon + 1;
    const int nameLen = k - nameStart;
    if (nameLen <= 0 || nameLen > kMaxName || prefixLen > kMaxName) return false;
    for (int i = 0; i < prefixLen; ++i) prefix[i] = charAt(i);
    prefix[prefixLen] = 0;
    for (int i = 0; i < nameLen; ++i) name[i] = charAt(nameStart + i);
    name[nameLen] = 0;
    skipChars(k);
    return true;
}

int LVXMLParser::stateTagStart() {
    skipWhitespace();
    closeTag_ = piTag_ = false;
    int c = peekChar();
    if (c < 0) return StateEnd;
    if (c == '/') {
        closeTag_ = true;
        skipChars(1);
        skipWhitespace();
    } else if (c == '?') {
        piTag_ = true;
        skipChars(1);
    } else if (c == '!') {
        const int avail = ensureChars(8);
        auto at = [&](int i, char ch) { return i < avail && charAt(i) == ch; };
        if (at(1, '-') && at(2, '-')) {
            skipChars(3);
            skipComment();
            return StateText;
        }
        if (at(1, '[') && at(2, 'C') && at(3, 'D') && at(4, 'A') && at(5, 'T') && at(6, 'A') &&
            at(7, '[')) {
            skipChars(8);
            readText(TextCData);
            return StateText;
        }
        skipDeclaration();
        return StateText;
    }
    if (readQualifiedName(tagPrefix_, tagName_) && peekChar() != '=') {
        if (lowercaseNames_) {
            lowerName(tagPrefix_);
            lowerName(tagName_);
        }
        if (!closeTag_) {
            if (piTag_) {
                const size_t len = std::char_traits<lvchar16>::length(tagName_);
                std::memmove(tagName_ + 1, tagName_, sizeof(lvchar16) * (len + 1));
                tagName_[0] = '?';
            }
            callback_->OnTagOpen(tagPrefix_, tagName_);
            tagBodyPending_ = true;
            if (!inBody_ && nameIs(tagName_, "body")) inBody_ = true;
            return StateAttributes;
        }
        callback_->OnTagClose(tagPrefix_, tagName_);
    }
    return skipPastGt() ? StateText : StateEnd;
}

void LVXMLParser::readAttributeValue() {
    value_.clear();
    const int first = peekChar();
    if (first == '"' || first == '\'') {
        skipChars(1);
        const lvchar16 quote = static_cast<lvchar16>(first);
        // The closing quote, when it comes before any '<' within reach.
        const int avail = ensureChars(kQuotedValueLookahead);
        int k = 0;
        while (k < avail && charAt(k) != quote && charAt(k) != '<') ++k;
        if (k < avail && charAt(k) == quote) {
            value_.insert(value_.end(), text_ + textPos_, text_ + textPos_ + k);
            skipChars(k + 1);
            return;
        }
        // No closing quote in sight: the value ends at the quote or at the
        // '>' that closes the tag.
        for (;;) {
            const int c = peekChar();
            if (c < 0 || c == '>') return;
            skipChars(1);
            if (c == quote) return;
            value_.push_back(static_cast<lvchar16>(c));
        }
    }
    for (;;) {
        const int c = peekChar();
        if (c < 0 || c == '>' || isXmlSpace(c)) return;
        value_.push_back(static_cast<lvchar16>(c));
        skipChars(1);
    }
}

int LVXMLParser::stateAttributes() {
    skipWhitespace();
    const int avail = ensureChars(2);
    if (avail == 0) return StateEnd;
    const lvchar16 c = charAt(0);
    if (c == '>' || ((c == '/' || c == '?') && avail > 1 && charAt(1) == '>')) {
        tagBodyPending_ = false;
        callback_->OnTagBody();
        // A processing instruction has no content, however it ends.
        if (c != '>' || piTag_) callback_->OnTagClose(tagPrefix_, tagName_);
        skipChars(c == '>' ? 1 : 2);
        // In HTML, scripts and styles hold text up to their end tag, '<' or not.
        if (c == '>' && lowercaseNames_ && !piTag_ && !tagPrefix_[0] &&
            (nameIs(tagName_, "script") || nameIs(tagName_, "style"))) {
            std::char_traits<lvchar16>::copy(rawEnd_, tagName_, kRawEndMax);
            readText(TextRaw);
            return textEof() ? StateEnd : StateTagStart;
        }
        return StateText;
    }
    if (c == '/') {  // "<br / >"
        skipChars(1);
        return StateAttributes;
    }
    if (!readQualifiedName(attrPrefix_, attrName_)) {
        // A broken attribute list: skip to the end of the tag, or to the
        // next tag when one starts first.
        for (;;) {
            const int ch = peekChar();
            if (ch < 0) return StateEnd;
            skipChars(1);
            if (ch == '>' || ch == '<') {
                closePendingTag();
                return ch == '>' ? StateText : StateTagStart;
            }
        }
    }
    skipWhitespace();
    value_.clear();
    if (peekChar() == '=') {
        skipChars(1);
        skipWhitespace();
        readAttributeValue();
    }
    if (lowercaseNames_) {
        lowerName(attrPrefix_);
        lowerName(attrName_);
    }
    const int32_t len = decodeText(value_.data(), static_cast<int32_t>(value_.size()),
                                   callback_->getFlags(), true, false);
    value_.resize(static_cast<size_t>(len));
    value_.push_back(0);
    callback_->OnAttribute(attrPrefix_, attrName_, value_.data());
    if (piTag_ && nameIs(tagName_, "?xml") && nameIs(attrName_, "encoding"))
        applyDeclaredCharset(value_.data());
    return StateAttributes;
}

int LVXMLParser::stateText() {
    readText(TextMarkup);
    if (inBody_) updateProgress();
    return textEof() ? StateEnd : StateTagStart;
}

int32_t LVXMLParser::cutPosition(int32_t length, int32_t lastSpace) const {
    if (lastSpace > 0) return lastSpace;
    int32_t cut = length;
    // Keep a reference that the cut would split whole for the next run.
    for (int32_t i = length - 1; i >= 0 && i >= length - kReferenceReach; --i) {
        const lvchar16 c = run_[i];
        if (c == ';') break;
        if (c == '&') {
            if (i > 0) cut = i;
            break;
        }
    }
    // Never part a surrogate pair.
    if (cut > 1 && run_[cut - 1] >= 0xD800 && run_[cut - 1] <= 0xDBFF) --cut;
    return cut;
}

bool LVXMLParser::atTextEnd(TextMode mode) {
    switch (mode) {
    case TextMarkup:
        return ensureChars(2) >= 2 && startsMarkup(charAt(1));
    case TextCData:
        return ensureChars(3) >= 3 && charAt(1) == ']' && charAt(2) == '>';
    default: {
        // "</script" or "</style", in any case, ending the name.
        const int n = static_cast<int>(std::char_traits<lvchar16>::length(rawEnd_));
        const int avail = ensureChars(n + 3);
        if (avail < n + 2 || charAt(1) != '/') return false;
        for (int i = 0; i < n; ++i)
            if (lowerAscii(charAt(2 + i)) != rawEnd_[i]) return false;
        if (avail == n + 2) return true;
        const lvchar16 next = charAt(n + 2);
        return isXmlSpace(next) || next == '>' || next == '/';
    }
    }
}

void LVXMLParser::readText(TextMode mode) {
    uint32_t flags = callback_->getFlags();
    bool paraSplit = (flags & TEXT_PRE_PARA_SPLITTING) != 0;
    const lvchar16 stop = mode == TextCData ? ']' : '<';
    int32_t len = runLength_;
    int32_t lastSpace = -1;
    bool hasText = false;
    for (;;) {
        if (len >= kMaxTextRun) {
            runLength_ = len;
            deliverPrefix(cutPosition(len, lastSpace), flags, mode, true);
            len = runLength_;
            lastSpace = -1;
            hasText = len > 0;
            flags = callback_->getFlags();
            paraSplit = (flags & TEXT_PRE_PARA_SPLITTING) != 0;
        }
        const int avail = ensureChars(3);
        if (avail == 0) break;
        const int n = std::min(avail, kMaxTextRun - len);
        lvchar16* run = run_.data();
        int k = 0;
        for (; k < n; ++k) {
            const lvchar16 c = charAt(k);
            if (c > ' ' && c != stop && c != 0xA0) {  // most characters
                run[len++] = c;
                hasText = true;
                continue;
            }
            if (c == stop) break;
            if (isXmlSpace(c)) {
                if (paraSplit && c != '\r' && c != '\n' && hasText && len > 0 &&
                    (run[len - 1] == '\n' || run[len - 1] == '\r'))
                    break;
                run[len++] = c;
                lastSpace = len;
            } else {
                if (paraSplit && c == 0xA0 && hasText && len > 0 &&
                    (run[len - 1] == '\n' || run[len - 1] == '\r'))
                    break;
                run[len++] = c;
                hasText = true;
            }
        }
        skipChars(k);
        if (k == n) continue;
        const lvchar16 c = charAt(0);
        if (c == stop) {
            if (atTextEnd(mode)) {
                skipChars(mode == TextCData ? 3 : 1);
                runLength_ = len;
                deliverPrefix(len, flags, mode);
                return;
            }
            run[len++] = c;  // a '<' that opens nothing, or a lone ']', is text
            hasText = true;
            skipChars(1);
            continue;
        }
        // A line that starts with whitespace after a line break: a new run.
        runLength_ = len;
        deliverPrefix(len, flags, mode);
        len = 0;
        lastSpace = -1;
        hasText = false;
        flags = callback_->getFlags();
        paraSplit = (flags & TEXT_PRE_PARA_SPLITTING) != 0;
    }
    runLength_ = len;
    deliverPrefix(len, flags, mode);
}

void LVXMLParser::deliverPrefix(int32_t cut, uint32_t flags, TextMode mode, bool cutShort) {
    const int32_t rest = runLength_ - cut;
    if (cut > 0) {
        // The delivered part is processed in scratch_ so that the rest stays.
        if (scratch_.size() < static_cast<size_t>(cut) + 1) scratch_.resize(cut + 1);
        std::memcpy(scratch_.data(), run_.data(), sizeof(lvchar16) * static_cast<size_t>(cut));
        std::memmove(run_.data(), run_.data() + cut, sizeof(lvchar16) * static_cast<size_t>(rest));
        runLength_ = rest;
        deliverRun(cut, flags, mode, cutShort);
    }
}

void LVXMLParser::deliverRun(int32_t length, uint32_t flags, TextMode mode, bool cutShort) {
    lvchar16* t = scratch_.data();
    length = decodeText(t, length, flags, false, mode != TextMarkup);
    // A run cut for length goes on in the next one: the space it ends with
    // separates words, not paragraphs, and trimming keeps it.
    const uint32_t finishing = cutShort ? flags | TEXT_TRIM_ALLOW_END_SPACE : flags;
    const lvchar16* done = finishTextRun(t, length, finishing, tabs_);
    if (length <= 0) return;
    if (done == t) t[length] = 0;
    callback_->OnText(done, length, flags);
}

int32_t LVXMLParser::decodeReference(const lvchar16* t, int32_t i, int32_t length,
                                     bool codePage, int32_t* used) {
    if (i + 1 >= length) return -1;
    if (t[i + 1] == '#') {
        int32_t j = i + 2;
        const bool hex = j < length && (t[j] == 'x' || t[j] == 'X');
        if (hex) ++j;
        const int32_t start = j;
        uint32_t value = 0;
        for (; j < length; ++j) {
            const int d = hex ? hexValue(t[j]) : (isDigit(t[j]) ? t[j] - '0' : -1);
            if (d < 0) break;
            // Saturates: anything past the Unicode range is just "too big".
            value = std::min<uint32_t>(value * (hex ? 16 : 10) + static_cast<uint32_t>(d),
                                       0x110000);
        }
        if (j == start || j >= length || t[j] != ';') return -1;
        *used = j - i + 1;
        if (value == 0) return 0;
        if (value > 0xFFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0xFFFD;
        return static_cast<int32_t>(value);
    }
    if (!isAsciiLetter(t[i + 1])) return -1;
    int32_t j = i + 1;
    while (j < length && j - (i + 1) < kMaxEntityName && t[j] != ';' && !isXmlSpace(t[j])) ++j;
    if (j >= length || (t[j] != ';' && !isXmlSpace(t[j]))) return -1;
    lvchar16 c = lookupHtmlEntity(t + i + 1, j - (i + 1));
    if (c == 0) return -1;
    *used = t[j] == ';' ? j - i + 1 : j - i;
    if (codePage && c >= 128 && c <= 255) {
        const lvchar16* table = GetCharsetTable();
        if (table) c = table[c - 128];
    }
    return c;
}

int32_t LVXMLParser::decodeText(lvchar16* t, int32_t length, uint32_t flags, bool attribute,
                                bool literal) {
    const bool codePage = (flags & TEXT_ENTITIES_IN_CODEPAGE) != 0;
    const bool pre = attribute || ((flags & TEXT_PRE) && !(flags & TEXT_PRE_PARA_SPLITTING));
    int32_t o = 0;
    bool afterSpace = false;
    lvchar16 prev = 0;  // the input character before c (t[] is rewritten)
    for (int32_t i = 0; i < length; ++i) {
        const lvchar16 c = t[i];
        const lvchar16 before = prev;
        prev = c;
        if (c > ' ' && c != '&') {  // most characters
            t[o++] = c;
            afterSpace = false;
            continue;
        }
        if (c == '&' && !literal) {
            int32_t used = 0;
            const int32_t r = decodeReference(t, i, length, codePage, &used);
            if (r >= 0) {
                if (r > 0) t[o++] = static_cast<lvchar16>(r);
                i += used - 1;
                afterSpace = false;
                continue;
            }
        }
        if (c == 0) continue;  // never valid in markup; would end the text for some callers
        if (attribute) {
            t[o++] = c;
        } else if (pre) {
            if (c == '\r') {
                const bool nextLf = i + 1 < length && t[i + 1] == '\n';
                const bool prevLf = before == '\n';
                if (!nextLf && !prevLf) t[o++] = '\n';
            } else {
                t[o++] = c;
            }
        } else if (isXmlSpace(c)) {
            if (!afterSpace) t[o++] = ' ';
            afterSpace = true;
        } else {
            t[o++] = c;
            afterSpace = false;
        }
    }
    return o;
}

// ---- LVHTMLParser --------------------------------------------------------------

LVHTMLParser::LVHTMLParser(const StreamHandle& stream, LVXMLParserCallback* callback)
    : LVXMLParser(stream, callback, true, false) {
    lowercaseNames_ = true;
}

LVHTMLParser::~LVHTMLParser() = default;

namespace {

bool hasHtmlFileName(LVString16 name) {
    name.toLower();
    return name.hasSuffix(".htm") || name.hasSuffix(".html") || name.hasSuffix(".hhc") ||
           name.hasSuffix(".xhtml");
}

// The charset named by the first meta tag that has one: http-equiv
// Content-Type with "...; charset=NAME", or <meta charset=NAME>. s is lower
// case.
LVString16 metaCharset(const LVString16& s) {
    for (int32_t at = s.indexOf("<meta"); at >= 0; at = s.indexOf("<meta", at + 5)) {
        int32_t end = s.indexOf('>', at);
        if (end < 0) end = s.length();
        const LVString16 tag = s.substr(at, end - at);
        const int32_t cs = tag.indexOf("charset=");
        if (cs < 0) continue;
        const int32_t equiv = tag.indexOf("http-equiv=");
        if (equiv >= 0) {
            // Only the Content-Type header names a charset.
            if (tag.indexOf("content-type", equiv) < 0) continue;
            LOG_DEBUG("http-equiv content-type: %s", encodeUtf8(tag).c_str());
        }
        int32_t i = cs + 8;
        if (i < tag.length() && (tag[i] == '"' || tag[i] == '\'')) ++i;
        LVString16 name;
        for (; i < tag.length(); ++i) {
            const lvchar16 c = tag[i];
            if (!isAsciiLetter(c) && !isDigit(c) && c != '-' && c != '_') break;
            name += c;
        }
        if (!name.empty()) return name;
    }
    return LVString16();
}

}  // namespace

bool LVHTMLParser::CheckFormat() {
    Reset();
    const bool preset = !charsetName().empty() || GetCharsetTable() != nullptr;
    // With a charset already chosen (a CHM page, a Mobipocket text), only a
    // Unicode form can override it, and failing to find one keeps it.
    if (!AutoDetectEncoding(preset, preset) && !preset) return false;
    Reset();
    std::vector<lvchar16> chars(kCheckChars + 1);
    const int n = readChars(chars.data(), kCheckChars);
    bool ok = false;
    if (n > 30) {
        LVString16 s = toString(chars.data(), n);
        for (int32_t i = 0; i < s.length(); ++i)
            if (s[i] >= 'A' && s[i] <= 'Z') s.at(i) = static_cast<lvchar16>(s[i] + 32);
        ok = (s.indexOf("<html") >= 0 && (s.indexOf("<head") >= 0 || s.indexOf("<body") >= 0)) ||
             (hasHtmlFileName(getFileName()) &&
              (s.indexOf("<!--") >= 0 || s.indexOf("<p>") >= 0 || s.indexOf("ul") >= 0));
        if (ok) {
            const LVString16 name = metaCharset(s);
            if (!name.empty() && name != "utf-16") applyDeclaredCharset(name.c_str());
        }
    }
    Reset();
    return ok;
}
