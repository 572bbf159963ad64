// Callbacks that record parser events instead of building a tree: a printer
// of one line per event (vellumo-cli events, the tests) and a counter (the
// fuzz target and the benchmark).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dom/xmlcallback.h"

// One line per event, UTF-8:
//   START / STOP
//   ENCODING name              (" +table" when an 8-bit table comes with it)
//   OPEN prefix:name           (just "name" without a prefix)
//   ATTR prefix:name="value"
//   BODY
//   TEXT "characters" 0xFLAGS  (flags as four or more hex digits)
//   CLOSE prefix:name
//   BLOB name size / PROP name="value"
// Inside quotes '"' and '\' are escaped with '\', line feed, carriage return
// and tab as \n \r \t, other control characters as \xHH, and a surrogate
// without its partner as \uXXXX.
class LVEventLog : public LVXMLParserCallback {
public:
    // Lines go to out when it is given, otherwise they are kept (text()).
    explicit LVEventLog(FILE* out = nullptr) : out_(out) {}

    // The flags getFlags returns outside preformatted elements (default 0).
    void setBaseFlags(uint32_t flags) { baseFlags_ = flags; }
    // While an element of this name is open, getFlags adds TEXT_PRE (as a
    // writer does for preformatted elements). Empty: never.
    void setPreformattedElement(const std::u16string& name) { preName_ = name; }

    const std::string& text() const { return text_; }
    void clear() { text_.clear(); }

    uint32_t getFlags() override;
    void OnEncoding(const LVString16& name, const lvchar16* table) override;
    void OnStart(LVFileFormatParser* parser) override;
    void OnStop() override;
    ldomNode* OnTagOpen(const lvchar16* prefix, const lvchar16* name) override;
    void OnTagBody() override;
    void OnTagClose(const lvchar16* prefix, const lvchar16* name) override;
    void OnAttribute(const lvchar16* prefix, const lvchar16* name, const lvchar16* value) override;
    void OnText(const lvchar16* text, int32_t length, uint32_t flags) override;
    bool OnBlob(const LVString16& name, const uint8_t* data, int32_t size) override;
    void OnDocProperty(const char* name, const LVString8& value) override;

    // text[0..length) as the log writes it between quotes.
    static std::string escape(const lvchar16* text, int32_t length);

private:
    void emit(const std::string& line);

    FILE* out_;
    std::string text_;
    uint32_t baseFlags_ = 0;
    std::u16string preName_;
    std::vector<std::u16string> open_;
    int preDepth_ = 0;
};

// Counts events and characters and builds nothing.
class LVCountingCallback : public LVXMLParserCallback {
public:
    uint64_t tags = 0, attributes = 0, texts = 0, chars = 0, closes = 0, encodings = 0;
    uint32_t flags = 0;

    uint32_t getFlags() override { return flags; }
    void OnEncoding(const LVString16&, const lvchar16*) override { ++encodings; }
    void OnStop() override {}
    ldomNode* OnTagOpen(const lvchar16*, const lvchar16*) override {
        ++tags;
        return nullptr;
    }
    void OnTagBody() override {}
    void OnTagClose(const lvchar16*, const lvchar16*) override { ++closes; }
    void OnAttribute(const lvchar16*, const lvchar16*, const lvchar16*) override { ++attributes; }
    void OnText(const lvchar16*, int32_t length, uint32_t) override {
        ++texts;
        chars += static_cast<uint64_t>(length);
    }
    bool OnBlob(const LVString16&, const uint8_t*, int32_t) override { return true; }
};
