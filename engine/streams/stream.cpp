#include "streams/stream.h"

#include <zlib.h>

#include "foundation/log.h"

LVResult LVStorageObject::GetSize(lvsize_t* size) {
    lvsize_t value = GetSize();
    if (size) *size = value;
    return value == kUnknownSize ? ResultFail : ResultOk;
}

// ---- LVStream ---------------------------------------------------------------

lvsize_t LVStream::GetSize() {
    lvpos_t saved = 0;
    if (Tell(&saved) != ResultOk) return kUnknownSize;
    lvpos_t end = 0;
    LVResult result = Seek(0, SeekFromEnd, &end);
    Seek(saved, SeekFromStart, nullptr);
    if (result != ResultOk || end < 0) return kUnknownSize;
    return static_cast<lvsize_t>(end);
}

StreamBufferHandle LVStream::GetReadBuffer(lvpos_t position, lvsize_t size) {
    return LVDefStreamBuffer::create(StreamHandle(this), position, size, true);
}

StreamBufferHandle LVStream::GetWriteBuffer(lvpos_t position, lvsize_t size) {
    return LVDefStreamBuffer::create(StreamHandle(this), position, size, false);
}

lvpos_t LVStream::SetPos(lvpos_t position) {
    lvpos_t result = -1;
    return Seek(position, SeekFromStart, &result) == ResultOk ? result : -1;
}

lvpos_t LVStream::GetPos() {
    lvpos_t result = -1;
    return Seek(0, SeekFromCurrent, &result) == ResultOk ? result : -1;
}

namespace {
// Reads exactly n bytes into out; out is untouched unless all of them arrive.
bool readExactly(LVStream& stream, void* out, lvsize_t n) {
    uint8_t bytes[4];
    lvsize_t got = 0;
    LVResult result = stream.Read(bytes, n, &got);
    if ((result != ResultOk && result != ResultEndOfData) || got != n) return false;
    for (lvsize_t i = 0; i < n; ++i) static_cast<uint8_t*>(out)[i] = bytes[i];
    return true;
}
}  // namespace

bool LVStream::Read(uint32_t* value) { return readExactly(*this, value, 4); }
bool LVStream::Read(uint16_t* value) { return readExactly(*this, value, 2); }
bool LVStream::Read(uint8_t* value) { return readExactly(*this, value, 1); }

int LVStream::ReadByte() {
    uint8_t b = 0;
    return Read(&b) ? b : -1;
}

LVResult LVStream::computeCrc32(uint32_t* crc) {
    if (crc) *crc = 0;
    int32_t mode = GetMode();
    if (mode != OpenModeRead && mode != OpenModeAppend) return ResultNotImplemented;

    lvpos_t saved = 0;
    if (Tell(&saved) != ResultOk) return ResultFail;
    lvsize_t size = 0;
    if (GetSize(&size) != ResultOk || SetPos(0) != 0) {
        SetPos(saved);
        return ResultFail;
    }
    uLong value = crc32(0L, Z_NULL, 0);
    uint8_t chunk[16384];
    lvsize_t left = size;
    while (left > 0) {
        lvsize_t want = left < sizeof chunk ? left : static_cast<lvsize_t>(sizeof chunk);
        lvsize_t got = 0;
        LVResult result = Read(chunk, want, &got);
        if ((result != ResultOk && result != ResultEndOfData) || got != want) {
            SetPos(saved);
            return ResultFail;
        }
        value = crc32(value, chunk, got);
        left -= got;
    }
    SetPos(saved);
    if (crc) *crc = static_cast<uint32_t>(value);
    return ResultOk;
}

// ---- LVNamedStream ----------------------------------------------------------

void LVNamedStream::SetName(const LVString16& name) {
    name_ = name;
    int32_t cut = -1;  // index of the last delimiter
    for (int32_t i = name.length() - 1; i >= 0; --i) {
        if (name[i] == u'/' || name[i] == u'\\') {
            cut = i;
            break;
        }
    }
    folder_ = name.substr(0, cut + 1);
    fileName_ = name.substr(cut + 1);
}

LVResult LVNamedStream::GetCrc32(uint32_t* crc) {
    if (crc_ != 0) {
        if (crc) *crc = crc_;
        return ResultOk;
    }
    if (crcFailed_) {
        if (crc) *crc = 0;
        return ResultFail;
    }
    uint32_t value = 0;
    LVResult result = computeCrc32(&value);
    if (result == ResultOk) {
        crc_ = value;
    } else if (result == ResultFail) {
        crcFailed_ = true;
        LOG_DEBUG("CRC32 of stream failed");
    }
    if (crc) *crc = value;
    return result;
}

void LVNamedStream::NoteWritten(lvsize_t bytes) {
    uint64_t total = static_cast<uint64_t>(bytesWritten_) + bytes;
    bytesWritten_ = total > UINT32_MAX ? UINT32_MAX : static_cast<lvsize_t>(total);
    if (flushThreshold_ > 0 && bytesWritten_ > flushThreshold_) {
        Flush(true);
        bytesWritten_ = 0;
    }
}

// ---- Free functions ---------------------------------------------------------

lvsize_t copyStreamContents(const StreamHandle& destination, const StreamHandle& source) {
    if (!destination || !source) return 0;
    if (source->SetPos(0) != 0) return 0;
    lvsize_t left = 0;
    if (source->GetSize(&left) != ResultOk) return 0;

    uint8_t chunk[5000];
    lvsize_t copied = 0;
    while (left > 0) {
        lvsize_t want = left < sizeof chunk ? left : static_cast<lvsize_t>(sizeof chunk);
        lvsize_t got = 0;
        LVResult readResult = source->Read(chunk, want, &got);
        if ((readResult != ResultOk && readResult != ResultEndOfData) || got == 0) break;
        if (got > want) break;  // a misbehaving source: never trust it beyond the chunk
        lvsize_t written = 0;
        LVResult writeResult = destination->Write(chunk, got, &written);
        copied += written <= got ? written : got;
        if (writeResult != ResultOk || written != got) break;
        left -= got;
    }
    return copied;
}

bool seekTarget(int64_t offset, int32_t origin, int64_t current, int64_t size, int64_t& target) {
    int64_t base = 0;
    switch (origin) {
        case SeekFromStart:
            base = 0;
            break;
        case SeekFromCurrent:
            base = current;
            break;
        case SeekFromEnd:
            base = size;
            break;
        default:
            return false;
    }
    target = base + offset;
    return target >= 0 && target <= size;
}
