#include "formats/textparser.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <vector>

#include "formats/pmlimport.h"
#include "formats/textrun.h"
#include "foundation/log.h"

namespace {

constexpr int32_t kTabColumns = 8;
// Histogram columns of the layout statistics.
constexpr int32_t kHistogramColumns = 1000;
// A paragraph joins at most this many lines.
constexpr int kMaxParagraphLines = 30;
// Lines kept before the current one for the heading tests that look back.
constexpr int kContextLines = 3;
// Lines wanted after the current one: a whole paragraph and the two lines
// after it.
constexpr int kLookahead = kMaxParagraphLines + 3;
// Lines read per refill in the line modes and the paragraph modes.
constexpr int kLineModeBatch = 100;
constexpr int kParagraphModeBatch = 200;
// Headings are short.
constexpr int32_t kMaxHeadingLength = 48;
// The Gutenberg header ends within this many lines.
constexpr int kGutenbergSearchLines = 500;

constexpr uint32_t kParagraphTextFlags = TEXT_TRIM | TEXT_TRIM_REMOVE_EOL_HYPHENS;

inline bool isBlankChar(lvchar16 c) { return c == ' ' || c == '\t'; }
inline bool isSpaceChar(lvchar16 c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void trimSpaces(std::u16string& s) {
    size_t end = s.size();
    while (end > 0 && isSpaceChar(s[end - 1])) --end;
    size_t start = 0;
    while (start < end && isSpaceChar(s[start])) ++start;
    s = s.substr(start, end - start);
}

bool startsWith(const std::u16string& s, const char16_t* prefix) {
    const std::u16string_view p(prefix);
    return s.size() >= p.size() && std::u16string_view(s).substr(0, p.size()) == p;
}

// Left and right positions of a line's text.
void computePositions(LVTextLine& line) {
    int32_t column = 0, left = -1, right = 0;
    for (const lvchar16 c : line.text) {
        if (c == '\t') {
            column += kTabColumns - column % kTabColumns;
            continue;
        }
        if (c != ' ') {
            if (left < 0) left = column;
            right = column + 1;
        }
        ++column;
    }
    line.left = left < 0 ? 0 : left;
    line.right = left < 0 ? 0 : right;
}

// The separator lines and the 0x14 ... 0x15 marks.
void markLine(LVTextLine& line) {
    std::u16string& t = line.text;
    size_t start = 0;
    while (start < t.size() && isBlankChar(t[start])) ++start;
    size_t end = t.size();
    while (end > start && isBlankChar(t[end - 1])) --end;
    if (end == start) return;
    if (t[start] == 0x14 && end - start >= 2 && t[end - 1] == 0x15) {
        t.erase(end - 1, 1);
        t.erase(start, 1);
        line.flags |= TEXT_LINE_MARKED;
        return;
    }
    const lvchar16 first = t[start];
    if (first != '*' && first != '-' && first != '=') return;
    for (size_t i = start; i < end; ++i)
        if (t[i] != first && !isBlankChar(t[i])) return;
    t = u"* * *";
    line.flags |= TEXT_LINE_MARKED;
}

const char16_t* const kRomanNumerals[] = {
    u"I",      u"II",    u"III",   u"IV",     u"V",      u"VI",      u"VII",   u"VIII",
    u"IX",     u"X",     u"XI",    u"XII",    u"XIII",   u"XIV",     u"XV",    u"XVI",
    u"XVII",   u"XVIII", u"XIX",   u"XX",     u"XXI",    u"XXII",    u"XXIII", u"XXIV",
    u"XXV",    u"XXVI",  u"XXVII", u"XXVIII", u"XXIX",   u"XXX",     u"XXXI",  u"XXXII",
    u"XXXIII", u"XXXIV", u"XXXV",  u"XXXVI",  u"XXXVII", u"XXXVIII", u"XXXIX",
};

}  // namespace

// ---- Line reader ------------------------------------------------------------

LVTextLineReader::LVTextLineReader(const StreamHandle& stream) : LVTextFileBase(stream) {}

LVTextLineReader::~LVTextLineReader() = default;

void LVTextLineReader::Reset() {
    LVTextFileBase::Reset();
    carry_.clear();
    carryPos_ = 0;
}

int LVTextLineReader::nextChar() {
    if (carryPos_ < carry_.size()) {
        const int c = carry_[carryPos_++];
        if (carryPos_ == carry_.size()) {
            carry_.clear();
            carryPos_ = 0;
        }
        return c;
    }
    const int c = peekChar();
    if (c >= 0) skipChars(1);
    return c;
}

int LVTextLineReader::peekNext() {
    if (carryPos_ < carry_.size()) return carry_[carryPos_];
    return peekChar();
}

bool LVTextLineReader::readLine(int32_t maxLength, LVTextLine& line) {
    maxLength = std::max<int32_t>(maxLength, 2);
    lineBuf_.clear();
    line.flags = 0;
    line.lineClass = LineClassUnknown;
    bool any = false;
    for (;;) {
        const int c = nextChar();
        if (c < 0) {
            line.flags |= TEXT_LINE_EOL;
            break;
        }
        any = true;
        if (c == '\r' || c == '\n') {
            const int other = c == '\r' ? '\n' : '\r';
            if (peekNext() == other) nextChar();
            line.flags |= TEXT_LINE_EOL;
            break;
        }
        lineBuf_ += static_cast<char16_t>(c);
        if (static_cast<int32_t>(lineBuf_.size()) <= maxLength) continue;
        // Too long: cut after the last blank that follows some text, or at
        // the maximum length, and keep the rest for the next line.
        size_t firstText = 0;
        while (firstText < lineBuf_.size() && isBlankChar(lineBuf_[firstText])) ++firstText;
        size_t cut = 0;
        for (size_t i = static_cast<size_t>(maxLength); i > firstText; --i)
            if (isBlankChar(lineBuf_[i - 1])) {
                cut = i;
                break;
            }
        if (cut == 0) {
            cut = static_cast<size_t>(maxLength);
            if (lineBuf_[cut - 1] >= 0xD800 && lineBuf_[cut - 1] <= 0xDBFF) --cut;
        }
        carry_ = lineBuf_.substr(cut) + carry_.substr(carryPos_);
        carryPos_ = 0;
        lineBuf_.resize(cut);
        break;
    }
    if (!any) return false;
    line.text = lineBuf_;
    markLine(line);
    computePositions(line);
    return true;
}

// ---- Helpers ----------------------------------------------------------------

int textHeadingLevel(const lvchar16* text, int32_t length) {
    if (length <= 0) return 0;
    lvchar16 lower[8];
    const int32_t n = std::min<int32_t>(length, 7);
    for (int32_t i = 0; i < n; ++i) lower[i] = lowerChar(text[i]);
    const std::u16string_view head(lower, static_cast<size_t>(n));
    auto starts = [&](std::u16string_view word) { return head.substr(0, word.size()) == word; };
    if (starts(u"vol") || starts(u"том")) return 1;  // "vol" covers "volume"
    if (starts(u"part") || starts(u"часть")) return 2;
    if (starts(u"chapter") || starts(u"глава")) return 3;
    if (length < 80 && text[0] >= '0' && text[0] <= '9') {
        int dots = 0;
        bool numeric = true;
        for (int32_t i = 0; i < length && numeric; ++i) {
            if (text[i] == '.')
                ++dots;
            else
                numeric = text[i] >= '0' && text[i] <= '9';
        }
        if (numeric) return 5 + dots;
    }
    const std::u16string_view whole(text, static_cast<size_t>(length));
    for (const char16_t* roman : kRomanNumerals)
        if (whole == roman) return 4;
    return 0;
}

void deliverTextRuns(LVXMLParserCallback* callback, const lvchar16* text, int32_t length,
                     uint32_t flags, int32_t maxRun) {
    maxRun = std::max<int32_t>(maxRun, 2);
    while (length > 0) {
        int32_t n = length;
        if (n > maxRun) {
            n = 0;
            for (int32_t i = maxRun; i > 0; --i)
                if (isSpaceChar(text[i - 1])) {
                    n = i;
                    break;
                }
            if (n == 0) {
                n = maxRun;
                if (text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
            }
        }
        callback->OnText(text, n, flags);
        text += n;
        length -= n;
    }
}

// ---- The import -------------------------------------------------------------

// The lines held, the layout statistics, and the writing of the document.
// Lines are numbered from the start of the file; the queue holds a window
// of them that moves forward as the import goes on.
class LVTextLineQueue {
public:
    LVTextLineQueue(LVTextParser& parser, LVXMLParserCallback* callback)
        : parser_(parser), cb_(callback) {}

    void readMore(int count);
    uint32_t detectFormatFlags();
    void classifyAll();
    void findDescription();
    void writeHeader();
    void writeBody();

    uint32_t flags = 0;

private:
    int64_t end() const { return base_ + static_cast<int64_t>(lines_.size()); }
    // Line i, or null when it lies before the body or outside the window.
    const LVTextLine* at(int64_t i) const {
        if (i < bodyStart_ || i < base_ || i >= end()) return nullptr;
        return &lines_[static_cast<size_t>(i - base_)];
    }
    const LVTextLine& line(int64_t i) const { return lines_[static_cast<size_t>(i - base_)]; }
    bool blankOrAbsent(int64_t i) const {
        const LVTextLine* l = at(i);
        return !l || l->isBlank();
    }
    // Makes lines i .. i + kLookahead available when the file has them,
    // dropping the lines more than kContextLines before i.
    void ensure(int64_t i, int batch);
    void classify(LVTextLine& line) const;
    bool stopped() const { return parser_.isStopped(); }
    void progress() { parser_.updateProgress(); }

    void importLines();
    void importPreformatted();
    void importIndented();
    void importEmptyLineParagraphs();
    void importParagraphs(bool byIndent);
    void importPml();
    void writeParagraph(int64_t s, int64_t e);
    void writeEmptyLine() { cb_->OnTagOpenEmpty(nullptr, u"empty-line"); }
    void writeElementText(const char16_t* name, std::u16string& text, uint32_t flags);
    void openSection();
    void closeSection();
    void writeAuthor(const std::u16string& author);
    void writeTextElement(const char16_t* name, const std::u16string& text);

    LVTextParser& parser_;
    LVXMLParserCallback* cb_;
    std::deque<LVTextLine> lines_;
    int64_t base_ = 0;  // number of the first line held
    bool eof_ = false;

    // Layout statistics.
    bool statsReady_ = false;
    int32_t minLeft_ = 0, maxRight_ = 0;
    int32_t avgLeft_ = 0, avgRight_ = 0, avgCenter_ = 0;
    int32_t mostLeft_ = 0, nextLeft_ = 0, mostRight_ = 0;

    // Description.
    std::u16string title_, author_;
    int64_t bodyStart_ = 0;

    // Writing.
    int paragraphs_ = 0;
    bool sectionOpen_ = false;
    bool lastWasHeading_ = false;
    std::vector<lvchar16> run_, scratch_;
};

void LVTextLineQueue::readMore(int count) {
    for (int k = 0; k < count && !eof_; ++k) {
        LVTextLine l;
        if (!parser_.readLine(LVTextParser::kMaxLineLength, l)) {
            eof_ = true;
            break;
        }
        if (statsReady_) classify(l);
        lines_.push_back(std::move(l));
    }
}

void LVTextLineQueue::ensure(int64_t i, int batch) {
    if (eof_ || end() - i > kLookahead) return;
    while (!lines_.empty() && base_ < i - kContextLines) {
        lines_.pop_front();
        ++base_;
    }
    while (!eof_ && end() - i <= kLookahead) readMore(batch);
}

uint32_t LVTextLineQueue::detectFormatFlags() {
    const int64_t count = static_cast<int64_t>(lines_.size());
    if (count < 10) return TXT_PARA_PER_LINE | TXT_FEW_EMPTY_LINES;

    std::vector<int32_t> lefts(kHistogramColumns, 0), rights(kHistogramColumns, 0);
    int64_t empty = 0, leftSum = 0, rightSum = 0, pmlTags = 0;
    int32_t minLeft = INT32_MAX, maxRight = 0;
    static const std::u16string_view kPmlCommands = u"CQUXabclmnopqrstuvx";
    for (const LVTextLine& l : lines_) {
        if (l.isBlank()) {
            ++empty;
            continue;
        }
        if (l.left < kHistogramColumns) ++lefts[static_cast<size_t>(l.left)];
        if (l.right < kHistogramColumns) ++rights[static_cast<size_t>(l.right)];
        minLeft = std::min(minLeft, l.left);
        maxRight = std::max(maxRight, l.right);
        leftSum += l.left;
        rightSum += l.right;
        // A backslash and a command letter, both within the line's text.
        size_t from = 0, to = l.text.size();
        while (from < to && isBlankChar(l.text[from])) ++from;
        while (to > from && isBlankChar(l.text[to - 1])) --to;
        for (size_t i = from; i + 1 < to; ++i)
            if (l.text[i] == '\\' && kPmlCommands.find(l.text[i + 1]) != std::u16string_view::npos)
                ++pmlTags;
    }
    auto firstMax = [](const std::vector<int32_t>& h, size_t from) {
        size_t best = from;
        for (size_t i = from; i < h.size(); ++i)
            if (h[i] > h[best]) best = i;
        return best;
    };
    const int32_t mostLeft = static_cast<int32_t>(firstMax(lefts, 0));
    const int32_t mostRight = static_cast<int32_t>(firstMax(rights, 0));
    int32_t nextLeft = 0;
    if (mostLeft + 1 < kHistogramColumns) {
        const size_t n = firstMax(lefts, static_cast<size_t>(mostLeft) + 1);
        if (lefts[n] > 0) nextLeft = static_cast<int32_t>(n);
    }

    if (pmlTags > 20) return TXT_PML;
    const int64_t nonEmpty = count - empty;
    if (nonEmpty < 10) return 0;

    minLeft_ = minLeft;
    maxRight_ = maxRight;
    avgLeft_ = static_cast<int32_t>(leftSum / nonEmpty);
    avgRight_ = static_cast<int32_t>(rightSum / nonEmpty);
    avgCenter_ = (avgLeft_ + avgRight_) / 2;
    mostLeft_ = mostLeft;
    nextLeft_ = nextLeft;
    mostRight_ = mostRight;
    const int64_t rightShare =
        static_cast<int64_t>(rights[static_cast<size_t>(mostRight)]) * 100 / count;

    int64_t indented = 0, centered = 0;
    const int32_t w = mostRight - mostLeft;
    for (const LVTextLine& l : lines_) {
        if (l.isBlank() || l.left <= minLeft + 1) continue;
        const int32_t d1 = std::abs((l.left + l.right) / 2 - avgCenter_);
        const int32_t d2 = std::abs(l.left - mostLeft);
        if (d2 <= d1)
            ++indented;
        else if (l.left > minLeft + w / 10 && l.left < maxRight - w / 10 &&
                 l.right - l.left < w * 9 / 10)
            ++centered;
    }

    uint32_t f = 0;
    if (avgRight_ < 80) {
        const int64_t ident = indented * 100 / nonEmpty;
        const int64_t emptyShare = empty * 100 / count;
        if (emptyShare > 5 && maxRight < 80) f = TXT_EMPTY_LINE_PARA;
        if (ident >= 6 && ident <= 54) {
            f |= TXT_IDENT_PARA;
            if (emptyShare < 7) f |= TXT_FEW_EMPTY_LINES;
        }
        if (centered * 100 / nonEmpty > 1) f |= TXT_CENTERED_HEADERS;
        if (maxRight < 80) f |= TXT_SHORT_LINES;
        if (mostRight == maxRight && rightShare > 30) f |= TXT_RIGHT_JUSTIFIED;
        LOG_DEBUG("detectFormatFlags() min_left=%d, max_right=%d, ident=%d, empty=%d, flags=%d",
                  minLeft, maxRight, static_cast<int>(ident), static_cast<int>(emptyShare),
                  static_cast<int>(f));
        if (f == 0) f = TXT_PARA_PER_LINE | TXT_FEW_EMPTY_LINES;
    } else if (empty > nonEmpty && empty < nonEmpty * 110 / 100) {
        f = TXT_PARA_PER_LINE | TXT_IGNORE_EMPTY_LINES;
    } else if (empty > nonEmpty * 2 / 3) {
        f = TXT_EMPTY_LINE_PARA;
    }
    statsReady_ = true;
    return f;
}

void LVTextLineQueue::classify(LVTextLine& l) const {
    if (l.isBlank()) {
        l.lineClass = LineClassBlank;
        return;
    }
    if (!(flags & (TXT_SHORT_LINES | TXT_RIGHT_JUSTIFIED))) {
        l.lineClass = l.left == minLeft_ ? LineClassLeft : LineClassIndented;
        return;
    }
    if (l.left == minLeft_) {
        l.lineClass = l.right == maxRight_ ? LineClassFull : LineClassLeft;
        return;
    }
    if (l.right == maxRight_) {
        l.lineClass = LineClassRight;
        return;
    }
    if (l.left == nextLeft_) {
        l.lineClass = LineClassIndented;
        return;
    }
    const int32_t offLeft = std::abs(l.left - mostLeft_);
    const int32_t offRight = std::abs(l.right - avgRight_);
    if (l.left > nextLeft_) {
        const int32_t c = std::abs((l.left + l.right) / 2 - avgCenter_);
        if (c < offLeft && c < offRight) {
            l.lineClass = LineClassCentered;
            return;
        }
    }
    l.lineClass = offRight >= offLeft ? LineClassIndented : LineClassRight;
}

void LVTextLineQueue::classifyAll() {
    if (!statsReady_) return;
    for (LVTextLine& l : lines_) classify(l);
}

void LVTextLineQueue::findDescription() {
    size_t first = 0;
    while (first < lines_.size() && lines_[first].isBlank()) ++first;
    // The first line of PML is markup: only the file name is a title.
    if (first < lines_.size() && !(flags & TXT_PML)) {
        std::u16string head = lines_[first].text;
        trimSpaces(head);
        static const char16_t kGutenberg[] = u"The Project Gutenberg Etext of ";
        const size_t by = head.find(u", by ");
        if (startsWith(head, kGutenberg) && by != std::u16string::npos) {
            const size_t from = std::char_traits<char16_t>::length(kGutenberg);
            title_ = by > from ? head.substr(from, by - from) : std::u16string();
            author_ = head.substr(by + 5);
            trimSpaces(title_);
            trimSpaces(author_);
            // The body starts at the first non-blank line after "*END*";
            // without that line nothing is dropped.
            const size_t limit = std::min<size_t>(lines_.size(), kGutenbergSearchLines);
            for (size_t i = 0; i < limit; ++i) {
                std::u16string t = lines_[i].text;
                trimSpaces(t);
                if (!startsWith(t, u"*END*")) continue;
                size_t j = i + 1;
                while (j < lines_.size() && lines_[j].isBlank()) ++j;
                bodyStart_ = static_cast<int64_t>(j);
                break;
            }
            return;
        }
        const size_t dot = head.find(u". ");
        if (dot != std::u16string::npos && dot > 0) {
            std::u16string author = head.substr(0, dot);
            std::u16string title = head.substr(dot + 2);
            trimSpaces(author);
            trimSpaces(title);
            if (!title.empty() && title.back() != '.' && title.back() != ',' &&
                title.back() != '!') {
                author_ = author;
                title_ = title;
                return;
            }
        }
    }
    const LVString16 name = parser_.getFileName();
    const int32_t dot = name.lastIndexOf('.');
    const LVString16 stem = dot > 0 ? name.substr(0, dot) : name;
    title_.assign(stem.c_str(), static_cast<size_t>(stem.length()));
}

void LVTextLineQueue::writeTextElement(const char16_t* name, const std::u16string& text) {
    cb_->OnTagOpenPlain(nullptr, name);
    if (!text.empty())
        deliverTextRuns(cb_, text.c_str(), static_cast<int32_t>(text.size()), TEXT_TRIM,
                        LVTextParser::kMaxTextRun);
    cb_->OnTagClose(nullptr, name);
}

void LVTextLineQueue::writeAuthor(const std::u16string& author) {
    std::vector<std::u16string> words;
    size_t i = 0;
    while (i < author.size()) {
        while (i < author.size() && isSpaceChar(author[i])) ++i;
        const size_t start = i;
        while (i < author.size() && !isSpaceChar(author[i])) ++i;
        if (i > start) words.push_back(author.substr(start, i - start));
    }
    if (words.empty()) return;
    const std::u16string none;
    cb_->OnTagOpenPlain(nullptr, u"author");
    writeTextElement(u"first-name", words[0]);
    writeTextElement(u"middle-name", words.size() >= 3 ? words[1] : none);
    writeTextElement(u"last-name", words.size() == 2  ? words[1]
                                   : words.size() > 2 ? words[2]
                                                      : none);
    cb_->OnTagClose(nullptr, u"author");
}

void LVTextLineQueue::writeHeader() {
    LVString16 charset = parser_.charsetName();
    if (charset.empty()) charset = LVString16("utf-8");
    cb_->OnTagOpen(nullptr, u"?xml");
    cb_->OnAttribute(nullptr, u"version", u"1.0");
    cb_->OnAttribute(nullptr, u"encoding", charset.c_str());
    cb_->OnEncoding(charset, parser_.GetCharsetTable());
    cb_->OnTagBody();
    cb_->OnTagClose(nullptr, u"?xml");
    cb_->OnTagOpenPlain(nullptr, u"FictionBook");
    cb_->OnTagOpenPlain(nullptr, u"description");
    cb_->OnTagOpenPlain(nullptr, u"title-info");
    size_t start = 0;
    while (start <= author_.size() && !author_.empty()) {
        size_t comma = author_.find(u',', start);
        if (comma == std::u16string::npos) comma = author_.size();
        writeAuthor(author_.substr(start, comma - start));
        start = comma + 1;
    }
    writeTextElement(u"book-title", title_);
    cb_->OnTagClose(nullptr, u"title-info");
    cb_->OnTagClose(nullptr, u"description");
    cb_->OnTagOpenPlain(nullptr, u"body");
}

void LVTextLineQueue::openSection() {
    closeSection();
    cb_->OnTagOpenPlain(nullptr, u"section");
    sectionOpen_ = true;
}

void LVTextLineQueue::closeSection() {
    if (!sectionOpen_) return;
    cb_->OnTagClose(nullptr, u"section");
    sectionOpen_ = false;
}

void LVTextLineQueue::writeElementText(const char16_t* name, std::u16string& text, uint32_t f) {
    run_.assign(text.begin(), text.end());
    int32_t length = static_cast<int32_t>(run_.size());
    const lvchar16* done = finishTextRun(run_.data(), length, f, scratch_);
    cb_->OnTagOpenPlain(nullptr, name);
    deliverTextRuns(cb_, done, length, f, LVTextParser::kMaxTextRun);
    cb_->OnTagClose(nullptr, name);
}

// Writes lines s..e as one paragraph, a heading or an empty line.
//
// A one-line paragraph between a blank line (or the start of the body) and
// a blank line is isolated; short and with a blank line (or the start) two
// lines before as well, it is very isolated. Without empty lines to go by
// (TXT_IGNORE_EMPTY_LINES), headings are the very isolated paragraphs and
// short ones at the very start. Otherwise a paragraph is a heading when it is
// isolated (in the empty-line layout only when it also looks like one), or
// when it looks like one: under 4 characters, short near the start with a
// blank line right after, a marked line, a centred line, or a text with a
// heading level. Nothing longer than 48 characters is a heading. A heading
// made of one punctuation character ("* * *") is a subtitle; any other opens
// a section, which a heading right after it shares.
void LVTextLineQueue::writeParagraph(int64_t s, int64_t e) {
    std::u16string text;
    for (int64_t k = s; k <= e; ++k) {
        text += line(k).text;
        // A line cut for its length ends at a blank or inside a word: the
        // next one goes straight on.
        if (line(k).flags & TEXT_LINE_EOL) text += u'\n';
    }
    trimSpaces(text);
    const int32_t length = static_cast<int32_t>(text.size());
    const int64_t rel = s - bodyStart_;  // the body's own line number

    const bool isolated = s == e && e + 1 < end() &&
                          (!(flags & TXT_IDENT_PARA) || line(s).left != 0) &&
                          line(e + 1).isBlank() && blankOrAbsent(s - 1);
    const bool shortText = length < kMaxHeadingLength;
    const bool veryIsolated = isolated && shortText && (rel < 2 || blankOrAbsent(s - 2));

    lvchar16 separator = 0;
    for (const lvchar16 c : text) {
        if (isSpaceChar(c)) continue;
        if (c > 64 || (separator && c != separator)) {
            separator = 0;
            break;
        }
        separator = c;
    }

    bool heading;
    if (flags & TXT_IGNORE_EMPTY_LINES) {
        if (text.empty()) return;
        heading = veryIsolated || (isolated && rel < 3 && shortText) || (rel <= 1 && shortText);
    } else {
        const bool h1 =
            (s == e && length < 4) ||
            (paragraphs_ < 2 && length < 50 && s + 2 < end() &&
             (line(s + 1).isBlank() || line(s + 2).isBlank())) ||
            (s == e && (line(s).flags & TEXT_LINE_MARKED)) ||
            (s == e && (flags & TXT_CENTERED_HEADERS) && line(s).lineClass == LineClassCentered);
        const bool h2 = textHeadingLevel(text.c_str(), length) > 0;
        heading = isolated ? ((flags & TXT_EMPTY_LINE_PARA) ? h1 || h2 : true) : h1 || h2;
    }
    if (length > kMaxHeadingLength) heading = false;

    if (text.empty()) {
        if (!((flags & TXT_EMPTY_LINE_PARA) && heading)) writeEmptyLine();
        return;
    }
    if (heading && separator) {
        cb_->OnTagOpenPlain(nullptr, u"subtitle");
        writeElementText(u"p", text, kParagraphTextFlags);
        cb_->OnTagClose(nullptr, u"subtitle");
    } else if (heading) {
        if (!lastWasHeading_) openSection();
        cb_->OnTagOpenPlain(nullptr, u"title");
        writeElementText(u"p", text, kParagraphTextFlags);
        cb_->OnTagClose(nullptr, u"title");
    } else {
        writeElementText(u"p", text, kParagraphTextFlags);
    }
    ++paragraphs_;
    lastWasHeading_ = heading;
}

void LVTextLineQueue::importLines() {
    for (int64_t i = bodyStart_; !stopped(); ++i) {
        ensure(i, kLineModeBatch);
        if (i >= end()) break;
        if (line(i).isBlank()) {
            if (!(flags & TXT_IGNORE_EMPTY_LINES)) writeEmptyLine();
        } else {
            // A line cut for its length goes on in the next one.
            int64_t e = i;
            while (!(line(e).flags & TEXT_LINE_EOL) && e + 1 < end() &&
                   e - i + 1 < kMaxParagraphLines && !line(e + 1).isBlank())
                ++e;
            writeParagraph(i, e);
            i = e;
        }
        progress();
    }
}

void LVTextLineQueue::importPreformatted() {
    for (int64_t i = bodyStart_; !stopped(); ++i) {
        ensure(i, kLineModeBatch);
        if (i >= end()) break;
        const LVTextLine& l = line(i);
        if (l.isBlank()) {
            writeEmptyLine();
        } else {
            std::u16string text = l.text;
            writeElementText(u"pre", text, l.flags & TEXT_PRE);
            ++paragraphs_;
        }
        progress();
    }
}

void LVTextLineQueue::importIndented() { importParagraphs(true); }

void LVTextLineQueue::importEmptyLineParagraphs() { importParagraphs(false); }

// A paragraph starts at a non-blank line that is not a heading and runs on
// (at most kMaxParagraphLines lines): by indent, while the next line is not
// blank and not indented; otherwise up to a blank or short line, included.
void LVTextLineQueue::importParagraphs(bool byIndent) {
    int64_t i = bodyStart_;
    while (!stopped()) {
        ensure(i, kParagraphModeBatch);
        if (i >= end()) break;
        if (line(i).isBlank()) {
            ++i;
            continue;
        }
        int64_t e = i;
        std::u16string head = line(i).text;
        trimSpaces(head);
        if (textHeadingLevel(head.c_str(), static_cast<int32_t>(head.size())) == 0) {
            auto continues = [&](int64_t at) {
                if (!byIndent) return line(at).right - line(at).left >= 45;
                const LVTextLine& next = line(at + 1);
                return !next.isBlank() && next.left <= minLeft_;
            };
            while (e + 1 < end() && e - i + 1 < kMaxParagraphLines && continues(e)) ++e;
        }
        writeParagraph(i, e);
        i = e + 1;
        progress();
    }
}

void LVTextLineQueue::importPml() {
    // Reading again from the start; a stop asked for already (after the
    // description) must survive the rewind.
    if (stopped()) return;
    lines_.clear();
    parser_.Reset();
    LVPmlImport pml(cb_);
    LVTextLine l;
    while (!stopped() && parser_.readLine(LVTextParser::kMaxPmlLineLength, l)) {
        pml.addLine(l.text.c_str(), static_cast<int32_t>(l.text.size()));
        progress();
    }
    pml.finish();
}

void LVTextLineQueue::writeBody() {
    if (flags & TXT_PML)
        importPml();
    else if (flags & TXT_PREFORMATTED)
        importPreformatted();
    else if (flags & TXT_IDENT_PARA)
        importIndented();
    else if (flags & TXT_EMPTY_LINE_PARA)
        importEmptyLineParagraphs();
    else
        importLines();
    closeSection();
}

// ---- LVTextParser -----------------------------------------------------------

LVTextParser::LVTextParser(const StreamHandle& stream, LVXMLParserCallback* callback,
                           bool preformatted)
    : LVTextLineReader(stream), callback_(callback), preformatted_(preformatted) {}

LVTextParser::~LVTextParser() = default;

bool LVTextParser::CheckFormat() {
    Reset();
    if (!AutoDetectEncoding(false)) return false;
    Reset();
    constexpr int kChars = 16383;
    std::vector<lvchar16> chars(kChars);
    const int n = ReadTextBytes(0, 16384, chars.data(), kChars, 0);
    Reset();
    if (n < 17) return false;
    int controls = 0, blanks = 0;
    bool lineBreak = false;
    for (int i = 0; i < n; ++i) {
        const lvchar16 c = chars[static_cast<size_t>(i)];
        if (c <= 6 || c == 11 || (c >= 14 && c <= 19) || (c >= 22 && c <= 29) || c == 31)
            ++controls;
        else if (c == ' ' || c == '\t')
            ++blanks;
        else if (c == '\r' || c == '\n')
            lineBreak = true;
    }
    if (controls > 0) {
        LOG_INFO("illegal characters detected: count=%d", controls);
        return false;
    }
    return blanks * 16 >= n || lineBreak;
}

bool LVTextParser::Parse() {
    Reset();
    if (!callback_) return false;
    callback_->OnStart(this);
    LVTextLineQueue queue(*this, callback_);
    queue.readMore(kStatLines);
    formatFlags_ = preformatted_ ? TXT_PREFORMATTED : queue.detectFormatFlags();
    queue.flags = formatFlags_;
    queue.classifyAll();
    // PML is windows-1252; the header names the encoding the body is read in.
    if (formatFlags_ & TXT_PML) SetCharset("windows-1252");
    queue.findDescription();
    queue.writeHeader();
    queue.writeBody();
    callback_->OnTagClose(nullptr, u"body");
    callback_->OnTagClose(nullptr, u"FictionBook");
    callback_->OnStop();
    return !isStopped();
}
