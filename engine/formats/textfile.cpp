#include "formats/textfile.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "dom/xmlcallback.h"
#include "foundation/log.h"

namespace {

// The window is refilled when fewer unread characters than this remain, and
// the unread ones move to the front once the fill limit passes the rest.
constexpr int kRefillBelow = 512;
// The byte buffer is topped up by this much when it runs low.
constexpr int64_t kByteBlock = 8192;
constexpr int64_t kByteLow = 4096;
// Detection looks at this much of the start of the stream.
constexpr int64_t kDetectSample = 131072;

// Decoder ids: the kinds, except that UTF-8 and 8-bit without a table share
// one and an 8-bit table (also over the UTF-8 kind) has its own.
constexpr int kDecodeUtf8 = 1;
constexpr int kDecodeTable = 6;

inline bool isWideKind(EncodingKind k) { return k >= EncodingUtf16Be && k <= EncodingUtf32Le; }

// Any Unicode byte-order mark.
bool hasByteOrderMark(const uint8_t* b, size_t n) {
    return (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) ||
           (n >= 2 && ((b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0xFF && b[1] == 0xFE))) ||
           (n >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF);
}

inline bool isCont(uint8_t b) { return (b & 0xC0) == 0x80; }

inline int utf8SeqLength(uint8_t b) {
    if ((b & 0xE0) == 0xC0) return 2;
    if ((b & 0xF0) == 0xE0) return 3;
    if ((b & 0xF8) == 0xF0) return 4;
    return 0;
}

// Bytes of one character of a multi-byte encoding, from its first byte.
inline size_t multiByteLength(EncodingKind kind, uint8_t b) {
    if (b < 0x80) return 1;
    switch (kind) {
    case EncodingShiftJis:
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC) ? 2 : 1;
    case EncodingEucJp:
        if (b == 0x8F) return 3;
        return b == 0x8E || (b >= 0xA1 && b <= 0xFE) ? 2 : 1;
    default:  // GBK, Big5, EUC-KR (CP949)
        return b >= 0x81 && b <= 0xFE ? 2 : 1;
    }
}

template <bool WithOffsets>
size_t decodeUtf8Run(const uint8_t* in, size_t inLen, int64_t base, bool atEnd, lvchar16* out,
                     uint32_t* offsets, size_t outCap, size_t* consumed) {
    size_t i = 0, o = 0;
    while (i < inLen && o < outCap) {
        const uint8_t b = in[i];
        if (b < 0x80) {
            if constexpr (WithOffsets) offsets[o] = static_cast<uint32_t>(base + i);
            out[o++] = b;
            ++i;
            continue;
        }
        if constexpr (WithOffsets) offsets[o] = static_cast<uint32_t>(base + i);
        const int n = utf8SeqLength(b);
        if (n == 0) {  // a stray continuation byte or an invalid lead
            out[o++] = 0xFFFD;
            ++i;
            continue;
        }
        // Continuation bytes present so far; a byte that does not continue
        // ends a broken sequence, which becomes one U+FFFD.
        size_t k = 1;
        while (k < static_cast<size_t>(n) && i + k < inLen && isCont(in[i + k])) ++k;
        if (k < static_cast<size_t>(n)) {
            if (i + k >= inLen && !atEnd) break;  // the rest arrives with more bytes
            out[o++] = 0xFFFD;
            i += k;
            continue;
        }
        if (n == 2) {
            out[o++] = static_cast<lvchar16>(((b & 0x1F) << 6) | (in[i + 1] & 0x3F));
        } else if (n == 3) {
            out[o++] = static_cast<lvchar16>(((b & 0x0F) << 12) | ((in[i + 1] & 0x3F) << 6) |
                                             (in[i + 2] & 0x3F));
        } else {
            out[o++] = 0xFFFD;  // outside the 16-bit range
        }
        i += static_cast<size_t>(n);
    }
    *consumed = i;
    return o;
}

