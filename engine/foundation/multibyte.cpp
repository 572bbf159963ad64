#include "foundation/multibyte.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

#include "foundation/log.h"

namespace {

const iconv_t kBadCd = reinterpret_cast<iconv_t>(-1);

// Wide characters are produced as UTF-32 in host order.
constexpr const char* kWideName = "UTF-32LE";
constexpr size_t kChunk = 512;

inline lvchar16 narrow(uint32_t c) { return c > 0xFFFF ? lvchar16(0xFFFD) : lvchar16(c); }

}  // namespace

const char* multiByteIconvName(EncodingKind kind) {
    switch (kind) {
    case EncodingGbk:
        return "GBK";
    case EncodingEucJp:
        return "EUC-JP";
    case EncodingShiftJis:
        return "CP932";
    case EncodingBig5:
        return "BIG5-HKSCS";
    case EncodingEucKr:
        return "CP949";
    default:
        return nullptr;
    }
}

MultiByteDecoder::~MultiByteDecoder() {
    if (cd_) iconv_close(static_cast<iconv_t>(cd_));
}

bool MultiByteDecoder::open(EncodingKind kind) {
    if (cd_) {
        iconv_close(static_cast<iconv_t>(cd_));
        cd_ = nullptr;
        kind_ = EncodingUnknown;
    }
    const char* from = multiByteIconvName(kind);
    if (!from) return false;
    iconv_t cd = iconv_open(kWideName, from);
    if (cd == kBadCd) {
        LOG_ERROR("cannot open the %s decoder", from);
        return false;
    }
    cd_ = cd;
    kind_ = kind;
    return true;
}

bool MultiByteDecoder::open(const char* name) { return open(encodingKindByName(name)); }

void MultiByteDecoder::reset() {
    if (cd_) iconv(static_cast<iconv_t>(cd_), nullptr, nullptr, nullptr, nullptr);
}

size_t MultiByteDecoder::decode(const uint8_t* in, size_t inLen, lvchar16* out, size_t outCap,
                                size_t* consumed, bool atEnd) {
    size_t used = 0, produced = 0;
    if (!cd_ || !in || !out) {
        if (consumed) *consumed = 0;
        return 0;
    }
    iconv_t cd = static_cast<iconv_t>(cd_);
    uint32_t wide[kChunk];
    while (used < inLen && produced < outCap) {
        // Never ask for more characters than out can take.
        size_t room = std::min(kChunk, outCap - produced);
        char* src = const_cast<char*>(reinterpret_cast<const char*>(in + used));
        size_t srcLeft = inLen - used;
        char* dst = reinterpret_cast<char*>(wide);
        size_t dstLeft = room * sizeof(uint32_t);
        size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        int err = rc == static_cast<size_t>(-1) ? errno : 0;
        size_t n = (room * sizeof(uint32_t) - dstLeft) / sizeof(uint32_t);
        for (size_t k = 0; k < n; ++k) out[produced++] = narrow(wide[k]);
        used = inLen - srcLeft;
        if (!err || err == E2BIG) continue;
        if (err == EINVAL && !atEnd) break;  // the rest arrives with the next call
        if (produced >= outCap) break;
        // An undefined sequence (or, at the end, a cut-short one): one '?'.
        out[produced++] = '?';
        used = err == EINVAL ? inLen : used + 1;
        reset();
    }
    if (atEnd && used == inLen && produced < outCap) {
        // Some converters hold back a character that could combine with the
        // next one; at the end of the text it is let out.
        char* dst = reinterpret_cast<char*>(wide);
        size_t room = std::min(kChunk, outCap - produced);
        size_t dstLeft = room * sizeof(uint32_t);
        iconv(cd, nullptr, nullptr, &dst, &dstLeft);
        size_t n = (room * sizeof(uint32_t) - dstLeft) / sizeof(uint32_t);
        for (size_t k = 0; k < n; ++k) out[produced++] = narrow(wide[k]);
    }
    if (consumed) *consumed = used;
    return produced;
}

LVString16 decodeMultiByte(const char* bytes, size_t length, EncodingKind kind) {
    LVString16 result;
    MultiByteDecoder dec;
    if (!bytes || !dec.open(kind)) return result;
    const uint8_t* in = reinterpret_cast<const uint8_t*>(bytes);
    lvchar16 buf[1024];
    size_t pos = 0;
    while (pos < length) {
        size_t used = 0;
        size_t n = dec.decode(in + pos, length - pos, buf, sizeof buf / sizeof buf[0], &used, true);
        result.append(buf, static_cast<int32_t>(n));
        if (used == 0 && n == 0) break;
        pos += used;
    }
    return result;
}
