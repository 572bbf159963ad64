#include "streams/ziparc.h"

#include <zlib.h>

#include <cstring>
#include <memory>
#include <vector>

#include "foundation/encodings.h"
#include "foundation/log.h"
#include "streams/zipstream.h"

namespace {

constexpr uint32_t kLocalHeaderSig = 0x04034b50;   // "PK" 3 4
constexpr uint32_t kCentralEntrySig = 0x02014b50;  // "PK" 1 2
constexpr uint32_t kEndRecordSig = 0x06054b50;     // "PK" 5 6
constexpr uint32_t kZip64EndSig = 0x06064b50;      // "PK" 6 6
constexpr uint32_t kZip64LocatorSig = 0x07064b50;  // "PK" 6 7
constexpr uint32_t kDescriptorSig = 0x08074b50;    // "PK" 7 8

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralEntrySize = 46;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kMaxCommentSize = 65535;
constexpr uint32_t kMaxNameLength = 4096;

constexpr uint32_t kFlagEncrypted = 0x0001;
constexpr uint32_t kFlagDataDescriptor = 0x0008;
constexpr uint32_t kFlagUtf8 = 0x0800;

constexpr uint16_t kExtraZip64 = 0x0001;
constexpr uint16_t kExtraUnicodePath = 0x7075;
// Owner fields that only Unix archivers write.
constexpr uint16_t kExtraUnixOwner = 0x7875;
constexpr uint16_t kExtraUnixOwnerOld = 0x7855;
constexpr uint16_t kExtraUnixOld = 0x5855;

constexpr int kHostMsDos = 0;
constexpr int kHostUnix = 3;
constexpr int kHostOsX = 19;

inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t le64(const uint8_t* p) {
    return static_cast<uint64_t>(le32(p)) | (static_cast<uint64_t>(le32(p + 4)) << 32);
}

// Reads up to n bytes at pos; returns the number read.
size_t readAt(LVStream& stream, int64_t pos, uint8_t* out, size_t n) {
    if (pos < 0 || pos > kMaxStreamSize) return 0;
    if (stream.SetPos(static_cast<lvpos_t>(pos)) != pos) return 0;
    size_t done = 0;
    while (done < n) {
        lvsize_t got = 0;
        LVResult result = stream.Read(out + done, static_cast<lvsize_t>(n - done), &got);
        if ((result != ResultOk && result != ResultEndOfData) || got == 0) break;
        done += got <= n - done ? got : n - done;
    }
    return done;
}

// Sequential reading of archive records through a block buffer, so that a
// directory of many small records costs a few large reads.
class RecordReader {
public:
    RecordReader(LVStream& stream, int64_t pos, int64_t end)
        : stream_(stream), buffer_(new uint8_t[kBlockSize]), pos_(pos), end_(end) {}

    int64_t position() const { return pos_; }
    // A position outside the archive reads nothing.
    void seek(int64_t pos) { pos_ = pos < 0 || pos > end_ ? end_ : pos; }

    // Copies up to n bytes from the current position and advances past them.
    size_t read(uint8_t* out, size_t n) {
        size_t done = 0;
        while (done < n && pos_ < end_) {
            if (pos_ < bufStart_ || pos_ >= bufStart_ + static_cast<int64_t>(bufLen_)) {
                if (!refill()) break;
            }
            size_t offset = static_cast<size_t>(pos_ - bufStart_);
            size_t k = bufLen_ - offset;
            if (k > n - done) k = n - done;
            std::memcpy(out + done, buffer_.get() + offset, k);
            done += k;
            pos_ += static_cast<int64_t>(k);
        }
        return done;
    }

private:
    static constexpr size_t kBlockSize = 65536;

    bool refill() {
        int64_t want = end_ - pos_;
        if (want > static_cast<int64_t>(kBlockSize)) want = kBlockSize;
        bufStart_ = pos_;
        bufLen_ = readAt(stream_, pos_, buffer_.get(), static_cast<size_t>(want));
        return bufLen_ > 0;
    }