template <bool WithOffsets>
size_t decodeTableRun(const uint8_t* in, size_t inLen, int64_t base, const lvchar16* table,
                      lvchar16* out, uint32_t* offsets, size_t outCap, size_t* consumed) {
    const size_t n = std::min(inLen, outCap);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = in[i];
        out[i] = b < 0x80 ? lvchar16(b) : table[b - 0x80];
        if constexpr (WithOffsets) offsets[i] = static_cast<uint32_t>(base + i);
    }
    *consumed = n;
    return n;
}

template <bool WithOffsets>
size_t decodeWideRun(const uint8_t* in, size_t inLen, int64_t base, bool atEnd, int width,
                     bool bigEndian, lvchar16* out, uint32_t* offsets, size_t outCap,
                     size_t* consumed) {
    size_t i = 0, o = 0;
    const size_t w = static_cast<size_t>(width);
    while (i + w <= inLen && o < outCap) {
        uint32_t c;
        if (width == 2) {
            c = bigEndian ? (uint32_t(in[i]) << 8) | in[i + 1] : in[i] | (uint32_t(in[i + 1]) << 8);
        } else {
            c = bigEndian ? (uint32_t(in[i]) << 24) | (uint32_t(in[i + 1]) << 16) |
                                (uint32_t(in[i + 2]) << 8) | in[i + 3]
                          : in[i] | (uint32_t(in[i + 1]) << 8) | (uint32_t(in[i + 2]) << 16) |
                                (uint32_t(in[i + 3]) << 24);
            if (c > 0xFFFF) c = 0xFFFD;
        }
        if constexpr (WithOffsets) offsets[o] = static_cast<uint32_t>(base + i);
        out[o++] = static_cast<lvchar16>(c);
        i += w;
    }
    // A unit cut short by the end of the stream is dropped.
    if (atEnd && o < outCap && i < inLen && inLen - i < w) i = inLen;
    *consumed = i;
    return o;
}

LVString8 lowerAscii(const lvchar16* name) {
    LVString8 s;
    if (!name) return s;
    for (const lvchar16* p = name; *p; ++p) {
        lvchar16 c = *p;
        if (c >= 0x80) return LVString8();  // no encoding name has such characters
        if (c >= 'A' && c <= 'Z') c = static_cast<lvchar16>(c + 32);
        s += static_cast<char>(c);
    }
    return s;
}

}  // namespace

LVTextFileBase::LVTextFileBase(const StreamHandle& stream) : LVFileParserBase(stream) {}

LVTextFileBase::~LVTextFileBase() = default;

void LVTextFileBase::Reset() {
    LVFileParserBase::Reset();
    textPos_ = textLen_ = 0;
    multi_.reset();
}

int LVTextFileBase::decoderId() const {
    if (kind_ == EncodingUtf8 || kind_ == EncodingSingleByte)
        return hasTable_ ? kDecodeTable : kDecodeUtf8;
    return kind_;
}

size_t LVTextFileBase::bomLength(const uint8_t* in, size_t inLen) const {
    switch (decoderId()) {
    case kDecodeUtf8:
        return inLen >= 3 && in[0] == 0xEF && in[1] == 0xBB && in[2] == 0xBF ? 3 : 0;
    case EncodingUtf16Be:
        return inLen >= 2 && in[0] == 0xFE && in[1] == 0xFF ? 2 : 0;
    case EncodingUtf16Le:
        return inLen >= 2 && in[0] == 0xFF && in[1] == 0xFE ? 2 : 0;
    case EncodingUtf32Be:
        return inLen >= 4 && in[0] == 0 && in[1] == 0 && in[2] == 0xFE && in[3] == 0xFF ? 4 : 0;
    case EncodingUtf32Le:
        return inLen >= 4 && in[0] == 0xFF && in[1] == 0xFE && in[2] == 0 && in[3] == 0 ? 4 : 0;
    default:
        return 0;
    }
}

