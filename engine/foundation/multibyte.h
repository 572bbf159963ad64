// Decoders of the CJK multi-byte encodings (GBK, EUC-JP, Shift-JIS, Big5,
// EUC-KR) to 16-bit text, through the C library's iconv.
//
// A byte sequence the encoding does not define gives one '?' and decoding
// goes on with the next byte; a character outside the 16-bit range gives
// U+FFFD. A zero byte is the character U+0000, not the end of the text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/encodings.h"
#include "foundation/lvstring.h"

// The iconv converter behind a multi-byte kind (EncodingGbk ... EncodingEucKr):
// GBK, EUC-JP, CP932, BIG5-HKSCS and CP949, each a superset of the plain
// encoding. Null for any other kind.
const char* multiByteIconvName(EncodingKind kind);
// True for the kinds above.
inline bool isMultiByteKind(EncodingKind kind) {
    return kind >= EncodingGbk && kind <= EncodingEucKr;
}

// A streaming decoder; one per text, used from one thread.
class MultiByteDecoder {
public:
    MultiByteDecoder() = default;
    ~MultiByteDecoder();
    MultiByteDecoder(const MultiByteDecoder&) = delete;
    MultiByteDecoder& operator=(const MultiByteDecoder&) = delete;

    // Opens the converter of a multi-byte kind; false for another kind or
    // when the C library lacks the converter. Reopening resets the state.
    bool open(EncodingKind kind);
    // Opens the converter of an encoding name (encodingKindByName).
    bool open(const char* name);
    bool isOpen() const { return cd_ != nullptr; }
    EncodingKind kind() const { return kind_; }

    // Decodes in[0..inLen) into out[0..outCap) and returns the characters
    // produced; *consumed (may be null) receives the bytes used. Stops when
    // out is full and before a character cut short by the end of the input;
    // with atEnd such a cut-short character gives one '?' and is consumed.
    size_t decode(const uint8_t* in, size_t inLen, lvchar16* out, size_t outCap,
                  size_t* consumed, bool atEnd);
    // Forgets any shift state.
    void reset();

private:
    void* cd_ = nullptr;  // iconv_t
    EncodingKind kind_ = EncodingUnknown;
};

// Decodes a whole text; the empty string when the kind is not multi-byte.
LVString16 decodeMultiByte(const char* bytes, size_t length, EncodingKind kind);
