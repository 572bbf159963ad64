// The engine's string values.
//
// LVString8 (8-bit units, UTF-8 unless a caller says otherwise) and
// LVString16 (16-bit lvchar16 units, one unit per character) are one pointer
// to a shared, reference-counted StringChunk. Copies are O(1); every mutation
// first makes the record unique (copy-on-write). Default and cleared strings
// share one static empty record per width, which is never freed.
//
// Not thread-safe: a string and its copies belong to one thread.
#pragma once

#include <climits>
#include <cstdint>
#include <utility>

#include "foundation/types.h"

template <typename CharT>
struct StringChunk {
    CharT* buf;        // length characters followed by a zero character
    int32_t capacity;  // characters, not counting the terminator
    int32_t length;
    int32_t refCount;
};

// Shared mechanics of both widths. Self is the concrete string type, so that
// chaining mutators and substr return the concrete type.
template <typename CharT, typename Self>
class LVStringBase {
public:
    using value_type = CharT;
    using Chunk = StringChunk<CharT>;

    LVStringBase();
    LVStringBase(const LVStringBase& other);
    LVStringBase(LVStringBase&& other) noexcept;
    ~LVStringBase();

    int32_t length() const { return chunk_->length; }
    int32_t size() const { return chunk_->length; }
    bool empty() const { return chunk_->length == 0; }
    const CharT* c_str() const { return chunk_->buf; }
    const CharT* data() const { return chunk_->buf; }
    const CharT* begin() const { return chunk_->buf; }
    const CharT* end() const { return chunk_->buf + chunk_->length; }
    CharT operator[](int32_t i) const { return chunk_->buf[i]; }
    // Writable access to one character (makes the record unique first).
    CharT& at(int32_t i);
    // Writable access to the whole buffer (makes the record unique first).
    CharT* modify();

    // Releases the record and takes the shared empty one.
    void clear();
    // Makes the record unique with capacity of at least n characters.
    void reserve(int32_t n);
    // Makes the record unique with capacity exactly n when it is shared or
    // too small (copies min(length, n) characters).
    void makeUnique(int32_t n);
    // Unique record, capacity at least n, length 0.
    void clearReserve(int32_t n);
    // Shrinks a record whose capacity exceeds length + 4 down to length.
    void shrinkToFit();

    // pos at or past the end, or count <= 0, gives the empty string; count is clipped.
    Self substr(int32_t pos, int32_t count = INT32_MAX) const;
    // First occurrence, -1 if none, 0 for an empty needle.
    int32_t indexOf(const Self& needle, int32_t from = 0) const;
    int32_t indexOf(CharT ch, int32_t from = 0) const;
    int32_t lastIndexOf(CharT ch) const;
    // An empty argument always matches.
    bool hasPrefix(const Self& prefix) const;
    bool hasSuffix(const Self& suffix) const;

    Self& append(const Self& s);
    Self& append(const CharT* s);  // zero-terminated
    Self& append(const CharT* s, int32_t count);
    Self& append(int32_t count, CharT ch);
    Self& operator+=(const Self& s) { return append(s); }
    Self& operator+=(CharT ch) { return append(1, ch); }
    // Inserts count copies of ch at pos (clipped to the length).
    Self& insert(int32_t pos, int32_t count, CharT ch);
    Self& insert(int32_t pos, const Self& s);
    // Removes count characters at offset (count clipped).
    Self& erase(int32_t offset, int32_t count);
    // Cuts the string to at most len characters.
    Self& truncate(int32_t len);
    // Drops leading and trailing spaces and tabs.
    Self& trimBlanks();
    // A string longer than maxLen is cut at the last space before maxLen
    // (or at maxLen when there is none) and gets "...".
    Self& limitLength(int32_t maxLen);
    Self& appendNumber(int64_t value);
    Self& appendHex(uint64_t value, int minDigits = 1);

    // Plain conversion: optional blanks and sign, then decimal digits; 0 when
    // there is no digit. Saturates instead of overflowing.
    int32_t toInt() const;
    int64_t toInt64() const;
    // Strict conversion: optional blanks, sign, at least one digit, then the
    // end, a space or a tab. "0x" at the start reads the rest as hexadecimal,
    // skipping characters that are not hex digits (always succeeds).
    // Decimal values saturate at the type's limits.
    bool parseDecimal(int32_t& out) const;
    bool parseDecimal64(int64_t& out) const;  // decimal only

