// Streams over a block of memory.
#pragma once

#include "streams/stream.h"

class LVMemoryStream;
using MemoryStreamHandle = Ref<LVMemoryStream>;

// An empty writable stream (owned buffer of 4096 bytes, size 0, read-write).
MemoryStreamHandle createMemoryStream();
// A stream over size bytes at data.
// - copy false: a read-only stream (mode 2) over the caller's bytes. The
//   stream does not own them, does not extend their lifetime and never
//   writes to them; the caller keeps them unchanged and alive for as long as
//   the stream exists.
// - copy true: the stream takes a heap copy (capacity and size equal size)
//   and opens in mode, which must be read, write, append or read-write; in
//   append mode the position starts at the end.
// Null for another mode, for null data with a non-zero size, or for a size
// above 2^31 - 1.
MemoryStreamHandle createMemoryStream(const void* data, lvsize_t size, bool copy,
                                      int32_t mode = OpenModeRead);

// A stream over a memory block, either owned (a growable heap buffer) or
// borrowed from the caller (fixed, never freed or grown). The data size and
// the capacity never exceed 2^31 - 1 bytes, and the position never exceeds
// the data size.
class LVMemoryStream : public LVNamedStream {
public:
    using LVNamedStream::Flush;
    using LVNamedStream::GetSize;
    using LVNamedStream::Read;

    // An empty writable stream: an owned buffer of 4096 bytes, mode read-write.
    LVMemoryStream();
    ~LVMemoryStream() override;

    // Records the container this stream came from. The container is kept
    // alive for as long as the stream holds it. A template so that the
    // container type only needs to be complete where the call is made.
    template <class Container>
    void setContainer(Container* container) {
        container_ = container;
        containerHold_ = Ref<LVRefCounter>(container);
    }
    LVContainer* GetContainer() override { return container_; }

    // kUnknownSize without a buffer, else the larger of size and position.
    lvsize_t GetSize() override;
    // Switching from write to read rewinds to 0; keeping the mode succeeds;
    // any other change fails.
    LVResult SetMode(int32_t mode) override;
    // Fails, leaving the position, for a target below 0 or past the size, or
    // for an unknown origin.
    LVResult Seek(lvpos_t offset, int32_t origin, lvpos_t* newPosition) override;
    // Grows an owned buffer as needed (new bytes are zero); a borrowed buffer
    // cannot grow. The position is clipped to the new size.
    LVResult SetSize(lvsize_t size) override;
    // Fails without a buffer and in write or append mode.
    LVResult Read(void* buffer, lvsize_t count, lvsize_t* bytesRead) override;
    // Fails without a buffer and in read mode. An owned buffer grows to twice
    // the needed size plus 4096 bytes; a borrowed one takes what fits.
    LVResult Write(const void* buffer, lvsize_t count, lvsize_t* bytesWritten) override;
    bool Eof() override { return static_cast<int64_t>(pos_) >= static_cast<int64_t>(size_); }
    // Frees an owned buffer (a borrowed one is dropped) and zeroes the sizes
    // and position. ResultFail when there was no buffer.
    virtual LVResult Close();

    // The bytes of the stream (null after Close), for callers that want the
    // content without copying it.
    const uint8_t* data() const { return buffer_; }
    lvsize_t capacity() const { return capacity_; }
    bool ownsBuffer() const { return owned_; }

private:
    friend MemoryStreamHandle createMemoryStream(const void*, lvsize_t, bool, int32_t);
    // A stream over buffer; owned: the stream frees it, else it borrows the bytes.
    LVMemoryStream(uint8_t* buffer, lvsize_t capacity, lvsize_t size, bool owned, int32_t mode);

    // Makes room for needed bytes. False when a borrowed buffer is too small.
    bool reserve(int64_t needed);
    void freeBuffer();

    uint8_t* buffer_ = nullptr;
    bool owned_ = false;
    LVContainer* container_ = nullptr;
    Ref<LVRefCounter> containerHold_;  // the same object as container_, kept alive
    lvsize_t size_ = 0;
    lvsize_t capacity_ = 0;
    lvpos_t pos_ = 0;
};
