// Helpers shared by the parser tests: running a parser over bytes and getting
// its event log, re-encoding text with the C library's iconv, and a stream
// that generates a large document without holding it in memory.
#pragma once

#include <iconv.h>

#include <cstring>
#include <memory>
#include <string>

#include "formats/eventlog.h"
#include "formats/xmlparser.h"
#include "streams/memstream.h"

enum class ParserKind { Xml, Fb2, Html };

inline StreamHandle bytesStream(const std::string& bytes, const char* name = nullptr) {
    MemoryStreamHandle s = createMemoryStream(bytes.data(), static_cast<lvsize_t>(bytes.size()),
                                              true, OpenModeRead);
    if (name) s->SetName(LVString16(name));
    return StreamHandle(s.get());
}

inline std::unique_ptr<LVXMLParser> makeParser(ParserKind kind, const StreamHandle& stream,
                                               LVXMLParserCallback* callback) {
    switch (kind) {
    case ParserKind::Html:
        return std::make_unique<LVHTMLParser>(stream, callback);
    case ParserKind::Fb2:
        return std::make_unique<LVXMLParser>(stream, callback, false, true);
    default:
        return std::make_unique<LVXMLParser>(stream, callback, true, false);
    }
}

// The events of Parse alone (no format check, so UTF-8 unless a charset is
// given), between START and STOP, joined by '|'.
inline std::string parseEvents(const std::string& input, ParserKind kind = ParserKind::Xml,
                               uint32_t flags = 0, const char* charset = nullptr) {
    LVEventLog log;
    log.setBaseFlags(flags);
    log.setPreformattedElement(u"pre");
    StreamHandle stream = bytesStream(input);
    auto parser = makeParser(kind, stream, &log);
    if (charset) parser->SetCharset(charset);
    log.clear();
    parser->Parse();
    std::string all = log.text();
    const size_t start = all.find("START\n");
    const size_t stop = all.rfind("STOP\n");
    if (start == std::string::npos || stop == std::string::npos || stop < start + 6) return "";
    std::string body = all.substr(start + 6, stop - start - 6);
    if (!body.empty() && body.back() == '\n') body.pop_back();
    for (char& c : body)
        if (c == '\n') c = '|';
    return body;
}

// The whole log of CheckFormat followed by Parse.
inline std::string checkAndParse(const std::string& input, ParserKind kind, bool* accepted,
                                 const char* name = nullptr) {
    LVEventLog log;
    log.setPreformattedElement(u"pre");
    StreamHandle stream = bytesStream(input, name);
    auto parser = makeParser(kind, stream, &log);
    *accepted = parser->CheckFormat();
    if (*accepted) parser->Parse();
    return log.text();
}

// Text of every TEXT event, in order, without the quotes and flags.
inline std::string textOf(const std::string& log) {
    std::string out;
    size_t pos = 0;
    while ((pos = log.find("TEXT \"", pos)) != std::string::npos) {
        const size_t close = log.find("\" 0x", pos);
        out += log.substr(pos + 6, close - pos - 6);
        pos = close;
    }
    return out;
}

// Converts UTF-8 text to another encoding; empty on failure.
inline std::string convertFromUtf8(const std::string& utf8, const char* to) {
    iconv_t cd = iconv_open(to, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return "";
    std::string out(utf8.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* o = out.data();
    size_t outLeft = out.size();
    const size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) return "";
    out.resize(out.size() - outLeft);
    return out;
}

// A read-only stream of a document made of a head, a unit repeated count
// times and a tail, produced as it is read.
class GeneratedStream : public LVNamedStream {
public:
    GeneratedStream(std::string head, std::string unit, int64_t count, std::string tail)
        : head_(std::move(head)), unit_(std::move(unit)), tail_(std::move(tail)),
          size_(static_cast<int64_t>(head_.size()) + static_cast<int64_t>(unit_.size()) * count +
                static_cast<int64_t>(tail_.size())) {
        setOpenMode(OpenModeRead);
    }
    lvsize_t GetSize() override { return static_cast<lvsize_t>(size_); }
    LVResult Seek(lvpos_t offset, int32_t origin, lvpos_t* newPosition) override {
        int64_t target = origin == SeekFromStart     ? offset
                         : origin == SeekFromCurrent ? pos_ + offset
                                                     : size_ + offset;
        if (target < 0 || target > size_) return ResultFail;
        pos_ = target;
        if (newPosition) *newPosition = static_cast<lvpos_t>(pos_);
        return ResultOk;
    }
    LVResult SetSize(lvsize_t) override { return ResultNotImplemented; }
    LVResult Read(void* buffer, lvsize_t count, lvsize_t* bytesRead) override {
        char* out = static_cast<char*>(buffer);
        lvsize_t n = 0;
        while (n < count && pos_ < size_) out[n++] = byteAt(pos_++);
        if (bytesRead) *bytesRead = n;
        return ResultOk;
    }
    LVResult Write(const void*, lvsize_t, lvsize_t*) override { return ResultFail; }
    bool Eof() override { return pos_ >= size_; }

private:
    char byteAt(int64_t p) const {
        const int64_t h = static_cast<int64_t>(head_.size());
        if (p < h) return head_[static_cast<size_t>(p)];
        const int64_t body = size_ - h - static_cast<int64_t>(tail_.size());
        if (p - h < body) return unit_[static_cast<size_t>((p - h) % static_cast<int64_t>(unit_.size()))];
        return tail_[static_cast<size_t>(p - h - body)];
    }

    std::string head_, unit_, tail_;
    int64_t size_;
    int64_t pos_ = 0;
};