    // Three-way comparison by units (-1, 0, 1); see the concrete types.
    int compare(const Self& other) const;
    bool operator==(const Self& o) const;
    bool operator!=(const Self& o) const { return !(*this == o); }
    bool operator<(const Self& o) const { return compare(o) < 0; }
    bool operator>(const Self& o) const { return compare(o) > 0; }
    bool operator<=(const Self& o) const { return compare(o) <= 0; }
    bool operator>=(const Self& o) const { return compare(o) >= 0; }

    // Polynomial hash h = h * 31 + c (see the concrete types for c).
    uint32_t hash() const;

    // Introspection, for tests and diagnostics.
    int32_t refCount() const { return chunk_->refCount; }
    int32_t capacity() const { return chunk_->capacity; }
    bool sharesRecordWith(const Self& o) const { return chunk_ == o.chunk_; }
    bool usesSharedEmpty() const { return chunk_ == emptyChunk(); }

protected:
    explicit LVStringBase(const CharT* s);
    LVStringBase(const CharT* s, int32_t maxCount);  // stops at a zero character
    LVStringBase(const Self& s, int32_t offset, int32_t count);
    void assign(const Self& other);
    void assignMove(LVStringBase&& other);
    void assignChars(const CharT* s, int32_t count);
    Self& self() { return static_cast<Self&>(*this); }
    const Self& self() const { return static_cast<const Self&>(*this); }
    static Chunk* emptyChunk();
    static Chunk* allocChunk(int32_t capacity);
    static void releaseChunk(Chunk* c);
    // Unique record with room for n characters (grows exactly, never shrinks).
    void ensureCapacity(int32_t n);

    Chunk* chunk_;
};

class LVString8 : public LVStringBase<char, LVString8> {
    using Base = LVStringBase<char, LVString8>;
    friend Base;

public:
    LVString8() = default;
    LVString8(const LVString8&) = default;
    LVString8(LVString8&&) noexcept = default;
    LVString8(const char* s) : Base(s) {}
    LVString8(const char* s, int32_t maxCount) : Base(s, maxCount) {}
    LVString8(const LVString8& s, int32_t offset, int32_t count) : Base(s, offset, count) {}
    LVString8& operator=(const LVString8& o) {
        assign(o);
        return *this;
    }
    LVString8& operator=(LVString8&& o) noexcept {
        assignMove(std::move(o));
        return *this;
    }
    LVString8& operator=(const char* s);

    using Base::append;
    using Base::indexOf;
    int32_t indexOf(const char* needle) const { return indexOf(LVString8(needle)); }
    bool hasPrefix(const char* p) const;
    bool hasSuffix(const char* p) const;
    using Base::hasPrefix;
    using Base::hasSuffix;
    using Base::operator==;
    bool operator==(const char* s) const;

    // ASCII letters only: the bytes of a UTF-8 sequence are left alone.
    LVString8& toUpper();
    LVString8& toLower();

    // Bytes compare as signed 8-bit values (0x80-0xFF sort before ASCII).
    static int compareUnits(char a, char b) {
        return static_cast<signed char>(a) < static_cast<signed char>(b) ? -1
               : static_cast<signed char>(a) > static_cast<signed char>(b) ? 1
                                                                           : 0;
    }
    static uint32_t hashUnit(char c) { return static_cast<uint32_t>(static_cast<signed char>(c)); }
};

class LVString16 : public LVStringBase<lvchar16, LVString16> {
    using Base = LVStringBase<lvchar16, LVString16>;
    friend Base;

public:
    LVString16() = default;
    LVString16(const LVString16&) = default;
    LVString16(LVString16&&) noexcept = default;
    LVString16(const lvchar16* s) : Base(s) {}
    LVString16(const lvchar16* s, int32_t maxCount) : Base(s, maxCount) {}
    LVString16(const LVString16& s, int32_t offset, int32_t count) : Base(s, offset, count) {}
    // From 8-bit text: decodes it as UTF-8.
    LVString16(const char* utf8);
    LVString16(const char* utf8, int32_t byteCount);

