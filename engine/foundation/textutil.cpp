#include "foundation/textutil.h"

#include <zlib.h>

#include <climits>
#include <cstdint>
#include <type_traits>

// ---- Transliteration -----------------------------------------------------------

namespace {

// U+0410-U+042F; the small letters U+0430-U+044F use the same spellings in
// lower case (except short i, which is "j" in both).
constexpr const char* kCyrillicCapitals[32] = {
    "A", "B", "V", "G", "D", "E", "ZH", "Z",  "I",  "j",  "K", "L", "M", "N", "O",  "P",
    "R", "S", "T", "U", "F", "H", "TS", "CH", "SH", "SH", "'", "Y", "'", "E", "YU", "YA",
};
constexpr const char* kCyrillicSmall[32] = {
    "a", "b", "v", "g", "d", "e", "zh", "z",  "i",  "j",  "k", "l", "m", "n", "o",  "p",
    "r", "s", "t", "u", "f", "h", "ts", "ch", "sh", "sh", "'", "y", "'", "e", "yu", "ya",
};
// U+00C0-U+00DE; U+00E0-U+00FE use the same spellings in lower case.
constexpr const char* kLatin1Capitals[31] = {
    "A", "A", "A", "A", "AE", "A", "AE", "C", "E", "E", "E", "E", "I",  "I", "I", "I",
    "D", "N", "O", "O", "O",  "O", "OE", "x", "O", "U", "U", "U", "UE", "Y", "p",
};
constexpr const char* kLatin1Small[31] = {
    "a", "a", "a", "a", "ae", "a", "ae", "c", "e", "e", "e", "e", "i",  "i", "i", "i",
    "d", "n", "o", "o", "o",  "o", "oe", "x", "o", "u", "u", "u", "ue", "y", "p",
};

const char* transliterateChar(lvchar16 c) {
    if (c >= 0x0410 && c <= 0x042F) return kCyrillicCapitals[c - 0x0410];
    if (c >= 0x0430 && c <= 0x044F) return kCyrillicSmall[c - 0x0430];
    if (c == 0x0450) return "E";
    if (c == 0x0451) return "e";
    if (c >= 0x00C0 && c <= 0x00DE) return kLatin1Capitals[c - 0x00C0];
    if (c == 0x00DF) return "SS";
    if (c >= 0x00E0 && c <= 0x00FE) return kLatin1Small[c - 0x00E0];
    return "?";
}

}  // namespace

LVString8 transliterate(const LVString16& s) {
    LVString8 out;
    const int32_t len = s.length();
    if (len == 0) return out;
    out.reserve(static_cast<int32_t>(static_cast<int64_t>(len) * 5 / 4));
    for (int32_t i = 0; i < len; ++i) {
        const lvchar16 c = s[i];
        if (c >= 0x20 && c <= 0x7F)
            out.append(1, static_cast<char>(c));
        else
            out.append(transliterateChar(c));
    }
    out.shrinkToFit();
    return out;
}

// ---- Whitespace normalisation ----------------------------------------------------

namespace {

// The letter test used for end-of-line hyphens: ASCII letters, then
// everything from U+00C0 to the end of Latin Extended Additional.
bool isHyphenatedWordLetter(lvchar16 c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    return c >= 0x00C0 && c <= 0x1EF9;
}

}  // namespace

size_t normalizeSpaces(lvchar16* buf, size_t length, bool keepLeading, bool keepTrailing,
                       bool removeEolHyphens) {
    enum class State { Beginning, AfterSpace, AfterText };
    State state = State::Beginning;
    size_t out = 0;  // never passes the read index, so reading ahead stays valid
    for (size_t i = 0; i < length; ++i) {
        const lvchar16 c = buf[i];
        const bool isBlank = c == ' ' || c == '\t';
        const bool isEol = c == '\r' || c == '\n';
        if (!isBlank && !isEol) {
            buf[out++] = c;
            state = State::AfterText;
            continue;
        }
        if (state == State::AfterText) {
            if (isEol && removeEolHyphens && out > 1 && buf[out - 1] == '-' &&
                isHyphenatedWordLetter(buf[out - 2]))
                --out;
            // A whitespace character that ends the text is dropped.
            const bool atEnd = i + 1 >= length || buf[i + 1] == 0;
            if (!atEnd || keepTrailing) buf[out++] = ' ';
        } else if (state == State::Beginning) {
            if (keepLeading) buf[out++] = ' ';
        }
        state = State::AfterSpace;
    }
    return out;
}

// ---- Word bounds ------------------------------------------------------------------

void wordBoundsAt(const lvchar16* text, int32_t length, int32_t pos, int32_t& start, int32_t& end) {
    if (length < 0) length = 0;
    if (pos < 0) pos = 0;
    if (pos > length) pos = length;
    // Step back from the character before pos to the nearest letter
    // (text[0] is taken as it is).
    int32_t i = pos - 1;
    while (i > 0 && !isLetterChar(text[i])) --i;
    if (i < 0) {
        start = end = pos;
        return;
    }
    // Walk back to the first letter of the word.
    while (i > 0) {
        if (isLetterChar(text[i])) {
            --i;
        } else {
            ++i;
            break;
        }
    }
    start = i;
    end = start + 1;
    while (end < length && isLetterChar(text[end]) && text[end - 1] != 0x0020 &&
           text[end - 1] != 0x00AD)
        ++end;
}