size_t LVTextFileBase::decodeMulti(const uint8_t* in, size_t inLen, int64_t base, bool atEnd,
                                   lvchar16* out, uint32_t* offsets, size_t outCap,
                                   size_t* consumed) {
    if (!multi_.isOpen() || multi_.kind() != kind_) multi_.open(kind_);
    size_t i = 0, o = 0;
    while (i < inLen && o < outCap) {
        const uint8_t b = in[i];
        if (b < 0x80) {  // ASCII is the same in all five encodings
            if (offsets) offsets[o] = static_cast<uint32_t>(base + i);
            out[o++] = b;
            ++i;
            continue;
        }
        // A run of multi-byte characters, cut at a character boundary. A
        // decoder may give two characters for one sequence, so the run is
        // kept to half the room left.
        const size_t maxChars = (outCap - o) / 2;
        if (maxChars == 0) break;
        size_t j = i, count = 0;
        while (j < inLen && in[j] >= 0x80 && count < maxChars) {
            size_t len = multiByteLength(kind_, in[j]);
            if (j + len > inLen) {
                if (!atEnd) break;  // completed by the next bytes
                len = inLen - j;
            }
            j += len;
            ++count;
        }
        if (j == i) break;
        if (!multi_.isOpen()) {  // no converter: one '?' per character
            for (size_t k = i; k < j; k += multiByteLength(kind_, in[k])) {
                if (offsets) offsets[o] = static_cast<uint32_t>(base + k);
                out[o++] = '?';
            }
            i = j;
            continue;
        }
        size_t used = 0;
        const size_t n = multi_.decode(in + i, j - i, out + o, outCap - o, &used, true);
        if (offsets) {
            if (n == count) {
                size_t k = i;
                for (size_t c = 0; c < n; ++c) {
                    offsets[o + c] = static_cast<uint32_t>(base + k);
                    k += multiByteLength(kind_, in[k]);
                }
            } else {
                // Undecodable bytes broke the run up differently: its
                // characters are placed at the start of the run.
                for (size_t c = 0; c < n; ++c) offsets[o + c] = static_cast<uint32_t>(base + i);
            }
        }
        o += n;
        if (used == 0) break;
        i += used;
    }
    *consumed = i;
    return o;
}

size_t LVTextFileBase::decode(const uint8_t* in, size_t inLen, int64_t base, bool atEnd,
                              lvchar16* out, uint32_t* offsets, size_t outCap, size_t* consumed) {
    *consumed = 0;
    if (inLen == 0 || outCap == 0) return 0;
    const int id = decoderId();
    switch (id) {
    case kDecodeUtf8:
        return offsets ? decodeUtf8Run<true>(in, inLen, base, atEnd, out, offsets, outCap, consumed)
                       : decodeUtf8Run<false>(in, inLen, base, atEnd, out, offsets, outCap,
                                              consumed);
    case kDecodeTable:
        return offsets
                   ? decodeTableRun<true>(in, inLen, base, table_, out, offsets, outCap, consumed)
                   : decodeTableRun<false>(in, inLen, base, table_, out, offsets, outCap, consumed);
    case EncodingUtf16Be:
    case EncodingUtf16Le:
    case EncodingUtf32Be:
    case EncodingUtf32Le: {
        const int width = id <= EncodingUtf16Le ? 2 : 4;
        const bool be = id == EncodingUtf16Be || id == EncodingUtf32Be;
        return offsets ? decodeWideRun<true>(in, inLen, base, atEnd, width, be, out, offsets,
                                             outCap, consumed)
                       : decodeWideRun<false>(in, inLen, base, atEnd, width, be, out, offsets,
                                              outCap, consumed);
    }
    default:
        return decodeMulti(in, inLen, base, atEnd, out, offsets, outCap, consumed);
    }
}