    LVStream& stream_;
    std::unique_ptr<uint8_t[]> buffer_;
    int64_t bufStart_ = 0;
    size_t bufLen_ = 0;
    int64_t pos_;
    int64_t end_;
};

// Well-formed UTF-8 throughout: no stray continuation bytes, no overlong
// forms, no surrogates, nothing beyond U+10FFFF, no sequence cut at the end.
bool isStrictUtf8(const uint8_t* s, size_t n) {
    size_t i = 0;
    while (i < n) {
        uint8_t b = s[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint8_t lo = 0x80, hi = 0xBF;  // range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (n - i < len || s[i + 1] < lo || s[i + 1] > hi) return false;
        for (size_t k = 2; k < len; ++k)
            if (s[i + k] < 0x80 || s[i + k] > 0xBF) return false;
        i += len;
    }
    return true;
}

// Calls fn(id, data, size) for each well-formed block of an extra field.
template <class Fn>
void forEachExtraBlock(const std::vector<uint8_t>& extra, Fn fn) {
    size_t i = 0;
    while (i + 4 <= extra.size()) {
        uint16_t id = le16(&extra[i]);
        size_t size = le16(&extra[i + 2]);
        if (i + 4 + size > extra.size()) break;
        fn(id, &extra[i + 4], size);
        i += 4 + size;
    }
}

// The entry name as text (see the class comment for the rules).
LVString16 decodeEntryName(const std::vector<uint8_t>& raw, uint32_t flags, int host,
                           const std::vector<uint8_t>& extra) {
    const char* bytes = reinterpret_cast<const char*>(raw.data());
    if (flags & kFlagUtf8) return localToWide(bytes, raw.size());

    LVString16 unicodePath;
    bool haveUnicodePath = false;
    forEachExtraBlock(extra, [&](uint16_t id, const uint8_t* data, size_t size) {
        // Version 1, the CRC-32 of the stored name, then the UTF-8 name.
        if (id != kExtraUnicodePath || size < 5 || data[0] != 1 || haveUnicodePath) return;
        uint32_t nameCrc = static_cast<uint32_t>(crc32(0L, raw.data(), static_cast<uInt>(raw.size())));
        if (le32(data + 1) != nameCrc) return;
        unicodePath = localToWide(reinterpret_cast<const char*>(data + 5), size - 5);
        haveUnicodePath = true;
    });
    if (haveUnicodePath) return unicodePath;

    if ((host == kHostUnix || host == kHostOsX) && isStrictUtf8(raw.data(), raw.size())) {
        return localToWide(bytes, raw.size());
    }
    const lvchar16* table = codePageTableByName(host == kHostMsDos ? "cp866" : "cp1251");
    return decodeSingleByte(bytes, raw.size(), table);
}

// Replaces the 32-bit values that hold 0xFFFFFFFF by those of a zip64 extra
// field, which lists them in this order, each in 8 bytes.
void applyZip64(const std::vector<uint8_t>& extra, uint64_t& unpacked, uint64_t& packed,
                uint64_t* offset) {
    forEachExtraBlock(extra, [&](uint16_t id, const uint8_t* data, size_t size) {
        if (id != kExtraZip64) return;
        size_t at = 0;
        uint64_t* fields[3] = {&unpacked, &packed, offset};
        for (uint64_t* field : fields) {
            if (!field || *field != 0xFFFFFFFFu) continue;
            if (at + 8 > size) return;
            *field = le64(data + at);
            at += 8;
        }
    });
}

bool readBytes(RecordReader& reader, std::vector<uint8_t>& out, size_t n) {
    out.resize(n);
    return reader.read(out.data(), n) == n;
}

}  // namespace

// The fields of one entry, from a central entry or a local header.
struct LVZipArc::EntryFields {
    LVString16 name;
    int host = kHostMsDos;
    uint32_t generalFlags = 0;
    uint32_t method = 0;
    uint32_t crc = 0;
    uint64_t packed = 0;
    uint64_t unpacked = 0;
    uint64_t localOffset = 0;
    uint32_t externalAttributes = 0;
};

void LVZipArc::addEntry(const EntryFields& e) {
    auto clamp32 = [](uint64_t v) { return v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v); };
    auto* item = new LVCommonContainerItemInfo();
    item->name = e.name;
    item->size = clamp32(e.unpacked);
    item->flags = e.externalAttributes & 0x3F;
    item->isContainer = false;
    item->localHeaderOffset = clamp32(e.localOffset);
    item->packedSize = clamp32(e.packed);
    item->method = e.method;
    item->crc32 = e.crc;
    item->generalFlags = e.generalFlags;
    index_.emplace(e.name, GetObjectCount());  // an earlier entry of the same name stays
    addItem(item);
}

