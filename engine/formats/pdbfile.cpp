#include "formats/pdbfile.h"

#include <algorithm>
#include <cstring>

#include "formats/pdbcontainer.h"
#include "formats/pdbdecode.h"
#include "foundation/encodings.h"
#include "foundation/log.h"
#include "foundation/textutil.h"

namespace {

constexpr size_t kPdbHeaderSize = 80;
constexpr size_t kRecordTableStart = 78;
constexpr size_t kRecordEntrySize = 8;
// Record 0 is read whole up to this size; every header and the EXTH block of
// real books lie far below it.
constexpr uint32_t kMaxRecord0Read = 1u << 20;

constexpr size_t kPalmDocHeaderSize = 12;
// The PalmDOC header proper; a longer record 0 comes from a Mobipocket-era
// generator, which keeps an encryption type at offset 12.
constexpr size_t kPalmDocPlainHeaderSize = 16;
constexpr size_t kEReaderHeaderSize = 132;
constexpr size_t kMobiHeaderMinimum = 180;
// The extra record data flags are the low half of the MOBI header's 32-bit
// field at header offset 0xE0 (record 0 offset 0xF2).
constexpr uint32_t kExtraFlagsMinHeaderLength = 228;
constexpr size_t kExtraFlagsOffset = 242;
// eReader "PNG " records: 4 bytes of tag, a 32-byte name, then up to offset
// 62 a header the reader does not use.
constexpr uint32_t kEReaderImageHeader = 62;
constexpr uint32_t kEReaderImageNameLength = 32;

constexpr size_t kSniffCharsetBytes = 16384;
constexpr uint32_t kNoIndex = 0xFFFFFFFFu;

uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t be32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

struct KindEntry {
    const char type[5];
    const char creator[5];
    PDBKind kind;
};
constexpr KindEntry kKinds[] = {
    {"TEXt", "REAd", PDBKindPalmDoc},
    {"PNRd", "PPrs", PDBKindEReader},
    {"Data", "Plkr", PDBKindPlucker},
    {"BOOK", "MOBI", PDBKindMobipocket},
};

bool isMobiType(uint32_t t) {
    switch (t) {
        case 2:
        case 3:
        case 257:
        case 258:
        case 259:
        case 517:
        case 518:
            return true;
        default:
            return false;
    }
}

// Image signatures of Mobipocket image records: JPEG (FF D8 FF and any
// marker, so EXIF files count), PNG and GIF.
bool isImageRecord(const uint8_t* p, size_t n) {
    if (n >= 4 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF) return true;
    if (n >= 4 && p[0] == 0x89 && p[1] == 'P' && p[2] == 'N' && p[3] == 'G') return true;
    if (n >= 3 && p[0] == 'G' && p[1] == 'I' && p[2] == 'F') return true;
    return false;
}

bool startsWithNoCase(const uint8_t* p, size_t n, const char* word) {
    size_t k = 0;
    for (; word[k]; ++k) {
        if (k >= n) return false;
        uint8_t c = p[k];
        if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c + 32);
        if (c != static_cast<uint8_t>(word[k])) return false;
    }
    return true;
}

LVString8 asUtf8Name(const char* prefix, int64_t number) {
    LVString8 s(prefix);
    s.appendNumber(number);
    return s;
}

}  // namespace

PDBFile::PDBFile() : props_(createPropsContainer()) {}

PDBFile::~PDBFile() = default;

bool PDBFile::readAt(uint32_t offset, void* buffer, size_t count) {
    if (source_->Seek(static_cast<lvpos_t>(offset), SeekFromStart, nullptr) != ResultOk)
        return false;
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        lvsize_t got = 0;
        if (source_->Read(out + done, static_cast<lvsize_t>(count - done), &got) != ResultOk ||
            got == 0)
            return false;
        done += got;
    }
    return true;
}