int LVTextFileBase::fillWindow(int want) {
    want = std::min(want, kWindowChars);
    for (;;) {
        const int unread = textLen_ - textPos_;
        if (unread >= want) return unread;
        if (unread == 0) {
            textPos_ = textLen_ = 0;
        } else if (textPos_ > 0 &&
                   (textLen_ > kWindowChars - kRefillBelow || kWindowChars - textPos_ < want)) {
            std::memmove(text_, text_ + textPos_, sizeof(lvchar16) * static_cast<size_t>(unread));
            std::memmove(offsets_, offsets_ + textPos_,
                         sizeof(uint32_t) * static_cast<size_t>(unread));
            textPos_ = 0;
            textLen_ = unread;
        }
        if (bytesLeftInBuffer() < kByteLow && !streamExhausted()) fillBuffer(kByteBlock);
        if (readPosition() == 0)
            bufPos_ += static_cast<int64_t>(bomLength(buf_ + bufPos_, bytesLeftInBuffer()));
        const int64_t avail = bytesLeftInBuffer();
        // (The window always has room here: the unread characters were moved
        // to the front when the free part was short.)
        if (avail <= 0 || kWindowChars - textLen_ < 4) return textLen_ - textPos_;
        const bool atEnd = streamExhausted();
        size_t used = 0;
        const size_t n =
            decode(buf_ + bufPos_, static_cast<size_t>(avail), readPosition(), atEnd,
                   text_ + textLen_, offsets_ + textLen_,
                   static_cast<size_t>(kWindowChars - textLen_), &used);
        bufPos_ += static_cast<int64_t>(used);
        textLen_ += static_cast<int>(n);
        if (n > 0 || used > 0) continue;
        // A character is cut by the end of the bytes held: read more.
        if (atEnd || !fillBuffer(kByteBlock)) return unread;
    }
}

int LVTextFileBase::readChars(lvchar16* out, int maxChars) {
    int done = 0;
    while (done < maxChars) {
        int avail = ensureChars(1);
        if (avail <= 0) break;
        int n = std::min(avail, maxChars - done);
        std::memcpy(out + done, text_ + textPos_, sizeof(lvchar16) * static_cast<size_t>(n));
        textPos_ += n;
        done += n;
    }
    return done;
}

int64_t LVTextFileBase::textBytePosition() const {
    return textPos_ < textLen_ ? static_cast<int64_t>(offsets_[textPos_]) : readPosition();
}

void LVTextFileBase::redecodeUnread() {
    const int64_t target = textBytePosition();
    textPos_ = textLen_ = 0;
    multi_.reset();
    if (target >= bufStart_ && target <= bufStart_ + bufLen_)
        bufPos_ = target - bufStart_;
    else
        positionBuffer(target, kByteBlock);
}

void LVTextFileBase::selectCharset(const char* lowerName, bool fromDetection) {
    if (fixedByContent_ && !fromDetection) {
        onCharsetChanged();
        return;
    }
    const EncodingKind kind = encodingKindByName(lowerName);
    if (kind == EncodingUnknown) return;
    const int before = decoderId();
    const bool tableBefore = hasTable_;
    lvchar16 oldTable[128];
    std::memcpy(oldTable, table_, sizeof oldTable);
    if (kind == EncodingSingleByte) {
        const lvchar16* table = codePageTableByName(lowerName);
        if (!table) return;
        std::memcpy(table_, table, sizeof table_);
        hasTable_ = true;
    } else if (kind == EncodingUtf8) {
        hasTable_ = false;
    }
    kind_ = kind;
    charsetName_ = LVString16(lowerName);
    const bool changed = decoderId() != before ||
                         (hasTable_ && (!tableBefore || std::memcmp(oldTable, table_, sizeof table_)));
    if (changed && (textLen_ > 0 || readPosition() > 0)) redecodeUnread();
    onCharsetChanged();
}

void LVTextFileBase::applyDeclaredCharset(const lvchar16* name) {
    LVString8 lower = lowerAscii(name);
    if (lower.empty()) return;
    // A declaration read as 8-bit text cannot name a 16- or 32-bit form, and
    // one read in such a form cannot name anything else.
    if (isWideKind(kind_) || isWideKind(encodingKindByName(lower.c_str()))) {
        onCharsetChanged();
        return;
    }
    selectCharset(lower.c_str(), false);
}

void LVTextFileBase::SetCharset(const lvchar16* name) {
    LVString8 lower = lowerAscii(name);
    if (lower.empty()) return;
    selectCharset(lower.c_str(), false);
}

void LVTextFileBase::SetCharset(const char* name) { SetCharset(LVString16(name).c_str()); }

