// Byte-order marks, UTF-8 validity, header charsets and the statistical
// code page and language detector.
#include "foundation/encodings.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "foundation/log.h"

namespace {

constexpr size_t kNotFound = static_cast<size_t>(-1);
// The longest charset name taken from a header.
constexpr size_t kMaxHeaderName = 20;

inline uint8_t lowerAscii(uint8_t c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }
inline bool isAsciiLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool isSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline bool isNameChar(uint8_t c) {
    return isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' ||
           c == ':';
}
// Counted by the letter statistics: bytes >= 0x80, ASCII letters and "'".
inline bool isStatsLetter(uint8_t c) { return c >= 0x80 || isAsciiLetter(c) || c == '\''; }

// First position in [from, to) where needle (lower-case ASCII) matches,
// ignoring ASCII case; kNotFound when there is none.
size_t findNoCase(const uint8_t* s, size_t from, size_t to, const char* needle) {
    size_t n = std::strlen(needle);
    if (n == 0 || to < n || from > to - n) return kNotFound;
    for (size_t i = from; i + n <= to; ++i) {
        size_t k = 0;
        while (k < n && lowerAscii(s[i + k]) == static_cast<uint8_t>(needle[k])) ++k;
        if (k == n) return i;
    }
    return kNotFound;
}

// Last position in [from, to) where needle starts, ignoring ASCII case.
size_t rfindNoCase(const uint8_t* s, size_t from, size_t to, const char* needle) {
    size_t n = std::strlen(needle);
    if (n == 0 || to < n || from > to - n) return kNotFound;
    for (size_t i = to - n + 1; i-- > from;) {
        size_t k = 0;
        while (k < n && lowerAscii(s[i + k]) == static_cast<uint8_t>(needle[k])) ++k;
        if (k == n) return i;
    }
    return kNotFound;
}

size_t skipSpaces(const uint8_t* s, size_t i, size_t to) {
    while (i < to && isSpace(s[i])) ++i;
    return i;
}

// Reads a charset name at s[i..to): 1 to 20 name characters, ended by the
// limit or by any other character; when close is not 0 that character must
// follow the name. The name is stored lower-cased.
bool readHeaderName(const uint8_t* s, size_t i, size_t to, uint8_t close, LVString8& out) {
    size_t start = i;
    while (i < to && isNameChar(s[i])) {
        if (i - start >= kMaxHeaderName) return false;
        ++i;
    }
    if (i == start) return false;
    if (close && (i >= to || s[i] != close)) return false;
    char buf[kMaxHeaderName + 1];
    size_t n = i - start;
    for (size_t k = 0; k < n; ++k) buf[k] = static_cast<char>(lowerAscii(s[start + k]));
    buf[n] = 0;
    out = LVString8(buf);
    return true;
}

// <?xml ... encoding="name" ... ?>, before the first "?>".
bool xmlDeclEncoding(const uint8_t* s, size_t len, LVString8& name) {
    size_t end = findNoCase(s, 0, len, "?>");
    if (end == kNotFound) return false;
    size_t decl = findNoCase(s, 0, end, "<?xml");
    if (decl == kNotFound) return false;
    for (size_t p = findNoCase(s, decl, end, "encoding"); p != kNotFound;
         p = findNoCase(s, p + 1, end, "encoding")) {
        size_t i = skipSpaces(s, p + 8, end);
        if (i >= end || s[i] != '=') continue;
        i = skipSpaces(s, i + 1, end);
        if (i >= end || (s[i] != '"' && s[i] != '\'')) continue;
        uint8_t quote = s[i];
        if (readHeaderName(s, i + 1, end, quote, name)) {
            LOG_DEBUG("XML header encoding detected: %s", name.c_str());
            return true;
        }
        return false;
    }
    return false;
}

// The end of the tag that starts at or before p: the next '>'.
size_t tagEnd(const uint8_t* s, size_t p, size_t len) {
    for (size_t i = p; i < len; ++i)
        if (s[i] == '>') return i;
    return kNotFound;
}

// <meta http-equiv="Content-Type" content="...; charset=name">, attributes in
// any order.
bool metaHttpEquivCharset(const uint8_t* s, size_t len, LVString8& name) {
    for (size_t p = findNoCase(s, 0, len, "http-equiv"); p != kNotFound;
         p = findNoCase(s, p + 1, len, "http-equiv")) {
        size_t i = skipSpaces(s, p + 10, len);
        if (i >= len || s[i] != '=') continue;
        i = skipSpaces(s, i + 1, len);
        if (i < len && (s[i] == '"' || s[i] == '\'')) ++i;
        if (findNoCase(s, i, std::min(len, i + 12), "content-type") != i) continue;
        size_t meta = rfindNoCase(s, 0, p, "<meta");
        size_t end = tagEnd(s, p, len);
        if (meta == kNotFound || end == kNotFound) continue;
        // The tag must not end between "<meta" and http-equiv.
        if (tagEnd(s, meta, p) != kNotFound) continue;
        size_t cs = findNoCase(s, meta, end, "charset=");
        if (cs == kNotFound) continue;
        i = cs + 8;
        if (i < end && (s[i] == '"' || s[i] == '\'')) ++i;
        if (readHeaderName(s, i, end, 0, name)) {
            LOG_DEBUG("HTML header meta encoding detected: %s", name.c_str());
            return true;
        }
    }
    return false;
}

// <meta charset="name">: a charset attribute, not the word inside another
// attribute's value.
bool metaCharsetAttribute(const uint8_t* s, size_t len, LVString8& name) {
    for (size_t meta = findNoCase(s, 0, len, "<meta"); meta != kNotFound;
         meta = findNoCase(s, meta + 1, len, "<meta")) {
        size_t end = tagEnd(s, meta, len);
        if (end == kNotFound) return false;
        uint8_t quote = 0;
        for (size_t p = meta + 5; p < end; ++p) {
            uint8_t c = s[p];
            if (quote) {
                if (c == quote) quote = 0;
                continue;
            }
            if (c == '"' || c == '\'') {
                quote = c;
                continue;
            }
            if (!isSpace(s[p - 1]) || findNoCase(s, p, std::min(end, p + 7), "charset") != p)
                continue;
            size_t i = skipSpaces(s, p + 7, end);
            if (i >= end || s[i] != '=') continue;
            i = skipSpaces(s, i + 1, end);
            if (i < end && (s[i] == '"' || s[i] == '\'')) ++i;
            if (readHeaderName(s, i, end, 0, name)) {
                LOG_DEBUG("HTML header meta encoding detected: %s", name.c_str());
                return true;
            }
        }
    }
    return false;
}

const char* bomEncoding(const uint8_t* s, size_t len) {
    if (len >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF) return "utf-8";
    if (len >= 4 && s[0] == 0 && s[1] == 0 && s[2] == 0xFE && s[3] == 0xFF) return "utf-32be";
    if (len >= 2 && s[0] == 0xFE && s[1] == 0xFF) return "utf-16be";
    if (len >= 4 && s[0] == 0xFF && s[1] == 0xFE && s[2] == 0 && s[3] == 0) return "utf-32le";
    if (len >= 2 && s[0] == 0xFF && s[1] == 0xFE) return "utf-16le";
    return nullptr;
}

bool isPureAscii(const uint8_t* s, size_t len) {
    for (size_t i = 0; i < len; ++i)
        if (s[i] >= 0x80) return false;
    return true;
}

void logUtf8Failure(const uint8_t* s, size_t len, size_t i) {
    // At most 32 bytes, never past the sample.
    size_t n = std::min<size_t>(32, len - i);
    LOG_TRACE("unexpected char %02x at position %zx, str=%.*s", s[i], i, static_cast<int>(n),
              reinterpret_cast<const char*>(s + i));
}

// The pair counters of the detector: 256 x 256 saturating 16-bit counts,
// allocated once per thread and left zeroed after each use, with the list of
// the counters touched so that only those are read and cleared.
struct PairCounter {
    std::unique_ptr<uint16_t[]> counts{new uint16_t[65536]()};
    std::vector<uint16_t> touched;
};

PairCounter& pairCounter() {
    thread_local PairCounter counter;
    return counter;
}

inline uint32_t pairKey(const CodePagePairFreq& p) {
    return (static_cast<uint32_t>(p.first) << 8) | p.second;
}

// Counts one text: letters into letters/letterTotal, and every pair of
// consecutive characters through addPair(key = first << 8 | second).
template <class AddPair>
void countText(const uint8_t* s, size_t length, bool skipMarkup, uint64_t* letters,
               uint64_t& letterTotal, uint64_t& pairTotal, AddPair addPair) {
    bool inTag = false;
    for (size_t i = 0; i < length; ++i) {
        uint8_t b = s[i];
        if (skipMarkup) {
            if (inTag) {
                if (b == '>') inTag = false;
                continue;
            }
            if (b == '<') {
                inTag = true;
                continue;
            }
        }
        if (isStatsLetter(b)) {
            ++letters[b];
            ++letterTotal;
        }
    }
    // Pairs. The text starts after a space; every ASCII byte other than a
    // letter or "'" is a space.
    uint8_t prev = ' ';
    inTag = false;
    for (size_t i = 0; i < length; ++i) {
        uint8_t b = s[i];
        if (skipMarkup) {
            if (b == '<') {
                inTag = true;
                continue;
            }
            if (inTag) {
                if (b != '>') continue;
                inTag = false;
            }
        }
        uint8_t cur = isStatsLetter(b) ? b : ' ';
        if (prev != ' ' || cur != ' ') {
            addPair(static_cast<uint16_t>((prev << 8) | cur));
            ++pairTotal;
        }
        prev = cur;
    }
}

void scaleLetters(const uint64_t* letters, uint64_t total, CodePageStats& out) {
    if (!total) return;
    for (int j = 0; j < 256; ++j)
        out.letters[j] = static_cast<uint16_t>(letters[j] * kCodePageStatsScale / total);
}

// Keeps the 256 most frequent of the pairs in keys (ties: the smaller pair),
// sorted by pair. keys is reordered.
template <class CountOf>
void selectPairs(std::vector<uint16_t>& keys, CountOf countOf, uint64_t pairTotal,
                 CodePageStats& out) {
    auto moreFrequent = [&countOf](uint16_t a, uint16_t b) {
        uint64_t ca = countOf(a), cb = countOf(b);
        return ca != cb ? ca > cb : a < b;
    };
    size_t keep = std::min<size_t>(keys.size(), kCodePageStatsPairs);
    if (keys.size() > keep)
        std::nth_element(keys.begin(), keys.begin() + static_cast<ptrdiff_t>(keep), keys.end(),
                         moreFrequent);
    std::sort(keys.begin(), keys.begin() + static_cast<ptrdiff_t>(keep));
    for (size_t k = 0; k < keep; ++k) {
        CodePagePairFreq& p = out.pairs[k];
        p.first = static_cast<uint8_t>(keys[k] >> 8);
        p.second = static_cast<uint8_t>(keys[k] & 0xFF);
        p.freq = static_cast<uint16_t>(countOf(keys[k]) * kCodePageStatsScale / pairTotal);
    }
    out.pairCount = static_cast<int>(keep);
}

}  // namespace