bool PDBFile::open(const StreamHandle& source, LVPDBContainer* container, bool fullOpen,
                   int& contentFormat) {
    contentFormat = PDBContentUnknown;
    kind_ = PDBKindNone;
    records_.clear();
    textRecordCount_ = decodedRecords_ = 0;
    extraFlags_ = 0;
    mobiEncoding_ = 0;
    textCharset_.clear();
    firstImage_ = coverIndex_ = -1;
    headerTextSize_ = -1;
    decodedTotal_ = 0;
    crcKnown_ = false;
    props_->clear();
    exthUpdatedTitle_.clear();
    exthSubject_.clear();
    size_ = 0;
    pos_ = 0;
    resetCache();
    setOpenMode(OpenModeClosed);
    if (container) container->clear();
    if (!source) return false;

    source_ = source;
    bool ok = readHeaderStage(container);
    if (ok && fullOpen) {
        ok = decodeAll();
        if (ok) {
            contentFormat = sniffContent();
            if (headerTextSize_ < 0) {
                headerTextSize_ = decodedTotal_;
            } else if (decodedTotal_ < headerTextSize_) {
                LOG_WARN("PDB: Unpacked text size is %d but expected %d",
                         static_cast<int>(decodedTotal_), static_cast<int>(headerTextSize_));
            }
            size_ = static_cast<lvsize_t>(std::min(decodedTotal_, headerTextSize_));
            resetCache();
            SetName(source->GetName());
            setOpenMode(OpenModeRead);
            chooseCharset();
            pos_ = 0;
        }
    }
    if (!ok) {
        source_.reset();
        records_.clear();
        kind_ = PDBKindNone;
        size_ = 0;
        props_->clear();
        if (container) container->clear();
        contentFormat = PDBContentUnknown;
        return false;
    }
    return true;
}

bool PDBFile::readHeaderStage(LVPDBContainer* container) {
    if (source_->Seek(0, SeekFromStart, nullptr) != ResultOk) return false;
    lvsize_t size = source_->GetSize();
    if (size == kUnknownSize || size < kPdbHeaderSize) return false;
    fileSize_ = size;

    uint8_t header[kPdbHeaderSize];
    if (!readAt(0, header, sizeof header)) return false;
    uint32_t count = be16(header + 76);
    if (count == 0) return false;
    for (const KindEntry& k : kKinds) {
        if (std::memcmp(header + 60, k.type, 4) == 0 &&
            std::memcmp(header + 64, k.creator, 4) == 0) {
            kind_ = k.kind;
            break;
        }
    }
    if (kind_ == PDBKindNone) return false;

    // The record table; each offset at least the previous one and inside
    // the file, so every record is a valid, possibly empty, range.
    uint64_t tableEnd = kRecordTableStart + static_cast<uint64_t>(count) * kRecordEntrySize;
    if (tableEnd > fileSize_) return false;
    std::vector<uint8_t> table(count * kRecordEntrySize);
    if (!readAt(kRecordTableStart, table.data(), table.size())) return false;
    records_.resize(count);
    uint32_t prev = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t off = be32(table.data() + i * kRecordEntrySize);
        if (off < prev || off >= fileSize_) return false;
        records_[i].offset = prev = off;
    }
    for (uint32_t i = 0; i < count; ++i)
        records_[i].size =
            (i + 1 < count ? records_[i + 1].offset : fileSize_) - records_[i].offset;

    std::vector<uint8_t> r0(std::min(records_[0].size, kMaxRecord0Read));
    if (!r0.empty() && !readAt(records_[0].offset, r0.data(), r0.size())) return false;
    const uint8_t* p = r0.data();
    size_t len = r0.size();

    switch (kind_) {
        case PDBKindEReader:
            if (!readEReaderHeader(p, len, container)) return false;
            break;
        case PDBKindMobipocket:
            if (!readMobiHeader(p, len)) return false;
            if (container) listMobiImages(container);
            break;
        case PDBKindPalmDoc: {
            if (len < kPalmDocHeaderSize) return false;
            uint16_t comp = be16(p);
            if (comp != 1 && comp != 2) return false;
            // Mobipocket-era generators write longer PalmDOC headers with an
            // encryption type at offset 12; such text is unreadable.
            if (len > kPalmDocPlainHeaderSize && be16(p + 12) != 0) return false;
            compression_ = comp == 2 ? PDBCompressionPalmDoc : PDBCompressionNone;
            textRecordCount_ = be16(p + 8);
            headerTextSize_ = be32(p + 4);
            break;
        }
        default:  // Plucker is recognised but not read
            return false;
    }
    if (textRecordCount_ <= 0 || textRecordCount_ >= static_cast<int32_t>(count)) return false;
    if (headerTextSize_ > kMaxStreamSize) headerTextSize_ = kMaxStreamSize;
    return true;
}

