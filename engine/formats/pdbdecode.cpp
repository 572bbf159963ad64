#include "formats/pdbdecode.h"

#include <zlib.h>

#include <cstring>
#include <memory>

namespace pdb {

size_t stripTrailingEntries(const uint8_t* data, size_t length, uint16_t flags) {
    for (uint32_t bit = 0x8000; bit >= 0x0002; bit >>= 1) {
        if (!(flags & bit) || length == 0) continue;
        // The size is written backwards: the last byte holds the lowest
        // seven bits, and the byte with the top bit set is its first byte.
        uint32_t size = 0;
        int shift = 0;
        for (size_t k = 0; k < 4 && k < length; ++k) {
            uint8_t b = data[length - 1 - k];
            size |= static_cast<uint32_t>(b & 0x7F) << shift;
            shift += 7;
            if (b & 0x80) break;
        }
        if (size > 0 && size <= length) length -= size;
    }
    if ((flags & 0x0001) && length > 0) {
        // The overlap count byte, then up to that many bytes of the character
        // cut at the record boundary.
        int more = data[length - 1] & 3;
        --length;
        while (more-- > 0 && length > 0) {
            uint8_t b = data[length - 1];
            if (b < 0x80) break;
            --length;
            if (b >= 0xC0) break;  // the lead byte ends the character
        }
    }
    return length;
}

size_t palmDocDecode(const uint8_t* in, size_t inLen, uint8_t* out, size_t outCap) {
    size_t i = 0, o = 0;
    while (i < inLen && o < outCap) {
        uint8_t c = in[i++];
        if (c >= 1 && c <= 8) {
            if (c > inLen - i) break;  // a literal run cut by the end of the record
            size_t n = c;
            if (n > outCap - o) n = outCap - o;
            std::memcpy(out + o, in + i, n);
            o += n;
            i += c;
        } else if (c < 0x80) {
            out[o++] = c;
        } else if (c < 0xC0) {
            if (i >= inLen) break;  // a pair cut by the end of the record
            uint32_t d = (static_cast<uint32_t>(c & 0x3F) << 8) | in[i++];
            size_t dist = d >> 3;
            size_t len = (d & 7) + 3;
            if (len > outCap - o) len = outCap - o;
            // Byte by byte: the source may overlap what is being written, and
            // a position before the start of the output (or distance 0, which
            // would copy what is not written yet) gives '?'.
            for (size_t k = 0; k < len; ++k, ++o)
                out[o] = (dist == 0 || dist > o) ? '?' : out[o - dist];
        } else {
            out[o++] = ' ';
            if (o < outCap) out[o++] = c & 0x7F;
        }
    }
    return o;
}

bool zlibDecode(const uint8_t* in, size_t inLen, uint8_t* out, size_t outCap, size_t* produced) {
    *produced = 0;
    if (static_cast<uint64_t>(inLen) > UINT32_MAX || static_cast<uint64_t>(outCap) > UINT32_MAX)
        return false;
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit(&zs) != Z_OK) return false;
    zs.next_in = const_cast<Bytef*>(in);
    zs.avail_in = static_cast<uInt>(inLen);
    zs.next_out = out;
    zs.avail_out = static_cast<uInt>(outCap);
    int rc = inflate(&zs, Z_FINISH);
    size_t n = zs.total_out;
    bool ok = rc == Z_STREAM_END && zs.avail_in == 0 && n < outCap;
    inflateEnd(&zs);
    if (ok) *produced = n;
    return ok;
}

bool zlibDecode(const uint8_t* in, size_t inLen, std::vector<uint8_t>& out) {
    out.clear();
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[kZlibRecordBuffer]);
    size_t n = 0;
    if (!zlibDecode(in, inLen, buffer.get(), kZlibRecordBuffer, &n)) return false;
    out.assign(buffer.get(), buffer.get() + n);
    return true;
}

}  // namespace pdb
