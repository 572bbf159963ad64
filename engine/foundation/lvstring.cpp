#include "foundation/lvstring.h"

#include <cstdlib>
#include <cstring>

#include "foundation/log.h"

// ---- Record management -----------------------------------------------------

namespace {

template <typename CharT>
size_t zlen(const CharT* s) {
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

template <typename CharT>
size_t zlenMax(const CharT* s, size_t max) {
    size_t n = 0;
    while (n < max && s[n]) ++n;
    return n;
}

int32_t clampLen(size_t n) { return n > INT32_MAX - 1 ? INT32_MAX - 1 : static_cast<int32_t>(n); }

void* reallocOrDie(void* p, size_t bytes) {
    void* q = std::realloc(p, bytes ? bytes : 1);
    if (!q) {
        std::free(p);
        fatalError(-2, "realloc failed");
    }
    return q;
}

}  // namespace

template <typename CharT, typename Self>
typename LVStringBase<CharT, Self>::Chunk* LVStringBase<CharT, Self>::emptyChunk() {
    static CharT zero = 0;
    static Chunk empty{&zero, 1, 0, 1};
    return &empty;
}

template <typename CharT, typename Self>
typename LVStringBase<CharT, Self>::Chunk* LVStringBase<CharT, Self>::allocChunk(
    int32_t capacity) {
    if (capacity < 0) capacity = 0;
    Chunk* c = static_cast<Chunk*>(reallocOrDie(nullptr, sizeof(Chunk)));
    c->buf = static_cast<CharT*>(
        reallocOrDie(nullptr, (static_cast<size_t>(capacity) + 1) * sizeof(CharT)));
    c->capacity = capacity;
    c->length = 0;
    c->refCount = 1;
    c->buf[0] = 0;
    return c;
}

template <typename CharT, typename Self>
void LVStringBase<CharT, Self>::releaseChunk(Chunk* c) {
    if (--c->refCount == 0 && c != emptyChunk()) {
        std::free(c->buf);
        std::free(c);
    }
}

template <typename CharT, typename Self>
LVStringBase<CharT, Self>::LVStringBase() : chunk_(emptyChunk()) {
    ++chunk_->refCount;
}

template <typename CharT, typename Self>
LVStringBase<CharT, Self>::LVStringBase(const LVStringBase& other) : chunk_(other.chunk_) {
    ++chunk_->refCount;
}

template <typename CharT, typename Self>
LVStringBase<CharT, Self>::LVStringBase(LVStringBase&& other) noexcept : chunk_(other.chunk_) {
    other.chunk_ = emptyChunk();
    ++other.chunk_->refCount;
}

template <typename CharT, typename Self>
LVStringBase<CharT, Self>::~LVStringBase() {
    releaseChunk(chunk_);
}

template <typename CharT, typename Self>
LVStringBase<CharT, Self>::LVStringBase(const CharT* s) : chunk_(emptyChunk()) {
    ++chunk_->refCount;
    if (s) assignChars(s, clampLen(zlen(s)));
}

template <typename CharT, typename Self>
LVStringBase<CharT, Self>::LVStringBase(const CharT* s, int32_t maxCount) : chunk_(emptyChunk()) {
    ++chunk_->refCount;
    if (s && maxCount > 0) assignChars(s, static_cast<int32_t>(zlenMax(s, maxCount)));
}

template <typename CharT, typename Self>
LVStringBase<CharT, Self>::LVStringBase(const Self& s, int32_t offset, int32_t count)
    : chunk_(emptyChunk()) {
    ++chunk_->refCount;
    if (offset < 0) offset = 0;
    if (offset >= s.length() || count <= 0) return;
    if (count > s.length() - offset) count = s.length() - offset;
    if (offset == 0 && count == s.length()) {
        assign(s);
        return;
    }
    assignChars(s.c_str() + offset, count);
}

template <typename CharT, typename Self>
void LVStringBase<CharT, Self>::assign(const Self& other) {
    if (other.chunk_ == chunk_) return;
    ++other.chunk_->refCount;
    releaseChunk(chunk_);
    chunk_ = other.chunk_;
}

template <typename CharT, typename Self>
void LVStringBase<CharT, Self>::assignMove(LVStringBase&& other) {
    if (&other == this) return;
    releaseChunk(chunk_);
    chunk_ = other.chunk_;
    other.chunk_ = emptyChunk();
    ++other.chunk_->refCount;
}

template <typename CharT, typename Self>
void LVStringBase<CharT, Self>::assignChars(const CharT* s, int32_t count) {
    if (!s || count <= 0) {
        clear();
        return;
    }
    Chunk* c = allocChunk(count);
    std::memcpy(c->buf, s, static_cast<size_t>(count) * sizeof(CharT));
    c->buf[count] = 0;
    c->length = count;
    releaseChunk(chunk_);
    chunk_ = c;
}

template <typename CharT, typename Self>
void LVStringBase<CharT, Self>::clear() {
    if (chunk_ == emptyChunk()) return;
    releaseChunk(chunk_);
    chunk_ = emptyChunk();
    ++chunk_->refCount;
}

template <typename CharT, typename Self>
void LVStringBase<CharT, Self>::makeUnique(int32_t n) {
    if (n < 0) n = 0;
    if (chunk_->refCount > 1 || chunk_ == emptyChunk()) {
        Chunk* c = allocChunk(n);
        int32_t keep = chunk_->length < n ? chunk_->length : n;
        std::memcpy(c->buf, chunk_->buf, static_cast<size_t>(keep) * sizeof(CharT));
        c->buf[keep] = 0;
        c->length = keep;
        releaseChunk(chunk_);
        chunk_ = c;
    } else if (chunk_->capacity < n) {
        chunk_->buf = static_cast<CharT*>(
            reallocOrDie(chunk_->buf, (static_cast<size_t>(n) + 1) * sizeof(CharT)));
        chunk_->capacity = n;
    }
}

template <typename CharT, typename Self>
void LVStringBase<CharT, Self>::ensureCapacity(int32_t n) {
    if (n < chunk_->capacity) n = chunk_->capacity;
    makeUnique(n < chunk_->length ? chunk_->length : n);
}

template <typename CharT, typename Self>
void LVStringBase<CharT, Self>::reserve(int32_t n) {
    ensureCapacity(n);
}

template <typename CharT, typename Self>
void LVStringBase<CharT, Self>::clearReserve(int32_t n) {
    if (chunk_->refCount > 1 || chunk_ == emptyChunk()) {
        releaseChunk(chunk_);
        chunk_ = allocChunk(n);
    } else {
        chunk_->length = 0;
        chunk_->buf[0] = 0;
        makeUnique(n);
    }
}

template <typename CharT, typename Self>
void LVStringBase<CharT, Self>::shrinkToFit() {
    if (chunk_ == emptyChunk() || chunk_->capacity <= chunk_->length + 4) return;
    if (chunk_->refCount == 1) {
        chunk_->buf = static_cast<CharT*>(reallocOrDie(
            chunk_->buf, (static_cast<size_t>(chunk_->length) + 1) * sizeof(CharT)));
        chunk_->capacity = chunk_->length;
    } else {
        Chunk* c = allocChunk(chunk_->length);
        std::memcpy(c->buf, chunk_->buf, (static_cast<size_t>(chunk_->length) + 1) * sizeof(CharT));
        c->length = chunk_->length;
        releaseChunk(chunk_);
        chunk_ = c;
    }
}

template <typename CharT, typename Self>
CharT& LVStringBase<CharT, Self>::at(int32_t i) {
    makeUnique(chunk_->capacity);
    return chunk_->buf[i];
}

template <typename CharT, typename Self>
CharT* LVStringBase<CharT, Self>::modify() {
    makeUnique(chunk_->capacity);
    return chunk_->buf;
}

// ---- Access and search -----------------------------------------------------

template <typename CharT, typename Self>
Self LVStringBase<CharT, Self>::substr(int32_t pos, int32_t count) const {
    return Self(self(), pos, count);
}

template <typename CharT, typename Self>
int32_t LVStringBase<CharT, Self>::indexOf(const Self& needle, int32_t from) const {
    int32_t n = needle.length(), len = length();
    if (from < 0) from = 0;
    if (n == 0) return from <= len ? from : -1;
    const CharT* h = c_str();
    const CharT* p = needle.c_str();
    for (int32_t i = from; i + n <= len; ++i) {
        if (h[i] == p[0] && std::memcmp(h + i, p, static_cast<size_t>(n) * sizeof(CharT)) == 0)
            return i;
    }
    return -1;
}

template <typename CharT, typename Self>
int32_t LVStringBase<CharT, Self>::indexOf(CharT ch, int32_t from) const {
    if (from < 0) from = 0;
    for (int32_t i = from; i < length(); ++i)
        if (chunk_->buf[i] == ch) return i;
    return -1;
}

template <typename CharT, typename Self>
int32_t LVStringBase<CharT, Self>::lastIndexOf(CharT ch) const {
    for (int32_t i = length() - 1; i >= 0; --i)
        if (chunk_->buf[i] == ch) return i;
    return -1;
}

template <typename CharT, typename Self>
bool LVStringBase<CharT, Self>::hasPrefix(const Self& prefix) const {
    int32_t n = prefix.length();
    return n <= length() &&
           std::memcmp(c_str(), prefix.c_str(), static_cast<size_t>(n) * sizeof(CharT)) == 0;
}

template <typename CharT, typename Self>
bool LVStringBase<CharT, Self>::hasSuffix(const Self& suffix) const {
    int32_t n = suffix.length();
    return n <= length() && std::memcmp(c_str() + length() - n, suffix.c_str(),
                                        static_cast<size_t>(n) * sizeof(CharT)) == 0;
}

// ---- Mutation ----------------------------------------------------------------

template <typename CharT, typename Self>
Self& LVStringBase<CharT, Self>::append(const CharT* s, int32_t count) {
    if (!s || count <= 0) return self();
    int64_t newLen = static_cast<int64_t>(length()) + count;
    if (newLen > INT32_MAX - 1) fatalError(-2, "realloc failed");
    // The source may live inside this string's own buffer.
    if (s >= chunk_->buf && s <= chunk_->buf + chunk_->length) {
        Self copy(s, count);
        return append(copy.c_str(), copy.length());
    }
    ensureCapacity(static_cast<int32_t>(newLen));
    std::memcpy(chunk_->buf + chunk_->length, s, static_cast<size_t>(count) * sizeof(CharT));
    chunk_->length = static_cast<int32_t>(newLen);
    chunk_->buf[newLen] = 0;
    return self();
}

template <typename CharT, typename Self>
Self& LVStringBase<CharT, Self>::append(const Self& s) {
    if (empty()) {
        assign(s);
        return self();
    }
    Self keep(s);  // s may be this very string
    return append(keep.c_str(), keep.length());
}

template <typename CharT, typename Self>
Self& LVStringBase<CharT, Self>::append(const CharT* s) {
    return s ? append(s, clampLen(zlen(s))) : self();
}

template <typename CharT, typename Self>
Self& LVStringBase<CharT, Self>::append(int32_t count, CharT ch) {
    if (count <= 0) return self();
    int64_t newLen = static_cast<int64_t>(length()) + count;
    if (newLen > INT32_MAX - 1) fatalError(-2, "realloc failed");
    ensureCapacity(static_cast<int32_t>(newLen));
    for (int32_t i = chunk_->length; i < newLen; ++i) chunk_->buf[i] = ch;
    chunk_->length = static_cast<int32_t>(newLen);
    chunk_->buf[newLen] = 0;
    return self();
}

template <typename CharT, typename Self>
Self& LVStringBase<CharT, Self>::insert(int32_t pos, int32_t count, CharT ch) {
    if (count <= 0) return self();
    if (pos < 0) pos = 0;
    if (pos > length()) pos = length();
    int32_t oldLen = length();
    append(count, ch);  // grows; the new characters are moved into place below
    CharT* b = chunk_->buf;
    std::memmove(b + pos + count, b + pos, static_cast<size_t>(oldLen - pos) * sizeof(CharT));
    for (int32_t i = 0; i < count; ++i) b[pos + i] = ch;
    return self();
}

template <typename CharT, typename Self>
Self& LVStringBase<CharT, Self>::insert(int32_t pos, const Self& s) {
    if (s.empty()) return self();
    if (pos < 0) pos = 0;
    if (pos > length()) pos = length();
    Self keep(s);
    int32_t oldLen = length(), n = keep.length();
    append(n, CharT(0));
    CharT* b = chunk_->buf;
    std::memmove(b + pos + n, b + pos, static_cast<size_t>(oldLen - pos) * sizeof(CharT));
    std::memcpy(b + pos, keep.c_str(), static_cast<size_t>(n) * sizeof(CharT));
    return self();
}

template <typename CharT, typename Self>
Self& LVStringBase<CharT, Self>::erase(int32_t offset, int32_t count) {
    if (offset < 0 || offset >= length() || count <= 0) return self();
    if (count > length() - offset) count = length() - offset;
    makeUnique(chunk_->capacity);
    CharT* b = chunk_->buf;
    std::memmove(b + offset, b + offset + count,
                 static_cast<size_t>(length() - offset - count) * sizeof(CharT));
    chunk_->length -= count;
    b[chunk_->length] = 0;
    return self();
}

template <typename CharT, typename Self>
Self& LVStringBase<CharT, Self>::truncate(int32_t len) {
    if (len < 0) len = 0;
    if (len >= length()) return self();
    if (len == 0) {
        clear();
        return self();
    }
    makeUnique(chunk_->capacity);
    chunk_->length = len;
    chunk_->buf[len] = 0;
    return self();
}

template <typename CharT, typename Self>
Self& LVStringBase<CharT, Self>::trimBlanks() {
    const CharT* b = c_str();
    int32_t start = 0, end = length();
    while (start < end && (b[start] == ' ' || b[start] == '\t')) ++start;
    while (end > start && (b[end - 1] == ' ' || b[end - 1] == '\t')) --end;
    if (start == 0 && end == length()) return self();
    assign(substr(start, end - start));
    return self();
}

template <typename CharT, typename Self>
Self& LVStringBase<CharT, Self>::limitLength(int32_t maxLen) {
    if (maxLen < 0) maxLen = 0;
    if (length() <= maxLen) return self();
    const CharT* b = c_str();
    int32_t cut = -1;
    for (int32_t i = maxLen - 1; i >= 0; --i) {
        if (b[i] == ' ') {
            cut = i;
            break;
        }
    }
    while (cut > 0 && b[cut - 1] == ' ') --cut;
    if (cut <= 0) cut = maxLen;
    truncate(cut);
    const CharT dots[] = {'.', '.', '.'};
    return append(dots, 3);
}

template <typename CharT, typename Self>
Self& LVStringBase<CharT, Self>::appendNumber(int64_t value) {
    CharT digits[24];
    int n = 0;
    uint64_t u = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        digits[n++] = static_cast<CharT>('0' + u % 10);
        u /= 10;
    } while (u);
    if (value < 0) digits[n++] = '-';
    CharT out[24];
    for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
    return append(out, n);
}

