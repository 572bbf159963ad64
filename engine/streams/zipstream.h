// Streams over the data of one ZIP entry: stored entries are a window on the
// archive, deflated entries are inflated on the fly.
#pragma once

#include <zlib.h>

#include <memory>

#include "streams/fragment.h"
#include "streams/stream.h"

// The data of a stored entry. Reads like a fragment of the archive; its
// checksum is the one the archive records, returned without reading.
class LVZipStoredStream : public LVStreamFragment {
public:
    LVZipStoredStream(const StreamHandle& archive, lvpos_t start, lvsize_t size, uint32_t crc)
        : LVStreamFragment(archive, start, size), crc_(crc) {}
    LVResult GetCrc32(uint32_t* crc) override {
        if (crc) *crc = crc_;
        return ResultOk;
    }

private:
    uint32_t crc_;
};

// A deflated entry (raw deflate, no zlib header) read through zlib's inflate.
//
// Reads decode forward; a seek forward decodes and discards up to the target;
// a seek backward restarts the decoder from the entry's first byte, except
// that the last block decoded into the stream's own buffer can be revisited
// without decoding again. Read mode only.
//
// A corrupt entry never reads as a shorter file: a decoding error, packed
// data that ends before the unpacked size is reached, or a deflate stream
// that ends early fails the read (ResultFail), and every later read fails
// until a seek restarts the decoder. A CRC-32 mismatch over the whole entry
// is only logged.
class LVZipDecodeStream : public LVNamedStream {
public:
    using LVNamedStream::Flush;
    using LVNamedStream::GetSize;
    using LVNamedStream::Read;

    // A stream over packedSize bytes of raw deflate data at start in archive,
    // which decode to unpackedSize bytes with the CRC-32 expectedCrc. Null
    // when the decoder cannot start or the data lies outside the archive.
    static StreamHandle create(const StreamHandle& archive, lvpos_t start, lvsize_t packedSize,
                               lvsize_t unpackedSize, uint32_t expectedCrc);
    ~LVZipDecodeStream() override;

    lvsize_t GetSize() override { return unpackedSize_; }
    // A target below 0 or past the unpacked size fails and keeps the
    // position. A target the decoder cannot reach (corrupt data) fails and
    // leaves the stream in its failed state.
    LVResult Seek(lvpos_t offset, int32_t origin, lvpos_t* newPosition) override;
    LVResult SetSize(lvsize_t size) override;
    LVResult Read(void* buffer, lvsize_t count, lvsize_t* bytesRead) override;
    LVResult Write(const void* buffer, lvsize_t count, lvsize_t* bytesWritten) override;
    bool Eof() override { return position() >= static_cast<int64_t>(unpackedSize_); }
    // The CRC-32 the archive records for the entry, without reading.
    LVResult GetCrc32(uint32_t* crc) override;

private:
    LVZipDecodeStream(const StreamHandle& packed, lvsize_t unpackedSize, uint32_t expectedCrc);

    // Starts decoding from the entry's first byte. False when zlib refuses.
    bool restart();
    // Decodes exactly n bytes into out; false (and the failed state) when the
    // data does not yield them.
    bool inflateInto(uint8_t* out, lvsize_t n);
    bool fillInput();
    // Decodes the next block into the stream's own buffer.
    bool refillOutput();
    int64_t position() const { return decoded_ - (outLen_ - outPos_); }
    void fail(const char* what);

    StreamHandle packed_;  // the packed bytes, as a window on the archive
    lvsize_t packedSize_;
    lvsize_t unpackedSize_;
    uint32_t expectedCrc_;

    z_stream zs_{};
    bool zsReady_ = false;
    bool streamEnded_ = false;
    bool failed_ = false;
    lvsize_t packedLeft_ = 0;  // packed bytes not yet read into the input buffer
    int64_t decoded_ = 0;      // bytes inflate has produced since the start
    uLong crc_ = 0;            // running CRC-32 of the decoded bytes
    std::unique_ptr<uint8_t[]> in_;
    std::unique_ptr<uint8_t[]> out_;
    lvsize_t outLen_ = 0;  // bytes of out_ holding the last decoded block
    lvsize_t outPos_ = 0;  // next byte of out_ to deliver
};
