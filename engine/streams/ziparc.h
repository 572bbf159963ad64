// ZIP archives as containers.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "streams/container.h"

// A ZIP archive read from a stream. Entries are listed in archive order with
// their names, unpacked sizes and attribute flags (external attributes &
// 0x3F, so 0x10 marks the folder entries whose names end in "/").
//
// The listing comes from the central directory, found through the
// end-of-central-directory record in the last 64 KB of the archive (and the
// zip64 locator when the record defers to it). The listing ends, keeping the
// entries read so far, at the first record that is not a complete central
// entry. When no end record is found (an archive cut short), or the central
// directory yields no entry, the local headers are walked from the start
// instead ("recovery"): the walk lists every complete entry up to the first
// thing that is not a local header. Entries whose sizes follow their data (a
// data descriptor) are measured by inflating them.
//
// Names are UTF-8 when the entry says so (general-purpose flag 0x0800, or an
// Info-ZIP Unicode path field that matches the stored name) or when an entry
// made on Unix has a name that is valid UTF-8; otherwise they are cp866 for
// entries made on MS-DOS (host system 0) and cp1251 for all others. During
// recovery the host system is unknown: entries with Unix owner fields count
// as made on Unix, all others as made on MS-DOS. Characters beyond 16 bits
// become surrogate pairs.
//
// Sizes, offsets and CRC-32 come from the central directory (from the local
// headers during recovery), with zip64 extra fields replacing 32-bit fields
// that hold 0xFFFFFFFF. Entries beyond what 32-bit stream positions reach are
// listed but do not open. Encrypted entries are listed but do not open.
class LVZipArc : public LVArcContainerBase {
public:
    explicit LVZipArc(const StreamHandle& stream) : LVArcContainerBase(stream) {}

    // Opens the entry called name (one leading "/" is ignored; the match is
    // exact and case-sensitive) in read mode. Stored entries whose packed and
    // unpacked sizes agree, and deflated entries, open; other methods,
    // encrypted entries and entries whose data lies outside the archive give
    // null. The stream keeps the archive stream alive, carries the entry
    // name, and reports the recorded CRC-32 from GetCrc32 without reading.
    StreamHandle OpenStream(const LVString16& name, int32_t mode) override;
    // Reads the archive's directory again; returns the number of entries.
    int32_t ReadContents() override;
    // The first entry called name (exact match), found through an index.
    const LVContainerItemInfo* FindObjectInfo(const LVString16& name) override;

    // True when the last ReadContents walked the local headers.
    bool recovered() const { return recovered_; }

private:
    struct EntryFields;
    // Finds the central directory; false when there is no end record.
    bool findCentralDirectory(lvsize_t archiveSize, int64_t& offset);
    int32_t readCentral(int64_t offset, lvsize_t archiveSize);
    int32_t readLocal(lvsize_t archiveSize);
    void addEntry(const EntryFields& e);

    struct NameHash {
        size_t operator()(const LVString16& s) const { return s.hash(); }
    };

    bool recovered_ = false;
    // Entry name -> index of the first entry with that name.
    std::unordered_map<LVString16, int32_t, NameHash> index_;
};