// ---- Digit readers ----------------------------------------------------------------

int hexDigitValue(lvchar16 c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

namespace {

constexpr uint64_t kInt64Max = static_cast<uint64_t>(INT64_MAX);

// Accumulates in unsigned 64 bits and saturates at INT64_MAX, so that -1
// stays reserved for invalid input.
template <typename CharT>
int64_t readHex(const CharT* s, int count) {
    uint64_t value = 0;
    for (int i = 0; i < count; ++i) {
        const auto unit = static_cast<std::make_unsigned_t<CharT>>(s[i]);
        const int d = hexDigitValue(static_cast<lvchar16>(unit));
        if (d < 0) return -1;
        value = value > (kInt64Max >> 4) ? kInt64Max : value * 16 + static_cast<uint64_t>(d);
    }
    return static_cast<int64_t>(value);
}

template <typename CharT>
int64_t readDecimal(const CharT* s, int count) {
    uint64_t value = 0;
    for (int i = 0; i < count; ++i) {
        const CharT c = s[i];
        if (c == 0 || c < '0' || c > '9') return -1;
        const uint64_t d = static_cast<uint64_t>(c - '0');
        value = value > (kInt64Max - d) / 10 ? kInt64Max : value * 10 + d;
    }
    return static_cast<int64_t>(value);
}

}  // namespace

int64_t readHexDigits(const lvchar16* s, int count) { return readHex(s, count); }
int64_t readHexDigits(const char* s, int count) { return readHex(s, count); }
int64_t readDecimalDigits(const lvchar16* s, int count) { return readDecimal(s, count); }
int64_t readDecimalDigits(const char* s, int count) { return readDecimal(s, count); }

int readPercentEscape(const lvchar16* s) {
    // Short-circuiting keeps the reads within a zero-terminated text.
    if (s[0] != '%') return 0;
    const int hi = hexDigitValue(s[1]);
    if (hi < 0) return 0;
    const int lo = hexDigitValue(s[2]);
    if (lo < 0) return 0;
    return hi * 16 + lo;
}

// ---- Percent escapes ----------------------------------------------------------------

namespace {

// Strict UTF-8 check: no overlong forms, no surrogates, nothing above
// U+10FFFF and no zero byte.
bool isValidUtf8(const uint8_t* p, size_t n) {
    size_t i = 0;
    while (i < n) {
        const uint8_t b = p[i];
        if (b == 0) return false;
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t extra;
        uint32_t cp;
        uint32_t min;
        if ((b & 0xE0) == 0xC0) {
            extra = 1, cp = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, cp = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, cp = b & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (n - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

}  // namespace

LVString16 decodePercentEscapes(const LVString16& s) {
    const int32_t len = s.length();
    const lvchar16* p = s.c_str();
    bool hasEscape = false;
    for (int32_t i = 0; i < len && !hasEscape; ++i) hasEscape = readPercentEscape(p + i) != 0;
    if (!hasEscape) return s;

    // First try the bytes as UTF-8: escapes give their byte, other characters
    // their own UTF-8 form (a single byte for the ASCII of real links).
    LVString8 bytes;
    bytes.reserve(len);
    for (int32_t i = 0; i < len;) {
        const int v = readPercentEscape(p + i);
        if (v != 0) {
            bytes.append(1, static_cast<char>(v));
            i += 3;
        } else if (p[i] < 0x80) {
            bytes.append(1, static_cast<char>(p[i]));
            ++i;
        } else {
            bytes += encodeUtf8(p + i, 1);
            ++i;
        }
    }
    if (isValidUtf8(reinterpret_cast<const uint8_t*>(bytes.c_str()),
                    static_cast<size_t>(bytes.length())))
        return decodeUtf8(bytes.c_str(), static_cast<size_t>(bytes.length()));

    // Not UTF-8: each escape stands for the Latin-1 character of its value.
    LVString16 out;
    out.reserve(len);
    for (int32_t i = 0; i < len;) {
        const int v = readPercentEscape(p + i);
        if (v != 0) {
            out.append(1, static_cast<lvchar16>(v));
            i += 3;
        } else {
            out.append(1, p[i]);
            ++i;
        }
    }
    return out;
}

// ---- Hashes and checksums ---------------------------------------------------------------

uint32_t fnv1Hash(const lvchar16* zstr) {
    uint32_t h = 2166136261u;
    for (; *zstr; ++zstr) h = (h * 16777619u) ^ static_cast<uint32_t>(*zstr);
    return h;
}

uint32_t lvCrc32(uint32_t crc, const void* data, size_t size) {
    const Bytef* p = static_cast<const Bytef*>(data);
    uLong c = crc;
    // zlib takes 32-bit lengths: feed larger ranges in pieces.
    while (size > 0) {
        const uInt piece = size > UINT_MAX ? UINT_MAX : static_cast<uInt>(size);
        c = crc32(c, p, piece);
        p += piece;
        size -= piece;
    }
    return static_cast<uint32_t>(c);
}
