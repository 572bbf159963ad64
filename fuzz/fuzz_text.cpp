// Text decoding and record reading over arbitrary bytes: UTF-8 (whole and
// streamed), local names, percent escapes, whitespace normalisation and the
// SerialBuffer readers.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/lvstring.h"
#include "foundation/serialbuf.h"
#include "foundation/stringlist.h"
#include "foundation/textutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    LVString16 s = decodeUtf8(bytes, size);
    if (encodeUtf8(s).length() < 0) __builtin_trap();

    std::vector<lvchar16> out(64);
    size_t pos = 0;
    while (pos < size) {
        size_t used = 0;
        size_t n = decodeUtf8Partial(data + pos, size - pos, out.data(), out.size(), &used);
        if (n == 0 || used == 0) break;
        pos += used;
    }

    LVString16 local = localToWide(bytes, size);
    wideToLocal(local);
    decodePercentEscapes(local);
    std::vector<lvchar16> buf(local.c_str(), local.c_str() + local.length());
    normalizeSpaces(buf.data(), buf.size(), size & 1, size & 2, size & 4);
    int32_t start = 0, end = 0;
    wordBoundsAt(local.c_str(), local.length(), static_cast<int32_t>(size % 7), start, end);
    LVString16 limited = local;
    limited.limitLength(static_cast<int32_t>(size % 13));
    int32_t v = 0;
    local.parseDecimal(v);

    SerialBuffer rd(data, size);
    StringList16 list;
    rd.readStrings(list);
    SerialBuffer rd2(data, size);
    HashedStringList hashed;
    rd2.readStrings(hashed);
    return 0;
}