bool isValidUtf8(const char* bytes, size_t length) {
    if (!bytes) return true;
    const uint8_t* s = reinterpret_cast<const uint8_t*>(bytes);
    size_t limit = length > 5 ? length - 5 : 0;
    size_t i = 0;
    while (i < limit) {
        uint8_t b = s[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t more;
        if ((b & 0xE0) == 0xC0) {
            more = 1;
        } else if ((b & 0xF0) == 0xE0) {
            more = 2;
        } else if ((b & 0xF8) == 0xF0) {
            more = 3;
        } else {
            if ((b & 0xC0) == 0x80) logUtf8Failure(s, length, i);
            return false;
        }
        // i < length - 5, so i + 3 is inside the sample.
        for (size_t k = 1; k <= more; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) {
                if (more == 1) logUtf8Failure(s, length, i + k);
                return false;
            }
        }
        i += more + 1;
    }
    return true;
}

bool detectUnicode(const char* bytes, size_t length, LVString8& codePage, LVString8& language) {
    const uint8_t* s = reinterpret_cast<const uint8_t*>(bytes);
    const char* name = bytes ? bomEncoding(s, length) : nullptr;
    if (!name && isValidUtf8(bytes, length)) name = "utf-8";
    if (!name) return false;
    codePage = name;
    language = "en";
    return true;
}