const LVContainerItemInfo* LVZipArc::FindObjectInfo(const LVString16& name) {
    auto it = index_.find(name);
    return it == index_.end() ? nullptr : GetObjectInfo(it->second);
}

bool LVZipArc::findCentralDirectory(lvsize_t archiveSize, int64_t& offset) {
    // The end record is 22 bytes plus a comment of at most 65535 bytes.
    size_t window = archiveSize < kEndRecordSize + kMaxCommentSize
                        ? archiveSize
                        : kEndRecordSize + kMaxCommentSize;
    if (window < kEndRecordSize) return false;
    int64_t windowStart = static_cast<int64_t>(archiveSize) - static_cast<int64_t>(window);
    std::vector<uint8_t> tail(window);
    size_t got = readAt(*stream_, windowStart, tail.data(), window);
    if (got < kEndRecordSize) return false;

    // From the last position that still holds a whole record, backwards. A
    // record counts when its comment fits in the archive and its directory
    // offset lies before it, so a signature inside a comment is passed over.
    for (size_t p = got - kEndRecordSize + 1; p-- > 0;) {
        if (le32(&tail[p]) != kEndRecordSig) continue;
        int64_t recordPos = windowStart + static_cast<int64_t>(p);
        uint32_t cdOffset = le32(&tail[p + 16]);
        uint16_t commentLength = le16(&tail[p + 20]);
        if (p + kEndRecordSize + commentLength > got) continue;
        if (cdOffset == 0xFFFFFFFFu) {
            // A zip64 archive: the locator just before the record gives the
            // position of the zip64 end record, which holds the real offset.
            uint8_t locator[20];
            uint8_t end64[56];
            if (recordPos >= 20 && readAt(*stream_, recordPos - 20, locator, 20) == 20 &&
                le32(locator) == kZip64LocatorSig) {
                uint64_t end64Pos = le64(locator + 8);
                if (end64Pos < static_cast<uint64_t>(recordPos) &&
                    readAt(*stream_, static_cast<int64_t>(end64Pos), end64, 56) == 56 &&
                    le32(end64) == kZip64EndSig) {
                    uint64_t cd64 = le64(end64 + 48);
                    if (cd64 <= static_cast<uint64_t>(recordPos)) {
                        offset = static_cast<int64_t>(cd64);
                        return true;
                    }
                }
            }
            continue;
        }
        if (cdOffset > recordPos) continue;
        offset = cdOffset;
        return true;
    }
    return false;
}

int32_t LVZipArc::readCentral(int64_t offset, lvsize_t archiveSize) {
    RecordReader reader(*stream_, offset, archiveSize);
    std::vector<uint8_t> raw, extra;
    for (;;) {
        uint8_t h[kCentralEntrySize];
        size_t got = reader.read(h, sizeof h);
        // Anything but a whole central entry ends the directory: the end
        // record, a zip64 end record, a digital signature, or junk.
        if (got < sizeof h || le32(h) != kCentralEntrySig) break;
        EntryFields e;
        e.host = h[5];
        e.generalFlags = le16(h + 8);
        e.method = le16(h + 10);
        e.crc = le32(h + 16);
        e.packed = le32(h + 20);
        e.unpacked = le32(h + 24);
        uint32_t nameLength = le16(h + 28);
        uint32_t extraLength = le16(h + 30);
        uint32_t commentLength = le16(h + 32);
        e.externalAttributes = le32(h + 38);
        e.localOffset = le32(h + 42);
        if (nameLength > kMaxNameLength) {
            LOG_ERROR("ZIP entry name length is too big: %d", static_cast<int>(nameLength));
            break;
        }
        if (!readBytes(reader, raw, nameLength)) {
            LOG_ERROR("error while reading zip entry name");
            break;
        }
        if (!readBytes(reader, extra, extraLength)) break;
        applyZip64(extra, e.unpacked, e.packed, &e.localOffset);
        e.name = decodeEntryName(raw, e.generalFlags, e.host, extra);
        addEntry(e);
        reader.seek(reader.position() + commentLength);
    }
    return GetObjectCount();
}

