// Seekable byte streams: the interface every reader and writer of the engine
// goes through, its shared base behaviour, and stream buffers (a block of a
// stream mapped into memory).
//
// Streams are reference-counted (LVRefCounter) and always live on the heap,
// held through handles (Ref<...>). An object starts with count 0; the first
// handle takes it to 1. Never create a stream on the stack: operations such as
// GetReadBuffer hand out handles to the stream itself.
//
// Positions are signed 32-bit (lvpos_t) and sizes unsigned 32-bit (lvsize_t).
// Every sum of a position and a length is computed in 64 bits and checked
// before it is narrowed, so no stream reaches beyond 2^31 - 1 bytes.
#pragma once

#include <cstdint>

#include "foundation/lvstring.h"
#include "foundation/refcount.h"
#include "foundation/timelimit.h"
#include "foundation/types.h"

// Result of a stream or container operation.
enum LVResult : int32_t {
    ResultOk = 0,
    ResultFail = 1,
    // Some readers report that their data is exhausted; callers treat it as a
    // successful read that ends their loop.
    ResultEndOfData = 2,
    ResultNotImplemented = 4,
};

// Open mode of a stream (kept in the low three bits of the mode field).
enum OpenMode : int32_t {
    OpenModeError = 0,
    OpenModeClosed = 1,
    OpenModeRead = 2,
    OpenModeWrite = 3,
    OpenModeAppend = 4,
    OpenModeReadWrite = 5,
};

enum SeekOrigin : int32_t {
    SeekFromStart = 0,
    SeekFromCurrent = 1,
    SeekFromEnd = 2,
};

// GetSize() of a stream whose size cannot be determined.
constexpr lvsize_t kUnknownSize = UINT32_MAX;
// The largest position or size a stream can have.
constexpr int64_t kMaxStreamSize = INT32_MAX;

class LVContainer;  // a named collection of streams; declared with the containers
class LVStream;
class LVStreamBuffer;

using StreamHandle = Ref<LVStream>;
using StreamBufferHandle = Ref<LVStreamBuffer>;

// Common base of streams and containers.
class LVStorageObject : public LVRefCounter {
public:
    ~LVStorageObject() override = default;
    virtual bool IsContainer() { return false; }
    // The full name; an unnamed object gives the empty string.
    virtual LVString16 GetName() { return LVString16(); }
    virtual void SetName(const LVString16& name) { (void)name; }
    // The container this object was opened from, if any.
    virtual LVContainer* GetContainer() { return nullptr; }
    // Size in bytes, or kUnknownSize.
    virtual lvsize_t GetSize() = 0;
    // Stores GetSize() in *size; fails when the size is unknown.
    virtual LVResult GetSize(lvsize_t* size);
};

// A seekable byte stream. The operations are declared in a fixed order; the
// non-abstract ones carry the base behaviour that concrete streams inherit.
class LVStream : public LVStorageObject {
public:
    using LVStorageObject::GetSize;

    ~LVStream() override = default;
    // Remembers the position, seeks to the end, takes that position as the
    // size and restores the position. kUnknownSize when a seek fails.
    lvsize_t GetSize() override;
    // A block of the stream mapped into memory (see LVDefStreamBuffer). A
    // read buffer needs read mode; a write buffer needs write, append or
    // read-write mode. Null when the block is not available.
    virtual StreamBufferHandle GetReadBuffer(lvpos_t position, lvsize_t size);
    virtual StreamBufferHandle GetWriteBuffer(lvpos_t position, lvsize_t size);
    virtual int32_t GetMode() { return OpenModeClosed; }
    // Changes the open mode; streams that cannot do it return ResultNotImplemented.
    virtual LVResult SetMode(int32_t mode) {
        (void)mode;
        return ResultNotImplemented;
    }
    // Flushes written data; the time limit lets slow streams stop early.
    virtual LVResult Flush(bool sync, TimeLimit& limit) {
        (void)limit;
        return Flush(sync);
    }
    virtual LVResult Flush(bool sync) {
        (void)sync;
        return ResultOk;
    }
    // Moves the position. newPosition may be null. A failed seek leaves the
    // position where it was.
    virtual LVResult Seek(lvpos_t offset, int32_t origin, lvpos_t* newPosition) = 0;
    virtual LVResult Tell(lvpos_t* position) { return Seek(0, SeekFromCurrent, position); }
    // New position, or -1 on failure.
    virtual lvpos_t SetPos(lvpos_t position);
    // Current position, or -1 on failure.
    virtual lvpos_t GetPos();
    virtual LVResult SetSize(lvsize_t size) = 0;
    // Fixed-size reads: the bytes arrive in stream order (little-endian
    // values). True only when every byte arrived; the target is left
    // unchanged otherwise.
    virtual bool Read(uint32_t* value);
    virtual bool Read(uint16_t* value);
    virtual bool Read(uint8_t* value);
    // Reads up to count bytes. bytesRead (may be null) receives the number
    // read; 0 at the end of the stream, which is still a success.
    virtual LVResult Read(void* buffer, lvsize_t count, lvsize_t* bytesRead) = 0;
    // The next byte (0-255), or -1 at the end or on failure.
    virtual int ReadByte();
    // Writes up to count bytes. bytesWritten (may be null) receives the number
    // written; a short write is reported as ResultFail.
    virtual LVResult Write(const void* buffer, lvsize_t count, lvsize_t* bytesWritten) = 0;
    virtual bool Eof() = 0;
    // CRC-32 of the whole content (the stream's position is kept). The base
    // computes it each time; LVNamedStream caches it.
    virtual LVResult GetCrc32(uint32_t* crc) { return computeCrc32(crc); }
    // Written-bytes accounting that triggers Flush(true); see LVNamedStream.
    virtual void SetFlushThreshold(lvsize_t bytes) { (void)bytes; }
    virtual void NoteWritten(lvsize_t bytes) { (void)bytes; }

protected:
    // Reads the whole stream from the start in chunks and returns its CRC-32.
    // Needs read or append mode (ResultNotImplemented otherwise); a short
    // read fails. The position is restored in every case.
    LVResult computeCrc32(uint32_t* crc);
};