bool looksLikeMarkup(const char* bytes, size_t length) {
    if (!bytes) return false;
    uint64_t lt = 0, gt = 0;
    for (size_t i = 0; i < length; ++i) {
        if (bytes[i] == '<') ++lt;
        else if (bytes[i] == '>') ++gt;
    }
    uint64_t diff = lt > gt ? lt - gt : gt - lt;
    return lt > 2 && gt > 2 && diff < 2;
}

bool encodingFromHeader(const char* bytes, size_t length, LVString8& name) {
    if (!bytes) return false;
    const uint8_t* s = reinterpret_cast<const uint8_t*>(bytes);
    return xmlDeclEncoding(s, length, name) || metaHttpEquivCharset(s, length, name) ||
           metaCharsetAttribute(s, length, name);
}

void computeCodePageStats(const char* bytes, size_t length, bool skipMarkup, CodePageStats& out) {
    std::memset(&out, 0, sizeof out);
    if (!bytes) length = 0;
    PairCounter& pc = pairCounter();
    uint16_t* pairs = pc.counts.get();
    std::vector<uint16_t>& keys = pc.touched;
    keys.clear();
    uint64_t letters[256] = {};
    uint64_t letterTotal = 0, pairTotal = 0;
    countText(reinterpret_cast<const uint8_t*>(bytes), length, skipMarkup, letters, letterTotal,
              pairTotal, [pairs, &keys](uint16_t key) {
                  uint16_t& c = pairs[key];
                  if (c == 0) keys.push_back(key);
                  if (c != UINT16_MAX) ++c;
              });
    scaleLetters(letters, letterTotal, out);
    selectPairs(keys, [pairs](uint16_t key) -> uint64_t { return pairs[key]; }, pairTotal, out);
    for (uint16_t key : keys) pairs[key] = 0;
    keys.clear();
}

