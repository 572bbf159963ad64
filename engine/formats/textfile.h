// Bytes to 16-bit characters: the decoding layer under every text reader.
//
// LVTextFileBase decodes its stream through a window of 4096 characters in
// any of the encoding kinds of encodings.h: 8-bit code pages through a table,
// UTF-8, UTF-16 and UTF-32 in both byte orders, and the multi-byte GBK,
// EUC-JP, Shift-JIS, Big5 and EUC-KR. The window remembers the stream offset
// of every character, so that switching the encoding mid-stream (an XML
// declaration, an HTML meta charset) re-decodes what was not yet read from
// its own bytes.
#pragma once

#include <cstdint>

#include "foundation/encodings.h"
#include "foundation/lvstring.h"
#include "foundation/multibyte.h"
#include "formats/fileparser.h"

class LVTextFileBase : public LVFileParserBase {
public:
    // Characters the window holds.
    static constexpr int kWindowChars = 4096;

    explicit LVTextFileBase(const StreamHandle& stream);
    ~LVTextFileBase() override;

    // Rewinds the bytes and empties the character window; the encoding stays.
    void Reset() override;

    // Selects the encoding by name, ASCII case ignored:
    //   "utf-8" (also "utf8"; clears the 8-bit table), "utf-16be",
    //   "utf-16"/"utf-16le", "utf-32be", "utf-32"/"utf-32le", the multi-byte
    //   names of multibyte.h ("gbk", "gb2312", "cp936", "shift_jis", "sjis",
    //   "cp932", "euc-jp", "big5", "cp950", "euc-kr", "cp949", ...), and every
    //   name with an 8-bit table (codePageTableByName).
    // An unknown name changes nothing. Once the content itself has fixed the
    // encoding (AutoDetectEncoding found a byte-order mark, or non-ASCII text
    // that is valid UTF-8), declared names no longer change it: the bytes are
    // the stronger evidence. When the decoding changes, the characters not
    // yet read are decoded again from their byte offset.
    void SetCharset(const lvchar16* name) override;
    void SetCharset(const char* name);
    // Installs an owned copy of a 128-character table (bytes 0x80..0xFF) used
    // by the UTF-8 and 8-bit kinds; null removes it.
    void SetCharsetTable(const lvchar16* table) override;
    const lvchar16* GetCharsetTable() override { return hasTable_ ? table_ : nullptr; }

    // Detects the encoding from the first 128 KB (at least 16 bytes are
    // needed): the Unicode forms only with utfOnly, otherwise also the 8-bit
    // and multi-byte code pages with their language. On success stores the
    // language and selects the detected charset; with keepCharsetWhenAscii a
    // sample of plain ASCII without a byte-order mark says nothing and leaves
    // the charset alone. The reading position is kept.
    bool AutoDetectEncoding(bool utfOnly, bool keepCharsetWhenAscii = false);

    // Decodes the byte range [position, position + byteCount) of the stream
    // with the current encoding into at most maxChars characters of buf and
    // returns their number (0 on a seek error, and with TEXT_RTF_ESCAPES,
    // which this layer does not read). Reading then continues after the
    // decoded bytes; the character window is emptied.
    int ReadTextBytes(int64_t position, int64_t byteCount, lvchar16* buf, int maxChars,
                      uint32_t flags);

    EncodingKind encodingKind() const { return kind_; }
    // The name last selected, lower case; empty until one is.
    const LVString16& charsetName() const { return charsetName_; }
    // The language found by the last detection ("en", "ru", ...).
    const LVString8& languageName() const { return language_; }
    // True when the content (a byte-order mark, or valid non-ASCII UTF-8)
    // decided the encoding.
    bool encodingFixedByContent() const { return fixedByContent_; }

protected:
    // A charset named by the document itself (an XML declaration, a meta
    // tag): as SetCharset, except that it never switches to or from UTF-16 or
    // UTF-32 (the declaration was readable in the current form, so the
    // current width is right).
    void applyDeclaredCharset(const lvchar16* name);
    // Called after every SetCharset and SetCharsetTable (LVXMLParser tells
    // its callback).
    virtual void onCharsetChanged() {}

    // Makes at least n unread characters available in the window when the
    // stream has them (n at most kWindowChars); returns how many are.
    int ensureChars(int n) {
        int have = textLen_ - textPos_;
        return have >= n ? have : fillWindow(n);
    }
    // No unread character is left, and none can be decoded.
    bool textEof() { return textPos_ >= textLen_ && fillWindow(1) == 0; }
    // The character at offset from the read position; call ensureChars first.
    lvchar16 charAt(int offset) const { return text_[textPos_ + offset]; }
    // The character at the read position, or -1 at the end of the text.
    int peekChar() {
        if (textPos_ < textLen_ || fillWindow(1) > 0) return text_[textPos_];
        return -1;
    }
    void skipChars(int n) { textPos_ += n; }
    // Reads up to maxChars characters from the read position.
    int readChars(lvchar16* out, int maxChars);
    // The stream offset of the next unread character.
    int64_t textBytePosition() const;

    lvchar16 text_[kWindowChars];
    int textPos_ = 0;  // read position in the window
    int textLen_ = 0;  // fill limit of the window

private:
    // Refills the window, keeping the unread characters; returns the unread
    // count afterwards.
    int fillWindow(int want);
    // Decodes in[0..inLen) (stream offset base) into out[0..outCap); offsets
    // may be null. atEnd: no bytes follow, so a cut-short character is
    // consumed. Returns the characters produced; *consumed gets the bytes.
    size_t decode(const uint8_t* in, size_t inLen, int64_t base, bool atEnd, lvchar16* out,
                  uint32_t* offsets, size_t outCap, size_t* consumed);
    size_t decodeMulti(const uint8_t* in, size_t inLen, int64_t base, bool atEnd, lvchar16* out,
                       uint32_t* offsets, size_t outCap, size_t* consumed);
    // Length of a byte-order mark of the current encoding at in.
    size_t bomLength(const uint8_t* in, size_t inLen) const;
    // Starts decoding again at the first character not yet read.
    void redecodeUnread();
    void selectCharset(const char* lowerName, bool fromDetection);
    // The decoder in force (kinds 1 and 6 without a table are both UTF-8).
    int decoderId() const;

    EncodingKind kind_ = EncodingSingleByte;
    LVString16 charsetName_;
    LVString8 language_;
    lvchar16 table_[128] = {};
    bool hasTable_ = false;
    bool fixedByContent_ = false;
    MultiByteDecoder multi_;
    uint32_t offsets_[kWindowChars];  // stream offset of each window character
};
