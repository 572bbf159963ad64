#include "streams/memstream.h"

#include <cstdlib>
#include <cstring>

#include "foundation/log.h"

namespace {
constexpr lvsize_t kInitialCapacity = 4096;
constexpr int64_t kGrowthSlack = 4096;
}  // namespace

LVMemoryStream::LVMemoryStream()
    : buffer_(static_cast<uint8_t*>(std::malloc(kInitialCapacity))),
      owned_(true),
      capacity_(kInitialCapacity) {
    if (!buffer_) fatalError(-2, "realloc failed");
    setOpenMode(OpenModeReadWrite);
}

LVMemoryStream::LVMemoryStream(uint8_t* buffer, lvsize_t capacity, lvsize_t size, bool owned,
                               int32_t mode)
    : buffer_(buffer),
      owned_(owned),
      size_(size <= capacity ? size : capacity),
      capacity_(capacity) {
    setOpenMode(mode);
}

LVMemoryStream::~LVMemoryStream() { freeBuffer(); }

void LVMemoryStream::freeBuffer() {
    if (owned_) std::free(buffer_);
    buffer_ = nullptr;
    owned_ = false;
}

LVResult LVMemoryStream::Close() {
    if (!buffer_) return ResultFail;
    freeBuffer();
    size_ = 0;
    capacity_ = 0;
    pos_ = 0;
    invalidateCrc();
    return ResultOk;
}

bool LVMemoryStream::reserve(int64_t needed) {
    if (needed <= static_cast<int64_t>(capacity_)) return true;
    if (!owned_) return false;
    int64_t target = 2 * needed + kGrowthSlack;
    if (target > kMaxStreamSize) target = kMaxStreamSize;
    if (target < needed) return false;  // more than a stream can hold
    void* grown = std::realloc(buffer_, static_cast<size_t>(target));
    if (!grown) fatalError(-2, "realloc failed");
    buffer_ = static_cast<uint8_t*>(grown);
    capacity_ = static_cast<lvsize_t>(target);
    return true;
}

lvsize_t LVMemoryStream::GetSize() {
    if (!buffer_) return kUnknownSize;
    return static_cast<lvsize_t>(pos_) > size_ ? static_cast<lvsize_t>(pos_) : size_;
}

LVResult LVMemoryStream::SetMode(int32_t mode) {
    int32_t current = GetMode();
    if (mode == current) return ResultOk;
    if (current == OpenModeWrite && mode == OpenModeRead) {
        setOpenMode(OpenModeRead);
        pos_ = 0;
        return ResultOk;
    }
    return ResultFail;
}

LVResult LVMemoryStream::Seek(lvpos_t offset, int32_t origin, lvpos_t* newPosition) {
    if (!buffer_) return ResultFail;
    int64_t target = 0;
    if (!seekTarget(offset, origin, pos_, size_, target)) return ResultFail;
    pos_ = static_cast<lvpos_t>(target);
    if (newPosition) *newPosition = pos_;
    return ResultOk;
}

LVResult LVMemoryStream::SetSize(lvsize_t size) {
    if (!buffer_ || GetMode() == OpenModeRead || size > kMaxStreamSize) return ResultFail;
    if (!reserve(size)) return ResultFail;
    // Bytes that were never written read as zero.
    if (size > size_) std::memset(buffer_ + size_, 0, size - size_);
    size_ = size;
    if (static_cast<lvsize_t>(pos_) > size_) pos_ = static_cast<lvpos_t>(size_);
    invalidateCrc();
    return ResultOk;
}

LVResult LVMemoryStream::Read(void* buffer, lvsize_t count, lvsize_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    int32_t mode = GetMode();
    if (!buffer_ || mode == OpenModeWrite || mode == OpenModeAppend || (!buffer && count > 0)) {
        return ResultFail;
    }
    int64_t available = static_cast<int64_t>(size_) - pos_;
    if (available <= 0) return ResultOk;
    lvsize_t n = static_cast<int64_t>(count) < available ? count : static_cast<lvsize_t>(available);
    std::memcpy(buffer, buffer_ + pos_, n);
    pos_ = static_cast<lvpos_t>(pos_ + static_cast<int64_t>(n));
    if (bytesRead) *bytesRead = n;
    return ResultOk;
}

LVResult LVMemoryStream::Write(const void* buffer, lvsize_t count, lvsize_t* bytesWritten) {
    if (bytesWritten) *bytesWritten = 0;
    if (!buffer_ || GetMode() == OpenModeRead || (!buffer && count > 0)) return ResultFail;
    if (count == 0) return ResultOk;
    int64_t end = static_cast<int64_t>(pos_) + count;
    if (end > kMaxStreamSize) end = kMaxStreamSize;
    reserve(end);  // a borrowed buffer that is too small takes what fits
    if (end > static_cast<int64_t>(capacity_)) end = capacity_;
    int64_t n = end - pos_;
    if (n <= 0) return ResultFail;
    std::memcpy(buffer_ + pos_, buffer, static_cast<size_t>(n));
    pos_ = static_cast<lvpos_t>(end);
    if (static_cast<lvsize_t>(pos_) > size_) size_ = static_cast<lvsize_t>(pos_);
    if (bytesWritten) *bytesWritten = static_cast<lvsize_t>(n);
    invalidateCrc();
    return n == static_cast<int64_t>(count) ? ResultOk : ResultFail;
}

MemoryStreamHandle createMemoryStream() { return MemoryStreamHandle(new LVMemoryStream()); }

MemoryStreamHandle createMemoryStream(const void* data, lvsize_t size, bool copy, int32_t mode) {
    if (size > kMaxStreamSize || (!data && size > 0)) return nullptr;
    if (!copy) {
        // An empty borrowed block still needs a buffer to be a readable
        // stream; it points at a byte that is never written (capacity 0).
        static uint8_t emptyBlock = 0;
        uint8_t* bytes = size > 0 ? static_cast<uint8_t*>(const_cast<void*>(data)) : &emptyBlock;
        return MemoryStreamHandle(new LVMemoryStream(bytes, size, size, false, OpenModeRead));
    }
    if (mode < OpenModeRead || mode > OpenModeReadWrite) return nullptr;
    uint8_t* bytes = static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1));
    if (!bytes) fatalError(-2, "realloc failed");
    if (size > 0) std::memcpy(bytes, data, size);
    MemoryStreamHandle stream(new LVMemoryStream(bytes, size, size, true, mode));
    if (mode == OpenModeAppend) stream->Seek(0, SeekFromEnd, nullptr);
    return stream;
}
