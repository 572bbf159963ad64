// Streams over files of the local file system.
//
// Names are LVString16 and reach the system as UTF-8 (wideToLocal). Only
// regular files open; a folder, device or pipe is refused. Files larger than
// 2^31 - 1 bytes are refused as well, since positions are 32-bit.
#pragma once

#include "streams/stream.h"

class LVFileStream : public LVNamedStream {
public:
    using LVNamedStream::Flush;
    using LVNamedStream::GetSize;
    using LVNamedStream::Read;

    LVFileStream() = default;
    // Closes the file and clears the name.
    ~LVFileStream() override;

    // Opens path in a mode (masked with 7). Read needs an existing file;
    // write creates or truncates; append and read-write open or create it,
    // and append then moves to the end. Modes 0 and 1 are a programming error
    // and end the process (fatal error -1); 6 and 7 fail. On failure the
    // stream stays closed.
    LVResult open(const LVString16& path, int32_t mode);
    bool isOpen() const { return fd_ >= 0; }

    // The larger of the size and the position; 0 when closed.
    lvsize_t GetSize() override;
    // Without sync there is nothing to do (writes go straight to the system);
    // with sync the data is forced to the device.
    LVResult Flush(bool sync) override;
    // Any origin other than the three known ones counts as the start. The end
    // is the size this stream knows. A target below 0 or above 2^31 - 1 fails;
    // beyond the end is allowed, as for any file.
    LVResult Seek(lvpos_t offset, int32_t origin, lvpos_t* newPosition) override;
    // Cuts or extends the file; the position is kept.
    LVResult SetSize(lvsize_t size) override;
    LVResult Read(void* buffer, lvsize_t count, lvsize_t* bytesRead) override;
    LVResult Write(const void* buffer, lvsize_t count, lvsize_t* bytesWritten) override;
    bool Eof() override { return static_cast<int64_t>(pos_) >= static_cast<int64_t>(size_); }

private:
    void closeFile();

    int fd_ = -1;
    lvsize_t size_ = 0;
    lvpos_t pos_ = 0;
};

// Opens a file stream; null on failure.
StreamHandle openFileStream(const LVString16& path, int32_t mode);
// True when path names a regular file that opens for reading.
bool fileExists(const LVString16& path);
// Removes a file; true on success.
bool deleteFile(const LVString16& path);
