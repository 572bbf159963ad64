// The interface of every format parser and the byte-buffer layer under the
// stream readers.
//
// A parser is made for one stream and one callback, asked whether the stream
// is in its format (CheckFormat), then run once (Parse). LVFileParserBase
// keeps a window of the stream's bytes in a growable buffer that drops what
// was consumed, so memory stays bounded however large the stream is.
#pragma once

#include <cstdint>

#include "foundation/lvstring.h"
#include "foundation/types.h"
#include "dom/xmlcallback.h"
#include "streams/stream.h"

class LVFileParserBase : public LVFileFormatParser {
public:
    explicit LVFileParserBase(const StreamHandle& stream);
    ~LVFileParserBase() override;
    LVFileParserBase(const LVFileParserBase&) = delete;
    LVFileParserBase& operator=(const LVFileParserBase&) = delete;

    void setProgressCallback(LVParserProgressListener* listener) override { progress_ = listener; }
    // Seeks the stream to 0, empties the buffer and re-reads the stream size.
    void Reset() override;
    void Stop() override { stopped_ = true; }
    void SetCharset(const lvchar16* name) override { (void)name; }
    void SetCharsetTable(const lvchar16* table) override { (void)table; }
    const lvchar16* GetCharsetTable() override { return nullptr; }
    void setKeepFlag(bool keep) override { keepFlag_ = keep; }
    bool getKeepFlag() override { return keepFlag_; }
    // (buffer start + read offset) * 100 / stream size, in 64 bits; 0 for an
    // empty stream.
    int getProgressPercent() override;
    // The byte read position has reached the stream size.
    bool isEof() override;

    // The stream name after the last '/' or '\'.
    LVString16 getFileName() const;
    const StreamHandle& stream() const { return stream_; }
    int64_t streamSize() const { return streamSize_; }
    bool isStopped() const { return stopped_; }

    // Bytes held by the buffer (for tests of bounded memory).
    size_t bufferCapacity() const { return capacity_; }

protected:
    // Reads up to n more bytes after those held, dropping consumed bytes
    // first when room is short. False when nothing could be read.
    bool fillBuffer(int64_t n);
    // Makes the buffer hold [position, position + n) (as much as the stream
    // has) and puts the read offset at position. False when position lies
    // outside the stream or the stream fails.
    bool positionBuffer(int64_t position, int64_t n);
    // Bytes not yet consumed, and the stream position of the next one.
    int64_t bytesLeftInBuffer() const { return bufLen_ - bufPos_; }
    int64_t readPosition() const { return bufStart_ + bufPos_; }
    // No more bytes in the stream after those held.
    bool streamExhausted() const { return bufStart_ + bufLen_ >= streamSize_; }
    // Called by the parse loop after each text run inside the body.
    void updateProgress();

    StreamHandle stream_;
    int64_t streamSize_ = 0;
    uint8_t* buf_ = nullptr;
    int64_t capacity_ = 0;
    int64_t bufLen_ = 0;    // bytes held
    int64_t bufPos_ = 0;    // read offset within the buffer
    int64_t bufStart_ = 0;  // stream position of buf_[0]
    bool stopped_ = false;
    bool keepFlag_ = false;
    LVParserProgressListener* progress_ = nullptr;
    int64_t lastProgressTime_ = -1;  // seconds; -1 until the first reading
    int lastProgressPercent_ = -1;
    uint32_t progressCalls_ = 0;
    int firstPagesCountdown_ = -1;  // disabled in this class

private:
    bool growTo(int64_t capacity);
};