bool PDBFile::readEReaderHeader(const uint8_t* r0, size_t len, LVPDBContainer* container) {
    if (len < kEReaderHeaderSize) return false;
    uint16_t comp = be16(r0);
    if (comp == 1)
        compression_ = PDBCompressionNone;
    else if (comp == 2)
        compression_ = PDBCompressionPalmDoc;
    else if (comp == 10)
        compression_ = PDBCompressionZlib;
    else
        return false;
    textRecordCount_ = static_cast<int32_t>(be16(r0 + 12)) - 1;
    headerTextSize_ = -1;
    uint32_t imageCount = be16(r0 + 20);
    uint32_t firstImage = be16(r0 + 40);
    if (container && imageCount > 0) listEReaderImages(container, firstImage, imageCount);
    return true;
}

bool PDBFile::readMobiHeader(const uint8_t* r0, size_t len) {
    if (len < kMobiHeaderMinimum) return false;
    uint16_t comp = be16(r0);
    if (comp != 1 && comp != 2) return false;  // HUFF/CDIC (17480) and others
    uint32_t mobiType = be32(r0 + 24);
    if (!isMobiType(mobiType)) return false;
    if (be16(r0 + 12) != 0) return false;  // encrypted
    compression_ = comp == 2 ? PDBCompressionPalmDoc : PDBCompressionNone;
    textRecordCount_ = be16(r0 + 8);
    headerTextSize_ = be32(r0 + 4);
    mobiEncoding_ = be32(r0 + 28);
    uint32_t headerLength = be32(r0 + 20);
    // The flags exist in every header of 228 bytes or more.
    if (headerLength >= kExtraFlagsMinHeaderLength && len >= kExtraFlagsOffset + 2)
        extraFlags_ = be16(r0 + kExtraFlagsOffset);
    uint32_t firstImage = be32(r0 + 108);
    firstImage_ = firstImage != kNoIndex && firstImage < records_.size()
                      ? static_cast<int32_t>(firstImage)
                      : -1;
    if (be32(r0 + 128) & 0x40) readExth(r0, len, headerLength);
    setTitle(r0, len);
    return true;
}

LVString16 PDBFile::exthString(const uint8_t* data, size_t length) const {
    const char* s = reinterpret_cast<const char*>(data);
    if (mobiEncoding_ == 1252)
        return decodeSingleByte(s, length, codePageTableByName("windows-1252"));
    LVString16 u = decodeUtf8(s, length);
    if (mobiEncoding_ != 65001 && u.indexOf(static_cast<lvchar16>(0xFFFD)) >= 0)
        return decodeSingleByte(s, length, codePageTableByName("windows-1252"));
    return u;
}

