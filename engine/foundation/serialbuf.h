// Little-endian serialisation buffer behind the engine's persisted records.
//
// Values are packed byte by byte; nothing is cast over the buffer. The
// buffer never raises: the first failure (no room, a tag or CRC mismatch, an
// over-long string) sets the error flag, after which every operation is a
// no-op, so callers check error() once at the end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/lvstring.h"

class StringList16;
class HashedStringList;

class SerialBuffer {
public:
    // The longest string (in bytes) that a 16-bit count can describe.
    static constexpr int32_t kMaxStringBytes = 0xFFFF;

    // A fresh, zero-filled, owned buffer of size bytes. With autoResize,
    // writes beyond the end grow it; otherwise they set the error flag.
    explicit SerialBuffer(size_t size, bool autoResize = false);
    // Reads over existing bytes, which the caller keeps alive and owns.
    // Writing to such a buffer sets the error flag.
    SerialBuffer(const void* data, size_t size);
    // Keeps SerialBuffer(0, n) from silently meaning "read over null".
    SerialBuffer(std::nullptr_t, size_t) = delete;
    ~SerialBuffer();
    SerialBuffer(const SerialBuffer&) = delete;
    SerialBuffer& operator=(const SerialBuffer&) = delete;

    size_t pos() const { return pos_; }
    size_t size() const { return size_; }
    bool error() const { return error_; }
    const uint8_t* data() const { return rbuf_; }
    // Moves the position; a position past the end sets the error flag.
    bool setPos(size_t pos);
    // CRC-32 of the bytes before the position; 0 when the error flag is set.
    uint32_t crc() const;

    // Writers return false when the error flag is (or becomes) set.
    bool write8(uint8_t v);
    bool writeBool(bool v);  // one byte, 0 or 1
    bool write16(uint16_t v);
    bool writeU32(uint32_t v);
    bool writeI32(int32_t v);
    // A 16-bit byte count, then the bytes. A string of more than 65535 bytes
    // sets the error flag and writes nothing.
    bool writeString(const LVString8& s);
    // The UTF-8 form, stored as above.
    bool writeString(const LVString16& s);
    // The tag's bytes without terminator.
    bool writeTag(const char* tag);
    // CRC-32 of the last n bytes written. When fewer than n bytes have been
    // written, writes 0 and sets the error flag.
    bool writeCrc(size_t n);

    // Readers return false when the error flag is (or becomes) set. A failed
    // number or bool read leaves its target unchanged. Reads never grow the
    // buffer: reading past the end is an error even with autoResize.
    bool read8(uint8_t& v);
    bool readBool(bool& v);  // any non-zero byte is true
    bool read16(uint16_t& v);
    bool readU32(uint32_t& v);
    bool readI32(int32_t& v);
    // Empties s first; a cut-short string keeps the bytes that were there.
    bool readString(LVString8& s);
    bool readString(LVString16& s);
    // Reads strlen(tag) bytes; a difference sets the error flag.
    bool verifyTag(const char* tag);
    // Checks the CRC-32 of the n bytes before the position against the
    // 32-bit value that follows them.
    bool verifyCrc(size_t n);

    // The "STRS" record: tag, 32-bit count, each string in its UTF-8 form,
    // CRC-32 of everything from the tag to the last string.
    bool writeStrings(const StringList16& list);
    // Clear the target first, then read a record written as above.
    bool readStrings(StringList16& list);
    bool readStrings(HashedStringList& list);

private:
    bool roomToWrite(size_t n);
    bool roomToRead(size_t n);
    void putBytes(const void* src, size_t n);
    uint32_t getU32();
    template <typename AddFn>
    bool readStringRecord(AddFn add);

    uint8_t* wbuf_ = nullptr;        // null for a read-only buffer
    const uint8_t* rbuf_ = nullptr;  // the same bytes, for reading
    bool owned_ = false;
    bool error_ = false;
    bool autoResize_ = false;
    size_t size_ = 0;
    size_t pos_ = 0;
};