CodePageStatsAccumulator::CodePageStatsAccumulator() : pairs_(65536, 0) {}

void CodePageStatsAccumulator::add(const char* bytes, size_t length, bool skipMarkup) {
    if (!bytes) return;
    countText(reinterpret_cast<const uint8_t*>(bytes), length, skipMarkup, letters_, letterTotal_,
              pairTotal_, [this](uint16_t key) { ++pairs_[key]; });
}

void CodePageStatsAccumulator::finish(CodePageStats& out) const {
    std::memset(&out, 0, sizeof out);
    scaleLetters(letters_, letterTotal_, out);
    std::vector<uint16_t> keys;
    for (uint32_t key = 0; key < 65536; ++key)
        if (pairs_[key]) keys.push_back(static_cast<uint16_t>(key));
    selectPairs(keys, [this](uint16_t key) { return pairs_[key]; }, pairTotal_, out);
}

double scoreCodePageStats(const CodePageStats& text, const CodePageStatsEntry& entry) {
    constexpr double kScale = kCodePageStatsScale;
    // Similarity of the bytes >= 0x80 (letters, then pairs with such a byte)
    // as the cosine of the two frequency vectors, so that an entry does not
    // win merely by having much weight where the text has a little (Cyrillic
    // or CJK against a Western text with few accented letters); divided by
    // the differences over all letters and pairs, which separate texts that
    // use those bytes in different amounts.
    double upperDot = 0, upperE = 0, upperT = 0;
    uint64_t letterDiff = 0;
    for (int j = 0; j < 256; ++j) {
        int64_t e = entry.letters[j];
        int64_t t = text.letters[j];
        if (j >= 0x80) {
            upperDot += static_cast<double>(e * t);
            upperE += static_cast<double>(e * e);
            upperT += static_cast<double>(t * t);
        }
        letterDiff += static_cast<uint64_t>(e > t ? e - t : t - e);
    }
    double pairDot = 0, pairE = 0, pairT = 0;
    uint64_t pairDiff = 0;
    // An entry's unused positions are {0, 0, 0}: no pair involves the byte 0.
    int na = kCodePageStatsPairs;
    while (na > 0 && pairKey(entry.pairs[na - 1]) == 0) --na;
    int nb = std::clamp(text.pairCount, 0, kCodePageStatsPairs);
    auto isUpper = [](const CodePagePairFreq& p) { return p.first >= 0x80 || p.second >= 0x80; };
    for (int a = 0; a < na; ++a)
        if (isUpper(entry.pairs[a])) pairE += static_cast<double>(entry.pairs[a].freq) * entry.pairs[a].freq;
    for (int b = 0; b < nb; ++b)
        if (isUpper(text.pairs[b])) pairT += static_cast<double>(text.pairs[b].freq) * text.pairs[b].freq;
    int a = 0, b = 0;
    while (a < na && b < nb) {
        const CodePagePairFreq& pe = entry.pairs[a];
        const CodePagePairFreq& pt = text.pairs[b];
        uint32_t ka = pairKey(pe), kb = pairKey(pt);
        if (ka == kb) {
            int64_t e = pe.freq, t = pt.freq;
            if (isUpper(pe)) pairDot += static_cast<double>(e * t);
            pairDiff += static_cast<uint64_t>(e > t ? e - t : t - e);
            ++a;
            ++b;
        } else if (ka < kb) {
            pairDiff += pe.freq;
            ++a;
        } else {
            pairDiff += pt.freq;
            ++b;
        }
    }
    double upperCos = upperE > 0 && upperT > 0 ? upperDot / std::sqrt(upperE * upperT) : 0;
    double pairCos = pairE > 0 && pairT > 0 ? pairDot / std::sqrt(pairE * pairT) : 0;
    double ld = std::max(static_cast<double>(letterDiff) / kScale / 256, 0.00001);
    double pd = std::max(static_cast<double>(pairDiff) / kScale / 256, 0.00001);
    return (2 * upperCos + 6 * pairCos) / (ld + pd);
}