template <typename CharT, typename Self>
Self& LVStringBase<CharT, Self>::appendHex(uint64_t value, int minDigits) {
    static const char hex[] = "0123456789abcdef";
    CharT out[16];
    int n = 0;
    for (int shift = 60; shift >= 0; shift -= 4) {
        unsigned d = (value >> shift) & 0xF;
        if (n || d || shift / 4 < minDigits) out[n++] = static_cast<CharT>(hex[d]);
    }
    if (!n) out[n++] = '0';
    return append(out, n);
}

// ---- Numbers -----------------------------------------------------------------

namespace {

template <typename CharT>
int hexValue(CharT c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads [blanks][sign]digits; returns false when there is no digit. The value
// saturates at [minV, maxV]; *next receives the index after the digits.
template <typename CharT>
bool scanDecimal(const CharT* s, int32_t len, int64_t minV, int64_t maxV, int64_t& out,
                 int32_t* next) {
    int32_t i = 0;
    while (i < len && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool neg = false;
    if (i < len && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
    int32_t firstDigit = i;
    // Accumulate the magnitude unsigned, capped just past the limit.
    uint64_t limit = neg ? static_cast<uint64_t>(-(minV + 1)) + 1 : static_cast<uint64_t>(maxV);
    uint64_t v = 0;
    while (i < len && s[i] >= '0' && s[i] <= '9') {
        unsigned d = static_cast<unsigned>(s[i] - '0');
        v = v > (limit - d) / 10 ? limit : v * 10 + d;
        ++i;
    }
    if (next) *next = i;
    if (i == firstDigit) {
        out = 0;
        return false;
    }
    out = neg ? (v == 0 ? 0 : -static_cast<int64_t>(v - 1) - 1) : static_cast<int64_t>(v);
    return true;
}

template <typename CharT>
bool strictDecimal(const CharT* s, int32_t len, int64_t minV, int64_t maxV, int64_t& out) {
    int32_t next = 0;
    int64_t v = 0;
    if (!scanDecimal(s, len, minV, maxV, v, &next)) return false;
    if (next < len && s[next] != ' ' && s[next] != '\t') return false;
    out = v;
    return true;
}

}  // namespace

template <typename CharT, typename Self>
int32_t LVStringBase<CharT, Self>::toInt() const {
    int64_t v = 0;
    scanDecimal(c_str(), length(), INT32_MIN, INT32_MAX, v, nullptr);
    return static_cast<int32_t>(v);
}

template <typename CharT, typename Self>
int64_t LVStringBase<CharT, Self>::toInt64() const {
    int64_t v = 0;
    scanDecimal(c_str(), length(), INT64_MIN, INT64_MAX, v, nullptr);
    return v;
}

template <typename CharT, typename Self>
bool LVStringBase<CharT, Self>::parseDecimal(int32_t& out) const {
    const CharT* s = c_str();
    int32_t len = length(), i = 0;
    while (i < len && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i + 1 < len && s[i] == '0' && s[i + 1] == 'x') {
        // Hexadecimal: non-hex characters are skipped; the value wraps in 32
        // bits so that colours such as 0xFFFFFFFF read as -1.
        uint32_t v = 0;
        for (i += 2; i < len; ++i) {
            int d = hexValue(s[i]);
            if (d >= 0) v = (v << 4) | static_cast<uint32_t>(d);
        }
        out = static_cast<int32_t>(v);
        return true;
    }
    int64_t v = 0;
    if (!strictDecimal(s, len, INT32_MIN, INT32_MAX, v)) return false;
    out = static_cast<int32_t>(v);
    return true;
}

template <typename CharT, typename Self>
bool LVStringBase<CharT, Self>::parseDecimal64(int64_t& out) const {
    return strictDecimal(c_str(), length(), INT64_MIN, INT64_MAX, out);
}

// ---- Comparison and hashing ----------------------------------------------------

template <typename CharT, typename Self>
int LVStringBase<CharT, Self>::compare(const Self& other) const {
    if (chunk_ == other.chunk_) return 0;
    const CharT* a = c_str();
    const CharT* b = other.c_str();
    int32_t n = length() < other.length() ? length() : other.length();
    for (int32_t i = 0; i < n; ++i) {
        int r = Self::compareUnits(a[i], b[i]);
        if (r) return r;
    }
    return length() < other.length() ? -1 : length() > other.length() ? 1 : 0;
}

template <typename CharT, typename Self>
bool LVStringBase<CharT, Self>::operator==(const Self& o) const {
    return chunk_ == o.chunk_ ||
           (length() == o.length() &&
            std::memcmp(c_str(), o.c_str(), static_cast<size_t>(length()) * sizeof(CharT)) == 0);
}

template <typename CharT, typename Self>
uint32_t LVStringBase<CharT, Self>::hash() const {
    uint32_t h = 0;
    for (int32_t i = 0; i < length(); ++i) h = h * 31 + Self::hashUnit(chunk_->buf[i]);
    return h;
}

template class LVStringBase<char, LVString8>;
template class LVStringBase<lvchar16, LVString16>;

// ---- LVString8 ---------------------------------------------------------------

LVString8& LVString8::operator=(const char* s) {
    assignChars(s, s ? clampLen(zlen(s)) : 0);
    return *this;
}

bool LVString8::hasPrefix(const char* p) const {
    size_t n = p ? zlen(p) : 0;
    return n <= static_cast<size_t>(length()) && std::memcmp(c_str(), p, n) == 0;
}

bool LVString8::hasSuffix(const char* p) const {
    size_t n = p ? zlen(p) : 0;
    return n <= static_cast<size_t>(length()) && std::memcmp(c_str() + length() - n, p, n) == 0;
}

bool LVString8::operator==(const char* s) const {
    size_t n = s ? zlen(s) : 0;
    return n == static_cast<size_t>(length()) && std::memcmp(c_str(), s, n) == 0;
}

LVString8& LVString8::toUpper() {
    for (int32_t i = 0; i < length(); ++i) {
        char c = (*this)[i];
        if (c >= 'a' && c <= 'z') modify()[i] = static_cast<char>(c - 32);
    }
    return *this;
}

LVString8& LVString8::toLower() {
    for (int32_t i = 0; i < length(); ++i) {
        char c = (*this)[i];
        if (c >= 'A' && c <= 'Z') modify()[i] = static_cast<char>(c + 32);
    }
    return *this;
}

// ---- LVString16 --------------------------------------------------------------

LVString16::LVString16(const char* utf8) : Base() {
    if (utf8 && *utf8) assign(decodeUtf8(utf8));
}

LVString16::LVString16(const char* utf8, int32_t byteCount) : Base() {
    if (utf8 && byteCount > 0) assign(decodeUtf8(utf8, static_cast<size_t>(byteCount)));
}

LVString16& LVString16::operator=(const lvchar16* s) {
    assignChars(s, s ? clampLen(zlen(s)) : 0);
    return *this;
}

LVString16& LVString16::operator=(const char* latin1) {
    clear();
    return append(latin1);
}

LVString16& LVString16::append(const char* latin1) {
    return latin1 ? append(latin1, clampLen(zlen(latin1))) : *this;
}

LVString16& LVString16::append(const char* latin1, int32_t count) {
    if (!latin1 || count <= 0) return *this;
    int32_t old = length();
    Base::append(count, lvchar16(0));
    lvchar16* b = modify();
    for (int32_t i = 0; i < count; ++i) b[old + i] = static_cast<unsigned char>(latin1[i]);
    return *this;
}

int32_t LVString16::indexOf(const char* latin1Needle, int32_t from) const {
    LVString16 n;
    n = latin1Needle;
    return indexOf(n, from);
}

bool LVString16::hasPrefix(const char* latin1) const {
    if (!latin1) return true;
    int32_t i = 0;
    for (; latin1[i]; ++i)
        if (i >= length() || (*this)[i] != static_cast<unsigned char>(latin1[i])) return false;
    return true;
}

bool LVString16::hasSuffix(const char* latin1) const {
    if (!latin1) return true;
    int32_t n = clampLen(zlen(latin1));
    if (n > length()) return false;
    const lvchar16* tail = c_str() + length() - n;
    for (int32_t i = 0; i < n; ++i)
        if (tail[i] != static_cast<unsigned char>(latin1[i])) return false;
    return true;
}

int LVString16::compare(const char* latin1) const {
    const lvchar16* a = c_str();
    const unsigned char* b = reinterpret_cast<const unsigned char*>(latin1 ? latin1 : "");
    int32_t i = 0;
    for (;; ++i) {
        if (i == length()) return b[i] ? -1 : 0;
        if (!b[i]) return 1;
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
}

LVString16& LVString16::toUpper() {
    if (!empty()) upperChars(modify(), static_cast<size_t>(length()));
    return *this;
}

LVString16& LVString16::toLower() {
    if (!empty()) lowerChars(modify(), static_cast<size_t>(length()));
    return *this;
}

LVString8 operator+(const LVString8& a, const LVString8& b) {
    LVString8 r(a);
    return r.append(b);
}

LVString16 operator+(const LVString16& a, const LVString16& b) {
    LVString16 r(a);
    return r.append(b);
}

LVString8 intToString8(int64_t value) {
    if (value == 0) return constString8("0");
    LVString8 s;
    return s.appendNumber(value);
}

LVString16 intToString16(int64_t value) {
    if (value == 0) return constString16("0");
    LVString16 s;
    return s.appendNumber(value);
}

// ---- Interned constants -------------------------------------------------------

namespace {

constexpr int kConstSlots = 4096;
constexpr int kConstMaxEntries = 1024;

template <typename S, typename Make>
const S& internConst(const char* literal, Make make) {
    struct Slot {
        const char* key;
        S* value;
    };
    static Slot slots[kConstSlots];
    static int count = 0;
    uintptr_t addr = reinterpret_cast<uintptr_t>(literal);
    size_t slot = static_cast<size_t>(addr * 31) & (kConstSlots - 1);
    for (;;) {
        if (slots[slot].key == literal) return *slots[slot].value;
        if (!slots[slot].key) break;
        if (count > kConstMaxEntries) fatalError(-1, "out of memory for const string8");
        slot = (slot + 1) & (kConstSlots - 1);
    }
    ++count;
    slots[slot].key = literal;
    slots[slot].value = new S(make(literal));  // lives for the process
    return *slots[slot].value;
}

}  // namespace

const LVString8& constString8(const char* literal) {
    return internConst<LVString8>(literal, [](const char* s) { return LVString8(s); });
}

const LVString16& constString16(const char* literal) {
    return internConst<LVString16>(literal, [](const char* s) { return decodeUtf8(s); });
}

// ---- UTF-8 -------------------------------------------------------------------

namespace {

inline bool isCont(uint8_t b) { return (b & 0xC0) == 0x80; }

// Number of bytes of a sequence by its lead byte; 0 for a byte that cannot
// start one (a continuation byte or 0xF8-0xFF).
inline int seqLength(uint8_t b) {
    if (b < 0x80) return 1;
    if ((b & 0xE0) == 0xC0) return 2;
    if ((b & 0xF0) == 0xE0) return 3;
    if ((b & 0xF8) == 0xF0) return 4;
    return 0;
}

enum class Step { Char, Stop };

// Decodes one character at in[i]. Stops (without consuming) at a zero byte,
// and before a sequence that runs past the input or into a zero byte while
// its present bytes are still valid continuations.
inline Step decodeOne(const uint8_t* in, size_t len, size_t& i, lvchar16& out) {
    uint8_t b0 = in[i];
    if (b0 == 0) return Step::Stop;
    int n = seqLength(b0);
    if (n == 1) {
        out = b0;
        ++i;
        return Step::Char;
    }
    if (n == 0) {
        out = 0xFFFD;
        ++i;
        return Step::Char;
    }
    for (int k = 1; k < n; ++k) {
        if (i + k >= len || in[i + k] == 0) return Step::Stop;
        if (!isCont(in[i + k])) {
            // Broken sequence: the lead and the continuation bytes seen so far
            // become one U+FFFD; the offending byte is decoded on its own.
            out = 0xFFFD;
            i += static_cast<size_t>(k);
            return Step::Char;
        }
    }
    if (n == 2) {
        out = static_cast<lvchar16>(((b0 & 0x1F) << 6) | (in[i + 1] & 0x3F));
    } else if (n == 3) {
        out = static_cast<lvchar16>(((b0 & 0x0F) << 12) | ((in[i + 1] & 0x3F) << 6) |
                                    (in[i + 2] & 0x3F));
    } else {
        out = 0xFFFD;  // outside the 16-bit range
    }
    i += static_cast<size_t>(n);
    return Step::Char;
}

}  // namespace

size_t decodeUtf8Partial(const uint8_t* in, size_t inLen, lvchar16* out, size_t outCap,
                         size_t* consumed) {
    size_t i = 0, o = 0;
    while (i < inLen && o < outCap) {
        lvchar16 c;
        if (decodeOne(in, inLen, i, c) == Step::Stop) break;
        out[o++] = c;
    }
    if (consumed) *consumed = i;
    return o;
}

size_t countUtf8Chars(const char* bytes, size_t byteCount) {
    if (!bytes) return 0;
    const uint8_t* in = reinterpret_cast<const uint8_t*>(bytes);
    size_t i = 0, n = 0;
    lvchar16 c;
    while (i < byteCount && decodeOne(in, byteCount, i, c) == Step::Char) ++n;
    return n;
}

LVString16 decodeUtf8(const char* bytes, size_t byteCount) {
    LVString16 s;
    size_t n = countUtf8Chars(bytes, byteCount);
    if (n == 0) return s;
    if (n > INT32_MAX - 1) n = INT32_MAX - 1;
    s.clearReserve(static_cast<int32_t>(n));
    s.append(static_cast<int32_t>(n), lvchar16(0));
    decodeUtf8Partial(reinterpret_cast<const uint8_t*>(bytes), byteCount, s.modify(), n, nullptr);
    return s;
}

LVString16 decodeUtf8(const char* zstr) {
    return zstr ? decodeUtf8(zstr, strlen(zstr)) : LVString16();
}

size_t utf8ByteLength(const lvchar16* s, size_t count) {
    size_t n = 0;
    for (size_t i = 0; i < count; ++i) n += s[i] < 0x80 ? 1 : s[i] < 0x800 ? 2 : 3;
    return n;
}

LVString8 encodeUtf8(const lvchar16* s, size_t count) {
    LVString8 r;
    size_t n = s ? utf8ByteLength(s, count) : 0;
    if (n == 0) return r;
    if (n > INT32_MAX - 1) fatalError(-2, "realloc failed");
    r.append(static_cast<int32_t>(n), '\0');
    char* o = r.modify();
    for (size_t i = 0; i < count; ++i) {
        unsigned c = s[i];
        if (c < 0x80) {
            *o++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *o++ = static_cast<char>(0xC0 | (c >> 6));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *o++ = static_cast<char>(0xE0 | (c >> 12));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return r;
}

LVString8 encodeUtf8(const LVString16& s) { return encodeUtf8(s.c_str(), s.length()); }

LVString16 decodeSingleByte(const char* bytes, size_t byteCount, const lvchar16* table) {
    LVString16 s;
    if (!bytes) return s;
    size_t n = zlenMax(bytes, byteCount);
    if (n == 0) return s;
    if (n > INT32_MAX - 1) n = INT32_MAX - 1;
    s.append(static_cast<int32_t>(n), lvchar16(0));
    lvchar16* o = s.modify();
    for (size_t i = 0; i < n; ++i) {
        uint8_t b = static_cast<uint8_t>(bytes[i]);
        o[i] = (b >= 0x80 && table) ? table[b - 0x80] : b;
    }
    return s;
}

LVString16 decodeSingleByte(const char* zstr, const lvchar16* table) {
    return zstr ? decodeSingleByte(zstr, strlen(zstr), table) : LVString16();
}

// ---- Local (UTF-8 with surrogate pairs) ---------------------------------------

LVString8 wideToLocal(const LVString16& s) {
    LVString8 r;
    r.reserve(static_cast<int32_t>(utf8ByteLength(s) < INT32_MAX - 1 ? utf8ByteLength(s) : 0));
    const lvchar16* p = s.c_str();
    int32_t n = s.length();
    for (int32_t i = 0; i < n; ++i) {
        uint32_t c = p[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (p[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = '?';
        }
        char buf[4];
        int k;
        if (c < 0x80) {
            buf[0] = static_cast<char>(c);
            k = 1;
        } else if (c < 0x800) {
            buf[0] = static_cast<char>(0xC0 | (c >> 6));
            buf[1] = static_cast<char>(0x80 | (c & 0x3F));
            k = 2;
        } else if (c < 0x10000) {
            buf[0] = static_cast<char>(0xE0 | (c >> 12));
            buf[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            buf[2] = static_cast<char>(0x80 | (c & 0x3F));
            k = 3;
        } else {
            buf[0] = static_cast<char>(0xF0 | (c >> 18));
            buf[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            buf[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            buf[3] = static_cast<char>(0x80 | (c & 0x3F));
            k = 4;
        }
        r.append(buf, k);
    }
    return r;
}

LVString16 localToWide(const char* s, size_t byteCount) {
    LVString16 r;
    if (!s) return r;
    const uint8_t* in = reinterpret_cast<const uint8_t*>(s);
    r.reserve(static_cast<int32_t>(byteCount < INT32_MAX - 1 ? byteCount : 0));
    size_t i = 0;
    while (i < byteCount && in[i]) {
        int n = seqLength(in[i]);
        bool ok = n > 0 && i + n <= byteCount;
        for (int k = 1; ok && k < n; ++k) ok = isCont(in[i + k]);
        if (!ok) {
            r += lvchar16(0xFFFD);
            ++i;
            continue;
        }
        uint32_t c;
        if (n == 1) c = in[i];
        else if (n == 2) c = ((in[i] & 0x1F) << 6) | (in[i + 1] & 0x3F);
        else if (n == 3) c = ((in[i] & 0x0F) << 12) | ((in[i + 1] & 0x3F) << 6) | (in[i + 2] & 0x3F);
        else
            c = ((in[i] & 0x07) << 18) | ((in[i + 1] & 0x3F) << 12) | ((in[i + 2] & 0x3F) << 6) |
                (in[i + 3] & 0x3F);
        i += static_cast<size_t>(n);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            c -= 0x10000;
            r += static_cast<lvchar16>(0xD800 + (c >> 10));
            r += static_cast<lvchar16>(0xDC00 + (c & 0x3FF));
        } else if (c > 0x10FFFF) {
            r += lvchar16(0xFFFD);
        } else {
            r += static_cast<lvchar16>(c);
        }
    }
    return r;
}

LVString16 localToWide(const char* s) { return s ? localToWide(s, strlen(s)) : LVString16(); }

// ---- Case mapping ------------------------------------------------------------

lvchar16 upperChar(lvchar16 c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
        if (c == 0xFF) return 0x178;
        return c;
    }
    if (c < 0x180) {
        // Latin Extended-A: capital/small pairs, with the odd runs around U+0138 and U+0149.
        if (c == 0x130 || c == 0x131) return c;  // dotted/dotless i pair only in Turkish
        if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c & ~1u;
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c & 1) ? c : c - 1;
        return c;
    }
    if (c >= 0x3B1 && c <= 0x3CB) return c == 0x3C2 ? 0x3A3 : c - 0x20;  // final sigma
    if (c >= 0x3AC && c <= 0x3CE) {
        switch (c) {
            case 0x3AC: return 0x386;
            case 0x3AD: return 0x388;
            case 0x3AE: return 0x389;
            case 0x3AF: return 0x38A;
            case 0x3CC: return 0x38C;
            case 0x3CD: return 0x38E;
            case 0x3CE: return 0x38F;
            default: return c;
        }
    }
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    if (c >= 0x1F00 && c <= 0x1FFF) {
        unsigned lo = c & 0xFF;
        if (lo < 0x70 || (lo >= 0x80 && lo < 0xF0)) return c | 0x08;
    }
    return c;
}

lvchar16 lowerChar(lvchar16 c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
    if (c < 0x100) return (c >= 0xC0 && c <= 0xDE && c != 0xD7) ? c + 0x20 : c;
    if (c < 0x180) {
        if (c == 0x178) return 0xFF;
        if (c == 0x130 || c == 0x131) return c;
        if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1u;
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c & 1) ? c + 1 : c;
        return c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
    switch (c) {
        case 0x386: return 0x3AC;
        case 0x388: return 0x3AD;
        case 0x389: return 0x3AE;
        case 0x38A: return 0x3AF;
        case 0x38C: return 0x3CC;
        case 0x38E: return 0x3CD;
        case 0x38F: return 0x3CE;
        default: break;
    }
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c >= 0x1F00 && c <= 0x1FFF) {
        unsigned lo = c & 0xFF;
        if (lo < 0x70 || (lo >= 0x80 && lo < 0xF0)) return c & ~0x08u;
    }
    return c;
}

void upperChars(lvchar16* s, size_t count) {
    for (size_t i = 0; i < count; ++i) s[i] = upperChar(s[i]);
}

void lowerChars(lvchar16* s, size_t count) {
    for (size_t i = 0; i < count; ++i) s[i] = lowerChar(s[i]);
}