void PDBFile::readExth(const uint8_t* r0, size_t len, uint32_t headerLength) {
    uint64_t p = 16 + static_cast<uint64_t>(headerLength);
    if (p + 12 > len || std::memcmp(r0 + p, "EXTH", 4) != 0) return;
    LOG_TRACE("EXTH record found");
    uint32_t count = be32(r0 + p + 8);
    uint64_t q = p + 12;
    // Every record is at least 8 bytes long and lies inside record 0, so the
    // walk ends within len / 8 steps whatever the count says.
    for (uint32_t k = 0; k < count && q + 8 <= len; ++k) {
        uint32_t type = be32(r0 + q);
        uint32_t rlen = be32(r0 + q + 4);
        if (rlen < 8 || q + rlen > len) break;
        const uint8_t* data = r0 + q + 8;
        size_t dlen = rlen - 8;
        q += rlen;
        if (dlen == 0) continue;
        if (rlen == 12 && (type == 201 || type == 202)) {
            uint32_t v = be32(data);
            if (type == 201) coverIndex_ = v <= INT32_MAX ? static_cast<int32_t>(v) : -1;
            continue;
        }
        switch (type) {
            case 100: {
                LVString16 author = exthString(data, dlen);
                if (logLevelAtLeast(LogLevelTrace))
                    logTrace("MOBI author: %s", encodeUtf8(author).c_str());
                LVString16 all;
                if (props_->getString("doc.authors", all) && !all.empty()) {
                    all.append(" & ");
                    all.append(author);
                    props_->setString("doc.authors", all);
                } else {
                    props_->setString("doc.authors", author);
                }
                break;
            }
            case 101:
                props_->setString("doc.publisher", exthString(data, dlen));
                break;
            case 104:
                props_->setString("doc.ibsn", exthString(data, dlen));
                break;
            case 105:
                exthSubject_ = exthString(data, dlen);
                if (logLevelAtLeast(LogLevelTrace))
                    logTrace("MOBI subject: %s", encodeUtf8(exthSubject_).c_str());
                break;
            case 106:
                props_->setString("doc.date", exthString(data, dlen));
                break;
            case 108:
                props_->setString("doc.contributor", exthString(data, dlen));
                break;
            case 109:
                props_->setString("doc.rights", exthString(data, dlen));
                break;
            case 503:
                exthUpdatedTitle_ = exthString(data, dlen);
                break;
            default:
                break;
        }
    }
}

void PDBFile::setTitle(const uint8_t* r0, size_t len) {
    // The updated title, else the header's full name, else the subject.
    LVString16 title = exthUpdatedTitle_;
    if (title.empty()) {
        uint64_t off = be32(r0 + 84), n = be32(r0 + 88);
        if (n > 0 && off + n <= len) title = exthString(r0 + off, static_cast<size_t>(n));
    }
    if (title.empty()) title = exthSubject_;
    if (!title.empty()) props_->setString("doc.title", title);
}

void PDBFile::listMobiImages(LVPDBContainer* container) {
    if (firstImage_ < 0) return;
    for (size_t i = static_cast<size_t>(firstImage_); i < records_.size(); ++i) {
        const Record& r = records_[i];
        uint8_t head[16];
        size_t n = std::min<size_t>(sizeof head, r.size);
        if (n < 3 || !readAt(r.offset, head, n) || !isImageRecord(head, n)) continue;
        int64_t number = static_cast<int64_t>(i) - firstImage_;
        LVString8 name = asUtf8Name("mobi_image_", number);
        container->addRegion(new LVPDBRegionContainerItem(source_, static_cast<lvpos_t>(r.offset),
                                                          r.size, LVString16(name.c_str())));
        if (number == coverIndex_) {
            props_->setString("doc.cover.file", name);
            LOG_TRACE("MOBI COVER: %s", name.c_str());
        }
    }
}

void PDBFile::listEReaderImages(LVPDBContainer* container, uint32_t firstImage,
                                uint32_t imageCount) {
    uint64_t end =
        std::min<uint64_t>(static_cast<uint64_t>(firstImage) + imageCount, records_.size());
    for (uint64_t i = firstImage; i < end; ++i) {
        const Record& r = records_[i];
        if (r.size <= kEReaderImageHeader) continue;  // no room for the header and data
        uint8_t head[4 + kEReaderImageNameLength];
        if (!readAt(r.offset, head, sizeof head) || std::memcmp(head, "PNG ", 4) != 0) continue;
        const char* name = reinterpret_cast<const char*>(head + 4);
        size_t nameLen = strnlen(name, kEReaderImageNameLength);
        if (nameLen == 0) continue;
        container->addRegion(new LVPDBRegionContainerItem(
            source_, static_cast<lvpos_t>(r.offset + kEReaderImageHeader),
            r.size - kEReaderImageHeader, decodeUtf8(name, nameLen)));
    }
}

bool PDBFile::readStored(int32_t index, std::vector<uint8_t>& out) {
    const Record& r = records_[static_cast<size_t>(index)];
    out.resize(r.size);
    return r.size == 0 || readAt(r.offset, out.data(), r.size);
}

