#include "formats/fileparser.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "foundation/log.h"
#include "foundation/timelimit.h"

namespace {

// Extra room a growing buffer takes beyond what the fill needs.
constexpr int64_t kGrowSlack = 4096;
// Smallest range a re-positioned buffer reads.
constexpr int64_t kMinPositionRead = 4096;

}  // namespace

LVFileParserBase::LVFileParserBase(const StreamHandle& stream) : stream_(stream) {
    if (stream_) {
        lvsize_t size = stream_->GetSize();
        streamSize_ = size == kUnknownSize ? 0 : static_cast<int64_t>(size);
    }
}

LVFileParserBase::~LVFileParserBase() { std::free(buf_); }

bool LVFileParserBase::growTo(int64_t capacity) {
    if (capacity <= capacity_) return true;
    void* p = std::realloc(buf_, static_cast<size_t>(capacity));
    if (!p) fatalError(-2, "realloc failed");
    buf_ = static_cast<uint8_t*>(p);
    capacity_ = capacity;
    return true;
}

void LVFileParserBase::Reset() {
    bufLen_ = bufPos_ = bufStart_ = 0;
    stopped_ = false;
    if (!stream_) {
        streamSize_ = 0;
        return;
    }
    stream_->SetPos(0);
    lvsize_t size = stream_->GetSize();
    streamSize_ = size == kUnknownSize ? 0 : static_cast<int64_t>(size);
}

bool LVFileParserBase::fillBuffer(int64_t n) {
    if (!stream_ || n <= 0) return false;
    const int64_t end = bufStart_ + bufLen_;
    const int64_t left = streamSize_ - end;
    if (left <= 0) return false;
    n = std::min(n, left);
    if (capacity_ - bufLen_ < n) {
        // Drop the consumed bytes when they are a good share of the buffer
        // (or more than is wanted), so that the buffer does not grow with the
        // stream.
        if (bufPos_ > 0 && (bufPos_ >= capacity_ / 4 || bufPos_ > n)) {
            std::memmove(buf_, buf_ + bufPos_, static_cast<size_t>(bufLen_ - bufPos_));
            bufStart_ += bufPos_;
            bufLen_ -= bufPos_;
            bufPos_ = 0;
        }
        if (capacity_ - bufLen_ < n) growTo(bufLen_ + n + kGrowSlack);
    }
    if (stream_->GetPos() != static_cast<lvpos_t>(end) &&
        stream_->SetPos(static_cast<lvpos_t>(end)) != static_cast<lvpos_t>(end)) {
        LOG_ERROR("cannot set stream position to %d", static_cast<int>(end));
        return false;
    }
    int64_t got = 0;
    while (got < n) {
        lvsize_t chunk = 0;
        LVResult rc = stream_->Read(buf_ + bufLen_ + got, static_cast<lvsize_t>(n - got), &chunk);
        if (rc != ResultOk && rc != ResultEndOfData) break;
        if (chunk == 0) break;
        got += chunk;
    }
    bufLen_ += got;
    if (got < n) {
        LOG_ERROR("error while reading %d bytes from stream", static_cast<int>(n));
        // Whatever the stream failed to deliver is treated as its end.
        streamSize_ = bufStart_ + bufLen_;
    }
    return got > 0;
}

bool LVFileParserBase::positionBuffer(int64_t position, int64_t n) {
    if (!stream_ || position < 0 || position > streamSize_) return false;
    n = std::max<int64_t>(0, std::min(n, streamSize_ - position));
    if (position >= bufStart_ && position + n <= bufStart_ + bufLen_) {
        bufPos_ = position - bufStart_;
        return true;
    }
    int64_t want = std::max({n, kMinPositionRead, capacity_});
    want = std::min(want, streamSize_ - position);
    growTo(std::max<int64_t>(want, 1));
    bufStart_ = position;
    bufLen_ = bufPos_ = 0;
    if (want == 0) return true;
    if (stream_->SetPos(static_cast<lvpos_t>(position)) != static_cast<lvpos_t>(position)) {
        LOG_ERROR("cannot set stream position to %d", static_cast<int>(position));
        return false;
    }
    int64_t got = 0;
    while (got < want) {
        lvsize_t chunk = 0;
        LVResult rc = stream_->Read(buf_ + got, static_cast<lvsize_t>(want - got), &chunk);
        if (rc != ResultOk && rc != ResultEndOfData) break;
        if (chunk == 0) break;
        got += chunk;
    }
    bufLen_ = got;
    if (got < want) {
        LOG_ERROR("error while reading %d bytes from stream", static_cast<int>(want));
        streamSize_ = bufStart_ + bufLen_;
        return got >= n;
    }
    return true;
}

int LVFileParserBase::getProgressPercent() {
    if (streamSize_ <= 0) return 0;
    int64_t percent = readPosition() * 100 / streamSize_;
    return static_cast<int>(std::clamp<int64_t>(percent, 0, 100));
}

bool LVFileParserBase::isEof() { return readPosition() >= streamSize_; }

LVString16 LVFileParserBase::getFileName() const {
    if (!stream_) return LVString16();
    LVString16 name = stream_->GetName();
    int32_t cut = -1;
    for (int32_t i = 0; i < name.length(); ++i)
        if (name[i] == '/' || name[i] == '\\') cut = i;
    return cut < 0 ? name : name.substr(cut + 1);
}

void LVFileParserBase::updateProgress() {
    if (!progress_) return;
    if (firstPagesCountdown_ >= 0 && --firstPagesCountdown_ == 0) {
        if (getProgressPercent() < 30) progress_->OnLoadFileFirstPagesReady();
        firstPagesCountdown_ = -1;
    }
    if ((++progressCalls_ & 63) != 0) return;
    int64_t now = TimeLimit::nowMs() / 1000;
    if (lastProgressTime_ < 0) {
        lastProgressTime_ = now;
        return;
    }
    int percent = getProgressPercent();
    if (now != lastProgressTime_ && percent != lastProgressPercent_) {
        progress_->OnLoadFileProgress(percent);
        lastProgressTime_ = now;
        lastProgressPercent_ = percent;
    }
}
