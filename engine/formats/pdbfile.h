// Palm database books (PalmDOC, eReader, Mobipocket): the database header and
// record table, the record-0 headers, and the decoded text as one read-only
// stream.
//
// A PDB file is an 80-byte header, a table of 8-byte record entries from
// offset 78 and the records themselves, all big-endian. Record 0 holds the
// book's own header; records 1..n hold its text, each compressed on its own.
// PDBFile validates all of it up front (every record offset, index and
// length is checked against the record table and the file before use),
// decodes the text once to learn where each record's text lies and what its
// checksum is, and afterwards decodes records on demand into a one-record
// cache, so the whole text is never held in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/lvstring.h"
#include "foundation/props.h"
#include "streams/stream.h"

class LVPDBContainer;

// Book kinds, by the database's type and creator.
enum PDBKind : int {
    PDBKindNone = 0,
    PDBKindPalmDoc = 1,     // "TEXt" / "REAd"
    PDBKindEReader = 2,     // "PNRd" / "PPrs"
    PDBKindPlucker = 3,     // "Data" / "Plkr": recognised, never read
    PDBKindMobipocket = 4,  // "BOOK" / "MOBI"
};

// What the decoded text is, as the content sniffing finds it.
enum PDBContentFormat : int {
    PDBContentUnknown = 0,
    PDBContentPml = 1,   // Palm Markup Language
    PDBContentText = 2,  // plain text
    PDBContentHtml = 5,
};

// Text compressions after the open (a stored 1 "none" becomes 0).
enum PDBCompression : int {
    PDBCompressionNone = 0,
    PDBCompressionPalmDoc = 2,
    PDBCompressionZlib = 10,
};

class PDBFile : public LVNamedStream {
public:
    using LVNamedStream::Flush;
    using LVNamedStream::GetSize;
    using LVNamedStream::Read;

    // Where a record lies in the file and where its text lies in the
    // decoded stream.
    struct Record {
        uint32_t offset = 0;      // in the file
        uint32_t size = 0;        // stored bytes
        uint32_t textOffset = 0;  // in the decoded text (text records only)
        uint32_t textLength = 0;
    };

    PDBFile();
    ~PDBFile() override;

    // Opens a Palm database book from source. Without fullOpen only the
    // header stage runs: the database header, the record table and the
    // record-0 header are validated (detection). With fullOpen the text is
    // decoded once (record offsets, checksum, size), the EXTH metadata is
    // collected, the images are listed into container (when given) and the
    // content is sniffed. contentFormat receives the sniffed format (0 after
    // a header-only open). False for anything that is not a readable book of
    // kind 1, 2 or 4: the stream is then unusable.
    bool open(const StreamHandle& source, LVPDBContainer* container, bool fullOpen,
              int& contentFormat);

    // ---- What the open found ------------------------------------------------
    PDBKind kind() const { return kind_; }
    int compression() const { return compression_; }
    int32_t recordCount() const { return static_cast<int32_t>(records_.size()); }
    const Record& record(int32_t index) const { return records_[static_cast<size_t>(index)]; }
    // Text records are 1..textRecordCount().
    int32_t textRecordCount() const { return textRecordCount_; }
    uint16_t extraFlags() const { return extraFlags_; }
    // The MOBI header's text encoding (65001, 1252, ...); 0 for other kinds.
    uint32_t mobiEncoding() const { return mobiEncoding_; }
    // The charset the text parser should be given: "utf-8" or "windows-1252"
    // for Mobipocket books whose header says so, "utf-8" for other
    // Mobipocket books whose first 16 KB of text are Unicode; empty when the
    // parser should detect it.
    const LVString8& textCharset() const { return textCharset_; }
    // First image record (Mobipocket), or -1.
    int32_t firstImageRecord() const { return firstImage_; }
    // The EXTH cover index, or -1.
    int32_t coverIndex() const { return coverIndex_; }
    // The metadata collected by the open ("doc.title", "doc.authors", ...).
    const QLPropRef& props() const { return props_; }
    // The text size the header gives (-1 for eReader books), and the total
    // the full open decoded.
    int64_t headerTextSize() const { return headerTextSize_; }
    int64_t decodedTextSize() const { return decodedTotal_; }
    // Text records that decode; the full open stops at the first that does
    // not.
    int32_t decodedRecordCount() const { return decodedRecords_; }
    const StreamHandle& source() const { return source_; }

