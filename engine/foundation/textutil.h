// Text utilities shared by the parsers, the hyphenator and the caches:
// character properties, whitespace normalisation, word bounds, link-target
// unescaping, digit readers, transliteration to ASCII and the hashes and
// checksums used by the engine's persisted tables.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/lvstring.h"
#include "foundation/types.h"

// ---- Character properties ---------------------------------------------------

enum CharProp : uint16_t {
    CharPropUpper = 0x0001,
    CharPropLower = 0x0002,
    CharPropDigit = 0x0004,
    CharPropPunct = 0x0008,
    CharPropSpace = 0x0010,
    CharPropVowel = 0x0040,
    CharPropConsonant = 0x0080,
    CharPropSign = 0x0100,
    CharPropAlphaSign = 0x0200,
    CharPropHyphen = 0x0400,
};

// Property flags of one character, for hyphenation and word breaking.
// Covers U+0000-U+04A3 (Latin, Greek, Cyrillic), Greek Extended
// U+1F00-U+1FFF and the dashes U+2012-U+2015; everything else is 0.
// Note that the ASCII letters, small ones included, carry CharPropUpper.
uint16_t charProps(lvchar16 c);

// A letter has a case bit (CharPropUpper or CharPropLower).
inline bool isLetterChar(lvchar16 c) {
    return (charProps(c) & (CharPropUpper | CharPropLower)) != 0;
}

// ---- Transformations ----------------------------------------------------------

// ASCII rendering used for cache file names: printable ASCII is kept,
// Cyrillic and Latin-1 letters become short Latin spellings, anything else
// becomes "?".
LVString8 transliterate(const LVString16& s);

// Collapses whitespace in buf[0..length) in place and returns the new length.
// A run of spaces, tabs, CRs and LFs after text becomes one space; leading
// whitespace is kept as one space only with keepLeading; a whitespace
// character that is the last one of the range (or followed by a zero
// character) is dropped unless keepTrailing. With removeEolHyphens a "-"
// between a letter and a line end is dropped. Never reads past length.
size_t normalizeSpaces(lvchar16* buf, size_t length, bool keepLeading, bool keepTrailing,
                       bool removeEolHyphens);

// Bounds [start, end) of the word at or before pos in text[0..length).
// pos is clamped to 0..length; when pos is 0, start = end = 0.
void wordBoundsAt(const lvchar16* text, int32_t length, int32_t pos, int32_t& start, int32_t& end);

// Replaces each "%XY" escape of non-zero value in a link target or archive
// path. When the escaped bytes together with the other characters form valid
// UTF-8, the result is its decoding ("%C3%A9" gives U+00E9); otherwise each
// escape becomes the Latin-1 character of its value. A string without such
// an escape is returned unchanged (sharing its record).
LVString16 decodePercentEscapes(const LVString16& s);

// ---- Digit readers --------------------------------------------------------------

// 0-15 for "0"-"9", "a"-"f", "A"-"F"; -1 otherwise.
int hexDigitValue(lvchar16 c);

// Reads exactly count hex digits; -1 when one of them is not a hex digit
// (the zero terminator included). Values beyond INT64_MAX saturate.
int64_t readHexDigits(const lvchar16* s, int count);
int64_t readHexDigits(const char* s, int count);

// Reads exactly count decimal digits; -1 when it meets a zero character or a
// non-digit. Values beyond INT64_MAX saturate.
int64_t readDecimalDigits(const lvchar16* s, int count);
int64_t readDecimalDigits(const char* s, int count);

// For a zero-terminated text starting with "%" and two hex digits, the byte
// value of the escape; 0 for anything else.
int readPercentEscape(const lvchar16* s);

// ---- Hashes and checksums ----------------------------------------------------------

// FNV-1, 32-bit, over the 16-bit units of a zero-terminated text:
// h = 2166136261; h = (h * 16777619) ^ c for each unit.
uint32_t fnv1Hash(const lvchar16* zstr);

// The standard CRC-32, continuing from crc (start with 0).
uint32_t lvCrc32(uint32_t crc, const void* data, size_t size);
