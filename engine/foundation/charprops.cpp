// Character property tables.
//
// The tables are computed at compile time from the rules below and end up as
// read-only data. The repertoire is that of the scripts the hyphenator
// handles: Latin with Latin-1 and Latin Extended-A, Greek with Greek
// Extended, and the Cyrillic block up to U+04A3. Within those ranges the
// characters added to Unicode later than the rest of their block (U+03CF,
// U+03D8-U+03D9, U+040D, U+0450, U+045D, U+048A-U+048F) are left at 0, like
// every unassigned position, so that the Cyrillic table stays symmetric with
// U+0400, which lies outside it.
#include <array>

#include "foundation/textutil.h"

namespace {

constexpr uint16_t kUpperVowel = CharPropUpper | CharPropVowel;
constexpr uint16_t kLowerVowel = CharPropLower | CharPropVowel;
constexpr uint16_t kUpperConsonant = CharPropUpper | CharPropConsonant;
constexpr uint16_t kLowerConsonant = CharPropLower | CharPropConsonant;

constexpr uint16_t letter(bool upper, bool vowel) {
    return vowel ? (upper ? kUpperVowel : kLowerVowel)
                 : (upper ? kUpperConsonant : kLowerConsonant);
}

constexpr bool inRange(char32_t c, char32_t first, char32_t last) {
    return c >= first && c <= last;
}

// ASCII: whitespace, punctuation, the digit row, signs and letters. Both
// small and capital letters carry the upper-case bit here.
constexpr uint16_t asciiProps(char32_t c) {
    // clang-format off
    switch (c) {
        case 0x08: case 0x09: case 0x0A: case 0x0C: case 0x0D: case 0x20:
            return CharPropSpace;
        case '!': case ',': case '.':
            return CharPropPunct;
        case '-':
            return CharPropSign | CharPropHyphen;
        case '"': case '(': case ')':
            return 0;
        default:
            break;
    }
    // clang-format on
    if (inRange(c, 0x30, 0x3F)) return CharPropDigit;  // digits and : ; < = > ?
    if (inRange(c, 0x23, 0x27) || c == 0x2A || c == 0x2B || c == 0x2F || c == 0x40 ||
        inRange(c, 0x5B, 0x60) || inRange(c, 0x7B, 0x7F))
        return CharPropSign;
    if (inRange(c, 'A', 'Z') || inRange(c, 'a', 'z')) {
        const char32_t u = c & ~char32_t{0x20};
        const bool vowel = u == 'A' || u == 'E' || u == 'I' || u == 'O' || u == 'U' || u == 'Y';
        return vowel ? kUpperVowel : kUpperConsonant;
    }
    return 0;  // control characters
}

// U+0080-U+00FF.
constexpr uint16_t latin1Props(char32_t c) {
    if (c < 0xA0) return 0;  // C1 controls
    if (c == 0xA0) return CharPropSpace;
    if (c == 0xA1 || c == 0xBF) return CharPropPunct;
    if (c < 0xC0) return CharPropSign;
    if (c == 0xD7 || c == 0xF7) return CharPropSign;  // multiplication and division signs
    if (c == 0xDF) return kLowerConsonant;            // sharp s
    if (c == 0xFF) return kLowerVowel;                // y with diaeresis
    const char32_t capital = c & ~char32_t{0x20};     // the capital of a small letter
    const bool consonant = capital == 0xC7 || capital == 0xD0 || capital == 0xD1 ||
                           capital == 0xDE;  // C cedilla, eth, N tilde, thorn
    return letter(c < 0xE0, !consonant);
}

// U+0100-U+017F: capital/small pairs, with the parity shifted after the
// lone small letters U+0138 (kra) and U+0149, and after U+0178 (Y with
// diaeresis, whose small form is U+00FF).
constexpr uint16_t latinExtAProps(char32_t c) {
    bool upper;
    if (c <= 0x0137)
        upper = (c & 1) == 0;
    else if (c == 0x0138 || c == 0x0149 || c == 0x017F)
        upper = false;
    else if (c <= 0x0148)
        upper = (c & 1) == 1;
    else if (c <= 0x0177)
        upper = (c & 1) == 0;
    else if (c == 0x0178)
        upper = true;
    else
        upper = (c & 1) == 1;
    const bool vowel = inRange(c, 0x0100, 0x0105) ||  // A
                       inRange(c, 0x0112, 0x011B) ||  // E
                       inRange(c, 0x0128, 0x0133) ||  // I, dotless i, IJ
                       inRange(c, 0x014C, 0x0153) ||  // O, OE
                       inRange(c, 0x0168, 0x0173) ||  // U
                       inRange(c, 0x0176, 0x0178);    // Y
    return letter(upper, vowel);
}

constexpr bool isGreekCapitalVowel(char32_t c) {
    return c == 0x0391 || c == 0x0395 || c == 0x0397 || c == 0x0399 || c == 0x039F || c == 0x03A5 ||
           c == 0x03A9;  // alpha epsilon eta iota omicron upsilon omega
}

// U+0384-U+03E1.
constexpr uint16_t greekProps(char32_t c) {
    if (c == 0x0384 || c == 0x0385) return CharPropVowel;   // spacing tonos marks
    if (c == 0x0387) return CharPropPunct | CharPropUpper;  // ano teleia
    if (c == 0x0386 || inRange(c, 0x0388, 0x038A) || c == 0x038C || c == 0x038E || c == 0x038F ||
        c == 0x03AA || c == 0x03AB)
        return kUpperVowel;  // accented capitals
    if (c == 0x0390 || inRange(c, 0x03AC, 0x03B0) || inRange(c, 0x03CA, 0x03CE))
        return kLowerVowel;  // accented small letters
    if (inRange(c, 0x0391, 0x03A9) && c != 0x03A2) return letter(true, isGreekCapitalVowel(c));
    if (inRange(c, 0x03B1, 0x03C9)) return letter(false, isGreekCapitalVowel(c - 0x20));
    if (c == 0x03D0 || c == 0x03D1 || inRange(c, 0x03D5, 0x03D7) || inRange(c, 0x03DA, 0x03E1))
        return CharPropConsonant;                          // letter symbols and archaic letters
    if (inRange(c, 0x03D2, 0x03D4)) return CharPropVowel;  // upsilon symbols
    return 0;
}

constexpr bool isCyrillicCapitalVowel(char32_t c) {
    // clang-format off
    switch (c) {
        case 0x0401: case 0x0404: case 0x0406: case 0x0407: case 0x040E:  // Ё Є І Ї Ў
        case 0x0410: case 0x0415: case 0x0418: case 0x041E: case 0x0423:  // А Е И О У
        case 0x042B: case 0x042D: case 0x042E: case 0x042F:               // Ы Э Ю Я
            return true;
        default:
            return false;
    }
    // clang-format on
}

// U+0401-U+04A3.
constexpr uint16_t cyrillicProps(char32_t c) {
    if (c == 0x040D || c == 0x0450 || c == 0x045D) return 0;
    if (c == 0x042A || c == 0x042C) return CharPropAlphaSign | CharPropUpper;  // hard, soft sign
    if (c == 0x044A || c == 0x044C) return CharPropAlphaSign | CharPropLower;
    if (inRange(c, 0x0401, 0x042F)) return letter(true, isCyrillicCapitalVowel(c));
    if (inRange(c, 0x0430, 0x044F)) return letter(false, isCyrillicCapitalVowel(c - 0x20));
    if (inRange(c, 0x0451, 0x045F)) return letter(false, isCyrillicCapitalVowel(c - 0x50));
    if (inRange(c, 0x0460, 0x0481)) {
        // Historic letters in capital/small pairs: omega, yat, iotified e,
        // the yuses, izhitsa, uk, round omega, omega with titlo and ot are
        // vowels; ksi, psi, fita and koppa are consonants.
        const char32_t capital = c & ~char32_t{1};
        const bool consonant =
            capital == 0x046E || capital == 0x0470 || capital == 0x0472 || capital == 0x0480;
        return letter((c & 1) == 0, !consonant);
    }
    if (inRange(c, 0x0490, 0x04A3)) return letter((c & 1) == 0, false);  // Ґ Ғ Ҕ ... Ң pairs
    return 0;  // thousands sign and combining marks
}

constexpr uint16_t basicProps(char32_t c) {
    if (c < 0x80) return asciiProps(c);
    if (c < 0x100) return latin1Props(c);
    if (c < 0x180) return latinExtAProps(c);
    if (inRange(c, 0x0384, 0x03E1)) return greekProps(c);
    if (inRange(c, 0x0401, 0x04A3)) return cyrillicProps(c);
    return 0;
}

// Greek Extended, one row of 16 per line: v/V small/capital vowel, c/C
// small/capital consonant (the rho forms), s spacing accent (vowel bit
// without case, like U+0384), "." unassigned. Title-case letters with
// prosgegrammeni count as capitals.
constexpr const char* kGreekExtendedLayout[16] = {
    "vvvvvvvvVVVVVVVV",  // 1F0x alpha
    "vvvvvv..VVVVVV..",  // 1F1x epsilon
    "vvvvvvvvVVVVVVVV",  // 1F2x eta
    "vvvvvvvvVVVVVVVV",  // 1F3x iota
    "vvvvvv..VVVVVV..",  // 1F4x omicron
    "vvvvvvvv.V.V.V.V",  // 1F5x upsilon
    "vvvvvvvvVVVVVVVV",  // 1F6x omega
    "vvvvvvvvvvvvvv..",  // 1F7x with varia and oxia
    "vvvvvvvvVVVVVVVV",  // 1F8x alpha with ypogegrammeni
    "vvvvvvvvVVVVVVVV",  // 1F9x eta with ypogegrammeni
    "vvvvvvvvVVVVVVVV",  // 1FAx omega with ypogegrammeni
    "vvvvv.vvVVVVVsvs",  // 1FBx alpha, koronis, prosgegrammeni, psili
    "ssvvv.vvVVVVVsss",  // 1FCx eta
    "vvvv..vvVVVV.sss",  // 1FDx iota
    "vvvvccvvVVVVCsss",  // 1FEx upsilon, rho
    "..vvv.vvVVVVVss.",  // 1FFx omega
};

constexpr uint16_t greekExtendedProps(unsigned low) {
    // clang-format off
    switch (kGreekExtendedLayout[low >> 4][low & 0xF]) {
        case 'v': return kLowerVowel;
        case 'V': return kUpperVowel;
        case 'c': return kLowerConsonant;
        case 'C': return kUpperConsonant;
        case 's': return CharPropVowel;
        default: return 0;
    }
    // clang-format on
}

constexpr size_t kBasicTableSize = 0x04A4;  // U+0000-U+04A3

constexpr std::array<uint16_t, kBasicTableSize> kBasicTable = [] {
    std::array<uint16_t, kBasicTableSize> t{};
    for (size_t i = 0; i < t.size(); ++i) t[i] = basicProps(static_cast<char32_t>(i));
    return t;
}();

constexpr std::array<uint16_t, 256> kGreekExtendedTable = [] {
    std::array<uint16_t, 256> t{};
    for (unsigned i = 0; i < t.size(); ++i) t[i] = greekExtendedProps(i);
    return t;
}();

// A few fixed points of the rules, checked when the tables are built.
static_assert(kBasicTable['a'] == 0x0041 && kBasicTable['b'] == 0x0081);
static_assert(kBasicTable['-'] == 0x0500 && kBasicTable['?'] == CharPropDigit);
static_assert(kBasicTable[0x00E9] == 0x0042 && kBasicTable[0x00DF] == 0x0082);
static_assert(kBasicTable[0x044C] == 0x0202 && kBasicTable[0x0451] == 0x0042);
static_assert(kGreekExtendedTable[0xEC] == kUpperConsonant && kGreekExtendedTable[0xFF] == 0);

}  // namespace

uint16_t charProps(lvchar16 c) {
    if (c < kBasicTableSize) return kBasicTable[c];
    if (c >= 0x1F00 && c <= 0x1FFF) return kGreekExtendedTable[c & 0xFF];
    if (c >= 0x2012 && c <= 0x2015) return CharPropSign | CharPropHyphen;  // figure dash .. bar
    return 0;
}