    // Decodes text record index (1..textRecordCount) into out. False when
    // its bytes cannot be read or decompressed.
    bool decodeRecord(int32_t index, std::vector<uint8_t>& out);

    // ---- The decoded text as a stream ---------------------------------------
    lvsize_t GetSize() override { return size_; }
    // A target above the size fails; origin 1 and 2 are relative to the
    // position and the size, anything else is absolute.
    LVResult Seek(lvpos_t offset, int32_t origin, lvpos_t* newPosition) override;
    LVResult SetSize(lvsize_t size) override;
    // Decodes record by record through the one-record cache; fails (1) when a
    // record that is needed cannot be decoded.
    LVResult Read(void* buffer, lvsize_t count, lvsize_t* bytesRead) override;
    LVResult Write(const void* buffer, lvsize_t count, lvsize_t* bytesWritten) override;
    bool Eof() override { return static_cast<int64_t>(pos_) >= static_cast<int64_t>(size_); }
    // The CRC-32 of the decoded text, computed by the full open.
    LVResult GetCrc32(uint32_t* crc) override;

    // Record decodes so far (tests of the cache).
    uint64_t decodeCount() const { return decodeCount_; }

private:
    bool readHeaderStage(LVPDBContainer* container);
    bool readEReaderHeader(const uint8_t* r0, size_t len, LVPDBContainer* container);
    bool readMobiHeader(const uint8_t* r0, size_t len);
    void readExth(const uint8_t* r0, size_t len, uint32_t headerLength);
    void setTitle(const uint8_t* r0, size_t len);
    void listMobiImages(LVPDBContainer* container);
    void listEReaderImages(LVPDBContainer* container, uint32_t firstImage, uint32_t imageCount);
    bool decodeAll();
    int sniffContent();
    void chooseCharset();
    LVString16 exthString(const uint8_t* data, size_t length) const;
    // Reads a whole stored record; false on a seek error or a short read.
    bool readStored(int32_t index, std::vector<uint8_t>& out);
    bool readAt(uint32_t offset, void* buffer, size_t count);
    // Makes the cache hold the record whose text contains pos (pos < size).
    bool cacheRecordAt(int64_t pos);
    void resetCache();

    StreamHandle source_;
    uint32_t fileSize_ = 0;
    PDBKind kind_ = PDBKindNone;
    int compression_ = PDBCompressionNone;
    std::vector<Record> records_;
    int32_t textRecordCount_ = 0;
    int32_t decodedRecords_ = 0;
    uint16_t extraFlags_ = 0;
    uint32_t mobiEncoding_ = 0;
    LVString8 textCharset_;
    int32_t firstImage_ = -1;
    int32_t coverIndex_ = -1;
    int64_t headerTextSize_ = -1;
    int64_t decodedTotal_ = 0;
    uint32_t crc_ = 0;
    bool crcKnown_ = false;
    QLPropRef props_;
    // EXTH title candidates, resolved after the walk.
    LVString16 exthUpdatedTitle_;
    LVString16 exthSubject_;

    lvsize_t size_ = 0;
    lvpos_t pos_ = 0;
    // The one-record cache.
    std::vector<uint8_t> cache_;
    std::vector<uint8_t> stored_;  // scratch for the stored bytes
    std::unique_ptr<uint8_t[]> zlibBuffer_;
    int32_t cachedRecord_ = -1;
    uint64_t decodeCount_ = 0;
};

using PDBFileHandle = Ref<PDBFile>;