namespace {

// Inflates raw deflate data from the reader's position up to the end of the
// deflate stream. Gives the packed and unpacked sizes and the CRC-32; false
// when the data is corrupt or cut short, or decodes to more than a stream
// can hold.
bool measureDeflated(RecordReader& reader, uint64_t& packed, uint64_t& unpacked, uint32_t& crc) {
    z_stream zs{};
    if (inflateInit2(&zs, -15) != Z_OK) return false;
    std::unique_ptr<uint8_t[]> in(new uint8_t[16384]);
    std::unique_ptr<uint8_t[]> out(new uint8_t[32768]);
    uLong sum = crc32(0L, Z_NULL, 0);
    uint64_t consumed = 0;
    bool ok = false;
    for (;;) {
        if (zs.avail_in == 0) {
            size_t got = reader.read(in.get(), 16384);
            if (got == 0) break;
            zs.next_in = in.get();
            zs.avail_in = static_cast<uInt>(got);
            consumed += got;
        }
        zs.next_out = out.get();
        zs.avail_out = 32768;
        int result = inflate(&zs, Z_NO_FLUSH);
        size_t produced = 32768 - zs.avail_out;
        sum = crc32(sum, out.get(), static_cast<uInt>(produced));
        if (result == Z_STREAM_END) {
            ok = zs.total_out <= static_cast<uLong>(kMaxStreamSize);
            break;
        }
        if ((result != Z_OK && result != Z_BUF_ERROR) || zs.total_out > kMaxStreamSize) break;
    }
    packed = consumed - zs.avail_in;
    unpacked = zs.total_out;
    crc = static_cast<uint32_t>(sum);
    inflateEnd(&zs);
    return ok;
}

}  // namespace

int32_t LVZipArc::readLocal(lvsize_t archiveSize) {
    RecordReader reader(*stream_, 0, archiveSize);
    std::vector<uint8_t> raw, extra;
    for (;;) {
        int64_t headerPos = reader.position();
        uint8_t h[kLocalHeaderSize];
        size_t got = reader.read(h, sizeof h);
        // The central directory ends the walk normally; a record cut short or
        // anything else (data the walk cannot skip correctly) ends it too.
        if (got < sizeof h || le32(h) != kLocalHeaderSig) break;
        EntryFields e;
        e.host = kHostMsDos;
        e.generalFlags = le16(h + 6);
        e.method = le16(h + 8);
        e.crc = le32(h + 14);
        e.packed = le32(h + 18);
        e.unpacked = le32(h + 22);
        uint32_t nameLength = le16(h + 26);
        uint32_t extraLength = le16(h + 28);
        e.localOffset = static_cast<uint64_t>(headerPos);
        // A header without a name is taken for junk, not for an entry.
        if (nameLength == 0) break;
        if (nameLength > kMaxNameLength) {
            LOG_ERROR("ZIP entry name length is too big: %d", static_cast<int>(nameLength));
            break;
        }
        if (!readBytes(reader, raw, nameLength)) {
            LOG_ERROR("error while reading zip entry name");
            break;
        }
        if (!readBytes(reader, extra, extraLength)) break;
        applyZip64(extra, e.unpacked, e.packed, nullptr);
        // A local header does not name the host system; Unix owner fields
        // show an archive made on Unix, whose names are taken as UTF-8 when
        // they are valid UTF-8.
        forEachExtraBlock(extra, [&](uint16_t id, const uint8_t*, size_t) {
            if (id == kExtraUnixOwner || id == kExtraUnixOwnerOld || id == kExtraUnixOld) {
                e.host = kHostUnix;
            }
        });
        e.name = decodeEntryName(raw, e.generalFlags, e.host, extra);
        int64_t dataStart = reader.position();

        int64_t next;
        if (e.generalFlags & kFlagDataDescriptor) {
            // The sizes follow the data. Only deflate data shows where it
            // ends; the descriptor after it may start with a signature and
            // holds 32-bit or (zip64) 64-bit sizes.
            if (e.method != 8 || (e.generalFlags & kFlagEncrypted)) break;
            if (!measureDeflated(reader, e.packed, e.unpacked, e.crc)) break;
            int64_t dataEnd = dataStart + static_cast<int64_t>(e.packed);
            uint8_t probe[4];
            reader.seek(dataEnd);
            bool signed_ = reader.read(probe, 4) == 4 && le32(probe) == kDescriptorSig;
            int64_t candidates[2] = {dataEnd + (signed_ ? 16 : 12), dataEnd + (signed_ ? 24 : 20)};
            next = candidates[0];
            for (int64_t c : candidates) {
                reader.seek(c);
                uint32_t sig = reader.read(probe, 4) == 4 ? le32(probe) : 0;
                if (sig == kLocalHeaderSig || sig == kCentralEntrySig) {
                    next = c;
                    break;
                }
            }
        } else {
            // An entry cut short is not listed (sizes are checked before
            // they are added: a zip64 field may hold any 64-bit value).
            if (e.packed > static_cast<uint64_t>(archiveSize) ||
                static_cast<int64_t>(e.packed) > static_cast<int64_t>(archiveSize) - dataStart)
                break;
            next = dataStart + static_cast<int64_t>(e.packed);
        }
        addEntry(e);
        reader.seek(next);
    }
    return GetObjectCount();
}

