// The interfaces between the format readers and the document writers: the
// parser interface every reader implements, and the events a reader sends
// (a tag opens, its attributes arrive, its body starts, text runs come, the
// tag closes; binary objects and document properties may arrive in between).
#pragma once

#include <cstdint>

#include "foundation/lvstring.h"
#include "foundation/types.h"

class ldomNode;

// Receives load progress from a running parser. The view controller installs
// one; the command-line tools and tests do not, and then progress reporting
// costs nothing.
class LVParserProgressListener {
public:
    virtual ~LVParserProgressListener() = default;
    // percent: 0..100.
    virtual void OnLoadFileProgress(int percent) { (void)percent; }
    // The first pages of text have been delivered early in the file (under
    // 30 percent): a view may lay them out before the rest arrives.
    virtual void OnLoadFileFirstPagesReady() {}
};

class LVFileFormatParser {
public:
    virtual ~LVFileFormatParser() = default;

    virtual void setProgressCallback(LVParserProgressListener* listener) = 0;
    // True when the stream is in this parser's format.
    virtual bool CheckFormat() = 0;
    // Parses the whole stream into the callback; true when the loop ended.
    virtual bool Parse() = 0;
    // Rewinds to the start of the stream.
    virtual void Reset() = 0;
    // Asks the parse loop to end at its next step.
    virtual void Stop() = 0;
    // Selects the encoding by name (see LVTextFileBase).
    virtual void SetCharset(const lvchar16* name) = 0;
    // 128 characters for the bytes 0x80..0xFF, or null for none.
    virtual void SetCharsetTable(const lvchar16* table) = 0;
    virtual const lvchar16* GetCharsetTable() = 0;
    // A flag with no effect on parsing; kept for the readers that carry it.
    virtual void setKeepFlag(bool keep) = 0;
    virtual bool getKeepFlag() = 0;
    // 0..100.
    virtual int getProgressPercent() = 0;
    virtual bool isEof() = 0;
};

// Text flags: the parser asks for them with getFlags() before each text run
// and passes them back with OnText().
enum : uint32_t {
    TEXT_PRE = 0x0001,                     // keep whitespace and line breaks
    TEXT_TRIM = 0x0004,                    // collapse whitespace runs
    TEXT_TRIM_ALLOW_START_SPACE = 0x0008,  // keep one leading space when collapsing
    TEXT_TRIM_ALLOW_END_SPACE = 0x0010,    // keep one trailing space when collapsing
    TEXT_TRIM_REMOVE_EOL_HYPHENS = 0x0020, // join words hyphenated across line ends
    TEXT_RTF_ESCAPES = 0x0040,             // RTF byte reading only
    TEXT_PRE_PARA_SPLITTING = 0x0080,      // preformatted text delivered line by line
    TEXT_ENTITIES_IN_CODEPAGE = 0x10000,   // named entities 128..255 are code-page bytes
};

class LVXMLParserCallback {
public:
    virtual ~LVXMLParserCallback() = default;

    virtual uint32_t getFlags() { return 0; }
    virtual void setFlags(uint32_t /*flags*/) {}
    // table: 128 characters for the bytes 0x80..0xFF of an 8-bit encoding, or null.
    virtual void OnEncoding(const LVString16& /*name*/, const lvchar16* /*table*/) {}
    virtual void OnStart(LVFileFormatParser* parser) { parser_ = parser; }
    virtual void OnStop() = 0;
    // prefix may be null or empty. Returns the new element, or null.
    virtual ldomNode* OnTagOpen(const lvchar16* prefix, const lvchar16* name) = 0;
    // All attributes of the last opened tag have been delivered.
    virtual void OnTagBody() = 0;
    virtual void OnTagOpenPlain(const lvchar16* prefix, const lvchar16* name) {
        OnTagOpen(prefix, name);
        OnTagBody();
    }
    virtual void OnTagOpenEmpty(const lvchar16* prefix, const lvchar16* name) {
        OnTagOpen(prefix, name);
        OnTagBody();
        OnTagClose(prefix, name);
    }
    virtual void OnTagClose(const lvchar16* prefix, const lvchar16* name) = 0;
    virtual void OnAttribute(const lvchar16* prefix, const lvchar16* name,
                             const lvchar16* value) = 0;
    virtual void OnText(const lvchar16* text, int32_t length, uint32_t flags) = 0;
    virtual bool OnBlob(const LVString16& name, const uint8_t* data, int32_t size) = 0;
    virtual void OnDocProperty(const char* /*name*/, const LVString8& /*value*/) {}

    LVFileFormatParser* parser() const { return parser_; }

protected:
    LVFileFormatParser* parser_ = nullptr;
};