    LVString16& operator=(const LVString16& o) {
        assign(o);
        return *this;
    }
    LVString16& operator=(LVString16&& o) noexcept {
        assignMove(std::move(o));
        return *this;
    }
    LVString16& operator=(const lvchar16* s);
    // Assigning or appending 8-bit text widens each byte to the character of
    // the same value (Latin-1), unlike the constructor, which decodes UTF-8.
    LVString16& operator=(const char* latin1);
    using Base::append;
    LVString16& append(const char* latin1);
    LVString16& append(const char* latin1, int32_t count);
    LVString16& operator+=(const char* latin1) { return append(latin1); }
    using Base::operator+=;

    using Base::indexOf;
    int32_t indexOf(const char* latin1Needle, int32_t from = 0) const;
    using Base::hasPrefix;
    using Base::hasSuffix;
    bool hasPrefix(const char* latin1) const;
    bool hasSuffix(const char* latin1) const;
    using Base::compare;
    int compare(const char* latin1) const;
    using Base::operator==;
    bool operator==(const char* latin1) const { return compare(latin1) == 0; }
    bool operator!=(const char* latin1) const { return compare(latin1) != 0; }

    LVString16& toUpper();
    LVString16& toLower();

    static int compareUnits(lvchar16 a, lvchar16 b) { return a < b ? -1 : a > b ? 1 : 0; }
    static uint32_t hashUnit(lvchar16 c) { return c; }
};

LVString8 operator+(const LVString8& a, const LVString8& b);
LVString16 operator+(const LVString16& a, const LVString16& b);

// Decimal text of a number; 0 gives the interned "0".
LVString8 intToString8(int64_t value);
LVString16 intToString16(int64_t value);

// Interned constants, kept for the life of the process and keyed by the
// literal's address. constString16 decodes the literal as UTF-8.
const LVString8& constString8(const char* literal);
const LVString16& constString16(const char* literal);

// ---- Conversions -----------------------------------------------------------

// UTF-8 to 16-bit units. Decoding stops at a zero byte, at the end of the
// range, or before a sequence cut short by either. An invalid lead byte, a
// stray continuation byte, or a lead with its continuation bytes up to one
// that does not belong to it, is one U+FFFD; decoding resumes after it. A four-byte sequence
// (a character outside the 16-bit range) becomes one U+FFFD.
LVString16 decodeUtf8(const char* zstr);
LVString16 decodeUtf8(const char* bytes, size_t byteCount);
// Streaming form: decodes whole sequences from in[0..inLen) into
// out[0..outCap), stopping before a sequence that would run past the input.
// Returns the characters produced; *consumed receives the bytes used.
size_t decodeUtf8Partial(const uint8_t* in, size_t inLen, lvchar16* out, size_t outCap,
                         size_t* consumed);
// Number of characters decodeUtf8 would produce for the range.
size_t countUtf8Chars(const char* bytes, size_t byteCount);

// 16-bit units to UTF-8: one, two or three bytes per unit (surrogates are
// encoded one by one).
LVString8 encodeUtf8(const LVString16& s);
LVString8 encodeUtf8(const lvchar16* s, size_t count);
size_t utf8ByteLength(const lvchar16* s, size_t count);
inline size_t utf8ByteLength(const LVString16& s) { return utf8ByteLength(s.c_str(), s.length()); }

// Bytes below 0x80 are kept; 0x80-0xFF map through a 128-entry table (or are
// kept as Latin-1 when table is null). Stops at a zero byte.
LVString16 decodeSingleByte(const char* bytes, size_t byteCount, const lvchar16* table);
LVString16 decodeSingleByte(const char* zstr, const lvchar16* table);

// The "local" code page of this platform is UTF-8. Unlike encodeUtf8 and
// decodeUtf8, these combine and produce surrogate pairs, so that names with
// characters outside the 16-bit range survive the round trip. Unpaired
// surrogates become "?", malformed bytes U+FFFD.
LVString8 wideToLocal(const LVString16& s);
LVString16 localToWide(const char* s);
LVString16 localToWide(const char* s, size_t byteCount);

// ---- Case mapping ----------------------------------------------------------

// Maps ASCII, Latin-1 letters (U+00D7/U+00F7 and U+00DF are not letters with
// a pair; U+00FF pairs with U+0178), the Latin Extended-A pairs, Greek (final
// sigma upper-cases to U+03A3), Greek Extended and Cyrillic including
// U+0400-U+040F <-> U+0450-U+045F. Everything else is left unchanged.
lvchar16 upperChar(lvchar16 c);
lvchar16 lowerChar(lvchar16 c);
void upperChars(lvchar16* s, size_t count);
void lowerChars(lvchar16* s, size_t count);