void LVTextFileBase::SetCharsetTable(const lvchar16* table) {
    const int before = decoderId();
    lvchar16 oldTable[128];
    std::memcpy(oldTable, table_, sizeof oldTable);
    const bool tableBefore = hasTable_;
    if (table) {
        std::memcpy(table_, table, sizeof table_);
        hasTable_ = true;
    } else {
        hasTable_ = false;
    }
    const bool changed = decoderId() != before ||
                         (hasTable_ && (!tableBefore || std::memcmp(oldTable, table_, sizeof table_)));
    if (changed && (textLen_ > 0 || readPosition() > 0)) redecodeUnread();
    onCharsetChanged();
}

bool LVTextFileBase::AutoDetectEncoding(bool utfOnly, bool keepCharsetWhenAscii) {
    if (!stream_) return false;
    const int64_t n = std::min(streamSize_, kDetectSample);
    if (n < 16) return false;
    const lvpos_t saved = stream_->GetPos();
    std::vector<char> sample(static_cast<size_t>(n));
    size_t got = 0;
    if (stream_->SetPos(0) == 0) {
        while (got < sample.size()) {
            lvsize_t chunk = 0;
            LVResult rc = stream_->Read(sample.data() + got,
                                        static_cast<lvsize_t>(sample.size() - got), &chunk);
            if ((rc != ResultOk && rc != ResultEndOfData) || chunk == 0) break;
            got += chunk;
        }
    }
    if (saved >= 0) stream_->SetPos(saved);
    if (got < 16) return false;
    const char* bytes = sample.data();
    const bool ascii = std::none_of(bytes, bytes + got, [](char c) { return c & 0x80; });
    if (ascii && keepCharsetWhenAscii) return true;
    LVString8 codePage, language;
    int entry = -1;
    const bool ok = utfOnly ? detectUnicode(bytes, got, codePage, language)
                            : detectCodePage(bytes, got, codePage, language,
                                             looksLikeMarkup(bytes, got), &entry);
    if (!ok) return false;
    codePage.toLower();
    const bool bom = hasByteOrderMark(reinterpret_cast<const uint8_t*>(bytes), got);
    if (!bom && isWideKind(encodingKindByName(codePage.c_str()))) {
        // A header that declares UTF-16 or UTF-32 was read as 8-bit text, so
        // it is wrong: keep what the bytes themselves say.
        codePage = entry >= 0                     ? codePageStatsEntries()[entry].codePage
                   : isValidUtf8(bytes, got)     ? "utf-8"
                                                 : "cp1252";
    }
    language_ = language;
    fixedByContent_ = false;
    selectCharset(codePage.c_str(), true);
    const bool utf8Text = decoderId() == kDecodeUtf8 && !ascii && isValidUtf8(bytes, got);
    fixedByContent_ = bom || utf8Text;
    return true;
}

int LVTextFileBase::ReadTextBytes(int64_t position, int64_t byteCount, lvchar16* buf,
                                  int maxChars, uint32_t flags) {
    if (flags & TEXT_RTF_ESCAPES) return 0;
    if (!buf || maxChars <= 0 || byteCount <= 0) return 0;
    if (!positionBuffer(position, byteCount)) {
        LOG_ERROR("LVTextFileBase::ReadTextBytes seek error! cannot set pos to %d to read %d bytes",
                  static_cast<int>(position), static_cast<int>(byteCount));
        return 0;
    }
    textPos_ = textLen_ = 0;
    multi_.reset();
    if (position == 0) {
        const int64_t bom = static_cast<int64_t>(bomLength(buf_ + bufPos_, bytesLeftInBuffer()));
        bufPos_ += bom;
        byteCount -= bom;
    }
    const int64_t avail = std::min(byteCount, bytesLeftInBuffer());
    if (avail <= 0) return 0;
    size_t used = 0;
    const size_t n = decode(buf_ + bufPos_, static_cast<size_t>(avail), readPosition(), true, buf,
                            nullptr, static_cast<size_t>(maxChars), &used);
    bufPos_ += static_cast<int64_t>(used);
    return static_cast<int>(n);
}