// True for ASCII prose whose only frequent high bytes are the cp1252
// typographic characters (ellipsis, curly quotes, dashes, no-break space,
// guillemets): other bytes >= 0x80 are fewer than one per 300 ASCII
// letters. Every language of the statistics uses non-ASCII letters far more
// often.
static bool mostlyAsciiLetters(const uint8_t* s, size_t length, bool skipMarkup) {
    auto typographic = [](uint8_t c) {
        return c == 0x85 || (c >= 0x91 && c <= 0x97) || c == 0xA0 || c == 0xAB || c == 0xBB;
    };
    uint64_t ascii = 0, high = 0;
    bool inTag = false;
    for (size_t i = 0; i < length; ++i) {
        uint8_t c = s[i];
        if (skipMarkup) {
            if (c == '<') inTag = true;
            if (inTag) {
                if (c == '>') inTag = false;
                continue;
            }
        }
        if (c >= 0x80) high += typographic(c) ? 0 : 1;
        else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') ++ascii;
    }
    return ascii >= 1000 && high * 300 < ascii;
}

bool detectCodePage(const char* bytes, size_t length, LVString8& codePage, LVString8& language,
                    bool skipMarkup, int* entryIndex) {
    if (entryIndex) *entryIndex = -1;
    if (!bytes) length = 0;
    const uint8_t* s = reinterpret_cast<const uint8_t*>(bytes);
    LVString8 headerName;
    if (const char* bom = length ? bomEncoding(s, length) : nullptr) {
        codePage = bom;
        language = "en";
        return true;
    }
    if (isValidUtf8(bytes, length)) {
        // ASCII is valid UTF-8; a markup sample that is all ASCII is better
        // described by the charset its header declares.
        if (skipMarkup && isPureAscii(s, length) && encodingFromHeader(bytes, length, headerName)) {
            codePage = headerName;
            LOG_DEBUG("Encoding parsed from XML/HTML: %s", headerName.c_str());
        } else {
            codePage = "utf-8";
        }
        language = "en";
        return true;
    }

    if (mostlyAsciiLetters(s, length, skipMarkup)) {
        // English (and other nearly pure ASCII prose) has no entry of its own:
        // its few high bytes are typographic quotes and dashes, which the
        // letter statistics of other languages would misread.
        codePage = "cp1252";
        language = "en";
        if (skipMarkup && encodingFromHeader(bytes, length, headerName)) codePage = headerName;
        return true;
    }

    CodePageStats stats;
    computeCodePageStats(bytes, length, skipMarkup, stats);
    const CodePageStatsEntry* entries = codePageStatsEntries();
    int count = codePageStatsEntryCount();
    int best = 0;
    double bestScore = 0;
    for (int i = 0; i < count; ++i) {
        double score = scoreCodePageStats(stats, entries[i]);
        if (score > bestScore) {
            bestScore = score;
            best = i;
        }
    }
    codePage = entries[best].codePage;
    language = entries[best].language;
    if (entryIndex) *entryIndex = best;
    LOG_DEBUG("Detected codepage:%s lang:%s index:%d %s", entries[best].codePage,
              entries[best].language, best, skipMarkup ? "(skipHtml)" : "");
    if (skipMarkup && encodingFromHeader(bytes, length, headerName)) {
        codePage = headerName;
        LOG_DEBUG("Encoding parsed from XML/HTML: %s", headerName.c_str());
    }
    return true;
}
