#include <cstdlib>
#include <cstring>

#include "foundation/log.h"
#include "streams/stream.h"

StreamBufferHandle LVDefStreamBuffer::create(const StreamHandle& stream, lvpos_t position,
                                             lvsize_t size, bool readOnly) {
    if (!stream) return nullptr;
    int32_t mode = stream->GetMode();
    bool modeFits =
        readOnly ? mode == OpenModeRead
                 : mode == OpenModeWrite || mode == OpenModeAppend || mode == OpenModeReadWrite;
    if (!modeFits || position < 0 || size == 0) return nullptr;

    lvsize_t streamSize = 0;
    if (stream->GetSize(&streamSize) != ResultOk) return nullptr;
    if (static_cast<int64_t>(position) + size > static_cast<int64_t>(streamSize)) return nullptr;

    uint8_t* data = static_cast<uint8_t*>(std::malloc(size));
    if (!data) {
        LOG_ERROR("stream buffer: cannot allocate %u bytes", size);
        return nullptr;
    }
    bool writeOnlyStream = mode == OpenModeWrite;
    if (writeOnlyStream) {
        // The stream cannot be read back; the caller fills the whole block.
        std::memset(data, 0, size);
    } else {
        lvsize_t got = 0;
        LVResult result = ResultFail;
        if (stream->SetPos(position) == position) result = stream->Read(data, size, &got);
        if ((result != ResultOk && result != ResultEndOfData) || got != size) {
            std::free(data);
            return nullptr;
        }
    }
    return StreamBufferHandle(
        new LVDefStreamBuffer(stream, data, position, size, readOnly, writeOnlyStream));
}

LVDefStreamBuffer::LVDefStreamBuffer(const StreamHandle& stream, uint8_t* data, lvpos_t position,
                                     lvsize_t size, bool readOnly, bool writeOnlyStream)
    : stream_(stream),
      data_(data),
      position_(position),
      size_(size),
      readOnly_(readOnly),
      writeOnlyStream_(writeOnlyStream) {}

LVDefStreamBuffer::~LVDefStreamBuffer() { LVDefStreamBuffer::Close(); }

const uint8_t* LVDefStreamBuffer::GetReadOnly() { return writeOnlyStream_ ? nullptr : data_; }

uint8_t* LVDefStreamBuffer::GetReadWrite() { return readOnly_ ? nullptr : data_; }

bool LVDefStreamBuffer::Close() {
    if (!data_) return true;
    bool ok = true;
    if (!readOnly_) {
        lvsize_t written = 0;
        ok = stream_->SetPos(position_) == position_ &&
             stream_->Write(data_, size_, &written) == ResultOk && written == size_;
        if (!ok) LOG_ERROR("stream buffer: writing %u bytes back at %d failed", size_, position_);
    }
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
    stream_.reset();
    return ok;
}