bool PDBFile::decodeRecord(int32_t index, std::vector<uint8_t>& out) {
    out.clear();
    if (!source_ || index < 1 || index > textRecordCount_) return false;
    if (!readStored(index, stored_)) return false;
    ++decodeCount_;
    size_t n = stored_.size();
    if (extraFlags_) n = pdb::stripTrailingEntries(stored_.data(), n, extraFlags_);
    switch (compression_) {
        case PDBCompressionNone:
            out.assign(stored_.begin(), stored_.begin() + static_cast<ptrdiff_t>(n));
            return true;
        case PDBCompressionPalmDoc:
            out.resize(pdb::palmDocCapacity(n));
            out.resize(pdb::palmDocDecode(stored_.data(), n, out.data(), out.size()));
            return true;
        case PDBCompressionZlib:
            return pdb::zlibDecode(stored_.data(), n, out);
        default:
            return false;
    }
}

bool PDBFile::decodeAll() {
    uint32_t crc = 0;
    int64_t total = 0;
    std::vector<uint8_t> text;
    int32_t i = 1;
    for (; i <= textRecordCount_; ++i) {
        if (!decodeRecord(i, text)) break;
        int64_t len = static_cast<int64_t>(text.size());
        if (total + len > kMaxStreamSize) break;
        // The checksum covers what the stream will hold: the decoded text,
        // cut at the header's size when that is smaller.
        int64_t limit = headerTextSize_ < 0 ? kMaxStreamSize : headerTextSize_;
        if (total < limit)
            crc = lvCrc32(crc, text.data(), static_cast<size_t>(std::min(len, limit - total)));
        records_[static_cast<size_t>(i)].textOffset = static_cast<uint32_t>(total);
        records_[static_cast<size_t>(i)].textLength = static_cast<uint32_t>(len);
        total += len;
    }
    decodedRecords_ = i - 1;
    for (; i <= textRecordCount_; ++i) {
        records_[static_cast<size_t>(i)].textOffset = static_cast<uint32_t>(total);
        records_[static_cast<size_t>(i)].textLength = 0;
    }
    decodedTotal_ = total;
    crc_ = crc;
    crcKnown_ = true;
    return true;
}

int PDBFile::sniffContent() {
    std::vector<uint8_t> text;
    if (decodedRecords_ < 1 || !decodeRecord(1, text) || text.size() <= 10) return PDBContentText;
    static const char kPmlCodes[] = "pXxCcriuovtnsblaUBSmqQI";
    const uint8_t* d = text.data();
    size_t n = text.size();
    int pml = 0, html = 0;
    for (size_t j = 0; j < n - 10; ++j) {
        if (d[j] == '\\') {
            if (d[j + 1] && std::strchr(kPmlCodes, d[j + 1])) ++pml;
        } else if (d[j] == '<') {
            const uint8_t* t = d + j + 1;
            size_t left = n - j - 1;
            if (startsWithNoCase(t, left, "html"))
                html += 100;
            else if (startsWithNoCase(t, left, "head") || startsWithNoCase(t, left, "body"))
                html += 50;
            else if (startsWithNoCase(t, left, "h1") || startsWithNoCase(t, left, "h2") ||
                     startsWithNoCase(t, left, "h3") || startsWithNoCase(t, left, "h4"))
                html += 5;
            else if (startsWithNoCase(t, left, "p>") || startsWithNoCase(t, left, "b>") ||
                     startsWithNoCase(t, left, "i>") || startsWithNoCase(t, left, "li>") ||
                     startsWithNoCase(t, left, "ul>"))
                html += 10;
        }
    }
    if (pml > 4 || html > 9) return html < pml ? PDBContentPml : PDBContentHtml;
    return PDBContentText;
}

void PDBFile::chooseCharset() {
    textCharset_.clear();
    if (kind_ != PDBKindMobipocket) return;
    if (mobiEncoding_ == 65001) {
        textCharset_ = "utf-8";
        return;
    }
    if (mobiEncoding_ == 1252) {
        textCharset_ = "windows-1252";
        return;
    }
    // Other values: trust the text itself when it is Unicode.
    size_t n = std::min<size_t>(kSniffCharsetBytes, size_);
    if (n < 8) return;
    std::vector<char> sample(n);
    lvsize_t got = 0;
    if (Seek(0, SeekFromStart, nullptr) != ResultOk ||
        Read(sample.data(), static_cast<lvsize_t>(n), &got) != ResultOk) {
        Seek(0, SeekFromStart, nullptr);
        return;
    }
    Seek(0, SeekFromStart, nullptr);
    LVString8 cp, lang;
    if (detectUnicode(sample.data(), got, cp, lang) && cp == "utf-8") textCharset_ = "utf-8";
}

