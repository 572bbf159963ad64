#include "foundation/serialbuf.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/log.h"
#include "foundation/stringlist.h"
#include "foundation/textutil.h"

namespace {

// Growth step of an auto-resizing buffer: 16 KiB while small, then doubling.
constexpr size_t kSmallBufferLimit = 16384;

constexpr char kStringsTag[] = "STRS";

}  // namespace

SerialBuffer::SerialBuffer(size_t size, bool autoResize)
    : owned_(true), autoResize_(autoResize), size_(size) {
    if (size > 0) {
        wbuf_ = static_cast<uint8_t*>(std::calloc(size, 1));
        if (!wbuf_) fatalError(-2, "realloc failed");
    }
    rbuf_ = wbuf_;
}

SerialBuffer::SerialBuffer(const void* data, size_t size)
    : rbuf_(static_cast<const uint8_t*>(data)), size_(data ? size : 0) {}

SerialBuffer::~SerialBuffer() {
    if (owned_) std::free(wbuf_);
}

bool SerialBuffer::setPos(size_t pos) {
    if (error_) return false;
    if (pos > size_) {
        error_ = true;
        return false;
    }
    pos_ = pos;
    return true;
}

uint32_t SerialBuffer::crc() const { return error_ ? 0 : lvCrc32(0, rbuf_, pos_); }

// ---- Room checks ----------------------------------------------------------------------------

bool SerialBuffer::roomToWrite(size_t n) {
    if (error_) return false;
    if (!owned_) {  // read-only view of someone else's bytes
        error_ = true;
        return false;
    }
    if (size_ - pos_ >= n) return true;
    if (!autoResize_ || size_ > SIZE_MAX / 4 || n > SIZE_MAX / 4 - pos_) {
        error_ = true;
        return false;
    }
    const size_t needed = pos_ + n;
    const size_t newSize = needed + (size_ <= kSmallBufferLimit ? kSmallBufferLimit : 2 * size_);
    uint8_t* grown = static_cast<uint8_t*>(std::realloc(wbuf_, newSize));
    if (!grown) {
        std::free(wbuf_);
        wbuf_ = nullptr;
        fatalError(-2, "realloc failed");
    }
    std::memset(grown + size_, 0, newSize - size_);
    wbuf_ = grown;
    rbuf_ = grown;
    size_ = newSize;
    return true;
}

bool SerialBuffer::roomToRead(size_t n) {
    if (error_) return false;
    if (size_ - pos_ >= n) return true;
    error_ = true;
    return false;
}

void SerialBuffer::putBytes(const void* src, size_t n) {
    if (n == 0) return;
    std::memcpy(wbuf_ + pos_, src, n);
    pos_ += n;
}

