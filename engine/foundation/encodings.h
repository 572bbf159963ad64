// Character encodings: the 8-bit code page tables and their names, Windows
// code page numbers and locale identifiers (LCIDs), byte-order marks, UTF-8
// validity, charsets declared in XML and HTML headers, and the statistical
// detection of an 8-bit (or multi-byte) code page and language from letter
// and letter-pair frequencies.
//
// A code page table holds the 128 characters of the bytes 0x80-0xFF; bytes
// below 0x80 are ASCII. Decode with decodeSingleByte (lvstring.h). Positions a
// code page leaves undefined hold 0 in cp1250 and cp1251 (the RTF reader drops
// such bytes; every other consumer keeps the 0 as a character, never as a
// terminator), the C1 control of the same value in cp1252 (as ISO-8859-1
// does), and U+FFFD elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/lvstring.h"
#include "foundation/types.h"

// ---- Tables and names -------------------------------------------------------

// Numeric ids of the tables (codePageTableById).
enum CodePageId : int {
    CodePageIdCp1250 = 7,
    CodePageIdCp1251 = 8,
    CodePageIdCp1252 = 9,
    CodePageIdCp1253 = 10,
    CodePageIdCp1257 = 11,
    CodePageIdCp775 = 12,
    CodePageIdCp737 = 13,
    CodePageIdCp866 = 14,
    CodePageIdCp850 = 15,
    CodePageIdKoi8r = 16,
    CodePageIdIso8859_2 = 17,
    CodePageIdCp1254 = 18,
    CodePageIdCp852 = 19,
    CodePageIdIso8859_16 = 20,
    CodePageIdIso8859_5 = 21,
    CodePageIdFirst = CodePageIdCp1250,
    CodePageIdLast = CodePageIdIso8859_5,
};

// The table for a name, matched after lower-casing ASCII letters; null for a
// name with no 8-bit table (including the Unicode and multi-byte names).
// Known names: windows-1250 cp1250; windows-1251 cp1251; windows-1252 cp1252
// iso-8859-1 iso_8859-1 iso8859-1 latin-1; windows-1253 cp1253; windows-1254
// cp1254 latin-5; windows-1257 cp1257; cp775; cp737; cp866 windows-866;
// cp850 windows-850; cp852 windows-852; koi-8r koi8r koi8-r; iso8859-2
// iso-8859-2 iso8859_2 latin-2; iso8859-16 iso-8859-16 iso8859_16;
// iso-8859-5 iso_8859-5 iso8859-5.
const lvchar16* codePageTableByName(const char* name);
// The id of a name as above, or 0.
int codePageIdByName(const char* name);
// The table of an id (7-21), or null.
const lvchar16* codePageTableById(int id);
// The canonical name of an id ("cp1251", "koi8r", "iso8859-5", ...), or null.
const char* codePageNameById(int id);

// Windows code page numbers (and the RTF charset number 204 for Cyrillic).
// 204/1251, 737, 775, 850, 852, 866, 1250, 1253, 1254, 1257, 20866 (KOI8-R),
// 28592 (ISO-8859-2) and 28595 (ISO-8859-5) have their own tables; 932, 936,
// 949 and 950 are multi-byte: their names are "cp932" ... "cp950" and they
// have no table (null). Every other number gives cp1252.
const lvchar16* codePageTableByNumber(int number);
const char* codePageNameByNumber(int number);

// The Windows code page of a locale identifier (1251 for any LCID not known).
int codePageForLcid(uint32_t lcid);
// The ISO 639 code of an LCID's language ("ru", "hsb", ...), or null.
const char* languageForLcid(uint32_t lcid);

// How a text decoder should read an encoding name. The values are the
// encoding kinds of the text readers.
enum EncodingKind : int {
    EncodingUnknown = 0,
    EncodingUtf8 = 1,
    EncodingUtf16Be = 2,
    EncodingUtf16Le = 3,
    EncodingUtf32Be = 4,
    EncodingUtf32Le = 5,
    EncodingSingleByte = 6,  // through codePageTableByName
    EncodingGbk = 7,
    EncodingEucJp = 8,
    EncodingShiftJis = 9,
    EncodingBig5 = 10,
    EncodingEucKr = 11,
};
// Classifies a name (ASCII case ignored). "utf8" is an alias of "utf-8",
// "utf-16" of "utf-16le" and "utf-32" of "utf-32le"; the multi-byte names
// are those of multibyte.h.
EncodingKind encodingKindByName(const char* name);

// ---- Unicode and headers ----------------------------------------------------

