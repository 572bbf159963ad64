// A window on another stream.
#pragma once

#include "streams/stream.h"

// Reads the bytes [start, start + size) of a base stream as a stream of its
// own, with positions relative to start. The window is cut to the bytes the
// base holds when the fragment is made, and no read ever reaches beyond it,
// whatever the base holds further on. The base is sought before every read,
// so several fragments may share one base. Read-only.
class LVStreamFragment : public LVNamedStream {
public:
    using LVNamedStream::Flush;
    using LVNamedStream::GetSize;
    using LVNamedStream::Read;

    // An empty window when base is null, start is negative or lies past the
    // end of the base, or the base's size is unknown.
    LVStreamFragment(const StreamHandle& base, lvpos_t start, lvsize_t size);

    lvsize_t GetSize() override { return size_; }
    // Fails, leaving the position, for a target below 0 or past the size, or
    // for an unknown origin.
    LVResult Seek(lvpos_t offset, int32_t origin, lvpos_t* newPosition) override;
    LVResult SetSize(lvsize_t size) override;
    LVResult Read(void* buffer, lvsize_t count, lvsize_t* bytesRead) override;
    LVResult Write(const void* buffer, lvsize_t count, lvsize_t* bytesWritten) override;
    bool Eof() override { return static_cast<int64_t>(pos_) >= static_cast<int64_t>(size_); }

    lvpos_t start() const { return start_; }

private:
    StreamHandle base_;
    lvpos_t start_ = 0;
    lvsize_t size_ = 0;
    lvpos_t pos_ = 0;
};