int32_t LVZipArc::ReadContents() {
    clearItems();
    index_.clear();
    recovered_ = false;
    if (!stream_ || stream_->SetPos(0) != 0) return 0;
    SetName(stream_->GetName());
    lvsize_t archiveSize = 0;
    if (stream_->GetSize(&archiveSize) != ResultOk || archiveSize > kMaxStreamSize) return 0;

    int64_t cdOffset = 0;
    if (findCentralDirectory(archiveSize, cdOffset) && readCentral(cdOffset, archiveSize) > 0) {
        return GetObjectCount();
    }
    clearItems();
    index_.clear();
    recovered_ = true;
    return readLocal(archiveSize);
}

StreamHandle LVZipArc::OpenStream(const LVString16& requested, int32_t mode) {
    if ((mode & 7) != OpenModeRead || !stream_) return nullptr;
    LVString16 name = requested;
    if (!name.empty() && name[0] == u'/') name = name.substr(1);
    const auto* item = static_cast<const LVCommonContainerItemInfo*>(FindObjectInfo(name));
    if (!item || item->isContainer || (item->generalFlags & kFlagEncrypted)) return nullptr;

    lvsize_t archiveSize = 0;
    if (stream_->GetSize(&archiveSize) != ResultOk) return nullptr;
    uint8_t h[kLocalHeaderSize];
    if (readAt(*stream_, item->localHeaderOffset, h, sizeof h) != sizeof h ||
        le32(h) != kLocalHeaderSig) {
        return nullptr;
    }
    int64_t dataStart = static_cast<int64_t>(item->localHeaderOffset) + kLocalHeaderSize +
                        le16(h + 26) + le16(h + 28);
    int64_t dataEnd = dataStart + item->packedSize;
    if (dataEnd > static_cast<int64_t>(archiveSize) || item->size > kMaxStreamSize) return nullptr;

    StreamHandle stream;
    if (item->method == 0) {
        if (item->packedSize != item->size) return nullptr;
        stream = StreamHandle(new LVZipStoredStream(stream_, static_cast<lvpos_t>(dataStart),
                                                    item->packedSize, item->crc32));
    } else if (item->method == 8) {
        stream = LVZipDecodeStream::create(stream_, static_cast<lvpos_t>(dataStart),
                                           item->packedSize, item->size, item->crc32);
    }
    if (stream) stream->SetName(item->name);
    return stream;
}

ContainerHandle openArchive(const StreamHandle& stream) {
    if (!stream) return nullptr;
    uint8_t signature[4];
    if (readAt(*stream, 0, signature, 4) != 4 || le32(signature) != kLocalHeaderSig) return nullptr;
    Ref<LVZipArc> arc(new LVZipArc(stream));
    if (arc->ReadContents() < 1) return nullptr;
    return ContainerHandle(arc.get());
}
