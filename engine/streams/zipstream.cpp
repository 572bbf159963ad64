#include "streams/zipstream.h"

#include <cstring>

#include "foundation/log.h"

namespace {
constexpr lvsize_t kInputSize = 16384;
// Reads of at least this many bytes are inflated straight into the caller's
// buffer; smaller ones are served from a block of this size.
constexpr lvsize_t kOutputSize = 16384;
}  // namespace

StreamHandle LVZipDecodeStream::create(const StreamHandle& archive, lvpos_t start,
                                       lvsize_t packedSize, lvsize_t unpackedSize,
                                       uint32_t expectedCrc) {
    if (!archive || start < 0 || unpackedSize > kMaxStreamSize) return nullptr;
    lvsize_t archiveSize = 0;
    if (archive->GetSize(&archiveSize) != ResultOk) return nullptr;
    if (static_cast<int64_t>(start) + packedSize > static_cast<int64_t>(archiveSize)) {
        return nullptr;
    }
    StreamHandle packed(new LVStreamFragment(archive, start, packedSize));
    Ref<LVZipDecodeStream> stream(new LVZipDecodeStream(packed, unpackedSize, expectedCrc));
    if (!stream->restart()) return nullptr;
    return StreamHandle(stream.get());
}

LVZipDecodeStream::LVZipDecodeStream(const StreamHandle& packed, lvsize_t unpackedSize,
                                     uint32_t expectedCrc)
    : packed_(packed),
      packedSize_(packed->GetSize()),
      unpackedSize_(unpackedSize),
      expectedCrc_(expectedCrc),
      in_(new uint8_t[kInputSize]),
      out_(new uint8_t[kOutputSize]) {
    setOpenMode(OpenModeRead);
}

LVZipDecodeStream::~LVZipDecodeStream() {
    if (zsReady_) inflateEnd(&zs_);
}

void LVZipDecodeStream::fail(const char* what) {
    failed_ = true;
    LOG_ERROR("ZIP stream '%s': %s", wideToLocal(GetName()).c_str(), what);
}

bool LVZipDecodeStream::restart() {
    if (zsReady_) inflateEnd(&zs_);
    zsReady_ = false;
    zs_ = z_stream{};
    failed_ = false;
    streamEnded_ = false;
    decoded_ = 0;
    outLen_ = 0;
    outPos_ = 0;
    packedLeft_ = packedSize_;
    crc_ = crc32(0L, Z_NULL, 0);
    if (inflateInit2(&zs_, -15) != Z_OK) {
        fail("cannot start inflate");
        return false;
    }
    zsReady_ = true;
    if (packed_->SetPos(0) != 0) {
        fail("cannot seek to the packed data");
        return false;
    }
    return true;
}

bool LVZipDecodeStream::fillInput() {
    lvsize_t want = packedLeft_ < kInputSize ? packedLeft_ : kInputSize;
    lvsize_t got = 0;
    LVResult result = packed_->Read(in_.get(), want, &got);
    if ((result != ResultOk && result != ResultEndOfData) || got == 0 || got > want) {
        fail("cannot read the packed data");
        return false;
    }
    zs_.next_in = in_.get();
    zs_.avail_in = got;
    packedLeft_ -= got;
    return true;
}

bool LVZipDecodeStream::inflateInto(uint8_t* out, lvsize_t n) {
    zs_.next_out = out;
    zs_.avail_out = n;
    while (zs_.avail_out > 0) {
        if (streamEnded_) {
            fail("the data ends before the entry's size");
            return false;
        }
        if (zs_.avail_in == 0 && packedLeft_ > 0 && !fillInput()) return false;
        int result = inflate(&zs_, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            streamEnded_ = true;
        } else if (result == Z_BUF_ERROR) {
            // No progress was possible: the packed data is used up.
            if (zs_.avail_in > 0 || packedLeft_ == 0) {
                fail("the packed data ends early");
                return false;
            }
        } else if (result != Z_OK) {
            fail(zs_.msg ? zs_.msg : "inflate error");
            return false;
        }
    }
    crc_ = crc32(crc_, out, n);
    decoded_ += n;
    if (decoded_ == static_cast<int64_t>(unpackedSize_) && crc_ != expectedCrc_) {
        LOG_ERROR("ZIP stream '%s': CRC doesn't match", wideToLocal(GetName()).c_str());
    }
    return true;
}

bool LVZipDecodeStream::refillOutput() {
    int64_t left = static_cast<int64_t>(unpackedSize_) - decoded_;
    lvsize_t n = left < kOutputSize ? static_cast<lvsize_t>(left) : kOutputSize;
    outLen_ = 0;
    outPos_ = 0;
    if (n == 0 || !inflateInto(out_.get(), n)) return false;
    outLen_ = n;
    return true;
}

LVResult LVZipDecodeStream::Read(void* buffer, lvsize_t count, lvsize_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    if (failed_ || (!buffer && count > 0)) return ResultFail;
    int64_t left = static_cast<int64_t>(unpackedSize_) - position();
    lvsize_t want = static_cast<int64_t>(count) < left ? count : static_cast<lvsize_t>(left);
    uint8_t* dst = static_cast<uint8_t*>(buffer);
    lvsize_t delivered = 0;
    while (delivered < want) {
        if (outPos_ < outLen_) {
            lvsize_t k = outLen_ - outPos_;
            if (k > want - delivered) k = want - delivered;
            std::memcpy(dst + delivered, out_.get() + outPos_, k);
            outPos_ += k;
            delivered += k;
            continue;
        }
        lvsize_t rest = want - delivered;
        if (rest >= kOutputSize) {
            outLen_ = 0;
            outPos_ = 0;
            if (!inflateInto(dst + delivered, rest)) break;
            delivered += rest;
        } else if (!refillOutput()) {
            break;
        }
    }
    if (bytesRead) *bytesRead = delivered;
    if (failed_) return ResultFail;
    if (delivered < count) {
        LOG_TRACE("ZIP stream: %u bytes read instead of %u", static_cast<unsigned>(delivered),
                  static_cast<unsigned>(count));
    }
    return ResultOk;
}

LVResult LVZipDecodeStream::Seek(lvpos_t offset, int32_t origin, lvpos_t* newPosition) {
    int64_t target = 0;
    if (!seekTarget(offset, origin, position(), unpackedSize_, target)) return ResultFail;

    int64_t blockStart = decoded_ - outLen_;
    if (!failed_ && target >= blockStart && target <= decoded_) {
        outPos_ = static_cast<lvsize_t>(target - blockStart);
    } else {
        if ((failed_ || target < blockStart) && !restart()) return ResultFail;
        outPos_ = outLen_;
        while (decoded_ < target) {
            if (!refillOutput()) return ResultFail;
        }
        outPos_ = static_cast<lvsize_t>(outLen_ - (decoded_ - target));
    }
    if (newPosition) *newPosition = static_cast<lvpos_t>(target);
    return ResultOk;
}

LVResult LVZipDecodeStream::SetSize(lvsize_t size) {
    (void)size;
    return ResultNotImplemented;
}

LVResult LVZipDecodeStream::Write(const void* buffer, lvsize_t count, lvsize_t* bytesWritten) {
    (void)buffer;
    (void)count;
    if (bytesWritten) *bytesWritten = 0;
    return ResultNotImplemented;
}

LVResult LVZipDecodeStream::GetCrc32(uint32_t* crc) {
    if (crc) *crc = expectedCrc_;
    return ResultOk;
}