uint32_t SerialBuffer::getU32() {
    const uint8_t* p = rbuf_ + pos_;
    pos_ += 4;
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// ---- Writers --------------------------------------------------------------------------------

bool SerialBuffer::write8(uint8_t v) {
    if (!roomToWrite(1)) return false;
    wbuf_[pos_++] = v;
    return true;
}

bool SerialBuffer::writeBool(bool v) { return write8(v ? 1 : 0); }

bool SerialBuffer::write16(uint16_t v) {
    if (!roomToWrite(2)) return false;
    const uint8_t bytes[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    putBytes(bytes, 2);
    return true;
}

bool SerialBuffer::writeU32(uint32_t v) {
    if (!roomToWrite(4)) return false;
    const uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                              static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    putBytes(bytes, 4);
    return true;
}

bool SerialBuffer::writeI32(int32_t v) { return writeU32(static_cast<uint32_t>(v)); }

bool SerialBuffer::writeString(const LVString8& s) {
    if (error_) return false;
    const int32_t len = s.length();
    if (len > kMaxStringBytes) {  // the count could not describe it
        error_ = true;
        return false;
    }
    // Room for the count and the bytes together, so that a failure leaves
    // no count without its bytes.
    if (!roomToWrite(2 + static_cast<size_t>(len))) return false;
    write16(static_cast<uint16_t>(len));
    putBytes(s.c_str(), static_cast<size_t>(len));
    return true;
}

bool SerialBuffer::writeString(const LVString16& s) {
    if (error_) return false;
    return writeString(encodeUtf8(s));
}

bool SerialBuffer::writeTag(const char* tag) {
    const size_t n = std::strlen(tag);
    if (!roomToWrite(n)) return false;
    putBytes(tag, n);
    return true;
}

bool SerialBuffer::writeCrc(size_t n) {
    if (error_) return false;
    if (pos_ < n) {
        writeU32(0);
        error_ = true;
        return false;
    }
    return writeU32(lvCrc32(0, rbuf_ + pos_ - n, n));
}

// ---- Readers --------------------------------------------------------------------------------

bool SerialBuffer::read8(uint8_t& v) {
    if (!roomToRead(1)) return false;
    v = rbuf_[pos_++];
    return true;
}

bool SerialBuffer::readBool(bool& v) {
    uint8_t b;
    if (!read8(b)) return false;
    v = b != 0;
    return true;
}

bool SerialBuffer::read16(uint16_t& v) {
    if (!roomToRead(2)) return false;
    v = static_cast<uint16_t>(rbuf_[pos_] | rbuf_[pos_ + 1] << 8);
    pos_ += 2;
    return true;
}

bool SerialBuffer::readU32(uint32_t& v) {
    if (!roomToRead(4)) return false;
    v = getU32();
    return true;
}

bool SerialBuffer::readI32(int32_t& v) {
    uint32_t u;
    if (!readU32(u)) return false;
    v = static_cast<int32_t>(u);
    return true;
}

bool SerialBuffer::readString(LVString8& s) {
    s.clear();
    uint16_t count = 0;
    if (!read16(count)) return false;
    const size_t available = size_ - pos_;
    const size_t take = count <= available ? count : available;
    if (take > 0) s.append(reinterpret_cast<const char*>(rbuf_ + pos_), static_cast<int32_t>(take));
    pos_ += take;
    if (take < count) {
        error_ = true;
        return false;
    }
    return true;
}

bool SerialBuffer::readString(LVString16& s) {
    s.clear();
    LVString8 utf8;
    const bool ok = readString(utf8);
    if (!utf8.empty()) s = decodeUtf8(utf8.c_str(), static_cast<size_t>(utf8.length()));
    return ok;
}

bool SerialBuffer::verifyTag(const char* tag) {
    const size_t n = std::strlen(tag);
    if (!roomToRead(n)) return false;
    if (std::memcmp(rbuf_ + pos_, tag, n) != 0) {
        error_ = true;
        return false;
    }
    pos_ += n;
    return true;
}

bool SerialBuffer::verifyCrc(size_t n) {
    if (error_) return false;
    if (pos_ < n) {
        error_ = true;
        return false;
    }
    const uint32_t expected = lvCrc32(0, rbuf_ + pos_ - n, n);
    uint32_t stored;
    if (readU32(stored) && stored != expected) error_ = true;
    return !error_;
}

// ---- String collections ---------------------------------------------------------------------

bool SerialBuffer::writeStrings(const StringList16& list) {
    if (error_) return false;
    const size_t start = pos_;
    writeTag(kStringsTag);
    writeU32(static_cast<uint32_t>(list.length()));
    for (int32_t i = 0; i < list.length() && !error_; ++i) writeString(list[i]);
    return writeCrc(pos_ - start);
}

// The count comes from the data, so nothing is reserved from it, and the
// loop ends at the first failed read: a damaged count runs out of bytes
// after at most size / 2 strings.
template <typename AddFn>
bool SerialBuffer::readStringRecord(AddFn add) {
    if (error_) return false;
    const size_t start = pos_;
    uint32_t count = 0;
    if (!verifyTag(kStringsTag) || !readU32(count)) return false;
    LVString16 s;
    for (uint32_t i = 0; i < count; ++i) {
        if (!readString(s)) return false;
        add(s);
    }
    return verifyCrc(pos_ - start);
}

bool SerialBuffer::readStrings(StringList16& list) {
    list.clear();
    return readStringRecord([&list](const LVString16& s) { list.add(s); });
}

bool SerialBuffer::readStrings(HashedStringList& list) {
    list.clear();
    return readStringRecord([&list](const LVString16& s) { list.add(s); });
}
