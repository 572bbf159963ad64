#include "formats/bookmarkparser.h"

#include <vector>

#include "formats/textrun.h"

namespace {

constexpr char16_t kHeader[] = u"# Quiverleaf 3 - exported bookmarks\r\n# file name: ";
// Text keeps single spaces at its ends: a label and its text stay apart.
constexpr uint32_t kLineTextFlags =
    TEXT_TRIM | TEXT_TRIM_ALLOW_START_SPACE | TEXT_TRIM_ALLOW_END_SPACE;

// The value of a header line with this prefix; an empty one keeps the
// default.
bool takeValue(const std::u16string& line, const char16_t* prefix, std::u16string& value) {
    const std::u16string_view p(prefix);
    if (line.size() < p.size() || std::u16string_view(line).substr(0, p.size()) != p) return false;
    std::u16string v = line.substr(p.size());
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.pop_back();
    if (!v.empty()) value = v;
    return true;
}

// Two equal characters below 'A' and a space.
bool hasMarker(const std::u16string& line) {
    return line.size() >= 3 && line[0] == line[1] && line[2] == ' ' && line[0] < 'A';
}

}  // namespace

LVTextBookmarkParser::LVTextBookmarkParser(const StreamHandle& stream,
                                           LVXMLParserCallback* callback)
    : LVTextLineReader(stream), callback_(callback) {}

LVTextBookmarkParser::~LVTextBookmarkParser() = default;

bool LVTextBookmarkParser::CheckFormat() {
    Reset();
    SetCharset("utf-8");
    Reset();
    // The decoder skips a byte-order mark, so look at the bytes themselves.
    if (!positionBuffer(0, 3) || bytesLeftInBuffer() < 3 || buf_[bufPos_] != 0xEF ||
        buf_[bufPos_ + 1] != 0xBB || buf_[bufPos_ + 2] != 0xBF) {
        Reset();
        return false;
    }
    constexpr size_t kHeaderLength = sizeof kHeader / sizeof kHeader[0] - 1;
    std::vector<lvchar16> chars(kHeaderLength + 1);
    const int n = ReadTextBytes(0, 16384, chars.data(), static_cast<int>(chars.size()), 0);
    Reset();
    return n >= static_cast<int>(kHeaderLength) &&
           std::u16string_view(chars.data(), kHeaderLength) == kHeader;
}

void LVTextBookmarkParser::writeText(const std::u16string& text) {
    LVString16 s(text.c_str(), static_cast<int32_t>(text.size()));
    finishTextRun(s, kLineTextFlags);
    if (!s.empty())
        deliverTextRuns(callback_, s.c_str(), s.length(), kLineTextFlags,
                        LVTextParser::kMaxTextRun);
}

void LVTextBookmarkParser::writeLabelled(const std::u16string& label, const std::u16string& text) {
    if (text.empty()) return;
    callback_->OnTagOpen(nullptr, u"p");
    callback_->OnAttribute(nullptr, u"style", u"text-indent: 0em");
    callback_->OnTagBody();
    if (!label.empty()) {
        callback_->OnTagOpenPlain(nullptr, u"strong");
        writeText(label);
        callback_->OnTagClose(nullptr, u"strong");
    }
    writeText(text);
    callback_->OnTagClose(nullptr, u"p");
}

bool LVTextBookmarkParser::Parse() {
    Reset();
    if (!callback_) return false;
    callback_->OnStart(this);
    std::u16string fileName = u"Unknown", path, title, author;
    LVTextLine line;
    bool more = true;
    while ((more = readLine(kMaxLineLength, line)) && !line.isBlank()) {
        takeValue(line.text, u"# file name: ", fileName) ||
            takeValue(line.text, u"# file path: ", path) ||
            takeValue(line.text, u"# book title: ", title) ||
            takeValue(line.text, u"# author: ", author);
    }

    std::u16string bookTitle = u"Bookmarks: ";
    if (!author.empty()) bookTitle += author + u"  ";
    bookTitle += title.empty() ? fileName : title;
    bookTitle += u"  ";

    const LVString16 charset("utf-8");
    callback_->OnTagOpen(nullptr, u"?xml");
    callback_->OnAttribute(nullptr, u"version", u"1.0");
    callback_->OnAttribute(nullptr, u"encoding", charset.c_str());
    callback_->OnEncoding(charset, nullptr);
    callback_->OnTagBody();
    callback_->OnTagClose(nullptr, u"?xml");
    callback_->OnTagOpenPlain(nullptr, u"FictionBook");
    callback_->OnTagOpenPlain(nullptr, u"description");
    callback_->OnTagOpenPlain(nullptr, u"title-info");
    callback_->OnTagOpenPlain(nullptr, u"book-title");
    callback_->OnText(bookTitle.c_str(), static_cast<int32_t>(bookTitle.size()), 0);
    callback_->OnTagClose(nullptr, u"book-title");
    callback_->OnTagClose(nullptr, u"title-info");
    callback_->OnTagClose(nullptr, u"description");
    callback_->OnTagOpenPlain(nullptr, u"body");

    callback_->OnTagOpenPlain(nullptr, u"title");
    writeLabelled(std::u16string(), u"Quiverleaf Bookmarks file");
    callback_->OnTagClose(nullptr, u"title");
    writeLabelled(u"file: ", fileName);
    writeLabelled(u"path: ", path);
    writeLabelled(u"title: ", title);
    writeLabelled(u"author: ", author);
    callback_->OnTagOpenEmpty(nullptr, u"empty-line");

    // A section per group of lines; empty lines separate the groups.
    bool sectionOpen = false;
    while (more && !isStopped() && readLine(kMaxLineLength, line)) {
        const std::u16string& t = line.text;
        if (line.isBlank()) {
            if (sectionOpen) callback_->OnTagClose(nullptr, u"section");
            sectionOpen = false;
            continue;
        }
        if (!sectionOpen) callback_->OnTagOpenPlain(nullptr, u"section");
        sectionOpen = true;
        if (!hasMarker(t))
            writeLabelled(std::u16string(), t);
        else if (t[0] == '#')
            writeLabelled(t.substr(3), u" ");
        else
            writeLabelled(t.substr(0, 3), t.substr(3));
        updateProgress();
    }
    if (sectionOpen) callback_->OnTagClose(nullptr, u"section");
    callback_->OnTagClose(nullptr, u"body");
    callback_->OnTagClose(nullptr, u"FictionBook");
    callback_->OnStop();
    return !isStopped();
}
