#include "streams/filestream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/log.h"

namespace {

// The largest amount handed to one read or write call.
constexpr int64_t kMaxSystemChunk = 1 << 30;

// The name as the system takes it (UTF-8). False when the name is empty or
// holds a zero character, which would silently cut it short.
bool systemName(const LVString16& path, LVString8& out) {
    out = wideToLocal(path);
    return !out.empty() && std::strlen(out.c_str()) == static_cast<size_t>(out.length());
}

}  // namespace

LVFileStream::~LVFileStream() {
    closeFile();
    SetName(LVString16());
}

void LVFileStream::closeFile() {
    if (fd_ >= 0) ::close(fd_);  // a failed close cannot be acted upon here
    fd_ = -1;
    size_ = 0;
    pos_ = 0;
    setOpenMode(OpenModeClosed);
}

LVResult LVFileStream::open(const LVString16& path, int32_t mode) {
    closeFile();
    invalidateCrc();
    mode &= 7;
    SetName(path);
    if (mode == OpenModeError || mode == OpenModeClosed) fatalError(-1, "Unknown fatal error");

    int flags = 0;
    switch (mode) {
        case OpenModeRead:
            flags = O_RDONLY;
            break;
        case OpenModeWrite:
            flags = O_WRONLY | O_CREAT | O_TRUNC;
            break;
        case OpenModeAppend:
        case OpenModeReadWrite:
            flags = O_RDWR | O_CREAT;
            break;
        default:
            return ResultFail;
    }
    LVString8 local;
    if (!systemName(path, local)) return ResultFail;

    // O_NONBLOCK keeps a pipe from blocking the open; it is cleared again
    // once the file is known to be a regular one.
    int fd = -1;
    do {
        fd = ::open(local.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        LOG_DEBUG("cannot open file %s: %s", local.c_str(), std::strerror(errno));
        return ResultFail;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        st.st_size > kMaxStreamSize) {
        LOG_DEBUG("not a regular file of at most 2 GiB: %s", local.c_str());
        ::close(fd);
        return ResultFail;
    }
    int status = ::fcntl(fd, F_GETFL);
    if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);

    fd_ = fd;
    size_ = static_cast<lvsize_t>(st.st_size);
    pos_ = 0;
    setOpenMode(mode);
    if (mode == OpenModeAppend && Seek(0, SeekFromEnd, nullptr) != ResultOk) {
        closeFile();
        return ResultFail;
    }
    return ResultOk;
}

lvsize_t LVFileStream::GetSize() {
    if (fd_ < 0) return 0;
    if (pos_ < 0) return size_;
    return static_cast<lvsize_t>(pos_) > size_ ? static_cast<lvsize_t>(pos_) : size_;
}

LVResult LVFileStream::Flush(bool sync) {
    if (fd_ < 0) return ResultFail;
    if (!sync || GetMode() == OpenModeRead) return ResultOk;
    int rc = 0;
    do {
        rc = ::fsync(fd_);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? ResultOk : ResultFail;
}

LVResult LVFileStream::Seek(lvpos_t offset, int32_t origin, lvpos_t* newPosition) {
    if (fd_ < 0) return ResultFail;
    int64_t base = 0;
    if (origin == SeekFromCurrent)
        base = pos_;
    else if (origin == SeekFromEnd)
        base = size_;
    int64_t target = base + offset;
    if (target < 0 || target > kMaxStreamSize) return ResultFail;
    if (::lseek(fd_, static_cast<off_t>(target), SEEK_SET) != static_cast<off_t>(target)) {
        return ResultFail;
    }
    pos_ = static_cast<lvpos_t>(target);
    if (newPosition) *newPosition = pos_;
    return ResultOk;
}

LVResult LVFileStream::SetSize(lvsize_t size) {
    if (fd_ < 0 || GetMode() == OpenModeRead || size > kMaxStreamSize) return ResultFail;
    int rc = 0;
    do {
        rc = ::ftruncate(fd_, static_cast<off_t>(size));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return ResultFail;
    size_ = size;
    invalidateCrc();
    return ResultOk;
}

LVResult LVFileStream::Read(void* buffer, lvsize_t count, lvsize_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    if (fd_ < 0 || GetMode() == OpenModeWrite || (!buffer && count > 0)) return ResultFail;
    // The position must stay representable.
    int64_t want = kMaxStreamSize - pos_;
    if (static_cast<int64_t>(count) < want) want = count;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    bool failed = false;
    while (done < want) {
        int64_t chunk = want - done < kMaxSystemChunk ? want - done : kMaxSystemChunk;
        ssize_t n = ::read(fd_, out + done, static_cast<size_t>(chunk));
        if (n < 0) {
            if (errno == EINTR) continue;
            failed = true;
            break;
        }
        if (n == 0) break;  // end of file
        done += n;
    }
    pos_ = static_cast<lvpos_t>(pos_ + done);
    if (bytesRead) *bytesRead = static_cast<lvsize_t>(done);
    return failed && done == 0 ? ResultFail : ResultOk;
}

LVResult LVFileStream::Write(const void* buffer, lvsize_t count, lvsize_t* bytesWritten) {
    if (bytesWritten) *bytesWritten = 0;
    if (fd_ < 0 || GetMode() == OpenModeRead || (!buffer && count > 0)) return ResultFail;
    int64_t want = kMaxStreamSize - pos_;
    if (static_cast<int64_t>(count) < want) want = count;
    const uint8_t* in = static_cast<const uint8_t*>(buffer);
    int64_t done = 0;
    while (done < want) {
        int64_t chunk = want - done < kMaxSystemChunk ? want - done : kMaxSystemChunk;
        ssize_t n = ::write(fd_, in + done, static_cast<size_t>(chunk));
        if (n < 0) {
            if (errno == EINTR) continue;
            LOG_ERROR("write to %s failed: %s", wideToLocal(GetName()).c_str(),
                      std::strerror(errno));
            break;
        }
        if (n == 0) break;
        done += n;
    }
    pos_ = static_cast<lvpos_t>(pos_ + done);
    if (static_cast<lvsize_t>(pos_) > size_) size_ = static_cast<lvsize_t>(pos_);
    if (bytesWritten) *bytesWritten = static_cast<lvsize_t>(done);
    if (done > 0) {
        invalidateCrc();
        NoteWritten(static_cast<lvsize_t>(done));
    }
    return done == static_cast<int64_t>(count) ? ResultOk : ResultFail;
}

StreamHandle openFileStream(const LVString16& path, int32_t mode) {
    Ref<LVFileStream> stream(new LVFileStream());
    if (stream->open(path, mode) != ResultOk) return nullptr;
    return stream;
}

bool fileExists(const LVString16& path) { return !openFileStream(path, OpenModeRead).isNull(); }

bool deleteFile(const LVString16& path) {
    LVString8 local;
    return systemName(path, local) && ::unlink(local.c_str()) == 0;
}