// Byte-order marks first (EF BB BF "utf-8", 00 00 FE FF "utf-32be", FE FF
// "utf-16be", FF FE 00 00 "utf-32le", FF FE "utf-16le"), then UTF-8 validity
// ("utf-8"). On success the language is "en". False leaves the outputs alone.
bool detectUnicode(const char* bytes, size_t length, LVString8& codePage, LVString8& language);
// True when every sequence that starts before the last five bytes is
// well formed (ASCII, or a lead byte with its 1-3 continuation bytes). The
// tail is not examined, so a sample cut inside a character still passes.
bool isValidUtf8(const char* bytes, size_t length);
// More than 2 '<' and more than 2 '>', and their counts differ by less than 2.
bool looksLikeMarkup(const char* bytes, size_t length);
// The charset declared by an XML declaration (encoding="...") or an HTML meta
// tag (http-equiv="Content-Type" ... charset=..., or <meta charset=...>).
// The name is bounded by its tag and at most 20 characters of
// [A-Za-z0-9._:-]; it comes back lower-cased. False when none is found.
bool encodingFromHeader(const char* bytes, size_t length, LVString8& name);

// ---- Statistical detection --------------------------------------------------

// Frequencies are scaled so that everything counted sums to this.
constexpr uint32_t kCodePageStatsScale = 0x7000;
constexpr int kCodePageStatsPairs = 256;

struct CodePagePairFreq {
    uint8_t first;
    uint8_t second;
    uint16_t freq;
};

// Letter and letter-pair frequencies of a text.
// - letters[b]: occurrences of byte b among the counted bytes (every byte
//   >= 0x80, ASCII letters and "'"), scaled to kCodePageStatsScale.
// - pairs: the 256 most frequent pairs of consecutive characters, where every
//   other ASCII byte counts as a space and two spaces are not a pair, scaled
//   by the number of pairs counted and sorted by first, then second byte;
//   unused positions are {0, 0, 0} and come after pairCount.
// With skipMarkup, bytes from '<' to the next '>' are not counted (for pairs
// the '>' is a space).
struct CodePageStats {
    uint16_t letters[256];
    CodePagePairFreq pairs[kCodePageStatsPairs];
    int pairCount;
};

// The statistics of one sample, as the detector counts it. Pair counts
// saturate at 65535 (only pathological samples of more than 64 KB reach it).
void computeCodePageStats(const char* bytes, size_t length, bool skipMarkup, CodePageStats& out);

// The same counting over any amount of text with 64-bit counters: the
// statistics of a training corpus. Each add() is one text (the pair walk
// starts afresh).
class CodePageStatsAccumulator {
public:
    CodePageStatsAccumulator();
    void add(const char* bytes, size_t length, bool skipMarkup);
    void finish(CodePageStats& out) const;

private:
    uint64_t letters_[256] = {};
    uint64_t letterTotal_ = 0;
    uint64_t pairTotal_ = 0;
    std::vector<uint64_t> pairs_;
};

// One entry of the detector's statistics: a code page and language name and
// the frequencies of text in them.
struct CodePageStatsEntry {
    const char* codePage;
    const char* language;
    uint16_t letters[256];
    CodePagePairFreq pairs[kCodePageStatsPairs];
};

// The 54 built-in entries, in detection order.
const CodePageStatsEntry* codePageStatsEntries();
int codePageStatsEntryCount();

// The score of text statistics against an entry, higher for a closer match:
//   (2 x cos(letters >= 0x80) + 6 x cos(pairs with a byte >= 0x80))
//   / (letterDiff + pairDiff)
// where cos is the cosine of the entry's and the text's frequency vectors,
// letterDiff the sum of |entry - text| over all 256 letters and pairDiff the
// same over both pair lists (a pair missing from one list counts whole), each
// divided by 0x7000 x 256 and at least 0.00001. 0 when the two share no byte
// >= 0x80.
double scoreCodePageStats(const CodePageStats& text, const CodePageStatsEntry& entry);

// Detects the encoding and language of a sample (the callers pass at most
// 128 KB, with skipMarkup = looksLikeMarkup(sample)). Always returns true.
// 1. A byte-order mark wins. Valid UTF-8 gives "utf-8"/"en", except that with
//    skipMarkup a pure-ASCII sample takes the charset its header declares.
// 2. Otherwise the entry with the highest score wins (ties keep the earlier
//    one; when every score is 0 the first entry wins), and with skipMarkup a
//    charset declared in the header replaces its code page name.
// entryIndex (may be null) receives the winning entry, or -1 when the result
// did not come from the statistics.
bool detectCodePage(const char* bytes, size_t length, LVString8& codePage, LVString8& language,
                    bool skipMarkup, int* entryIndex = nullptr);