// Base of every concrete stream: the name and its parts, the open mode, the
// cached checksum and the flush threshold.
class LVNamedStream : public LVStream {
public:
    using LVStream::Flush;
    using LVStream::GetSize;
    using LVStream::Read;

    // The full name, or the empty string for an unnamed stream.
    LVString16 GetName() override { return name_; }
    // Stores the name and splits it after the last "/" or "\": the folder part
    // keeps the delimiter (empty when there is none), the file-name part is
    // the rest.
    void SetName(const LVString16& name) override;
    int32_t GetMode() override { return mode_ & 7; }
    // Returns the cached CRC when there is one. A stream that is not in read
    // or append mode gives ResultNotImplemented and caches nothing. A failed
    // computation sets *crc to 0, returns ResultFail and makes every later
    // call fail at once.
    LVResult GetCrc32(uint32_t* crc) override;
    // 0 disables the threshold.
    void SetFlushThreshold(lvsize_t bytes) override { flushThreshold_ = bytes; }
    // Adds to the bytes written since the last sync; once a threshold is set
    // and the total exceeds it, calls Flush(true) and starts counting again.
    void NoteWritten(lvsize_t bytes) override;

    const LVString16& fileNamePart() const { return fileName_; }
    const LVString16& folderPart() const { return folder_; }
    lvsize_t flushThreshold() const { return flushThreshold_; }
    lvsize_t bytesWrittenSinceSync() const { return bytesWritten_; }

protected:
    void setOpenMode(int32_t mode) { mode_ = mode; }
    // Forgets a cached checksum (after the content changed).
    void invalidateCrc() {
        crc_ = 0;
        crcFailed_ = false;
    }

private:
    LVString16 name_;
    LVString16 fileName_;
    LVString16 folder_;
    int32_t mode_ = OpenModeClosed;
    uint32_t crc_ = 0;  // 0 = not computed
    bool crcFailed_ = false;
    lvsize_t flushThreshold_ = 0;
    lvsize_t bytesWritten_ = 0;
};

// A block of a stream held in memory.
class LVStreamBuffer : public LVRefCounter {
public:
    // The data for reading, or null when it is not readable.
    virtual const uint8_t* GetReadOnly() = 0;
    // The data for changing, or null for a read-only buffer.
    virtual uint8_t* GetReadWrite() = 0;
    virtual lvsize_t GetSize() = 0;
    ~LVStreamBuffer() override = default;
    // Writes a changed block back and releases the data and the stream; true
    // on success. The destructor closes a buffer that is still open.
    virtual bool Close() = 0;
};

// The stream buffer every stream offers by default: a heap copy of the block,
// written back by Close() when it was taken for writing.
class LVDefStreamBuffer : public LVStreamBuffer {
public:
    // Reads [position, position + size) of the stream into a new buffer.
    // Null when the stream's mode does not allow the kind of buffer, the
    // block is empty or lies outside the stream, or the seek or read fails.
    // A write buffer on a stream in write mode cannot read the block: it
    // starts zero-filled and gives no read-only view.
    static StreamBufferHandle create(const StreamHandle& stream, lvpos_t position, lvsize_t size,
                                     bool readOnly);

    ~LVDefStreamBuffer() override;
    const uint8_t* GetReadOnly() override;
    uint8_t* GetReadWrite() override;
    lvsize_t GetSize() override { return size_; }
    // True when there was nothing to write back or the write-back succeeded
    // (also for a buffer that is already closed).
    bool Close() override;

private:
    LVDefStreamBuffer(const StreamHandle& stream, uint8_t* data, lvpos_t position, lvsize_t size,
                      bool readOnly, bool writeOnlyStream);

    StreamHandle stream_;
    uint8_t* data_;
    lvpos_t position_;
    lvsize_t size_;
    bool readOnly_;
    bool writeOnlyStream_;  // the stream is in write mode: the data was not read
};

// The position a seek of offset from origin reaches in a stream of size
// bytes whose position is current, computed in 64 bits. False for an unknown
// origin and for a target before the start or past the end.
bool seekTarget(int64_t offset, int32_t origin, int64_t current, int64_t size, int64_t& target);

// Rewinds source and copies its whole content to destination in chunks of at
// most 5000 bytes. Stops at the first failed or empty read and at the first
// failed or short write. Returns the number of bytes written to destination.
lvsize_t copyStreamContents(const StreamHandle& destination, const StreamHandle& source);