void PDBFile::resetCache() {
    cachedRecord_ = -1;
    cache_.clear();
}

bool PDBFile::cacheRecordAt(int64_t pos) {
    auto holds = [&](int32_t i) {
        const Record& r = records_[static_cast<size_t>(i)];
        return pos >= r.textOffset && pos < static_cast<int64_t>(r.textOffset) + r.textLength;
    };
    if (cachedRecord_ > 0 && holds(cachedRecord_)) return true;
    int32_t found = -1;
    // Sequential reading moves on to the next non-empty record.
    if (cachedRecord_ > 0) {
        for (int32_t i = cachedRecord_ + 1; i <= decodedRecords_; ++i) {
            if (records_[static_cast<size_t>(i)].textLength == 0) continue;
            if (holds(i)) found = i;
            break;
        }
    }
    if (found < 0 && decodedRecords_ > 0) {
        // The last record starting at or before pos (empty records share
        // their offset with the next one, which is the one found).
        auto first = records_.begin() + 1, last = records_.begin() + 1 + decodedRecords_;
        auto it = std::upper_bound(first, last, pos, [](int64_t p, const Record& r) {
            return p < static_cast<int64_t>(r.textOffset);
        });
        if (it != first) {
            int32_t i = static_cast<int32_t>(it - records_.begin()) - 1;
            if (holds(i)) found = i;
        }
    }
    if (found < 0) return false;
    cachedRecord_ = -1;
    if (!decodeRecord(found, cache_) ||
        cache_.size() < records_[static_cast<size_t>(found)].textLength) {
        cache_.clear();
        return false;
    }
    cachedRecord_ = found;
    return true;
}

LVResult PDBFile::Seek(lvpos_t offset, int32_t origin, lvpos_t* newPosition) {
    int64_t target = offset;
    if (origin == SeekFromCurrent)
        target += pos_;
    else if (origin == SeekFromEnd)
        target += size_;
    if (target < 0 || target > static_cast<int64_t>(size_)) return ResultFail;
    pos_ = static_cast<lvpos_t>(target);
    if (newPosition) *newPosition = pos_;
    return ResultOk;
}

LVResult PDBFile::SetSize(lvsize_t size) {
    (void)size;
    return ResultFail;
}

LVResult PDBFile::Write(const void* buffer, lvsize_t count, lvsize_t* bytesWritten) {
    (void)buffer;
    (void)count;
    if (bytesWritten) *bytesWritten = 0;
    return ResultFail;
}

LVResult PDBFile::Read(void* buffer, lvsize_t count, lvsize_t* bytesRead) {
    auto* out = static_cast<uint8_t*>(buffer);
    lvsize_t done = 0;
    LVResult rc = ResultOk;
    while (done < count && static_cast<int64_t>(pos_) < static_cast<int64_t>(size_)) {
        if (!cacheRecordAt(pos_)) {
            rc = ResultFail;
            break;
        }
        const Record& r = records_[static_cast<size_t>(cachedRecord_)];
        int64_t inRecord = pos_ - static_cast<int64_t>(r.textOffset);
        int64_t n = std::min<int64_t>({static_cast<int64_t>(r.textLength) - inRecord,
                                       static_cast<int64_t>(count - done),
                                       static_cast<int64_t>(size_) - pos_});
        std::memcpy(out + done, cache_.data() + inRecord, static_cast<size_t>(n));
        done += static_cast<lvsize_t>(n);
        pos_ += static_cast<lvpos_t>(n);
    }
    if (bytesRead) *bytesRead = done;
    return rc;
}

LVResult PDBFile::GetCrc32(uint32_t* crc) {
    if (crcKnown_) {
        if (crc) *crc = crc_;
        return ResultOk;
    }
    return LVNamedStream::GetCrc32(crc);
}
